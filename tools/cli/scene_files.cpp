#include "scene_files.h"

#include <algorithm>
#include <cctype>
#include <iostream>

#include "gltf_export.h"
#include "gltf_scene.h"
#include "scene_json.h"

namespace tools {

namespace {

bool ends_with(std::string const& path, char const* ending)
{
    std::string const end = ending;
    if (path.size() < end.size())
        return false;
    return std::equal(end.rbegin(), end.rend(), path.rbegin(),
                      [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); });
}

}  // namespace

bool is_gltf_model(std::string const& path) { return ends_with(path, ".gltf") || ends_with(path, ".glb"); }

void read_any_scene(host::Model_scene& scene, std::string const& path, std::vector<std::string> const& select)
{
    if (is_gltf_model(path))
        host::read_gltf_scene(scene, path);
    else
        host::read_scene_file(scene, path);
    if (select.empty())
        return;
    std::vector<host::Model_shape*> active;
    for (std::string const& reference : select) {
        if (reference == "none")
            continue;
        host::Model_shape* shape = host::find_shape(scene, reference);
        if (!shape)
            throw File_error("--select " + reference + ": no shape of " + path + " has that path");
        if (std::find(active.begin(), active.end(), shape) == active.end())
            active.push_back(shape);
    }
    scene.active = active;
}

void refuse_glb_without_model(std::string const& scene_path, std::string const& out_path)
{
    if (ends_with(out_path, ".glb") && !is_gltf_model(scene_path))
        throw File_error("a .glb output needs a .gltf or .glb model as its scene, not " + scene_path);
    // A scene file under a .gltf name would be read back as a model, and fail.
    if (ends_with(out_path, ".gltf"))
        throw File_error("cannot write " + out_path + ": scene files are read back by their .json name, and " +
                         "models are written as .glb");
}

bool write_any_scene(host::Model_scene& scene, Output_file& out, std::string const& model_path, bool pretty,
                     Glb_weights const& glb)
{
    if (!ends_with(out.target(), ".glb")) {
        out.write([&](std::string const& path) { host::write_scene_file(scene, path, pretty); });
        out.keep();
        return true;
    }
    refuse_glb_without_model(model_path, out.target());
    return write_model(scene, out, model_path, glb);
}

bool write_model(host::Model_scene& scene, Output_file& out, std::string const& model_path, Glb_weights const& glb)
{
    host::Gltf_weights how;
    how.normalize = glb.normalize;
    how.max_influences = glb.max_influences;
    how.prune = glb.prune;
    how.form = glb.form == "u16"  ? host::Gltf_weights::Form::u16
               : glb.form == "u8" ? host::Gltf_weights::Form::u8
                                  : host::Gltf_weights::Form::floats;
    // A skin glTF cannot carry is a refusal, not a failure.
    std::string refusal;
    host::Gltf_skin_notes notes;
    out.write([&](std::string const& path) {
        try {
            notes = host::write_gltf_skins(scene, model_path, path, how);
        } catch (host::Inexpressible_skin const& e) {
            refusal = e.what();
        }
    });
    if (!refusal.empty()) {
        std::cerr << "tavrik-host: " << out.target() << " not written: " << refusal << "\n";
        return false;
    }
    out.keep();
    if (notes.merged > 0)
        std::cerr << "tavrik-host: note: " << notes.merged
                  << " vertices were bound twice to one joint; glTF holds a joint once a vertex, so their weights "
                     "were added (the first: "
                  << notes.first_merged << ")\n";
    auto const& cost = notes.shaping;
    if (cost.limited > 0)
        std::cerr << "tavrik-host: note: " << cost.limited << " vertices had more than " << glb.max_influences
                  << " influences and lost the smallest (the first: " << notes.first_limited
                  << "); the largest weight dropped was " << cost.largest_limited << " of its vertex's sum\n";
    if (cost.pruned > 0)
        std::cerr << "tavrik-host: note: " << cost.pruned << " vertices lost weights below " << glb.prune
                  << " (the first: " << notes.first_pruned << ")"
                  << (cost.kept_largest > 0 ? "; " + std::to_string(cost.kept_largest) +
                                                  " of them had no other, and kept their largest"
                                            : std::string())
                  << "\n";
    // Written as they are, such weights are refused by the Khronos validator.
    if (notes.off_sum > 0) {
        std::cerr << "tavrik-host: warning: " << notes.off_sum
                  << " vertices have weights that do not sum to 1 (the first: " << notes.first_off_sum << "); "
                  << out.target() << " was written as they are, which glTF readers may refuse; --normalize "
                  << "divides each vertex's weights by their sum\n";
        return false;
    }
    return true;
}

}  // namespace tools
