#include "tarvel/trait_tables.hpp"

#include <cmath>

namespace tarvel {
namespace {

TraitTable make_table(int rows, int t) {
    TraitTable table;
    table.rows = rows;
    table.t = t;
    table.values.assign(static_cast<std::size_t>(rows) * static_cast<std::size_t>(t) * static_cast<std::size_t>(t), 0.0f);
    return table;
}

// Per-source values of a pair (0 = the mean, 1 ... n = the effects, n + 1 =
// the residual) go to table rows 0 ... n; the mean is left out.
void store_both_orders(const std::vector<double>& per_source, int s, int u, TraitTable& table) {
    if (!table.kept()) return;
    for (int k = 0; k < table.rows; ++k) {
        const float v = static_cast<float>(per_source[static_cast<std::size_t>(k + 1)]);
        table(k, s, u) = v;
        table(k, u, s) = v;
    }
}

}  // namespace

TraitTables make_trait_tables(int n, int t, const OutputSwitches& switches) {
    TraitTables tables;
    if (switches.vc || switches.cr) tables.variance = make_table(n + 1, t);
    if (switches.ss || switches.kirv) tables.sums_of_squares = make_table(n + 1, t);
    if (switches.ms) tables.mean_squares = make_table(n + 1, t);
    return tables;
}

void store_pair(const PairAnalysis& pair, TraitTables& tables) {
    store_both_orders(pair.vc, pair.s, pair.u, tables.variance);
    store_both_orders(pair.ss, pair.s, pair.u, tables.sums_of_squares);
    store_both_orders(pair.ms, pair.s, pair.u, tables.mean_squares);
}

void store_correlations(TraitTables& tables) {
    tables.marker_flag = 0;
    TraitTable& v = tables.variance;
    if (!v.kept()) return;
    for (int k = 0; k < v.rows; ++k)
        for (int a = 0; a < v.t; ++a)
            for (int b = a + 1; b < v.t; ++b) {
                const double va = v(k, a, a);
                const double vb = v(k, b, b);
                if (va > 0.0 && vb > 0.0) {
                    v(k, b, a) = static_cast<float>(v(k, a, b) / std::sqrt(va * vb));
                } else {
                    v(k, b, a) = not_computable;
                    tables.marker_flag = -1;
                }
            }
}

TraitTables build_trait_tables(int n, int t, std::span<const PairAnalysis> pairs, const OutputSwitches& switches) {
    TraitTables tables = make_trait_tables(n, t, switches);
    for (const PairAnalysis& pair : pairs) store_pair(pair, tables);
    store_correlations(tables);
    return tables;
}

}  // namespace tarvel
