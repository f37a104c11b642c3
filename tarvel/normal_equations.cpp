#include "tarvel/normal_equations.hpp"

#include <algorithm>

namespace tarvel {
namespace {

constexpr std::size_t prefetch_distance = 8;  // cases looked ahead in X'X

}  // namespace

NormalEquations zero_equations(int p, int t, int block_width) {
    NormalEquations eq;
    eq.p = std::max(p, 0);
    eq.t = std::max(1, t);
    eq.a = make_block_triangle(eq.p, block_width > 0 ? block_width : reduction_block_width(eq.p));
    const std::size_t ts = static_cast<std::size_t>(eq.t);
    eq.rhs.assign(static_cast<std::size_t>(eq.p) * ts, 0.0);
    eq.yy.assign(ts * (ts + 1) / 2, 0.0);
    return eq;
}

Accumulator start_accumulation(const ColumnLayout& layout, int trait_count, int dense_columns, int block_width,
                               int shares) {
    Accumulator acc;
    const int p = dense_columns > 0 ? std::min(dense_columns, layout.p) : layout.p;
    acc.eq = zero_equations(p, trait_count, block_width);
    const std::size_t ps = static_cast<std::size_t>(acc.eq.p);
    const std::size_t ts = static_cast<std::size_t>(acc.eq.t);
    acc.shares.resize(static_cast<std::size_t>(std::max(shares, 1)));
    for (ShareSums& share : acc.shares) {
        share.column_cases.assign(ps, 0.0);
        share.xy_by_column.assign(ts * ps, 0.0);
        share.yy.assign(acc.eq.yy.size(), 0.0);
    }
    acc.columns.assign(static_cast<std::size_t>(layout.columns_per_case), 0);
    acc.y.assign(ts, 0.0);
    return acc;
}

bool accumulate_case(const ColumnLayout& layout, std::span<const Level> levels,
                     std::span<const float> traits, Accumulator& acc) {
    const int m = case_columns(layout, levels, acc.columns);
    if (m < 0) return false;
    for (std::size_t s = 0; s < acc.y.size(); ++s) acc.y[s] = s < traits.size() ? static_cast<double>(traits[s]) : 0.0;
    accumulate_cases(std::span<const int>(acc.columns).first(static_cast<std::size_t>(m)), m, acc.y, acc, 0);
    return true;
}

void accumulate_cases(std::span<const int> columns, int per_case, std::span<const double> traits, Accumulator& acc,
                      int share) {
    NormalEquations& eq = acc.eq;
    ShareSums& sums = acc.shares[static_cast<std::size_t>(share)];
    const int shares = static_cast<int>(acc.shares.size());
    const std::size_t ts = static_cast<std::size_t>(eq.t);
    const std::size_t count = per_case > 0 ? columns.size() / static_cast<std::size_t>(per_case) : 0;
    const int p = eq.p;
    // The case's columns within the accumulated order (the last effect's
    // may lie beyond it).
    const auto columns_within = [p, per_case](const int* col) {
        int m = per_case;
        while (m > 0 && col[m - 1] >= p) --m;
        return m;
    };
    for (std::size_t k = 0; k < count; ++k) {
        // X'X is far larger than the cache in large designs: ask for the
        // entries of a case ahead while this one is added.
        if (const std::size_t ahead = k + prefetch_distance; ahead < count) {
            const int* col = columns.data() + ahead * static_cast<std::size_t>(per_case);
            const int m = columns_within(col);
            for (int j = 2; j < m; ++j) __builtin_prefetch(eq.a.column(col[j]) + col[1], 1);
        }
        const int* col = columns.data() + k * static_cast<std::size_t>(per_case);
        const double* yv = traits.data() + k * ts;
        const int m = columns_within(col);
        if (share == 0) {
            ++sums.cases;
            double* yy = sums.yy.data();
            for (std::size_t s = 0; s < ts; ++s)
                for (std::size_t u = s; u < ts; ++u) *yy++ += yv[s] * yv[u];
        }
        for (int j = 0; j < m; ++j) {
            const int c = col[j];
            if (shares > 1 && !owns_column(c, share, shares)) continue;
            sums.column_cases[static_cast<std::size_t>(c)] += 1.0;
            double* xy = sums.xy_by_column.data() + static_cast<std::size_t>(c) * ts;
            for (std::size_t s = 0; s < ts; ++s) xy[s] += yv[s];
            // Pairs with the earlier effect columns of the case; the pairs with
            // column 0 and the diagonal are the cases per column, filled in at the end.
            if (j < 2) continue;
            double* column_c = eq.a.column(c);
            for (int i = 1; i < j; ++i) column_c[col[i]] += 1.0;
        }
    }
}

// A column's sums come from its owner alone (the others' are 0), so that
// adding the shares in turn changes nothing in them.
NormalEquations finish_accumulation(Accumulator&& acc) {
    NormalEquations eq = std::move(acc.eq);
    const int p = eq.p;
    const std::size_t ts = static_cast<std::size_t>(eq.t);
    for (const ShareSums& sums : acc.shares) {
        eq.cases += sums.cases;
        for (std::size_t k = 0; k < eq.yy.size(); ++k) eq.yy[k] += sums.yy[k];
        for (int c = 0; c < p; ++c) {
            const double n = sums.column_cases[static_cast<std::size_t>(c)];
            eq.xx(c, c) += n;
            if (c > 0) eq.xx(0, c) += n;  // every case has column 0
            for (int s = 0; s < eq.t; ++s)
                eq.xy(c, s) += sums.xy_by_column[static_cast<std::size_t>(c) * ts + static_cast<std::size_t>(s)];
        }
    }
    acc.shares = {};
    return eq;
}

double pivot_tolerance(std::int64_t cases, int p) {
    if (p == 0) return 0.0;
    return static_cast<double>(cases) * static_cast<double>(p) * 1e-11;
}

}  // namespace tarvel
