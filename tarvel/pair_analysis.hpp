// Analysis of one trait pair: Type I sums of squares or cross products,
// degrees of freedom, mean squares, components with standard deviations,
// synthesized denominators with Satterthwaite degrees of freedom, F values
// and probabilities. Plain numbers only; the listing and the host records
// are written by the caller.
//
// Per-source arrays have n + 2 entries: 0 = the mean, 1 ... n = the effects,
// n + 1 = the residual.
#pragma once

#include "tarvel/ems.hpp"
#include "tarvel/layout.hpp"
#include "tarvel/normal_equations.hpp"

#include <cstdint>
#include <vector>

namespace tarvel {

struct PairAnalysis {
    int s = 0, u = 0;                 // 0-based traits, s <= u (s == u: a variance)
    std::vector<double> ss;           // SS(a): sum of squares or cross products
    std::vector<int> df;              // DF(a)
    std::vector<double> ms;           // MS(a)
    std::vector<double> vc;           // VC(a): component estimate
    std::vector<double> sd;           // SD(a): its approximate standard deviation
    // Tests, for the mean and the effects (entry n + 1 unused, 0):
    std::vector<double> denominator;  // D(a): synthesized denominator mean square
    std::vector<double> satterthwaite_df;  // nu(a), 0 when not computable
    std::vector<double> f;            // F(a) = |MS(a)/D(a)|, 0 when |D(a)| < 1e-14; 0 for the mean
    std::vector<int> nd;              // nu(a) rounded half away from zero
    std::vector<double> probability;  // upper tail 1 - W when tested, else -1 (effects only)
    // Totals and summary:
    double total_ss = 0.0;            // SS over the mean and the effects
    int total_df = 0;                 // DF over the mean and the effects
    double yy = 0.0;                  // the pair's Y'Y entry
    double corrected_total = 0.0;     // Y - SS(mean), the "Total" row
    std::int64_t total_row_df = 0;    // N - 1
    int design_columns = 0;           // p
    double accounted = 0.0;           // Y - SS(mean) - SS(residual)
    double accounted_percent = 0.0;   // accounted / (Y - SS(mean)) * 100; 0 when that total is 0

    // A test needs degrees of freedom on both sides: an effect left with
    // none after the effects before it has nothing to test (its series
    // would give probability 1 for any F).
    bool has_probability(int a) const {
        const auto i = static_cast<std::size_t>(a);
        return nd[i] > 0 && df[i] > 0;
    }

    // A variance component below zero: an estimate outside the range of a
    // variance (only variances, s == u, have one; covariances may be negative).
    bool has_negative_variance(int a) const { return s == u && vc[static_cast<std::size_t>(a)] < 0.0; }
};

// What each source (0 = the mean, 1 ... n = the effects) adds to the model's
// reduction, for every trait pair (pair order of trait_pair_index), whichever
// way the equations were reduced.
struct SourceSums {
    int sources = 0;             // n + 1
    int t = 1;                   // traits
    std::vector<double> ss;      // (a, pair) at a + pair * sources
    std::vector<int> df;         // (a, pair): columns that reduce both traits
    std::vector<double> yy;      // Y'Y per pair
    std::int64_t cases = 0;      // N
    int design_columns = 0;      // p

    double& ss_of(int a, int pair) { return ss[at(a, pair)]; }
    double ss_of(int a, int pair) const { return ss[at(a, pair)]; }
    int& df_of(int a, int pair) { return df[at(a, pair)]; }
    int df_of(int a, int pair) const { return df[at(a, pair)]; }
    std::size_t at(int a, int pair) const {
        return static_cast<std::size_t>(a) + static_cast<std::size_t>(pair) * static_cast<std::size_t>(sources);
    }
};

// Zero sums for `sources` sources and t traits.
SourceSums zero_source_sums(int sources, int t);

// The sums of the reduced equations, column by column: a column counts for
// a pair when both its reductions are non-zero. Columns 0 ... eq.p - 1 of the
// layout; Y'Y and N are taken from the equations.
SourceSums source_sums(const ColumnLayout& layout, const NormalEquations& eq);

// Residual, mean squares, components and tests of the pair (s, u), from the
// source sums and the expected mean squares. With a trait that holds one
// value in every case (0 included), the effects and the residual of the
// pair have no degrees of freedom and sums of 0, and so have its totals
// beyond the mean, whichever way the equations were reduced.
PairAnalysis analyse_pair(const SourceSums& sums, double tau, const ExpectedMeanSquares& ems, int s, int u);

// Lower-tail probability P(F' <= f) of the F distribution with nn and nd
// degrees of freedom, by the exact finite series (nd > 0).
double f_distribution(double f, int nn, int nd);

// The upper-tail probability shown for a test: 1 - W, W = f_distribution
// clamped to [0, 1].
double f_upper_tail(double f, int nn, int nd);

}  // namespace tarvel
