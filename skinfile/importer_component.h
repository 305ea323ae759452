// "Load skin": reads a skin file into the scene and binds points anew by name.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "child_index.h"
#include "host_ref.h"
#include "joint_names.h"
#include "importerinterface.h"
#include "shape_access.h"

class importer_component final : public importer_interface {
public:
    explicit importer_component(vantel_interface& host) : vantel(host) {}
    ~importer_component() TAVRIK_DESTRUCTOR_OVERRIDE;
    TAVRIK_DELETING_DESTRUCTOR(importer_component)

    int get_vantel_version(void* = nullptr) override;
    void save_dialog_data(dialog_interface& dialog, void* = nullptr) override;
    int terminate(dialog_interface& dialog, int action, void* = nullptr) override;
    TAVRIK_RESULT_OVERRIDE(component_id, get_uuid);
    int get_number_of_file_extensions(void* = nullptr) override;
    char const* get_file_extension(int index, void* = nullptr) override;
    char const* get_file_extension_description(int index, void* = nullptr) override;
    void do_import(scene_interface* scene, stream_interface* stream, text_stream_interface* text_stream,
                   void* = nullptr) override;

    // One shape record with everything nested in it; true when its end marker closed it.
    bool load_skin(text_stream_interface& text_stream, shape_class* parent, char const* line, bool first);
    bool load_skin(stream_interface& stream, shape_class* parent, bool first);
    // Reads count point records and applies them to target (or drops them); true to stop.
    bool set_skin_to_shape(shape_class* target, text_stream_interface& text_stream, int count);
    bool set_skin_to_shape(shape_class* target, stream_interface& stream, int count);

    // Target and joint resolution.
    shape_class* get_target_shape(shape_class* parent, std::string_view name, int code, int count, bool first);
    bool is_target_shape(shape_class& shape, std::string_view name, int code, int count);
    shape_class* get_joint_shape(shape_class& parent, std::string_view name, bool first);
    char const* get_joint_shape(char const* text, shape_class* root, shape_class*& joint);
    shape_class* get_joint_shape(stream_interface& stream, shape_class* root);
    int get_last_ordinal(shape_class& shape);

    vantel_interface& vantel;
    scene_interface* scene = nullptr;
    stream_interface* stream = nullptr;
    text_stream_interface* text_stream = nullptr;
    bool keep_existing = false;
    bool hold_points = false;
    bool trim_names = true;
    bool verbose = false;
    shape_class* start_shape = nullptr;
    shape_class* joint_root = nullptr;
    Host_ref<progress_interface> progress;
    int start_ordinal = 0;
    int end_ordinal = 0;
    int ordinal_span = 1;
    int last_target_ordinal = -1;
    int depth = 0;
    int line_number = 1;

private:
    void trace(std::string const& line);
    // Opens the target's modification bracket and, in "Newly" mode, clears its skins.
    void begin_target(Shape_class& target, std::optional<Modification_bracket>& bracket);
    bool report_progress(shape_class& target, bool can_stop);
    void prepare_load();
    void load_text_file();
    void load_text();
    void finish_trace(char const* finished);
    void load_binary();
    bool skip_text_records(text_stream_interface& in);
    bool skip_binary_records(stream_interface& in);
    static char const* read_line(text_stream_interface& in);
    // Reads name bytes up to their 0x00.
    static void read_binary_name(stream_interface& in, std::string& name);
    shape_class* resolve_text_joint(std::string_view name, shape_class* root, std::string& failure);
    shape_class* resolve_binary_joint(std::string_view name, shape_class* root, std::string& failure);
    shape_class* follow_binary_path(std::string_view name, shape_class* current, std::string& failure);
    // The joint of a name, resolved at its first sight in the load and
    // remembered with the trace of a failed search.
    using Resolver = shape_class* (importer_component::*)(std::string_view, shape_class*, std::string&);
    shape_class* remembered_joint(Joint_names& names, std::string_view name, shape_class* root, Resolver resolve);

    // Scene names do not change during a load, so a joint name resolved once
    // is answered again from here; the trace of a failed search is kept with it.
    Joint_names text_joints_;
    Joint_names binary_joints_;
    // The children of each shape searched, gathered once per load.
    Child_index& children_index();
    std::unique_ptr<Child_index> children_;
    std::string joint_key_;
    std::string pending_line_;
    bool has_pending_line_ = false;
    bool stopped_ = false;
    bool read_failed_ = false;  // a read failed or the file ended inside a record
    bool trailer_read_ = false;  // the file was read through to its trailer
    Skin_bindings bindings_;
};
