// tarvel started with arguments, end to end: each option plays its control
// record's part, usage errors, exit statuses, the listing on standard output,
// the JSON results against the listing and the host's results, and the files
// a run leaves (no host files; no JSON after a failed run).
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <sstream>

#include "tarvel/command_line.hpp"
#include "tests/tarvel/tarvel_run_support.hpp"

namespace {

using tarvel_test::ControlFile;
using tarvel_test::RunResult;
using tarvel_test::TarvelRun;
using tk_test::box;
using tk_test::numbers_of;
using Args = std::vector<std::string>;
using Names = std::vector<std::string>;
using nlohmann::json;

// A, B within A and C, two traits, twelve cases: every effect has a test.
const std::string data_lines =
    "1 1 1 10.5 3.0\n1 1 2 11.1 3.2\n1 2 1 11.0 3.5\n1 2 2 12.2 3.4\n1 1 1 10.1 2.9\n2 1 1 12.5 4.0\n"
    "2 1 2 13.1 4.4\n2 2 1 13.0 4.5\n2 2 2 14.2 4.1\n2 2 1 12.7 4.6\n2 1 2 13.6 4.2\n1 2 2 11.8 3.6\n";
const std::string head = "Small two-trait example\nMOD = a + b|a + c\nPRI = MS\nTraits: {Weight} {Height}\n";
const std::string small_data = head + data_lines;

const char* const usage_hint = "Run 'tarvel --help' for the options.\n";

// The listing without its last record, the time note.
Names without_time_note(Names records) {
    EXPECT_FALSE(records.empty());
    if (!records.empty()) {
        EXPECT_EQ(records.back().rfind(" Note: The program has used ", 0), 0u) << records.back();
        records.pop_back();
    }
    return records;
}

Names listing_from_control(const std::string& data, const ControlFile& control) {
    TarvelRun run;
    run.write("data.txt", data);
    const RunResult r = run.run(control);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.standard_error, "");
    return without_time_note(run.records("tarvel.lst"));
}

Names listing_from_arguments(const std::string& data, const Args& options) {
    TarvelRun run;
    run.write("data.txt", data);
    Args args{"data.txt"};
    args.insert(args.end(), options.begin(), options.end());
    const RunResult r = run.run_args(args);
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.standard_error, "");
    EXPECT_EQ(r.standard_output, "");
    return without_time_note(run.records("tarvel.lst"));
}

// ------------------------------------------------------------ the same run as from the control file

TEST(TarvelCommandLine, EachOptionPlaysItsControlRecord) {
    const struct {
        const char* name;
        tarvel::ControlItems items;  // model, data format, traits, missing values, print options
        Args args;
    } cases[] = {
        {"the data file alone", {"", "", "", "", ""}, {}},
        {"model", {"a + c", "", "", "", ""}, {"--model", "a + c"}},
        {"data format", {"", "(3F2.0,F5.1,F4.1)", "", "", ""}, {"--format", "(3F2.0,F5.1,F4.1)"}},
        {"traits", {"", "", "{W} {H}", "", ""}, {"--traits", "{W} {H}"}},
        {"one trait", {"", "", "{W}", "", ""}, {"--traits", "{W}"}},
        {"missing values", {"", "", "", "4.5 -9", ""}, {"--missing", "4.5,-9"}},
        {"print options", {"", "", "", "", "SS VC CR"}, {"--print", "ss/VC cr"}},
        {"no print option", {"", "", "", "", "none"}, {"--print", ""}},
        {"every item", {"B|A+A", "", "{H}", "3", "vc"},
         {"--model", "B|A+A", "--traits", "{H}", "--missing", "3", "--print", "vc"}},
    };
    const Names alone = listing_from_arguments(small_data, {});
    for (const auto& c : cases) {
        ControlFile control;
        control.model = c.items.model;
        control.data_format = c.items.data_format;
        control.traits = c.items.traits;
        control.missing_values = c.items.missing_values;
        control.print_options = c.items.print_options;
        const Names from_arguments = listing_from_arguments(small_data, c.args);
        EXPECT_GT(from_arguments.size(), 40u) << c.name;
        EXPECT_EQ(from_arguments, listing_from_control(small_data, control)) << c.name;
        // Each option changes the listing (a format reads the same cases), so
        // the comparison is not of two runs that both ignored it.
        if (!c.args.empty() && c.args[0] != "--format") {
            EXPECT_NE(from_arguments, alone) << c.name;
        }
    }
}

json read_json(const TarvelRun& run, const std::string& name) { return json::parse(run.read(name)); }

TEST(TarvelCommandLine, OptionsWinOverTheDataFileLines) {
    TarvelRun run;
    run.write("data.txt", "MOD = A\nFMT = (2F2.0,F5.1)\nMIS = -9\nPRI = kirv\n{Y}\n" + data_lines);
    const RunResult r = run.run_args({"data.txt", "--model", "a + b|a + c", "--format", "(3F2.0,F5.1,F4.1)",
                                      "--traits", "{Weight} {Height}", "--missing", "-1 4.5", "--print", "ms",
                                      "--json", "r.json"});
    ASSERT_EQ(r.exit_status, 0) << r.standard_error;
    const json settings = read_json(run, "r.json")["settings"];
    EXPECT_EQ(settings["model"], "A+B|A+C");
    EXPECT_EQ(settings["data_format"], "(3F2.0,F5.1,F4.1)");
    EXPECT_EQ(settings["traits"], (Names{"Weight", "Height"}));
    EXPECT_EQ(settings["missing_values"], (std::vector<double>{-1.0, 4.5}));
    EXPECT_EQ(settings["print"], (json{{"ms", true}, {"ss", false}, {"vc", false}, {"cr", false}, {"kirv", false}}));
    EXPECT_EQ(read_json(run, "r.json")["cases"]["skipped"], 1);  // the one with a height of 4.5
    // Without the data file's KIRV: no export file, and never a host file.
    EXPECT_EQ(run.files(), (Names{"data.txt", "r.json", "tarvel.lst"}));
}

// ------------------------------------------------------------ usage errors, help, version

TEST(TarvelCommandLine, UsageErrors) {
    const struct {
        Args args;
        std::string message;
    } cases[] = {
        {{"-o", "x.lst"}, "DATA is required"},
        {{"data.txt", "other.txt"}, "The following argument was not expected: other.txt"},
        {{"data.txt", "--model"}, "--model: 1 required TEXT missing"},
        {{"data.txt", "--listing-file", "x"}, "The following arguments were not expected: x --listing-file"},
        {{"data.txt", "--model", ""}, "--model: the value is empty"},
        {{"data.txt", "--format", "  "}, "--format: the value is empty"},
        {{"data.txt", "--traits", ""}, "--traits: the value is empty"},
        {{"data.txt", "--missing", ""}, "--missing: the value is empty"},
        {{"data.txt", "--missing", ", /"}, "--missing: the value holds no code"},
        {{"data.txt", "--missing", "-9,x"}, "--missing: 'x' is not a number"},
        {{"data.txt", "--missing", "1e99x"}, "--missing: '1e99x' is not a number"},
        {{"data.txt", "--print", "ms,bogus"}, "--print: 'bogus' is not a print option (ms ss vc cr kirv)"},
        {{"data.txt", "--print", "process"}, "--print: 'process' is not a print option (ms ss vc cr kirv)"},
        {{"data.txt", "-o", ""}, "-o: the listing file name is empty"},
        {{"data.txt", "--json", ""}, "--json: the file name is empty"},
        {{"data.txt", "-o", "-", "--json", "-"}, "the listing and the JSON results cannot both go to standard output"},
        {{"data.txt", "-o", "./data.txt"}, "-o: './data.txt' is the data file"},
        {{"data.txt", "--json", "data.txt"}, "--json: 'data.txt' is the data file"},
        {{"data.txt", "-o", "r.out", "--json", "./r.out"}, "--json: './r.out' is the listing file"},
        {{"data.txt", "--json", "tarvel.lst"}, "--json: 'tarvel.lst' is the listing file"},
        {{"data.txt", "--json", "sub"}, "--json: 'sub' is a directory"},
        {{"data.txt", "--threads", "0"}, "--threads: '0' is not a whole number from 1 to 1024"},
        {{"data.txt", "--threads", "two"}, "--threads: 'two' is not a whole number from 1 to 1024"},
        {{"data.txt", "--reduction", "sparse"}, "--reduction: 'sparse' is not one of dense, absorbed and auto"},
        {{"data.txt", "--line-ends", "mac"}, "--line-ends: 'mac' is not unix or dos"},
        {{"data.txt", "--report", ""}, "--report: the file name is empty"},
        {{"data.txt", "--report", "-", "-o", "-"},
         "only one of the listing, the JSON results and the report can go to standard output"},
        {{"data.txt", "--report", "./data.txt"}, "--report: './data.txt' is the data file"},
        {{"data.txt", "--json", "r", "--report", "r"}, "--report: 'r' is the JSON file"},
        {{"data.txt", "--report", "sub"}, "--report: 'sub' is a directory"},
        {{"data.txt", "--tables", "-"}, "--tables: the tables need a directory, not '-'"},
        {{"data.txt", "--tables", "data.txt"}, "--tables: 'data.txt' is not a directory"},
        {{"data.txt", "--tables", ".", "-o", "anova.csv"}, "--tables: './anova.csv' would be the listing file"},
        // Outputs that cannot be made where they are named.
        {{"data.txt", "-o", "sub"}, "-o: 'sub' is a directory"},
        {{"data.txt", "-o", "none/r.lst"}, "-o: 'none/r.lst' cannot be written: the folder 'none' does not exist"},
        {{"data.txt", "--json", "none/r.json"},
         "--json: 'none/r.json' cannot be written: the folder 'none' does not exist"},
        {{"data.txt", "--report", "data.txt/r.html"},
         "--report: 'data.txt/r.html' cannot be written: 'data.txt' is not a folder"},
        {{"data.txt", "--tables", "data.txt/t/u"}, "--tables: 'data.txt/t/u' cannot be written: 'data.txt' is not a folder"},
    };
    for (const auto& c : cases) {
        TarvelRun run;
        run.write("data.txt", small_data);
        std::filesystem::create_directory(run.dir.path / "sub");
        const RunResult r = run.run_args(c.args);
        EXPECT_EQ(r.exit_status, 2) << c.message;
        EXPECT_EQ(r.standard_error, box(c.message) + usage_hint);
        EXPECT_EQ(r.standard_output, "") << c.message;
        EXPECT_EQ(run.files(), (Names{"data.txt", "sub"})) << c.message;  // nothing read or written
        EXPECT_EQ(run.read("data.txt"), small_data) << c.message;
    }
}

TEST(TarvelCommandLine, HelpAndVersion) {
    TarvelRun run;
    const RunResult version = run.run_args({"--version"});
    EXPECT_EQ(version.exit_status, 0);
    EXPECT_EQ(version.standard_output, "tarvel 1.0\n");
    const RunResult help = run.run_args({"--help"});
    EXPECT_EQ(help.exit_status, 0);
    EXPECT_EQ(help.standard_error, "");
    for (const char* option : {"DATA", "-o,--listing", "--model", "--format", "--traits", "--missing", "--print",
                               "--json", "--version", "Exit status"})
        EXPECT_NE(help.standard_output.find(option), std::string::npos) << option;
    EXPECT_TRUE(run.files().empty());
}

// ------------------------------------------------------------ exit statuses, files, standard output

TEST(TarvelCommandLine, ExitStatusesAndMessages) {
    const struct {
        const char* name;
        std::string data;
        Args args;
        int status;
        Names boxes;
        Names files;
    } cases[] = {
        {"completed", small_data, {"data.txt"}, 0, {}, {"data.txt", "tarvel.lst"}},
        {"completed with KIRV", small_data, {"data.txt", "--print", "kirv"}, 0, {},
         {"KIRV.IN_", "data.txt", "tarvel.lst"}},
        {"data file missing", small_data, {"absent.txt"}, 1, {"Cannot find the data file for TARVEL module! There is no file 'absent.txt'."},
         {"data.txt"}},
        {"no model", "{Y}\n1 2\n", {"data.txt"}, 1, {"No model specified!"}, {"data.txt"}},
        {"bad model option", small_data, {"data.txt", "--model", "1+2"}, 1, {"Invalid model specified!"},
         {"data.txt"}},
        {"traits without braces", small_data, {"data.txt", "--traits", "weight"}, 1,
         {"No trait specified! The trait text 'weight' holds no name in braces."}, {"data.txt"}},
        {"bad format option", small_data, {"data.txt", "--format", "(F3.0"}, 1,
         {"Invalid data format! The data format '(F3.0' cannot be used: format (F3.0: parentheses are not balanced."},
         {"data.txt"}},
    };
    for (const auto& c : cases) {
        TarvelRun run;
        run.write("data.txt", c.data);
        std::filesystem::create_directory(run.dir.path / "sub");
        const RunResult r = run.run_args(c.args);
        EXPECT_EQ(r.exit_status, c.status) << c.name;
        EXPECT_EQ(r.boxes(), c.boxes) << c.name;  // never "Error in running TARVEL module!"
        Names files = c.files;
        files.push_back("sub");
        std::sort(files.begin(), files.end());
        EXPECT_EQ(run.files(), files) << c.name;
    }
}

// Under an address-space limit (ulimit -v) a run completes, with the dense
// routines of OpenBLAS where its buffers leave room and with the built-in
// ones where they do not, or ends at once with "Out of memory!": never waits.
TEST(TarvelCommandLine, AddressSpaceLimits) {
#ifdef __SANITIZE_ADDRESS__
    GTEST_SKIP() << "the address sanitizer reserves more address space than the limits allow";
#endif
    // 12,000 levels of A before the two of B: the dense path needs 576 MB.
    std::string big = "MOD = A + B\n{Y}\n";
    for (int level = 1; level <= 12000; ++level)
        big += std::to_string(level) + " " + std::to_string(1 + level % 2) + " 1.5\n";
    struct Limit {
        const char* name;
        int kilobytes;
        const std::string& data;
        int status;
        const char* kernel;  // of a completed run: "built-in", or "" for the library's
    };
    const Limit limits[] = {
        {"too small for OpenBLAS", 250000, small_data, 0, "built-in"},
        {"room for OpenBLAS", 600000, small_data, 0, ""},
        {"design too large", 300000, big, 255, nullptr},
        {"design too large, OpenBLAS loaded", 600000, big, 255, nullptr},
    };
    for (const Limit& limit : limits) {
        SCOPED_TRACE(limit.name);
        TarvelRun run;
        run.write("data.txt", limit.data);
        run.write("r.json", "{}");  // an earlier run's results
        const std::string command = "ulimit -v " + std::to_string(limit.kilobytes) + "; exec timeout 60 " +
                                    tk_test::shell_quoted(tarvel_test::tarvel_executable()) +
                                    " data.txt --json r.json";
        const auto start = std::chrono::steady_clock::now();
        const tk_test::ProgramRun r = tk_test::run_program("/bin/sh", run.dir.path, {"-c", command});
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
        EXPECT_EQ(r.exit_status, limit.status) << r.standard_error;
        if (limit.status != 0) {
            EXPECT_EQ(r.standard_error, box("Out of memory!"));
            EXPECT_EQ(run.files(), (Names{"data.txt"}));
            continue;
        }
        const std::string kernel = json::parse(run.read("r.json"))["computation"]["blas_kernel"];
        if (*limit.kernel) EXPECT_EQ(kernel, limit.kernel);
        else EXPECT_NE(kernel, "built-in");
    }
}

TEST(TarvelCommandLine, HostFilesOfAnEarlierRunAreLeftAlone) {
    TarvelRun run;
    run.write("data.txt", small_data);
    for (const char* name : {tarvel_test::results_file, tarvel_test::no_listing_file, tarvel_test::control_file})
        run.write(name, "earlier\r\n");
    for (const char* model : {"a + c", "1+2"}) {  // a completed and a failed run
        run.run_args({"data.txt", "--model", model});
        for (const char* name : {tarvel_test::results_file, tarvel_test::no_listing_file, tarvel_test::control_file})
            EXPECT_EQ(run.read(name), "earlier\r\n") << model << " " << name;
    }
}

TEST(TarvelCommandLine, ListingOnStandardOutput) {
    TarvelRun run;
    run.write("data.txt", small_data);
    const RunResult r = run.run_args({"data.txt", "-o", "-"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.standard_error, "");
    EXPECT_EQ(run.files(), Names{"data.txt"});
    EXPECT_EQ(without_time_note(tk_test::records_of(r.standard_output)), listing_from_arguments(small_data, {}));
    EXPECT_EQ(r.standard_output.find('\n'), r.standard_output.find("\r\n") + 1);  // CR LF records as in the file
}

// ------------------------------------------------------------ JSON results

// The listing rows of every pair table, in order: the numbers after the
// 22-character source column of each row from "Mean" to "Total".
std::vector<std::vector<std::vector<double>>> listed_tables(const Names& listing) {
    std::vector<std::vector<std::vector<double>>> tables;
    bool headed = false, inside = false;
    for (const std::string& record : listing) {
        if (record.rfind(" Analysis of ", 0) == 0) headed = true;
        if (headed && record.rfind("  Mean   ", 0) == 0) {
            headed = false;
            tables.emplace_back();
            inside = true;
        }
        if (!inside || record.size() <= 22 || record == " ") continue;
        tables.back().push_back(numbers_of(record.substr(22)));
        if (record.rfind("  Total", 0) == 0) inside = false;
    }
    return tables;
}

void expect_listed(double listed, const json& exact, double absolute, double relative, const std::string& what) {
    ASSERT_TRUE(exact.is_number()) << what;
    const double x = exact.get<double>();
    EXPECT_NEAR(listed, x, absolute + relative * std::abs(x)) << what;
}

TEST(TarvelJson, AgreesWithTheListing) {
    TarvelRun run;
    run.write("data.txt", small_data);
    ASSERT_EQ(run.run_args({"data.txt", "--json", "r.json"}).exit_status, 0);
    const json j = read_json(run, "r.json");
    const auto tables = listed_tables(run.records("tarvel.lst"));
    const json& pairs = j["pairs"];
    ASSERT_EQ(pairs.size(), 3u);
    ASSERT_EQ(tables.size(), 3u);
    const double g = 1e-8;  // G17.9: nine significant digits
    for (std::size_t p = 0; p < 3; ++p) {
        const json& rows = pairs[p]["rows"];
        ASSERT_EQ(rows.size(), 6u);  // mean, 3 effects, error, total
        ASSERT_EQ(tables[p].size(), 6u);
        for (std::size_t k = 0; k < 6; ++k) {
            const std::vector<double>& listed = tables[p][k];
            const json& row = rows[k];
            const std::string what = "pair " + std::to_string(p) + " row " + row["source"].get<std::string>();
            ASSERT_GE(listed.size(), 2u) << what;
            EXPECT_EQ(listed[0], row["df"].get<double>()) << what;
            if (row["kind"] == "total") {
                expect_listed(listed[1], row["ss"], 0, g, what + " SS");
                continue;
            }
            ASSERT_GE(listed.size(), 5u) << what;
            expect_listed(listed[1], row["ss"], 0, g, what + " SS");
            expect_listed(listed[2], row["ms"], 0, g, what + " MS");
            expect_listed(listed[3], row["component"], 0, g, what + " VC");
            expect_listed(listed[4], row["sd"], 0, g, what + " SD");
            if (row["kind"] != "effect") {
                EXPECT_TRUE(row["f"].is_null() && row["probability"].is_null()) << what;
                continue;
            }
            ASSERT_EQ(listed.size(), row["probability"].is_null() ? 7u : 8u) << what;
            expect_listed(listed[5], row["f"], 5e-4, 0, what + " F");
            expect_listed(listed[6], row["satterthwaite_df"], 5e-3, 0, what + " df");
            if (listed.size() == 8) expect_listed(listed[7], row["probability"], 5e-4, 0, what + " probability");
        }
    }
    EXPECT_EQ(pairs[1]["kind"], "covariance");
    EXPECT_EQ(pairs[1]["traits"], (Names{"Weight", "Height"}));
    EXPECT_EQ(pairs[1]["trait_numbers"], (std::vector<int>{1, 2}));
}

// The same analysis once for a host without a listing (its four arrays and
// test records) and once with --json: both carry the shortest digits that
// read back to the same 8-byte value, so the numbers agree exactly.
TEST(TarvelJson, EveryNumberOfTheHostResults) {
    const struct {
        const char* name;
        std::string data;
        std::vector<int> left_out;  // 1-based effects
    } cases[] = {
        {"every effect estimated", small_data, {}},
        // C has one level: no columns, left out of the component equations.
        {"an effect left out", "MOD = a + c + b|a\n{Weight} {Height}\n1 1 1 10.5 3.0\n1 2 1 11.1 3.2\n"
                               "1 1 1 11.0 3.5\n2 1 1 12.2 3.4\n2 2 1 12.5 4.0\n2 1 1 13.1 4.4\n",
         {2}},
    };
    for (const auto& c : cases) {
        TarvelRun host, shell;
        host.write("data.txt", c.data);
        shell.write("data.txt", c.data);
        ControlFile control;
        control.listing = 0;
        ASSERT_EQ(host.run(control).exit_status, 0) << c.name;
        ASSERT_EQ(shell.run_args({"data.txt", "--json", "r.json"}).exit_status, 0) << c.name;
        const json j = read_json(shell, "r.json");
        EXPECT_EQ(j["left_out_effects"], c.left_out) << c.name;

        std::vector<std::vector<double>> arrays;  // DF, EMS, SS, VC
        for (const std::string& record : host.records(tarvel_test::results_file)) arrays.push_back(numbers_of(record));
        ASSERT_EQ(arrays.size(), 4u);
        const std::size_t n = j["effects"].size(), t = j["settings"]["traits"].size();
        const json& pairs = j["pairs"];
        std::vector<double> df, ems, ss, vc;
        for (std::size_t k = 1; k <= n + 1; ++k) df.push_back(pairs.back()["rows"][k]["df"].get<double>());
        for (const json& row : j["expected_mean_squares"])
            for (const json& x : row) ems.push_back(x.get<double>());
        // The host's matrices pass through 4-byte reals.
        const auto single = [](const json& x) { return static_cast<double>(static_cast<float>(x.get<double>())); };
        for (std::size_t k = 1; k <= n + 1; ++k) {
            const bool left_out = std::find(c.left_out.begin(), c.left_out.end(), static_cast<int>(k)) != c.left_out.end();
            for (const json& pair : pairs) {  // pair order is the host's order (a, b), b >= a
                ss.push_back(single(pair["rows"][k]["ss"]));
                vc.push_back(left_out ? -9.0e30 : single(pair["rows"][k]["component"]));
            }
        }
        EXPECT_EQ(pairs.size(), t * (t + 1) / 2) << c.name;
        const auto head_of = [](const std::vector<double>& array, std::size_t count) {
            return std::vector<double>(array.begin(), array.begin() + static_cast<std::ptrdiff_t>(std::min(count, array.size())));
        };
        EXPECT_EQ(head_of(arrays[0], df.size()), df) << c.name;
        EXPECT_EQ(head_of(arrays[1], ems.size()), ems) << c.name;
        EXPECT_EQ(head_of(arrays[2], ss.size()), ss) << c.name;
        EXPECT_EQ(head_of(arrays[3], vc.size()), vc) << c.name;

        // One test record per pair and effect: F, its degrees of freedom, the probability or -1.
        std::vector<std::vector<double>> tests;
        for (const json& pair : pairs)
            for (std::size_t k = 1; k <= n; ++k) {
                const json& row = pair["rows"][k];
                tests.push_back({row["f"].get<double>(), row["satterthwaite_df"].get<double>(),
                                 row["probability"].is_null() ? -1.0 : row["probability"].get<double>()});
            }
        std::vector<std::vector<double>> records;
        for (const std::string& record : host.records(tarvel_test::no_listing_file)) records.push_back(numbers_of(record));
        EXPECT_EQ(records, tests) << c.name;
    }
}

TEST(TarvelJson, SettingsDesignAndCases) {
    TarvelRun run;
    run.write("data.txt", small_data + "1 1 1 10.0 -9\n0 1 1 1 1\n");  // a missing height, a level 0
    ASSERT_EQ(run.run_args({"data.txt", "--json", "r.json", "--missing", "-9", "-o", "a.lst"}).exit_status, 0);
    const json j = read_json(run, "r.json");
    EXPECT_EQ(j["program"], "tarvel");
    EXPECT_EQ(j["schema_version"], 1);
    const json expected_settings = {
        {"data_file", "data.txt"},
        {"listing_file", "a.lst"},
        {"model", "A+B|A+C"},
        {"data_format", nullptr},
        {"traits", {"Weight", "Height"}},
        {"missing_values", {-9.0}},
        {"print", {{"ms", true}, {"ss", false}, {"vc", false}, {"cr", false}, {"kirv", false}}},
    };
    EXPECT_EQ(j["settings"], expected_settings);
    const json expected_effects = {
        {{"name", "A"}, {"columns", 2}, {"left_out", false}},
        {{"name", "B|A"}, {"columns", 4}, {"left_out", false}},
        {{"name", "C"}, {"columns", 2}, {"left_out", false}},
    };
    EXPECT_EQ(j["effects"], expected_effects);
    EXPECT_EQ(j["design_columns"], 9);
    EXPECT_EQ(j["cases"]["accepted"], 12);
    EXPECT_EQ(j["cases"]["skipped"], 2);
    EXPECT_EQ(j["cases"]["unreadable"], 0);
    // The mean and every effect plus the residual: 12 cases, 11 after the mean.
    const json& summary = j["pairs"][0]["summary"];
    EXPECT_EQ(summary["corrected_total_df"], 11);
    EXPECT_EQ(summary["design_columns"], 9);
    EXPECT_NEAR(summary["accounted_percent"].get<double>(),
                summary["accounted"].get<double>() / summary["corrected_total"].get<double>() * 100, 1e-9);
    const json& ems = j["expected_mean_squares"];
    ASSERT_EQ(ems.size(), 3u);
    for (const json& row : ems) EXPECT_EQ(row.size(), 3u);
}

TEST(TarvelJson, OnlyACompletedRunLeavesTheFile) {
    const struct {
        const char* name;
        std::string data;
        Args args;
        int status;
        Names files;  // besides an earlier r.json, which a failed run removes
    } cases[] = {
        {"completed", small_data, {"data.txt", "--json", "r.json"}, 0, {"data.txt", "r.json", "tarvel.lst"}},
        {"input error", "{Y}\n1 2\n", {"data.txt", "--json", "r.json"}, 1, {"data.txt"}},
        {"data file missing", small_data, {"absent.txt", "--json", "r.json"}, 1, {"data.txt"}},
        {"JSON directory missing", small_data, {"data.txt", "--json", "none/r.json"}, 2, {"data.txt", "r.json"}},
    };
    for (const auto& c : cases) {
        TarvelRun run;
        run.write("data.txt", c.data);
        run.write("r.json", "{\"earlier\": true}");
        EXPECT_EQ(run.run_args(c.args).exit_status, c.status) << c.name;
        EXPECT_EQ(run.files(), c.files) << c.name;  // no temporary file either
        if (c.status == 0) {
            EXPECT_EQ(read_json(run, "r.json")["program"], "tarvel") << c.name;
        } else if (run.exists("r.json")) {
            EXPECT_EQ(run.read("r.json"), "{\"earlier\": true}") << c.name;
        }
    }
}

TEST(TarvelJson, OnStandardOutput) {
    TarvelRun run;
    run.write("data.txt", small_data);
    const RunResult r = run.run_args({"data.txt", "--json", "-", "-o", "r.lst"});
    ASSERT_EQ(r.exit_status, 0);
    ASSERT_EQ(run.run_args({"data.txt", "--json", "r.json", "-o", "r.lst"}).exit_status, 0);
    const json from_stdout = json::parse(r.standard_output);
    EXPECT_EQ(from_stdout["settings"]["listing_file"], "r.lst");
    EXPECT_EQ(from_stdout, read_json(run, "r.json"));
}

// ------------------------------------------------------------ the command line in process

TEST(CommandLine, ItemsNotGivenStayEmpty) {
    std::ostringstream out, err;
    const tarvel::CommandLine plain = tarvel::read_command_line({"d.txt"}, out, err);
    ASSERT_TRUE(plain.run);
    const tarvel::RunParameters& p = plain.parameters;
    EXPECT_EQ(p.listing_switch, 1);
    EXPECT_EQ(p.data_file, "d.txt");
    EXPECT_EQ(p.listing_file, "tarvel.lst");
    EXPECT_EQ(p.json_file, "");
    EXPECT_TRUE(p.standard_streams);
    EXPECT_TRUE(p.items.model.empty() && p.items.data_format.empty() && p.items.traits.empty() &&
                p.items.missing_values.empty() && p.items.print_options.empty());

    const tarvel::CommandLine full = tarvel::read_command_line(
        {"d.txt", "--model=a + b ", "--format", "(2F2.0, F5.1)", "--traits", "{A} {B}  ", "--missing", "-9 1e30",
         "--print", "cr,kirv", "-o", "-", "--json", "r.json"},
        out, err);
    ASSERT_TRUE(full.run) << err.str();
    const tarvel::ControlItems& items = full.parameters.items;
    EXPECT_EQ(items.model, "a + b");  // trailing blanks dropped, as from a control record
    EXPECT_EQ(items.data_format, "(2F2.0, F5.1)");
    EXPECT_EQ(items.traits, "{A} {B}");
    EXPECT_EQ(items.missing_values, "-9 1e30");
    EXPECT_EQ(items.print_options, "CR KIRV");
    EXPECT_EQ(full.parameters.listing_file, "-");
    EXPECT_EQ(full.parameters.json_file, "r.json");
    EXPECT_EQ(out.str() + err.str(), "");
}

TEST(CommandLine, PrintItems) {
    const struct {
        const char* text;
        tarvel::OutputSwitches switches;
        const char* unknown;
        const char* options_text;  // handed on as the control record
    } cases[] = {
        {"ms,ss", {true, true, false, false, false}, "", "MS SS"},
        {"KIRV/vc Cr", {false, false, true, true, true}, "", "VC CR KIRV"},
        {"", {}, "", tarvel::no_print_options},
        {" , ", {}, "", tarvel::no_print_options},
        {"ms,mss,vcx", {true, false, false, false, false}, "mss", "MS"},
    };
    for (const auto& c : cases) {
        const tarvel::PrintItems items = tarvel::parse_print_items(c.text);
        const tarvel::OutputSwitches& s = items.switches;
        const tarvel::OutputSwitches& w = c.switches;
        EXPECT_TRUE(s.ms == w.ms && s.ss == w.ss && s.vc == w.vc && s.cr == w.cr && s.kirv == w.kirv) << c.text;
        EXPECT_EQ(items.unknown, c.unknown) << c.text;
        EXPECT_EQ(tarvel::print_options_text(s), c.options_text) << c.text;
        // The control record's reading of that text gives the same switches.
        const tarvel::OutputSwitches back = tarvel::print_switches_from_control(tarvel::print_options_text(s));
        EXPECT_TRUE(back.ms == w.ms && back.ss == w.ss && back.vc == w.vc && back.cr == w.cr && back.kirv == w.kirv)
            << c.text;
    }
}

}  // namespace
