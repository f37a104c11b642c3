#include "pipeline.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

namespace {

using tarvel_test::Case;
using tarvel_test::make_model;

// P(F <= f0) by Simpson's rule over the F density, with x = v^2 so that the
// integrand stays finite at 0 for one numerator degree of freedom.
double integrated_f_distribution(double f0, int m, int n) {
    const double dm = m, dn = n;
    const double log_c = std::lgamma((dm + dn) / 2) - std::lgamma(dm / 2) - std::lgamma(dn / 2) +
                         dm / 2 * std::log(dm / dn);
    auto g = [&](double v) {
        if (v <= 0.0) return m == 1 ? 2.0 * std::exp(log_c) : 0.0;
        const double x = v * v;
        return 2.0 * v * std::exp(log_c + (dm / 2 - 1) * std::log(x) - (dm + dn) / 2 * std::log1p(dm * x / dn));
    };
    const int steps = 200000;
    const double b = std::sqrt(f0);
    const double h = b / steps;
    double sum = g(0.0) + g(b);
    for (int k = 1; k < steps; ++k) sum += (k % 2 ? 4.0 : 2.0) * g(k * h);
    return sum * h / 3.0;
}

TEST(FDistribution, HandValuesAndEveryParityAgainstIntegration) {
    EXPECT_DOUBLE_EQ(tarvel::f_distribution(3.0, 2, 2), 0.75);
    EXPECT_NEAR(tarvel::f_distribution(2.0, 1, 1), 0.6082, 5e-5);
    struct Point {
        double f;
        int nn, nd;
    };
    const Point points[] = {
        {2.0, 1, 1},   {0.5, 1, 2},    {4.0, 2, 1},    {1.3, 3, 4},     {2.2, 4, 3},      {0.8, 5, 7},
        {3.1, 6, 8},   {1.7, 2, 9},    {5.0, 7, 2},    {1.1, 14, 88},   {2.5, 29, 66},    {0.3, 77, 428},
        {1.05, 2000, 4000},  // the plain series underflows here
        {1.02, 3001, 100001},
    };
    for (const Point& pt : points) {
        SCOPED_TRACE(testing::Message() << "F(" << pt.nn << "," << pt.nd << ") at " << pt.f);
        const double w = tarvel::f_distribution(pt.f, pt.nn, pt.nd);
        EXPECT_NEAR(w, integrated_f_distribution(pt.f, pt.nn, pt.nd), 1e-7);
    }
}

TEST(FDistribution, UpperTailStaysAProbability) {
    // F = 0 gives W = 0 exactly; rounding can leave W a little outside
    // [0, 1] for F near 0 or very large; the tail is clamped to [0, 1].
    for (int nn = 1; nn <= 40; ++nn)
        for (int nd = 1; nd <= 120; ++nd)
            for (double f : {0.0, 1e-9, 1e-4, 0.01, 0.1, 1.0, 30.0, 1e4, 1e8}) {
                const double tail = tarvel::f_upper_tail(f, nn, nd);
                ASSERT_GE(tail, 0.0) << nn << " " << nd << " " << f;
                ASSERT_LE(tail, 1.0) << nn << " " << nd << " " << f;
                if (f <= 1e-4) {
                    ASSERT_GT(tail, 0.99) << nn << " " << nd << " " << f;
                }
            }
    EXPECT_EQ(tarvel::f_upper_tail(0.0, 3, 12), 1.0);
}

TEST(PairAnalysis, BalancedOneWay) {
    // a = 4 levels, r = 5 cases each.
    const int a = 4, r = 5;
    std::vector<float> y;
    for (int k = 0; k < a * r; ++k) y.push_back(static_cast<float>((k * 37) % 11) + 0.5f * (k / r));
    const tarvel_test::Analysis an = tarvel_test::analyse(make_model({{"A", "A"}}), tarvel_test::one_way({r, r, r, r}, y), 1);
    // Independent one-way sums.
    double grand = std::accumulate(y.begin(), y.end(), 0.0) / (a * r);
    double ssa = 0, sse = 0;
    for (int l = 0; l < a; ++l) {
        double mean = 0;
        for (int k = 0; k < r; ++k) mean += y[static_cast<std::size_t>(l * r + k)];
        mean /= r;
        ssa += r * (mean - grand) * (mean - grand);
        for (int k = 0; k < r; ++k) sse += std::pow(y[static_cast<std::size_t>(l * r + k)] - mean, 2);
    }
    const double msa = ssa / (a - 1), mse = sse / (a * r - a);
    const tarvel::PairAnalysis& p = an.pairs[0];
    EXPECT_EQ(p.df, (std::vector<int>{1, a - 1, a * r - a}));
    EXPECT_NEAR(p.ss[1], ssa, 1e-9);
    EXPECT_NEAR(p.ss[2], sse, 1e-9);
    EXPECT_NEAR(p.ms[1], msa, 1e-10);
    EXPECT_NEAR(p.vc[1], (msa - mse) / r, 1e-10);
    EXPECT_NEAR(p.vc[2], mse, 1e-10);
    EXPECT_NEAR(p.denominator[1], mse, 1e-10);
    EXPECT_NEAR(p.f[1], msa / mse, 1e-10);
    EXPECT_NEAR(p.satterthwaite_df[1], a * r - a, 1e-9);
    EXPECT_EQ(p.nd[1], a * r - a);
    EXPECT_NEAR(p.probability[1], 1.0 - integrated_f_distribution(msa / mse, a - 1, a * r - a), 1e-7);
    EXPECT_NEAR(p.corrected_total, ssa + sse, 1e-9);
    EXPECT_EQ(p.total_row_df, a * r - 1);
    EXPECT_NEAR(p.accounted, ssa, 1e-9);
    EXPECT_NEAR(p.accounted_percent, ssa / (ssa + sse) * 100, 1e-9);
    EXPECT_EQ(p.total_df, a);
    EXPECT_EQ(p.design_columns, 1 + a);
    EXPECT_EQ(p.probability[0], -1.0);  // the mean is not tested
}

TEST(PairAnalysis, NestedEffectIsTestedAgainstTheNextLevel) {
    std::vector<Case> data;
    for (int i = 1; i <= 5; ++i)
        for (int j = 1; j <= 3; ++j)
            for (int k = 0; k < 2; ++k)
                data.push_back({{static_cast<tarvel::Level>(i), static_cast<tarvel::Level>(j)},
                                {static_cast<float>((i * 13 + j * 7 + k * 5) % 9)}});
    const tarvel_test::Analysis an =
        tarvel_test::analyse(make_model({{"A", "A"}, {"B|A", "AB"}}), data, 1);
    const tarvel::PairAnalysis& p = an.pairs[0];
    EXPECT_EQ(p.df, (std::vector<int>{1, 4, 10, 15}));
    EXPECT_NEAR(p.denominator[1], p.ms[2], 1e-10);  // A against B|A
    EXPECT_NEAR(p.satterthwaite_df[1], 10, 1e-8);
    EXPECT_NEAR(p.denominator[2], p.ms[3], 1e-10);  // B|A against the residual
    EXPECT_NEAR(p.satterthwaite_df[2], 15, 1e-8);
    EXPECT_NEAR(p.vc[1], (p.ms[1] - p.ms[2]) / 6, 1e-10);
    EXPECT_NEAR(p.vc[2], (p.ms[2] - p.ms[3]) / 2, 1e-10);
}

TEST(PairAnalysis, ZeroRules) {
    struct ZeroCase {
        const char* name;
        std::vector<int> sizes;  // cases per level of A
        std::vector<float> y0, y1;
        std::vector<int> df_variance, df_covariance;  // mean, A, residual
    };
    const ZeroCase cases[] = {
        // One case per level: N = total DF, no residual.
        {"saturated", {1, 1, 1}, {1, 4, 2}, {2, 2, 5}, {1, 2, 0}, {1, 2, 0}},
        // Trait 2 all 0: no column counts for the covariance, and its
        // residual sum (0) is below tau, so the residual is empty too.
        {"zero trait", {2, 3}, {1, 4, 2, 6, 3}, {0}, {1, 1, 3}, {0, 0, 0}},
    };
    for (const ZeroCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Case> data = tarvel_test::one_way(c.sizes, c.y0);
        for (std::size_t k = 0; k < data.size(); ++k) data[k].y.push_back(c.y1[k % c.y1.size()]);
        const tarvel_test::Analysis an = tarvel_test::analyse(make_model({{"A", "A"}}), data, 2);
        EXPECT_EQ(an.pairs[0].df, c.df_variance);
        EXPECT_EQ(an.pairs[1].df, c.df_covariance);
        for (const tarvel::PairAnalysis& p : an.pairs) {
            const std::size_t res = p.df.size() - 1;
            if (p.df[res] == 0) {
                EXPECT_EQ(p.ss[res], 0.0);
                EXPECT_EQ(p.ms[res], 0.0);
            }
            for (double x : p.vc) EXPECT_TRUE(std::isfinite(x));
            for (double x : p.f) EXPECT_TRUE(std::isfinite(x));
        }
    }
}

// The units of a trait do not decide which sums count: a trait in metres
// instead of millimetres gives the same table scaled by 1e-6, though its sums
// then lie far below tau (here 6e-10).
TEST(PairAnalysis, SumsBelowTauInSmallUnitsAreKept) {
    const std::vector<float> y = {1, 3, 2, 4, 6, 5, 7, 9, 8, 2, 4, 3, 5, 7, 6, 8, 10, 9, 3, 5};
    const std::vector<int> sizes = {10, 10};
    const tarvel_test::Analysis units = tarvel_test::analyse(make_model({{"A", "A"}}), tarvel_test::one_way(sizes, y), 1);
    for (const float scale : {1e-3f, 1e-6f}) {
        SCOPED_TRACE(scale);
        std::vector<float> scaled;
        for (float v : y) scaled.push_back(v * scale);
        const tarvel_test::Analysis small =
            tarvel_test::analyse(make_model({{"A", "A"}}), tarvel_test::one_way(sizes, scaled), 1);
        const tarvel::PairAnalysis& p = small.pairs[0];
        EXPECT_EQ(p.df, units.pairs[0].df);
        for (std::size_t a = 0; a < p.ss.size(); ++a)
            EXPECT_NEAR(p.ss[a], units.pairs[0].ss[a] * scale * scale, 1e-5 * units.pairs[0].ss[a] * scale * scale);
        EXPECT_GT(p.ss[1], 0.0);
        EXPECT_NEAR(p.probability[1], units.pairs[0].probability[1], 1e-6);
    }
}

// An effect with no degrees of freedom after the effects before it (B
// repeats A's levels) gets no probability, though its denominator has some.
TEST(PairAnalysis, EffectWithoutDegreesOfFreedomIsNotTested) {
    std::vector<Case> cases;
    for (int k = 0; k < 12; ++k) {
        const auto a = static_cast<tarvel::Level>(k % 3 + 1);
        cases.push_back({{a, a}, {static_cast<float>(k * k % 7)}});
    }
    const tarvel_test::Analysis an = tarvel_test::analyse(make_model({{"A", "A"}, {"B", "B"}}), cases, 1);
    const tarvel::PairAnalysis& p = an.pairs[0];
    ASSERT_EQ(p.df, (std::vector<int>{1, 2, 0, 9}));
    EXPECT_TRUE(p.has_probability(1));
    EXPECT_GT(p.probability[1], 0.0);
    EXPECT_GT(p.nd[2], 0);
    EXPECT_FALSE(p.has_probability(2));
    EXPECT_EQ(p.probability[2], -1.0);
}

}  // namespace
