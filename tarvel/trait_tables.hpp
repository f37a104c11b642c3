// Per-source trait matrices of a run and the correlations of variance
// components between traits.
//
// A table holds one t x t matrix of 4-byte reals per source row: rows
// 0 ... n-1 are the effects in model order, row n is the residual (the mean
// is not stored). Storage is column-major with the source row first:
// (k, a, b) is at k + rows * (a + t * b), 0-based.
//
// After store_correlations the variance table holds, for traits a < b, the
// covariance at (k, a, b) and the correlation (or the not-computable marker)
// at (k, b, a); the diagonal keeps the variances.
#pragma once

#include "tarvel/switches.hpp"

#include "tarvel/pair_analysis.hpp"

#include <cstddef>
#include <span>
#include <vector>

namespace tarvel {

// Stored where a correlation cannot be computed (a variance component that is
// zero or negative). It does not fit F7.4 and prints as seven asterisks.
inline constexpr float not_computable = -9.0E30f;

struct TraitTable {
    int rows = 0;               // n + 1: the effects, then the residual; 0 when the table is not kept
    int t = 0;                  // traits
    std::vector<float> values;  // rows * t * t

    bool kept() const { return rows > 0; }
    std::size_t index(int k, int a, int b) const {
        return static_cast<std::size_t>(k) +
               static_cast<std::size_t>(rows) * (static_cast<std::size_t>(a) + static_cast<std::size_t>(t) * static_cast<std::size_t>(b));
    }
    float& operator()(int k, int a, int b) { return values[index(k, a, b)]; }
    float operator()(int k, int a, int b) const { return values[index(k, a, b)]; }
};

struct TraitTables {
    TraitTable variance;         // components; kept when VC or CR is set
    TraitTable sums_of_squares;  // kept when SS or KIRV is set
    TraitTable mean_squares;     // kept when MS is set
    int marker_flag = 0;         // -1 once a not-computable marker has been stored, else 0
};

// Zeroed tables for n effects and t traits, only those the switches ask for.
TraitTables make_trait_tables(int n, int t, const OutputSwitches& switches);

// Stores the pair's components, sums and mean squares of every effect and of
// the residual at (k, s, u) and (k, u, s) of the kept tables.
void store_pair(const PairAnalysis& pair, TraitTables& tables);

// Correlations r = cov / sqrt(var_a * var_b) into the lower half of the
// variance table; the marker where either variance is not above 0. Sets the
// marker flag to 0, or to -1 when a marker was stored. Does nothing to a
// table that is not kept.
void store_correlations(TraitTables& tables);

// All of the above: the tables of a run filled from its pairs (in pair
// order), with the correlations stored.
TraitTables build_trait_tables(int n, int t, std::span<const PairAnalysis> pairs, const OutputSwitches& switches);

}  // namespace tarvel
