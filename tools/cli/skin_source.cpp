#include "skin_source.h"

#include "exchange.h"
#include "library.h"
#include "output_file.h"
#include "scene_commands.h"
#include "scene_files.h"
#include "services.h"

namespace tools {

bool is_scene_path(std::string const& path)
{
    return is_gltf_model(path) || (path.size() >= 5 && path.compare(path.size() - 5, 5, ".json") == 0);
}

struct Skin_source::Scene {
    explicit Scene(Request const& request)
        : plugin(request.plugin), resources(plugin.resources()), services(resources, request.language), scene(services)
    {
    }
    host::Plugin plugin;
    std::shared_ptr<host::Resource_source const> resources;
    host::Host_services services;
    host::Model_scene scene;
};

Skin_source::Skin_source(Request const& request, std::string const& path) : name_(path)
{
    if (!is_scene_path(path)) {
        // "-" is standard input taken into a file; a pipe or device named is refused.
        input_ = std::make_unique<Input_file>(path);
        reader_ = std::make_unique<Skin_file_reader>(input_->path());
        return;
    }
    scene_ = std::make_unique<Scene>(request);
    read_any_scene(scene_->scene, path, request.select);
    scene_->services.special_characters = scene_->scene.special_characters;
    host::Dialog_answer answer;
    answer.values = save_items(request);
    answer.values[11] = 1;  // the binary form
    scene_->services.dialog_answers.push_back(answer);
    host::Saved_file const saved = host::run_save_to_memory(scene_->plugin, scene_->services, scene_->scene);
    if (!scene_->services.message_boxes.empty())
        throw File_error("cannot take the skins of " + path + ": " + scene_->services.message_boxes.back().text);
    reader_ = Skin_file_reader::over(std::string(saved.binary.begin(), saved.binary.end()));
}

Skin_source::~Skin_source() = default;

host::Model_scene* Skin_source::scene() { return scene_ ? &scene_->scene : nullptr; }

}  // namespace tools
