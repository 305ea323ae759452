#include "gltf_commands.h"

#include <iostream>
#include <memory>

#include "gltf_scene.h"
#include "library.h"
#include "output_file.h"
#include "scene_files.h"
#include "scene_json.h"
#include "services.h"

namespace tools {

namespace {

int run_gltf_command(std::string const& command, Request const& request)
{
    host::Plugin plugin(request.plugin);
    auto resources = plugin.resources();
    host::Host_services services(resources, request.language);
    host::Model_scene scene(services);
    auto const& files = request.files;
    if (command == "from-gltf") {
        refuse_same_file({files[0]}, files[1]);
        if (is_gltf_model(files[1]))
            throw File_error("from-gltf writes a scene file, which cannot be read back as " + files[1] +
                             ": give it a .json name (to-gltf writes models)");
        read_any_scene(scene, files[0], request.select);
        Output_file out(files[1]);
        out.write([&](std::string const& path) { host::write_scene_file(scene, path, request.pretty); });
        out.keep();
        return exit_done;
    }
    refuse_same_file({files[0], files[1]}, files[2]);
    read_any_scene(scene, files[0], request.select);
    Output_file out(files[2]);
    return write_model(scene, out, files[1], request.glb) ? exit_done : exit_lost;
}

}  // namespace

std::vector<Command> gltf_commands()
{
    return {{"from-gltf", "a rigged .gltf or .glb model as a scene file",
             [](Declaration& d) { d.positional({"MODEL", "OUT"}, 1); },
             [](Request const& request) { return run_gltf_command("from-gltf", request); }},
            {"to-gltf",
             "the model from-gltf read, written again as .glb with the scene's skins; exit 1 when a skin cannot be "
             "written to glTF",
             [](Declaration& d) {
                 d.positional({"SCENE", "MODEL", "GLB"}, 2);
                 d.glb_weights();
             },
             [](Request const& request) { return run_gltf_command("to-gltf", request); }}};
}

}  // namespace tools
