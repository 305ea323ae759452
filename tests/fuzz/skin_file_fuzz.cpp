// Fuzz target: any bytes loaded as a skin file into a small scene, in verbose
// mode, must end the load cleanly with every bracket closed.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "exchange.h"
#include "factory.h"
#include "importerinterface.h"
#include "scene_json.h"
#include "vantelids.h"

namespace {

constexpr char const scene_json[] = R"({"special_characters": "#", "root": {"kind": "part", "name": "root", "children": [
  {"kind": "part", "name": "figure", "children": [
    {"kind": "rotator", "name": "hips", "children": [{"kind": "ball", "name": "#head"}]},
    {"kind": "polygon", "name": "body", "vertices": [[0,0,0],[1,0,0],[2,0,0]]},
    {"kind": "line", "name": "belt", "points": [{"position": [0,1,0]}, {"position": [1,1,0]}]},
    {"kind": "surface", "name": "s", "children": [{"kind": "line", "name": "l", "points": [{"position": [0,0,0]}]}]},
    {"kind": "sphere", "name": "eye"}]}]}})";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, std::size_t size)
{
    static auto resources = std::shared_ptr<host::Resource_source const>(host::resources_in_folder(TAVRIK_RESOURCES));
    host::Host_services services(resources, host::language_english);
    host::Model_scene scene(services);
    host::read_scene(scene, scene_json);
    services.special_characters = scene.special_characters;
    services.dialog_answers.push_back(host::Dialog_answer{true, {{10, size % 2 ? 1 : 0}, {11, 1}, {14, 1}}});

    std::vector<char> bytes(data, data + size);
    auto stream = host::Binary_stream::over(bytes);
    auto text_stream = host::Text_stream::over(std::string(bytes.begin(), bytes.end()));
    plugin_interface* importer = create_component(importer_iid, 0, &services);
    importer->AddRef();
    static_cast<importer_interface*>(importer)->do_import(&scene, stream.get(), text_stream.get());
    importer->Release();
    if (scene.open_changes != 0 || !scene.modifications_closed() || scene.reference_count != 1 ||
        services.live_dialogs != 0 || services.live_progress != 0)
        std::abort();
    return 0;
}
