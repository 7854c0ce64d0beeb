#include "math/matrix.h"

#include <cmath>

matrix matrix::translation(const vector<3>& v)
{
    matrix m{};
    m.elems[0] = m.elems[5] = m.elems[10] = m.elems[15] = 1.0f;
    m.elems[12] = v[0];
    m.elems[13] = v[1];
    m.elems[14] = v[2];
    return m;
}

matrix matrix::rotation(const quaternion& q)
{
    GLIM_ASSERT(q.is_normalized());
    const double x = q.x, y = q.y, z = q.z, w = q.w;
    matrix m{};
    m.elems[0] = static_cast<float>(1.0 - 2.0 * (y * y + z * z));
    m.elems[1] = static_cast<float>(2.0 * (x * y + z * w));
    m.elems[2] = static_cast<float>(2.0 * (x * z - y * w));
    m.elems[4] = static_cast<float>(2.0 * (x * y - z * w));
    m.elems[5] = static_cast<float>(1.0 - 2.0 * (x * x + z * z));
    m.elems[6] = static_cast<float>(2.0 * (y * z + x * w));
    m.elems[8] = static_cast<float>(2.0 * (x * z + y * w));
    m.elems[9] = static_cast<float>(2.0 * (y * z - x * w));
    m.elems[10] = static_cast<float>(1.0 - 2.0 * (x * x + y * y));
    m.elems[15] = 1.0f;
    return m;
}

matrix& matrix::multiply(matrix& dest, const matrix& a, const matrix& b)
{
    matrix product;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            double sum = 0.0;
            for (int k = 0; k < 4; ++k)
                sum += static_cast<double>(a.elems[4 * k + j]) * b.elems[4 * i + k];
            product.elems[4 * i + j] = static_cast<float>(sum);
        }
    }
    dest = product;
    return dest;
}

vector<3>& matrix::transform(vector<3>& dest, const vector<3>& p) const
{
    GLIM_ASSERT(fabs(elems[15] - 1.0) < 1e-5);
    const double x = p[0], y = p[1], z = p[2];
    const double tx = elems[0] * x + elems[4] * y + elems[8] * z + elems[12];
    const double ty = elems[1] * x + elems[5] * y + elems[9] * z + elems[13];
    const double tz = elems[2] * x + elems[6] * y + elems[10] * z + elems[14];
    dest[0] = static_cast<float>(tx);
    dest[1] = static_cast<float>(ty);
    dest[2] = static_cast<float>(tz);
    return dest;
}
