#include "tarvel/ems.hpp"

#include "common/inversion.hpp"

#include <algorithm>
#include <cmath>

namespace tarvel {
namespace {

// X'X(j, i) = X'X(i, j) for i < j < p, in tiles so that both sides stay in cache.
void mirror_upper_triangle(NormalEquations& eq) {
    constexpr int tile = 64;
    const int p = eq.p;
    for (int j0 = 0; j0 < p; j0 += tile) {
        const int j1 = std::min(p, j0 + tile);
        for (int i0 = 0; i0 <= j0; i0 += tile) {
            const int i1 = std::min(p, i0 + tile);
            for (int j = j0; j < j1; ++j)
                for (int i = i0; i < std::min(i1, j); ++i) eq.a[eq.at(j, i)] = eq.a[eq.at(i, j)];
        }
    }
}

// First column and column count of a source (0 = the mean, e + 1 = effect e).
std::pair<int, int> source_columns(const ColumnLayout& layout, int source) {
    if (source == 0) return {0, 1};
    const EffectColumns& ec = layout.effects[static_cast<std::size_t>(source - 1)];
    return {ec.first_column, ec.level_count};
}

}  // namespace

ExpectedMeanSquares expected_mean_squares(const ColumnLayout& layout, double tau, NormalEquations& eq) {
    const int n = static_cast<int>(layout.effects.size());
    const int sources = n + 1;  // the mean and the effects
    const int p = eq.p;
    ExpectedMeanSquares ems;
    ems.n = n;
    ems.k = tk::Matrix(n + 2, n + 2);
    ems.df.assign(static_cast<std::size_t>(sources), 0);
    mirror_upper_triangle(eq);

    std::vector<double> w(static_cast<std::size_t>(sources));
    for (int a = 0; a < sources; ++a) {
        std::fill(w.begin(), w.end(), 0.0);
        int df = 0;
        const auto [first, count] = source_columns(layout, a);
        for (int i = first; i < first + count && i < p; ++i) {
            const double d = eq.xx(i, i);
            if (!(d > tau)) continue;  // rejected column
            // Row i of the factor, read from its mirror in column i, from the
            // last column back; elements not above tau do not count.
            const double* row = eq.a.data() + eq.at(0, i);
            for (int j = p - 1; j > i; --j) {
                const double r = row[j];
                if (std::fabs(r) > tau) w[static_cast<std::size_t>(layout.column_source[static_cast<std::size_t>(j)])] += r * r;
            }
            w[static_cast<std::size_t>(a)] += d;  // R(i,i)^2
            ++df;
        }
        if (df != 0)
            for (double& x : w) x /= df;
        ems.df[static_cast<std::size_t>(a)] = df;
        for (int b = 0; b < sources; ++b) ems.k(a, b) = w[static_cast<std::size_t>(b)];
        ems.k(a, n + 1) = 1.0;

        EmsRow row;
        row.label = layout.source_names[static_cast<std::size_t>(a)];
        row.df = df;
        for (int b = sources - 1; b >= 0; --b) row.w.push_back(w[static_cast<std::size_t>(b)]);
        ems.rows.push_back(std::move(row));

        if (df == 0) {
            if (a == 0)
                ems.mean_left_out = true;
            else
                ems.left_out_effects.push_back(a - 1);
        }
    }
    ems.k(n + 1, n + 1) = 1.0;

    // Left-out sources become unit rows and columns for the inversion; their
    // row and column of the inverse are then cleared.
    std::vector<int> left_out;
    if (ems.mean_left_out) left_out.push_back(0);
    for (int e : ems.left_out_effects) left_out.push_back(e + 1);
    ems.k_inverse = ems.k;
    for (int a : left_out) {
        for (int b = 0; b < n + 2; ++b) ems.k_inverse(a, b) = ems.k_inverse(b, a) = 0.0;
        ems.k_inverse(a, a) = 1.0;
    }
    const tk::Determinant det = tk::invert_with_determinant(ems.k_inverse);
    if (det.mantissa == 0.0) {
        // Cannot happen with the left-out sources taken out (the matrix is
        // then upper triangular with diagonal above tau); all components 0.
        ems.k_inverse = tk::Matrix(n + 2, n + 2);
    }
    for (int a : left_out)
        for (int b = 0; b < n + 2; ++b) ems.k_inverse(a, b) = ems.k_inverse(b, a) = 0.0;
    return ems;
}

}  // namespace tarvel
