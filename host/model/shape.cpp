// The scene model: shapes, their tree, names, points and matrices.
#include "scene_model.h"
#include "shape_views.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "faults.h"
#include "math.h"
#include "vantelids.h"

namespace host {

// Shapes.

Model_shape::Model_shape(Model_scene* scene, int type_, int part_type_, std::string name_)
    : type(type_), part_type(part_type_), name(std::move(name_)), skin(scene, this), scene_(scene)
{
    children_end_.reset(new Model_shape(End_tag{}, this));
}

Model_shape::Model_shape(End_tag, Model_shape* owner)
    : type(-1), part_type(-1), skin(nullptr, nullptr), scene_(owner->scene_), end_marker_(true), end_owner_(owner)
{
}

Model_shape::~Model_shape() = default;

void Model_shape::set_scene(Model_scene* scene)
{
    scene_ = scene;
    skin.rebind(scene, this);
    if (children_end_)
        children_end_->scene_ = scene;
    for (auto& child : children_)
        child->set_scene(scene);
}

Model_shape& Model_shape::add_child(std::unique_ptr<Model_shape> child)
{
    child->parent_ = this;
    child->index_in_parent_ = children_.size();
    child->set_scene(scene_);
    children_.push_back(std::move(child));
    if (scene_)
        scene_->matrices_changed();
    return *children_.back();
}

Model_shape& Model_shape::require_kind(bool ok, char const* what)
{
    if (!ok)
        throw host_error(name + " is not " + what);
    return *this;
}

shape_class* Model_shape::get_first_child(void*)
{
    check("shape.get_first_child");
    if (end_marker_)
        throw host_error("an end marker has no children");
    return children_.empty() ? children_end_.get() : children_.front().get();
}

shape_class* Model_shape::get_children_end(void*)
{
    check("shape.get_children_end");
    if (end_marker_)
        throw host_error("an end marker has no children");
    return children_end_.get();
}

shape_class* Model_shape::get_next_sibling(void*)
{
    check("shape.get_next_sibling");
    if (end_marker_ || !parent_)
        throw host_error("no next sibling");
    std::size_t const next = index_in_parent_ + 1;
    return next < parent_->children_.size() ? parent_->children_[next].get() : parent_->children_end_.get();
}

shape_class* Model_shape::get_previous_sibling(void*)
{
    check("shape.get_previous_sibling");
    if (end_marker_)
        return end_owner_->children_.empty() ? nullptr : end_owner_->children_.back().get();
    if (!parent_ || index_in_parent_ == 0)
        return nullptr;
    return parent_->children_[index_in_parent_ - 1].get();
}

shape_class* Model_shape::get_parent(void*)
{
    check("shape.get_parent");
    return parent_;
}

bool Model_shape::has_parent(void*)
{
    check("shape.has_parent");
    return parent_ != nullptr;
}

bool Model_shape::has_children(void*)
{
    check("shape.has_children");
    return !children_.empty();
}

int Model_shape::get_ordinal(void*)
{
    check("shape.get_ordinal");
    return ordinal;
}

scene_interface* Model_shape::get_scene(void*)
{
    check("shape.get_scene");
    if (!scene_)
        return nullptr;
    scene_->AddRef();
    return scene_;
}

int Model_shape::get_type(void*)
{
    check("shape.get_type");
    return type;
}

part_class& Model_shape::get_part(void*)
{
    check("shape.get_part");
    return require_kind(is_part(), "a part");
}

char const* Model_shape::get_name(void*)
{
    check("shape.get_name");
    return name.c_str();
}

std::string Model_shape::path() const
{
    return parent_ ? parent_->path() + "/" + name : name;
}

int Model_shape::point_count() const
{
    switch (type) {
    case shape_type_part:
        switch (part_type) {
        case part_surface: return all_point_count();
        case part_rotator:
        case part_slider:
        case part_scale:
        case part_camera: return 2;
        default: return 1;
        }
    case shape_type_line: return static_cast<int>(points.size());
    case shape_type_polygon_mesh: return static_cast<int>(vertices.size());
    default: return 1;
    }
}

int Model_shape::all_point_count() const
{
    switch (type) {
    case shape_type_part: {
        int n = 0;
        for (auto const& child : children_)
            n += child->is_part() || child->type == shape_type_line || child->type == shape_type_polygon_mesh
                     ? child->all_point_count()
                     : 1;
        return n;
    }
    case shape_type_line: return static_cast<int>(points.size());
    case shape_type_polygon_mesh: return static_cast<int>(vertices.size());
    default: return 1;
    }
}

int Model_shape::get_number_of_points(void*)
{
    check("shape.get_number_of_points");
    return point_count();
}

int Model_shape::get_number_of_all_points(void*)
{
    check("shape.get_number_of_all_points");
    return all_point_count();
}

int Model_shape::get_active_point_indices(int* buffer, void*)
{
    check("shape.get_active_point_indices");
    if (buffer)
        std::copy(active_points.begin(), active_points.end(), buffer);
    return static_cast<int>(active_points.size());
}

Model_control_point* Model_shape::control_point(int index)
{
    if (index < 0)
        return nullptr;
    if (type == shape_type_line)
        return index < static_cast<int>(points.size()) ? &points[static_cast<std::size_t>(index)] : nullptr;
    if (is_part() && part_type == part_surface) {
        // A surface's control points are those of its lines, in child order.
        for (auto const& child : children_) {
            if (child->type != shape_type_line)
                continue;
            int const n = static_cast<int>(child->points.size());
            if (index < n)
                return &child->points[static_cast<std::size_t>(index)];
            index -= n;
        }
    }
    return nullptr;
}

control_point_class& Model_shape::get_control_point(int index, void*)
{
    check("shape.get_control_point");
    Model_control_point* point = control_point(index);
    if (!point)
        throw host_error("no control point " + std::to_string(index) + " in " + name);
    return *point;
}

mat4 Model_shape::world() const
{
    if (end_marker_)
        return mat4::identity;
    std::uint64_t const epoch = scene_ ? scene_->epoch() : 0;
    if (epoch != 0 && cached_epoch_ == epoch)
        return cached_world_;
    mat4 base = mat4::identity;
    // A skin that binds the shape to itself or to a shape that depends on it
    // would be a loop: its matrix falls back to the parent's.
    if (!skin.bindings().empty() && !computing_world_) {
        computing_world_ = true;
        base = skin.matrix();
        computing_world_ = false;
    } else if (parent_) {
        base = parent_->world();
    }
    cached_world_ = multiply(local_, base);
    cached_epoch_ = epoch;
    return cached_world_;
}

mat4 Model_shape::get_world_matrix(void*)
{
    check("shape.get_world_matrix");
    return world();
}

mat4 Model_shape::get_inverse_world_matrix(void*)
{
    check("shape.get_inverse_world_matrix");
    return inverse(world());
}

void Model_shape::set_local(mat4 const& m)
{
    local_ = m;
    if (scene_)
        scene_->matrices_changed();
}

void Model_shape::set_local(int row, int column, float value)
{
    mat4 m = local_;
    m.m[row][column] = value;
    set_local(m);
}

void Model_shape::transform(mat4 const& m, void*)
{
    check("shape.transform");
    set_local(multiply(m, local_));
}

void Model_shape::clear_transformation(bool keep_geometry, void*)
{
    check("shape.clear_transformation");
    if (hooks_active && calls().named())
        calls().name_last(path());
    clear_transformation_arguments.push_back(keep_geometry);
    set_local(mat4::identity);
}

skin_class& Model_shape::get_skin(void*)
{
    check("shape.get_skin");
    return skin;
}

void Model_shape::remove_skin(void*)
{
    check("shape.remove_skin");
    if (hooks_active && calls().named())
        calls().name_last(path());
    skin.clear();
}

void Model_shape::begin_modification(void*)
{
    check("shape.begin_modification");
    if (hooks_active && calls().named())
        calls().name_last(path());
    ++open_modifications;
    if (scene_ && scene_->modified)
        scene_->modified->push_back(this);
}

void Model_shape::end_modification(void*)
{
    check("shape.end_modification");
    if (open_modifications <= 0)
        throw host_error("end_modification without begin_modification on " + name);
    --open_modifications;
}

int Model_shape::get_attached_shapes(component_id const& extension, shape_class** buffer, void*)
{
    check("shape.get_attached_shapes");
    auto found = attached.find(extension.word[0]);
    if (found == attached.end() || extension.word[1] != extend_skin_window_uuid.word[1])
        return 0;
    if (buffer)
        std::copy(found->second.begin(), found->second.end(), buffer);
    return static_cast<int>(found->second.size());
}

int Model_shape::get_part_type(void*)
{
    check("part.get_part_type");
    return part_type;
}

bool Model_shape::is_switched(void*)
{
    check("part.is_switched");
    return switched;
}

void Model_shape::toggle_switch(void*)
{
    check("part.toggle_switch");
    switched = !switched;
}

void Model_shape::make_current_camera(void*)
{
    check("part.make_current_camera");
    require_kind(is_part() && part_type == part_camera, "a camera");
    scene_->current_camera = camera_index;
}

}  // namespace host
