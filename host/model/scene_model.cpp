#include "scene_model.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "faults.h"
#include "math.h"
#include "vantelids.h"

namespace host {

// Bindings and skins.

shape_class* Model_binding::get_joint(void*)
{
    check("skin_entry.get_joint");
    return joint;
}

void Model_binding::set_joint(shape_class* j, void*)
{
    check("skin_entry.set_joint");
    joint = j;
    owner_->changed();
}

float Model_binding::get_weight(void*)
{
    check("skin_entry.get_weight");
    return weight;
}

void Model_binding::set_weight(float w, void*)
{
    check("skin_entry.set_weight");
    weight = w;
    owner_->changed();
}

Model_binding const& Binding_list::at(std::size_t i) const
{
    if (i >= size_)
        throw std::out_of_range("no binding " + std::to_string(i));
    return data()[i];
}

Model_binding& Binding_list::emplace_back(Model_skin* owner)
{
    if (!spilled_ && size_ < inline_capacity) {
        auto* b = new (inline_ + size_ * sizeof(Model_binding)) Model_binding(owner);
        ++size_;
        return *b;
    }
    if (!spilled_) {
        // More than the skin holds: all of them move to the heap.
        spill_.reserve(2 * inline_capacity);
        Model_binding* const held = data();
        for (std::size_t i = 0; i < size_; ++i) {
            spill_.push_back(held[i]);
            held[i].~Model_binding();
        }
        spilled_ = true;
    }
    spill_.emplace_back(owner);
    ++size_;
    return spill_.back();
}

void Binding_list::erase(std::size_t i)
{
    if (spilled_) {
        spill_.erase(spill_.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
        Model_binding* const held = data();
        for (std::size_t k = i; k + 1 < size_; ++k)
            held[k] = held[k + 1];
        held[size_ - 1].~Model_binding();
    }
    --size_;
}

void Binding_list::clear()
{
    if (spilled_) {
        std::vector<Model_binding>().swap(spill_);
        spilled_ = false;
    } else {
        Model_binding* const held = data();
        for (std::size_t k = 0; k < size_; ++k)
            held[k].~Model_binding();
    }
    size_ = 0;
}

Model_skin::Model_skin(Model_skin const& other) : scene_(other.scene_), world_owner_(other.world_owner_)
{
    for (Model_binding const& b : other.bindings_) {
        Model_binding& copy = bindings_.emplace_back(this);
        copy.joint = b.joint;
        copy.weight = b.weight;
    }
}

Model_skin& Model_skin::operator=(Model_skin const& other)
{
    if (this == &other)
        return *this;
    bindings_.clear();
    for (Model_binding const& b : other.bindings_) {
        Model_binding& copy = bindings_.emplace_back(this);
        copy.joint = b.joint;
        copy.weight = b.weight;
    }
    changed();
    return *this;
}

void Model_skin::rebind(Model_scene* scene, Model_shape* world_owner)
{
    scene_ = scene;
    world_owner_ = world_owner;
}

void Model_skin::changed()
{
    cached_epoch_ = 0;
    if (world_owner_ && scene_)
        scene_->matrices_changed();
}

int Model_skin::get_number_of_bindings(void*)
{
    check("skin.get_number_of_bindings");
    return static_cast<int>(bindings_.size());
}

skin_entry_class& Model_skin::get_binding(int index, void*)
{
    check("skin.get_binding");
    if (index < 0 || index >= static_cast<int>(bindings_.size()))
        throw host_error("no binding " + std::to_string(index));
    return bindings_[static_cast<std::size_t>(index)];
}

void Model_skin::append_binding(void*)
{
    check("skin.append_binding");
    bindings_.emplace_back(this);
    changed();
}

void Model_skin::remove_binding(int index, void*)
{
    check("skin.remove_binding");
    if (hooks_active && calls().named())
        calls().name_last((world_owner_ ? world_owner_->path() + " " : std::string()) + "#" + std::to_string(index));
    if (index < 0 || index >= static_cast<int>(bindings_.size()))
        throw host_error("no binding " + std::to_string(index));
    bindings_.erase(static_cast<std::size_t>(index));
    changed();
}

mat4 Model_skin::get_matrix(void*)
{
    check("skin.get_matrix");
    return matrix();
}

void Model_skin::add(Model_shape* joint, float weight)
{
    Model_binding& b = bindings_.emplace_back(this);
    b.joint = joint;
    b.weight = weight;
    changed();
}

void Model_skin::clear()
{
    bindings_.clear();
    changed();
}

mat4 Model_skin::matrix() const
{
    if (bindings_.empty())
        return mat4::identity;
    std::uint64_t const epoch = scene_ ? scene_->epoch() : 0;
    if (epoch != 0 && cached_epoch_ == epoch)
        return cached_matrix_;
    double total = 0;
    for (Model_binding const& b : bindings_)
        total += b.weight;
    bool const equal_shares = total == 0;
    double sum[4][4] = {};
    for (Model_binding const& b : bindings_) {
        auto* joint = static_cast<Model_shape*>(b.joint);
        mat4 const world = joint ? joint->world() : mat4::identity;
        double const share = equal_shares ? 1.0 / static_cast<double>(bindings_.size()) : b.weight / total;
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < 4; ++j)
                sum[i][j] += share * world.m[i][j];
    }
    mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = static_cast<float>(sum[i][j]);
    cached_matrix_ = r;
    cached_epoch_ = epoch;
    return r;
}

// Points.

vec3 Model_vertex::get_position(void*)
{
    check("vertex.get_position");
    return position;
}

void Model_vertex::set_position(vec3 const& p, void*)
{
    check("vertex.set_position");
    position = p;
}

skin_class& Model_vertex::get_skin(void*)
{
    check("vertex.get_skin");
    return skin;
}

skin_class& Model_control_point::get_skin(void*)
{
    check("control_point.get_skin");
    return skin;
}

#define TAVRIK_POINT_FIELD(type, getter, setter, field)  \
    type Model_control_point::getter(void*)              \
    {                                                    \
        check("control_point." #getter);                 \
        return field;                                    \
    }                                                    \
    void Model_control_point::setter(type const& v, void*) \
    {                                                    \
        check("control_point." #setter);                 \
        field = v;                                       \
    }
TAVRIK_POINT_FIELD(vec3, get_position, set_position, position)
TAVRIK_POINT_FIELD(vec3, get_in_handle, set_in_handle, in_handle)
TAVRIK_POINT_FIELD(vec3, get_out_handle, set_out_handle, out_handle)
TAVRIK_POINT_FIELD(vec3, get_inner_handle, set_inner_handle, inner_handle)
TAVRIK_POINT_FIELD(vec3, get_outer_handle, set_outer_handle, outer_handle)
#undef TAVRIK_POINT_FIELD

bool Model_control_point::get_first_flag(void*)
{
    check("control_point.get_first_flag");
    return first_flag;
}
void Model_control_point::set_first_flag(bool flag, void*)
{
    check("control_point.set_first_flag");
    first_flag = flag;
}
bool Model_control_point::get_second_flag(void*)
{
    check("control_point.get_second_flag");
    return second_flag;
}
void Model_control_point::set_second_flag(bool flag, void*)
{
    check("control_point.set_second_flag");
    second_flag = flag;
}

// Views and joint objects.

struct Model_shape::Mesh_view final : polygon_mesh_class {
    explicit Mesh_view(Model_shape& s) : shape(s) {}
    vertex_class& get_vertex(int index, void*) override
    {
        check("polygon_mesh.get_vertex");
        if (index < 0 || index >= static_cast<int>(shape.vertices.size()))
            throw host_error("no vertex " + std::to_string(index) + " in " + shape.name);
        return shape.vertices[static_cast<std::size_t>(index)];
    }
    Model_shape& shape;
};

struct Model_shape::Light_view final : light_class {
    explicit Light_view(Model_shape& s) : shape(s) {}
    vec3 get_position(void*) override
    {
        check("light.get_position");
        return shape.position;
    }
    void set_position(vec3 const& v, void*) override
    {
        check("light.set_position");
        shape.position = v;
    }
    Model_shape& shape;
};

struct Model_shape::Sphere_view final : sphere_class {
    explicit Sphere_view(Model_shape& s) : shape(s) {}
    vec3 get_center(void*) override
    {
        check("sphere.get_center");
        return shape.center;
    }
    void set_center(vec3 const& v, void*) override
    {
        check("sphere.set_center");
        shape.center = v;
    }
    Model_shape& shape;
};

struct Model_shape::Disk_view final : disk_class {
    explicit Disk_view(Model_shape& s) : shape(s) {}
    vec3 get_center(void*) override
    {
        check("disk.get_center");
        return shape.center;
    }
    void set_center(vec3 const& v, void*) override
    {
        check("disk.set_center");
        shape.center = v;
    }
    Model_shape& shape;
};

namespace {

// A joint object is a fresh reference to the joint part's data.
template <class Interface>
class Joint_object : public Interface {
public:
    Joint_object(Model_shape& shape, int& live) : shape_(shape), live_(live) { ++live_; }
    ~Joint_object() override { --live_; }

protected:
    vec3 read(vec3 const& field, char const* operation)
    {
        check(operation);
        return field;
    }
    void write(vec3& field, vec3 const& v, char const* operation)
    {
        check(operation);
        field = v;
    }
    Model_shape& shape_;

private:
    int& live_;
};

template <class Interface>
class Centre_axis_joint final : public Joint_object<Interface> {
public:
    using Joint_object<Interface>::Joint_object;
    vec3 get_center(void*) override { return this->read(this->shape_.center, "joint.get_center"); }
    void set_center(vec3 const& v, void*) override { this->write(this->shape_.center, v, "joint.set_center"); }
    vec3 get_axis(void*) override { return this->read(this->shape_.axis, "joint.get_axis"); }
    void set_axis(vec3 const& v, void*) override { this->write(this->shape_.axis, v, "joint.set_axis"); }
};

template <class Interface>
class Centre_joint final : public Joint_object<Interface> {
public:
    using Joint_object<Interface>::Joint_object;
    vec3 get_center(void*) override { return this->read(this->shape_.center, "joint.get_center"); }
    void set_center(vec3 const& v, void*) override { this->write(this->shape_.center, v, "joint.set_center"); }
};

class Slider_joint final : public Joint_object<slider_joint_interface> {
public:
    using Joint_object<slider_joint_interface>::Joint_object;
    vec3 get_start(void*) override { return read(shape_.start, "joint.get_start"); }
    void set_start(vec3 const& v, void*) override { write(shape_.start, v, "joint.set_start"); }
    vec3 get_end(void*) override { return read(shape_.end, "joint.get_end"); }
    void set_end(vec3 const& v, void*) override { write(shape_.end, v, "joint.set_end"); }
};

template <class Object>
Object* handed_out(Object* object)
{
    object->AddRef();
    return object;
}

}  // namespace

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

polygon_mesh_class& Model_shape::get_polygon_mesh(void*)
{
    check("shape.get_polygon_mesh");
    require_kind(type == shape_type_polygon_mesh, "a polygon mesh");
    if (!mesh_view_)
        mesh_view_ = std::make_unique<Mesh_view>(*this);
    return *mesh_view_;
}

light_class& Model_shape::get_light(void*)
{
    check("shape.get_light");
    require_kind(type == shape_type_light, "a light");
    if (!light_view_)
        light_view_ = std::make_unique<Light_view>(*this);
    return *light_view_;
}

sphere_class& Model_shape::get_sphere(void*)
{
    check("shape.get_sphere");
    require_kind(type == shape_type_sphere, "a sphere");
    if (!sphere_view_)
        sphere_view_ = std::make_unique<Sphere_view>(*this);
    return *sphere_view_;
}

disk_class& Model_shape::get_disk(void*)
{
    check("shape.get_disk");
    require_kind(type == shape_type_disk, "a disk");
    if (!disk_view_)
        disk_view_ = std::make_unique<Disk_view>(*this);
    return *disk_view_;
}

rotator_joint_interface* Model_shape::get_rotator_joint(void*)
{
    check("shape.get_rotator_joint");
    require_kind(is_part() && part_type == part_rotator, "a rotator");
    return handed_out(new Centre_axis_joint<rotator_joint_interface>(*this, scene_->live_joint_objects));
}

slider_joint_interface* Model_shape::get_slider_joint(void*)
{
    check("shape.get_slider_joint");
    require_kind(is_part() && part_type == part_slider, "a slider");
    return handed_out(new Slider_joint(*this, scene_->live_joint_objects));
}

scale_joint_interface* Model_shape::get_scale_joint(void*)
{
    check("shape.get_scale_joint");
    require_kind(is_part() && part_type == part_scale, "a scale joint");
    return handed_out(new Centre_axis_joint<scale_joint_interface>(*this, scene_->live_joint_objects));
}

uniscale_joint_interface* Model_shape::get_uniscale_joint(void*)
{
    check("shape.get_uniscale_joint");
    require_kind(is_part() && part_type == part_uniscale, "a uniscale joint");
    return handed_out(new Centre_joint<uniscale_joint_interface>(*this, scene_->live_joint_objects));
}

ball_joint_interface* Model_shape::get_ball_joint(void*)
{
    check("shape.get_ball_joint");
    require_kind(is_part() && part_type == part_ball, "a ball joint");
    return handed_out(new Centre_joint<ball_joint_interface>(*this, scene_->live_joint_objects));
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
    cached_world_ = multiply(local, base);
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

void Model_shape::transform(mat4 const& m, void*)
{
    check("shape.transform");
    local = multiply(m, local);
    if (scene_)
        scene_->matrices_changed();
}

void Model_shape::clear_transformation(bool keep_geometry, void*)
{
    check("shape.clear_transformation");
    if (hooks_active && calls().named())
        calls().name_last(path());
    clear_transformation_arguments.push_back(keep_geometry);
    local = mat4::identity;
    if (scene_)
        scene_->matrices_changed();
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
