// Gauss-Jordan inversion in place, with the determinant as mantissa and power of ten.
#pragma once

#include "matrix.hpp"

namespace tk {

// determinant = mantissa * 10^power with 1 <= |mantissa| < 10,
// or mantissa = 0 when the inversion stopped on a vanishing pivot.
struct Determinant {
    double mantissa = 1.0;
    int power = 0;
};

// Inverts the square matrix a in place by Gauss-Jordan elimination with row
// pivoting. When the largest remaining pivot of a column is below 1e-20 the
// routine stops at once with mantissa 0 and leaves a partly transformed.
Determinant invert_with_determinant(Matrix& a);

// A matrix counts as singular when its determinant is below 1e-16 in
// magnitude: |mantissa| < 1e-16 (the stopped inversion included) or power < -16.
bool is_singular(const Determinant& d);

}  // namespace tk
