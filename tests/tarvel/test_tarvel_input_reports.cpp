// tarvel end to end on input that a run uses but not as written: cases that
// do not read, that run on into the next line or that are skipped only for an
// unused factor are reported on standard error, in the listing after the case
// counts and in the JSON, the same way from the host and from a shell; and the
// settings, head lines and messages that used to change results without a word.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>

#include "tests/tarvel/tarvel_run_support.hpp"

namespace {

using tarvel_test::ControlFile;
using tarvel_test::RunResult;
using tarvel_test::TarvelRun;
using Args = std::vector<std::string>;
using Names = std::vector<std::string>;
using nlohmann::json;

// The listing records after the case counts, up to the rule of asterisks,
// without blank records and without leading and trailing blanks.
Names after_case_counts(const Names& listing) {
    const auto counts = std::find_if(listing.begin(), listing.end(), [](const std::string& r) {
        return r.find("Numbers of Cases Accepted =") != std::string::npos;
    });
    const auto rule = std::find_if(counts, listing.end(), [](const std::string& r) { return r.rfind(" * *", 0) == 0; });
    Names notes;
    for (auto r = counts == listing.end() ? counts : counts + 1; r < rule; ++r)
        if (const std::size_t first = r->find_first_not_of(' '); first != std::string::npos)
            notes.push_back(tk_test::trimmed(r->substr(first)));
    return notes;
}

TEST(TarvelInputReports, ProblemCasesAreReportedFromTheHostAndTheShell) {
    const std::string two_traits = "MOD=A\n{Y}{Z}\n";
    const struct {
        const char* name;
        std::string data;
        Args options;              // command-line options (each case also runs from the host without them)
        std::string warnings;      // standard error of both runs
        Names notes;               // the listing's note after the case counts
        int accepted, skipped;
        json problems;             // counts of the JSON's cases.problems
    } cases[] = {
        {"an empty last field reads on into the next line", two_traits + "1,4.0,\n2,3.5,4.5\n1 2 3\n2 3 4\n", {},
         "Warning: 1 case(s) took their values from more than one line: line 3.\n",
         {"Note: 1 case(s) took their values from more than one line: line 3."}, 3, 0,
         {{"unreadable", 0}, {"spanned_lines", 1}, {"unused_factor", 0}}},
        {"values that do not read, and a file that ends within a case",
         two_traits + "1 NA 3\n2 4..8 2\n1 2 3\n2 3 4\n\n1 2\n", {},
         "Warning: 3 case(s) could not be read and were left out:\n"
         "    line 3: the value 'NA' is not a number\n"
         "    line 4: the value '4..8' is not a number\n"
         "    line 8: the data file ends within the case\n",
         {"Note: 3 case(s) could not be read and were left out:", "line 3: the value 'NA' is not a number",
          "line 4: the value '4..8' is not a number", "line 8: the data file ends within the case"},
         2, 0, {{"unreadable", 3}, {"spanned_lines", 0}, {"unused_factor", 0}}},
        {"a code below 1 of a factor no term uses", "MOD=A+C\n{Y}\n1 0 1 4\n2 1 2 3.5\n1 2 1 4.5\n2 0 2 5\n1 1 2 3\n",
         {},
         "Warning: 2 case(s) were skipped only for a code below 1 of a factor that no model term uses:\n"
         "    line 3: factor B has the code 0\n    line 6: factor B has the code 0\n",
         {"Note: 2 case(s) were skipped only for a code below 1 of a factor that no model term uses:",
          "line 3: factor B has the code 0", "line 6: factor B has the code 0"},
         3, 2, {{"unreadable", 0}, {"spanned_lines", 0}, {"unused_factor", 2}}},
    };
    for (const auto& c : cases) {
        TarvelRun host;
        host.write("data.txt", c.data);
        const RunResult from_host = host.run(ControlFile{});
        EXPECT_EQ(from_host.exit_status, 0) << c.name;
        EXPECT_EQ(from_host.standard_error, c.warnings) << c.name;
        EXPECT_EQ(after_case_counts(host.records("tarvel.lst")), c.notes) << c.name;

        TarvelRun shell;
        shell.write("data.txt", c.data);
        Args args{"data.txt", "--json", "r.json"};
        args.insert(args.end(), c.options.begin(), c.options.end());
        const RunResult from_shell = shell.run_args(args);
        EXPECT_EQ(from_shell.exit_status, 0) << c.name;
        EXPECT_EQ(from_shell.standard_error, c.warnings) << c.name;
        EXPECT_EQ(after_case_counts(shell.records("tarvel.lst")), c.notes) << c.name;
        const json cases_document = json::parse(shell.read("r.json"))["cases"];
        EXPECT_EQ(cases_document["accepted"], c.accepted) << c.name;
        EXPECT_EQ(cases_document["skipped"], c.skipped) << c.name;
        for (const auto& [kind, count] : c.problems.items())
            EXPECT_EQ(cases_document["problems"][kind]["count"], count) << c.name << ": " << kind;
    }
}

TEST(TarvelInputReports, OneCasePerLine) {
    // Each line one case: an empty last field is a missing value (the case is
    // skipped), and a line one value short does not read.
    TarvelRun run;
    run.write("data.txt", "MOD=A\n{Y}{Z}\n1,4.0,\n2,3.5,4.5\n1 2\n1 2 3\n2 3 4\n");
    const RunResult r = run.run_args({"data.txt", "--one-case-per-line", "--json", "r.json"});
    EXPECT_EQ(r.exit_status, 0);
    EXPECT_EQ(r.standard_error,
              "Warning: 1 case(s) could not be read and were left out:\n    line 5: the line holds 2 of its 3 values\n");
    const json cases_document = json::parse(run.read("r.json"))["cases"];
    EXPECT_EQ(cases_document["accepted"], 3);
    EXPECT_EQ(cases_document["skipped"], 1);
    EXPECT_EQ(cases_document["problems"]["spanned_lines"]["count"], 0);
}

TEST(TarvelInputReports, NothingChangedWithoutAWord) {
    // 100 names on a trait line of 1200 characters, and three cases of 100 values.
    std::string hundred_traits = "MOD=A\n";
    for (int i = 1; i <= 100; ++i) hundred_traits += "{Trait_" + std::to_string(1000 + i) + "} ";
    hundred_traits += "\n";
    for (int level : {1, 2, 1}) {
        hundred_traits += std::to_string(level);
        for (int i = 1; i <= 100; ++i) {
            hundred_traits += ' ';
            hundred_traits += std::to_string(level * i % 7);
        }
        hundred_traits += "\n";
    }
    std::string hundred_and_one_codes = "MIS=";
    for (int i = 1; i <= 101; ++i) hundred_and_one_codes += std::to_string(-i) + ",";
    const struct {
        const char* name;
        std::string data;
        Args args;  // none: from the host
        int status;
        std::string errors;
        json check;  // from the JSON of a shell run: {pointer: value}
    } cases[] = {
        {"a trait line longer than 950 characters", hundred_traits, {"data.txt", "--json", "r.json"}, 0, "",
         {{"/settings/traits/99", "Trait_1100"}}},
        {"a byte-order mark before the first keyword", "\xEF\xBB\xBFMOD=A\n{Y}\n1 2\n2 3\n1 4\n",
         {"data.txt", "--json", "r.json"}, 0, "", {{"/settings/model", "A"}}},
        {"the same from the host", "\xEF\xBB\xBFMOD=A\n{Y}\n1 2\n2 3\n1 4\n", {}, 0, "", {}},
        {"a factor code quoted as written", "MOD=A\n{Y}\n1 2\n20170001 3\n", {}, 0,
         "Error Message: Factor level too large! Factor A of case 2 (line 4) has the code 20170001; levels go from "
         "1 to 32767.\nError Message: Error in running TARVEL module!\n",
         {}},
        {"more missing codes than can be kept, from the host", "MOD=A\n" + hundred_and_one_codes + "\n{Y}\n1 2\n", {},
         0,
         "Error Message: Invalid missing values! The MIS line holds 101 codes; at most 100 can be kept.\n"
         "Error Message: Error in running TARVEL module!\n",
         {}},
        {"more missing codes than can be kept, given in a shell", "MOD=A\n{Y}\n1 2\n",
         {"data.txt", "--missing", hundred_and_one_codes.substr(4)}, 2,
         "Error Message: --missing: 101 codes given; at most 100 can be kept\nRun 'tarvel --help' for the options.\n",
         {}},
    };
    for (const auto& c : cases) {
        TarvelRun run;
        const std::string& data = c.data;
        run.write("data.txt", data);
        const RunResult r = c.args.empty() ? run.run(ControlFile{}) : run.run_args(c.args);
        EXPECT_EQ(r.exit_status, c.status) << c.name;
        EXPECT_EQ(r.standard_error, c.errors) << c.name;
        EXPECT_EQ(run.read("data.txt"), data) << c.name;
        if (c.check.empty()) continue;
        const json j = json::parse(run.read("r.json"));
        for (const auto& [pointer, value] : c.check.items())
            EXPECT_EQ(j[json::json_pointer(pointer)], value) << c.name << ": " << pointer;
    }
}

}  // namespace
