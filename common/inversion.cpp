#include "inversion.hpp"

#include <cmath>
#include <utility>
#include <vector>

namespace tk {
namespace {

constexpr double vanishing_pivot = 1e-20;

// Keeps the running determinant as a mantissa in [1, 10) and a power of ten.
void normalise(Determinant& det) {
    if (!std::isfinite(det.mantissa)) return;  // overflowed input: no loop can normalise it
    while (std::fabs(det.mantissa) >= 10.0) {
        det.mantissa *= 0.1;
        ++det.power;
    }
    while (std::fabs(det.mantissa) < 1.0) {
        det.mantissa *= 10.0;
        --det.power;
    }
}

// Row of the largest |a(i, k)|, i >= k; the first of equal maxima wins.
int pivot_row(const Matrix& a, int k) {
    int best = k;
    double best_size = std::fabs(a(k, k));
    for (int i = k + 1; i < a.rows; ++i) {
        if (std::fabs(a(i, k)) > best_size) {
            best_size = std::fabs(a(i, k));
            best = i;
        }
    }
    return best;
}

void eliminate(Matrix& a, int k) {
    const int n = a.rows;
    const double q = 1.0 / a(k, k);
    a(k, k) = q;
    for (int i = 0; i < n; ++i)
        if (i != k) a(i, k) = -a(i, k) * q;
    for (int j = 0; j < n; ++j) {
        if (j == k) continue;
        const double akj = a(k, j);  // row k is not yet scaled
        for (int i = 0; i < n; ++i)
            if (i != k) a(i, j) += a(i, k) * akj;
    }
    for (int j = 0; j < n; ++j)
        if (j != k) a(k, j) *= q;
}

}  // namespace

Determinant invert_with_determinant(Matrix& a) {
    const int n = a.rows;
    Determinant det;
    std::vector<int> pivot(static_cast<std::size_t>(n));
    for (int k = 0; k < n; ++k) {
        const int p = pivot_row(a, k);
        if (std::fabs(a(p, k)) < vanishing_pivot) {
            det.mantissa = 0.0;
            return det;
        }
        if (p != k) {
            for (int j = 0; j < n; ++j) std::swap(a(k, j), a(p, j));
            det.mantissa = -det.mantissa;
        }
        pivot[static_cast<std::size_t>(k)] = p;
        det.mantissa *= a(k, k);
        normalise(det);
        eliminate(a, k);
    }
    for (int k = n - 1; k >= 0; --k) {
        const int p = pivot[static_cast<std::size_t>(k)];
        if (p != k)
            for (int i = 0; i < n; ++i) std::swap(a(i, k), a(i, p));
    }
    return det;
}

bool is_singular(const Determinant& d) { return std::fabs(d.mantissa) < 1e-16 || d.power < -16; }

}  // namespace tk
