// The rotation quaternion: vector part x, y, z first, scalar part w last.
// Arithmetic is done in double and rounded to float when stored.
#pragma once

#include "math/vector.h"

struct quaternion {
    float x, y, z, w;

    // The unit quaternion turning by angle (radians) about the unit axis:
    // w = cos(angle / 2), (x, y, z) = sin(angle / 2) * axis, then negated when
    // w < 0 so that w >= 0 (exactly 0 keeps its sign).
    static quaternion from_axis_angle(float angle, const vector<3>& axis);

    // x^2 + y^2 + z^2 + w^2, in double.
    double norm_squared() const;
    // |norm_squared() - 1| < 1e-5 in double; a NaN is never normalized.
    bool is_normalized() const;
    // Changes the sign of all four components in place; the rotation is the same.
    void negate();
};
