#include "kirv/bending.hpp"

#include "common/inversion.hpp"
#include "kirv/eigen.hpp"

#include <cstddef>
#include <new>
#include <utility>

namespace kirv {
namespace {

constexpr int last_step = 1000;  // w runs from 0 to 1 in steps of 0.001
constexpr double step = 0.001;

// Exchange sort into descending order; unlike std::sort it stays well defined
// when a value is NaN.
std::vector<double> descending(std::vector<double> x) {
    const std::size_t n = x.size();
    for (std::size_t i = 0; i + 1 < n; ++i)
        for (std::size_t j = i + 1; j < n; ++j)
            if (x[i] < x[j]) std::swap(x[i], x[j]);
    return x;
}

StepwiseBending bend_steps(const tk::Matrix& g0, const tk::Matrix& a, double lambda_min) {
    const int t = g0.rows;
    StepwiseBending out;
    out.bent_matrix = tk::Matrix(t, t);

    // The reference must have eigenvalues and an inverse.
    if (symmetric_eigenvalues(a).error_index != 0) {
        out.status = bending_reference_failed;
        return out;
    }
    tk::Matrix a_inverse = a;
    if (tk::is_singular(tk::invert_with_determinant(a_inverse))) {
        out.status = bending_singular_reference;
        return out;
    }

    // v = trace(A^-1 G0) / t scales A to the average size of G0.
    const tk::Matrix p = matrix_product(a_inverse, g0);
    double trace = 0.0;
    for (int i = 0; i < t; ++i) trace += p(i, i);
    const double v = trace / t;

    tk::Matrix& gb = out.bent_matrix;
    std::vector<double> sorted;
    bool reached = false;
    for (int k = 0; k <= last_step && !reached; ++k) {
        const double w = k * step;
        out.factor = w;
        for (std::size_t e = 0; e < gb.v.size(); ++e) gb.v[e] = a.v[e] * w * v + g0.v[e] * (1.0 - w);
        Eigenvalues ev = symmetric_eigenvalues(gb);
        if (ev.error_index != 0) {
            out.status = bending_step_failed;
            return out;
        }
        sorted = descending(std::move(ev.values));
        if (k == 0) out.original = sorted;  // at w = 0 the matrix is G0 itself
        reached = sorted.back() >= lambda_min;
    }
    if (!reached) out.status = bending_limit_missed;
    out.bent = std::move(sorted);
    return out;
}

}  // namespace

tk::Matrix matrix_product(const tk::Matrix& x, const tk::Matrix& y) {
    tk::Matrix z(x.rows, y.cols);
    // Column by column, so every inner loop runs down a column; each z(i, j)
    // still sums over k in ascending order.
    for (int j = 0; j < y.cols; ++j)
        for (int k = 0; k < x.cols; ++k) {
            const double ykj = y(k, j);
            for (int i = 0; i < x.rows; ++i) z(i, j) += x(i, k) * ykj;
        }
    return z;
}

StepwiseBending bend_stepwise(const tk::Matrix& g0, const tk::Matrix& a, double lambda_min) {
    // An allocation failure inside the bending is a bending outcome, not the
    // end of the run.
    try {
        return bend_steps(g0, a, lambda_min);
    } catch (const std::bad_alloc&) {
        StepwiseBending out;
        out.status = bending_out_of_memory;
        return out;
    }
}

Bending bend_genetic_matrix(int g, int reference, const EffectMatrices& vc, double lambda_min,
                            int status) {
    const tk::Matrix& g0 = vc[static_cast<std::size_t>(g)];
    const int m = static_cast<int>(vc.size());
    Bending out;
    out.status = status;
    out.reference = reference;

    Eigenvalues e = symmetric_eigenvalues(g0);
    out.original = std::move(e.values);  // ascending
    out.failure = e.error_index;
    if (out.failure != 0) return out;
    for (double x : out.original)
        if (x < lambda_min) ++out.needed;
    if (out.needed == 0) return out;

    const bool effect_reference = 0 <= reference && reference < m;
    if (effect_reference) {
        tk::Matrix inverse = vc[static_cast<std::size_t>(reference)];
        if (tk::is_singular(tk::invert_with_determinant(inverse))) {
            out.reference_flag = -1;
            out.reference = identity_reference;
        }
    }
    const tk::Matrix a = out.reference_flag == 0 && effect_reference
                             ? vc[static_cast<std::size_t>(reference)]
                             : tk::Matrix::identity(g0.rows);

    StepwiseBending core = bend_stepwise(g0, a, lambda_min);
    out.status = core.status;
    out.factor = core.factor;
    if (!core.original.empty()) out.original = std::move(core.original);
    out.bent = std::move(core.bent);
    out.bent_matrix = std::move(core.bent_matrix);
    return out;
}

}  // namespace kirv
