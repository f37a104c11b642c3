#include "pipeline.hpp"

#include "tarvel/trait_tables.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using tarvel::OutputSwitches;
using tarvel_test::Case;

TEST(TraitTables, SwitchesDecideWhichTablesAreKept) {
    const struct {
        OutputSwitches switches;
        bool variance, sums, means;
    } cases[] = {
        {{.ms = false, .ss = false, .vc = true, .cr = false, .kirv = false}, true, false, false},
        {{.ms = false, .ss = false, .vc = false, .cr = true, .kirv = false}, true, false, false},
        {{.ms = false, .ss = true, .vc = false, .cr = false, .kirv = false}, false, true, false},
        {{.ms = false, .ss = false, .vc = false, .cr = false, .kirv = true}, false, true, false},
        {{.ms = true, .ss = false, .vc = false, .cr = false, .kirv = false}, false, false, true},
        {{}, false, false, false},
    };
    for (const auto& c : cases) {
        const tarvel::TraitTables tables = tarvel::make_trait_tables(4, 3, c.switches);
        EXPECT_EQ(tables.variance.kept(), c.variance);
        EXPECT_EQ(tables.sums_of_squares.kept(), c.sums);
        EXPECT_EQ(tables.mean_squares.kept(), c.means);
        for (const tarvel::TraitTable* t : {&tables.variance, &tables.sums_of_squares, &tables.mean_squares})
            EXPECT_EQ(t->values.size(), t->kept() ? 5u * 3u * 3u : 0u);
    }
}

TEST(TraitTables, EveryPairFillsBothOrdersOfEffectsAndResidual) {
    // Two effects, three traits; row k of a table is source k + 1 of a pair.
    std::vector<Case> cases;
    for (int k = 0; k < 24; ++k)
        cases.push_back({{static_cast<tarvel::Level>(k % 3 + 1), static_cast<tarvel::Level>(k % 4 + 1)},
                         {static_cast<float>(k % 5), static_cast<float>(k * k % 7), static_cast<float>(k % 3 * 2 + k % 2)}});
    const auto an = tarvel_test::analyse(tarvel_test::make_model({{"A", "A"}, {"B", "B"}}), cases, 3);
    const OutputSwitches all{.ms = true, .ss = true, .vc = true, .cr = false, .kirv = false};
    tarvel::TraitTables tables = tarvel::make_trait_tables(2, 3, all);
    for (const auto& pair : an.pairs) tarvel::store_pair(pair, tables);
    for (const auto& pair : an.pairs)
        for (int k = 0; k < 3; ++k) {
            const auto src = static_cast<std::size_t>(k + 1);
            for (const auto& [a, b] : {std::pair{pair.s, pair.u}, std::pair{pair.u, pair.s}}) {
                EXPECT_EQ(tables.variance(k, a, b), static_cast<float>(pair.vc[src]));
                EXPECT_EQ(tables.sums_of_squares(k, a, b), static_cast<float>(pair.ss[src]));
                EXPECT_EQ(tables.mean_squares(k, a, b), static_cast<float>(pair.ms[src]));
            }
        }
    // Column-major with the source row first.
    EXPECT_EQ(&tables.sums_of_squares(2, 1, 2) - tables.sums_of_squares.values.data(), 2 + 3 * (1 + 3 * 2));
}

TEST(TraitTables, CorrelationsAndMarkers) {
    const struct {
        float var_a, var_b, cov;
        float expected;  // the marker when not computable
    } cases[] = {
        {4.0f, 9.0f, 3.0f, 0.5f},
        {4.0f, 9.0f, -6.0f, -1.0f},
        {1.0f, 1.0f, 1.5f, 1.5f},  // not limited to [-1, 1]
        {0.0f, 9.0f, 1.0f, tarvel::not_computable},
        {4.0f, -1.0f, 1.0f, tarvel::not_computable},
        {-4.0f, -1.0f, 1.0f, tarvel::not_computable},
    };
    for (const auto& c : cases) {
        tarvel::TraitTables tables = tarvel::make_trait_tables(0, 2, {.vc = true});
        tarvel::TraitTable& v = tables.variance;
        v(0, 0, 0) = c.var_a;
        v(0, 1, 1) = c.var_b;
        v(0, 0, 1) = v(0, 1, 0) = c.cov;
        tarvel::store_correlations(tables);
        EXPECT_FLOAT_EQ(v(0, 1, 0), c.expected);
        EXPECT_EQ(v(0, 0, 1), c.cov);  // the covariance half stays
        EXPECT_EQ(v(0, 0, 0), c.var_a);
        EXPECT_EQ(tables.marker_flag, c.expected == tarvel::not_computable ? -1 : 0);
    }
    EXPECT_EQ(static_cast<double>(tarvel::not_computable), static_cast<double>(-9.0E30f));
}

TEST(TraitTables, WithoutTheVarianceTableNoCorrelationIsMade) {
    tarvel::TraitTables tables = tarvel::make_trait_tables(1, 2, {.ms = true});
    tables.marker_flag = -1;
    tarvel::store_correlations(tables);
    EXPECT_EQ(tables.marker_flag, 0);
    EXPECT_FALSE(tables.variance.kept());
}

}  // namespace
