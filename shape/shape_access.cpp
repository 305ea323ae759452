#include "shape_access.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <exception>
#include <stdexcept>

#include "host_ref.h"
#include "vantelids.h"

namespace {

// Indexed by object type 0 to 24.
constexpr bool var_points_flag[25] = {
    false, true,  false, false, false, false, false, false, false, false, false, false, false,
    false, false, true,  false, false, true,  false, false, false, false, false, false,
};
constexpr int fixed_point_number_table[25] = {
    0, 0, 2, 2, 2, 1, 0, 0, 0, 0, 0, 1, 2, 0, 1, 0, 1, 1, 0, 0, 0, 0, 0, 0, 0,
};

int classify_part_type(int part_type)
{
    if (part_type >= 0 && part_type <= 8)
        return part_type;
    switch (part_type) {
    case 9: return object_custom;
    case 10: return object_ball;
    case 11: return object_camera;
    case 101: return object_link;
    case 100: return object_part_type_100;
    case 12: return object_part_type_12;
    case 13: return object_part_type_13;
    default: return object_other;
    }
}

int classify_shape_type(int shape_type)
{
    switch (shape_type) {
    case shape_type_light: return object_light;
    case shape_type_line: return object_line;
    case shape_type_sphere: return object_sphere;
    case shape_type_disk: return object_disk;
    case shape_type_polygon_mesh: return object_polygon;
    case 8: return object_shape_type_8;
    default: return object_other;
    }
}

vec3 add(vec3 const& a, vec3 const& b) { return vec3{a.x + b.x, a.y + b.y, a.z + b.z}; }
vec3 subtract(vec3 const& a, vec3 const& b) { return vec3{a.x - b.x, a.y - b.y, a.z - b.z}; }

// Rotators and scale joints: point 0 is the centre, point 1 centre + axis.
template <class Joint>
vec3 centre_axis_point(Joint& joint, int index)
{
    return index == 0 ? joint.get_center() : add(joint.get_axis(), joint.get_center());
}

// Moving point 0 keeps point 1 where it was; moving point 1 keeps the centre.
template <class Joint>
void set_centre_axis_point(Joint& joint, int index, vec3 const& p)
{
    vec3 const c = joint.get_center();
    if (index == 0) {
        vec3 const e = add(c, joint.get_axis());
        joint.set_center(p);
        joint.set_axis(subtract(e, p));
    } else {
        joint.set_axis(subtract(p, c));
    }
}

// Reading and writing the eye or target of a camera part makes that camera
// current for a moment; the scene's camera index and edit mode come back after.
template <class F>
void with_camera(shape_class& shape, F&& use, bool reading)
{
    Host_ref<scene_interface> scene(shape.get_scene());
    if (!scene)
        throw std::runtime_error("shape has no scene");
    int saved = reading ? scene->get_current_camera_index() : 0;
    {
        Change_bracket bracket(*scene);
        if (!reading)
            saved = scene->get_current_camera_index();
        bool const edit = scene->is_edit_mode();
        if (edit)
            scene->exit_edit_mode();
        // The saved camera and edit mode come back also when a step fails;
        // the first failure is the one passed on.
        std::exception_ptr failure;
        try {
            shape.get_part().make_current_camera();
            use(scene->get_camera());
        } catch (...) {
            failure = std::current_exception();
        }
        try {
            scene->set_current_camera_index(saved);
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
        if (edit) {
            try {
                scene->enter_edit_mode();
            } catch (...) {
                if (!failure)
                    failure = std::current_exception();
            }
        }
        if (failure)
            std::rethrow_exception(failure);
    }
    if (reading)
        scene->update();
}

}  // namespace

vec3 no_position()
{
    // Made from its bits: no floating-point load on the way may quieten it.
    std::uint32_t const bits = 0x7fa00000u;
    float nan;
    std::memcpy(&nan, &bits, sizeof nan);
    return vec3{nan, nan, nan};
}

bool is_no_position(vec3 const& p) { return std::isnan(p.x) && std::isnan(p.y) && std::isnan(p.z); }

int Shape_class::set_object_type()
{
    if (!shape) {
        object_type = object_none;
        variable_points = false;
        fixed_point_count = 0;
        return object_type;
    }
    int const type = shape->get_type();
    object_type = type == shape_type_part ? classify_part_type(shape->get_part().get_part_type())
                                          : classify_shape_type(type);
    variable_points = var_points_flag[object_type];
    fixed_point_count = fixed_point_number_table[object_type];
    return object_type;
}

bool Shape_class::has_variable_points() const
{
    if (!variable_points || !shape)
        return false;
    try {
        return shape->get_number_of_all_points() > 0;
    } catch (...) {
        return false;
    }
}

shape_class* substance_shape(shape_class& shape, int* index)
{
    int const type = shape.get_type();
    if (type == shape_type_part) {
        int const n = shape.get_number_of_all_points();
        if (n <= *index) {
            *index -= n;
            return nullptr;
        }
        if (!shape.get_part().has_children())
            return nullptr;
        shape_class* const end = shape.get_children_end();
        for (shape_class* child = shape.get_first_child(); child && child != end;
             child = child->get_next_sibling()) {
            if (shape_class* holder = substance_shape(*child, index))
                return holder;
        }
        return nullptr;
    }
    if (type == shape_type_line || type == shape_type_polygon_mesh) {
        int const n = shape.get_number_of_all_points();
        if (n > *index)
            return &shape;
        *index -= n;
        return nullptr;
    }
    if (*index <= 0)
        return &shape;
    *index -= 1;
    return nullptr;
}

shape_class* Shape_class::substance_shape(int* index) const
{
    if (!shape || *index < 0 || shape->get_number_of_all_points() <= *index)
        return nullptr;
    return ::substance_shape(*shape, index);
}

namespace {

// A bound point is stored relative to its skin's matrix, an unbound one relative to its shape.
mat4 world_of(skin_class& skin, shape_class& s)
{
    return skin.get_number_of_bindings() != 0 ? skin.get_matrix() : s.get_world_matrix();
}

mat4 local_of(skin_class& skin, shape_class& s)
{
    return skin.get_number_of_bindings() != 0 ? reverse_matrix(skin.get_matrix()) : s.get_inverse_world_matrix();
}

}  // namespace

mat4 Shape_class::get_world(shape_class& s, vertex_class& vertex) const { return world_of(vertex.get_skin(), s); }
mat4 Shape_class::get_world(shape_class& s, control_point_class& point) const { return world_of(point.get_skin(), s); }
mat4 Shape_class::get_world(shape_class& s) const { return world_of(s.get_skin(), s); }
mat4 Shape_class::get_local(shape_class& s, vertex_class& vertex) const { return local_of(vertex.get_skin(), s); }
mat4 Shape_class::get_local(shape_class& s, control_point_class& point) const { return local_of(point.get_skin(), s); }
mat4 Shape_class::get_local(shape_class& s) const { return local_of(s.get_skin(), s); }

vec3 Shape_class::get_position(int index, bool world)
{
    if (!shape)
        return no_position();
    try {
        switch (object_type) {
        case object_part:
        case object_surface:
        case object_link: {
            int local = index;
            shape_class* holder = substance_shape(&local);
            if (!holder)
                return no_position();
            int const type = holder->get_type();
            if (type == shape_type_polygon_mesh) {
                vertex_class& vertex = holder->get_polygon_mesh().get_vertex(local);
                vec3 const p = vertex.get_position();
                return world ? p * get_world(*holder, vertex) : p;
            }
            if (type == shape_type_line) {
                control_point_class& point = holder->get_control_point(local);
                vec3 const p = point.get_position();
                return world ? p * get_world(*holder, point) : p;
            }
            return no_position();
        }
        case object_polygon: {
            vertex_class& vertex = shape->get_polygon_mesh().get_vertex(index);
            vec3 const p = vertex.get_position();
            return world ? p * get_world(*shape, vertex) : p;
        }
        case object_line: {
            control_point_class& point = shape->get_control_point(index);
            vec3 const p = point.get_position();
            return world ? p * get_world(*shape, point) : p;
        }
        default: break;
        }

        vec3 p;
        switch (object_type) {
        case object_ball: {
            Host_ref<ball_joint_interface> joint(shape->get_ball_joint());
            p = joint->get_center();
            break;
        }
        case object_rotator: {
            Host_ref<rotator_joint_interface> joint(shape->get_rotator_joint());
            p = centre_axis_point(*joint, index);
            break;
        }
        case object_slider: {
            Host_ref<slider_joint_interface> joint(shape->get_slider_joint());
            p = index == 0 ? joint->get_start() : joint->get_end();
            break;
        }
        case object_scale: {
            Host_ref<scale_joint_interface> joint(shape->get_scale_joint());
            p = centre_axis_point(*joint, index);
            break;
        }
        case object_uniscale: {
            Host_ref<uniscale_joint_interface> joint(shape->get_uniscale_joint());
            p = joint->get_center();
            break;
        }
        case object_camera:
            with_camera(
                *shape, [&](camera_class& camera) { p = index == 0 ? camera.get_eye() : camera.get_target(); },
                true);
            break;
        case object_light: p = shape->get_light().get_position(); break;
        case object_sphere: p = shape->get_sphere().get_center(); break;
        case object_disk: p = shape->get_disk().get_center(); break;
        default: return no_position();
        }
        return world ? p * get_world(*shape) : p;
    } catch (...) {
        return no_position();
    }
}

namespace {

// Moves the shapes that the joint and skin window extensions attached to a
// shape by the offset of its point 0.
void move_attached_shapes(Shape_class& wrapper, vec3 const& p)
{
    shape_class& shape = *wrapper.shape;
    int const nj = shape.get_attached_shapes(extend_joint_window_uuid, nullptr);
    std::vector<shape_class*> joint_list(nj > 0 ? static_cast<std::size_t>(nj) : 0);
    if (nj > 0)
        shape.get_attached_shapes(extend_joint_window_uuid, joint_list.data());
    int const ns = shape.get_attached_shapes(extend_skin_window_uuid, nullptr);
    std::vector<shape_class*> skin_list(ns > 0 ? static_cast<std::size_t>(ns) : 0);
    if (ns > 0)
        shape.get_attached_shapes(extend_skin_window_uuid, skin_list.data());
    if (nj <= 0 && ns <= 0)
        return;

    vec3 const q = wrapper.get_position(0, false);
    vec3 const d = subtract(p, q);
    // Point 0 could not be read: there is no offset to move them by.
    if (std::isnan(d.x) || std::isnan(d.y) || std::isnan(d.z))
        return;
    mat4 t = mat4::identity;
    t.m[3][0] = d.x;
    t.m[3][1] = d.y;
    t.m[3][2] = d.z;
    for (shape_class* s : joint_list)
        if (s)
            s->transform(t);
    for (shape_class* s : skin_list) {
        if (!s)
            continue;
        if (s->get_type() == shape_type_part)
            for_each_child(*s, [&](shape_class& child) { child.transform(t); });
        else
            s->transform(t);
    }
}

}  // namespace

void Shape_class::set_position(int index, vec3 const& v, bool world) { (void)put_position(index, v, world); }

namespace {

bool finite(vec3 const& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

bool finite(Surface_point const& p)
{
    return finite(p.position) && finite(p.in_handle) && finite(p.out_handle) && finite(p.inner_handle) &&
           finite(p.outer_handle);
}

// A position taken into local coordinates through a matrix that holds a NaN
// or an infinity is not written: it would destroy the stored coordinates.
template <class Point, class Value>
bool put_if_finite(Point& point, Value const& value)
{
    if (!finite(value))
        return false;
    point.set_position(value);
    return true;
}

}  // namespace

bool Shape_class::put_position(int index, vec3 const& v, bool world)
{
    if (!shape)
        return false;
    try {
        switch (object_type) {
        case object_part:
        case object_surface:
        case object_link: {
            int local = index;
            shape_class* holder = substance_shape(&local);
            if (!holder)
                return false;
            int const type = holder->get_type();
            if (type == shape_type_polygon_mesh) {
                vertex_class& vertex = holder->get_polygon_mesh().get_vertex(local);
                return put_if_finite(vertex, world ? v * get_local(*holder, vertex) : v);
            }
            if (type == shape_type_line) {
                control_point_class& point = holder->get_control_point(local);
                return put_if_finite(point, world ? v * get_local(*holder, point) : v);
            }
            return false;
        }
        case object_polygon: {
            vertex_class& vertex = shape->get_polygon_mesh().get_vertex(index);
            return put_if_finite(vertex, world ? v * get_local(*shape, vertex) : v);
        }
        case object_line: {
            control_point_class& point = shape->get_control_point(index);
            return put_if_finite(point, world ? v * get_local(*shape, point) : v);
        }
        default: break;
        }

        vec3 const p = world ? v * get_local(*shape) : v;
        // Types without fixed points have no point 0 to measure the offset from.
        if (fixed_point_count > 0)
            move_attached_shapes(*this, p);

        switch (object_type) {
        case object_ball: {
            Host_ref<ball_joint_interface> joint(shape->get_ball_joint());
            joint->set_center(p);
            break;
        }
        case object_camera:
            with_camera(
                *shape,
                [&](camera_class& camera) {
                    if (index == 0)
                        camera.set_eye(p);
                    else
                        camera.set_target(p);
                },
                false);
            break;
        case object_rotator: {
            Host_ref<rotator_joint_interface> joint(shape->get_rotator_joint());
            set_centre_axis_point(*joint, index, p);
            break;
        }
        case object_scale: {
            Host_ref<scale_joint_interface> joint(shape->get_scale_joint());
            set_centre_axis_point(*joint, index, p);
            break;
        }
        case object_slider: {
            Host_ref<slider_joint_interface> joint(shape->get_slider_joint());
            if (index == 0)
                joint->set_start(p);
            else
                joint->set_end(p);
            break;
        }
        case object_uniscale: {
            Host_ref<uniscale_joint_interface> joint(shape->get_uniscale_joint());
            joint->set_center(p);
            break;
        }
        case object_light: shape->get_light().set_position(p); break;
        case object_sphere: shape->get_sphere().set_center(p); break;
        case object_disk: shape->get_disk().set_center(p); break;
        default: break;
        }
        return true;
    } catch (...) {
        // Changes already made stay; setting a position reports nothing.
        return false;
    }
}

bool Shape_class::get_surface_point(int index, Surface_point& point, bool world)
{
    if (!shape)
        return false;
    try {
        if (object_type == object_part) {
            int local = index;
            shape_class* holder = substance_shape(&local);
            if (!holder)
                return false;
            control_point_class& cp = holder->get_control_point(local);
            point.get(cp);
            if (world)
                point *= get_world(*holder, cp);
            return true;
        }
        control_point_class& cp = shape->get_control_point(index);
        point.get(cp);
        if (world) {
            int local = index;
            shape_class* holder = substance_shape(&local);
            if (!holder)
                return false;
            point *= get_world(*holder, cp);
        }
        return true;
    } catch (...) {
        return false;
    }
}

bool Shape_class::set_surface_point(int index, Surface_point const& point, bool world)
{
    if (!shape)
        return false;
    try {
        if (object_type == object_part) {
            int local = index;
            shape_class* holder = substance_shape(&local);
            if (!holder)
                return false;
            control_point_class& cp = holder->get_control_point(local);
            Surface_point const value = world ? point * get_local(*holder, cp) : point;
            if (!finite(value))
                return false;
            value.set(cp);
            return true;
        }
        control_point_class& cp = shape->get_control_point(index);
        if (!world) {
            point.set(cp);
            return true;
        }
        // Written through the shape that holds the point, as it is read: a
        // surface's line may have a matrix of its own.
        int local = index;
        shape_class* holder = substance_shape(&local);
        if (!holder)
            return false;
        Surface_point const value = point * get_local(*holder, cp);
        if (!finite(value))
            return false;
        value.set(cp);
        return true;
    } catch (...) {
        return false;
    }
}

bool Shape_class::is_secret_shape()
{
    int count = shape->get_attached_shapes(extend_joint_window_uuid, nullptr);
    if (count == 0)
        count = shape->get_attached_shapes(extend_skin_window_uuid, nullptr);
    if (count == 0)
        return false;
    return object_type == object_surface ? true : has_variable_points();
}

void adjust_switch(shape_class& shape)
{
    try {
        part_class& part = shape.get_part();
        if (part.get_part_type() == 1) {
            if (part.is_switched())
                part.toggle_switch();
            return;
        }
        for_each_child(shape, [](shape_class& child) { adjust_switch(child); });
    } catch (...) {
        // Ends the handling of this shape only; its siblings are still visited.
    }
}
