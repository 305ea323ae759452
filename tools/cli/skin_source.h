// What diff and stats read: a skin file, or the skins of a scene or model as
// "Save skin" writes them (its save options and --select from the command
// line; always in the binary form, which holds every name), from memory.
#pragma once

#include <memory>
#include <string>

#include "output_file.h"
#include "request.h"
#include "scene_model.h"
#include "skin_file_reader.h"

namespace tools {

bool is_scene_path(std::string const& path);

class Skin_source {
public:
    // Throws Broken_file, File_error or std::runtime_error when it cannot be read.
    Skin_source(Request const& request, std::string const& path);
    ~Skin_source();
    Skin_file_reader& reader() { return *reader_; }
    // The scene, when the source is one; null for a skin file.
    host::Model_scene* scene();
    std::string const& name() const { return name_; }

private:
    struct Scene;
    std::string name_;
    std::unique_ptr<Scene> scene_;
    std::unique_ptr<Input_file> input_;
    std::unique_ptr<Skin_file_reader> reader_;
};

}  // namespace tools
