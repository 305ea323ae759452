// The host's own matrix arithmetic, independent of the plug-in's.
#pragma once

#include "vantel_types.h"

namespace host {

mat4 multiply(mat4 const& a, mat4 const& b);
// Inverse of an affine transformation, in double precision.
mat4 inverse(mat4 const& m);
bool is_identity(mat4 const& m);

}  // namespace host
