// Fuzz target: any bytes as a scene file of the reference host. A file is
// read or refused with a host_error; one that was read writes back to a file
// that reads again to the same text.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "faults.h"
#include "scene_json.h"
#include "services.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, std::size_t size)
{
    static auto resources = std::shared_ptr<host::Resource_source const>(host::resources_in_folder(TAVRIK_RESOURCES));
    host::Host_services services(resources, host::language_english);
    host::Model_scene scene(services);
    try {
        host::read_scene(scene, std::string(reinterpret_cast<char const*>(data), size));
    } catch (host::host_error const&) {
        return 0;
    }
    std::string const written = host::write_scene(scene);
    host::Model_scene again(services);
    host::read_scene(again, written);  // a host_error here escapes: a finding
    if (host::write_scene(again) != written)
        std::abort();
    return 0;
}
