// The model room (host/model): the scene model (skins, points, shapes, the
// scene and its cameras), its matrix arithmetic and its file format, the
// scene files. It uses only the faults room; it never includes streams,
// loading, services or glTF (the build gives it no other room's headers).
//
// The reference host's scene: a tree of shapes of every kind with local
// matrices, points, skins and selection, offering the host's operations
// with the results the plug-in relies on.
//
// World matrix of a shape: local · base, where base is the matrix of the
// shape's own skin when that skin is bound, else the parent's world matrix.
// A skin's matrix is the weighted blend of its joints' world matrices, so
// binding a point moves it in world space. transform(m) makes the world
// matrix m · world.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "host_owned.h"
#include "sceneinterface.h"

namespace host {

template <>
inline constexpr char const* release_note<scene_interface> = "scene.Release";

// The deepest shape tree the host builds: every walk over a tree, the
// plug-in's too, goes one call deeper per level.
constexpr int max_scene_depth = 1000;

class Model_scene;
class Model_shape;

class Model_skin;

class Model_binding final : public skin_entry_class {
public:
    explicit Model_binding(Model_skin* owner) : owner_(owner) {}
    shape_class* get_joint(void* = nullptr) override;
    void set_joint(shape_class* joint, void* = nullptr) override;
    float get_weight(void* = nullptr) override;
    void set_weight(float weight, void* = nullptr) override;

    shape_class* joint = nullptr;
    float weight = 0;

private:
    friend class Model_skin;
    Model_skin* owner_;
};

// A skin's bindings: the first four kept in the skin itself, more on the
// heap, so that a point with a few bindings costs no heap block of its own.
class Binding_list {
public:
    static constexpr std::size_t inline_capacity = 4;

    Binding_list() = default;
    Binding_list(Binding_list const&) = delete;
    Binding_list& operator=(Binding_list const&) = delete;
    ~Binding_list() { clear(); }

    std::size_t size() const { return size_; }
    bool empty() const { return size_ == 0; }
    Model_binding* begin() { return data(); }
    Model_binding* end() { return data() + size_; }
    Model_binding const* begin() const { return data(); }
    Model_binding const* end() const { return data() + size_; }
    Model_binding& operator[](std::size_t i) { return data()[i]; }
    Model_binding const& operator[](std::size_t i) const { return data()[i]; }
    Model_binding const& at(std::size_t i) const;
    Model_binding& back() { return data()[size_ - 1]; }

    Model_binding& emplace_back(Model_skin* owner);
    void erase(std::size_t i);
    void clear();

private:
    // The inline bindings live in raw storage, made there by placement new.
    Model_binding* data() { return spilled_ ? spill_.data() : std::launder(reinterpret_cast<Model_binding*>(inline_)); }
    Model_binding const* data() const
    {
        return spilled_ ? spill_.data() : std::launder(reinterpret_cast<Model_binding const*>(inline_));
    }

    alignas(Model_binding) unsigned char inline_[inline_capacity * sizeof(Model_binding)];
    std::vector<Model_binding> spill_;
    std::size_t size_ = 0;
    bool spilled_ = false;
};

class Model_skin final : public skin_class {
public:
    // world_owner: the shape whose world matrix this skin decides, if any.
    Model_skin(Model_scene* scene, Model_shape* world_owner) : scene_(scene), world_owner_(world_owner) {}
    Model_skin(Model_skin const& other);
    Model_skin& operator=(Model_skin const& other);

    int get_number_of_bindings(void* = nullptr) override;
    skin_entry_class& get_binding(int index, void* = nullptr) override;
    void append_binding(void* = nullptr) override;
    void remove_binding(int index, void* = nullptr) override;
    TAVRIK_RESULT_OVERRIDE(mat4, get_matrix);

    // Host-side access without faults.
    Binding_list const& bindings() const { return bindings_; }
    void add(Model_shape* joint, float weight);
    void clear();
    mat4 matrix() const;
    void changed();
    void rebind(Model_scene* scene, Model_shape* world_owner);
    Model_shape const* world_owner() const { return world_owner_; }

private:
    Model_scene* scene_;
    Model_shape* world_owner_;
    Binding_list bindings_;
    // The blend of the joints' world matrices, kept while neither the
    // bindings nor any matrix of the scene changed.
    mutable mat4 cached_matrix_;
    mutable std::uint64_t cached_epoch_ = 0;
};

class Model_vertex final : public vertex_class {
public:
    explicit Model_vertex(Model_scene* scene) : skin(scene, nullptr) {}
    TAVRIK_RESULT_OVERRIDE(vec3, get_position);
    void set_position(vec3 const& position, void* = nullptr) override;
    skin_class& get_skin(void* = nullptr) override;

    vec3 position{};
    Model_skin skin;
};

class Model_control_point final : public control_point_class {
public:
    explicit Model_control_point(Model_scene* scene) : skin(scene, nullptr) {}
    skin_class& get_skin(void* = nullptr) override;
    TAVRIK_RESULT_OVERRIDE(vec3, get_position);
    void set_position(vec3 const& v, void* = nullptr) override;
    TAVRIK_RESULT_OVERRIDE(vec3, get_in_handle);
    void set_in_handle(vec3 const& v, void* = nullptr) override;
    TAVRIK_RESULT_OVERRIDE(vec3, get_out_handle);
    void set_out_handle(vec3 const& v, void* = nullptr) override;
    TAVRIK_RESULT_OVERRIDE(vec3, get_inner_handle);
    void set_inner_handle(vec3 const& v, void* = nullptr) override;
    TAVRIK_RESULT_OVERRIDE(vec3, get_outer_handle);
    void set_outer_handle(vec3 const& v, void* = nullptr) override;
    bool get_first_flag(void* = nullptr) override;
    void set_first_flag(bool flag, void* = nullptr) override;
    bool get_second_flag(void* = nullptr) override;
    void set_second_flag(bool flag, void* = nullptr) override;

    vec3 position{}, in_handle{}, out_handle{}, inner_handle{}, outer_handle{};
    bool first_flag = false, second_flag = false;
    Model_skin skin;
};

// Part types of the host.
enum : int {
    part_plain = 0,
    part_surface = 1,
    part_rotator = 2,
    part_slider = 3,
    part_scale = 4,
    part_uniscale = 5,
    part_light_joint = 6,
    part_path = 7,
    part_morph = 8,
    part_custom = 9,
    part_ball = 10,
    part_camera = 11,
    part_link = 101,
};

class Model_shape final : public part_class {
public:
    Model_shape(Model_scene* scene, int type, int part_type, std::string name);
    ~Model_shape();

    // shape_class
    shape_class* get_first_child(void* = nullptr) override;
    shape_class* get_children_end(void* = nullptr) override;
    shape_class* get_next_sibling(void* = nullptr) override;
    shape_class* get_previous_sibling(void* = nullptr) override;
    shape_class* get_parent(void* = nullptr) override;
    bool has_parent(void* = nullptr) override;
    bool has_children(void* = nullptr) override;
    int get_ordinal(void* = nullptr) override;
    scene_interface* get_scene(void* = nullptr) override;
    int get_type(void* = nullptr) override;
    part_class& get_part(void* = nullptr) override;
    char const* get_name(void* = nullptr) override;
    int get_number_of_points(void* = nullptr) override;
    int get_number_of_all_points(void* = nullptr) override;
    int get_active_point_indices(int* buffer, void* = nullptr) override;
    control_point_class& get_control_point(int index, void* = nullptr) override;
    polygon_mesh_class& get_polygon_mesh(void* = nullptr) override;
    light_class& get_light(void* = nullptr) override;
    sphere_class& get_sphere(void* = nullptr) override;
    disk_class& get_disk(void* = nullptr) override;
    rotator_joint_interface* get_rotator_joint(void* = nullptr) override;
    slider_joint_interface* get_slider_joint(void* = nullptr) override;
    scale_joint_interface* get_scale_joint(void* = nullptr) override;
    uniscale_joint_interface* get_uniscale_joint(void* = nullptr) override;
    ball_joint_interface* get_ball_joint(void* = nullptr) override;
    TAVRIK_RESULT_OVERRIDE(mat4, get_world_matrix);
    TAVRIK_RESULT_OVERRIDE(mat4, get_inverse_world_matrix);
    void transform(mat4 const& m, void* = nullptr) override;
    void clear_transformation(bool keep_geometry, void* = nullptr) override;
    skin_class& get_skin(void* = nullptr) override;
    void remove_skin(void* = nullptr) override;
    void begin_modification(void* = nullptr) override;
    void end_modification(void* = nullptr) override;
    int get_attached_shapes(component_id const& extension, shape_class** buffer, void* = nullptr) override;
    // part_class
    int get_part_type(void* = nullptr) override;
    bool is_switched(void* = nullptr) override;
    void toggle_switch(void* = nullptr) override;
    void make_current_camera(void* = nullptr) override;

    // Host-side construction and inspection, without faults.
    Model_shape& add_child(std::unique_ptr<Model_shape> child);
    bool is_part() const { return type == shape_type_part; }
    bool is_end_marker() const { return end_marker_; }
    Model_shape* parent() const { return parent_; }
    // The names from the root down, joined by "/": "root/figure/hips".
    std::string path() const;
    std::vector<std::unique_ptr<Model_shape>> const& children() const { return children_; }
    mat4 world() const;
    int point_count() const;
    int all_point_count() const;
    Model_control_point* control_point(int index);
    void set_scene(Model_scene* scene);

    int type;
    int part_type;
    std::string name;
    std::string id;  // the scene file's reference id, if any
    int ordinal = 0;
    // The local matrix; setting it marks the scene's matrices changed, so
    // that world matrices worked out before are not used again.
    mat4 const& local() const { return local_; }
    void set_local(mat4 const& m);
    void set_local(int row, int column, float value);
    Model_skin skin;
    std::vector<Model_vertex> vertices;           // polygon mesh
    std::vector<std::uint32_t> triangles;         // polygon mesh: vertex indices, three a triangle
    std::vector<Model_control_point> points;      // line
    vec3 center{}, axis{}, start{}, end{};        // joints, sphere, disk
    vec3 position{};                              // light
    vec3 eye{}, target{};                         // camera
    bool switched = false;                        // surface
    std::vector<int> active_points;
    std::map<uint32_t, std::vector<Model_shape*>> attached;  // by extension id's first word
    int open_modifications = 0;
    int camera_index = -1;
    std::vector<bool> clear_transformation_arguments;  // each call's argument, for tests

private:
    mat4 local_ = mat4::identity;
    struct End_tag {};
    Model_shape(End_tag, Model_shape* owner);
    Model_shape& require_kind(bool ok, char const* what);

    Model_scene* scene_;
    Model_shape* parent_ = nullptr;
    std::size_t index_in_parent_ = 0;
    bool end_marker_ = false;
    Model_shape* end_owner_ = nullptr;  // for an end marker: whose children it ends
    std::vector<std::unique_ptr<Model_shape>> children_;
    std::unique_ptr<Model_shape> children_end_;
    mutable mat4 cached_world_;
    mutable std::uint64_t cached_epoch_ = 0;
    mutable bool computing_world_ = false;

    struct Mesh_view;
    struct Light_view;
    struct Sphere_view;
    struct Disk_view;
    std::unique_ptr<Mesh_view> mesh_view_;
    std::unique_ptr<Light_view> light_view_;
    std::unique_ptr<Sphere_view> sphere_view_;
    std::unique_ptr<Disk_view> disk_view_;
};

// Each skin of a shape, in the order a walk of the scene meets them: the
// shape's own, then its vertices', then its control points'.
template <class Visit>
void for_each_skin(Model_shape const& shape, Visit&& visit)
{
    visit(shape.skin);
    for (Model_vertex const& v : shape.vertices)
        visit(v.skin);
    for (Model_control_point const& p : shape.points)
        visit(p.skin);
}

class Model_camera final : public camera_class {
public:
    explicit Model_camera(Model_scene& scene) : scene_(scene) {}
    TAVRIK_RESULT_OVERRIDE(vec3, get_eye);
    void set_eye(vec3 const& v, void* = nullptr) override;
    TAVRIK_RESULT_OVERRIDE(vec3, get_target);
    void set_target(vec3 const& v, void* = nullptr) override;

private:
    Model_shape& current();
    Model_scene& scene_;
};

class Model_scene final : public Host_owned<scene_interface> {
public:
    // The scene offers the host's services (texts, messages, dialogs,
    // progress) to the plug-in through these.
    explicit Model_scene(vantel_interface& services);
    ~Model_scene() TAVRIK_DESTRUCTOR_OVERRIDE;

    // vantel_interface, offered through the scene.
    text_catalog_interface* get_text_catalog(void* = nullptr) override;
    void print_message(char const* text, void* = nullptr) override;
    bool show_message_box(char const* text, bool with_cancel, void* = nullptr) override;
    dialog_interface* create_dialog(component_id const& id, void* = nullptr) override;
    progress_interface* create_progress(char const* title, void* = nullptr) override;
    char const* get_special_characters(void* = nullptr) override;

    // scene_interface
    int get_number_of_active_shapes(void* = nullptr) override;
    shape_class* get_active_shape(int index, void* = nullptr) override;
    shape_class* get_current_shape(void* = nullptr) override;
    int get_number_of_memorised_shapes(void* = nullptr) override;
    shape_class* get_memorised_shape(int index, void* = nullptr) override;
    shape_class* get_memory_shape(void* = nullptr) override;
    part_class* get_root_part(void* = nullptr) override;
    bool is_edit_mode(void* = nullptr) override;
    void exit_edit_mode(void* = nullptr) override;
    void enter_edit_mode(void* = nullptr) override;
    void update(void* = nullptr) override;
    void begin_change(void* = nullptr) override;
    void end_change(void* = nullptr) override;
    void refresh(void* = nullptr) override;
    camera_class& get_camera(void* = nullptr) override;
    int get_current_camera_index(void* = nullptr) override;
    void set_current_camera_index(int index, void* = nullptr) override;

    // Host-side.
    vantel_interface& services() { return services_; }
    Model_shape& root() { return *root_; }
    // Starts an empty scene: a new root part, nothing selected or memorised.
    Model_shape& new_root();
    // Renumbers ordinals and cameras after the tree has been built or changed.
    void renumber();
    std::vector<Model_shape*> shapes_in_order();
    Model_shape* camera(int index);
    void matrices_changed() { ++epoch_; }
    std::uint64_t epoch() const { return epoch_; }
    // Every modification bracket of every shape closed.
    bool modifications_closed();

    std::vector<Model_shape*> active;
    Model_shape* current = nullptr;
    std::vector<Model_shape*> memorised;
    // Where set, each shape that the plug-in opens for modification, in order.
    std::vector<Model_shape*>* modified = nullptr;
    bool edit_mode = false;
    int current_camera = 0;
    std::string special_characters;

    // What the plug-in did, for tests.
    int open_changes = 0;
    int changes = 0;
    int updates = 0;
    int refreshes = 0;
    int edit_mode_exits = 0;
    int live_joint_objects = 0;

private:
    vantel_interface& services_;
    std::unique_ptr<Model_shape> root_;
    Model_camera camera_;
    std::vector<Model_shape*> cameras_;
    std::uint64_t epoch_ = 1;
};

}  // namespace host
