#include "pipeline.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using tarvel_test::Case;
using tarvel_test::make_model;

// Balanced hierarchy: a levels of A, b levels of B in each, r cases per cell.
std::vector<Case> nested(int a, int b, int r) {
    std::vector<Case> data;
    for (int i = 1; i <= a; ++i)
        for (int j = 1; j <= b; ++j)
            for (int k = 0; k < r; ++k)
                data.push_back({{static_cast<tarvel::Level>(i), static_cast<tarvel::Level>(j)},
                                {static_cast<float>(i * 3 + j * j + (k * 7) % 5), static_cast<float>(k - j)}});
    return data;
}

struct EmsCase {
    const char* name;
    tarvel::Model model;
    std::vector<Case> data;
    std::vector<int> df;                      // per source, the mean first
    std::vector<std::vector<double>> printed;  // per source: last effect first, the mean last
};

TEST(ExpectedMeanSquares, WorkedExamples) {
    const EmsCase cases[] = {
        {"one-way 3, 5, 2",
         make_model({{"A", "A"}}),
         tarvel_test::one_way({3, 5, 2}, {1, 4, 2, 8, 5, 7}),
         {1, 2},
         {{3.8, 10.0}, {3.1, 0.0}}},
        {"balanced B within A, a=3 b=2 r=4",
         make_model({{"A", "A"}, {"B|A", "AB"}}),
         nested(3, 2, 4),
         {1, 2, 3},
         {{4.0, 8.0, 24.0}, {4.0, 8.0, 0.0}, {4.0, 0.0, 0.0}}},
    };
    for (const EmsCase& c : cases) {
        SCOPED_TRACE(c.name);
        const tarvel_test::Analysis a = tarvel_test::analyse(c.model, c.data, 1);
        ASSERT_EQ(a.ems.rows.size(), c.printed.size());
        EXPECT_EQ(a.ems.df, c.df);
        for (std::size_t s = 0; s < c.printed.size(); ++s) {
            EXPECT_EQ(a.ems.rows[s].df, c.df[s]);
            ASSERT_EQ(a.ems.rows[s].w.size(), c.printed[s].size());
            for (std::size_t k = 0; k < c.printed[s].size(); ++k) EXPECT_NEAR(a.ems.rows[s].w[k], c.printed[s][k], 1e-12);
            EXPECT_EQ(a.ems.k(static_cast<int>(s), a.ems.n + 1), 1.0);  // residual coefficient
        }
        EXPECT_EQ(a.ems.k(a.ems.n + 1, a.ems.n + 1), 1.0);
        EXPECT_TRUE(a.ems.left_out_effects.empty());
        // K^-1 K = I when every source has an accepted column.
        const int m = a.ems.n + 2;
        for (int i = 0; i < m; ++i)
            for (int j = 0; j < m; ++j) {
                double sum = 0.0;
                for (int k = 0; k < m; ++k) sum += a.ems.k_inverse(i, k) * a.ems.k(k, j);
                EXPECT_NEAR(sum, i == j ? 1.0 : 0.0, 1e-12);
            }
    }
}

// An effect whose columns are all rejected (D copies A) or that has no
// columns (C takes only level 1) stays a source with DF 0 and component 0,
// and the other sources come out as in the model without it.
TEST(ExpectedMeanSquares, EffectsWithoutAcceptedColumnsAreLeftOut) {
    std::vector<Case> data;
    for (const Case& c : nested(4, 3, 3)) {
        // factors: A, B (within A), C = 1 always, D = A
        data.push_back({{c.levels[0], c.levels[1], 1, c.levels[0]}, c.y});
    }
    // Model A + D + C + B|A against A + B|A.
    const tarvel::Model with = make_model({{"A", "A"}, {"D", "D"}, {"C", "C"}, {"B|A", "AB"}});
    const tarvel::Model without = make_model({{"A", "A"}, {"B|A", "AB"}});
    const tarvel_test::Analysis w = tarvel_test::analyse(with, data, 2);
    const tarvel_test::Analysis o = tarvel_test::analyse(without, data, 2);
    EXPECT_EQ(w.ems.left_out_effects, (std::vector<int>{1, 2}));
    EXPECT_FALSE(w.ems.mean_left_out);
    EXPECT_EQ(w.ems.df, (std::vector<int>{1, 3, 0, 0, 8}));
    EXPECT_EQ(w.ems.rows[2].label, "D");
    EXPECT_EQ(w.ems.rows[3].label, "C");
    for (int b = 0; b < 5; ++b) EXPECT_EQ(w.ems.k(3, b), 0.0);  // C: no columns at all
    const int src_with[] = {0, 1, 4, 5};  // mean, A, B|A, residual
    const int src_without[] = {0, 1, 2, 3};
    for (std::size_t pr = 0; pr < w.pairs.size(); ++pr) {
        const tarvel::PairAnalysis& pw = w.pairs[pr];
        const tarvel::PairAnalysis& po = o.pairs[pr];
        for (int left : {2, 3}) {
            EXPECT_EQ(pw.df[static_cast<std::size_t>(left)], 0);
            EXPECT_EQ(pw.vc[static_cast<std::size_t>(left)], 0.0);
            EXPECT_EQ(pw.sd[static_cast<std::size_t>(left)], 0.0);
            EXPECT_EQ(pw.f[static_cast<std::size_t>(left)], 0.0);
        }
        for (int k = 0; k < 4; ++k) {
            const auto a = static_cast<std::size_t>(src_with[k]);
            const auto b = static_cast<std::size_t>(src_without[k]);
            const double scale = 1e-10 * (1 + std::fabs(po.ss[b]));
            EXPECT_NEAR(pw.ss[a], po.ss[b], scale);
            EXPECT_EQ(pw.df[a], po.df[b]);
            EXPECT_NEAR(pw.vc[a], po.vc[b], 1e-10 * (1 + std::fabs(po.vc[b])));
            EXPECT_NEAR(pw.sd[a], po.sd[b], 1e-10 * (1 + std::fabs(po.sd[b])));
            if (k == 1 || k == 2) {
                EXPECT_NEAR(pw.f[a], po.f[b], 1e-10 * (1 + po.f[b]));
                EXPECT_NEAR(pw.satterthwaite_df[a], po.satterthwaite_df[b], 1e-8);
                EXPECT_NEAR(pw.probability[a], po.probability[b], 1e-10);
            }
            for (bool finite : {std::isfinite(pw.vc[a]), std::isfinite(pw.sd[a])}) EXPECT_TRUE(finite);
        }
    }
}

// The pivot tolerance of a large design (cases x columns x 1e-11) exceeds
// genuine elements of the factor, such as the mean's n/sqrt(N) of a small
// level; they still count. One-way 3, 5, 2 with a tolerance of 0.7: the
// mean's element of the level with 2 cases is 0.63.
TEST(ExpectedMeanSquares, EveryElementOfTheFactorCounts) {
    const tarvel::Model model = make_model({{"A", "A"}});
    const std::vector<Case> data = tarvel_test::one_way({3, 5, 2}, {1, 4, 2, 8, 5, 7});
    const tarvel::ColumnLayout layout = tarvel_test::build_layout(model, data);
    tarvel::NormalEquations eq = tarvel_test::accumulate(layout, data, 1);
    const double tau = 0.7;
    tarvel::reduce(eq, tau);
    const tarvel::ExpectedMeanSquares ems = tarvel::expected_mean_squares(layout, tarvel::factor_squares(layout, tau, eq));
    EXPECT_EQ(ems.df, (std::vector<int>{1, 2}));
    EXPECT_NEAR(ems.k(0, 1), 3.8, 1e-12);
    EXPECT_NEAR(ems.k(1, 1), 3.1, 1e-12);
}

// Coefficients K(a, b), b >= a, of the mean (0), sires (1) and dams within
// sires (2) from the counts n(i, j) of sire i's dam j, by the textbook
// formulas of the unbalanced nested design.
std::vector<std::vector<double>> nested_coefficients(const std::vector<std::vector<int>>& counts) {
    double n = 0.0, sires_sq = 0.0, dams_sq = 0.0, dams_sq_within = 0.0, dams = 0.0;
    for (const std::vector<int>& sire : counts) {
        double n_i = 0.0, sq_i = 0.0;
        for (int n_ij : sire) n_i += n_ij, sq_i += double(n_ij) * n_ij, ++dams;
        n += n_i, sires_sq += n_i * n_i, dams_sq += sq_i, dams_sq_within += sq_i / n_i;
    }
    const double s = static_cast<double>(counts.size());
    return {{n, sires_sq / n, dams_sq / n},
            {0.0, (n - sires_sq / n) / (s - 1), (dams_sq_within - dams_sq / n) / (s - 1)},
            {0.0, 0.0, (n - dams_sq_within) / (dams - s)}};
}

// A large unbalanced sire + dam|sire design (270,000 cases, 1,101 columns)
// on both paths against the closed forms. Its pivot tolerance (cases x
// columns x 1e-11 = 0.003) exceeds the mean's element 1/sqrt(N) = 0.0019 of
// each dam with one case, which the coefficients need all the same. A
// coefficient that is 0 (B in A's row of a balanced crossed design) is 0
// exactly, not rounding noise, whichever path computes it.
TEST(ExpectedMeanSquares, ClosedFormsOnBothPaths) {
    std::vector<std::vector<int>> counts(100, std::vector<int>(10));
    std::vector<Case> sires_and_dams;
    for (int i = 0; i < 100; ++i)
        for (int j = 0; j < 10; ++j) {
            const int n_ij = j == 0 ? 1 : 1 + (i * 31 + j * 17) % 600;
            counts[i][j] = n_ij;
            for (int k = 0; k < n_ij; ++k)
                sires_and_dams.push_back({{static_cast<tarvel::Level>(i + 1), static_cast<tarvel::Level>(j + 1)},
                                          {static_cast<float>((i * 7 + j * 3 + k) % 11)}});
        }
    std::vector<Case> crossed;
    for (int a = 1; a <= 7; ++a)
        for (int b = 1; b <= 5; ++b)
            for (int k = 0; k < 3; ++k)
                crossed.push_back({{a, b}, {static_cast<float>(a * 0.37 + b * b * 0.11 + k * 0.53)}});
    const struct {
        const char* name;
        tarvel::Model model;
        const std::vector<Case>& data;
        std::vector<std::vector<double>> k;
    } designs[] = {
        {"unbalanced B within A", make_model({{"A", "A"}, {"B|A", "AB"}}), sires_and_dams,
         nested_coefficients(counts)},
        {"balanced A x B, 3 per cell", make_model({{"A", "A"}, {"B", "B"}}), crossed,
         {{105.0, 15.0, 21.0}, {0.0, 15.0, 0.0}, {0.0, 0.0, 21.0}}},
    };
    for (const auto& design : designs) {
        for (const bool absorbed : {false, true}) {
            SCOPED_TRACE(std::string(design.name) + (absorbed ? ", absorbed" : ", dense"));
            const tarvel_test::Analysis an = absorbed ? tarvel_test::analyse_absorbed(design.model, design.data, 1)
                                                      : tarvel_test::analyse(design.model, design.data, 1, 64);
            for (int a = 0; a < 3; ++a)
                for (int b = 0; b < 3; ++b) {
                    const double expected = design.k[static_cast<std::size_t>(a)][static_cast<std::size_t>(b)];
                    if (expected == 0.0) EXPECT_EQ(an.ems.k(a, b), 0.0) << a << ", " << b;
                    else EXPECT_NEAR(an.ems.k(a, b), expected, 1e-10 * expected) << a << ", " << b;
                }
        }
    }
}

TEST(ExpectedMeanSquares, NoCasesGiveZerosNotNaN) {
    const tarvel::Model model = make_model({{"A", "A"}});
    tarvel::ColumnLayout layout = tarvel::setup_columns(model, std::vector<int>{1});
    tarvel::compact_columns(layout);
    tarvel::NormalEquations eq = tarvel_test::accumulate(layout, {}, 2);
    const double tau = tarvel::pivot_tolerance(eq);
    tarvel::reduce(eq, tau);
    const tarvel::ExpectedMeanSquares ems = tarvel::expected_mean_squares(layout, tarvel::factor_squares(layout, tau, eq));
    EXPECT_TRUE(ems.mean_left_out);
    EXPECT_EQ(ems.left_out_effects, std::vector<int>{0});
    const tarvel::PairAnalysis pa = tarvel::analyse_pair(tarvel::source_sums(layout, eq), tau, ems, 0, 1);
    for (const auto* v : {&pa.ss, &pa.ms, &pa.vc, &pa.sd, &pa.denominator, &pa.satterthwaite_df, &pa.f})
        for (double x : *v) EXPECT_EQ(x, 0.0);
    EXPECT_EQ(pa.accounted_percent, 0.0);
    EXPECT_EQ(pa.probability[1], -1.0);
}

}  // namespace
