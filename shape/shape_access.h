// Shape_class: the uniform way to reach the points and skins of any host shape.
#pragma once

#include <utility>
#include <vector>

#include "arithmetic.h"
#include "sceneinterface.h"

// Pairs of joint and weight to bind to one point or shape, applied in order.
using Skin_bindings = std::vector<std::pair<shape_class*, float>>;

// Object types: a numbering of the system's own, not the file's kind codes.
enum Object_type : int {
    object_none = -1,
    object_part = 0,
    object_surface = 1,
    object_rotator = 2,
    object_slider = 3,
    object_scale = 4,
    object_uniscale = 5,
    object_light_joint = 6,
    object_path = 7,
    object_morph = 8,
    object_part_type_13 = 9,
    object_custom = 10,
    object_ball = 11,
    object_camera = 12,
    object_link = 13,
    object_light = 14,
    object_line = 15,
    object_sphere = 16,
    object_disk = 17,
    object_polygon = 18,
    object_shape_type_8 = 19,
    object_part_type_100 = 21,
    object_part_type_12 = 23,
    object_other = 24,
};

// Three signalling NaNs: what reading a point gives when there is no such point.
vec3 no_position();
bool is_no_position(vec3 const& p);

// The shape below `shape` that holds point *index, with *index rewritten to
// its index there; null when no shape holds it.
shape_class* substance_shape(shape_class& shape, int* index);

// Switches every switched surface part at or below shape back.
void adjust_switch(shape_class& shape);

// Calls f on each child of shape, in child order.
template <class F>
void for_each_child(shape_class& shape, F&& f)
{
    shape_class* const end = shape.get_children_end();
    for (shape_class* child = shape.get_first_child(); child && child != end;
         child = child->get_next_sibling())
        f(*child);
}

class Shape_class {
public:
    explicit Shape_class(shape_class* wrapped = nullptr) : shape(wrapped) { set_object_type(); }

    // Wraps another shape and classifies it.
    int wrap(shape_class* wrapped)
    {
        shape = wrapped;
        return set_object_type();
    }

    int set_object_type();
    bool has_variable_points() const;
    shape_class* substance_shape(int* index) const;

    vec3 get_position(int index, bool world);
    void set_position(int index, vec3 const& position, bool world);
    // The same, telling whether the point was written: false where it could
    // not be, or where its local position would not be finite.
    bool put_position(int index, vec3 const& position, bool world);
    bool get_surface_point(int index, Surface_point& point, bool world);
    bool set_surface_point(int index, Surface_point const& point, bool world);

    // Replaces the list's contents with the shape's active point indices.
    template <class List>
    int get_active_points(List& list)
    {
        int const n = shape->get_active_point_indices(nullptr);
        list.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
        if (n > 0)
            return shape->get_active_point_indices(list.data());
        return 0;
    }

    bool is_secret_shape();

    // Matrices from a point's stored coordinates to world coordinates and back:
    // the skin's matrix when the skin is bound, the shape's matrix otherwise.
    mat4 get_world(shape_class& shape, vertex_class& vertex) const;
    mat4 get_world(shape_class& shape, control_point_class& point) const;
    mat4 get_world(shape_class& shape) const;
    mat4 get_local(shape_class& shape, vertex_class& vertex) const;
    mat4 get_local(shape_class& shape, control_point_class& point) const;
    mat4 get_local(shape_class& shape) const;

    // Skins.
    skin_class* get_skin(int index) const;
    int append_skin(int index, Skin_bindings& bindings, bool hold);
    void append_polygon_skin(int index, Skin_bindings& bindings, bool hold);
    void append_surface_skin(int index, Skin_bindings& bindings, bool hold);
    void append_other_skin(Skin_bindings& bindings, bool hold);
    int clear_points_skin(std::vector<int> const& indices, bool hold, shape_class* joint);
    int clear_shape_skin(bool hold, shape_class* joint);
    void clear_polygon_skin(int index, bool hold, shape_class* joint);
    void clear_surface_skin(int index, bool hold, shape_class* joint);
    void clear_other_skin(bool hold, shape_class* joint);

    shape_class* shape;
    int object_type = object_none;
    bool variable_points = false;
    int fixed_point_count = 0;

private:
    bool has_point_skins() const;
    template <class Change>
    void hold_vertex(int index, bool hold, Change&& change);
    template <class Change>
    void hold_control_point(int index, bool hold, Change&& change);
    template <class Change>
    void hold_shape(bool hold, Change&& change);
};
