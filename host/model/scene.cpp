// The scene model: the scene, its selection and cameras, and the services it offers.
#include "scene_model.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "faults.h"
#include "math.h"
#include "vantelids.h"

namespace host {

// The camera view follows the scene's current camera.

Model_shape& Model_camera::current()
{
    Model_shape* camera = scene_.camera(scene_.current_camera);
    if (!camera)
        throw host_error("the scene has no current camera");
    return *camera;
}

vec3 Model_camera::get_eye(void*)
{
    check("camera.get_eye");
    return current().eye;
}

void Model_camera::set_eye(vec3 const& v, void*)
{
    check("camera.set_eye");
    current().eye = v;
}

vec3 Model_camera::get_target(void*)
{
    check("camera.get_target");
    return current().target;
}

void Model_camera::set_target(vec3 const& v, void*)
{
    check("camera.set_target");
    current().target = v;
}

// The scene.

Model_scene::Model_scene(vantel_interface& services)
    : services_(services), root_(new Model_shape(this, shape_type_part, part_plain, "root")), camera_(*this)
{
    reference_count = 1;  // the host's own reference
    renumber();
}

Model_scene::~Model_scene() = default;

Model_shape& Model_scene::new_root()
{
    active.clear();
    memorised.clear();
    current = nullptr;
    root_.reset(new Model_shape(this, shape_type_part, part_plain, "root"));
    renumber();
    return *root_;
}

text_catalog_interface* Model_scene::get_text_catalog(void*) { return services_.get_text_catalog(); }
void Model_scene::print_message(char const* text, void*) { services_.print_message(text); }
bool Model_scene::show_message_box(char const* text, bool with_cancel, void*)
{
    return services_.show_message_box(text, with_cancel);
}
dialog_interface* Model_scene::create_dialog(component_id const& id, void*) { return services_.create_dialog(id); }
progress_interface* Model_scene::create_progress(char const* title, void*) { return services_.create_progress(title); }

char const* Model_scene::get_special_characters(void*)
{
    check("scene.get_special_characters");
    return special_characters.c_str();
}

int Model_scene::get_number_of_active_shapes(void*)
{
    check("scene.get_number_of_active_shapes");
    return static_cast<int>(active.size());
}

shape_class* Model_scene::get_active_shape(int index, void*)
{
    check("scene.get_active_shape");
    if (index < 0 || index >= static_cast<int>(active.size()))
        throw host_error("no active shape " + std::to_string(index));
    return active[static_cast<std::size_t>(index)];
}

shape_class* Model_scene::get_current_shape(void*)
{
    check("scene.get_current_shape");
    return current;
}

int Model_scene::get_number_of_memorised_shapes(void*)
{
    check("scene.get_number_of_memorised_shapes");
    return static_cast<int>(memorised.size());
}

shape_class* Model_scene::get_memorised_shape(int index, void*)
{
    check("scene.get_memorised_shape");
    if (index < 0 || index >= static_cast<int>(memorised.size()))
        throw host_error("no memorised shape " + std::to_string(index));
    return memorised[static_cast<std::size_t>(index)];
}

shape_class* Model_scene::get_memory_shape(void*)
{
    check("scene.get_memory_shape");
    return memorised.empty() ? nullptr : memorised.front();
}

part_class* Model_scene::get_root_part(void*)
{
    check("scene.get_root_part");
    return root_.get();
}

bool Model_scene::is_edit_mode(void*)
{
    check("scene.is_edit_mode");
    return edit_mode;
}

void Model_scene::exit_edit_mode(void*)
{
    check("scene.exit_edit_mode");
    edit_mode = false;
    ++edit_mode_exits;
}

void Model_scene::enter_edit_mode(void*)
{
    check("scene.enter_edit_mode");
    edit_mode = true;
}

void Model_scene::update(void*)
{
    check("scene.update");
    ++updates;
}

void Model_scene::begin_change(void*)
{
    check("scene.begin_change");
    ++open_changes;
    ++changes;
}

void Model_scene::end_change(void*)
{
    check("scene.end_change");
    if (open_changes <= 0)
        throw host_error("end_change without begin_change");
    --open_changes;
}

void Model_scene::refresh(void*)
{
    check("scene.refresh");
    ++refreshes;
}

camera_class& Model_scene::get_camera(void*)
{
    check("scene.get_camera");
    return camera_;
}

int Model_scene::get_current_camera_index(void*)
{
    check("scene.get_current_camera_index");
    return current_camera;
}

void Model_scene::set_current_camera_index(int index, void*)
{
    check("scene.set_current_camera_index");
    current_camera = index;
}

namespace {

void collect(Model_shape& shape, std::vector<Model_shape*>& out)
{
    out.push_back(&shape);
    for (auto const& child : shape.children())
        collect(*child, out);
}

}  // namespace

std::vector<Model_shape*> Model_scene::shapes_in_order()
{
    std::vector<Model_shape*> out;
    collect(*root_, out);
    return out;
}

void Model_scene::renumber()
{
    root_->set_scene(this);
    cameras_.clear();
    int ordinal = 0;
    for (Model_shape* shape : shapes_in_order()) {
        shape->ordinal = ordinal++;
        if (shape->is_part() && shape->part_type == part_camera) {
            shape->camera_index = static_cast<int>(cameras_.size());
            cameras_.push_back(shape);
        }
    }
    matrices_changed();
}

Model_shape* Model_scene::camera(int index)
{
    return index >= 0 && index < static_cast<int>(cameras_.size()) ? cameras_[static_cast<std::size_t>(index)] : nullptr;
}

bool Model_scene::modifications_closed()
{
    for (Model_shape* shape : shapes_in_order())
        if (shape->open_modifications != 0)
            return false;
    return true;
}

}  // namespace host
