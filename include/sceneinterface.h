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
class TAVRIK_SLOTS(skin_entry_class) {
public:
    virtual shape_class* get_joint(void* reserved = nullptr) = 0;
    virtual void set_joint(shape_class* joint, void* reserved = nullptr) = 0;
    virtual float get_weight(void* reserved = nullptr) = 0;
    virtual void set_weight(float weight, void* reserved = nullptr) = 0;

protected:
    ~TAVRIK_SLOTS(skin_entry_class)() = default;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class skin_entry_class : public skin_entry_class_slots {
    using slots = skin_entry_class_slots;

public:
    TAVRIK_GUARDED(get_joint)
    TAVRIK_GUARDED(set_joint)
    TAVRIK_GUARDED(get_weight)
    TAVRIK_GUARDED(set_weight)

protected:
    ~skin_entry_class() = default;
};
#endif

// An ordered list of bindings, indexed from 0; a view owned by its point or shape.
class TAVRIK_SLOTS(skin_class) {
public:
    virtual int get_number_of_bindings(void* reserved = nullptr) = 0;
    virtual skin_entry_class& get_binding(int index, void* reserved = nullptr) = 0;
    // Adds one empty binding at index get_number_of_bindings().
    virtual void append_binding(void* reserved = nullptr) = 0;
    virtual void remove_binding(int index, void* reserved = nullptr) = 0;
    // The deformation matrix of the skin: where its bound points are stored relative to.
    TAVRIK_RESULT_SLOT(mat4, get_matrix);

protected:
    ~TAVRIK_SLOTS(skin_class)() = default;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class skin_class : public skin_class_slots {
    using slots = skin_class_slots;

public:
    TAVRIK_GUARDED(get_number_of_bindings)
    TAVRIK_GUARDED(get_binding)
    TAVRIK_GUARDED(append_binding)
    TAVRIK_GUARDED(remove_binding)
    TAVRIK_GUARDED_RESULT(mat4, get_matrix)

protected:
    ~skin_class() = default;
};
#endif

class TAVRIK_SLOTS(vertex_class) {
public:
    TAVRIK_RESULT_SLOT(vec3, get_position);
    virtual void set_position(vec3 const& position, void* reserved = nullptr) = 0;
    virtual skin_class& get_skin(void* reserved = nullptr) = 0;

protected:
    ~TAVRIK_SLOTS(vertex_class)() = default;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class vertex_class : public vertex_class_slots {
    using slots = vertex_class_slots;

public:
    TAVRIK_GUARDED_RESULT(vec3, get_position)
    TAVRIK_GUARDED(set_position)
    TAVRIK_GUARDED(get_skin)

protected:
    ~vertex_class() = default;
};
#endif

class TAVRIK_SLOTS(polygon_mesh_class) {
public:
    virtual vertex_class& get_vertex(int index, void* reserved = nullptr) = 0;

protected:
    ~TAVRIK_SLOTS(polygon_mesh_class)() = default;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class polygon_mesh_class : public polygon_mesh_class_slots {
    using slots = polygon_mesh_class_slots;

public:
    TAVRIK_GUARDED(get_vertex)

protected:
    ~polygon_mesh_class() = default;
};
#endif

// A control point of a line or surface: position, four handles, two flags.
class TAVRIK_SLOTS(control_point_class) {
public:
    virtual skin_class& get_skin(void* reserved = nullptr) = 0;
    TAVRIK_RESULT_SLOT(vec3, get_position);
    virtual void set_position(vec3 const& v, void* reserved = nullptr) = 0;
    TAVRIK_RESULT_SLOT(vec3, get_in_handle);
    virtual void set_in_handle(vec3 const& v, void* reserved = nullptr) = 0;
    TAVRIK_RESULT_SLOT(vec3, get_out_handle);
    virtual void set_out_handle(vec3 const& v, void* reserved = nullptr) = 0;
    TAVRIK_RESULT_SLOT(vec3, get_inner_handle);
    virtual void set_inner_handle(vec3 const& v, void* reserved = nullptr) = 0;
    TAVRIK_RESULT_SLOT(vec3, get_outer_handle);
    virtual void set_outer_handle(vec3 const& v, void* reserved = nullptr) = 0;
    virtual bool get_first_flag(void* reserved = nullptr) = 0;
    virtual void set_first_flag(bool flag, void* reserved = nullptr) = 0;
    virtual bool get_second_flag(void* reserved = nullptr) = 0;
    virtual void set_second_flag(bool flag, void* reserved = nullptr) = 0;

protected:
    ~TAVRIK_SLOTS(control_point_class)() = default;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class control_point_class : public control_point_class_slots {
    using slots = control_point_class_slots;

public:
    TAVRIK_GUARDED(get_skin)
    TAVRIK_GUARDED_RESULT(vec3, get_position)
    TAVRIK_GUARDED(set_position)
    TAVRIK_GUARDED_RESULT(vec3, get_in_handle)
    TAVRIK_GUARDED(set_in_handle)
    TAVRIK_GUARDED_RESULT(vec3, get_out_handle)
    TAVRIK_GUARDED(set_out_handle)
    TAVRIK_GUARDED_RESULT(vec3, get_inner_handle)
    TAVRIK_GUARDED(set_inner_handle)
    TAVRIK_GUARDED_RESULT(vec3, get_outer_handle)
    TAVRIK_GUARDED(set_outer_handle)
    TAVRIK_GUARDED(get_first_flag)
    TAVRIK_GUARDED(set_first_flag)
    TAVRIK_GUARDED(get_second_flag)
    TAVRIK_GUARDED(set_second_flag)

protected:
    ~control_point_class() = default;
};
#endif

class TAVRIK_SLOTS(light_class) {
public:
    TAVRIK_RESULT_SLOT(vec3, get_position);
    virtual void set_position(vec3 const& v, void* reserved = nullptr) = 0;

protected:
    ~TAVRIK_SLOTS(light_class)() = default;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class light_class : public light_class_slots {
    using slots = light_class_slots;

public:
    TAVRIK_GUARDED_RESULT(vec3, get_position)
    TAVRIK_GUARDED(set_position)

protected:
    ~light_class() = default;
};
#endif

class TAVRIK_SLOTS(sphere_class) {
public:
    TAVRIK_RESULT_SLOT(vec3, get_center);
    virtual void set_center(vec3 const& v, void* reserved = nullptr) = 0;

protected:
    ~TAVRIK_SLOTS(sphere_class)() = default;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class sphere_class : public sphere_class_slots {
    using slots = sphere_class_slots;

public:
    TAVRIK_GUARDED_RESULT(vec3, get_center)
    TAVRIK_GUARDED(set_center)

protected:
    ~sphere_class() = default;
};
#endif

class TAVRIK_SLOTS(disk_class) {
public:
    TAVRIK_RESULT_SLOT(vec3, get_center);
    virtual void set_center(vec3 const& v, void* reserved = nullptr) = 0;

protected:
    ~TAVRIK_SLOTS(disk_class)() = default;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class disk_class : public disk_class_slots {
    using slots = disk_class_slots;

public:
    TAVRIK_GUARDED_RESULT(vec3, get_center)
    TAVRIK_GUARDED(set_center)

protected:
    ~disk_class() = default;
};
#endif

class TAVRIK_SLOTS(camera_class) {
public:
    TAVRIK_RESULT_SLOT(vec3, get_eye);
    virtual void set_eye(vec3 const& v, void* reserved = nullptr) = 0;
    TAVRIK_RESULT_SLOT(vec3, get_target);
    virtual void set_target(vec3 const& v, void* reserved = nullptr) = 0;

protected:
    ~TAVRIK_SLOTS(camera_class)() = default;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class camera_class : public camera_class_slots {
    using slots = camera_class_slots;

public:
    TAVRIK_GUARDED_RESULT(vec3, get_eye)
    TAVRIK_GUARDED(set_eye)
    TAVRIK_GUARDED_RESULT(vec3, get_target)
    TAVRIK_GUARDED(set_target)

protected:
    ~camera_class() = default;
};
#endif

// Joint objects are handed out with a reference; the caller releases them.
class TAVRIK_SLOTS(rotator_joint_interface) : public unknown_interface {
public:
    TAVRIK_RESULT_SLOT(vec3, get_center);
    virtual void set_center(vec3 const& v, void* reserved = nullptr) = 0;
    TAVRIK_RESULT_SLOT(vec3, get_axis);
    virtual void set_axis(vec3 const& v, void* reserved = nullptr) = 0;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class rotator_joint_interface : public rotator_joint_interface_slots {
    using slots = rotator_joint_interface_slots;

public:
    TAVRIK_GUARDED_RESULT(vec3, get_center)
    TAVRIK_GUARDED(set_center)
    TAVRIK_GUARDED_RESULT(vec3, get_axis)
    TAVRIK_GUARDED(set_axis)
};
#endif

class TAVRIK_SLOTS(scale_joint_interface) : public unknown_interface {
public:
    TAVRIK_RESULT_SLOT(vec3, get_center);
    virtual void set_center(vec3 const& v, void* reserved = nullptr) = 0;
    TAVRIK_RESULT_SLOT(vec3, get_axis);
    virtual void set_axis(vec3 const& v, void* reserved = nullptr) = 0;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class scale_joint_interface : public scale_joint_interface_slots {
    using slots = scale_joint_interface_slots;

public:
    TAVRIK_GUARDED_RESULT(vec3, get_center)
    TAVRIK_GUARDED(set_center)
    TAVRIK_GUARDED_RESULT(vec3, get_axis)
    TAVRIK_GUARDED(set_axis)
};
#endif

class TAVRIK_SLOTS(slider_joint_interface) : public unknown_interface {
public:
    TAVRIK_RESULT_SLOT(vec3, get_start);
    virtual void set_start(vec3 const& v, void* reserved = nullptr) = 0;
    TAVRIK_RESULT_SLOT(vec3, get_end);
    virtual void set_end(vec3 const& v, void* reserved = nullptr) = 0;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class slider_joint_interface : public slider_joint_interface_slots {
    using slots = slider_joint_interface_slots;

public:
    TAVRIK_GUARDED_RESULT(vec3, get_start)
    TAVRIK_GUARDED(set_start)
    TAVRIK_GUARDED_RESULT(vec3, get_end)
    TAVRIK_GUARDED(set_end)
};
#endif

class TAVRIK_SLOTS(uniscale_joint_interface) : public unknown_interface {
public:
    TAVRIK_RESULT_SLOT(vec3, get_center);
    virtual void set_center(vec3 const& v, void* reserved = nullptr) = 0;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class uniscale_joint_interface : public uniscale_joint_interface_slots {
    using slots = uniscale_joint_interface_slots;

public:
    TAVRIK_GUARDED_RESULT(vec3, get_center)
    TAVRIK_GUARDED(set_center)
};
#endif

class TAVRIK_SLOTS(ball_joint_interface) : public unknown_interface {
public:
    TAVRIK_RESULT_SLOT(vec3, get_center);
    virtual void set_center(vec3 const& v, void* reserved = nullptr) = 0;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class ball_joint_interface : public ball_joint_interface_slots {
    using slots = ball_joint_interface_slots;

public:
    TAVRIK_GUARDED_RESULT(vec3, get_center)
    TAVRIK_GUARDED(set_center)
};
#endif

// Host shape type codes (get_type).
enum : int {
    shape_type_part = 2,
    shape_type_light = 3,
    shape_type_line = 4,
    shape_type_sphere = 5,
    shape_type_disk = 6,
    shape_type_polygon_mesh = 7,
};

class TAVRIK_SLOTS(shape_class) {
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
    TAVRIK_RESULT_SLOT(mat4, get_world_matrix);
    TAVRIK_RESULT_SLOT(mat4, get_inverse_world_matrix);
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
    ~TAVRIK_SLOTS(shape_class)() = default;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class shape_class : public shape_class_slots {
    using slots = shape_class_slots;

public:
    TAVRIK_GUARDED(get_first_child)
    TAVRIK_GUARDED(get_children_end)
    TAVRIK_GUARDED(get_next_sibling)
    TAVRIK_GUARDED(get_previous_sibling)
    TAVRIK_GUARDED(get_parent)
    TAVRIK_GUARDED(has_parent)
    TAVRIK_GUARDED(has_children)
    TAVRIK_GUARDED(get_ordinal)
    TAVRIK_GUARDED(get_scene)
    TAVRIK_GUARDED(get_type)
    TAVRIK_GUARDED(get_part)
    TAVRIK_GUARDED(get_name)
    TAVRIK_GUARDED(get_number_of_points)
    TAVRIK_GUARDED(get_number_of_all_points)
    TAVRIK_GUARDED(get_active_point_indices)
    TAVRIK_GUARDED(get_control_point)
    TAVRIK_GUARDED(get_polygon_mesh)
    TAVRIK_GUARDED(get_light)
    TAVRIK_GUARDED(get_sphere)
    TAVRIK_GUARDED(get_disk)
    TAVRIK_GUARDED(get_rotator_joint)
    TAVRIK_GUARDED(get_slider_joint)
    TAVRIK_GUARDED(get_scale_joint)
    TAVRIK_GUARDED(get_uniscale_joint)
    TAVRIK_GUARDED(get_ball_joint)
    TAVRIK_GUARDED_RESULT(mat4, get_world_matrix)
    TAVRIK_GUARDED_RESULT(mat4, get_inverse_world_matrix)
    TAVRIK_GUARDED(transform)
    TAVRIK_GUARDED(clear_transformation)
    TAVRIK_GUARDED(get_skin)
    TAVRIK_GUARDED(remove_skin)
    TAVRIK_GUARDED(begin_modification)
    TAVRIK_GUARDED(end_modification)
    TAVRIK_GUARDED(get_attached_shapes)

protected:
    ~shape_class() = default;
};
#endif

// The part view of a shape of type 2.
class TAVRIK_SLOTS(part_class) : public shape_class {
public:
    virtual int get_part_type(void* reserved = nullptr) = 0;
    virtual bool is_switched(void* reserved = nullptr) = 0;
    virtual void toggle_switch(void* reserved = nullptr) = 0;
    virtual void make_current_camera(void* reserved = nullptr) = 0;

protected:
    ~TAVRIK_SLOTS(part_class)() = default;
};
#if defined(TAVRIK_MSVC_LAYOUT)
class part_class : public part_class_slots {
    using slots = part_class_slots;

public:
    TAVRIK_GUARDED(get_part_type)
    TAVRIK_GUARDED(is_switched)
    TAVRIK_GUARDED(toggle_switch)
    TAVRIK_GUARDED(make_current_camera)

protected:
    ~part_class() = default;
};
#endif

// The scene offers the host services too.
class TAVRIK_SLOTS(scene_interface) : public vantel_interface {
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
#if defined(TAVRIK_MSVC_LAYOUT)
class scene_interface : public scene_interface_slots {
    using slots = scene_interface_slots;

public:
    TAVRIK_GUARDED(get_number_of_active_shapes)
    TAVRIK_GUARDED(get_active_shape)
    TAVRIK_GUARDED(get_current_shape)
    TAVRIK_GUARDED(get_number_of_memorised_shapes)
    TAVRIK_GUARDED(get_memorised_shape)
    TAVRIK_GUARDED(get_memory_shape)
    TAVRIK_GUARDED(get_root_part)
    TAVRIK_GUARDED(is_edit_mode)
    TAVRIK_GUARDED(exit_edit_mode)
    TAVRIK_GUARDED(enter_edit_mode)
    TAVRIK_GUARDED(update)
    TAVRIK_GUARDED(begin_change)
    TAVRIK_GUARDED(end_change)
    TAVRIK_GUARDED(refresh)
    TAVRIK_GUARDED(get_camera)
    TAVRIK_GUARDED(get_current_camera_index)
    TAVRIK_GUARDED(set_current_camera_index)
};
#endif
