#include "skin.h"

#include <cmath>
#include <stdexcept>

#include "shape_access.h"

void clear_skin(skin_class& skin)
{
    int const n = skin.get_number_of_bindings();
    for (int i = n - 1; i >= 0; --i)
        skin.remove_binding(i);
}

void clear_skin(skin_class& skin, shape_class* joint)
{
    if (!joint) {
        clear_skin(skin);
        return;
    }
    int const n = skin.get_number_of_bindings();
    for (int i = n - 1; i >= 0; --i) {
        if (skin.get_binding(i).get_joint() == joint) {
            skin.remove_binding(i);
            return;
        }
    }
}

void append_skin(skin_class& skin, shape_class* joint, float weight)
{
    int const n = skin.get_number_of_bindings();
    for (int i = 0; i < n; ++i) {
        skin_entry_class& entry = skin.get_binding(i);
        if (entry.get_joint() == joint) {
            entry.set_weight(weight);
            return;
        }
    }
    skin.append_binding();
    // All or nothing: a binding left without its joint would move the point
    // and could not be saved.
    try {
        skin_entry_class& entry = skin.get_binding(n);
        entry.set_weight(weight);
        entry.set_joint(joint);
    } catch (...) {
        try {
            skin.remove_binding(n);
        } catch (...) {
        }
        throw;
    }
}

namespace {

constexpr float hold_tolerance = 0.002f;

// A point has moved when its squared distance exceeds the tolerance, or is NaN.
bool point_moved(vec3 const& before, vec3 const& after)
{
    float const dx = after.x - before.x;
    float const dy = after.y - before.y;
    float const dz = after.z - before.z;
    float const squared = dx * dx + dy * dy + dz * dz;
    return squared > hold_tolerance || std::isnan(squared);
}

// A whole shape has moved when any of the first three entries of a row
// changed by more than the tolerance; NaN counts as unchanged.
bool matrix_moved(mat4 const& before, mat4 const& after)
{
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 3; ++c) {
            float const d = after.m[r][c] - before.m[r][c];
            if (d < -hold_tolerance || d > hold_tolerance)
                return true;
        }
    return false;
}

bool is_finite(mat4 const& m)
{
    for (auto const& row : m.m)
        for (float v : row)
            if (!std::isfinite(v))
                return false;
    return true;
}

bool is_finite(vec3 const& p) { return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z); }

// A point without a skin (a negative index on a shape with per-point skins)
// is a failed point, not a crash.
skin_class& skin_of_point(Shape_class const& wrapper, int index)
{
    skin_class* const skin = wrapper.get_skin(index);
    if (!skin)
        throw std::out_of_range("no skin for this point");
    return *skin;
}

}  // namespace

// Restoring needs an old position that was really read: putting back the
// no-position value (or a point whose joint matrix holds a NaN) would destroy
// the stored position.
template <class Change>
void Shape_class::hold_vertex(int index, bool hold, Change&& change)
{
    if (!hold) {
        change();
        return;
    }
    vec3 const before = get_position(index, true);
    change();
    vec3 const after = get_position(index, true);
    // Where the new matrix holds a NaN or an infinity the point cannot be put
    // back: it keeps its stored coordinates and the call fails.
    if (is_finite(before) && point_moved(before, after) && !put_position(index, before, true))
        throw std::domain_error("the point cannot be held where it was");
}

template <class Change>
void Shape_class::hold_control_point(int index, bool hold, Change&& change)
{
    if (!hold) {
        change();
        return;
    }
    Surface_point before;
    before.get(shape->get_control_point(index));
    bool const readable = get_surface_point(index, before, true) && is_finite(before.position);
    change();
    Surface_point after;
    after.get(shape->get_control_point(index));
    // A new position that cannot be read counts as moved, as a NaN does.
    if (!get_surface_point(index, after, true))
        after.position = no_position();
    if (readable && point_moved(before.position, after.position) && !set_surface_point(index, before, true))
        throw std::domain_error("the control point cannot be held where it was");
}

template <class Change>
void Shape_class::hold_shape(bool hold, Change&& change)
{
    if (!hold) {
        change();
        return;
    }
    mat4 const before = shape->get_world_matrix();
    change();
    mat4 const after = shape->get_world_matrix();
    // Where the old or the new matrix holds an infinity (a NaN entry counts as
    // unchanged) the shape cannot be put back: a matrix that is not finite is
    // never written; the shape keeps its matrix and the call fails, as a point does.
    if (!matrix_moved(before, after))
        return;
    mat4 const back = before * reverse_matrix(after);
    if (!is_finite(back))
        throw std::domain_error("the shape cannot be held where it was");
    shape->transform(back);
}

skin_class* Shape_class::get_skin(int index) const
{
    if (variable_points && index < 0)
        return nullptr;
    switch (object_type) {
    case object_polygon: return &shape->get_polygon_mesh().get_vertex(index).get_skin();
    case object_surface:
    case object_line: return &shape->get_control_point(index).get_skin();
    default: return &shape->get_skin();
    }
}

void Shape_class::append_polygon_skin(int index, Skin_bindings& bindings, bool hold)
{
    hold_vertex(index, hold, [&] {
        for (auto const& [joint, weight] : bindings)
            ::append_skin(skin_of_point(*this, index), joint, weight);
    });
}

void Shape_class::append_surface_skin(int index, Skin_bindings& bindings, bool hold)
{
    hold_control_point(index, hold, [&] {
        for (auto const& [joint, weight] : bindings)
            ::append_skin(skin_of_point(*this, index), joint, weight);
    });
}

void Shape_class::append_other_skin(Skin_bindings& bindings, bool hold)
{
    hold_shape(hold, [&] {
        for (auto const& [joint, weight] : bindings)
            ::append_skin(shape->get_skin(), joint, weight);
    });
}

// Unlike has_variable_points, a failed count is a failure here: taking the
// whole-shape path for it would change the shape's own skin instead of the point's.
bool Shape_class::has_point_skins() const
{
    return variable_points && shape->get_number_of_all_points() > 0;
}

int Shape_class::append_skin(int index, Skin_bindings& bindings, bool hold)
{
    try {
        if (has_point_skins()) {
            if (object_type == object_surface || object_type == object_line)
                append_surface_skin(index, bindings, hold);
            else
                append_polygon_skin(index, bindings, hold);
        } else {
            append_other_skin(bindings, hold);
        }
    } catch (...) {
        return 1;
    }
    return 0;
}

void Shape_class::clear_polygon_skin(int index, bool hold, shape_class* joint)
{
    hold_vertex(index, hold, [&] { clear_skin(skin_of_point(*this, index), joint); });
}

void Shape_class::clear_surface_skin(int index, bool hold, shape_class* joint)
{
    hold_control_point(index, hold, [&] { clear_skin(skin_of_point(*this, index), joint); });
}

void Shape_class::clear_other_skin(bool hold, shape_class* joint)
{
    hold_shape(hold, [&] {
        if (joint)
            clear_skin(shape->get_skin(), joint);
        else
            shape->remove_skin();
    });
}

int Shape_class::clear_points_skin(std::vector<int> const& indices, bool hold, shape_class* joint)
{
    if (shape->get_number_of_points() <= 0 || indices.empty())
        return 1;
    try {
        if (has_point_skins()) {
            bool const control_points = object_type == object_surface || object_type == object_line;
            for (int index : indices) {
                if (control_points)
                    clear_surface_skin(index, hold, joint);
                else
                    clear_polygon_skin(index, hold, joint);
            }
        } else {
            clear_other_skin(hold, joint);
        }
    } catch (...) {
        return 1;
    }
    return 0;
}

int Shape_class::clear_shape_skin(bool hold, shape_class* joint)
{
    int const n = shape->get_number_of_points();
    if (n <= 0)
        return 1;
    try {
        if (has_point_skins()) {
            for (int i = 0; i < n; ++i) {
                if (object_type == object_surface || object_type == object_line)
                    clear_surface_skin(i, hold, joint);
                else if (object_type == object_polygon)
                    clear_polygon_skin(i, hold, joint);
            }
        }
        clear_other_skin(hold, joint);
    } catch (...) {
        return 1;
    }
    return 0;
}
