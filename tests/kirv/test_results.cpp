#include "kirv/results.hpp"

#include "kirv_run_support.hpp"
#include "matrices.hpp"

#include <gtest/gtest.h>

#include <functional>

namespace {

using Records = std::vector<std::string>;
using kirv_test::from_rows;
using kirv_test::trimmed;

// The records a writer function leaves in a file, trailing blanks removed.
Records written(const std::function<void(tk::TextWriter&)>& write) {
    tk_test::TempDir dir;
    tk::TextWriter out;
    EXPECT_TRUE(out.open(dir.file("out.lst")));
    write(out);
    out.close();
    Records records = kirv_test::records_of(dir.read("out.lst"));
    for (std::string& r : records) r = r == " " ? r : trimmed(r);
    return records;
}

// Two traits, the second with a 16-character name; every matrix and vector
// of the results gets its own recognisable values.
const std::vector<std::string> two_names = {"WT              ", "ABCDEFGHIJKLMNOP"};

kirv::Results two_trait_results() {
    kirv::Results r;
    r.group.genetic = from_rows(2, {1, 0.5, 0.5, 2});
    r.group.phenotypic = from_rows(2, {3, 1, 1, 4});
    r.individual.genetic = from_rows(2, {5, 1, 1, 6});
    r.individual.phenotypic = from_rows(2, {7, 1, 1, 8});
    r.group_h2 = {{0.4, 0.25}, {0.1, 0.05}};
    r.individual_h2 = {{0.3, 1.0}, {0.2, 0.125}};
    r.genetic = {from_rows(2, {1, -0.25, -0.25, 1}), from_rows(2, {0, 0.5, 0.5, 0})};
    r.phenotypic = {from_rows(2, {1, 0.75, 0.75, 1}), from_rows(2, {0, 0.0625, 0.0625, 0})};
    return r;
}

Records listing_with(const kirv::PrintFlags& flags) {
    const kirv::Results r = two_trait_results();
    return written([&](tk::TextWriter& out) { kirv::write_results(out, 1, r, two_names, flags); });
}

TEST(ResultsListing, BlocksLaidOutAsTheirTemplates) {
    const Records expected = {
        " ",
        " ",
        "** GENETIC VARIANCE-COVARIANCE MATRIX (G_GROUP LEVEL) **",
        " ",
        "             WT             ABCDEFGH",
        " ",
        "WT          1.0000000     0.50000000",
        "ABCDEFGH   0.50000000      2.0000000",
        " ",
        " ",
        "** G_GROUP HERITABILITIES AND THEIR STANDARD ERRORS **",
        " ",
        "       WT             ABCDEFGH",
        " ",
        "     0.40000000     0.25000000",
        "     0.10000000     0.05000000",
        " ",
        " ",
        "** GENETIC CORRELATIONS **",
        " ",
        "                WT             ABCDEFGH",
        " ",
        "WT            1.00000000    -0.25000000",
        "ABCDEFGH     -0.25000000     1.00000000",
        " ",
    };
    EXPECT_EQ(listing_with({1, 1, 0, 0, 0, 1, 0, 1, 0, 0, 0}), expected);
}

TEST(ResultsListing, OnlyTheValueOnePrintsABlock) {
    const struct {
        const char* name;
        kirv::PrintFlags flags;
        std::vector<std::string> headings;
    } cases[] = {
        {"all 0", {}, {}},
        {"flag 6 set to 2", {1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1},
         {"** GENETIC VARIANCE-COVARIANCE MATRIX (G_GROUP LEVEL) **",
          "** PHENOTYPIC VARIANCE-COVARIANCE MATRIX (G_GROUP LEVEL) **",
          "** GENETIC VARIANCE-COVARIANCE MATRIX (INDIVIDUAL LEVEL) **",
          "** PHENOTYPIC VARIANCE-COVARIANCE MATRIX (INDIVIDUAL LEVEL) **",
          "** INDIVIDUAL HERITABILITIES AND THEIR STANDARD ERRORS **", "** GENETIC CORRELATIONS **",
          "** STANDARD ERRORS OF GENETIC CORRELATIONS **", "** PHENOTYPIC CORRELATIONS **",
          "** STANDARD ERRORS OF PHENOTYPIC CORRELATIONS **"}},
        {"flag 1 (bending) does not print here", {1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1},
         {"** STANDARD ERRORS OF PHENOTYPIC CORRELATIONS **"}},
    };
    for (const auto& c : cases) {
        const Records records = listing_with(c.flags);
        std::vector<std::string> headings;
        for (const std::string& r : records)
            if (r.rfind("** ", 0) == 0) headings.push_back(r);
        EXPECT_EQ(headings, c.headings) << c.name;
        EXPECT_EQ(records.back(), " ") << c.name;
        if (c.headings.empty()) {
            EXPECT_EQ(records, Records{" "}) << c.name;
        }
    }
}

TEST(ResultsListing, OneTrait) {
    kirv::Results r;
    r.group.genetic = r.group.phenotypic = r.individual.genetic = r.individual.phenotypic = from_rows(1, {2});
    r.group_h2 = r.individual_h2 = {{0.5}, {0.1}};
    r.genetic = r.phenotypic = {from_rows(1, {1}), from_rows(1, {0})};
    const Records records = written([&](tk::TextWriter& out) {
        kirv::write_results(out, 1, r, {"X"}, kirv::all_print_flags);
    });
    // Ten blocks of four opening records, a name record and a blank; one row
    // each for the eight matrix blocks, two records for the two heritability
    // blocks; one closing blank.
    EXPECT_EQ(records.size(), 10u * 6u + 8u + 4u + 1u);
    EXPECT_EQ(records[6], "X           2.0000000");
    EXPECT_EQ(records[4 * 7 + 6], "     0.50000000");  // after four matrix blocks of seven records
}

TEST(SummaryRecords, EightTPlusFourWhateverTheFlags) {
    const std::vector<std::string> names = {"A", "B", "C"};
    kirv::Results r;
    const tk::Matrix m = from_rows(3, {1, 2, 3, 2, 4, 5, 3, 5, 6});
    r.group.genetic = r.group.phenotypic = r.individual.genetic = r.individual.phenotypic = m;
    r.group_h2 = r.individual_h2 = {{0.5, 0.25, 0.125}, {0.1, 0.2, 0.3}};
    r.genetic = r.phenotypic = {m, m};
    for (const kirv::PrintFlags& flags : {kirv::all_print_flags, kirv::PrintFlags{}}) {
        const Records records = written([&](tk::TextWriter& out) { kirv::write_results(out, 0, r, names, flags); });
        ASSERT_EQ(records.size(), 28u);
        for (const std::string& record : records) {
            EXPECT_EQ(kirv_test::numbers_of(record).size(), 3u) << record;  // numbers only: no names, no headings
        }
        EXPECT_EQ(kirv_test::numbers_of(records[1]), (std::vector<double>{2, 4, 5}));   // Gg row 2
        EXPECT_EQ(kirv_test::numbers_of(records[12]), (std::vector<double>{0.5, 0.25, 0.125}));  // group h2
        EXPECT_EQ(kirv_test::numbers_of(records[15]), (std::vector<double>{0.1, 0.2, 0.3}));     // individual se
    }
}

TEST(SummaryRecords, FirstRecord) {
    kirv::Specification s;
    s.df = {1, 2, 3};
    s.trait_names = {"A", "B"};
    s.bending = 1;
    s.genetic_group = 1;
    s.reference = -1;
    s.relative = 0.5;
    s.minimum_eigenvalue = -2.5;
    const Records records = written([&](tk::TextWriter& out) { kirv::write_first_summary_record(out, s); });
    EXPECT_EQ(records, Records{" 0 3 2 1 2 0 0.5 -2.5 0"});
}

// ------------------------------------------------------------ bending

kirv::Bending bending(int failure, int needed, int status, int reference_flag = 0, int reference = -1) {
    kirv::Bending b;
    b.failure = failure;
    b.needed = needed;
    b.status = status;
    b.reference_flag = reference_flag;
    b.reference = reference;
    return b;
}

TEST(BendingOutcome, LinesInTheOrderOfTheTests) {
    const std::string again = "           USE ANOTHER REFERENCE MATRIX AND TRY AGAIN";
    const struct {
        const char* name;
        kirv::Bending b;
        double minimum;
        kirv::BendingOutcome outcome;
        Records lines;
    } cases[] = {
        {"eigenvalues failed", bending(2, 0, 1), 0.0, kirv::BendingOutcome::eigenvalues_failed,
         {" => ERROR: THE VC MATRIX IS NOT PROPER FOR BENDING. BENDING FAILED", " ", " "}},
        {"not needed", bending(0, 0, 1), 0.0, kirv::BendingOutcome::not_needed,
         {" => MESSAGE: NOT NECESSARY FOR THE CURRENT GENETIC VC MATRIX", " ", " "}},
        {"no memory", bending(0, 1, -1), 0.0, kirv::BendingOutcome::out_of_memory,
         {" => ERROR: FAILED IN ALLOCATING MEMORY", " ", " "}},
        {"reference eigenvalues", bending(0, 1, -21), 0.0, kirv::BendingOutcome::reference_failed,
         {" => ERROR: THE REFERENCE MATRIX IS NOT SUITBLE. BENDING FAILED", again, " ", " "}},
        {"bent eigenvalues", bending(0, 1, -22), 1.0, kirv::BendingOutcome::reference_failed,
         {" => ERROR: THE REFERENCE MATRIX IS NOT SUITBLE. BENDING FAILED", again, " ", " "}},
        {"-4 with minimum 0", bending(0, 2, -4), 0.0, kirv::BendingOutcome::reference_unsuitable,
         {" => ERROR: THE REFERENCE MATRIX IS NOT SUITABLE. BENDING FAILED", again, " ", " "}},
        {"-4 with minimum above 0", bending(0, 1, -4), 2.0, kirv::BendingOutcome::limit_missed,
         {" => ERROR: REQUIRED LIMIT OF THE LOWEST EIGENVALUE WAS FAILED",
          "           SET A SMALLER VALUE AND TRY AGAIN", " ", " "}},
        {"success, identity", bending(0, 1, 1), 0.1, kirv::BendingOutcome::success,
         {" => MESSAGE: NO REFERENCE MATRIX SPECIFIED, IDENTITY MATRIX WAS USED"}},
        {"success, singular reference", bending(0, 1, 1, -1, -1), 0.1, kirv::BendingOutcome::success,
         {" => MESSAGE: REFERENCE MATRIX IS SINGULAR, USE IDENTITY MATRIX INSTEAD"}},
        {"success, reference effect", bending(0, 1, 1, 0, 2), 0.1, kirv::BendingOutcome::success, {}},
        {"status -3", bending(0, 1, -3), 0.1, kirv::BendingOutcome::other, {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(kirv::classify_bending(c.b, c.minimum), c.outcome) << c.name;
        EXPECT_EQ(kirv::bending_outcome_lines(c.b, c.minimum), c.lines) << c.name;
    }
}

// G0 = ((1, 2), (2, 1)) bent towards the identity: w = 0.551, E = (3, -1), B = (1.898, 0.102).
TEST(BendingBlock, Layout) {
    kirv::Bending b = bending(0, 1, 1);
    b.factor = 0.551;
    b.original = {3, -1};
    b.bent = {1.898, 0.102};
    const Records records = written([&](tk::TextWriter& out) {
        kirv::write_bending_block(out, b, from_rows(2, {1, 2, 2, 1}), {"A", "LONGNAMEOF16CHAR"});
    });
    const Records expected = {
        " ",
        " ",
        ">>> R E S U L T S <<<",
        " ",
        " ",
        "** RESULTS OF BENDING **",
        " ",
        "Bending factor =  0.551",
        " ",
        "Eigenvalues of original genetic variance-covariance matrix (g_group level)",
        " ",
        "     1              2",
        " ",
        "  3.0000000     -1.0000000",
        " ",
        " ",
        "Eigenvalues of bended genetic variance-covariance matrix (g_group level)",
        " ",
        "     1              2",
        " ",
        "  1.8980000     0.10200000",
        " ",
        " ",
        "Original genetic variance-covariance matrix (g_group level)",
        " ",
        "             A              LONGNAME",
        " ",
        "A           1.0000000      2.0000000",
        "LONGNAME    2.0000000      1.0000000",
    };
    EXPECT_EQ(records, expected);
    const Records summary = written([&](tk::TextWriter& out) { kirv::write_bending_summary_records(out, b); });
    EXPECT_EQ(summary, (Records{" 0.551", " 3 -1", " 1.898 0.102"}));
}

}  // namespace
