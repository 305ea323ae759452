// The arithmetic to the bit: a reference that takes the stated steps
// literally, every float step its own rounded store, compared with the
// library on random and edge inputs. Runs in every build, so it catches a
// compiler that keeps sums in wider registers or fuses a*b+c.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>

#include "arithmetic.h"
#include "shape_access.h"

namespace {

// Each operation rounded to float through memory: no wider register and no
// fused operation can carry more precision from one step to the next.
float stored(float x)
{
    volatile float v = x;
    return v;
}
float mul(float a, float b) { return stored(stored(a) * stored(b)); }
float add(float a, float b) { return stored(stored(a) + stored(b)); }
float sub(float a, float b) { return stored(stored(a) - stored(b)); }

vec4 ref_vec4(vec4 const& v, mat4 const& m)
{
    vec4 r;
    for (int j = 0; j < 4; ++j)
        r[j] = add(add(add(mul(v[0], m.m[0][j]), mul(v[1], m.m[1][j])), mul(v[2], m.m[2][j])), mul(v[3], m.m[3][j]));
    return r;
}

vec3 ref_vec3(vec3 const& p, mat4 const& m)
{
    vec3 r;
    for (int j = 0; j < 3; ++j)
        r[j] = add(add(add(mul(p.x, m.m[0][j]), mul(p.y, m.m[1][j])), mul(p.z, m.m[2][j])), m.m[3][j]);
    float const w = stored(m.m[3][3]);
    if (w == 1.0f)
        return r;
    float const s = stored(stored(1.0f) / w);
    return vec3{mul(r.x, s), mul(r.y, s), mul(r.z, s)};
}

mat4 ref_product(mat4 const& left, mat4 const& right)
{
    mat4 r;
    for (int i = 0; i < 4; ++i) {
        vec4 const row = ref_vec4(vec4{{left.m[i][0], left.m[i][1], left.m[i][2], left.m[i][3]}}, right);
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = row[j];
    }
    return r;
}

mat4 ref_inverse(mat4 const& m)
{
    float const a = m.m[0][0], b = m.m[0][1], c = m.m[0][2];
    float const d = m.m[1][0], e = m.m[1][1], f = m.m[1][2];
    float const g = m.m[2][0], h = m.m[2][1], i = m.m[2][2];
    float const tx = m.m[3][0], ty = m.m[3][1], tz = m.m[3][2];
    float det = add(mul(mul(a, e), i), mul(mul(b, f), g));
    det = add(det, mul(mul(c, d), h));
    det = sub(det, mul(mul(a, f), h));
    det = sub(det, mul(mul(b, d), i));
    det = sub(det, mul(mul(e, c), g));
    double const wide = static_cast<double>(det);
    if (wide == 0.0)
        return mat4::identity;
    volatile double const k = 1.0 / wide;
    auto scaled = [&](float cofactor) {
        volatile double const product = static_cast<double>(cofactor) * k;
        return stored(static_cast<float>(product));
    };
    mat4 r;
    r.m[0][0] = scaled(sub(mul(e, i), mul(f, h)));
    r.m[0][1] = scaled(sub(mul(c, h), mul(b, i)));
    r.m[0][2] = scaled(sub(mul(b, f), mul(c, e)));
    r.m[1][0] = scaled(sub(mul(g, f), mul(d, i)));
    r.m[1][1] = scaled(sub(mul(a, i), mul(g, c)));
    r.m[1][2] = scaled(sub(mul(c, d), mul(a, f)));
    r.m[2][0] = scaled(sub(mul(d, h), mul(g, e)));
    r.m[2][1] = scaled(sub(mul(b, g), mul(a, h)));
    r.m[2][2] = scaled(sub(mul(a, e), mul(b, d)));
    for (int j = 0; j < 3; ++j)
        r.m[3][j] = sub(sub(mul(-r.m[0][j], tx), mul(r.m[1][j], ty)), mul(r.m[2][j], tz));
    r.m[0][3] = 0;
    r.m[1][3] = 0;
    r.m[2][3] = 0;
    r.m[3][3] = 1;
    return r;
}

std::uint32_t bits_of(float x)
{
    std::uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

float from_bits(std::uint32_t b)
{
    float x;
    std::memcpy(&x, &b, sizeof x);
    return x;
}

// Equal to the bit; NaN results only need to be NaN.
bool same(float expected, float actual)
{
    if (std::isnan(expected))
        return std::isnan(actual);
    return bits_of(expected) == bits_of(actual);
}

std::string show(float x) { return std::to_string(x) + " (0x" + [&] {
                                       char buffer[9];
                                       std::snprintf(buffer, sizeof buffer, "%08x", bits_of(x));
                                       return std::string(buffer);
                                   }() + ")"; }

// Inputs: plain values, any bit pattern, and the values where rounding shows.
class Inputs {
public:
    explicit Inputs(unsigned seed) : random_(seed) {}

    float any()
    {
        switch (random_() % 4) {
        case 0: return std::uniform_real_distribution<float>(-3, 3)(random_);
        case 1: return from_bits(static_cast<std::uint32_t>(random_()));
        case 2: return edges[random_() % (sizeof edges / sizeof edges[0])];
        default: return std::ldexp(std::uniform_real_distribution<float>(-1, 1)(random_),
                                   static_cast<int>(random_() % 120) - 60);
        }
    }
    // Mostly ordinary numbers, so that the results are not all NaN.
    float plain()
    {
        if (random_() % 8 == 0)
            return any();
        return std::uniform_real_distribution<float>(-100, 100)(random_);
    }
    mat4 matrix(bool plain_values)
    {
        mat4 m;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                m.m[r][c] = plain_values ? plain() : any();
        return m;
    }
    unsigned next() { return static_cast<unsigned>(random_()); }

    static constexpr float edges[] = {0.0f, -0.0f, 1.0f, -1.0f, 2.0f, 0.5f, 1e-40f, -1e-40f, 1e-20f, 1e20f,
                                      FLT_MIN, FLT_MAX, -FLT_MAX, FLT_EPSILON, 1.0f + FLT_EPSILON, INFINITY,
                                      -INFINITY, NAN, 3.0f, 0.1f};

private:
    std::mt19937 random_;
};

constexpr int trials = 20000;

TEST(ArithmeticBits, PointTimesMatrixOnRandomAndEdgeInputs)
{
    Inputs in(1);
    float const ws[] = {1.0f, 2.0f, 0.0f, -0.0f, NAN, INFINITY, 1e-40f, 3.0f, -1.0f};
    for (int t = 0; t < trials; ++t) {
        mat4 m = in.matrix(t % 2 == 0);
        if (t % 3 == 0)
            m.m[3][3] = ws[in.next() % (sizeof ws / sizeof ws[0])];
        vec3 const p{in.plain(), in.plain(), in.plain()};
        vec3 const expected = ref_vec3(p, m), actual = p * m;
        for (int j = 0; j < 3; ++j)
            ASSERT_TRUE(same(expected[j], actual[j]))
                << "trial " << t << " component " << j << ": " << show(expected[j]) << " vs " << show(actual[j]);
        vec4 const v{{in.plain(), in.plain(), in.plain(), in.plain()}};
        vec4 const e4 = ref_vec4(v, m), a4 = v * m;
        for (int j = 0; j < 4; ++j)
            ASSERT_TRUE(same(e4[j], a4[j])) << "trial " << t << " vec4 component " << j;
    }
}

TEST(ArithmeticBits, MatrixProductOnRandomAndEdgeInputs)
{
    Inputs in(2);
    for (int t = 0; t < trials; ++t) {
        mat4 const a = in.matrix(t % 4 != 0), b = in.matrix(t % 4 != 1);
        mat4 const expected = ref_product(a, b), actual = a * b;
        for (int r = 0; r < 4; ++r)
            for (int c = 0; c < 4; ++c)
                ASSERT_TRUE(same(expected.m[r][c], actual.m[r][c]))
                    << "trial " << t << " [" << r << "][" << c << "]: " << show(expected.m[r][c]) << " vs "
                    << show(actual.m[r][c]);
    }
}

void expect_inverse_exact(mat4 const& m, std::string const& what)
{
    mat4 const expected = ref_inverse(m), actual = reverse_matrix(m);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            ASSERT_TRUE(same(expected.m[r][c], actual.m[r][c]))
                << what << " [" << r << "][" << c << "]: " << show(expected.m[r][c]) << " vs "
                << show(actual.m[r][c]);
}

TEST(ArithmeticBits, InverseOnRandomSingularAndTinyMatrices)
{
    Inputs in(3);
    for (int t = 0; t < trials; ++t) {
        mat4 m = in.matrix(t % 3 != 0);
        switch (t % 7) {
        case 0:  // singular: one row repeats another
            for (int c = 0; c < 3; ++c)
                m.m[2][c] = m.m[0][c];
            break;
        case 1: {  // a scale whose determinant is denormal or underflows in float
            float const s = std::ldexp(1.0f, -static_cast<int>(in.next() % 60));
            for (int r = 0; r < 3; ++r)
                for (int c = 0; c < 3; ++c)
                    m.m[r][c] = r == c ? s * (1 + 0.1f * static_cast<float>(r)) : m.m[r][c] * 1e-30f;
            break;
        }
        case 2:  // junk in column 3 changes nothing
            m.m[0][3] = NAN;
            m.m[1][3] = INFINITY;
            m.m[3][3] = 0;
            break;
        default: break;
        }
        expect_inverse_exact(m, "trial " + std::to_string(t));
        if (::testing::Test::HasFatalFailure())
            return;
    }
}

TEST(ArithmeticBits, InverseEdges)
{
    // diag 1e-20: the determinant underflows to 0 in float, so the identity.
    mat4 const tiny(1e-20f, 0, 0, 0, 0, 1e-20f, 0, 0, 0, 0, 1e-20f, 0, 0, 0, 0, 1);
    mat4 const inverse = reverse_matrix(tiny);
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_EQ(bits_of(inverse.m[r][c]), bits_of(mat4::identity.m[r][c])) << r << c;
    // A denormal determinant is inverted, through double.
    mat4 const denormal(1e-13f, 0, 0, 0, 0, 1e-13f, 0, 0, 0, 0, 1e-14f, 0, 1, 2, 3, 1);
    expect_inverse_exact(denormal, "denormal determinant");
    EXPECT_GT(reverse_matrix(denormal).m[0][0], 1e12f);
    // The determinant is rounded to float before it is compared with zero:
    // 1e-25 * 1e-25 * 1e-5 is not 0 in double but is in float.
    mat4 const underflow(1e-25f, 0, 0, 0, 0, 1e-25f, 0, 0, 0, 0, 1e-5f, 0, 0, 0, 0, 1);
    EXPECT_EQ(reverse_matrix(underflow).m[0][0], 1.0f);
    expect_inverse_exact(underflow, "underflow");
}

TEST(ArithmeticBits, TheNoPositionValueIsSignalling)
{
    vec3 const p = no_position();
    for (float const* component : {&p.x, &p.y, &p.z}) {
        std::uint32_t bits;
        std::memcpy(&bits, component, sizeof bits);
        EXPECT_EQ(bits & 0x7f800000u, 0x7f800000u);
        EXPECT_NE(bits & 0x007fffffu, 0u);
        EXPECT_EQ(bits & 0x00400000u, 0u) << std::hex << bits;
    }
    EXPECT_TRUE(is_no_position(p));
    // What a shape gives for a point it does not have is the same value.
    Shape_class none;
    vec3 const q = none.get_position(0, false);
    std::uint32_t bits;
    std::memcpy(&bits, &q.y, sizeof bits);
    EXPECT_EQ(bits & 0x00400000u, 0u) << std::hex << bits;
}

}  // namespace
