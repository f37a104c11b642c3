// kirv started with arguments, end to end: each option reaches the setting of
// its control record, usage errors, the listing on standard output, exit
// statuses, the JSON results against the summary file, the listing and hand
// calculations, and the files a failed run leaves (none under the JSON name).
#include "common/cli.hpp"
#include "kirv/command_line.hpp"
#include "kirv_run_support.hpp"

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <sstream>

namespace {

using kirv_test::box;
using kirv_test::control_text;
using kirv_test::files_in;
using kirv_test::records_of;
using kirv_test::run_kirv;
using kirv_test::run_kirv_args;
using Args = std::vector<std::string>;
using Records = std::vector<std::string>;
using nlohmann::json;

// Herd, sire and residual, two traits, from known components:
// VC(herd) = ((2, 0.5), (0.5, 1)), VC(sire) = ((1, 2), (2, 1)) with the
// eigenvalues 3 and -1, VC(residual) = ((9, 1), (1, 5)); E[MS(herd)] =
// 6 herd + 2 sire + residual, E[MS(sire)] = 2 sire + residual; DF 10, 20, 30.
const std::string matrices = "EMS / UP\n6 2 1\n2 1\n1\nSS / LOW\n230\n80 130\n220\n100 140\n270\n30 150\n";
const std::string settings_lines = "REL = 0.3\nGEN = 2\nREF = 1\nMIN = 0.2\nPRI = vcgg, h2g, rg, be\n";
const tk::Matrix herd_vc = [] {
    tk::Matrix m(2, 2);
    m.v = {2, 0.5, 0.5, 1};
    return m;
}();

std::string three_effects(const std::string& lines) {
    return "Herd, sire and residual\nDF = 10 20 30\nTraits {WT} {BF}\n" + lines + matrices;
}

// The listing without its time and date lines, trailing blanks removed.
Records comparable(const std::string& listing) {
    Records records;
    for (std::string r : records_of(listing)) {
        if (r.rfind("    Time: ", 0) == 0 || r.rfind("    Date: ", 0) == 0) continue;
        records.push_back(r == " " ? r : kirv_test::trimmed(r));
    }
    return records;
}

// The listing of a run from a control file (records 3 to 7 as given).
Records listing_from_control(const std::string& input, const Records& settings) {
    tk_test::TempDir dir;
    dir.write("d.kin", input);
    Records records = {"d.kin", ""};
    records.insert(records.end(), settings.begin(), settings.end());
    dir.write(kirv_test::control_name, control_text(1, records));
    const auto out = run_kirv(dir);
    EXPECT_EQ(out.exit_status, 0);
    EXPECT_EQ(tk_test::without_warnings(out.errors), "");
    return comparable(dir.read("kirv.lst"));
}

// The listing of a run from the command line "kirv d.kin args...".
Records listing_from_arguments(const std::string& input, const Args& args) {
    tk_test::TempDir dir;
    dir.write("d.kin", input);
    Args all = {"d.kin"};
    all.insert(all.end(), args.begin(), args.end());
    const auto out = run_kirv_args(dir, all);
    EXPECT_EQ(out.exit_status, 0);
    EXPECT_EQ(tk_test::without_warnings(out.errors), "");
    EXPECT_EQ(out.output, "");
    return comparable(dir.read("kirv.lst"));
}

// ------------------------------------------------------------ the same settings as the control file

TEST(KirvCommandLine, EachOptionReachesTheSettingOfItsControlRecord) {
    const std::string bend = settings_lines + "BEN = 1\n";
    const struct {
        const char* name;
        std::string lines;  // the data file's settings
        Records control;    // control records 3 to 7
        Args args;
    } cases[] = {
        {"the data file's settings alone", bend, {}, {}},
        {"relationship", settings_lines, {"", "0.4"}, {"--relationship", "0.4"}},
        {"genetic group", bend, {"", "", "1"}, {"--genetic-group", "1"}},
        {"no bending, every print item", bend, {"0 1 1 1 1 1 1 1 1 1 1 1"},
         {"--no-bend", "--print", "be,vcgg,vcpg,vcgi,vcpi,h2g,h2i,rg,srg,rp,srp"}},
        {"bending; PRI from the file", settings_lines + "BEN = 0\n", {"1 1 1 0 0 0 1 0 1 0 0 0"}, {"--bend"}},
        {"print items; BEN from the file", bend, {"1 0 0 0 1 0 0 1 0 1 0 1"}, {"--print", "VCGI h2i/srg,srp"}},
        {"no print item", settings_lines, {"0 0 0 0 0 0 0 0 0 0 0 0"}, {"--no-bend", "--print", ""}},
        {"identity reference", bend, {"", "", "", "0"}, {"--reference", "0"}},
        {"minimum eigenvalue", bend, {"", "", "", "", "0.5"}, {"--min-eigenvalue", "0.5"}},
        {"every option", "GEN = 1\n", {"1 0 1 1 1 1 1 1 1 1 1 1", "0.5", "2", "1", "0.1"},
         {"--bend", "--print", "vcgg vcpg vcgi vcpi h2g h2i rg srg rp srp", "--relationship", "0.5",
          "--genetic-group", "2", "--reference", "1", "--min-eigenvalue", "0.1"}},
    };
    for (const auto& c : cases) {
        const Records from_arguments = listing_from_arguments(three_effects(c.lines), c.args);
        EXPECT_GT(from_arguments.size(), 15u) << c.name;  // the memo at least
        EXPECT_EQ(from_arguments, listing_from_control(three_effects(c.lines), c.control)) << c.name;
        // Every option changes the listing of the data file alone, so the
        // comparison is not of two runs that both ignored it.
        if (!c.args.empty()) {
            EXPECT_NE(from_arguments, listing_from_arguments(three_effects(c.lines), {})) << c.name;
        }
    }
}

// ------------------------------------------------------------ usage errors, help, version

TEST(KirvCommandLine, UsageErrors) {
    const struct {
        Args args;
        std::string message;
    } cases[] = {
        {{"d.kin", "--genetic-group", "2.5"}, "--genetic-group: '2.5' is not a whole number"},
        {{"d.kin", "--reference", "1e1"}, "--reference: '1e1' is not a whole number"},
        {{"d.kin", "--relationship", "0.3x"}, "--relationship: '0.3x' is not a number"},
        {{"d.kin", "--relationship", "1.5"}, "--relationship: 1.5 is outside its range (above 0, at most 1)"},
        {{"d.kin", "--min-eigenvalue", "nan"}, "--min-eigenvalue: 'nan' is not a number"},
        {{"d.kin", "--bend", "--min-eigenvalue", "-1"}, "--min-eigenvalue: -1 is outside its range (at least 0)"},
        {{"d.kin", "--relationship"}, "--relationship: 1 required TEXT missing"},
        {{"d.kin", "--print", "vcgg,bogus"},
         "--print: 'bogus' is not a print item (be vcgg vcpg vcgi vcpi h2g h2i rg srg rp srp)"},
        {{"d.kin", "--bend", "--no-bend"}, "--bend excludes --no-bend"},
        {{"d.kin", "other.kin"}, "The following argument was not expected: other.kin"},
        {{"d.kin", "--group", "2"}, "The following arguments were not expected: 2 --group"},
        {{"-o", "x.lst"}, "DATA is required"},
        {{"d.kin", "-o", ""}, "-o: the listing file name is empty"},
        {{"d.kin", "-o", "-", "--json", "-"}, "the listing and the JSON results cannot both go to standard output"},
        {{"d.kin", "-o", "./d.kin"}, "-o: './d.kin' is the data file"},
        {{"d.kin", "--json", "d.kin"}, "--json: 'd.kin' is the data file"},
        {{"d.kin", "-o", "r.out", "--json", "r.out"}, "--json: 'r.out' is the listing file"},
        {{"d.kin", "--json", "sub"}, "--json: 'sub' is a directory"},
        {{"d.kin", "--line-ends", "cr"}, "--line-ends: 'cr' is not unix or dos"},
        {{"d.kin", "--report", "-", "--json", "-"},
         "only one of the listing, the JSON results and the report can go to standard output"},
        {{"d.kin", "-o", "k.lst", "--report", "k.lst"}, "--report: 'k.lst' is the listing file"},
        {{"d.kin", "--tables", "sub", "--json", "sub/bending.csv"}, "--tables: 'sub/bending.csv' would be the JSON file"},
    };
    for (const auto& c : cases) {
        tk_test::TempDir dir;
        dir.write("d.kin", three_effects(settings_lines));
        std::filesystem::create_directory(dir.path / "sub");
        const auto out = run_kirv_args(dir, c.args);
        EXPECT_EQ(out.exit_status, 2) << c.message;
        EXPECT_EQ(out.errors, box(c.message) + "Run 'kirv --help' for the options.\n");
        EXPECT_EQ(out.output, "") << c.message;
        EXPECT_EQ(files_in(dir), (Records{"d.kin", "sub"})) << c.message;  // nothing read or written
    }
}

TEST(KirvCommandLine, HelpAndVersion) {
    tk_test::TempDir dir;
    const auto version = run_kirv_args(dir, {"--version"});
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_EQ(version.output, "kirv 1.0\n");
    const auto help = run_kirv_args(dir, {"--help"});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_EQ(help.errors, "");
    for (const char* option : {"DATA", "-o,--listing", "--relationship", "--genetic-group", "--bend", "--no-bend",
                               "--reference", "--min-eigenvalue", "--print", "--json", "--version", "Exit status"})
        EXPECT_NE(help.output.find(option), std::string::npos) << option;
    EXPECT_TRUE(files_in(dir).empty());
}

// ------------------------------------------------------------ listing on standard output, exit statuses

TEST(KirvCommandLine, ListingOnStandardOutput) {
    tk_test::TempDir dir;
    dir.write("d.kin", three_effects(settings_lines + "BEN = 1\n"));
    const auto out = run_kirv_args(dir, {"d.kin", "-o", "-"});
    EXPECT_EQ(out.exit_status, 0);
    EXPECT_EQ(out.errors, "");
    EXPECT_EQ(files_in(dir), Records{"d.kin"});
    const Records listed = comparable(out.output);
    EXPECT_EQ(listed, listing_from_arguments(three_effects(settings_lines + "BEN = 1\n"), {}));
    EXPECT_EQ(out.output.substr(out.output.size() - 3), " \r\n");  // the same CR LF records as the file
}

TEST(KirvCommandLine, ExitStatuses) {
    const std::string good = three_effects(settings_lines);
    const struct {
        const char* name;
        std::string input;
        Args args;
        int status;
        std::string errors;
    } cases[] = {
        {"completed", good, {"d.kin"}, 0, ""},
        {"data file missing", good, {"absent.kin"}, 1, box("Cannot find the data file for KIRV module! There is no file 'absent.kin'.")},
        {"no genetic group", three_effects(""), {"d.kin"}, 1,
         box("ID of genetic group is not specified! Choose it with --genetic-group.")},
        {"no plain choice among names", "//EFFECT 1 = flock\n//EFFECT 2 = sire\n//EFFECT 3 = Error\n" + three_effects(""),
         {"d.kin"}, 1,
         box("ID of genetic group is not specified! Choose it with --genetic-group, by name or number, among the "
             "effects 1 (flock), 2 (sire).")},
        {"genetic group out of range", good, {"d.kin", "--genetic-group", "4"}, 1,
         box("Error ID of genetic group specified!")},
        {"a name led by a digit", "//EFFECT 1 = herd\n//EFFECT 2 = 2nd_sire\n//EFFECT 3 = Error\n" + good,
         {"d.kin", "--genetic-group", "2nd_sire"}, 0, ""},
        {"the same without names", good, {"d.kin", "--genetic-group", "2nd_sire"}, 1,
         box("The data file names no effects, so the genetic group '2nd_sire' must be given by its number (1 to 2)!")},
        {"reference out of range", good, {"d.kin", "--bend", "--reference", "4"}, 1,
         box("The reference ID 4 is not an effect number 1 to 3, nor 0 for the identity matrix!")},
        {"the same without bending", good, {"d.kin", "--reference", "-1"}, 1,
         box("The reference ID -1 is not an effect number 1 to 3, nor 0 for the identity matrix!")},
        {"relationship 0", good, {"d.kin", "--relationship", "0"}, 2,
         box("--relationship: 0 is outside its range (above 0, at most 1)") + "Run 'kirv --help' for the options.\n"},
        {"listing cannot be opened", good, {"d.kin", "-o", "sub"}, 2,
         box("-o: 'sub' is a directory") + "Run 'kirv --help' for the options.\n"},
        {"usage", good, {"d.kin", "--bogus"}, 2,
         box("The following argument was not expected: --bogus") + "Run 'kirv --help' for the options.\n"},
    };
    for (const auto& c : cases) {
        tk_test::TempDir dir;
        dir.write("d.kin", c.input);
        std::filesystem::create_directory(dir.path / "sub");
        const auto out = run_kirv_args(dir, c.args);
        EXPECT_EQ(out.exit_status, c.status) << c.name;
        EXPECT_EQ(tk_test::without_warnings(out.errors), c.errors) << c.name;
    }
    // A bending that fails still ends in order, and says so on standard error.
    tk_test::TempDir dir;
    dir.write("d.kin", good);
    const auto failed = run_kirv_args(dir, {"d.kin", "--bend", "--min-eigenvalue", "1e9"});
    EXPECT_EQ(failed.exit_status, 0);
    EXPECT_EQ(failed.errors.rfind("Warning: Bending failed: ERROR: REQUIRED LIMIT OF THE LOWEST EIGENVALUE WAS FAILED; "
                                  "SET A SMALLER VALUE AND TRY AGAIN. Every parameter is computed from the matrices "
                                  "as estimated.\n",
                                  0),
              0u)
        << failed.errors;
}

TEST(KirvCommandLine, OutOfMemory) {
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
    dir.write("r.json", "{}");  // an earlier run's results
    const auto out = run_kirv_args(dir, {"big.kin", "--json", "r.json"}, "ulimit -v 300000; ");
    EXPECT_EQ(out.exit_status, 255);
    EXPECT_EQ(out.errors, box("Out of memory!"));
    EXPECT_EQ(files_in(dir), (Records{"big.kin"}));
}

// ------------------------------------------------------------ JSON results

json read_json(const tk_test::TempDir& dir, const std::string& name) { return json::parse(dir.read(name)); }

std::vector<double> row_of(const json& matrix, std::size_t i) { return matrix.at(i).get<std::vector<double>>(); }

// The same run twice: without a listing (summary file) from a control file,
// and from the command line with --json. Both write the shortest digits that
// read back to the same 8-byte value, so the numbers agree exactly.
TEST(KirvJson, EveryNumberOfTheSummaryFile) {
    const std::string input = three_effects(settings_lines + "BEN = 1\n");
    tk_test::TempDir host, shell;
    host.write("d.kin", input);
    host.write(kirv_test::control_name, control_text(0, {"d.kin"}));
    ASSERT_EQ(run_kirv(host).exit_status, 0);
    shell.write("d.kin", input);
    ASSERT_EQ(run_kirv_args(shell, {"d.kin", "--json", "r.json"}).exit_status, 0);

    std::vector<std::vector<double>> summary;
    for (const std::string& r : records_of(host.read(kirv_test::summary_name))) summary.push_back(kirv_test::numbers_of(r));
    ASSERT_EQ(summary.size(), 1u + 3u + 8u * 2u + 4u);  // first record, bending records, results
    const json j = read_json(shell, "r.json");
    const json& s = j["settings"];
    const auto number = [](const json& x) { return x.get<double>(); };
    EXPECT_EQ(summary[0], (std::vector<double>{0, number(j["effects"]), static_cast<double>(j["traits"].size()),
                                               s["bending"].get<bool>() ? 1.0 : 0.0, number(s["genetic_group"]),
                                               number(s["reference"]), number(s["relationship"]),
                                               number(s["minimum_eigenvalue"]), 0}));
    const json& b = j["bending"];
    EXPECT_EQ(summary[1], std::vector<double>{b["factor"].get<double>()});
    EXPECT_EQ(summary[2], b["original_eigenvalues"].get<std::vector<double>>());
    EXPECT_EQ(summary[3], b["bent_eigenvalues"].get<std::vector<double>>());

    // Then 4 matrices of 2 rows, 4 vectors, 4 matrices of 2 rows.
    std::size_t next = 4;
    for (const json* m : {&j["group_level"]["genetic"], &j["group_level"]["phenotypic"], &j["individual_level"]["genetic"],
                          &j["individual_level"]["phenotypic"]})
        for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(summary[next++], row_of(*m, i)) << "record " << next;
    for (const json* level : {&j["group_level"], &j["individual_level"]}) {
        EXPECT_EQ(summary[next++], (*level)["heritability"]["value"].get<std::vector<double>>());
        EXPECT_EQ(summary[next++], (*level)["heritability"]["standard_error"].get<std::vector<double>>());
    }
    for (const json* c : {&j["genetic_correlations"], &j["phenotypic_correlations"]})
        for (const char* part : {"value", "standard_error"})
            for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(summary[next++], row_of((*c)[part], i)) << "record " << next;
}

TEST(KirvJson, SettingsInputsAndComponents) {
    tk_test::TempDir dir;
    dir.write("d.kin", three_effects(settings_lines + "BEN = 1\n"));
    ASSERT_EQ(run_kirv_args(dir, {"d.kin", "--json", "r.json", "--print", "rg,be"}).exit_status, 0);
    const json j = read_json(dir, "r.json");
    EXPECT_EQ(j["program"], "kirv");
    EXPECT_EQ(j["schema_version"], 1);
    const json expected_settings = {
        {"data_file", "d.kin"},
        {"listing_file", "kirv.lst"},
        {"relationship", static_cast<double>(0.3f)},  // data file numbers pass through 4-byte reals
        {"genetic_group", 2},
        {"genetic_group_name", nullptr},  // the data file names no effects
        {"genetic_group_chosen_by_kirv", nullptr},
        {"bending", true},
        {"reference", 1},
        {"reference_name", nullptr},
        {"minimum_eigenvalue", static_cast<double>(0.2f)},
        {"print",
         {{"be", 1}, {"vcgg", 0}, {"vcpg", 0}, {"vcgi", 0}, {"vcpi", 0}, {"h2g", 0}, {"h2i", 0}, {"rg", 1}, {"srg", 0},
          {"rp", 0}, {"srp", 0}}},
        {"replaced", json::array()},
    };
    EXPECT_EQ(j["settings"], expected_settings);
    EXPECT_EQ(j["effects"], 3);
    EXPECT_EQ(j["degrees_of_freedom"].get<std::vector<double>>(), (std::vector<double>{10, 20, 30}));
    EXPECT_EQ(j["traits"].get<std::vector<std::string>>(), (std::vector<std::string>{"WT", "BF"}));

    const std::vector<std::vector<double>> components[] = {{{2, 0.5}, {0.5, 1}}, {{1, 2}, {2, 1}}, {{9, 1}, {1, 5}}};
    const json& estimated = j["variance_components"]["estimated"];
    const json& used = j["variance_components"]["used"];
    ASSERT_EQ(estimated.size(), 3u);
    for (std::size_t k = 0; k < 3; ++k)
        for (std::size_t r = 0; r < 2; ++r)
            for (std::size_t c = 0; c < 2; ++c) {
                EXPECT_NEAR(estimated[k][r][c].get<double>(), components[k][r][c], 1e-12) << k << r << c;
                // The bent sire matrix replaces the estimate; herd and residual stay.
                const json& want = k == 1 ? j["bending"]["bent_matrix"][r][c] : estimated[k][r][c];
                EXPECT_EQ(used[k][r][c], want) << k << r << c;
            }
    EXPECT_EQ(j["group_level"]["genetic"], j["bending"]["bent_matrix"]);
}

// The numbers of the listing record `offset` records after a heading, without
// the leading trait name of `name_width` characters.
std::vector<double> listed_numbers(const Records& listing, const std::string& heading, std::size_t offset,
                                   std::size_t name_width = 0) {
    const auto at = std::find(listing.begin(), listing.end(), heading);
    if (at == listing.end() || static_cast<std::size_t>(listing.end() - at) <= offset) return {};
    return kirv_test::numbers_of((at + static_cast<std::ptrdiff_t>(offset))->substr(name_width));
}

void expect_close(const std::vector<double>& listed, const std::vector<double>& exact, double tolerance,
                  const std::string& what) {
    ASSERT_EQ(listed.size(), exact.size()) << what;
    for (std::size_t i = 0; i < exact.size(); ++i)
        EXPECT_NEAR(listed[i], exact[i], tolerance * std::max(1.0, std::abs(exact[i]))) << what << " " << i;
}

TEST(KirvJson, AgreesWithTheListing) {
    tk_test::TempDir dir;
    dir.write("d.kin", three_effects(settings_lines + "BEN = 1\n"));
    ASSERT_EQ(run_kirv_args(dir, {"d.kin", "--json", "r.json", "--print", "be vcpi h2i rp srg"}).exit_status, 0);
    const json j = read_json(dir, "r.json");
    const Records listing = comparable(dir.read("kirv.lst"));
    const double g15 = 1e-7, f15 = 1e-8;  // G15.8: 8 significant digits; F15.8: 8 decimals
    const json& b = j["bending"];
    expect_close(listed_numbers(listing, "** RESULTS OF BENDING **", 2, 17), {b["factor"].get<double>()}, 1e-3, "factor");
    expect_close(listed_numbers(listing, "** RESULTS OF BENDING **", 8), b["original_eigenvalues"], g15, "original");
    expect_close(listed_numbers(listing, "** RESULTS OF BENDING **", 15), b["bent_eigenvalues"], g15, "bent");
    for (std::size_t i = 0; i < 2; ++i) {
        expect_close(listed_numbers(listing, "Original genetic variance-covariance matrix (g_group level)", 4 + i, 8),
                     row_of(j["variance_components"]["estimated"][1], i), g15, "original matrix");
        expect_close(listed_numbers(listing, "** PHENOTYPIC VARIANCE-COVARIANCE MATRIX (INDIVIDUAL LEVEL) **", 4 + i, 8),
                     row_of(j["individual_level"]["phenotypic"], i), g15, "Pi");
        expect_close(listed_numbers(listing, "** PHENOTYPIC CORRELATIONS **", 4 + i, 8),
                     row_of(j["phenotypic_correlations"]["value"], i), f15, "rp");
        expect_close(listed_numbers(listing, "** STANDARD ERRORS OF GENETIC CORRELATIONS **", 4 + i, 8),
                     row_of(j["genetic_correlations"]["standard_error"], i), f15, "srg");
    }
    const json& h = j["individual_level"]["heritability"];
    expect_close(listed_numbers(listing, "** INDIVIDUAL HERITABILITIES AND THEIR STANDARD ERRORS **", 4), h["value"], f15, "h2i");
    expect_close(listed_numbers(listing, "** INDIVIDUAL HERITABILITIES AND THEIR STANDARD ERRORS **", 5),
                 h["standard_error"], f15, "se h2i");
}

// One effect (DF 10) and the residual (DF 20), EMS ((1, 1), (0, 1)), the
// genetic group effect 1: VC(1) = SS1 / 10 - SS2 / 20. Lower triangles.
std::string two_effects(const std::string& ss1, const std::string& ss2) {
    return "DF = 10 20\nTraits {WT} {BF}\nGEN = 1\nEMS UP\n1 1\n1\nSS LOW\n" + ss1 + ss2;
}

TEST(KirvJson, BendingOutcomes) {
    const std::string g0 = "30\n20 30\n", residual = "40\n0 40\n";  // VC(1) = ((1, 2), (2, 1)), VC(2) = 2 I
    const std::string limit_missed[] = {"ERROR: REQUIRED LIMIT OF THE LOWEST EIGENVALUE WAS FAILED",
                                        "SET A SMALLER VALUE AND TRY AGAIN"};
    const std::string unsuitable[] = {"ERROR: THE REFERENCE MATRIX IS NOT SUITABLE. BENDING FAILED",
                                      "USE ANOTHER REFERENCE MATRIX AND TRY AGAIN"};
    const struct {
        const char* name;
        std::string input;
        Args args;
        json outcome;                      // null: not requested
        std::vector<std::string> messages;
        bool applied;
        json factor;                       // null where no step ran
        std::vector<double> original;      // descending; empty: null
        std::vector<double> bent;          // empty: null
        bool singular;
    } cases[] = {
        {"not requested", two_effects(g0, residual), {"--no-bend"}, nullptr, {}, false, nullptr, {}, {}, false},
        {"not needed: eigenvalues 4.56 and 0.44", two_effects("50\n20 40\n", residual), {"--bend"}, 2,
         {"MESSAGE: NOT NECESSARY FOR THE CURRENT GENETIC VC MATRIX"}, false, nullptr,
         {2.5 + std::sqrt(4.25), 2.5 - std::sqrt(4.25)}, {}, false},
        {"towards the identity", two_effects(g0, residual), {"--bend", "--min-eigenvalue", "0.1005"}, 7,
         {"MESSAGE: NO REFERENCE MATRIX SPECIFIED, IDENTITY MATRIX WAS USED"}, true, 0.551, {3, -1}, {1.898, 0.102}, false},
        {"unsuitable reference: G0 = -I", two_effects("10\n0 10\n", residual), {"--bend"}, 5,
         {unsuitable[0], unsuitable[1]}, false, 1.0, {-1, -1}, {-1, -1}, false},
        {"limit missed: the scaled identity has eigenvalues 1", two_effects(g0, residual),
         {"--bend", "--min-eigenvalue", "2"}, 6, {limit_missed[0], limit_missed[1]}, false, 1.0, {3, -1}, {1, 1}, false},
        // VC(2) = ((2, 2), (2, 2)) is singular; VC(1) = MS1 - VC(2) is G0 again.
        {"singular reference", two_effects("30\n40 30\n", "40\n40 40\n"),
         {"--bend", "--reference", "2", "--min-eigenvalue", "0.1005"}, 7,
         {"MESSAGE: REFERENCE MATRIX IS SINGULAR, USE IDENTITY MATRIX INSTEAD"}, true, 0.551, {3, -1}, {1.898, 0.102},
         true},
    };
    for (const auto& c : cases) {
        tk_test::TempDir dir;
        dir.write("d.kin", c.input);
        Args args = {"d.kin", "--json", "r.json"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ASSERT_EQ(run_kirv_args(dir, args).exit_status, 0) << c.name;
        const json b = read_json(dir, "r.json")["bending"];
        EXPECT_EQ(b["requested"], !c.outcome.is_null()) << c.name;
        EXPECT_EQ(b["outcome"], c.outcome) << c.name;
        EXPECT_EQ(b["messages"].get<std::vector<std::string>>(), c.messages) << c.name;
        EXPECT_EQ(b["applied"], c.applied) << c.name;
        EXPECT_EQ(b["reference_singular"], c.singular) << c.name;
        if (c.singular) {
            EXPECT_EQ(b["reference"], 0) << c.name;
        }
        if (c.factor.is_null()) EXPECT_TRUE(b["factor"].is_null()) << c.name;
        else EXPECT_NEAR(b["factor"].get<double>(), c.factor.get<double>(), 1e-12) << c.name;
        if (c.original.empty()) EXPECT_TRUE(b["original_eigenvalues"].is_null()) << c.name;
        else expect_close(b["original_eigenvalues"], c.original, 1e-12, c.name);
        if (c.bent.empty()) EXPECT_TRUE(b["bent_eigenvalues"].is_null() && b["bent_matrix"].is_null()) << c.name;
        else expect_close(b["bent_eigenvalues"], c.bent, 1e-12, c.name);
    }
}

// ------------------------------------------------------------ files never seen half-written

TEST(KirvJson, OnlyACompletedRunLeavesTheFile) {
    const struct {
        const char* name;
        std::string input;
        Args args;
        int status;
        Records files;  // besides d.kin and an earlier r.json that a failed run removes
    } cases[] = {
        {"completed", three_effects(settings_lines), {"d.kin", "--json", "r.json"}, 0, {"d.kin", "kirv.lst", "r.json"}},
        {"input error", three_effects(""), {"d.kin", "--json", "r.json"}, 1, {"d.kin"}},
        {"data file missing", "", {"absent.kin", "--json", "r.json"}, 1, {"d.kin"}},
        {"JSON directory missing", three_effects(settings_lines), {"d.kin", "--json", "none/r.json"}, 2,
         {"d.kin", "r.json"}},
    };
    for (const auto& c : cases) {
        tk_test::TempDir dir;
        dir.write("d.kin", c.input);
        dir.write("r.json", "{\"earlier\": true}");
        const auto out = run_kirv_args(dir, c.args);
        EXPECT_EQ(out.exit_status, c.status) << c.name;
        EXPECT_EQ(files_in(dir), c.files) << c.name;  // no temporary file either
        if (c.status == 0) {
            EXPECT_EQ(read_json(dir, "r.json")["program"], "kirv") << c.name;
        }
    }
    tk_test::TempDir dir;
    dir.write("d.kin", three_effects(settings_lines));
    EXPECT_EQ(run_kirv_args(dir, {"d.kin", "--json", "none/r.json"}).errors,
              box("--json: 'none/r.json' cannot be written: the folder 'none' does not exist") +
                  "Run 'kirv --help' for the options.\n");
}

TEST(KirvJson, OnStandardOutput) {
    tk_test::TempDir dir;
    dir.write("d.kin", three_effects(settings_lines + "BEN = 1\n"));
    const auto out = run_kirv_args(dir, {"d.kin", "--json", "-", "-o", "r.lst"});
    ASSERT_EQ(out.exit_status, 0);
    ASSERT_EQ(run_kirv_args(dir, {"d.kin", "--json", "r.json", "-o", "r.lst"}).exit_status, 0);
    json from_stdout = json::parse(out.output);
    EXPECT_EQ(from_stdout["settings"]["listing_file"], "r.lst");
    EXPECT_EQ(from_stdout, read_json(dir, "r.json"));
}

// ------------------------------------------------------------ the command line in process

TEST(CommandLine, SettingsNotGivenStayOpen) {
    std::ostringstream out, err;
    const kirv::CommandLine plain = kirv::read_command_line({"d.kin"}, out, err);
    ASSERT_TRUE(plain.run);
    const kirv::ControlSettings& g = plain.request.given;
    EXPECT_EQ(g.data_file, "d.kin");
    EXPECT_EQ(g.listing_file, "kirv.lst");
    EXPECT_EQ(plain.request.json_file, "");
    EXPECT_FALSE(g.bending || g.print_flags || g.relative || g.genetic_group_id || g.reference_id ||
                 g.minimum_eigenvalue);

    // Ranges that depend on the data file (the reference, the genetic group)
    // are checked by its reader.
    const kirv::CommandLine full = kirv::read_command_line(
        {"d.kin", "--relationship=0.1", "--min-eigenvalue", "1e-3", "--reference", "+7", "--genetic-group", "-2",
         "--print", "", "--no-bend", "-o", "-", "--json", "r.json"},
        out, err);
    ASSERT_TRUE(full.run) << err.str();
    const kirv::ControlSettings& f = full.request.given;
    EXPECT_EQ(f.relative, 0.1);
    EXPECT_EQ(f.minimum_eigenvalue, 1e-3);
    EXPECT_EQ(f.reference_id, 7);
    EXPECT_EQ(f.genetic_group_id, -2);
    EXPECT_EQ(f.print_flags, kirv::PrintFlags{});
    EXPECT_EQ(f.bending, 0);
    EXPECT_EQ(f.listing_file, "-");
    EXPECT_EQ(full.request.json_file, "r.json");
    EXPECT_TRUE(full.request.standard_streams);
    EXPECT_EQ(out.str() + err.str(), "");
}

TEST(CommandLine, PrintItems) {
    const struct {
        const char* text;
        kirv::PrintFlags flags;
        const char* unknown;
    } cases[] = {
        {"vcgg,h2g", {0, 1, 0, 0, 0, 1, 0, 0, 0, 0, 0}, ""},
        {"", {}, ""},
        {" , ", {}, ""},
        {"BEND/rg SRP", {1, 0, 0, 0, 0, 0, 0, 1, 0, 0, 1}, ""},  // as on a PRI line: the first 4 characters count
        {"vcgg,vcgx,h2z", {0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "vcgx"},
        {"sr", {}, "sr"},
    };
    for (const auto& c : cases) {
        const kirv::PrintItems items = kirv::parse_print_items(c.text);
        EXPECT_EQ(items.flags, c.flags) << c.text;
        EXPECT_EQ(items.unknown, c.unknown) << c.text;
    }
}

}  // namespace
