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

// Source sums, residual, mean squares, components and tests of the pair
// (s, u). The equations must be reduced and `ems` computed from them.
PairAnalysis analyse_pair(const ColumnLayout& layout, const NormalEquations& eq, double tau,
                          const ExpectedMeanSquares& ems, int s, int u);

// Lower-tail probability P(F' <= f) of the F distribution with nn and nd
// degrees of freedom, by the exact finite series (nd > 0).
double f_distribution(double f, int nn, int nd);

// The upper-tail probability shown for a test: 1 - W, W = f_distribution
// clamped to [0, 1].
double f_upper_tail(double f, int nn, int nd);

}  // namespace tarvel
