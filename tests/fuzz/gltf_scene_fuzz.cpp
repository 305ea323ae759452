// Fuzz target: any bytes as a glTF model (.gltf text or .glb) for the
// reference host's scene builder. A model is built or refused with a
// host_error; a scene that was built is a tree the plug-in can walk.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "faults.h"
#include "gltf_scene.h"
#include "scene_json.h"
#include "services.h"

extern "C" int LLVMFuzzerTestOneInput(uint8_t const* data, std::size_t size)
{
    static auto resources = std::shared_ptr<host::Resource_source const>(host::resources_in_folder(TAVRIK_RESOURCES));
    host::Host_services services(resources, host::language_english);
    host::Model_scene scene(services);
    try {
        host::read_gltf_scene_from_memory(scene, std::string(reinterpret_cast<char const*>(data), size), "model");
    } catch (host::host_error const&) {
        return 0;
    }
    // Every binding names a shape of the scene.
    std::vector<host::Model_shape*> const shapes = scene.shapes_in_order();
    for (host::Model_shape* shape : shapes)
        for (auto const& vertex : shape->vertices)
            for (auto const& binding : vertex.skin.bindings())
                if (std::find(shapes.begin(), shapes.end(), binding.joint) == shapes.end())
                    std::abort();
    host::write_scene(scene);
    return 0;
}
