#include "math/matrix.h"
#include "math/quaternion.h"
#include "math/vector.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace {

constexpr double pi = 3.141592653589793;

vector<3> moved(const matrix& m, const vector<3>& p)
{
    vector<3> out;
    return m.transform(out, p);
}

void expect_near_point(const vector<3>& p, float x, float y, float z)
{
    EXPECT_NEAR(p[0], x, 1e-5);
    EXPECT_NEAR(p[1], y, 1e-5);
    EXPECT_NEAR(p[2], z, 1e-5);
}

TEST(quaternion, from_axis_angle_keeps_w_non_negative)
{
    const quaternion zero = quaternion::from_axis_angle(0.0f, vector<3>(1, 0, 0));
    EXPECT_EQ(zero.x, 0.0f);
    EXPECT_EQ(zero.y, 0.0f);
    EXPECT_EQ(zero.z, 0.0f);
    EXPECT_EQ(zero.w, 1.0f);

    // A full turn has w = cos(pi) = -1 before the sign rule.
    const quaternion full = quaternion::from_axis_angle(static_cast<float>(2 * pi), vector<3>(0, 1, 0));
    EXPECT_EQ(full.w, 1.0f);
    EXPECT_EQ(full.x, 0.0f);
    EXPECT_EQ(full.z, 0.0f);
    EXPECT_NEAR(full.y, 0.0f, 1e-6);
    EXPECT_TRUE(full.is_normalized());

    const quaternion half = quaternion::from_axis_angle(static_cast<float>(pi / 2), vector<3>(1, 0, 0));
    EXPECT_NEAR(half.x, std::sqrt(0.5), 1e-7);
    EXPECT_NEAR(half.w, std::sqrt(0.5), 1e-7);
}

TEST(quaternion, negate_and_normalization_tolerance)
{
    quaternion q{0.5f, -0.5f, 0.5f, -0.5f};
    q.negate();
    EXPECT_EQ(q.x, -0.5f);
    EXPECT_EQ(q.y, 0.5f);
    EXPECT_EQ(q.w, 0.5f);
    EXPECT_DOUBLE_EQ(q.norm_squared(), 1.0);
    EXPECT_TRUE(q.is_normalized());

    EXPECT_TRUE((quaternion{0, 0, 0, std::sqrt(1.000009f)}.is_normalized()));
    EXPECT_FALSE((quaternion{0, 0, 0, std::sqrt(1.00002f)}.is_normalized()));
    EXPECT_FALSE((quaternion{0, 0, 0, 2}.is_normalized()));
    EXPECT_FALSE((quaternion{0, 0, 0, std::numeric_limits<float>::quiet_NaN()}.is_normalized()));
}

TEST(matrix, rotation_is_the_right_handed_turn_of_column_vectors)
{
    const matrix identity = matrix::rotation(quaternion::from_axis_angle(0.0f, vector<3>(1, 0, 0)));
    const matrix expected = matrix::translation(vector<3>(0, 0, 0));
    for (int i = 0; i < 16; ++i) EXPECT_EQ(identity.elems[i], expected.elems[i]) << i;

    const float quarter = static_cast<float>(pi / 2);
    const matrix about_x = matrix::rotation(quaternion::from_axis_angle(quarter, vector<3>(1, 0, 0)));
    expect_near_point(moved(about_x, vector<3>(0, 1, 0)), 0, 0, 1);  // y' = -z sin, z' = y sin
    const matrix about_y = matrix::rotation(quaternion::from_axis_angle(quarter, vector<3>(0, 1, 0)));
    expect_near_point(moved(about_y, vector<3>(1, 0, 0)), 0, 0, -1);  // z' = -x sin
    expect_near_point(moved(about_y, vector<3>(0, 0, 1)), 1, 0, 0);   // x' = z sin

    // A full turn is the identity to float precision.
    const matrix full = matrix::rotation(quaternion::from_axis_angle(static_cast<float>(2 * pi), vector<3>(1, 0, 0)));
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(full.elems[i], expected.elems[i], 1e-6) << i;
}

TEST(matrix, composition_order_the_right_operand_acts_first)
{
    const vector<3> t(3, 4, 5);
    const quaternion q = quaternion::from_axis_angle(static_cast<float>(pi / 2), vector<3>(0, 1, 0));
    matrix m;

    matrix::multiply(m, matrix::translation(t), matrix::rotation(q));
    expect_near_point(moved(m, vector<3>(0, 0, 0)), 3, 4, 5);

    matrix::multiply(m, matrix::rotation(q), matrix::translation(t));
    expect_near_point(moved(m, vector<3>(0, 0, 0)), 5, 4, -3);  // t turned about y
}

TEST(matrix, multiply_into_an_operand_matches_a_separate_destination)
{
    matrix a;
    matrix::multiply(a, matrix::translation(vector<3>(1, 2, 3)),
                     matrix::rotation(quaternion::from_axis_angle(0.7f, vector<3>(1, 0, 0))));
    const matrix b = matrix::rotation(quaternion::from_axis_angle(1.1f, vector<3>(0, 1, 0)));
    matrix separate;
    matrix::multiply(separate, a, b);

    matrix left = a;
    matrix::multiply(left, left, b);
    matrix right = b;
    matrix::multiply(right, a, right);
    matrix both = a;
    matrix::multiply(both, both, both);
    matrix square;
    matrix::multiply(square, a, a);
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(left.elems[i], separate.elems[i]) << i;
        EXPECT_EQ(right.elems[i], separate.elems[i]) << i;
        EXPECT_EQ(both.elems[i], square.elems[i]) << i;
    }
}

TEST(matrix, transform_into_its_own_point)
{
    matrix m;
    matrix::multiply(m, matrix::translation(vector<3>(1, 2, 3)),
                     matrix::rotation(quaternion::from_axis_angle(static_cast<float>(pi / 2), vector<3>(1, 0, 0))));
    vector<3> p(0, 1, 0);
    m.transform(p, p);
    expect_near_point(p, 1, 2, 4);
}

// Line numbers as \w+: GoogleTest's regular expressions on Windows have no
// brackets, and \w means the same there and in POSIX ones.
using math_death = testing::Test;

TEST(math_death, rotation_of_a_non_unit_quaternion_stops)
{
    EXPECT_DEATH(matrix::rotation(quaternion{0, 0, 0, 2}),
                 "Assertion failed: q\\.is_normalized\\(\\), file src/math/matrix\\.cpp, line \\w+\n");
}

TEST(math_death, transform_checks_the_fourth_diagonal_element)
{
    matrix m = matrix::translation(vector<3>(0, 0, 0));
    vector<3> p(1, 2, 3);
    m.elems[15] = 1.000009f;
    m.transform(p, p);  // inside the tolerance
    EXPECT_EQ(p[0], 1.0f);
    m.elems[15] = 1.00002f;
    EXPECT_DEATH(m.transform(p, p),
                 "Assertion failed: fabs\\(elems\\[15\\] - 1\\.0\\) < 1e-5, file src/math/matrix\\.cpp, line \\w+\n");
    m.elems[15] = std::numeric_limits<float>::quiet_NaN();
    EXPECT_DEATH(m.transform(p, p), "Assertion failed: fabs");
}

TEST(math_death, reading_past_the_last_component_stops)
{
    const vector<3> v(1, 2, 3);
    EXPECT_EQ(v[2], 3.0f);
    EXPECT_DEATH(v[3], "Assertion failed: i < n, file src/math/vector\\.h, line \\w+\n");
    EXPECT_DEATH(v[static_cast<std::size_t>(-1)], "Assertion failed: i < n");
}

}  // namespace
