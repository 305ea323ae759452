// The scene model: vertices and control points.
#include "scene_model.h"

#include <algorithm>
#include <new>
#include <stdexcept>

#include "faults.h"
#include "math.h"
#include "vantelids.h"

namespace host {

// Points.

vec3 Model_vertex::get_position(void*)
{
    check("vertex.get_position");
    return position;
}

void Model_vertex::set_position(vec3 const& p, void*)
{
    check("vertex.set_position");
    position = p;
}

skin_class& Model_vertex::get_skin(void*)
{
    check("vertex.get_skin");
    return skin;
}

skin_class& Model_control_point::get_skin(void*)
{
    check("control_point.get_skin");
    return skin;
}

#define TAVRIK_POINT_FIELD(type, getter, setter, field)  \
    type Model_control_point::getter(void*)              \
    {                                                    \
        check("control_point." #getter);                 \
        return field;                                    \
    }                                                    \
    void Model_control_point::setter(type const& v, void*) \
    {                                                    \
        check("control_point." #setter);                 \
        field = v;                                       \
    }
TAVRIK_POINT_FIELD(vec3, get_position, set_position, position)
TAVRIK_POINT_FIELD(vec3, get_in_handle, set_in_handle, in_handle)
TAVRIK_POINT_FIELD(vec3, get_out_handle, set_out_handle, out_handle)
TAVRIK_POINT_FIELD(vec3, get_inner_handle, set_inner_handle, inner_handle)
TAVRIK_POINT_FIELD(vec3, get_outer_handle, set_outer_handle, outer_handle)
#undef TAVRIK_POINT_FIELD

bool Model_control_point::get_first_flag(void*)
{
    check("control_point.get_first_flag");
    return first_flag;
}
void Model_control_point::set_first_flag(bool flag, void*)
{
    check("control_point.set_first_flag");
    first_flag = flag;
}
bool Model_control_point::get_second_flag(void*)
{
    check("control_point.get_second_flag");
    return second_flag;
}
void Model_control_point::set_second_flag(bool flag, void*)
{
    check("control_point.set_second_flag");
    second_flag = flag;
}

}  // namespace host
