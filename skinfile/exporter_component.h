// "Save skin": writes the skins of the scene into a skin file.
#pragma once

#include <string>
#include <unordered_map>

#include "exporterinterface.h"
#include "host_ref.h"
#include "names.h"
#include "shape_access.h"

class exporter_component final : public exporter_interface {
public:
    explicit exporter_component(vantel_interface& host) : vantel(host) {}
    ~exporter_component() TAVRIK_DESTRUCTOR_OVERRIDE;
    TAVRIK_DELETING_DESTRUCTOR(exporter_component)

    int get_vantel_version(void* = nullptr) override;
    void save_dialog_data(dialog_interface& dialog, void* = nullptr) override;
    int terminate(dialog_interface& dialog, int action, void* = nullptr) override;
    TAVRIK_RESULT_OVERRIDE(component_id, get_uuid);
    char const* get_file_extension(void* = nullptr) override;
    char const* get_file_description(void* = nullptr) override;
    void do_export(plugin_exporter_interface* exporter, void* = nullptr) override;
    void start(void* = nullptr) override;
    bool skips_dialog(void* = nullptr) override;

    // Writes the record of shape and its descendants; true when the export must stop.
    bool shape_out(shape_class& shape, bool top);
    void get_fullname_binary(shape_class& shape, std::string& out, bool last);
    char get_fullname(shape_class& shape, std::string& out);

    plugin_exporter_interface* plugin_exporter = nullptr;
    Host_ref<text_stream_interface> text_stream;
    Host_ref<stream_interface> stream;
    vantel_interface& vantel;
    shape_class* top_shape = nullptr;
    bool not_run = true;
    bool export_all = false;
    bool binary_form = false;
    bool full_path = true;
    bool trim_names = false;

private:
    Name_options name_options() const;
    // A joint's name as written, for the current top-level record.
    struct Joint_name {
        std::string path;
        char separator = 0;     // text form; 0 when no separator reads back
        bool readable = true;   // false when a name holds the byte 0xFF
    };
    Joint_name const& joint_name(shape_class& joint);
    bool write_shape(shape_class& shape, Shape_class& wrapper, int count, bool top);

    std::unordered_map<shape_class*, Joint_name> joint_names_;
};
