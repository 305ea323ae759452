// The scene model: the views a shape hands out and its joint objects, each a fresh
// reference to the joint part's data.
#include "scene_model.h"
#include "shape_views.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "faults.h"
#include "math.h"
#include "vantelids.h"

namespace host {

namespace {

// A joint object is a fresh reference to the joint part's data.
template <class Interface>
class Joint_object : public Interface {
public:
    Joint_object(Model_shape& shape, int& live) : shape_(shape), live_(live) { ++live_; }
    ~Joint_object() TAVRIK_DESTRUCTOR_OVERRIDE { --live_; }

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
    TAVRIK_DELETING_DESTRUCTOR(Centre_axis_joint)
    TAVRIK_RESULT_OVERRIDE(vec3, get_center) { return this->read(this->shape_.center, "joint.get_center"); }
    void set_center(vec3 const& v, void*) override { this->write(this->shape_.center, v, "joint.set_center"); }
    TAVRIK_RESULT_OVERRIDE(vec3, get_axis) { return this->read(this->shape_.axis, "joint.get_axis"); }
    void set_axis(vec3 const& v, void*) override { this->write(this->shape_.axis, v, "joint.set_axis"); }
};

template <class Interface>
class Centre_joint final : public Joint_object<Interface> {
public:
    using Joint_object<Interface>::Joint_object;
    TAVRIK_DELETING_DESTRUCTOR(Centre_joint)
    TAVRIK_RESULT_OVERRIDE(vec3, get_center) { return this->read(this->shape_.center, "joint.get_center"); }
    void set_center(vec3 const& v, void*) override { this->write(this->shape_.center, v, "joint.set_center"); }
};

class Slider_joint final : public Joint_object<slider_joint_interface> {
public:
    using Joint_object<slider_joint_interface>::Joint_object;
    TAVRIK_DELETING_DESTRUCTOR(Slider_joint)
    TAVRIK_RESULT_OVERRIDE(vec3, get_start) { return read(shape_.start, "joint.get_start"); }
    void set_start(vec3 const& v, void*) override { write(shape_.start, v, "joint.set_start"); }
    TAVRIK_RESULT_OVERRIDE(vec3, get_end) { return read(shape_.end, "joint.get_end"); }
    void set_end(vec3 const& v, void*) override { write(shape_.end, v, "joint.set_end"); }
};

template <class Object>
Object* handed_out(Object* object)
{
    object->AddRef();
    return object;
}

}  // namespace

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

}  // namespace host
