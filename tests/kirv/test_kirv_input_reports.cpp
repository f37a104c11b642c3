// kirv end to end on what used to pass without a word: a listing that would
// empty its data file, long records, switch records with repeat counts,
// byte-order marks, replaced settings, and estimates outside their range
// (negative components, parameters at a bound, a genetic matrix that is not
// positive definite), from the host and from a shell.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <cmath>

#include "kirv_run_support.hpp"

namespace {

using kirv_test::box;
using kirv_test::control_text;
using kirv_test::files_in;
using kirv_test::records_of;
using kirv_test::run_kirv;
using kirv_test::run_kirv_args;
using Records = std::vector<std::string>;
using nlohmann::json;

// Sire and residual, E[MS(sire)] = 5 sire + residual, DF 20 and 80, two
// traits; ss: the lower triangles of both effects.
std::string sire_model(const std::string& ss, const std::string& settings = "GEN = 1\n") {
    return "DF = 20 80\n{A} {B}\n" + settings + "EMS / UP\n5 1\n1\nSS / LOW\n" + ss;
}
// VC(sire) = ((1, 0.3), (0.3, 1)), VC(residual) = 9 I: nothing to report.
const std::string clean_ss = "280\n30 280\n720\n0 720\n";

TEST(KirvInputReports, HostRunsThatUsedToLoseOrMisreadTheirInput) {
    const struct {
        const char* name;
        std::string data;
        Records control;  // records 1 to 7
        std::string errors;
        bool summary;     // a summary file is written (listing switch 0)
    } cases[] = {
        {"the listing named as the data file", sire_model(clean_ss), {"d.kin", "d.kin"},
         box("The listing file d.kin is the data file; give the listing another name!") +
             box("Error in running KIRV module!"),
         false},
        {"the same through another name", sire_model(clean_ss), {"d.kin", "./d.kin"},
         box("The listing file ./d.kin is the data file; give the listing another name!") +
             box("Error in running KIRV module!"),
         false},
        {"switches with a repeat count", sire_model(clean_ss), {"d.kin", "", "0 11*1"}, "", true},
        {"a byte-order mark", "\xEF\xBB\xBF" + sire_model(clean_ss, "GEN = 1\nREL = 0.5\n"), {"d.kin"}, "", true},
    };
    for (const auto& c : cases) {
        tk_test::TempDir dir;
        dir.write("d.kin", c.data);
        dir.write(kirv_test::control_name, control_text(c.summary ? 0 : 1, c.control));
        const auto out = run_kirv(dir);
        EXPECT_EQ(out.exit_status, 0) << c.name;
        EXPECT_EQ(out.errors, c.errors) << c.name;
        EXPECT_EQ(dir.read("d.kin"), c.data) << c.name;  // the data file intact
        if (!c.summary) {
            EXPECT_EQ(files_in(dir), Records{"d.kin"}) << c.name;
            continue;
        }
        const Records summary = records_of(dir.read(kirv_test::summary_name));
        ASSERT_EQ(summary.size(), 1u + 8u * 2u + 4u) << c.name;
        // The data file's REL line counts only when the byte-order mark does not hide the first line.
        const double relative = c.data.find("REL = 0.5") != std::string::npos ? 0.5 : 0.25;
        EXPECT_EQ(kirv_test::numbers_of(summary[0])[6], relative) << c.name;
    }
}

TEST(KirvInputReports, LongTraitLine) {
    // 53 names of 20 characters: the trait line runs to 1166 characters, and
    // the rows of the lower triangles of SS to 53 values. VC(sire) = I and
    // VC(residual) = 9 I give every individual heritability 4 / 10.
    const int t = 53;
    std::string data = "DF = 20 80\nGEN = 1\n";
    for (int i = 0; i < t; ++i) data += "{Trait_name_number_" + std::to_string(10 + i) + "} ";
    data += "\nEMS / UP\n5 1\n1\nSS / LOW\n";
    for (const double diagonal : {20.0 * 14.0, 80.0 * 9.0})
        for (int i = 0; i < t; ++i) {
            for (int j = 0; j < i; ++j) data += "0 ";
            data += std::to_string(static_cast<int>(diagonal)) + "\n";
        }
    tk_test::TempDir dir;
    dir.write("d.kin", data);
    const auto out = run_kirv_args(dir, {"d.kin", "--json", "r.json"});
    ASSERT_EQ(out.exit_status, 0) << out.errors;
    EXPECT_EQ(out.errors, "");
    const json j = json::parse(dir.read("r.json"));
    ASSERT_EQ(j["traits"].size(), static_cast<std::size_t>(t));
    EXPECT_EQ(j["traits"][52], "Trait_name_number_62");  // names are kept whole
    for (const double h2 : j["individual_level"]["heritability"]["value"]) EXPECT_NEAR(h2, 0.4, 1e-12);
}

TEST(KirvInputReports, EstimatesOutsideTheirRangeAreNoted) {
    const struct {
        const char* name;
        std::string ss;
        std::string warnings;
        json flags;          // {JSON pointer: value}
        bool named = false;  // the data file names its effects
    } cases[] = {
        {"nothing to report", clean_ss, "", {{"/genetic_matrix/positive_definite", true}}},
        // VC(sire) = ((-0.2, 0.1), (0.1, 1)), VC(residual) = ((10, 1), (1, 10)).
        {"a negative sire variance", "180\n30 300\n800\n80 800\n",
         "Warning: 1 variance component(s) were negative and are set to 0 before the parameters are computed:\n"
         "    effect 1, A: -0.2\n"
         "Warning: the genetic variance-covariance matrix is not positive definite: its smallest eigenvalue is "
         "-0.00990195.\n"
         "Warning: 1 g_group heritability(ies) printed at a bound of 0 to 1 or as 0:\n"
         "    A: the genetic variance is negative (estimate -0.111111), printed as 0\n"
         "Warning: 1 individual heritability(ies) printed at a bound of 0 to 1 or as 0:\n"
         "    A: the genetic variance is negative (estimate -0.0816327), printed as 0\n"
         "Warning: 1 genetic correlation(s) printed at a bound of -1 to 1 or as 0:\n"
         "    A-B: a genetic variance is negative, printed as 0\n",
         {{"/variance_components/negative/0/trait", "A"},
          {"/group_level/heritability/flag", {"negative_variance", "estimate"}},
          {"/genetic_correlations/flag/0/1", "negative_variance"},
          {"/genetic_correlations/raw/0/1", nullptr},
          {"/genetic_matrix/positive_definite", false}}},
        // VC(sire) = ((1, 1.5), (1.5, 1)), VC(residual) = I.
        {"heritabilities above 1 and a correlation above 1", "120\n150 120\n80\n0 80\n",
         "Warning: the genetic variance-covariance matrix is not positive definite: its smallest eigenvalue is -0.5.\n"
         "Warning: 2 individual heritability(ies) printed at a bound of 0 to 1 or as 0:\n"
         "    A: estimate 2, printed as 1\n    B: estimate 2, printed as 1\n"
         "Warning: 1 genetic correlation(s) printed at a bound of -1 to 1 or as 0:\n"
         "    A-B: estimate 1.5, printed as 1\n",
         {{"/individual_level/heritability/value/0", 1.0},
          {"/individual_level/heritability/flag/0", "bound"},
          {"/genetic_correlations/flag/1/0", "bound"}}},
        // VC(sire) = ((0.3, 0), (0, 1)), VC(residual) = ((-0.5, 0), (0, 9)): h2 of A is -6 as
        // estimated, 1.2 / 0.3 from the printed matrices, so printed as 1.
        {"a bound from the printed ratio, named effects", "20\n0 280\n-40\n0 720\n",
         "Warning: 1 variance component(s) were negative and are set to 0 before the parameters are computed:\n"
         "    effect 2 (Error), A: -0.5\n"
         "Warning: 1 individual heritability(ies) printed at a bound of 0 to 1 or as 0:\n"
         "    A: estimate -6, printed as 1\n",
         {{"/individual_level/heritability/value/0", 1.0}, {"/individual_level/heritability/flag/0", "bound"}},
         true},
    };
    for (const auto& c : cases) {
        tk_test::TempDir dir;
        dir.write("d.kin", sire_model(c.ss, c.named ? "GEN = 1\n//EFFECT 1 = sire\n//EFFECT 2 = Error\n" : "GEN = 1\n"));
        const auto shell = run_kirv_args(dir, {"d.kin", "--json", "r.json", "-o", "shell.lst"});
        EXPECT_EQ(shell.exit_status, 0) << c.name;
        EXPECT_EQ(shell.errors, c.warnings) << c.name;
        const json j = json::parse(dir.read("r.json"));
        for (const auto& [pointer, value] : c.flags.items())
            EXPECT_EQ(j[json::json_pointer(pointer)], value) << c.name << ": " << pointer;
        for (const double raw : j["individual_level"]["heritability"]["raw"]) EXPECT_TRUE(std::isfinite(raw));

        dir.write(kirv_test::control_name, control_text(1, {"d.kin", "host.lst"}));
        const auto host = run_kirv(dir);
        EXPECT_EQ(host.errors, c.warnings) << c.name;
        // Each warning is a note in the listing, after the block it is about.
        Records notes;
        bool in_note = false;
        for (const std::string& r : records_of(dir.read("host.lst"))) {
            in_note = r.rfind(" Note: ", 0) == 0 || (in_note && r.rfind("       ", 0) == 0);
            if (in_note) notes.push_back(r.substr(1));
        }
        std::string listed;
        for (const std::string& note : notes)
            listed += note.rfind("Note: ", 0) == 0 ? "Warning: " + note.substr(6) + "\n" : "    " + note.substr(6) + "\n";
        EXPECT_EQ(listed, c.warnings) << c.name;
    }
}

TEST(KirvInputReports, ReplacedSettingsAreSaid) {
    const struct {
        const char* name;
        std::string settings;  // the data file's lines
        Records control;       // records 3 to 7 (host) ...
        std::vector<std::string> args;  // ... or the options of a shell run
        int status;
        std::string errors;
        std::string memo_note;  // "" when the memo has none
    } cases[] = {
        {"REL above 1", "GEN = 1\nREL = 1.5\n", {}, {}, 0,
         "Warning: The relative coefficient 1.5 of the REL line is outside 0 to 1; 0.25 is used.\n",
         "    Note: the relative coefficient 1.5 of the REL line is outside 0 to 1; 0.25 is used."},
        {"relationship from the control file", "GEN = 1\n", {"", "-0.1"}, {}, 0,
         "Warning: The relative coefficient -0.1 given is outside 0 to 1; 0.25 is used.\n",
         "    Note: the relative coefficient -0.1 given is outside 0 to 1; 0.25 is used."},
        {"reference ID beyond the effects", "GEN = 1\nBEN = 1\nREF = 7\nMIN = 0\n", {}, {}, 0,
         "Warning: The reference ID 7 of the REF line is not an effect number 1 to 2; the identity matrix is used.\n",
         "    Note: the reference ID 7 of the REF line is not an effect number 1 to 2; the identity matrix is used."},
        {"reference ID from the control file", "GEN = 1\nBEN = 1\nMIN = 0\n", {"", "", "", "7"}, {}, 0,
         "Warning: The reference ID 7 given is not an effect number 1 to 2; the identity matrix is used.\n",
         "    Note: the reference ID 7 given is not an effect number 1 to 2; the identity matrix is used."},
        {"--relationship above 1", "GEN = 1\n", {}, {"--relationship", "1.5"}, 2,
         box("--relationship: 1.5 is outside its range (above 0, at most 1)") + "Run 'kirv --help' for the options.\n",
         ""},
    };
    for (const auto& c : cases) {
        tk_test::TempDir dir;
        dir.write("d.kin", sire_model(clean_ss, c.settings));
        kirv_test::RunOutcome out;
        if (c.args.empty()) {
            Records records = {"d.kin", ""};
            records.insert(records.end(), c.control.begin(), c.control.end());
            dir.write(kirv_test::control_name, control_text(1, records));
            out = run_kirv(dir);
        } else {
            std::vector<std::string> args = {"d.kin"};
            args.insert(args.end(), c.args.begin(), c.args.end());
            out = run_kirv_args(dir, args);
        }
        EXPECT_EQ(out.exit_status, c.status) << c.name;
        EXPECT_EQ(out.errors, c.errors) << c.name;
        if (c.status == 2) {
            EXPECT_EQ(files_in(dir), Records{"d.kin"}) << c.name;  // nothing read or written
            continue;
        }
        const Records listing = records_of(dir.read("kirv.lst"));
        EXPECT_NE(std::find(listing.begin(), listing.end(), c.memo_note), listing.end()) << c.name;
    }
}

// A data file that is not what kirv reads ends the run with an input error
// that names the file, never an internal error or an unbounded read: tarvel's
// JSON results with a value missing or of the wrong kind, and a text file
// with a record beyond any sane length.
TEST(KirvInputReports, DataFilesThatCannotBeRead) {
    // One effect (sire), one trait: the smallest results of tarvel that kirv reads.
    const json results = json::parse(R"({"program": "tarvel", "settings": {"traits": ["A"]},
        "effects": [{"name": "sire"}], "expected_mean_squares": [[5]],
        "pairs": [{"trait_numbers": [1, 1], "rows": [{"kind": "effect", "df": 20, "ss": 280},
                                                     {"kind": "residual", "df": 80, "ss": 720}]}]})");
    const std::string not_results = "The JSON file d.json is not tarvel's results: ";
    const struct {
        const char* name;
        std::string text;  // of d.json, or d.kin when it does not start with "{"
        std::string message;
    } cases[] = {
        {"the results themselves", results.dump(), ""},
        {"program a number", results.patch(R"([{"op": "replace", "path": "/program", "value": 5}])"_json).dump(),
         not_results + "it does not say \"program\": \"tarvel\"!"},
        {"a text for a number",
         results.patch(R"([{"op": "replace", "path": "/pairs/0/rows/0/df", "value": "20"}])"_json).dump(),
         not_results + "a degree of freedom is not a number!"},
        {"no pairs", results.patch(R"([{"op": "remove", "path": "/pairs"}])"_json).dump(),
         not_results + "it has no \"pairs\"!"},
        {"rows not an array", results.patch(R"([{"op": "replace", "path": "/pairs/0/rows", "value": 7}])"_json).dump(),
         not_results + "a trait pair's table is missing!"},
        {"effects an object", results.patch(R"([{"op": "replace", "path": "/effects", "value": {"name": "x"}}])"_json).dump(),
         not_results + "its effects are missing!"},
        {"traits a text", results.patch(R"([{"op": "replace", "path": "/settings/traits", "value": "A"}])"_json).dump(),
         not_results + "its traits are missing!"},
        {"a trait number beyond int",
         results.patch(R"([{"op": "replace", "path": "/pairs/0/trait_numbers/0", "value": 1e300}])"_json).dump(),
         not_results + "a trait pair names a trait it does not have!"},
        {"a kind a number", results.patch(R"([{"op": "replace", "path": "/pairs/0/rows/0/kind", "value": 1}])"_json).dump(),
         not_results + "a trait pair's table does not fit its effects!"},
        {"a line of 5 MB", "DF = 20 80\n{A}\nGEN = 1\n" + std::string(5 << 20, '1') + "\n",
         "Line 4 of the data file d.kin is longer than 4 MB; no record of a data file is that long!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tk_test::TempDir dir;
        const std::string file = c.text.front() == '{' ? "d.json" : "d.kin";
        dir.write(file, c.text);
        const auto out = run_kirv_args(dir, {file, "-o", "x.lst"});
        if (c.message.empty()) {
            EXPECT_EQ(out.exit_status, 0) << out.errors;
            continue;
        }
        EXPECT_EQ(out.exit_status, 1);
        EXPECT_EQ(out.errors, box(c.message));
        EXPECT_EQ(files_in(dir), Records{file});
    }
}

}  // namespace
