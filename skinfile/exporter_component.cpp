#include "exporter_component.h"

#include <cmath>

#include "format.h"
#include "ids.h"
#include "shape_access.h"
#include "text.h"

namespace {

// Item ids of the export dialog.
constexpr int item_range = 10;
constexpr int item_form = 11;
constexpr int item_full_path = 12;
constexpr int item_trim = 13;

// A text-form weight must read back; these words are not numbers there.
char const* const unwritable_weight_key = "Can't save a weight that is not a number:%s. Use binary mode.";
// No form can carry 0xFF inside a joint's name: it separates the components.
char const* const unwritable_joint_key = "Can't save a joint whose name holds the byte 0xFF, bound in:%s.";

// Holds one more reference only when the host hands out a different object.
template <class T>
void take_stream(Host_ref<T>& held, T* fresh)
{
    if (fresh && fresh == held.get())
        release_reference(fresh);  // the same stream again: keep the one reference we hold
    else
        held.reset(fresh);
}

}  // namespace

exporter_component::~exporter_component()
{
    stream.reset();
    text_stream.reset();
}

int exporter_component::get_vantel_version(void*) { return vantel_version; }

component_id exporter_component::get_uuid(void*) { return skin_exporter_uuid; }

char const* exporter_component::get_file_extension(void*) { return "vsk"; }

char const* exporter_component::get_file_description(void*)
{
    return for_host([&] { return vantel.gettext("Save skin"); });
}

bool exporter_component::skips_dialog(void*) { return true; }

void exporter_component::do_export(plugin_exporter_interface* exporter, void*)
{
    return for_host([&] {
        plugin_exporter = exporter;
        if (!exporter)
            return;
        take_stream(stream, exporter->get_stream());
        take_stream(text_stream, exporter->get_text_stream());
        sp_char = exporter->get_special_characters();

        Host_ref<dialog_interface> dialog(vantel.create_dialog(skin_exporter_uuid));
        if (!dialog)
            return;
        dialog->load_dialog("export_dialog_id");
        not_run = false;
        dialog->set_responder(this);
        dialog->ask();
    });
}

void exporter_component::save_dialog_data(dialog_interface& dialog, void*)
{
    return for_host([&] {
        if (not_run)
            return;
        export_all = dialog.get_item(item_range).get_selection() == 0;
        binary_form = dialog.get_item(item_form).get_selection() == 1;
        full_path = dialog.get_item(item_full_path).get_bool();
        trim_names = dialog.get_item(item_trim).get_bool();
    });
}

int exporter_component::terminate(dialog_interface&, int action, void*)
{
    return for_host([&] {
        if (not_run || action == 2 || !plugin_exporter)
            return action;
        if (binary_form ? !stream : !text_stream)
            return action;
        // An export never passes a failure back to the host: one the host's export
        // object reports is a file that was not written. A write that fails when
        // the host hands its buffer over after start is told as one that fails
        // inside start: the message box, then the finish line, whatever the size.
        try {
            plugin_exporter->print_message(binary_form ? "start save binary skin file" : "start save text skin file");
            try {
                plugin_exporter->run_export();
            } catch (...) {
                try {
                    vantel.show_message_box("Can't file write.", false);
                } catch (...) {
                }
            }
            plugin_exporter->print_message("finish save skin file");
        } catch (...) {
            try {
                vantel.show_message_box("Can't file write.", false);
            } catch (...) {
            }
        }
        return action;
    });
}

void exporter_component::start(void*)
{
    return for_host([&] {
        if (!plugin_exporter)
            return;
        Host_ref<scene_interface> scene;
        try {
            scene.reset(plugin_exporter->get_scene());
        } catch (...) {
            vantel.show_message_box("Can't file write.", false);
            return;
        }
        if (!scene)
            return;
        try {
            if (binary_form)
                skin_format::write_header(*stream);
            else
                skin_format::write_header(*text_stream);

            if (export_all) {
                part_class* root = scene->get_root_part();
                if (root) {
                    adjust_switch(root->get_part());
                    shape_out(*root, true);
                }
            } else {
                for (int i = 0; i < scene->get_number_of_active_shapes(); ++i) {
                    shape_class* shape = scene->get_active_shape(i);
                    if (!shape)
                        continue;
                    if (shape->get_type() == shape_type_part)
                        adjust_switch(shape->get_part());
                    if (shape_out(*shape, true))
                        break;
                }
            }

            if (binary_form)
                skin_format::write_trailer(*stream);
            else
                skin_format::write_trailer(*text_stream);
        } catch (...) {
            try {
                scene->show_message_box("Can't file write.", false);
            } catch (...) {
            }
        }
    });
}

Name_options exporter_component::name_options() const
{
    return Name_options{full_path, trim_names, binary_form, top_shape};
}

void exporter_component::get_fullname_binary(shape_class& shape, std::string& out, bool last)
{
    append_fullname_binary(name_options(), shape, out, last);
}

char exporter_component::get_fullname(shape_class& shape, std::string& out)
{
    return make_fullname_text(name_options(), shape, out);
}

exporter_component::Joint_name const& exporter_component::joint_name(shape_class& joint)
{
    auto found = joint_names_.find(&joint);
    if (found != joint_names_.end())
        return found->second;
    Joint_name entry;
    entry.path.reserve(200);
    entry.readable = append_fullname_binary(name_options(), joint, entry.path, true);
    if (!binary_form && entry.readable)
        entry.separator = text_path_separator(entry.path);
    return joint_names_.emplace(&joint, std::move(entry)).first->second;
}

bool exporter_component::shape_out(shape_class& shape, bool top)
{
    if (top) {
        top_shape = &shape;
        joint_names_.clear();  // full path names climb to the top shape
    }
    Shape_class wrapper(&shape);
    int const count = shape.get_number_of_points();
    bool const secret = wrapper.is_secret_shape();
    if (count < 1)
        return false;
    if (!secret && write_shape(shape, wrapper, count, top))
        return true;

    if (shape.get_type() == shape_type_part && wrapper.object_type != object_surface) {
        shape_class* const end = shape.get_children_end();
        for (shape_class* child = shape.get_first_child(); child && child != end;
             child = child->get_next_sibling())
            if (shape_out(*child, false))
                return true;
    }
    if (secret)
        return false;
    if (binary_form)
        skin_format::write_record_end(*stream);
    else
        skin_format::write_record_end(*text_stream, !top);
    return false;
}

// The record line and point records of one shape; true when a name or weight
// cannot be written and the export must stop.
bool exporter_component::write_shape(shape_class& shape, Shape_class& wrapper, int count, bool top)
{
    char const* const name = skip_special_char(trim_names, shape.get_name());
    auto refuse = [&](char const* key) {
        vantel.show_message_box(format_text(vantel.gettext(key), shape.get_name()).c_str(), false);
        return true;
    };
    if (binary_form) {
        skin_format::write_record_start(*stream, get_code(shape), name, count);
    } else {
        // A name with ":" or a line break cannot be read back from a record line.
        if (!skin_format::is_text_safe_name(name))
            return refuse("invalide_name");
        skin_format::write_record_start(*text_stream, !top, get_string(shape), name, count);
    }

    for (int i = 0; i < count; ++i) {
        skin_class* skin = wrapper.get_skin(i);
        int const bindings = skin ? skin->get_number_of_bindings() : 0;
        // A binding without a joint names nothing: it is left out, and the
        // count written says so.
        int without_joint = 0;
        for (int j = 0; j < bindings; ++j)
            if (!skin->get_binding(j).get_joint())
                ++without_joint;
        if (without_joint > 0)
            plugin_exporter->print_message(
                format_text("***tavrik*** %i binding(s) without a joint left out at shape[%s] point %i",
                            without_joint, shape.get_name(), i)
                    .c_str());
        if (binary_form)
            skin_format::write_point_start(*stream, i, bindings - without_joint);
        else
            skin_format::write_point_start(*text_stream, i, bindings - without_joint);
        for (int j = 0; j < bindings; ++j) {
            skin_entry_class& binding = skin->get_binding(j);
            float const weight = binding.get_weight();
            shape_class* joint = binding.get_joint();
            if (!joint)
                continue;
            Joint_name const& joint_path = joint_name(*joint);
            if (!joint_path.readable)
                return refuse(unwritable_joint_key);
            if (binary_form) {
                skin_format::write_binding(*stream, weight, joint_path.path.c_str());
                continue;
            }
            if (joint_path.separator == 0)
                return refuse("invalide_name");
            if (!std::isfinite(weight))
                return refuse(unwritable_weight_key);
            skin_format::write_binding(*text_stream, weight, joint_path.separator, joint_path.path.c_str());
        }
        if (!binary_form)
            skin_format::write_point_end(*text_stream);
    }
    return false;
}
