#include "tarvel/normal_equations.hpp"

#include <algorithm>

namespace tarvel {

Accumulator start_accumulation(const ColumnLayout& layout, int trait_count) {
    Accumulator acc;
    NormalEquations& eq = acc.eq;
    eq.p = layout.p;
    eq.t = std::max(1, trait_count);
    const std::size_t p = static_cast<std::size_t>(eq.p);
    const std::size_t t = static_cast<std::size_t>(eq.t);
    eq.a.assign(p * (p + t), 0.0);
    eq.yy.assign(t * (t + 1) / 2, 0.0);
    acc.column_cases.assign(p, 0.0);
    acc.xy_by_column.assign(t * p, 0.0);
    acc.columns.assign(static_cast<std::size_t>(layout.columns_per_case), 0);
    acc.y.assign(t, 0.0);
    return acc;
}

bool accumulate_case(const ColumnLayout& layout, std::span<const Level> levels,
                     std::span<const float> traits, Accumulator& acc) {
    const int m = case_columns(layout, levels, acc.columns);
    if (m < 0) return false;
    NormalEquations& eq = acc.eq;
    const int t = eq.t;
    const std::size_t ts = static_cast<std::size_t>(t);
    double* yv = acc.y.data();  // the case's traits in 8-byte reals
    for (std::size_t s = 0; s < ts; ++s) yv[s] = s < traits.size() ? static_cast<double>(traits[s]) : 0.0;

    ++eq.cases;
    double* yy = eq.yy.data();
    for (std::size_t s = 0; s < ts; ++s)
        for (std::size_t u = s; u < ts; ++u) *yy++ += yv[s] * yv[u];

    const int* col = acc.columns.data();
    for (int j = 0; j < m; ++j) {
        const std::size_t c = static_cast<std::size_t>(col[j]);
        acc.column_cases[c] += 1.0;
        double* xy = acc.xy_by_column.data() + c * ts;
        for (std::size_t s = 0; s < ts; ++s) xy[s] += yv[s];
    }
    // Pairs of distinct effect columns; the pairs with column 0 and the
    // diagonal are the cases per column, filled in at the end.
    const std::size_t p = static_cast<std::size_t>(eq.p);
    double* a = eq.a.data();
    for (int k = 2; k < m; ++k) {
        double* column_k = a + static_cast<std::size_t>(col[k]) * p;
        for (int j = 1; j < k; ++j) column_k[col[j]] += 1.0;
    }
    return true;
}

NormalEquations finish_accumulation(Accumulator&& acc) {
    NormalEquations eq = std::move(acc.eq);
    const int p = eq.p;
    const std::size_t ts = static_cast<std::size_t>(eq.t);
    for (int c = 0; c < p; ++c) {
        const double n = acc.column_cases[static_cast<std::size_t>(c)];
        eq.xx(c, c) += n;
        if (c > 0) eq.xx(0, c) += n;  // every case has column 0
        for (int s = 0; s < eq.t; ++s)
            eq.xy(c, s) += acc.xy_by_column[static_cast<std::size_t>(c) * ts + static_cast<std::size_t>(s)];
    }
    acc.column_cases = {};
    acc.xy_by_column = {};
    return eq;
}

double pivot_tolerance(const NormalEquations& eq) {
    if (eq.p == 0) return 0.0;
    return eq.xx(0, 0) * static_cast<double>(eq.p) * 1e-11;
}

}  // namespace tarvel
