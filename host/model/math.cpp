#include "math.h"

namespace host {

mat4 multiply(mat4 const& a, mat4 const& b)
{
    mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) {
            double sum = 0;
            for (int k = 0; k < 4; ++k)
                sum += static_cast<double>(a.m[i][k]) * b.m[k][j];
            r.m[i][j] = static_cast<float>(sum);
        }
    return r;
}

mat4 inverse(mat4 const& m)
{
    double const a = m.m[0][0], b = m.m[0][1], c = m.m[0][2];
    double const d = m.m[1][0], e = m.m[1][1], f = m.m[1][2];
    double const g = m.m[2][0], h = m.m[2][1], i = m.m[2][2];
    double const det = a * (e * i - f * h) - b * (d * i - f * g) + c * (d * h - e * g);
    if (det == 0.0)
        return mat4::identity;
    double const k = 1.0 / det;
    double r[3][3] = {
        {(e * i - f * h) * k, (c * h - b * i) * k, (b * f - c * e) * k},
        {(f * g - d * i) * k, (a * i - c * g) * k, (c * d - a * f) * k},
        {(d * h - e * g) * k, (b * g - a * h) * k, (a * e - b * d) * k},
    };
    mat4 out;
    for (int row = 0; row < 3; ++row)
        for (int col = 0; col < 3; ++col)
            out.m[row][col] = static_cast<float>(r[row][col]);
    for (int col = 0; col < 3; ++col)
        out.m[3][col] = static_cast<float>(-(m.m[3][0] * r[0][col] + m.m[3][1] * r[1][col] + m.m[3][2] * r[2][col]));
    out.m[3][3] = 1;
    return out;
}

bool is_identity(mat4 const& m)
{
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            if (m.m[i][j] != (i == j ? 1.0f : 0.0f))
                return false;
    return true;
}

}  // namespace host
