// The host's scene and its shapes, parts, skins and points as the plug-in
// sees them. Every operation may throw to report a failure of the host, and
// ends in a reserved pointer that the plug-in passes as null.
#pragma once

#include "unknowninterface.h"
#include "vantelinterface.h"

class shape_class;
class part_class;
class scene_interface;

// One binding of a skin: a joint and its weight. Owned by its skin.
class skin_entry_class {
public:
    virtual shape_class* get_joint(void* reserved = nullptr) = 0;
    virtual void set_joint(shape_class* joint, void* reserved = nullptr) = 0;
    virtual float get_weight(void* reserved = nullptr) = 0;
    virtual void set_weight(float weight, void* reserved = nullptr) = 0;

protected:
    ~skin_entry_class() = default;
};

// An ordered list of bindings, indexed from 0; a view owned by its point or shape.
class skin_class {
public:
    virtual int get_number_of_bindings(void* reserved = nullptr) = 0;
    virtual skin_entry_class& get_binding(int index, void* reserved = nullptr) = 0;
    // Adds one empty binding at index get_number_of_bindings().
    virtual void append_binding(void* reserved = nullptr) = 0;
    virtual void remove_binding(int index, void* reserved = nullptr) = 0;
    // The deformation matrix of the skin: where its bound points are stored relative to.
    virtual mat4 get_matrix(void* reserved = nullptr) = 0;

protected:
    ~skin_class() = default;
};

class vertex_class {
public:
    virtual vec3 get_position(void* reserved = nullptr) = 0;
    virtual void set_position(vec3 const& position, void* reserved = nullptr) = 0;
    virtual skin_class& get_skin(void* reserved = nullptr) = 0;

protected:
    ~vertex_class() = default;
};

class polygon_mesh_class {
public:
    virtual vertex_class& get_vertex(int index, void* reserved = nullptr) = 0;

protected:
    ~polygon_mesh_class() = default;
};

// A control point of a line or surface: position, four handles, two flags.
class control_point_class {
public:
    virtual skin_class& get_skin(void* reserved = nullptr) = 0;
    virtual vec3 get_position(void* reserved = nullptr) = 0;
    virtual void set_position(vec3 const& v, void* reserved = nullptr) = 0;
    virtual vec3 get_in_handle(void* reserved = nullptr) = 0;
    virtual void set_in_handle(vec3 const& v, void* reserved = nullptr) = 0;
    virtual vec3 get_out_handle(void* reserved = nullptr) = 0;
    virtual void set_out_handle(vec3 const& v, void* reserved = nullptr) = 0;
    virtual vec3 get_inner_handle(void* reserved = nullptr) = 0;
    virtual void set_inner_handle(vec3 const& v, void* reserved = nullptr) = 0;
    virtual vec3 get_outer_handle(void* reserved = nullptr) = 0;
    virtual void set_outer_handle(vec3 const& v, void* reserved = nullptr) = 0;
    virtual bool get_first_flag(void* reserved = nullptr) = 0;
    virtual void set_first_flag(bool flag, void* reserved = nullptr) = 0;
    virtual bool get_second_flag(void* reserved = nullptr) = 0;
    virtual void set_second_flag(bool flag, void* reserved = nullptr) = 0;

protected:
    ~control_point_class() = default;
};

class light_class {
public:
    virtual vec3 get_position(void* reserved = nullptr) = 0;
    virtual void set_position(vec3 const& v, void* reserved = nullptr) = 0;

protected:
    ~light_class() = default;
};

class sphere_class {
public:
    virtual vec3 get_center(void* reserved = nullptr) = 0;
    virtual void set_center(vec3 const& v, void* reserved = nullptr) = 0;

protected:
    ~sphere_class() = default;
};

class disk_class {
public:
    virtual vec3 get_center(void* reserved = nullptr) = 0;
    virtual void set_center(vec3 const& v, void* reserved = nullptr) = 0;

protected:
    ~disk_class() = default;
};

class camera_class {
public:
    virtual vec3 get_eye(void* reserved = nullptr) = 0;
    virtual void set_eye(vec3 const& v, void* reserved = nullptr) = 0;
    virtual vec3 get_target(void* reserved = nullptr) = 0;
    virtual void set_target(vec3 const& v, void* reserved = nullptr) = 0;

protected:
    ~camera_class() = default;
};

// Joint objects are handed out with a reference; the caller releases them.
class rotator_joint_interface : public unknown_interface {
public:
    virtual vec3 get_center(void* reserved = nullptr) = 0;
    virtual void set_center(vec3 const& v, void* reserved = nullptr) = 0;
    virtual vec3 get_axis(void* reserved = nullptr) = 0;
    virtual void set_axis(vec3 const& v, void* reserved = nullptr) = 0;
};

class scale_joint_interface : public unknown_interface {
public:
    virtual vec3 get_center(void* reserved = nullptr) = 0;
    virtual void set_center(vec3 const& v, void* reserved = nullptr) = 0;
    virtual vec3 get_axis(void* reserved = nullptr) = 0;
    virtual void set_axis(vec3 const& v, void* reserved = nullptr) = 0;
};

class slider_joint_interface : public unknown_interface {
public:
    virtual vec3 get_start(void* reserved = nullptr) = 0;
    virtual void set_start(vec3 const& v, void* reserved = nullptr) = 0;
    virtual vec3 get_end(void* reserved = nullptr) = 0;
    virtual void set_end(vec3 const& v, void* reserved = nullptr) = 0;
};

class uniscale_joint_interface : public unknown_interface {
public:
    virtual vec3 get_center(void* reserved = nullptr) = 0;
    virtual void set_center(vec3 const& v, void* reserved = nullptr) = 0;
};

class ball_joint_interface : public unknown_interface {
public:
    virtual vec3 get_center(void* reserved = nullptr) = 0;
    virtual void set_center(vec3 const& v, void* reserved = nullptr) = 0;
};

// Host shape type codes (get_type).
enum : int {
    shape_type_part = 2,
    shape_type_light = 3,
    shape_type_line = 4,
    shape_type_sphere = 5,
    shape_type_disk = 6,
    shape_type_polygon_mesh = 7,
};

class shape_class {
public:
    // Tree. Children run from get_first_child by get_next_sibling up to
    // get_children_end; get_previous_sibling of the end is the last child.
    virtual shape_class* get_first_child(void* reserved = nullptr) = 0;
    virtual shape_class* get_children_end(void* reserved = nullptr) = 0;
    virtual shape_class* get_next_sibling(void* reserved = nullptr) = 0;
    virtual shape_class* get_previous_sibling(void* reserved = nullptr) = 0;
    virtual shape_class* get_parent(void* reserved = nullptr) = 0;
    virtual bool has_parent(void* reserved = nullptr) = 0;
    virtual bool has_children(void* reserved = nullptr) = 0;
    // Position in the scene's shape order; a shape comes after its parent.
    virtual int get_ordinal(void* reserved = nullptr) = 0;
    // Handed out with a reference; the caller releases it.
    virtual scene_interface* get_scene(void* reserved = nullptr) = 0;

    // Kind.
    virtual int get_type(void* reserved = nullptr) = 0;
    // The part view of a part (shape type 2); throws for other shapes.
    virtual part_class& get_part(void* reserved = nullptr) = 0;
    // Text owned by the host.
    virtual char const* get_name(void* reserved = nullptr) = 0;

    // Points.
    virtual int get_number_of_points(void* reserved = nullptr) = 0;
    virtual int get_number_of_all_points(void* reserved = nullptr) = 0;
    // Without a buffer: the count of active points; with one: fills it and returns the count.
    virtual int get_active_point_indices(int* buffer, void* reserved = nullptr) = 0;
    virtual control_point_class& get_control_point(int index, void* reserved = nullptr) = 0;
    virtual polygon_mesh_class& get_polygon_mesh(void* reserved = nullptr) = 0;
    virtual light_class& get_light(void* reserved = nullptr) = 0;
    virtual sphere_class& get_sphere(void* reserved = nullptr) = 0;
    virtual disk_class& get_disk(void* reserved = nullptr) = 0;
    virtual rotator_joint_interface* get_rotator_joint(void* reserved = nullptr) = 0;
    virtual slider_joint_interface* get_slider_joint(void* reserved = nullptr) = 0;
    virtual scale_joint_interface* get_scale_joint(void* reserved = nullptr) = 0;
    virtual uniscale_joint_interface* get_uniscale_joint(void* reserved = nullptr) = 0;
    virtual ball_joint_interface* get_ball_joint(void* reserved = nullptr) = 0;

    // Matrices. transform(m) makes the world matrix m · (world matrix).
    virtual mat4 get_world_matrix(void* reserved = nullptr) = 0;
    virtual mat4 get_inverse_world_matrix(void* reserved = nullptr) = 0;
    virtual void transform(mat4 const& m, void* reserved = nullptr) = 0;
    virtual void clear_transformation(bool keep_geometry, void* reserved = nullptr) = 0;

    // Skins: the shape's own skin, and brackets around changes of its skins.
    virtual skin_class& get_skin(void* reserved = nullptr) = 0;
    virtual void remove_skin(void* reserved = nullptr) = 0;
    virtual void begin_modification(void* reserved = nullptr) = 0;
    virtual void end_modification(void* reserved = nullptr) = 0;
    // Shapes that a host extension has attached; without a buffer only the count.
    virtual int get_attached_shapes(component_id const& extension, shape_class** buffer,
                                    void* reserved = nullptr) = 0;

protected:
    ~shape_class() = default;
};

// The part view of a shape of type 2.
class part_class : public shape_class {
public:
    virtual int get_part_type(void* reserved = nullptr) = 0;
    virtual bool is_switched(void* reserved = nullptr) = 0;
    virtual void toggle_switch(void* reserved = nullptr) = 0;
    virtual void make_current_camera(void* reserved = nullptr) = 0;

protected:
    ~part_class() = default;
};

// The scene offers the host services too.
class scene_interface : public vantel_interface {
public:
    virtual int get_number_of_active_shapes(void* reserved = nullptr) = 0;
    virtual shape_class* get_active_shape(int index, void* reserved = nullptr) = 0;
    virtual shape_class* get_current_shape(void* reserved = nullptr) = 0;
    virtual int get_number_of_memorised_shapes(void* reserved = nullptr) = 0;
    virtual shape_class* get_memorised_shape(int index, void* reserved = nullptr) = 0;
    virtual shape_class* get_memory_shape(void* reserved = nullptr) = 0;
    virtual part_class* get_root_part(void* reserved = nullptr) = 0;

    virtual bool is_edit_mode(void* reserved = nullptr) = 0;
    virtual void exit_edit_mode(void* reserved = nullptr) = 0;
    virtual void enter_edit_mode(void* reserved = nullptr) = 0;
    virtual void update(void* reserved = nullptr) = 0;
    // Always paired.
    virtual void begin_change(void* reserved = nullptr) = 0;
    virtual void end_change(void* reserved = nullptr) = 0;
    virtual void refresh(void* reserved = nullptr) = 0;

    // The camera view of the current camera.
    virtual camera_class& get_camera(void* reserved = nullptr) = 0;
    virtual int get_current_camera_index(void* reserved = nullptr) = 0;
    virtual void set_current_camera_index(int index, void* reserved = nullptr) = 0;
};
