#include "arithmetic.h"

vec4 operator*(vec4 const& v, mat4 const& m)
{
    vec4 r;
    for (int j = 0; j < 4; ++j)
        r[j] = ((v[0] * m.m[0][j] + v[1] * m.m[1][j]) + v[2] * m.m[2][j]) + v[3] * m.m[3][j];
    return r;
}

vec3 operator*(vec3 const& p, mat4 const& m)
{
    vec3 r;
    for (int j = 0; j < 3; ++j)
        r[j] = ((p.x * m.m[0][j] + p.y * m.m[1][j]) + p.z * m.m[2][j]) + m.m[3][j];
    float const w = m.m[3][3];
    if (w == 1.0f)
        return r;
    float const s = 1.0f / w;
    return vec3{r.x * s, r.y * s, r.z * s};
}

mat4 mat4::operator*(mat4 const& right) const
{
    mat4 r;
    for (int i = 0; i < 4; ++i) {
        vec4 const row = vec4{{m[i][0], m[i][1], m[i][2], m[i][3]}} * right;
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = row[j];
    }
    return r;
}

mat4 reverse_matrix(mat4 m)
{
    float const a = m.m[0][0], b = m.m[0][1], c = m.m[0][2];
    float const d = m.m[1][0], e = m.m[1][1], f = m.m[1][2];
    float const g = m.m[2][0], h = m.m[2][1], i = m.m[2][2];
    float const tx = m.m[3][0], ty = m.m[3][1], tz = m.m[3][2];

    float const det = (a * e) * i + (b * f) * g + (c * d) * h - (a * f) * h - (b * d) * i - (e * c) * g;
    double const wide = static_cast<double>(det);
    if (wide == 0.0)
        return mat4::identity;
    double const k = 1.0 / wide;
    auto scaled = [k](float cofactor) { return static_cast<float>(static_cast<double>(cofactor) * k); };

    mat4 r;
    r.m[0][0] = scaled(e * i - f * h);
    r.m[0][1] = scaled(c * h - b * i);
    r.m[0][2] = scaled(b * f - c * e);
    r.m[1][0] = scaled(g * f - d * i);
    r.m[1][1] = scaled(a * i - g * c);
    r.m[1][2] = scaled(c * d - a * f);
    r.m[2][0] = scaled(d * h - g * e);
    r.m[2][1] = scaled(b * g - a * h);
    r.m[2][2] = scaled(a * e - b * d);
    for (int j = 0; j < 3; ++j)
        r.m[3][j] = (-r.m[0][j]) * tx - r.m[1][j] * ty - r.m[2][j] * tz;
    r.m[0][3] = 0;
    r.m[1][3] = 0;
    r.m[2][3] = 0;
    r.m[3][3] = 1;
    return r;
}

void Surface_point::get(control_point_class& point)
{
    position = point.get_position();
    in_handle = point.get_in_handle();
    out_handle = point.get_out_handle();
    inner_handle = point.get_inner_handle();
    outer_handle = point.get_outer_handle();
    first_flag = point.get_first_flag();
    second_flag = point.get_second_flag();
}

void Surface_point::set(control_point_class& point) const
{
    point.set_position(position);
    point.set_in_handle(in_handle);
    point.set_out_handle(out_handle);
    point.set_inner_handle(inner_handle);
    point.set_outer_handle(outer_handle);
    point.set_first_flag(first_flag);
    point.set_second_flag(second_flag);
}

Surface_point Surface_point::operator*(mat4 const& m) const
{
    Surface_point r = *this;
    r *= m;
    return r;
}

Surface_point& Surface_point::operator*=(mat4 const& m)
{
    position = position * m;
    in_handle = in_handle * m;
    out_handle = out_handle * m;
    inner_handle = inner_handle * m;
    outer_handle = outer_handle * m;
    return *this;
}
