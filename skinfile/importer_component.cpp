#include "importer_component.h"

#include <cstring>
#include <optional>
#include <stdexcept>

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
    return for_host([&] {
        return vantel.gettext("Vantel skin file");
    });
}

void importer_component::do_import(scene_interface* scene_, stream_interface* stream_,
                                   text_stream_interface* text_stream_, void*)
{
    return for_host([&] {
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
    });
}

void importer_component::save_dialog_data(dialog_interface& dialog, void*)
{
    return for_host([&] {
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
    });
}

void importer_component::trace(std::string const& line) { vantel.print_message(line.c_str()); }

// Everything before the scene bracket opens changes nothing in the scene.
void importer_component::prepare_load()
{
    if (start_shape->get_type() == shape_type_part)
        adjust_switch(start_shape->get_part());

    progress_interface* fresh = vantel.create_progress("skin importer");
    if (fresh && fresh == progress.get())
        release_reference(fresh);  // the same indicator again: one reference is enough
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
    trailer_read_ = false;
    text_joints_.clear();
    binary_joints_.clear();
    children_.reset();
}

Child_index& importer_component::children_index()
{
    if (!children_)
        children_ = std::make_unique<Child_index>(trim_names);
    return *children_;
}

int importer_component::terminate(dialog_interface&, int action, void*)
{
    return for_host([&] {
        if (action != 1 || !scene || !start_shape || !stream)
            return action;

        // An import never passes a failure back to the host. Before the bracket
        // nothing has changed: a failure there is reported as a file that could
        // not be read.
        int32_t first_int = 0;
        try {
            prepare_load();
            stream->seek(0);
            first_int = stream->read_int();
        } catch (...) {
            try {
                scene->show_message_box("***tavrik*** Error in reading file!", false);
            } catch (...) {
            }
            return -1;
        }

        try {
            Change_bracket bracket(*scene);
            try {
                if (first_int == skin_format::tavrik_id)
                    load_binary();
                else
                    load_text_file();
            } catch (...) {
                if (verbose)
                    trace("***tavrik*** Terminated loading skin.");
            }
        } catch (...) {
            // The bracket could not be opened, or the trace line not printed.
        }
        try {
            scene->refresh();
        } catch (...) {
        }
        return action;
    });
}

void importer_component::finish_trace(char const* finished)
{
    // Only a load that read the file through to its trailer is finished
    // (or one that the user stopped); a cut file or a failed read is not.
    if (verbose)
        trace((trailer_read_ || stopped_) && !read_failed_ ? finished : "***tavrik*** Terminated loading skin.");
}

void importer_component::load_binary()
{
    if (verbose)
        trace("***tavrik*** start load binary skin file");
    while (load_skin(*stream, start_shape, true)) {
    }
    finish_trace("***tavrik*** Finished load binary skin file");
}

void importer_component::load_text_file()
{
    char const* line = nullptr;
    if (text_stream) {
        text_stream->rewind();
        line = read_line(*text_stream);
    }
    if (!line || std::strcmp(line, skin_format::header_line) != 0) {
        scene->show_message_box(scene->gettext("not skin file!"), false);
        return;
    }
    load_text();
}

void importer_component::load_text()
{
    if (verbose)
        trace("***tavrik*** start load text skin file");
    // Every top-level record is read: the line that ends one top-level
    // record is the next one's record line, up to the trailer.
    std::string next_record;
    char const* line = nullptr;
    // A file without records holds the trailer right after the header.
    if (!text_stream->is_end()) {
        next_record = read_line(*text_stream);
        ++line_number;
        if (next_record == skin_format::trailer_line) {
            trailer_read_ = true;
            finish_trace("***tavrik*** Finished load text skin file");
            return;
        }
        line = next_record.c_str();
    }
    for (;;) {
        has_pending_line_ = false;
        bool const closed = load_skin(*text_stream, start_shape, line, true);
        if (stopped_ || read_failed_)
            break;
        if (closed) {
            if (text_stream->is_end())
                break;
            line = read_line(*text_stream);
            ++line_number;
        } else if (has_pending_line_) {
            line = pending_line_.c_str();
        } else {
            break;
        }
        if (std::strcmp(line, skin_format::trailer_line) == 0) {
            trailer_read_ = true;
            break;
        }
        next_record = line;
        line = next_record.c_str();
    }
    finish_trace("***tavrik*** Finished load text skin file");
}

char const* importer_component::read_line(text_stream_interface& in)
{
    char const* line = nullptr;
    in.read_line(&line);
    if (!line)
        throw std::runtime_error("the text stream gave no line");
    return line;
}

void importer_component::read_binary_name(stream_interface& in, std::string& name)
{
    // Bytes gather in a small buffer and reach the name in pieces; every 64
    // bytes the stream is asked whether it has ended, so that a stream that
    // gives bytes past its end cannot grow the name without bound.
    name.clear();
    char piece[64];
    for (;;) {
        std::size_t n = 0;
        char c = 0;
        while (n < sizeof piece && (c = in.read_char()) != skin_format::name_end)
            piece[n++] = c;
        name.append(piece, n);
        if (n < sizeof piece)
            break;
        if (in.is_end())
            throw std::runtime_error("skin file ends inside a name");
    }
    // Reads past the end give zero bytes, which must not pass for the end of a
    // name; and a name is never the last thing in a whole file.
    if (in.is_end())
        throw std::runtime_error("skin file ends inside a name");
}

bool importer_component::load_skin(text_stream_interface& in, shape_class* parent, char const* line, bool first)
{
    ++depth;
    if (!line) {
        if (in.is_end()) {
            --depth;
            return false;
        }
        line = read_line(in);
        ++line_number;
    }
    skin_format::Record_line const record = skin_format::parse_record_line(line);
    std::string const name(record.name);
    shape_class* target =
        get_target_shape(parent, skip_special_char(trim_names, std::string_view(name)), record.code,
                         record.count, first);
    if (!target) {
        if (verbose)
            trace(format_text(vantel.gettext("not found name:%s->%s"),
                              parent ? parent->get_name() : no_parent_name, name));
        if (set_skin_to_shape(nullptr, in, record.count))
            return false;
        bool const closed = skip_text_records(in);
        --depth;
        return closed;
    }
    if (set_skin_to_shape(target, in, record.count))
        return false;

    for (;;) {
        if (in.is_end())
            break;
        char const* next = read_line(in);
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

// The records nested in one that found no shape can find none either: they
// are read past without recursion, however deep the file nests them, with
// the nesting counted. Lines are taken as the recursive reading would take
// them; true when the record that found no shape was closed by its "}".
bool importer_component::skip_text_records(text_stream_interface& in)
{
    int open = 1;
    for (;;) {
        if (in.is_end())
            return false;
        char const* const next = read_line(in);
        ++line_number;
        if (next[0] == '{') {
            skin_format::Record_line const record = skin_format::parse_record_line(next);
            if (verbose)
                trace(format_text(vantel.gettext("not found name:%s->%s"), no_parent_name, std::string(record.name)));
            if (set_skin_to_shape(nullptr, in, record.count))
                return false;
            ++open;
            continue;
        }
        if (next[0] == '}') {
            if (--open == 0)
                return true;
            continue;
        }
        // Any other line ends the innermost open record without closing it;
        // the record around it reads on.
        if (open == 1) {
            if (depth == 1) {
                pending_line_ = next;
                has_pending_line_ = true;
            }
            return false;
        }
        --open;
    }
}

bool importer_component::load_skin(stream_interface& in, shape_class* parent, bool first)
{
    ++depth;
    int const code = in.read_int();
    // The trailer ends the file; no record stands after it.
    if (code == skin_format::trailer_code && depth == 1) {
        trailer_read_ = true;
        --depth;
        return false;
    }
    std::string name;
    read_binary_name(in, name);
    int const count = in.read_int();
    shape_class* target =
        get_target_shape(parent, skip_special_char(trim_names, std::string_view(name)), code, count, first);
    if (!target) {
        if (verbose)
            trace(format_text(vantel.gettext("not found name:%s->%s \ncontinue?"),
                              parent ? parent->get_name() : no_parent_name, name));
        // Its points and nested records match nothing; the load goes on after
        // its end marker, as in the text form.
        if (set_skin_to_shape(nullptr, in, count))
            return false;
        bool const closed = skip_binary_records(in);
        --depth;
        return closed;
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

// As for the text form: nested records below one that found no shape are
// read past without recursion, up to that record's end marker.
bool importer_component::skip_binary_records(stream_interface& in)
{
    std::string name;
    int open = 1;
    while (open > 0) {
        if (in.is_end())
            return false;
        long const position = in.tell();
        char const c = in.read_char();
        if (c == skin_format::record_end) {
            --open;
            continue;
        }
        in.seek(position);
        in.read_int();
        read_binary_name(in, name);
        int const count = in.read_int();
        if (verbose)
            trace(format_text(vantel.gettext("not found name:%s->%s \ncontinue?"), no_parent_name, name));
        if (set_skin_to_shape(nullptr, in, count))
            return false;
        ++open;
    }
    return true;
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
            char const* line = read_line(in);
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
    if (!target)
        return false;
    if (report_progress(*target, true))
        return true;
    bracket->close();  // a failure here ends the load like any other
    return false;
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
    if (target) {
        report_progress(*target, false);
        bracket->close();
    }
    return false;
}
