#include "math/quaternion.h"

#include <cmath>

quaternion quaternion::from_axis_angle(float angle, const vector<3>& axis)
{
    const double half = static_cast<double>(angle) / 2.0;
    const double s = std::sin(half);
    quaternion q{static_cast<float>(s * axis[0]), static_cast<float>(s * axis[1]),
                 static_cast<float>(s * axis[2]), static_cast<float>(std::cos(half))};
    if (q.w < 0.0f) q.negate();
    return q;
}

double quaternion::norm_squared() const
{
    const double dx = x, dy = y, dz = z, dw = w;
    return dx * dx + dy * dy + dz * dz + dw * dw;
}

bool quaternion::is_normalized() const
{
    // Written so that a NaN compares false and fails.
    return std::fabs(norm_squared() - 1.0) < 1e-5;
}

void quaternion::negate()
{
    x = -x;
    y = -y;
    z = -z;
    w = -w;
}
