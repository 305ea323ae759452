// The runs room (host/runs): the export and import runs and the menu
// commands, which bring the plug-in, the services and a scene together. It
// uses the model, files, loading and services rooms; only tools and tests
// use it.
//
// Running the plug-in's components as the host does: an export through the
// export object, an import of a file, a menu command on the scene.
#pragma once

#include <string>

#include "exporterinterface.h"
#include "library.h"
#include "scene_model.h"
#include "services.h"

namespace host {

// A component reference that the host releases when it is done.
class Component {
public:
    Component(Plugin const& plugin, Interface_kind kind, int index, vantel_interface& vantel);
    Component(Component const&) = delete;
    Component& operator=(Component const&) = delete;
    ~Component();
    plugin_interface* get() const { return component_; }
    explicit operator bool() const { return component_ != nullptr; }

private:
    plugin_interface* component_ = nullptr;
};

// The host's export object over an output file (or memory when the path is empty).
class Export_object final : public plugin_exporter_interface {
public:
    // The streams outlive the exporter that holds references to them.
    Export_object(Model_scene& scene, std::string const& path);
    scene_interface* get_scene(void* = nullptr) override;
    stream_interface* get_stream(void* = nullptr) override;
    text_stream_interface* get_text_stream(void* = nullptr) override;
    void run_export(void* = nullptr) override;
    void print_message(char const* text, void* = nullptr) override;
    char const* get_special_characters(void* = nullptr) override;

    // Flushes what was written; throws when the file could not be written.
    void close();

    Model_scene& scene;
    exporter_interface* exporter = nullptr;
    std::unique_ptr<Binary_stream> stream;
    std::unique_ptr<Text_stream> text_stream;
};

// "Save skin" of the scene into path; the export dialog is answered from the services' script.
// Throws when the file could not be created or written whole.
void run_save(Plugin const& plugin, Host_services& services, Model_scene& scene, std::string const& path);
// The same into memory: what the exporter wrote, in the form it chose.
struct Saved_file {
    std::vector<char> binary;
    std::string text;
};
Saved_file run_save_to_memory(Plugin const& plugin, Host_services& services, Model_scene& scene);

// "Load skin" of a file, opened as a binary and a text stream.
void run_load(Plugin const& plugin, Host_services& services, Model_scene& scene, std::string const& path);
void run_load_from_memory(Plugin const& plugin, Host_services& services, Model_scene& scene,
                          std::vector<char> const& bytes);

// One of the menu commands (browser index 0, 1, 2); its do_browser result.
bool run_command(Plugin const& plugin, Host_services& services, Model_scene& scene, int index);

}  // namespace host
