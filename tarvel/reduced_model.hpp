// The reduced model: what each source adds for every trait pair and the sums
// behind the expected-mean-square coefficients, from either of two ways of
// reducing the normal equations:
//
// - dense: every column in one sequential reduction of X'X;
// - absorbed: the last effect with columns, whose block of X'X is diagonal
//   (its level counts), is absorbed into the columns before it, so that only
//   those are reduced densely (absorption.hpp).
//
// Both give the same numbers up to rounding; the absorbed way is chosen when
// the last effect holds most of the columns, where it is much cheaper.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "common/host.hpp"
#include "tarvel/ems.hpp"
#include "tarvel/layout.hpp"
#include "tarvel/normal_equations.hpp"
#include "tarvel/pair_analysis.hpp"

namespace tarvel {

enum class ReductionPath { automatic, dense, absorbed };

// The status text while the equations are accumulated and reduced.
inline constexpr const char* status_reducing = " Reducing X'X and X'Y Matrices ...";

struct ReducedModel {
    SourceSums sums;
    FactorSquares squares;
    ReductionPath path = ReductionPath::dense;
    int absorbed_effect = -1;  // 0-based effect absorbed, -1 on the dense path
    int dense_columns = 0;     // order of the systems reduced densely
};

// "auto", "dense", "absorbed"; and back.
const char* path_name(ReductionPath path);
std::optional<ReductionPath> parse_reduction_path(std::string_view name);

// The effect that can be absorbed: the last effect with columns (later
// effects without columns add nothing); -1 when no effect has columns.
int absorbable_effect(const ColumnLayout& layout);

// The path of a run: `requested` unless it is automatic, or absorbed while
// nothing can be absorbed (then dense). Automatic takes the absorbed path
// when the effect has at least absorbed_levels_minimum columns and reducing
// the rest twice (plus the coefficient work of the same order) costs less
// than the dense reduction: 4 q^3 <= p^3, q the columns before the effect.
ReductionPath choose_reduction_path(const ColumnLayout& layout, ReductionPath requested);
inline constexpr int absorbed_levels_minimum = 500;

// The dense path: reduces the equations of all p columns, painting the
// progress of the pivots, and takes the source sums and factor squares.
ReducedModel reduce_dense(const ColumnLayout& layout, NormalEquations& eq, double tau, tk::Host& host);

// The reduction block by block; between blocks the progress text of the last
// tenth pivot reached is painted, counted out of `design_columns`.
void reduce_with_progress(NormalEquations& eq, double tau, int design_columns, tk::Host& host);

// "Progress: 50.0% ( 80 )": the progress text of pivot i (1-based) of p.
std::string progress_text(int i, int p);

}  // namespace tarvel
