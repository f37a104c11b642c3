#include "pipeline.hpp"

#include <gtest/gtest.h>

#include <limits>

namespace {

using tarvel_test::Case;
using tarvel_test::make_model;

std::vector<int> columns_of(const tarvel::ColumnLayout& layout, std::vector<tarvel::Level> levels) {
    std::vector<int> cols(static_cast<std::size_t>(layout.columns_per_case));
    const int m = tarvel::case_columns(layout, levels, cols);
    if (m < 0) return {};
    cols.resize(static_cast<std::size_t>(m));
    return cols;
}

struct LayoutCase {
    const char* name;
    tarvel::Model model;
    std::vector<std::vector<tarvel::Level>> cases;
    std::vector<std::int64_t> full_counts;
    std::vector<int> kept_counts;
    std::vector<int> first_columns;
    std::vector<tarvel::Level> probe;
    std::vector<int> probe_columns;
};

TEST(Layout, LevelCountsCompactionAndCaseColumns) {
    const LayoutCase cases[] = {
        // Largest level 3, level 2 unused: two kept columns, level 3 in the second.
        {"unused level", make_model({{"A", "A"}}), {{1}, {3}, {1}}, {3}, {2}, {1}, {3}, {0, 2}},
        // Interaction of levels 2 and 3: L = 6; (2, 1) has position 4 (1-based).
        {"interaction position",
         make_model({{"A*B", "AB"}}),
         {{1, 1}, {1, 2}, {1, 3}, {2, 1}, {2, 2}, {2, 3}},
         {6},
         {6},
         {1},
         {2, 1},
         {0, 4}},
        // A factor that only takes level 1 gives an effect without columns;
        // the later effect's block follows the mean directly.
        {"effect without columns",
         make_model({{"A", "A"}, {"B", "B"}}),
         {{1, 1}, {1, 2}, {1, 3}},
         {0, 3},
         {0, 3},
         {1, 1},
         {1, 3},
         {0, 3}},
        // Hierarchy B|A stored as (A, B): positions (a-1)*3 + b.
        {"nested",
         make_model({{"A", "A"}, {"B|A", "AB"}}),
         {{1, 1}, {1, 2}, {2, 1}, {2, 3}},
         {2, 6},
         {2, 4},
         {1, 3},
         {2, 3},
         {0, 2, 6}},
    };
    for (const LayoutCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<Case> data;
        for (const auto& l : c.cases) data.push_back({l, {0.0f}});
        const tarvel::ColumnLayout layout = tarvel_test::build_layout(c.model, data);
        for (std::size_t e = 0; e < c.full_counts.size(); ++e) {
            EXPECT_EQ(layout.effects[e].full_level_count, c.full_counts[e]);
            EXPECT_EQ(layout.effects[e].level_count, c.kept_counts[e]);
            EXPECT_EQ(layout.effects[e].first_column, c.first_columns[e]);
        }
        EXPECT_EQ(columns_of(layout, c.probe), c.probe_columns);
    }
}

TEST(Layout, LabelsAndSourcesFollowTheEffectsNotTheNames) {
    // Two effects with the same name stay two sources.
    const tarvel::Model model = make_model({{"A", "A"}, {"A", "B"}, {"C", "C"}});
    const std::vector<Case> data = {{{1, 1, 1}, {0}}, {{2, 2, 1}, {0}}, {{2, 1, 1}, {0}}};
    const tarvel::ColumnLayout layout = tarvel_test::build_layout(model, data);
    EXPECT_EQ(layout.p, 5);
    EXPECT_EQ(layout.labels, (std::vector<std::string>{"Mean", "A", "A", "A", "A"}));
    EXPECT_EQ(layout.column_source, (std::vector<int>{0, 1, 1, 2, 2}));
    EXPECT_EQ(layout.source_names, (std::vector<std::string>{"Mean", "A", "A", "C"}));
    EXPECT_EQ(layout.columns_per_case, 3);
}

TEST(Layout, HugePositionSpacesAreMappedSparsely) {
    // Four factors of 32767 levels: L = 32767^4 (about 1.15e18) positions,
    // far beyond memory; only the used ones get columns.
    const tarvel::Model model = make_model({{"A", "A"}, {"A*B*C*D", "ABCD"}});
    const std::vector<Case> data = {
        {{1, 1, 1, 1}, {0}}, {{32767, 32767, 32767, 32767}, {0}}, {{2, 5, 32767, 3}, {0}}, {{1, 1, 1, 1}, {0}}};
    const tarvel::ColumnLayout layout = tarvel_test::build_layout(model, data);
    const auto& ec = layout.effects[1];
    EXPECT_FALSE(ec.dense);
    EXPECT_TRUE(layout.effects[0].dense);
    EXPECT_EQ(ec.full_level_count, 32767LL * 32767 * 32767 * 32767);
    EXPECT_EQ(ec.level_count, 3);
    EXPECT_EQ(layout.p, 1 + 3 + 3);
    // Kept positions in position order: (1,1,1,1) < (2,5,32767,3) < (32767,...).
    EXPECT_EQ(columns_of(layout, {1, 1, 1, 1}), (std::vector<int>{0, 1, 4}));
    EXPECT_EQ(columns_of(layout, {2, 5, 32767, 3}), (std::vector<int>{0, 2, 5}));
    EXPECT_EQ(columns_of(layout, {32767, 32767, 32767, 32767}), (std::vector<int>{0, 3, 6}));
    // A combination the first pass never saw does not fit.
    EXPECT_TRUE(columns_of(layout, {1, 1, 1, 2}).empty());
}

TEST(Layout, InputErrors) {
    struct ErrorCase {
        const char* name;
        tarvel::Model model;
        std::vector<int> largest;
        std::string error;
    };
    const ErrorCase cases[] = {
        {"level count over 64 bits",
         make_model({{"A", "A"}, {"A*B*C*D*E", "ABCDE"}}),
         {32767, 32767, 32767, 32767, 32767},
         "Effect A*B*C*D*E has more level combinations than can be counted (over 2**63)!"},
        {"factor the cases do not hold", make_model({{"C", "C"}}), {3, 3}, "Effect C uses a factor that the cases do not hold!"},
        {"just fits", make_model({{"A*B*C*D", "ABCD"}}), {32767, 32767, 32767, 32767}, ""},
    };
    for (const ErrorCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(tarvel::setup_columns(c.model, c.largest).error, c.error);
    }
}

TEST(Layout, CasesOutsideTheLargestLevelsAreRefused) {
    const tarvel::Model model = make_model({{"A", "A"}, {"B", "B"}});
    tarvel::ColumnLayout layout = tarvel::setup_columns(model, std::vector<int>{2, 3});
    const std::vector<std::vector<tarvel::Level>> bad = {{3, 1}, {0, 1}, {1, -2}, {1}};
    for (const auto& levels : bad) EXPECT_FALSE(tarvel::mark_used_columns(layout, levels));
    EXPECT_TRUE(tarvel::mark_used_columns(layout, std::vector<tarvel::Level>{2, 3}));
    tarvel::compact_columns(layout);
    EXPECT_EQ(layout.p, 3);  // only the good case was marked
    for (const auto& levels : bad) EXPECT_TRUE(columns_of(layout, levels).empty());
    EXPECT_TRUE(columns_of(layout, {1, 3}).empty());  // not seen by the first pass
    EXPECT_EQ(columns_of(layout, {2, 3}), (std::vector<int>{0, 1, 2}));
}

}  // namespace
