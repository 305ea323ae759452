// Fuzz target: any bytes loaded as a skin file into a small scene, in verbose
// mode, must end the load cleanly with every bracket closed, and no cut file
// may be reported as finished.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
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

struct Outcome {
    bool finished = false;  // the trace says the load finished
    bool whole = false;     // and it read the input through to its last byte
};

// Loads bytes into a fresh scene in verbose mode; aborts on an open bracket
// or a reference not given back.
Outcome load(std::vector<char> const& bytes, bool overwrite)
{
    static auto resources = std::shared_ptr<host::Resource_source const>(host::resources_in_folder(TAVRIK_RESOURCES));
    host::Host_services services(resources, host::language_english);
    host::Model_scene scene(services);
    host::read_scene(scene, scene_json);
    services.special_characters = scene.special_characters;
    services.dialog_answers.push_back(host::Dialog_answer{true, {{10, overwrite ? 1 : 0}, {11, 1}, {14, 1}}});

    auto stream = host::Binary_stream::over(bytes);
    auto text_stream = host::Text_stream::over(std::string(bytes.begin(), bytes.end()));
    plugin_interface* importer = create_component(importer_iid, 0, &services);
    importer->AddRef();
    static_cast<importer_interface*>(importer)->do_import(&scene, stream.get(), text_stream.get());
    importer->Release();
    if (scene.open_changes != 0 || !scene.modifications_closed() || scene.reference_count != 1 ||
        services.live_dialogs != 0 || services.live_progress != 0)
        std::abort();

    Outcome outcome;
    for (std::string const& line : services.messages)
        if (line.find("***tavrik*** Finished") == 0)
            outcome.finished = true;
    bool const binary = bytes.size() >= 4 && std::memcmp(bytes.data(), "\x10\x00\x02\x50", 4) == 0;
    outcome.whole = binary ? stream->tell() == static_cast<long>(bytes.size()) : text_stream->is_end();
    return outcome;
}

}  // namespace

// Any bytes end the load cleanly. And where a file was read whole and said
// "Finished", a strict prefix of it that cuts into its trailer is a cut file:
// it must not say so. In binary that is any prefix (the trailer is the last
// four bytes); in text any prefix that ends before the first line that
// begins with "<end>" (cut right after those five bytes, such a line is a
// trailer, and the prefix a whole file).
extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, std::size_t size)
{
    std::vector<char> const bytes(data, data + size);
    Outcome const full = load(bytes, size % 2 != 0);
    if (!full.finished || !full.whole || size == 0)
        return 0;
    bool const binary = size >= 4 && std::memcmp(bytes.data(), "\x10\x00\x02\x50", 4) == 0;
    std::size_t limit = size;
    if (!binary) {
        for (std::size_t line = 0; line < size;) {
            if (size - line >= 5 && std::memcmp(bytes.data() + line, "<end>", 5) == 0) {
                limit = line;
                break;
            }
            auto const* end = static_cast<char const*>(std::memchr(bytes.data() + line, '\n', size - line));
            if (!end)
                break;
            line = static_cast<std::size_t>(end - bytes.data()) + 1;
        }
    }
    if (limit == 0)
        return 0;
    for (std::size_t cut : {limit - 1, static_cast<std::size_t>(data[0]) * limit / 256}) {
        std::vector<char> const prefix(bytes.begin(), bytes.begin() + static_cast<long>(cut));
        if (load(prefix, false).finished)
            std::abort();
    }
    return 0;
}
