// The 4 x 4 float matrix, column-major: row r, column c is elems[4c + r].
// Points are column vectors multiplied on the right, p' = M (x, y, z, 1); the
// translation sits in elems[12..14]. Arithmetic is done in double and rounded
// to float when stored.
#pragma once

#include "math/quaternion.h"
#include "math/vector.h"

struct matrix {
    float elems[16];

    // The identity with elems[12..14] = v.
    static matrix translation(const vector<3>& v);
    // The rotation matrix of a unit quaternion; stops the program with
    // "q.is_normalized()" when q is not of unit length.
    static matrix rotation(const quaternion& q);
    // dest = a * b (b acts first on a point), returned. Built in a temporary,
    // so dest may be a or b.
    static matrix& multiply(matrix& dest, const matrix& a, const matrix& b);

    // dest = this * (p, 1), returned; elems[3], [7], [11] are not read and
    // nothing is divided by a fourth coordinate. dest may be p. Stops the
    // program with "fabs(elems[15] - 1.0) < 1e-5" otherwise.
    vector<3>& transform(vector<3>& dest, const vector<3>& p) const;
};
