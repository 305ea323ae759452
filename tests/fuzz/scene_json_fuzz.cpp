// Fuzz target: any bytes as a scene file of the reference host. A file is
// read or refused with a host_error; RapidJSON's parser and nlohmann's alone
// give the same scene or the same message; one that was read writes back to
// a file that reads again to the same text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "faults.h"
#include "scene_json.h"
#include "services.h"

namespace {

// The scene written, or "error: " and the message.
std::string read_as(host::Host_services& services, std::string_view text, host::Scene_parser parser)
{
    host::Model_scene scene(services);
    try {
        host::read_scene(scene, text, parser);
    } catch (host::host_error const& e) {
        return std::string("error: ") + e.what();
    }
    return host::write_scene(scene);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, std::size_t size)
{
    static auto resources = std::shared_ptr<host::Resource_source const>(host::resources_in_folder(TAVRIK_RESOURCES));
    host::Host_services services(resources, host::language_english);
    std::string_view const text(reinterpret_cast<char const*>(data), size);
    std::string const written = read_as(services, text, host::Scene_parser::fast);
    if (written != read_as(services, text, host::Scene_parser::reference))
        std::abort();
    if (written.rfind("error: ", 0) == 0)
        return 0;
    host::Model_scene again(services);
    host::read_scene(again, written);  // a host_error here escapes: a finding
    if (host::write_scene(again) != written)
        std::abort();
    return 0;
}
