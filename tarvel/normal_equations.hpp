// Normal equations X'X, X'Y, Y'Y of the classification model, accumulated one
// case at a time.
//
// Storage: one column-major array `a` of p rows and p + t columns (leading
// dimension p). Columns 0 ... p-1 hold X'X, of which only the upper triangle
// (i <= j) is the matrix; the strictly lower triangle is scratch. Columns
// p ... p+t-1 hold X'Y, so X'Y(i, s) is a[i + (p + s) * p] and the reduction
// can treat the right-hand sides as extra columns of the rows it reduces.
#pragma once

#include "tarvel/layout.hpp"

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace tarvel {

struct NormalEquations {
    int p = 0;               // design columns, the mean included
    int t = 1;               // traits (a count of 0 is taken as 1)
    std::vector<double> a;   // p x (p + t): X'X (upper triangle) then X'Y
    std::vector<double> yy;  // Y'Y upper triangle packed by rows: (0,0), (0,1), ..., (t-1,t-1)
    std::int64_t cases = 0;  // N, the number of cases accumulated

    double& xx(int i, int j) { return a[at(i, j)]; }  // i <= j
    double xx(int i, int j) const { return a[at(i, j)]; }
    double& xy(int i, int s) { return a[at(i, p + s)]; }
    double xy(int i, int s) const { return a[at(i, p + s)]; }

    std::size_t at(int i, int j) const {
        return static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * static_cast<std::size_t>(p);
    }
};

// Index of the trait pair (s, u), s <= u, in Y'Y and in the pair order
// (0,0), (0,1), ..., (0,t-1), (1,1), ..., (t-1,t-1).
inline int trait_pair_index(int s, int u, int t) { return s * t - s * (s - 1) / 2 + (u - s); }

// Accumulation state: the equations under construction plus, for locality,
// the cases per column (which are both the diagonal of X'X and its row 0)
// and X'Y stored trait-fastest. finish_accumulation folds them in.
struct Accumulator {
    NormalEquations eq;
    std::vector<double> column_cases;  // p
    std::vector<double> xy_by_column;  // t x p: (s, c) at s + c * t
    std::vector<int> columns;          // work: the current case's columns
    std::vector<double> y;             // work: the current case's traits
};

// Zeroed equations for the layout's p columns and t traits.
Accumulator start_accumulation(const ColumnLayout& layout, int trait_count);

// Adds one case: N += 1; Y'Y(s,u) += y(s)*y(u) (the product of the 4-byte
// values formed in 8-byte precision); X'Y(c,s) += y(s) for each of the case's
// columns c; X'X(c,d) += 1 for every pair c <= d of its columns. Trait values
// beyond traits.size() count as 0. Returns false, adding nothing, when the
// case does not fit the layout (see case_columns).
bool accumulate_case(const ColumnLayout& layout, std::span<const Level> levels,
                     std::span<const float> traits, Accumulator& acc);

// The finished equations.
NormalEquations finish_accumulation(Accumulator&& acc);

// Pivot tolerance tau = X'X(1,1) * p * 1e-11 = N * p * 1e-11.
double pivot_tolerance(const NormalEquations& eq);

}  // namespace tarvel
