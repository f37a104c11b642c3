// The tables and the report of tarvel, end to end: what they hold against
// the JSON results of the same run, the listing with LF line ends, and what a
// failed run leaves.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "tests/common/results_support.hpp"
#include "tests/tarvel/tarvel_run_support.hpp"

namespace {

using tarvel_test::RunResult;
using tarvel_test::TarvelRun;
using Args = std::vector<std::string>;
using nlohmann::json;

std::string example(const std::string& name) {
    std::ifstream in(std::string(TK_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// One-way, three sires with equal means: the sire component is negative.
// Two traits, so that covariances are analysed too; one case does not read.
const std::string equal_means =
    "MOD = A\n{Weight} {Fat, %}\n1 1 3\n1 9 4\n2 2 6\n2 8 2\n3 3 5\n3 7 5\n2 4..8 5\n";

struct DataSet {
    const char* name;
    std::string data;
    Args options;
    bool negative_variance;  // some variance component is below 0
};

const DataSet data_sets[] = {
    {"half-sib example", example("halfsib.dat"), {}, false},
    {"lambs table", example("lambs.csv"), {"--table", "--model", "flock + sex + sire + dam|sire", "--traits", "bwt,wwt,fat"},
     false},
    {"equal means", equal_means, {"--model", "a"}, true},
};

struct Outputs {
    json results;
    std::string page;
    std::map<std::string, tk_test::Csv> tables;
};

Outputs run_with_outputs(const DataSet& set) {
    TarvelRun run;
    run.write("data.txt", set.data);
    Args args{"data.txt", "--json", "r.json", "--tables", "out/tables", "--report", "r.html"};
    args.insert(args.end(), set.options.begin(), set.options.end());
    const RunResult r = run.run_args(args);
    EXPECT_EQ(r.exit_status, 0) << set.name << r.standard_error;
    Outputs out{json::parse(run.read("r.json")), run.read("r.html"), {}};
    for (const char* name : {"anova.csv", "ems.csv", "cases.csv"})
        out.tables[name] = tk_test::read_csv(run.read(std::string("out/tables/") + name));
    return out;
}

TEST(TarvelTables, HoldTheJsonNumbersExactly) {
    for (const DataSet& set : data_sets) {
        SCOPED_TRACE(set.name);
        const Outputs out = run_with_outputs(set);
        const json& results = out.results;
        // anova.csv: every row of every pair's table, in order.
        const tk_test::Csv& anova = out.tables.at("anova.csv");
        std::size_t k = 0;
        for (const json& pair : results["pairs"])
            for (const json& row : pair["rows"]) {
                ASSERT_LT(k, anova.rows.size());
                const auto& cells = anova.rows[k++];
                EXPECT_TRUE(tk_test::cell_equals(cells.at("trait_1"), pair["traits"][0]));
                EXPECT_TRUE(tk_test::cell_equals(cells.at("trait_2"), pair["traits"][1]));
                for (const char* key : {"source", "df", "ss", "ms", "component", "sd", "denominator", "f",
                                        "satterthwaite_df", "probability"})
                    EXPECT_TRUE(tk_test::cell_equals(cells.at(key), row[key])) << key << " " << cells.at(key);
                EXPECT_TRUE(tk_test::cell_equals(cells.at("component_negative"), row["negative_variance"]));
            }
        EXPECT_EQ(k, anova.rows.size());
        // ems.csv: the effects' coefficients and the residual's 1.
        const json& effects = results["effects"];
        const std::size_t n = effects.size();
        const tk_test::Csv& ems = out.tables.at("ems.csv");
        ASSERT_EQ(ems.rows.size(), (n + 1) * (n + 1));
        for (std::size_t r = 0; r <= n; ++r)
            for (std::size_t c = 0; c <= n; ++c) {
                const auto& cells = ems.rows[r * (n + 1) + c];
                EXPECT_EQ(cells.at("source"), r < n ? effects[r]["name"].get<std::string>() : "Error");
                EXPECT_EQ(cells.at("component_of"), c < n ? effects[c]["name"].get<std::string>() : "Error");
                const json expected = c == n ? json(1) : r == n ? json(0) : results["expected_mean_squares"][r][c];
                EXPECT_TRUE(tk_test::cell_equals(cells.at("coefficient"), expected)) << r << " " << c;
            }
        // cases.csv: the counts, the kinds of problem cases, then the cases
        // missing per trait (known for a table).
        const json& counts = results["cases"];
        std::size_t trait = 0;
        for (const auto& row : out.tables.at("cases.csv").rows) {
            const std::string count = row.at("count");
            if (count != "missing") {
                const json& expected = counts.contains(count) ? counts[count] : counts["problems"][count]["count"];
                EXPECT_TRUE(tk_test::cell_equals(row.at("cases"), expected)) << count;
                continue;
            }
            EXPECT_TRUE(tk_test::cell_equals(row.at("trait"), results["settings"]["traits"][trait]));
            const json missing = results.contains("table") ? results["table"]["traits"][trait]["missing"] : json();
            EXPECT_TRUE(tk_test::cell_equals(row.at("cases"), missing));
            ++trait;
        }
        EXPECT_EQ(trait, results["settings"]["traits"].size());
    }
}

TEST(TarvelReport, ShowsTheJsonNumbersAndEveryTable) {
    for (const DataSet& set : data_sets) {
        SCOPED_TRACE(set.name);
        const Outputs out = run_with_outputs(set);
        const std::vector<std::string> shown = tk_test::expect_page_shows(out.page, out.results);
        const json& pairs = out.results["pairs"];
        for (std::size_t p = 0; p < pairs.size(); ++p)
            for (std::size_t a = 0; a < pairs[p]["rows"].size(); ++a)
                for (const char* key : {"df", "ss", "component"})
                    EXPECT_TRUE(tk_test::contains(shown, "/pairs/" + std::to_string(p) + "/rows/" + std::to_string(a) +
                                                             "/" + key))
                        << p << " " << a << " " << key;
        for (const auto& [kind, problem] : out.results["cases"]["problems"].items())
            for (std::size_t k = 0; k < problem["lines"].size(); ++k)
                EXPECT_TRUE(tk_test::contains(shown, "/cases/problems/" + kind + "/lines/" + std::to_string(k) + "/line"));
        // Negative variance components are drawn as such in the share bars, never left out.
        long negative = 0, drawn = 0;
        for (const json& pair : pairs)
            for (const json& row : pair["rows"])
                negative += pair["kind"] == "variance" && row["kind"] != "mean" && row["component"].is_number() &&
                            row["component"].get<double>() < 0;
        for (std::size_t at = out.page.find("(negative)</title>"); at != std::string::npos;
             at = out.page.find("(negative)</title>", at + 1))
            ++drawn;
        EXPECT_EQ(drawn, negative);
        EXPECT_EQ(negative > 0, set.negative_variance);
    }
}

TEST(TarvelResults, ListingWithUnixLineEnds) {
    TarvelRun run;
    run.write("data.txt", equal_means);
    ASSERT_EQ(run.run_args({"data.txt", "-o", "dos.lst"}).exit_status, 0);
    ASSERT_EQ(run.run_args({"data.txt", "-o", "unix.lst", "--line-ends", "unix"}).exit_status, 0);
    const std::string dos = run.read("dos.lst"), unix = run.read("unix.lst");
    EXPECT_EQ(unix.find('\r'), std::string::npos);
    std::vector<std::string> dos_records = tarvel_test::records_of(dos), unix_records = tarvel_test::records_of(unix);
    EXPECT_EQ(std::count(dos.begin(), dos.end(), '\r'), static_cast<long>(dos_records.size()));
    dos_records.pop_back(), unix_records.pop_back();  // the time notes
    EXPECT_EQ(unix_records, dos_records);
}

TEST(TarvelResults, AFailedRunLeavesNoTablesOrReport) {
    TarvelRun run;
    run.write("data.txt", equal_means);
    const Args outputs{"--tables", "t", "--report", "r.html"};
    Args good{"data.txt"}, bad{"data.txt", "--traits", "{Weight"};
    good.insert(good.end(), outputs.begin(), outputs.end());
    bad.insert(bad.end(), outputs.begin(), outputs.end());
    ASSERT_EQ(run.run_args(good).exit_status, 0);
    EXPECT_EQ(tk_test::files_in(run.dir.path / "t"), (std::vector<std::string>{"anova.csv", "cases.csv", "ems.csv"}));
    const RunResult failed = run.run_args(bad);
    EXPECT_EQ(failed.exit_status, 1);
    EXPECT_FALSE(run.exists("r.html"));
    EXPECT_TRUE(tk_test::files_in(run.dir.path / "t").empty());
}

}  // namespace
