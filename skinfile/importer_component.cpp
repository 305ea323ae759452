#include "importer_component.h"

#include <cstring>
#include <optional>

#include "format.h"
#include "ids.h"
#include "names.h"
#include "text.h"

namespace {

// Item ids of the import dialog.
constexpr int item_mode = 10;
constexpr int item_hold = 11;
constexpr int item_trim = 12;
constexpr int item_joints_outside = 13;
constexpr int item_verbose = 14;

// Shown in a not-found trace where the enclosing record found no shape.
constexpr char const no_parent_name[] = "(no target)";

}  // namespace

importer_component::~importer_component() { progress.reset(); }

int importer_component::get_vantel_version(void*) { return vantel_version; }

component_id importer_component::get_uuid(void*) { return skin_importer_uuid; }

int importer_component::get_number_of_file_extensions(void*) { return 1; }

char const* importer_component::get_file_extension(int, void*) { return "vsk"; }

char const* importer_component::get_file_extension_description(int, void*)
{
    return vantel.gettext("Vantel skin file");
}

void importer_component::do_import(scene_interface* scene_, stream_interface* stream_,
                                   text_stream_interface* text_stream_, void*)
{
    scene = scene_;
    stream = stream_;
    text_stream = text_stream_;
    if (!scene)
        return;
    Host_ref<dialog_interface> dialog(scene->create_dialog(skin_importer_uuid));
    if (!dialog)
        return;
    dialog->load_dialog("import_dialog_id");
    dialog->set_responder(this);
    dialog->ask();
}

void importer_component::save_dialog_data(dialog_interface& dialog, void*)
{
    keep_existing = dialog.get_item(item_mode).get_selection() != 0;
    hold_points = dialog.get_item(item_hold).get_bool();
    trim_names = dialog.get_item(item_trim).get_bool();
    bool const joints_outside = dialog.get_item(item_joints_outside).get_bool();
    verbose = dialog.get_item(item_verbose).get_bool();
    if (!scene)
        return;
    sp_char = scene->get_special_characters();
    start_shape = nullptr;
    if (scene->get_number_of_active_shapes() == 1)
        start_shape = scene->get_current_shape();
    if (!start_shape)
        start_shape = scene->get_root_part();
    joint_root = joints_outside ? scene->get_root_part() : start_shape;
    line_number = 1;
}

void importer_component::trace(std::string const& line) { vantel.print_message(line.c_str()); }

int importer_component::terminate(dialog_interface&, int action, void*)
{
    if (action != 1 || !scene || !start_shape || !stream)
        return action;
    if (start_shape->get_type() == shape_type_part)
        adjust_switch(start_shape->get_part());

    progress_interface* fresh = vantel.create_progress("skin importer");
    if (fresh && fresh == progress.get())
        fresh->Release();  // the same indicator again: one reference is enough
    else
        progress.reset(fresh);

    start_ordinal = start_shape->get_ordinal();
    end_ordinal = start_shape->has_children() ? get_last_ordinal(*start_shape) + 1 : start_ordinal + 1;
    last_target_ordinal = start_ordinal - 1;
    if (progress)
        progress->set_progress_range(start_ordinal, end_ordinal);
    ordinal_span = end_ordinal - start_ordinal > 0 ? end_ordinal - start_ordinal : 1;
    depth = 0;
    stopped_ = false;
    read_failed_ = false;
    text_joints_.clear();
    binary_joints_.clear();

    skin_format::Form form;
    try {
        form = skin_format::detect_form(*stream, text_stream);
    } catch (...) {
        scene->show_message_box("***tavrik*** Error in reading file!", false);
        return -1;
    }

    try {
        Change_bracket bracket(*scene);
        try {
            if (form == skin_format::Form::binary)
                load_binary();
            else if (form == skin_format::Form::text)
                load_text();
            else
                scene->show_message_box(scene->gettext("not skin file!"), false);
        } catch (...) {
            if (verbose)
                trace("***tavrik*** Terminated loading skin.");
        }
    } catch (...) {
        // The bracket could not be opened: nothing was changed.
    }
    try {
        scene->refresh();
    } catch (...) {
    }
    return action;
}

void importer_component::finish_trace(char const* finished)
{
    // A load that a failed read cut short is not reported as finished.
    if (verbose)
        trace(read_failed_ ? "***tavrik*** Terminated loading skin." : finished);
}

void importer_component::load_binary()
{
    if (verbose)
        trace("***tavrik*** start load binary skin file");
    while (load_skin(*stream, start_shape, true)) {
    }
    finish_trace("***tavrik*** Finished load binary skin file");
}

void importer_component::load_text()
{
    if (verbose)
        trace("***tavrik*** start load text skin file");
    // Every top-level record is read: the line that ends one top-level
    // record is the next one's record line, up to the trailer.
    std::string next_record;
    char const* line = nullptr;
    for (;;) {
        has_pending_line_ = false;
        bool const closed = load_skin(*text_stream, start_shape, line, true);
        if (stopped_ || read_failed_)
            break;
        if (closed) {
            line = nullptr;
            if (text_stream->is_end())
                break;
            continue;
        }
        if (!has_pending_line_ || pending_line_ == skin_format::trailer_line)
            break;
        next_record = pending_line_;
        line = next_record.c_str();
    }
    finish_trace("***tavrik*** Finished load text skin file");
}

bool importer_component::load_skin(text_stream_interface& in, shape_class* parent, char const* line, bool first)
{
    ++depth;
    if (!line) {
        if (in.is_end()) {
            --depth;
            return false;
        }
        in.read_line(&line);
        ++line_number;
    }
    skin_format::Record_line const record = skin_format::parse_record_line(line);
    std::string const name(record.name);
    shape_class* target =
        get_target_shape(parent, skip_special_char(trim_names, std::string_view(name)), record.code,
                         record.count, first);
    if (!target && verbose)
        trace(format_text(vantel.gettext("not found name:%s->%s"), parent ? parent->get_name() : no_parent_name,
                          name));
    if (set_skin_to_shape(target, in, record.count))
        return false;

    for (;;) {
        if (in.is_end())
            break;
        char const* next = nullptr;
        in.read_line(&next);
        ++line_number;
        if (next[0] == '{') {
            load_skin(in, target, next, false);
            if (stopped_ || read_failed_)
                break;
            continue;
        }
        if (next[0] == '}') {
            --depth;
            return true;
        }
        if (depth == 1) {
            pending_line_ = next;
            has_pending_line_ = true;
        }
        break;
    }
    --depth;
    return false;
}

bool importer_component::load_skin(stream_interface& in, shape_class* parent, bool first)
{
    ++depth;
    int const code = in.read_int();
    std::string name;
    for (;;) {
        char const c = in.read_char();
        if (c == skin_format::name_end)
            break;
        name += c;
        if (in.is_end())
            break;
    }
    int const count = in.read_int();
    shape_class* target =
        get_target_shape(parent, skip_special_char(trim_names, std::string_view(name)), code, count, first);
    if (!target) {
        if (verbose)
            trace(format_text(vantel.gettext("not found name:%s->%s \ncontinue?"),
                              parent ? parent->get_name() : no_parent_name, name));
        set_skin_to_shape(nullptr, in, count);
        --depth;
        return false;
    }
    if (set_skin_to_shape(target, in, count))
        return false;
    for (;;) {
        if (in.is_end())
            break;
        long const position = in.tell();
        char const c = in.read_char();
        if (in.is_end())
            break;
        if (c == skin_format::record_end) {
            --depth;
            return true;
        }
        in.seek(position);
        if (!load_skin(in, target, true))
            break;
    }
    --depth;
    return false;
}

bool importer_component::report_progress(shape_class& target, bool can_stop)
{
    long long const share = static_cast<long long>(last_target_ordinal - start_ordinal) * 20 / ordinal_span;
    if (share <= 1 || !progress)
        return false;
    if (!can_stop) {
        progress->set_progress_position(target.get_ordinal());
        return false;
    }
    if (progress->step_progress(target.get_ordinal()))
        return false;
    stopped_ = true;
    return true;
}

void importer_component::begin_target(Shape_class& target, std::optional<Modification_bracket>& bracket)
{
    bracket.emplace(*target.shape);
    if (!keep_existing)
        target.clear_shape_skin(hold_points, nullptr);
}

bool importer_component::set_skin_to_shape(shape_class* target, text_stream_interface& in, int count)
{
    Shape_class wrapper(target);
    std::optional<Modification_bracket> bracket;
    if (target) {
        if (verbose)
            trace(format_text("***tavrik*** set skin to shape[%s:%2i] line number:%i", target->get_name(), depth,
                              line_number));
        begin_target(wrapper, bracket);
    }
    try {
        for (int k = 0; k < count; ++k) {
            if (in.is_end())
                return read_failed_ = true;  // the file ends inside the record
            char const* line = nullptr;
            in.read_line(&line);
            ++line_number;
            skin_format::read_int_field(line);  // the index: records apply by position
            int const binding_count = skin_format::read_int_field(line);
            bindings_.clear();
            // A line holds no more bindings than it has characters for.
            for (int b = 0; b < binding_count && *line; ++b) {
                float weight = 0;
                line = skin_format::get_float_from_text(line, weight);
                shape_class* joint = nullptr;
                line = get_joint_shape(line, joint_root, joint);
                if (joint)
                    bindings_.emplace_back(joint, weight);
            }
            if (!bindings_.empty() && target)
                wrapper.append_skin(k, bindings_, hold_points);
        }
    } catch (...) {
        return read_failed_ = true;
    }
    return target && report_progress(*target, true);
}

bool importer_component::set_skin_to_shape(shape_class* target, stream_interface& in, int count)
{
    Shape_class wrapper(target);
    std::optional<Modification_bracket> bracket;
    if (target) {
        if (verbose)
            trace(format_text("***tavrik*** set skin to shape[%s]:%2i", target->get_name(), depth));
        begin_target(wrapper, bracket);
    }
    try {
        for (int k = 0; k < count; ++k) {
            if (in.is_end())
                return read_failed_ = true;  // the file ends inside the record
            in.read_int();  // the index: records apply by position
            int const binding_count = in.read_int();
            bindings_.clear();
            for (int b = 0; b < binding_count; ++b) {
                if (in.is_end())
                    return read_failed_ = true;
                float const weight = in.read_float();
                if (shape_class* joint = get_joint_shape(in, joint_root))
                    bindings_.emplace_back(joint, weight);
            }
            if (!bindings_.empty() && target)
                wrapper.append_skin(k, bindings_, hold_points);
        }
    } catch (...) {
        return read_failed_ = true;
    }
    if (target)
        report_progress(*target, false);
    return false;
}
