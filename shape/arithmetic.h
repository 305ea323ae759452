// Point and matrix arithmetic in the host's value types, with the exact
// evaluation order that positions rely on.
#pragma once

#include "sceneinterface.h"

vec4 operator*(vec4 const& v, mat4 const& m);
// Point transform: translation added, then divided by m[3][3] unless it is exactly 1.
vec3 operator*(vec3 const& p, mat4 const& m);
// Inverse of an affine transformation; the identity for a singular 3x3 block.
mat4 reverse_matrix(mat4 m);

// All geometric data of one control point, as a value.
struct Surface_point {
    vec3 position{};
    vec3 in_handle{};
    vec3 out_handle{};
    vec3 inner_handle{};
    vec3 outer_handle{};
    bool first_flag = false;
    bool second_flag = false;

    void get(control_point_class& point);
    void set(control_point_class& point) const;
    // The five vectors are positions: all move with the matrix, the flags do not.
    Surface_point operator*(mat4 const& m) const;
    Surface_point& operator*=(mat4 const& m);
};
