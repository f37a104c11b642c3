// What goes back to the host when no listing is written: the four result
// arrays (degrees of freedom, expected-mean-square coefficients, sums of
// squares and cross products, variance components) and one free-form record
// of test results per effect and trait pair in "tanv~tm2.$$$".
//
// The arrays have the host's capacities; nothing is written past their size.
// Sources in the arrays: the n effects in model order, then the residual.
#pragma once

#include "common/files.hpp"
#include "tarvel/ems.hpp"
#include "tarvel/pair_analysis.hpp"
#include "tarvel/trait_tables.hpp"

#include <span>

namespace tarvel {

// The host's variance-component entries of an effect left out of the
// component equations: the not-computable marker, as an 8-byte real, in
// every entry of that source, so the host can tell it from a component of 0.
inline constexpr double host_left_out_component = -9.0E30;

// The n x n coefficients of the effects, row after row: K(r, c) at r * n + c
// (0-based effects).
void store_host_ems(const ExpectedMeanSquares& ems, std::span<double> host_ems);

// The pair's degrees of freedom of the effects (elements 0 ... n-1) and of
// the residual (element n). Rewritten for every pair: the last pair stays.
void store_host_degrees_of_freedom(const PairAnalysis& pair, std::span<double> host_df);

// One record per effect: F, its Satterthwaite degrees of freedom, and the
// probability 1 - W, or -1.0 when no test was made.
void write_test_records(tk::TextWriter& tests, const PairAnalysis& pair);

// For each source row (effects, then the residual) and each trait a, the
// entries (a, a), (a, a+1), ..., (a, t-1): sums of squares and cross products
// into host_ss, components (the covariance half) into host_vc, each array
// filled from its first element. The entries of a left-out effect in host_vc
// are host_left_out_component. Tables that are not kept fill nothing.
void store_host_matrices(const TraitTables& tables, const ExpectedMeanSquares& ems, std::span<double> host_ss,
                         std::span<double> host_vc);

// All of the above in the order of the run: the coefficients, then per pair
// (in pair order) the degrees of freedom and the test records, then the
// matrices. `tables` built from the pairs (build_trait_tables).
void write_host_results(tk::TextWriter& tests, const ExpectedMeanSquares& ems, std::span<const PairAnalysis> pairs,
                        const TraitTables& tables, std::span<double> host_df, std::span<double> host_ss,
                        std::span<double> host_ems, std::span<double> host_vc);

}  // namespace tarvel
