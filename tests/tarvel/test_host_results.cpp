#include "pipeline.hpp"

#include "common/freeform.hpp"
#include "tarvel/host_results.hpp"
#include "../common/temp_dir.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using tarvel::OutputSwitches;
using tarvel_test::Case;

constexpr double untouched = 12345.0;

// Values (k, a, b) = 100k + 10a + b for a <= b, mirrored below the diagonal.
tarvel::TraitTable coded_table(int rows, int t) {
    tarvel::TraitTable table;
    table.rows = rows;
    table.t = t;
    table.values.assign(static_cast<std::size_t>(rows * t * t), 0.0f);
    for (int k = 0; k < rows; ++k)
        for (int a = 0; a < t; ++a)
            for (int b = a; b < t; ++b) table(k, a, b) = table(k, b, a) = static_cast<float>(100 * k + 10 * a + b);
    return table;
}

TEST(HostResults, EmsBlockRowByRowWithinCapacity) {
    tarvel::ExpectedMeanSquares ems;
    ems.n = 3;
    ems.k = tk::Matrix(5, 5);
    for (int r = 0; r < 5; ++r)
        for (int c = r; c < 5; ++c) ems.k(r, c) = 10 * r + c;
    std::vector<double> host(11, untouched);
    tarvel::store_host_ems(ems, host);
    EXPECT_EQ(host, (std::vector<double>{11, 12, 13, 0, 22, 23, 0, 0, 33, untouched, untouched}));
    std::vector<double> small(4, untouched);
    tarvel::store_host_ems(ems, small);
    EXPECT_EQ(small, (std::vector<double>{11, 12, 13, 0}));
}

TEST(HostResults, MatricesInSourceThenTraitOrder) {
    const struct {
        int t;
        std::vector<int> left_out;
        std::vector<double> ss;  // the upper halves, row after row, per source
        std::vector<double> vc;
    } cases[] = {
        {1, {}, {0, 100, 200}, {0, 100, 200}},
        {2, {}, {0, 1, 11, 100, 101, 111, 200, 201, 211}, {0, 1, 11, 100, 101, 111, 200, 201, 211}},
        {2, {1}, {0, 1, 11, 100, 101, 111, 200, 201, 211}, {0, 1, 11, -9e30, -9e30, -9e30, 200, 201, 211}},
        {3, {0}, {0, 1, 2, 11, 12, 22, 100, 101, 102, 111, 112, 122, 200, 201, 202, 211, 212, 222},
         {-9e30, -9e30, -9e30, -9e30, -9e30, -9e30, 100, 101, 102, 111, 112, 122, 200, 201, 202, 211, 212, 222}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "t = " << c.t);
        tarvel::TraitTables tables;
        tables.sums_of_squares = coded_table(3, c.t);
        tables.variance = coded_table(3, c.t);
        tarvel::store_correlations(tables);  // the host reads the covariance half
        tarvel::ExpectedMeanSquares ems;
        ems.n = 2;
        ems.left_out_effects = c.left_out;
        std::vector<double> ss(c.ss.size() + 1, untouched), vc(c.vc.size() + 1, untouched);
        tarvel::store_host_matrices(tables, ems, ss, vc);
        EXPECT_EQ(std::vector<double>(ss.begin(), ss.end() - 1), c.ss);
        EXPECT_EQ(std::vector<double>(vc.begin(), vc.end() - 1), c.vc);
        EXPECT_EQ(ss.back(), untouched);
        EXPECT_EQ(vc.back(), untouched);
        std::vector<double> short_ss(2, untouched);
        tarvel::store_host_matrices(tables, ems, short_ss, {});
        EXPECT_EQ(short_ss, std::vector<double>(c.ss.begin(), c.ss.begin() + 2));
    }
}

// The balanced one-way layout of the listing test (3 levels x 3 cases).
TEST(HostResults, OneWayRunWithoutListing) {
    const std::vector<float> weight{2, 4, 6, 5, 7, 12, 9, 12, 15};
    const std::vector<float> length{1, 3, 2, 2, 6, 4, 3, 5, 10};
    std::vector<Case> cases;
    for (std::size_t k = 0; k < weight.size(); ++k)
        cases.push_back({{static_cast<tarvel::Level>(k / 3 + 1)}, {weight[k], length[k]}});
    const auto an = tarvel_test::analyse(tarvel_test::make_model({{"A", "A"}}), cases, 2);
    const OutputSwitches forced{.ms = true, .ss = true, .vc = true, .cr = true, .kirv = false};
    const tarvel::TraitTables tables = tarvel::build_trait_tables(1, 2, an.pairs, forced);

    std::vector<double> df(3, untouched), ss(6, untouched), ems(1, untouched), vc(6, untouched);
    tk_test::TempDir dir;
    {
        tk::TextWriter tests;
        ASSERT_TRUE(tests.open(dir.file("tanv~tm2.$$$")));
        tarvel::write_host_results(tests, an.ems, an.pairs, tables, df, ss, ems, vc);
        ASSERT_TRUE(tests.close());
    }
    EXPECT_EQ(df, (std::vector<double>{2, 6, untouched}));
    EXPECT_NEAR(ems[0], 3.0, 1e-12);  // r cases per level
    const double textbook_ss[] = {96, 48, 24, 52, 27, 36};
    const double textbook_vc[] = {(48 - 52.0 / 6) / 3, 6.5, 2, 52.0 / 6, 4.5, 6};
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_NEAR(ss[i], textbook_ss[i], 1e-5) << i;
        EXPECT_NEAR(vc[i], textbook_vc[i], 1e-5) << i;
    }
    // One record per pair (one effect): F = MS(A)/MS(E), nu = N - a, the
    // upper tail of F(2, 6) = (6 / (6 + 2F))^3.
    tk::TextReader in;
    ASSERT_TRUE(in.open(dir.file("tanv~tm2.$$$")));
    for (double f : {48 / (52.0 / 6), 24 / 4.5, 2.0}) {
        double rf = 0, nu = 0, p = 0;
        ASSERT_TRUE(tk::read_list(in, {rf, nu, p}).ok());
        EXPECT_NEAR(rf, f, 1e-10);
        EXPECT_EQ(nu, 6.0);
        EXPECT_NEAR(p, std::pow(6 / (6 + 2 * f), 3), 1e-10);
    }
    std::string rest;
    EXPECT_FALSE(in.read_record(rest));
}

TEST(HostResults, TestRecordsRoundTripAndMarkMissingTests) {
    tarvel::PairAnalysis pair;
    pair.df = {1, 3, 2, 10};
    pair.f = {0, 1.0 / 3, 7.25, 0};
    pair.satterthwaite_df = {0, 10.0 / 7, 0.25, 0};
    pair.nd = {0, 1, 0, 0};
    pair.probability = {-1, 0.123456789012345, -1, -1};
    tk_test::TempDir dir;
    {
        tk::TextWriter out;
        ASSERT_TRUE(out.open(dir.file("tests")));
        tarvel::write_test_records(out, pair);
        ASSERT_TRUE(out.close());
    }
    tk::TextReader in;
    ASSERT_TRUE(in.open(dir.file("tests")));
    const double expected[2][3] = {{1.0 / 3, 10.0 / 7, 0.123456789012345}, {7.25, 0.25, -1.0}};
    for (const auto& row : expected) {
        double v[3] = {};
        ASSERT_TRUE(tk::read_list(in, {v[0], v[1], v[2]}).ok());
        for (int i = 0; i < 3; ++i) EXPECT_EQ(v[i], row[i]);  // full precision
    }
    std::vector<double> df(2, untouched);
    tarvel::store_host_degrees_of_freedom(pair, df);  // capacity below n + 1: nothing past it
    EXPECT_EQ(df, (std::vector<double>{3, 2}));
}

}  // namespace
