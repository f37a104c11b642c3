#include "tarvel/ems.hpp"

#include "common/inversion.hpp"
#include "tarvel/reduction.hpp"

#include <algorithm>
#include <cmath>

namespace tarvel {
double factor_noise_level(std::int64_t cases) { return std::sqrt(static_cast<double>(cases)) * 1e-11; }

FactorSquares factor_squares(const ColumnLayout& layout, double tau, const NormalEquations& eq) {
    const int sources = static_cast<int>(layout.effects.size()) + 1;
    const std::vector<char> accepted = accepted_columns(eq, tau);
    const std::vector<int>& source = layout.column_source;
    const double noise = factor_noise_level(eq.cases);
    FactorSquares squares{tk::Matrix(sources, sources), std::vector<int>(static_cast<std::size_t>(sources), 0)};
    // Column by column (each stored contiguously), into the pair of sources
    // of row and column; the diagonal holds d(i) = R(i,i)^2. An element of an
    // accepted row counts unless it is rounding noise of an element that is
    // 0 (see factor_noise_level), so that such a coefficient prints as 0.
    for (int j = 0; j < eq.p; ++j) {
        const int b = source[static_cast<std::size_t>(j)];
        const double* column = eq.a.column(j);
        for (int i = 0; i < j; ++i) {
            const double r = column[i];
            if (accepted[static_cast<std::size_t>(i)] && std::fabs(r) > noise)
                squares.w(source[static_cast<std::size_t>(i)], b) += r * r;
        }
        if (!accepted[static_cast<std::size_t>(j)]) continue;
        squares.w(b, b) += column[j];
        ++squares.df[static_cast<std::size_t>(b)];
    }
    return squares;
}

ExpectedMeanSquares expected_mean_squares(const ColumnLayout& layout, const FactorSquares& squares) {
    const int n = static_cast<int>(layout.effects.size());
    const int sources = n + 1;  // the mean and the effects
    ExpectedMeanSquares ems;
    ems.n = n;
    ems.k = tk::Matrix(n + 2, n + 2);
    ems.df = squares.df;

    for (int a = 0; a < sources; ++a) {
        const int df = squares.df[static_cast<std::size_t>(a)];
        std::vector<double> w(static_cast<std::size_t>(sources), 0.0);
        for (int b = a; b < sources; ++b) w[static_cast<std::size_t>(b)] = df != 0 ? squares.w(a, b) / df : 0.0;
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
