#include "listing_support.hpp"
#include "pipeline.hpp"

#include "common/tokenizer.hpp"
#include "tarvel/listing.hpp"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using tarvel_test::Case;
using tarvel_test::listing_records;
using tarvel_test::make_model;

std::size_t count_of(const std::string& text, char c) { return static_cast<std::size_t>(std::count(text.begin(), text.end(), c)); }

std::vector<std::string> read_lines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// The index of the first record equal to text at or after from, or -1.
int find_record(const std::vector<std::string>& records, const std::string& text, std::size_t from = 0) {
    for (std::size_t i = from; i < records.size(); ++i)
        if (records[i] == text) return static_cast<int>(i);
    return -1;
}

// ------------------------------------------------------------ a complete run

// Balanced one-way layout: factor A with 3 levels, 3 cases each, two traits.
//   Weight: 2 4 6 | 5 7 12 | 9 12 15    level means 4, 8, 12; grand mean 8
//   Length: 1 3 2 | 2 6 4  | 3 5 10     level means 2, 4, 6;  grand mean 4
// The expected listing was worked out by hand from the textbook one-way
// formulas, not from this program:
//   SS(mean) = N·ȳ·ȳ': 576, 288, 144;  SS(A) = r·Σ(ȳi−ȳ)(ȳ'i−ȳ'): 96, 48, 24;
//   SS(E) = Σ within-level cross products: 52, 27, 36; total corrected 148, 75, 60.
//   E(MS): mean = σ²e + 3σ²A + 9σ²mean, A = σ²e + 3σ²A (Σc²/N = 3, k = r = 3).
//   Components: σ²e = MSE; σ²A = (MSA − MSE)/3; σ²mean = (MS(mean) − MSA)/9.
//   SD = √(2·Σ (c·MS)²/(df + 2)) over the mean squares in each estimate.
//   F(A) = |MSA/MSE| with ν = N − a = 6; upper tail of F(2, 6) = (6/(6 + 2F))³.
//   Summary: 4 columns (the mean included), 3 degrees of freedom; SS(A)/total.
//   Correlations: σA(1,2)/√(σ²A(1)·σ²A(2)) = 6.5/√(13.111·2) = 1.2693 (not
//   limited to 1), error 4.5/√(8.667·6) = 0.6240.
TEST(AnalysisListing, OneWayTwoTraitsMatchesHandWorkedListing) {
    const std::vector<float> weight{2, 4, 6, 5, 7, 12, 9, 12, 15};
    const std::vector<float> length{1, 3, 2, 2, 6, 4, 3, 5, 10};
    std::vector<Case> cases;
    for (std::size_t k = 0; k < weight.size(); ++k)
        cases.push_back({{static_cast<tarvel::Level>(k / 3 + 1)}, {weight[k], length[k]}});
    const tarvel_test::Analysis an = tarvel_test::analyse(make_model({{"A", "A"}}), cases, 2);

    tarvel::RunHeader header;
    header.largest_level = {3};
    header.trait_count = 2;
    header.trait_names = {"Weight", "Length"};
    header.cases_accepted = 9;
    header.cases_skipped = 1;
    const tarvel::OutputSwitches switches{.ms = true, .ss = true, .vc = true, .cr = true, .kirv = false};
    const tarvel::TraitTables tables = tarvel::build_trait_tables(an.ems.n, 2, an.pairs, switches);

    const auto records = listing_records([&](tk::TextWriter& out) {
        tarvel::write_analysis_listing(out, header, an.layout, an.ems, an.pairs, tables, switches);
    });
    const auto expected = read_lines(std::string(TK_SOURCE_DIR) + "/tests/tarvel/expected/one_way_two_traits_listing.txt");
    ASSERT_FALSE(expected.empty());
    for (std::size_t i = 0; i < std::max(records.size(), expected.size()); ++i) {
        SCOPED_TRACE(testing::Message() << "listing line " << i + 1);
        ASSERT_LT(i, records.size()) << "missing: [" << expected[i] << "]";
        ASSERT_LT(i, expected.size()) << "extra: [" << records[i] << "]";
        EXPECT_EQ(records[i], expected[i]);
    }
}

// ------------------------------------------------------------ run header

TEST(RunHeader, FactorLettersAndLevels) {
    std::vector<int> largest(26);
    for (int g = 0; g < 26; ++g) largest[static_cast<std::size_t>(g)] = g + 2;
    const auto records = listing_records([&](tk::TextWriter& out) { tarvel::write_run_header_start(out, largest, 0); });
    ASSERT_EQ(records.size(), 12u + 26u + 4u);
    const std::string lead(21, ' ');
    const struct {
        int factor;  // 1-based, as shown
        std::string line;
    } cases[] = {
        {1, lead + " Maximal Level of Factor A            =    2"},
        {14, lead + " Maximal Level of Factor N            =   15"},
        {26, lead + " Maximal Level of Factor Z            =   27"},
    };
    for (const auto& c : cases) EXPECT_EQ(records[static_cast<std::size_t>(11 + c.factor)], c.line);
    // The number of traits is shown as handed over, even 0.
    EXPECT_EQ(records[38], "");
    EXPECT_EQ(records[39], lead + " Number of Traits                     =    0");
    EXPECT_EQ(records[41], lead + " Effects Accounted for Are : ");
}

// A count too wide for its field widens that field only (a blank, then its
// digits) instead of printing asterisks; a count that fits keeps its layout.
TEST(RunHeader, CountsTooWideForTheirFieldWiden) {
    const std::string lead(22, ' ');
    const struct {
        std::int64_t accepted, skipped;
        std::string line;
    } cases[] = {
        {999999, 0, lead + "Numbers of Cases Accepted = 999999                Numbers of Cases Skipped  =      0"},
        {1000000, 0, lead + "Numbers of Cases Accepted =  1000000              Numbers of Cases Skipped  =      0"},
        {2147483647, 1234567, lead + "Numbers of Cases Accepted =  2147483647           Numbers of Cases Skipped  =  1234567"},
    };
    const tarvel::ColumnLayout layout = tarvel_test::build_layout(make_model({{"A", "A"}}), {{{1}, {1.0f}}, {{2}, {2.0f}}});
    for (const auto& c : cases) {
        const auto records = listing_records(
            [&](tk::TextWriter& out) { tarvel::write_run_header_end(out, layout, {}, c.accepted, c.skipped); });
        EXPECT_NE(std::find(records.begin(), records.end(), c.line), records.end()) << c.accepted;
    }
    const std::vector<int> largest{9999, 40000};
    const auto levels = listing_records([&](tk::TextWriter& out) { tarvel::write_run_header_start(out, largest, 1); });
    EXPECT_EQ(levels[12], std::string(21, ' ') + " Maximal Level of Factor A            = 9999");
    EXPECT_EQ(levels[13], std::string(21, ' ') + " Maximal Level of Factor B            =  40000");
}

TEST(RunHeader, BannerFrameIs110Columns) {
    const auto records = listing_records([](tk::TextWriter& out) { tarvel::write_banner(out); });
    ASSERT_EQ(records.size(), 12u);
    for (std::size_t i = 0; i < 9; ++i) {
        EXPECT_EQ(records[i].size(), 110u) << i;
        EXPECT_EQ(records[i].substr(0, 19), std::string(18, ' ') + "*") << i;
        EXPECT_EQ(records[i].substr(108), "* ") << i;
    }
    EXPECT_EQ(count_of(records[0], '*'), 46u);
    EXPECT_EQ(records[6].substr(19, 36), std::string(36, ' '));
    EXPECT_EQ(records[6].substr(55, 17), "VORNA version 1.0");
    for (std::size_t i = 9; i < 12; ++i) EXPECT_EQ(records[i], " ");
}

std::string asterisk_rule() {
    std::string rule;
    for (int i = 0; i < 64; ++i) rule += " *";
    return rule;
}

TEST(RunHeader, EffectWithoutColumnsIsNotListed) {
    // B only ever takes level 1: it gets no columns. AC is a product effect.
    std::vector<Case> cases;
    for (int a = 1; a <= 2; ++a)
        for (int c = 1; c <= 3; ++c)
            cases.push_back({{static_cast<tarvel::Level>(a), 1, static_cast<tarvel::Level>(c)}, {static_cast<float>(a + c)}});
    const tarvel::ColumnLayout layout =
        tarvel_test::build_layout(make_model({{"A", "A"}, {"B", "B"}, {"AC", "AC"}}), cases);
    const std::vector<std::string> traits{"Yield", "Protein percent"};
    const auto records = listing_records(
        [&](tk::TextWriter& out) { tarvel::write_run_header_end(out, layout, traits, 6, 12345); });
    const std::string at62(61, ' ');
    const std::vector<std::string> expected{
        at62 + "Mean                ",
        at62 + "A                   ",
        at62 + "AC                  ",
        "",
        std::string(21, ' ') + " Traits Analyzed Are :                  Yield           ",
        at62 + "Protein percent ",
        " ",
        std::string(22, ' ') + "Numbers of Cases Accepted =      6                Numbers of Cases Skipped  =  12345",
        "",
        asterisk_rule(),
    };
    EXPECT_EQ(records, expected);
}

// ------------------------------------------------------------ expected mean squares

tarvel::ExpectedMeanSquares ems_with(int n) {
    tarvel::ExpectedMeanSquares ems;
    ems.n = n;
    for (int a = 0; a <= n; ++a) {
        tarvel::EmsRow row;
        row.label = a == 0 ? std::string("Mean") : std::string(1, 'E') + static_cast<char>('0' + a);
        row.df = a + 1;
        for (int b = n; b >= 0; --b) row.w.push_back(b >= a ? 1.5 + b : 0.0);
        ems.rows.push_back(row);
    }
    return ems;
}

TEST(EmsTable, SevenEffectsWrapAfterSixValues) {
    const auto records = listing_records([](tk::TextWriter& out) { tarvel::write_ems_table(out, ems_with(7)); });
    ASSERT_EQ(records.size(), 5u + 2u + 1u + 8u * 2u);
    EXPECT_EQ(records[2], " Expectations of Mean Squares and Mean Products");
    // Header: the last effect first, six names, then "Mean" and one more under the first.
    EXPECT_EQ(records[5], " Source                    df       E7              E6              E5              E4          "
                          "    E3              E2              ");
    EXPECT_EQ(records[6], std::string(36, ' ') + "E1              Mean            ");
    EXPECT_EQ(records[7], "  ");
    // Mean row: all eight coefficients, six then two under the first value.
    EXPECT_EQ(records[8], "  Mean                      1       8.5000000       7.5000000       6.5000000       5.5000000   "
                          "    4.5000000       3.5000000    ");
    EXPECT_EQ(records[9], std::string(33, ' ') + "   2.5000000       1.5000000    ");
    // Last effect: its own coefficient, then zeros for the earlier sources.
    EXPECT_EQ(records[22], "  E7                        8       8.5000000       0.0000000       0.0000000       0.0000000   "
                           "    0.0000000       0.0000000    ");
    EXPECT_EQ(records[23], std::string(33, ' ') + "   0.0000000       0.0000000    ");
}

TEST(EmsTable, LeftOutEffectsGetANoteEach) {
    // B repeats A's levels (all its columns rejected); C has one level only.
    std::vector<Case> cases;
    for (int k = 0; k < 9; ++k) {
        const auto a = static_cast<tarvel::Level>(k % 3 + 1);
        cases.push_back({{a, a, 1}, {static_cast<float>(k * k % 7)}});
    }
    const tarvel_test::Analysis an =
        tarvel_test::analyse(make_model({{"A", "A"}, {"B|A", "B"}, {"C", "C"}}), cases, 1);
    ASSERT_EQ(an.ems.left_out_effects, (std::vector<int>{1, 2}));
    const auto records = listing_records([&](tk::TextWriter& out) {
        tarvel::write_ems_table(out, an.ems);
        tarvel::write_left_out_notes(out, an.layout, an.ems);
    });
    ASSERT_EQ(records.size(), 7u + 4u + 2u);
    EXPECT_EQ(records[11], " Note: effect B|A has no degrees of freedom after the effects before it; it is left out of the "
                           "component equations and its component is shown as 0.");
    EXPECT_EQ(records[12], " Note: effect C has fewer than two levels in the data and no columns; it is left out of the "
                           "component equations and its component is shown as 0.");
    // Their rows are listed with df 0.
    EXPECT_EQ(records[9].substr(0, 29), "  B|A                       0");
    EXPECT_EQ(records[10].substr(0, 29), "  C                         0");
}

// ------------------------------------------------------------ pair tables

tarvel::PairAnalysis pair_with(int n, int s, int u) {
    tarvel::PairAnalysis p;
    p.s = s;
    p.u = u;
    const auto size = static_cast<std::size_t>(n + 2);
    p.ss.assign(size, 10.0);
    p.df.assign(size, 2);
    p.ms.assign(size, 5.0);
    p.vc.assign(size, 1.25);
    p.sd.assign(size, 0.5);
    p.denominator.assign(size, 1.0);
    p.satterthwaite_df.assign(size, 4.4);
    p.f.assign(size, 3.0);
    p.nd.assign(size, 4);
    p.probability.assign(size, 0.125);
    p.total_df = 17;
    p.total_row_df = 99;
    p.corrected_total = 50.0;
    p.design_columns = 1234;
    p.accounted = 30.0;
    p.accounted_percent = 60.0;
    return p;
}

TEST(PairTable, ProbabilityOnlyWithPositiveDenominatorDegrees) {
    tarvel::PairAnalysis p = pair_with(3, 0, 0);
    p.nd[2] = 0;  // nu rounds to 0: no test
    p.satterthwaite_df[2] = 0.4;
    p.probability[2] = -1.0;
    p.nd[3] = -1;
    p.satterthwaite_df[3] = 0.0;
    p.probability[3] = -1.0;
    const std::vector<std::string> names{"Mean", "Sire", "Dam", "Herd"};
    const auto records = listing_records([&](tk::TextWriter& out) { tarvel::write_pair_table(out, p, names); });
    // Four G17.9 fields.
    const std::string values = "   10.0000000    " "   5.00000000    " "   1.25000000    " "  0.500000000    ";
    const auto row = [&](const char* name) { return "  " + tk::pad(name, 20) + "      2  " + values; };
    const struct {
        std::size_t record;
        std::string text;
    } rows[] = {
        {0, row("Mean") + "   F Values     D.F."},
        {1, " "},
        {2, row("Sire") + "     3.000      4.40  0.125"},
        {3, row("Dam") + "     3.000      0.40"},
        {4, row("Herd") + "     3.000      0.00"},
        {5, "  Error" + std::string(21, ' ') + "2  " + values},
        {6, " "},
        {7, "  Total" + std::string(20, ' ') + "99" + "     50.0000000    "},
        {8, ""},
        {9, " +--------+"},
        {10, " |Summary |"},
        {11, " +--------+"},
        {12, " 1234 Effects with 17 Degree of Freedom."},
        {13, " Total SS Accounted For By Effects (except Mean)   30.0000000000    (60.00%)"},
    };
    ASSERT_EQ(records.size(), std::size(rows));
    for (const auto& r : rows) EXPECT_EQ(records[r.record], r.text) << r.record;
}

TEST(PairTable, HeadingsInPairOrderAndSummaryAfterVariancesOnly) {
    const std::vector<std::string> traits{"Weight          ", "Length", "Girth"};
    std::vector<tarvel::PairAnalysis> pairs;
    for (int s = 0; s < 3; ++s)
        for (int u = s; u < 3; ++u) pairs.push_back(pair_with(1, s, u));
    const std::vector<std::string> names{"Mean", "A"};
    const auto records =
        listing_records([&](tk::TextWriter& out) { tarvel::write_pair_tables(out, pairs, traits, names); });
    std::vector<std::string> captions;
    int summaries = 0;
    for (const std::string& r : records) {
        if (r.rfind(" For : ", 0) == 0) captions.push_back(r);
        if (r == " |Summary |") ++summaries;
    }
    const std::vector<std::string> expected{
        " For : Weight          ",         " For : Weight - and - Length", " For : Weight - and - Girth",
        " For : Length          ",         " For : Length - and - Girth",  " For : Girth           ",
    };
    EXPECT_EQ(captions, expected);
    EXPECT_EQ(summaries, 3);
    // The caption line of the Satterthwaite columns: 100 blanks before the dashes.
    const int dashes = find_record(records, std::string(100, ' ') + "--------------------  Prob.");
    EXPECT_GT(dashes, 0);
    EXPECT_EQ(records[static_cast<std::size_t>(dashes - 1)],
              "  Source                   DF       S. S.            M. S.          Var. Est.        Var. S.D.          "
              "Satterthwaite's");
}

// ------------------------------------------------------------ matrix printer

tk::Matrix numbered(int t) {
    tk::Matrix m(t, t);
    for (int i = 0; i < t; ++i)
        for (int j = 0; j < t; ++j) m(i, j) = (i + 1) * 100 + (j + 1);
    return m;
}

TEST(TriangularMatrix, TwelveTraitsGiveTwoBlocks) {
    const auto records = listing_records(
        [](tk::TextWriter& out) { tarvel::write_triangular_matrix(out, numbered(12), "9(G13.6)", 1); });
    // Block 1: 2 blanks, numbers, dots, rows 1 ... 12; block 2: 2, numbers, dots, rows 10 ... 12; final blank.
    ASSERT_EQ(records.size(), 4u + 12u + 4u + 3u + 1u);
    EXPECT_EQ(records[0], "  ");
    EXPECT_EQ(records[1], "  ");
    EXPECT_EQ(records[3], " ....|.." + std::string(117, '.'));
    EXPECT_EQ(records[4], "   1 |    101.000    ");
    EXPECT_EQ(records[15].substr(0, 8), "  12 |  ");
    EXPECT_EQ(records[15].size(), 8u + 9u * 13u);  // nine values in the first block
    EXPECT_EQ(records[18], "     |         10           11           12");
    EXPECT_EQ(records[19], " ....|.." + std::string(39, '.'));
    EXPECT_EQ(records[20], "  10 |    1010.00    ");  // the second block starts with row 10
    EXPECT_EQ(records[21], "  11 |    1110.00      1111.00    ");
    EXPECT_EQ(records[22], "  12 |    1210.00      1211.00      1212.00    ");
    EXPECT_EQ(records[23], "  ");
}

TEST(TriangularMatrix, ColumnNumbersEndWhereTheirValuesEnd) {
    // Each column number's last digit sits over the last digit of the values
    // below it: the F field in correlation mode, the mantissa of G fields.
    const struct {
        const char* item_spec;
        int mode;
        std::size_t value_end;   // 1-based column of the first value's last digit
        std::size_t pitch;       // columns from one value to the next
        const char* dots_after;  // the dotted line of a block of ten columns
    } cases[] = {
        {"9(F7.4,2X)", 99, 15, 9, ".."},
        {"9(G13.6)", 1, 17, 13, ".."},
        {"9(F7.4)", 1, 15, 7, ".."},
    };
    tk::Matrix m(10, 10, 0.5);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.item_spec);
        const auto records =
            listing_records([&](tk::TextWriter& out) { tarvel::write_triangular_matrix(out, m, c.item_spec, c.mode); });
        const std::string& numbers = records[2];
        const std::string& last_row = records[4 + 9];  // row 10, nine values
        for (std::size_t j = 0; j < 9; ++j) {
            const std::size_t end = c.value_end - 1 + j * c.pitch;  // 0-based
            ASSERT_LT(end, numbers.size());
            EXPECT_EQ(numbers[end], static_cast<char>('1' + j)) << j;
            EXPECT_TRUE(end + 1 == numbers.size() || numbers[end + 1] == ' ') << j;
            EXPECT_EQ(last_row[end], '0') << j;  // 0.5000 / 0.500000
        }
        // The second block holds column 10, its row 10 only.
        const std::size_t second = 4 + 10;
        EXPECT_EQ(records[second + 2].substr(c.value_end - 2, 2), "10");
        EXPECT_EQ(records[second + 4].substr(0, 5), "  10 ");
        EXPECT_EQ(records[second + 5], "  ");
    }
    const auto corr = listing_records(
        [&](tk::TextWriter& out) { tarvel::write_triangular_matrix(out, m, "9(F7.4,2X)", 99); });
    EXPECT_EQ(corr[2], "     |        1        2        3        4        5        6        7        8        9");
    EXPECT_EQ(corr[3], " ....|.." + std::string(81, '.'));
    EXPECT_EQ(corr[5], "   2 |   0.5000   0.5000");
}

TEST(TriangularMatrix, FullMatrixInModeZero) {
    const auto records = listing_records(
        [](tk::TextWriter& out) { tarvel::write_triangular_matrix(out, numbered(3), " 2(G13.6) ", 0); });
    const std::vector<std::string> expected{
        "  ", "  ", "     |          1            2", " ....|.." + std::string(26, '.'),
        "   1 |    101.000      102.000    ", "   2 |    201.000      202.000    ", "   3 |    301.000      302.000    ",
        "  ", "  ", "     |          3", " ....|.." + std::string(13, '.'), "   1 |    103.000    ",
        "   2 |    203.000    ", "   3 |    303.000    ", "  ",
    };
    EXPECT_EQ(records, expected);
}

// ------------------------------------------------------------ matrix sections

// n = 1 effect and the residual, two traits, the variance of trait 2 in the
// residual negative.
tarvel::TraitTables two_trait_tables(const tarvel::OutputSwitches& switches) {
    tarvel::TraitTables tables = tarvel::make_trait_tables(1, 2, switches);
    for (tarvel::TraitTable* table : {&tables.variance, &tables.sums_of_squares, &tables.mean_squares}) {
        if (!table->kept()) continue;
        tarvel::TraitTable& t = *table;
        t(0, 0, 0) = 4.0f;
        t(0, 1, 1) = 9.0f;
        t(0, 0, 1) = t(0, 1, 0) = 3.0f;
        t(1, 0, 0) = 2.0f;
        t(1, 1, 1) = -0.5f;
        t(1, 0, 1) = t(1, 1, 0) = 0.25f;
    }
    tarvel::store_correlations(tables);
    return tables;
}
tarvel::ColumnLayout one_effect_layout() {
    std::vector<Case> cases;
    for (int k = 0; k < 4; ++k) cases.push_back({{static_cast<tarvel::Level>(k % 2 + 1)}, {1.0f}});
    return tarvel_test::build_layout(make_model({{"Sire", "A"}}), cases);
}

TEST(MatrixSections, NegativeResidualVarianceGivesAsterisksAndNoteTwo) {
    const tarvel::OutputSwitches switches{.ms = false, .ss = false, .vc = false, .cr = true, .kirv = false};
    const tarvel::TraitTables tables = two_trait_tables(switches);
    ASSERT_EQ(tables.marker_flag, -1);
    const auto records = listing_records(
        [&](tk::TextWriter& out) { tarvel::write_matrix_sections(out, tables, one_effect_layout(), switches); });
    const std::vector<std::string> expected{
        "", "", " Correlations of Variance Components Between Traits", " " + std::string(50, '='), "",
        "  ", " For Effect : Sire", "  ", "  ", "     |        1        2", " ....|.." + std::string(18, '.'),
        "   1 |   1.0000", "   2 |   0.5000   1.0000", "  ",
        "  ", " For Effect : Error", "  ", "  ", "     |        1        2", " ....|.." + std::string(18, '.'),
        "   1 |   1.0000", "   2 |  *******   1.0000", "  ",
        " ", " ",
        " Notes: (1) The integer numbers 1, 2, ... in above tabels are the sequential",
        "            codes of traits analyzed.",
        "        (2) The symbol ' ******* ' indicates this item can not be calculated",
        "            due to zero or negative variance component(s).",
    };
    EXPECT_EQ(records, expected);
}

TEST(MatrixSections, VarianceWithoutCorrelationsShowsCovariancesOnly) {
    const tarvel::OutputSwitches switches{.ms = false, .ss = false, .vc = true, .cr = false, .kirv = false};
    const tarvel::TraitTables tables = two_trait_tables(switches);
    EXPECT_EQ(tables.marker_flag, -1);  // computed silently
    const auto records = listing_records(
        [&](tk::TextWriter& out) { tarvel::write_matrix_sections(out, tables, one_effect_layout(), switches); });
    EXPECT_EQ(records[2], " Matrices of Variance Estimates");
    EXPECT_EQ(find_record(records, "   2 |    3.00000      9.00000    "), 12);  // covariance, not the correlation
    EXPECT_EQ(find_record(records, "   2 |   0.250000    -0.500000    "), 21);
    EXPECT_EQ(find_record(records, " Notes: (1) The integer numbers 1, 2, ... in above tabels are the sequential"), -1);
    EXPECT_EQ(find_record(records, "            due to zero or negative variance component(s)."), -1);
    const std::vector<std::string> tail(records.end() - 6, records.end());
    const std::vector<std::string> expected_tail{
        " ", " ", " Note:  The integer numbers 1, 2, ... in above tabels are the sequential",
        "        codes of traits analyzed.", "", ""};
    EXPECT_EQ(tail, expected_tail);
}

TEST(MatrixSections, SectionsFollowTheirSwitches) {
    const struct {
        tarvel::OutputSwitches switches;
        std::vector<std::string> headings;
    } cases[] = {
        {{.ms = true, .ss = true, .vc = true, .cr = true, .kirv = false},
         {" Matrices of S.S / S.C.P.", " Matrices of M.S / M.C.P.", " Matrices of Variance Estimates",
          " Correlations of Variance Components Between Traits"}},
        {{.ms = true, .ss = false, .vc = false, .cr = false, .kirv = true}, {" Matrices of M.S / M.C.P."}},
        {{.ms = false, .ss = false, .vc = false, .cr = false, .kirv = true}, {}},
    };
    for (const auto& c : cases) {
        const tarvel::TraitTables tables = two_trait_tables(c.switches);
        const auto records = listing_records(
            [&](tk::TextWriter& out) { tarvel::write_matrix_sections(out, tables, one_effect_layout(), c.switches); });
        std::vector<std::string> headings;
        for (const std::string& r : records)
            if (r.rfind(" Matrices", 0) == 0 || r.rfind(" Correlations", 0) == 0) headings.push_back(r);
        EXPECT_EQ(headings, c.headings);
    }
}

TEST(MatrixSections, OneTraitPrintsNoMatrices) {
    // One trait: the listing ends with the summary of its only table.
    std::vector<Case> cases;
    for (int k = 0; k < 6; ++k) cases.push_back({{static_cast<tarvel::Level>(k % 3 + 1)}, {static_cast<float>(k * k)}});
    const tarvel_test::Analysis an = tarvel_test::analyse(make_model({{"A", "A"}}), cases, 1);
    const tarvel::OutputSwitches switches{.ms = true, .ss = true, .vc = true, .cr = true, .kirv = true};
    const tarvel::TraitTables tables = tarvel::build_trait_tables(an.ems.n, 1, an.pairs, switches);
    tarvel::RunHeader header;
    header.largest_level = {3};
    header.trait_count = 1;
    header.trait_names = {"Y"};
    header.cases_accepted = 6;
    const auto records = listing_records([&](tk::TextWriter& out) {
        tarvel::write_analysis_listing(out, header, an.layout, an.ems, an.pairs, tables, switches);
    });
    ASSERT_GT(records.size(), 2u);
    EXPECT_EQ(records[records.size() - 2], " 4 Effects with 3 Degree of Freedom.");
    EXPECT_EQ(find_record(records, " Analysis of Covariances"), -1);
}

}  // namespace
