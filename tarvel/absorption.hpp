// The absorbed reduction: the last effect with columns is absorbed into the
// columns before it, which alone are reduced densely.
//
// Every case has exactly one column in each effect, so the block of X'X that
// belongs to the absorbed effect is diagonal: its level counts n(d). Write P
// for the columns before the effect (the mean and the earlier effects), A for
// their block of X'X, b(d) for the counts of level d's cases in each column
// of P (b(d) in the mean's column is n(d)) and y(d) for the sums of the traits
// over level d's cases. Then, for every trait pair:
//
//   R(all)     = sum_d y(d) y(d)'/n(d) + the reduction of the absorbed system
//                (M, X'Y - sum_d b(d) y(d)'/n(d)), M = A - sum_d b(d) b(d)'/n(d);
//   R(earlier) = the reduction of (A, X'Y of P), the same as the dense path's;
//   the effect adds R(all) - R(earlier), with rank(all) - rank(earlier)
//   degrees of freedom, rank(all) = levels + rank(M) (same pivot test).
//
// The coefficient sums W(a, b) of the expected mean squares (ems.hpp) follow
// from the same pieces: with R the factor of A over its accepted columns and
// G = sum_d b(d) b(d)', the squares of the factor's row i over the effect's
// columns add up to (R^-T G R^-1)(i, i); over the effect's own rows they add
// up to N - sum_d b(d)' A^- b(d) = N - trace(R^-T G R^-1).
//
// Absorbing a large first effect (herd-year-season, say) would follow the
// same pattern: its levels' sums, M and G against the columns after it.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/host.hpp"
#include "tarvel/block_triangle.hpp"
#include "tarvel/layout.hpp"
#include "tarvel/normal_equations.hpp"
#include "tarvel/reduced_model.hpp"

namespace tarvel {

// Counts of (level, column) pairs in an open-addressing table (linear
// probing, at most three quarters full).
struct PairCount {
    std::uint32_t level = 0;
    std::uint32_t column = 0;
    std::uint32_t count = 0;  // 0: the slot is empty
};
struct PairCounts {
    std::vector<PairCount> slots;
    std::size_t used = 0;
    int bits = 0;  // 2^bits slots
};

// What one share of the cases adds for the levels it owns, kept apart from
// the other shares' (each on cache lines of its own).
struct alignas(64) LevelShare {
    PairCounts pairs;
    std::vector<double> cases;  // as LevelSums, 0 for the levels of other shares
    std::vector<double> y;
};

// The absorbed effect's levels (0-based: its columns less its first column).
struct LevelSums {
    int first_column = 0;       // the effect's first column: the order of P
    int levels = 0;             // its columns
    int t = 1;                  // traits
    std::vector<double> cases;  // n(d)
    std::vector<double> y;      // y(d): (d, s) at d * t + s
    // b(d) without the mean: level d's columns of P and its counts there are
    // column[k], count[k] for k = start[d] ... start[d + 1] - 1, columns increasing.
    std::vector<std::int64_t> start;
    std::vector<int> column;
    std::vector<double> count;
    std::vector<LevelShare> shares;  // while cases are added
};

// Empty sums of effect `effect` of the layout, for `shares` shares.
LevelSums start_level_sums(const ColumnLayout& layout, int effect, int traits, int shares);

// Adds the cases (columns and 8-byte traits as for accumulate_cases) whose
// level share k owns; the case's last column is its column in the effect.
void add_level_cases(std::span<const int> columns, int per_case, std::span<const double> traits, LevelSums& levels,
                     int share);

// Adds up the shares: the cases, trait sums, columns and counts of each level.
void finish_level_sums(LevelSums& levels);

// The absorbed system M and its right-hand sides, from the equations of P.
NormalEquations absorb_levels(const NormalEquations& earlier, const LevelSums& levels, int threads);

// G = sum_d b(d) b(d)' (the mean's entry n(d) included) over the columns of P.
BlockTriangle level_gram(const LevelSums& levels, int width, int threads);

// (R^-T G R^-1)(i, i) for every accepted column i of the reduced equations
// (0 for a rejected one), R the factor over the accepted columns. The factor
// and G are used up.
std::vector<double> projected_diagonal(NormalEquations&& factor, double tau, BlockTriangle&& gram);

// The whole absorbed path: the equations of P as accumulated and the level
// sums (finished) in; the reduced model out.
ReducedModel reduce_absorbed(const ColumnLayout& layout, int effect, NormalEquations&& earlier, LevelSums&& levels,
                             double tau, int threads, tk::Host& host);

}  // namespace tarvel
