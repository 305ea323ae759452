// The host's own matrix arithmetic, independent of the plug-in's.
#pragma once

#include "vantel_types.h"

namespace host {

mat4 multiply(mat4 const& a, mat4 const& b);
// Inverse of an affine transformation, in double precision.
mat4 inverse(mat4 const& m);
vec3 transform_point(vec3 const& p, mat4 const& m);
mat4 translation(float x, float y, float z);
bool is_identity(mat4 const& m);

}  // namespace host
