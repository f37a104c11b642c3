#include "pipeline.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <random>

namespace {

using tarvel_test::Case;
using tarvel_test::make_model;

TEST(Accumulation, SumsOfOneCaseAtATime) {
    // Model A + B, A with 2 levels, B with 3; traits 2.5 and 0.1 in 4-byte reals.
    const tarvel::Model model = make_model({{"A", "A"}, {"B", "B"}});
    const std::vector<Case> data = {{{1, 1}, {2.5f, 0.1f}}, {{2, 3}, {1.0f, -2.0f}}, {{2, 1}, {4.0f, 0.5f}}};
    const tarvel::ColumnLayout layout = tarvel_test::build_layout(model, data);
    ASSERT_EQ(layout.p, 5);  // mean, A1, A2, B1, B3
    const tarvel::NormalEquations eq = tarvel_test::accumulate(layout, data, 2);
    EXPECT_EQ(eq.cases, 3);
    const double expected_xx[5][5] = {
        {3, 1, 2, 2, 1}, {0, 1, 0, 1, 0}, {0, 0, 2, 1, 1}, {0, 0, 0, 2, 0}, {0, 0, 0, 0, 1}};
    for (int i = 0; i < 5; ++i)
        for (int j = i; j < 5; ++j) EXPECT_EQ(eq.xx(i, j), expected_xx[i][j]) << i << "," << j;
    const double y1 = 0.1f;  // the 4-byte value, widened
    const double expected_xy[5][2] = {
        {7.5, y1 - 1.5}, {2.5, y1}, {5.0, -1.5}, {6.5, y1 + 0.5}, {1.0, -2.0}};
    for (int i = 0; i < 5; ++i)
        for (int s = 0; s < 2; ++s) EXPECT_EQ(eq.xy(i, s), expected_xy[i][s]) << i << "," << s;
    EXPECT_EQ(eq.yy, (std::vector<double>{2.5 * 2.5 + 1 + 16, 2.5 * y1 - 2 + 2, y1 * y1 + 4 + 0.25}));
    EXPECT_DOUBLE_EQ(tarvel::pivot_tolerance(eq), 3 * 5 * 1e-11);
}

TEST(Accumulation, TraitCountZeroIsOneAndCasesThatDoNotFitAreRefused) {
    const tarvel::Model model = make_model({{"A", "A"}});
    const std::vector<Case> data = {{{1}, {}}, {{2}, {}}};
    const tarvel::ColumnLayout layout = tarvel_test::build_layout(model, data);
    tarvel::Accumulator acc = tarvel::start_accumulation(layout, 0);
    EXPECT_EQ(acc.eq.t, 1);
    EXPECT_TRUE(tarvel::accumulate_case(layout, data[0].levels, data[0].y, acc));
    EXPECT_FALSE(tarvel::accumulate_case(layout, std::vector<tarvel::Level>{3}, std::vector<float>{1.0f}, acc));
    const tarvel::NormalEquations eq = tarvel::finish_accumulation(std::move(acc));
    EXPECT_EQ(eq.cases, 1);
    EXPECT_EQ(eq.xy(0, 0), 0.0);
    EXPECT_EQ(eq.yy, std::vector<double>{0.0});
}

// Random cases of a design with dependent columns: A, B, A*B (aliased with
// A and B in part), C, a copy of A under another factor letter (all its
// columns rejected) and a factor taking one level where A is 1 only.
std::vector<Case> dependent_design(int cases, unsigned seed) {
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> a(1, 7), b(1, 5), c(1, 13);
    std::normal_distribution<float> y(10.0f, 3.0f);
    std::vector<Case> data;
    for (int k = 0; k < cases; ++k) {
        const auto la = static_cast<tarvel::Level>(a(rng));
        const auto lb = static_cast<tarvel::Level>(b(rng));
        const auto lc = static_cast<tarvel::Level>(c(rng));
        const tarvel::Level ld = la;               // D duplicates A
        const tarvel::Level le = la == 1 ? 2 : 1;  // E is a function of A
        data.push_back({{la, lb, lc, ld, le}, {y(rng), y(rng) + la, y(rng) * lb}});
    }
    return data;
}

const tarvel::Model dependent_model = make_model(
    {{"A", "A"}, {"B", "B"}, {"A*B", "AB"}, {"D", "D"}, {"C", "C"}, {"E", "E"}, {"C*B", "CB"}});

TEST(Reduction, BlockedEqualsPlainWhateverTheBlockWidth) {
    const std::vector<Case> data = dependent_design(400, 7);
    tarvel_test::Analysis plain = tarvel_test::analyse(dependent_model, data, 3, 0);
    const int p = plain.eq.p;
    int rejected = 0;
    for (int i = 0; i < p; ++i) rejected += !tarvel::is_accepted(plain.eq, plain.tau, i);
    ASSERT_GT(rejected, 10);  // the design does have dependent columns
    // D (a copy of A) and E lose all their columns.
    EXPECT_EQ(plain.ems.left_out_effects, (std::vector<int>{3, 5}));

    for (int width : {1, 2, 3, 5, 7, 16, 64, 1000}) {
        SCOPED_TRACE(width);
        tarvel::NormalEquations blocked = tarvel_test::accumulate(plain.layout, data, 3, width);
        tarvel::reduce(blocked, plain.tau);
        for (int i = 0; i < p; ++i) {
            ASSERT_EQ(tarvel::is_accepted(blocked, plain.tau, i), tarvel::is_accepted(plain.eq, plain.tau, i)) << i;
            EXPECT_NEAR(blocked.xx(i, i), plain.eq.xx(i, i), 1e-9 * (1 + std::fabs(plain.eq.xx(i, i))));
            for (int s = 0; s < 3; ++s) EXPECT_NEAR(blocked.xy(i, s), plain.eq.xy(i, s), 1e-8) << i;
            if (!tarvel::is_accepted(plain.eq, plain.tau, i)) continue;
            for (int j = i + 1; j < p; ++j) ASSERT_NEAR(blocked.xx(i, j), plain.eq.xx(i, j), 1e-9) << i << "," << j;
        }
    }
}

TEST(Reduction, DependentColumnInsideAPanelIsRejectedAndReducesNothing) {
    // Columns: mean, A1, A2 (A1 + A2 = mean, so A2 is rejected), B1 ... B3.
    // With a block covering all rows the rejection happens inside it.
    const tarvel::Model model = make_model({{"A", "A"}, {"B", "B"}});
    std::vector<Case> data;
    for (int k = 0; k < 12; ++k)
        data.push_back({{static_cast<tarvel::Level>(1 + k % 2), static_cast<tarvel::Level>(1 + k % 3)},
                        {static_cast<float>(k * k % 7), static_cast<float>(k)}});
    tarvel_test::Analysis plain = tarvel_test::analyse(model, data, 2, 0);
    tarvel_test::Analysis blocked = tarvel_test::analyse(model, data, 2, 6);
    const std::vector<bool> accepted = {true, true, false, true, true, false};
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(tarvel::is_accepted(plain.eq, plain.tau, i), accepted[static_cast<std::size_t>(i)]) << i;
        EXPECT_EQ(tarvel::is_accepted(blocked.eq, blocked.tau, i), accepted[static_cast<std::size_t>(i)]) << i;
        EXPECT_NEAR(blocked.eq.xx(i, i), plain.eq.xx(i, i), 1e-12);
        for (int s = 0; s < 2; ++s) EXPECT_NEAR(blocked.eq.xy(i, s), plain.eq.xy(i, s), 1e-12);
    }
    EXPECT_EQ(plain.eq.xy(2, 0), 0.0);
    EXPECT_EQ(plain.eq.xy(5, 1), 0.0);
    EXPECT_EQ(blocked.eq.xy(2, 0), 0.0);
    EXPECT_EQ(plain.ems.df, (std::vector<int>{1, 1, 2}));
    // The row of a rejected column keeps its updated values, unscaled, in both forms.
    for (int j = 3; j < 6; ++j) EXPECT_NEAR(blocked.eq.xx(2, j), plain.eq.xx(2, j), 1e-12);
}

TEST(Reduction, FactorReproducesTheEquations) {
    // Full-rank part: for accepted columns, sum over accepted rows k of
    // R(k,i) R(k,j) gives back X'X(i,j), and the reductions solve R' r = X'Y.
    const std::vector<Case> data = dependent_design(300, 11);
    const tarvel::ColumnLayout layout = tarvel_test::build_layout(dependent_model, data);
    const tarvel::NormalEquations original = tarvel_test::accumulate(layout, data, 3);
    tarvel::NormalEquations eq = original;
    const double tau = tarvel::pivot_tolerance(eq);
    tarvel::reduce(eq, tau);
    const int p = eq.p;
    auto r = [&](int k, int j) { return k == j ? std::sqrt(eq.xx(k, k)) : eq.xx(k, j); };
    for (int i = 0; i < p; ++i) {
        if (!tarvel::is_accepted(eq, tau, i)) continue;
        for (int j = i; j < p; ++j) {
            if (!tarvel::is_accepted(eq, tau, j)) continue;
            double sum = 0.0;
            for (int k = 0; k <= i; ++k)
                if (tarvel::is_accepted(eq, tau, k)) sum += r(k, i) * r(k, j);
            ASSERT_NEAR(sum, original.xx(i, j), 1e-9 * (1 + original.xx(0, 0))) << i << "," << j;
        }
        for (int s = 0; s < 3; ++s) {
            double sum = 0.0;
            for (int k = 0; k <= i; ++k)
                if (tarvel::is_accepted(eq, tau, k)) sum += r(k, i) * eq.xy(k, s);
            ASSERT_NEAR(sum, original.xy(i, s), 1e-7 * (1 + std::fabs(original.xy(i, s)))) << i;
        }
    }
}

TEST(Reduction, ToleranceAndTheMeanAliasOfASingleUsedLevel) {
    // Every case at level 3 of a factor with largest level 3: one kept column
    // equal to the mean column; it is rejected and its reduction is 0.
    const tarvel::Model model = make_model({{"A", "A"}, {"B", "B"}});
    std::vector<Case> data;
    for (int k = 0; k < 10; ++k) data.push_back({{3, static_cast<tarvel::Level>(1 + k % 2)}, {static_cast<float>(k)}});
    tarvel_test::Analysis a = tarvel_test::analyse(model, data, 1, 0);
    EXPECT_EQ(a.layout.effects[0].level_count, 1);
    EXPECT_FALSE(tarvel::is_accepted(a.eq, a.tau, 1));
    EXPECT_EQ(a.pairs[0].df[1], 0);
    EXPECT_EQ(a.pairs[0].ss[1], 0.0);
    EXPECT_DOUBLE_EQ(a.tau, 10 * 4 * 1e-11);
}

}  // namespace
