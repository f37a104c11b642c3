// End-to-end runs of the built kirv program, with expected numbers from the
// reference analysis and from hand calculations.
#include "kirv/driver.hpp"

#include "common/format.hpp"
#include "common/tokenizer.hpp"
#include "kirv_run_support.hpp"

#include <gtest/gtest.h>

#include "tests/common/reference_files.hpp"
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

namespace {

using kirv_test::box;
using kirv_test::control_text;
using kirv_test::files_in;
using kirv_test::records_of;
using kirv_test::run_kirv;
using kirv_test::summary_name;
using Records = std::vector<std::string>;

const std::string all_switches_on = "1 1 1 1 1 1 1 1 1 1 1 1";

// Listing records with trailing blanks removed (a lone blank record stays).
Records listing_records(const tk_test::TempDir& dir, const std::string& name = "kirv.lst") {
    Records records = records_of(dir.read(name));
    for (std::string& r : records) r = r == " " ? r : kirv_test::trimmed(r);
    return records;
}

// The records from the first one equal to `from`, `count` of them.
Records slice(const Records& records, const std::string& from, std::size_t count) {
    const auto first = std::find(records.begin(), records.end(), from);
    if (first == records.end()) return {};
    const std::size_t n = std::min<std::size_t>(count, static_cast<std::size_t>(records.end() - first));
    return Records(first, first + static_cast<std::ptrdiff_t>(n));
}

// ------------------------------------------------------------ start and stop

TEST(KirvRun, NoControlFileEndsSayingWhatItExpected) {
    tk_test::TempDir dir;
    const auto out = run_kirv(dir);
    EXPECT_EQ(out.exit_status, 0);
    EXPECT_EQ(out.errors, "kirv: no control file tanv~tm3.$$$ in the current directory, so nothing to do; "
                          "run 'kirv --help' for the command line.\n");
    EXPECT_TRUE(files_in(dir).empty());
}

TEST(KirvRun, BadControlFiles) {
    const struct {
        const char* name;
        std::string control;
        std::string problem;
    } cases[] = {
        {"one integer", "4711\n", "it ends before its 2 leading integers"},
        {"text for the listing switch", "4711 yes\nd\n\n\n\n\n\n\n", "its leading integers do not read as integers"},
        {"records missing", "4711 1\nd\n\n", "it ends after 2 of its 7 text records"},
    };
    for (const auto& c : cases) {
        tk_test::TempDir dir;
        dir.write("d", "DF = 1 2\n");
        dir.write(kirv_test::control_name, c.control);
        const auto out = run_kirv(dir);
        EXPECT_EQ(out.exit_status, 0) << c.name;
        EXPECT_FALSE(out.control_left) << c.name;
        EXPECT_EQ(out.errors.rfind("Error Message: The control file tanv~tm3.$$$ cannot be read: " + c.problem, 0), 0u)
            << c.name << ": " << out.errors;
        EXPECT_EQ(files_in(dir), Records{"d"}) << c.name;
    }
}

TEST(KirvRun, MissingDataFile) {
    tk_test::TempDir dir;
    dir.write(kirv_test::control_name, control_text(1, {"absent.kin"}));
    const auto out = run_kirv(dir);
    EXPECT_EQ(out.exit_status, 0);
    EXPECT_FALSE(out.control_left);
    EXPECT_EQ(out.errors, box("Cannot find the data file for KIRV module! There is no file 'absent.kin'."));
    EXPECT_TRUE(files_in(dir).empty());
}

// ------------------------------------------------------------ the reference analysis

using tk_test::reference_file;

std::string reference_input() { return tk_test::read_reference_file("k01_halfsib_sire.kin"); }

struct Reference {
    std::vector<double> values, atol;
    double rtol = 0.0;
};

Reference reference_summary() {
    std::ifstream in(reference_file("k01_halfsib_sire.json"));
    const nlohmann::json j = nlohmann::json::parse(in);
    return {j["tm4"]["val"].get<std::vector<double>>(), j["tm4"]["atol"].get<std::vector<double>>(),
            j["rtol"].get<double>()};
}

TEST(KirvRun, ReferenceHalfSibSireAnalysis) {
    TK_REQUIRE_REFERENCE("k01_halfsib_sire.json");
    const Reference ref = reference_summary();
    const std::string input = reference_input();
    // Settings from the data file, and the same settings from the control file.
    const std::vector<std::vector<std::string>> controls = {{"k01.kin"}, {"k01.kin", "", "", "0.25", "1"}};
    for (const auto& records : controls) {
        tk_test::TempDir dir;
        dir.write("k01.kin", input);
        dir.write(kirv_test::control_name, control_text(0, records));
        const auto out = run_kirv(dir);
        EXPECT_EQ(out.exit_status, 0);
        EXPECT_EQ(tk_test::without_warnings(out.errors), "");
        EXPECT_EQ(files_in(dir), (Records{"k01.kin", summary_name}));
        const Records summary = records_of(dir.read(summary_name));
        ASSERT_EQ(summary.size(), 1u + 8u * 3u + 4u);  // 28 records of results after the first
        std::vector<double> values;
        for (const std::string& r : summary) {
            const std::vector<double> v = kirv_test::numbers_of(r);
            values.insert(values.end(), v.begin(), v.end());
        }
        ASSERT_EQ(values.size(), ref.values.size());
        for (std::size_t i = 0; i < values.size(); ++i) {
            const double v = ref.values[i];
            EXPECT_LE(std::abs(values[i] - v), ref.rtol * std::abs(v) + ref.atol[i]) << "value " << i;
        }
    }
}

// ------------------------------------------------------------ the export file of the analysis program

// An export file laid out record by record as the analysis program writes it:
// effects herd and sire (EMS coefficients 10, 2 / 5) and the residual, two traits.
std::string export_file() {
    std::string text;
    auto put = [&](std::string_view format, std::span<const tk::Item> items) {
        tk::format_records(text, tk::cached_format(format), items);
    };
    auto put_text = [&](std::string_view s) { put("(A)", std::vector<tk::Item>{s}); };
    auto count = [](int k) { return tk::write_internal("(i3)", {k}, 12); };
    for (const char* line : {"//RELATIVE_ID        = 0.25", "//GENOTYPIC_GROUP_ID = 2", "//BENDING_ID         = 0",
                             "//REFERENCE_ID       = 0", "//MINIMUM_EIGEN      = 0.00", " ", "{WT} {BF}", " ",
                             "EMS / UP"})
        put_text(line);
    const int n = 2;
    put("(" + count(n + 1) + "(g15.8,1x))", std::vector<tk::Item>{10.0, 2.0, 1.0});
    put("(" + count(1) + "(a16)," + count(n) + "(g15.8,1x))", std::vector<tk::Item>{" ", 5.0, 1.0});
    put("(" + count(n) + "(a16),f11.7)", std::vector<tk::Item>{" ", " ", 1.0});
    put_text(" ");
    put("(A,100(I9))", std::vector<tk::Item>{"DF = ", 4, 10, 50});
    put_text(" ");
    put_text("SS / LOW");
    // Components herd (2, 1, 0.2), sire (1, 0.5, 0.3), residual (9, 4.5, 1.5)
    // as (variance 1, variance 2, covariance) give these sums of squares.
    const double ss[3][3] = {{124, 16.4, 62}, {140, 30, 70}, {450, 75, 225}};
    for (const auto& s : ss) {
        put("(5000(G15.8, 1X))", std::vector<tk::Item>{s[0]});
        put("(5000(G15.8, 1X))", std::vector<tk::Item>{s[1], s[2]});
    }
    put_text(" ");
    return text;
}

// The summary records of a host run on an export file, genetic group 2.
Records export_summary(const std::string& input) {
    tk_test::TempDir dir;
    dir.write("KIRV.IN_", input);
    dir.write(kirv_test::control_name, control_text(0, {"KIRV.IN_", "", "", "", "2"}));
    const auto out = run_kirv(dir);
    EXPECT_EQ(out.exit_status, 0);
    EXPECT_EQ(out.errors, "");
    return records_of(dir.read(summary_name));
}

TEST(KirvRun, ExportFileOfTheAnalysisProgram) {
    const std::string input = export_file();
    // The layout the analysis program writes (spot checks of the built formats).
    const Records lines = records_of(input);
    ASSERT_EQ(lines.size(), 23u);
    EXPECT_EQ(lines[9], "  10.000000       2.0000000       1.0000000    ");
    EXPECT_EQ(lines[10], std::string(16, ' ') + "  5.0000000       1.0000000    ");
    EXPECT_EQ(lines[11], std::string(32, ' ') + "  1.0000000");
    EXPECT_EQ(lines[13], "DF =         4       10       50");

    const Records summary = export_summary(input);
    ASSERT_EQ(summary.size(), 1u + 8u * 2u + 4u);
    // Genetic group 2 (sire), relative 0.25: W(g, g) = 1/5; Pi = sire + residual.
    const std::vector<std::vector<double>> expected = {
        {0, 3, 2, 0, 2, 0, 0.25, 0, 0},
        {1, 0.3}, {0.3, 0.5},                              // Gg
        {2.8, 0.6}, {0.6, 1.4},                            // Pg = MS(sire) / 5
        {4, 1.2}, {1.2, 2},                                // Gi = Gg / 0.25
        {10, 1.8}, {1.8, 5},                               // Pi
        {1 / 2.8, 0.5 / 1.4},                              // group heritabilities
        {}, {0.4, 0.4}, {},                                // individual heritabilities
        {1, 0.3 / std::sqrt(0.5)}, {0.3 / std::sqrt(0.5), 1}, {}, {},  // genetic correlations
        {1, 1.8 / std::sqrt(50.0)}, {1.8 / std::sqrt(50.0), 1}, {}, {},  // phenotypic correlations
    };
    for (std::size_t i = 0; i < expected.size(); ++i) {
        if (expected[i].empty()) continue;  // standard errors: checked by the kernels' own tests
        const std::vector<double> got = kirv_test::numbers_of(summary[i]);
        ASSERT_EQ(got.size(), expected[i].size()) << "record " << i + 1;
        for (std::size_t k = 0; k < got.size(); ++k)
            EXPECT_NEAR(got[k], expected[i][k], 1e-9 * (1 + std::abs(expected[i][k]))) << "record " << i + 1;
    }
}

TEST(KirvRun, ExportFileWithoutGeneticGroup) {
    // The "//" lines set nothing, so the genetic group must come from the control file.
    for (int listing : {0, 1}) {
        tk_test::TempDir dir;
        dir.write("KIRV.IN_", export_file());
        dir.write(kirv_test::control_name, control_text(listing, {"KIRV.IN_"}));
        const auto out = run_kirv(dir);
        EXPECT_EQ(out.exit_status, 0);
        EXPECT_FALSE(out.control_left);
        EXPECT_EQ(out.errors, box("ID of genetic group is not specified!") + box("Error in running KIRV module!"));
        EXPECT_EQ(files_in(dir), Records{"KIRV.IN_"});  // no listing and no summary file from a failed run
    }
}

// Remark lines that only begin like a name line stay remarks, from the host
// and from a shell; a name line among them still names its effect.
TEST(KirvRun, RemarksThatLookLikeEffectNames) {
    const struct {
        const char* remarks;
        const char* group;  // --genetic-group
    } cases[] = {
        {"//Effects of sire and dam\n//effect 1 = herd\n//EFFECT\n//EFFECTIVE = 12\n//EFFECT one = herd\n", "2"},
        {"//EFFECT 1 = herd\n//Effects of sire and dam\n//EFFECT 2 = sire\n//EFFECT 3 = Error\n", "sire"},
    };
    const Records plain = export_summary(export_file());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.remarks);
        const std::string input = c.remarks + export_file();
        EXPECT_EQ(export_summary(input), plain);
        tk_test::TempDir dir;
        dir.write("KIRV.IN_", input);
        const auto shell = kirv_test::run_kirv_args(dir, {"KIRV.IN_", "--genetic-group", c.group});
        EXPECT_EQ(shell.exit_status, 0);
        EXPECT_EQ(shell.errors, "");
    }
}

TEST(KirvRun, AFailedRunRemovesAnEarlierSummaryFile) {
    // The host tells a failed run by the summary file's absence, so a file
    // left by an earlier run must not survive a failed one.
    const struct {
        const char* name;
        std::string control;
    } cases[] = {
        {"run error", control_text(0, {"KIRV.IN_"})},
        {"missing data file", control_text(0, {"none.kin"})},
        {"bad control file", "1\n"},
    };
    for (const auto& c : cases) {
        tk_test::TempDir dir;
        dir.write("KIRV.IN_", export_file());
        dir.write(kirv_test::summary_name, " 0 2 2 0 1 0 0.25 0 0\n");
        dir.write(kirv_test::control_name, c.control);
        EXPECT_EQ(run_kirv(dir).exit_status, 0) << c.name;
        EXPECT_EQ(files_in(dir), Records{"KIRV.IN_"}) << c.name;
    }
}

TEST(KirvRun, RunErrorsShowTheirBoxes) {
    const std::string body = "DF = 10 20\n{A}\nGEN = 1\n";
    const struct {
        const char* name;
        std::string data;
        std::vector<std::string> control;  // records 3 to 7
        std::string message;
    } cases[] = {
        {"singular EMS", body + "EMS UP\n1 1\n0\nSS\n1\n1\n", {}, "The EMS matrix is singular!"},
        {"switch record", body, {"3 1 1"}, "The third record of the control file tanv~tm3.$$$ must hold twelve "
                                               "integers: the bending switch and eleven print switches!"},
        {"zero relative", body, {"", "0"}, "Coefficient of coancestry of relatives must be above 0!"},
        {"SS ends early", body + "EMS UP\n1 1\n1\nSS\n1\n", {}, "The data file ends before row 1 of the SS-Matrix of effect 2!"},
    };
    for (const auto& c : cases) {
        tk_test::TempDir dir;
        dir.write("d.kin", c.data);
        std::vector<std::string> records = {"d.kin", "out.lst"};
        records.insert(records.end(), c.control.begin(), c.control.end());
        dir.write(kirv_test::control_name, control_text(1, records));
        const auto out = run_kirv(dir);
        EXPECT_EQ(out.exit_status, 0) << c.name;
        EXPECT_EQ(out.errors, box(c.message) + box("Error in running KIRV module!")) << c.name;
        EXPECT_FALSE(std::filesystem::exists(dir.path / "out.lst")) << c.name;
    }
}

// A name is never cut to its field: the cut name would lead to another file.
TEST(KirvRun, NameLongerThanItsFieldIsRefused) {
    tk_test::TempDir dir;
    const std::string name(80, 'n');
    dir.write(name, "DF = 10 20\n{A}\nGEN = 1\nEMS UP\n1 1\n1\nSS\n30\n40\n");
    dir.write(name.substr(0, 79) + "l", "an earlier file");
    dir.write(kirv_test::control_name, control_text(1, {name + "0123456789", name.substr(0, 79) + "l"}));
    const auto out = run_kirv(dir);
    EXPECT_EQ(out.exit_status, 0);
    EXPECT_EQ(out.errors, box("The control file tanv~tm3.$$$ cannot be read: the data file name (record 1) has 90 "
                              "characters, more than the 80 of its field!"));
    EXPECT_EQ(dir.read(name.substr(0, 79) + "l"), "an earlier file");
    EXPECT_FALSE(out.control_left);
}

TEST(KirvRun, OutOfMemory) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the address sanitizer reserves more memory than the limit allows";
#endif
    // 400 effects and 400 traits: the SS array alone needs 512 MB.
    std::string input = "GEN = 1\nDF =";
    for (int i = 0; i < 400; ++i) input += " 1";
    input += "\n";
    for (int i = 0; i < 400; ++i) input += "{}";
    input += "\nEMS UP\n";
    for (int i = 0; i < 400; ++i) input += "1\n";
    input += "SS LOW\n1\n";
    tk_test::TempDir dir;
    dir.write("big.kin", input);
    dir.write(kirv_test::control_name, control_text(0, {"big.kin"}));
    const auto out = run_kirv(dir, "ulimit -v 300000; ");
    EXPECT_EQ(out.exit_status, 255);
    EXPECT_EQ(out.errors, box("Out of memory!"));
    EXPECT_EQ(files_in(dir), Records{"big.kin"});  // no summary file
}

TEST(KirvRun, UnwritableListing) {
    tk_test::TempDir dir;
    dir.write("d.kin", "DF = 10 20\n{A}\nGEN = 1\nEMS UP\n1 1\n1\nSS\n30\n40\n");
    std::filesystem::create_directory(dir.path / "sub");
    dir.write(kirv_test::control_name, control_text(1, {"d.kin", "sub"}));
    EXPECT_EQ(run_kirv(dir).errors,
              box("Cannot open the listing file sub (Is a directory)!") + box("Error in running KIRV module!"));
}

// The status line, in process: the last text is the elapsed time after a
// completed run and the error text after a stop, behind the registry prefix.
TEST(MainRoutine, StatusLine) {
    for (const char* text : {kirv::status_reading, kirv::status_components, kirv::status_bending,
                             kirv::status_partitioning, kirv::status_heritabilities, kirv::status_correlations})
        EXPECT_EQ(std::string(text).size(), 42u) << text;
    ::setenv("Kirv_Num_Iter", "3", 1);
    tk_test::TempDir dir;
    const std::string good = dir.write("good.kin", "DF = 10 20\n{A}\nGEN = 1\nEMS UP\n1 1\n1\nSS\n30\n40\n");
    const std::string bad = dir.write("bad.kin", "DF = 10\n");
    for (const std::string& data : {good, bad}) {
        tk::KirvControl control;
        control.status = tk::ControlStatus::read;
        control.listing = 1;
        control.records = {data, dir.file("out.lst"), "", "", "", "", ""};
        tk::Host host;
        const int status = kirv::run_main_routine(host, control, {});
        if (data == good) {
            EXPECT_EQ(status, 0);
            EXPECT_EQ(host.line.rfind("  The program has used ", 0), 0u) << host.line;
        } else {
            EXPECT_EQ(status, -2);
            EXPECT_EQ(host.line, tk::pad(std::string(" >3<      ") + kirv::status_error, 950));
        }
    }
    ::unsetenv("Kirv_Num_Iter");
}

// ------------------------------------------------------------ bending

// One effect and the residual with EMS ((1, 1), (0, 1)): VC(1) = MS(1) - MS(2).
// The sums of squares of the effect (DF 10) are given; the residual's (DF
// 20) are 40 I, so MS(2) = 2 I.
std::string bending_input(double s11, double s12, double s22) {
    auto number = [](double x) { return tk::write_internal("(G15.8)", {x}, 15); };
    return "DF = 10 20\nTraits {WT} {BF}\nEMS UP\n1 1\n1\nSS LOW\n" + number(s11) + "\n" + number(s12) + " " +
           number(s22) + "\n40\n0 40\n";
}

// The listing records from the bending messages heading on.
Records bending_listing(const std::string& input, const std::vector<std::string>& settings) {
    tk_test::TempDir dir;
    dir.write("bend.kin", input);
    std::vector<std::string> records = {"bend.kin", ""};
    records.insert(records.end(), settings.begin(), settings.end());
    dir.write(kirv_test::control_name, control_text(1, records));
    const auto out = run_kirv(dir);
    EXPECT_EQ(out.exit_status, 0);
    EXPECT_EQ(tk_test::without_warnings(out.errors), "");
    return listing_records(dir);
}

// G0 = ((1, 2), (2, 1)), eigenvalues 3 and -1: towards the identity with a
// minimum of 0.1005 the factor is 0.551, the bent eigenvalues 1.898 and 0.102
// and the bent matrix 0.449 G0 + 0.551 I = ((1, 0.898), (0.898, 1)).
TEST(KirvBending, BendsTowardsTheIdentity) {
    const Records listing = bending_listing(bending_input(30, 20, 30), {all_switches_on, "", "1", "", "0.1005"});
    const Records expected = {
        ">>> B E N D I N G  M E S S A G E S <<<",
        " ",
        " => BENDING REQUESTED",
        " => MESSAGE: NO REFERENCE MATRIX SPECIFIED, IDENTITY MATRIX WAS USED",
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
        "             WT             BF",
        " ",
        "WT          1.0000000      2.0000000",
        "BF          2.0000000      1.0000000",
        " ",
        " ",
        "** GENETIC VARIANCE-COVARIANCE MATRIX (G_GROUP LEVEL) **",
        " ",
        "             WT             BF",
        " ",
        "WT          1.0000000     0.89800000",
        "BF         0.89800000      1.0000000",
    };
    EXPECT_EQ(slice(listing, expected.front(), expected.size()), expected);
    EXPECT_EQ(slice(listing, "    Do bending for genetic VC matrix if needed       YES", 3),
              (Records{"    Do bending for genetic VC matrix if needed       YES",
                       "    ID number for reference VC matrix                  0 (IDENTITY)",
                       "    Lowest eigenvalue for bended VC matrix         0.101"}));
}

TEST(KirvBending, Outcomes) {
    const std::string flag_be_off = "1 0 1 1 1 1 1 1 1 1 1 1";
    const struct {
        const char* name;
        std::string input;
        std::vector<std::string> settings;  // switches, relationship, group, reference, minimum
        Records after_request;              // the records after " => BENDING REQUESTED"
    } cases[] = {
        {"not needed: eigenvalues 0.44 and 4.56", bending_input(50, 20, 40), {all_switches_on, "", "1", "", "0"},
         {" => MESSAGE: NOT NECESSARY FOR THE CURRENT GENETIC VC MATRIX", " ", " ", ">>> R E S U L T S <<<", " ", " ",
          "** GENETIC VARIANCE-COVARIANCE MATRIX (G_GROUP LEVEL) **"}},
        {"limit missed: the scaled identity has eigenvalues 1", bending_input(30, 20, 30),
         {all_switches_on, "", "1", "", "2"},
         {" => ERROR: REQUIRED LIMIT OF THE LOWEST EIGENVALUE WAS FAILED", "           SET A SMALLER VALUE AND TRY AGAIN",
          " ", " ", ">>> R E S U L T S <<<", " ", " ", "** GENETIC VARIANCE-COVARIANCE MATRIX (G_GROUP LEVEL) **", " ",
          "             WT             BF", " ", "WT          1.0000000      2.0000000"}},  // VC keeps its unbent values
        {"unsuitable reference: G0 = -I", bending_input(10, 0, 10), {all_switches_on, "", "1", "", "0"},
         {" => ERROR: THE REFERENCE MATRIX IS NOT SUITABLE. BENDING FAILED",
          "           USE ANOTHER REFERENCE MATRIX AND TRY AGAIN", " ", " ", ">>> R E S U L T S <<<"}},
        {"reference ID beyond the effects", bending_input(30, 20, 30), {flag_be_off, "", "1", "7", "0.1005"},
         {" => MESSAGE: NO REFERENCE MATRIX SPECIFIED, IDENTITY MATRIX WAS USED", " ", " ", ">>> R E S U L T S <<<", " ",
          " ", "** GENETIC VARIANCE-COVARIANCE MATRIX (G_GROUP LEVEL) **", " ", "             WT             BF", " ",
          "WT          1.0000000     0.89800000"}},
    };
    for (const auto& c : cases) {
        const Records listing = bending_listing(c.input, c.settings);
        Records expected = {" => BENDING REQUESTED"};
        expected.insert(expected.end(), c.after_request.begin(), c.after_request.end());
        EXPECT_EQ(slice(listing, expected.front(), expected.size()), expected) << c.name;
    }
    const Records memo = bending_listing(bending_input(30, 20, 30), {flag_be_off, "", "1", "7", "0.1005"});
    EXPECT_EQ(slice(memo, "    ID number for reference VC matrix                  0 (IDENTITY)", 1).size(), 1u);
}

TEST(KirvBending, SummaryRecordsWithoutAListing) {
    tk_test::TempDir dir;
    dir.write("bend.kin", bending_input(30, 20, 30) + "BEN = 1\nMIN = 0.1005\nGEN = 1\n");
    dir.write(kirv_test::control_name, control_text(0, {"bend.kin"}));
    const auto out = run_kirv(dir);
    EXPECT_EQ(out.exit_status, 0);
    EXPECT_EQ(tk_test::without_warnings(out.errors), "");
    const Records summary = records_of(dir.read(summary_name));
    ASSERT_EQ(summary.size(), 1u + 3u + 8u * 2u + 4u);
    const std::vector<std::vector<double>> expected = {
        {0, 2, 2, 1, 1, 0, 0.25, static_cast<double>(0.1005f), 0}, {0.551}, {3, -1}, {1.898, 0.102}, {1, 0.898}};
    for (std::size_t i = 0; i < expected.size(); ++i) {
        const std::vector<double> got = kirv_test::numbers_of(summary[i]);
        ASSERT_EQ(got.size(), expected[i].size()) << "record " << i + 1;
        for (std::size_t k = 0; k < got.size(); ++k) EXPECT_NEAR(got[k], expected[i][k], 1e-12) << "record " << i + 1;
    }
}

// ------------------------------------------------------------ elapsed time

TEST(ElapsedTime, SecondsBelowAnHourThenHours) {
    const struct {
        double seconds;
        const char* text;
    } cases[] = {
        {0.0, "  The program has used 0.00 seconds."},
        {12.345, "  The program has used 12.35 seconds."},
        {3599.99, "  The program has used 3599.99 seconds."},
        {3600.0, "  The program has used 1.00 hours."},
        {9000.0, "  The program has used 2.50 hours."},
    };
    for (const auto& c : cases) EXPECT_EQ(kirv::elapsed_time_text(c.seconds), c.text) << c.seconds;
}

}  // namespace
