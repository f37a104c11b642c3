// Normal equations X'X, X'Y, Y'Y of the classification model, accumulated one
// case at a time.
//
// Storage: X'X as the upper triangle of a BlockTriangle (block columns of
// reduction_block_width(p) columns); X'Y as a p x t column-major array, so
// that the reduction can treat the right-hand sides as extra columns of the
// rows it reduces; Y'Y packed by trait pairs.
#pragma once

#include "tarvel/block_triangle.hpp"
#include "tarvel/layout.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarvel {

struct NormalEquations {
    int p = 0;                // design columns, the mean included
    int t = 1;                // traits (a count of 0 is taken as 1)
    BlockTriangle a;          // X'X, upper triangle
    std::vector<double> rhs;  // X'Y: (i, s) at i + s * p
    std::vector<double> yy;   // Y'Y upper triangle packed by rows: (0,0), (0,1), ..., (t-1,t-1)
    std::int64_t cases = 0;   // N, the number of cases accumulated

    double& xx(int i, int j) { return a(i, j); }  // i <= j
    double xx(int i, int j) const { return a(i, j); }
    double& xy(int i, int s) { return rhs[at(i, s)]; }
    double xy(int i, int s) const { return rhs[at(i, s)]; }

    std::size_t at(int i, int s) const {
        return static_cast<std::size_t>(i) + static_cast<std::size_t>(s) * static_cast<std::size_t>(p);
    }
};

// Zeroed equations of order p with t traits (t < 1 is taken as 1), blocks of
// `block_width` columns (0: reduction_block_width(p)).
NormalEquations zero_equations(int p, int t, int block_width = 0);

// Index of the trait pair (s, u), s <= u, in Y'Y and in the pair order
// (0,0), (0,1), ..., (0,t-1), (1,1), ..., (t-1,t-1).
inline int trait_pair_index(int s, int u, int t) { return s * t - s * (s - 1) / 2 + (u - s); }
inline int trait_pair_count(int t) { return t * (t + 1) / 2; }

// What one share of the cases adds besides X'X, kept apart from the other
// shares' (each on cache lines of its own): the cases per column (which are
// both the diagonal of X'X and its row 0) and X'Y stored trait-fastest, for
// the columns the share owns; N and Y'Y in share 0.
struct alignas(64) ShareSums {
    std::vector<double> column_cases;  // p
    std::vector<double> xy_by_column;  // t x p: (s, c) at s + c * t
    std::int64_t cases = 0;
    std::vector<double> yy;            // as NormalEquations::yy
};

// Accumulation state: the equations under construction and the shares'
// sums; finish_accumulation folds them in.
struct Accumulator {
    NormalEquations eq;
    std::vector<ShareSums> shares;
    std::vector<int> columns;  // work: the current case's columns
    std::vector<double> y;     // work: the current case's traits
};

// Zeroed equations for the first `dense_columns` columns of the layout (0:
// all p), t traits, for cases added by `shares` shares.
Accumulator start_accumulation(const ColumnLayout& layout, int trait_count, int dense_columns = 0,
                               int block_width = 0, int shares = 1);

// Adds one case: N += 1; Y'Y(s,u) += y(s)*y(u) (the product of the 4-byte
// values formed in 8-byte precision); X'Y(c,s) += y(s) for each of the case's
// columns c; X'X(c,d) += 1 for every pair c <= d of its columns. Trait values
// beyond traits.size() count as 0. Returns false, adding nothing, when the
// case does not fit the layout (see case_columns).
bool accumulate_case(const ColumnLayout& layout, std::span<const Level> levels,
                     std::span<const float> traits, Accumulator& acc);

// Adds cases whose columns (each list strictly increasing, starting with the
// mean's 0, `per_case` entries) and 8-byte trait values are given; columns at
// or beyond the accumulator's order are left out. With several shares (as
// many as the accumulator was started for), share k adds only to the columns
// it owns (see owns_column) and share 0 also to N and Y'Y, so that the shares
// can run side by side on one accumulator; every sum then receives its cases
// in the same order, whatever the number of shares.
void accumulate_cases(std::span<const int> columns, int per_case, std::span<const double> traits, Accumulator& acc,
                      int share = 0);

// Whether share k of `shares` adds to column c.
inline bool owns_column(int c, int share, int shares) { return (c >> 4) % shares == share; }

// The finished equations.
NormalEquations finish_accumulation(Accumulator&& acc);

// Pivot tolerance tau = N * p * 1e-11, p the columns of the whole design.
double pivot_tolerance(std::int64_t cases, int p);
inline double pivot_tolerance(const NormalEquations& eq) { return pivot_tolerance(eq.cases, eq.p); }

}  // namespace tarvel
