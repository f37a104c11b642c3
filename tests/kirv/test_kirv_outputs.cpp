// The tables and the report of kirv, end to end: what they hold against the
// JSON results of the same run, the flags a reader must see, and the
// listing with LF line ends.
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <fstream>

#include "kirv_run_support.hpp"
#include "tests/common/results_support.hpp"

namespace {

using Args = std::vector<std::string>;
using nlohmann::json;

std::string example(const std::string& name) {
    std::ifstream in(std::string(TK_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// Sires and residual, named as tarvel names them, E[MS(sire)] = 3 sire +
// residual: MS(sire) = ((40, 3), (3, 1)) and MS(residual) = ((2, 1), (1, 2))
// give a negative sire variance for Fat and, with a relationship of 0.25, an
// individual heritability of Weight of 3.45, set to 1.
const std::string bounded = "GEN = 1\nDF = 10 50\nTraits {Weight} {Fat, %}\nEMS / UP\n3 1\n1\n"
                            "//EFFECT 1 = sire\n//EFFECT 2 = Error\nSS / LOW\n400\n30 10\n100\n50 100\n";

struct DataSet {
    const char* name;
    std::string data;
    bool bending;
    std::vector<std::string> h2_individual_flag;   // per trait
    std::vector<std::string> flags;                // texts the report must show
};

const DataSet data_sets[] = {
    {"bending example", example("bending.kin"), true, {"estimate", "estimate", "estimate"},
     {"had the smallest eigenvalue", "was bent (factor"}},
    {"negative and bounded", bounded, false, {"bound", "negative_variance"},
     {"The variance component of Fat, % for sire (effect 1 of 2) was negative", "is not positive definite",
      "at the individual level (estimated as <span data-json=\"/individual_level/heritability/raw/0\">3.45455</span>) lay "
      "outside its range"}},
};

struct Outputs {
    json results;
    std::string page;
    std::map<std::string, tk_test::Csv> tables;
    std::vector<std::string> table_files;
};

Outputs run_with_outputs(const DataSet& set) {
    tk_test::TempDir dir;
    dir.write("d.kin", set.data);
    std::filesystem::create_directory(dir.path / "out");
    dir.write("out/bending.csv", "from an earlier run\n");
    const auto r = kirv_test::run_kirv_args(dir, {"d.kin", "--json", "r.json", "--tables", "out", "--report", "r.html"});
    EXPECT_EQ(r.exit_status, 0) << r.errors;
    Outputs out{json::parse(dir.read("r.json")), dir.read("r.html"), {}, tk_test::files_in(dir.path / "out")};
    for (const std::string& name : out.table_files) out.tables[name] = tk_test::read_csv(dir.read("out/" + name));
    return out;
}

TEST(KirvTables, HoldTheJsonNumbersExactly) {
    for (const DataSet& set : data_sets) {
        SCOPED_TRACE(set.name);
        const Outputs out = run_with_outputs(set);
        const json& results = out.results;
        const std::size_t t = results["traits"].size();
        std::vector<std::string> files{"correlations.csv", "covariances.csv", "parameters.csv"};
        if (set.bending) files.insert(files.begin(), "bending.csv");
        EXPECT_EQ(out.table_files, files);  // an earlier bending table does not stay without bending

        const tk_test::Csv& parameters = out.tables.at("parameters.csv");
        ASSERT_EQ(parameters.rows.size(), t);
        for (std::size_t i = 0; i < t; ++i) {
            const auto& row = parameters.rows[i];
            EXPECT_TRUE(tk_test::cell_equals(row.at("trait"), results["traits"][i]));
            for (const auto& [level, column] : {std::pair{"group_level", "group"}, {"individual_level", "individual"}}) {
                const json& h = results[level]["heritability"];
                EXPECT_TRUE(tk_test::cell_equals(row.at(std::string("h2_") + column), h["value"][i]));
                EXPECT_TRUE(tk_test::cell_equals(row.at(std::string("se_h2_") + column), h["standard_error"][i]));
                EXPECT_TRUE(tk_test::cell_equals(row.at(std::string("h2_") + column + "_raw"), h["raw"][i]));
                EXPECT_TRUE(tk_test::cell_equals(row.at(std::string("h2_") + column + "_flag"), h["flag"][i]));
            }
            EXPECT_EQ(row.at("h2_individual_flag"), set.h2_individual_flag[i]);
        }
        const tk_test::Csv& correlations = out.tables.at("correlations.csv");
        ASSERT_EQ(correlations.rows.size(), t * (t - 1) / 2);
        std::size_t k = 0;
        for (std::size_t i = 0; i < t; ++i)
            for (std::size_t j = i + 1; j < t; ++j) {
                const auto& row = correlations.rows[k++];
                EXPECT_TRUE(tk_test::cell_equals(row.at("trait_2"), results["traits"][j]));
                for (const auto& [kind, r] : {std::pair{"genetic_correlations", "rg"}, {"phenotypic_correlations", "rp"}}) {
                    EXPECT_TRUE(tk_test::cell_equals(row.at(r), results[kind]["value"][i][j]));
                    EXPECT_TRUE(tk_test::cell_equals(row.at(std::string("se_") + r), results[kind]["standard_error"][i][j]));
                    for (const char* key : {"raw", "flag"})
                        EXPECT_TRUE(tk_test::cell_equals(row.at(std::string(r) + "_" + key), results[kind][key][i][j]));
                }
            }
        const tk_test::Csv& covariances = out.tables.at("covariances.csv");
        ASSERT_EQ(covariances.rows.size(), 4 * t * (t + 1) / 2);
        for (const auto& row : covariances.rows) {
            const auto index = [&](const std::string& name) {
                for (std::size_t i = 0; i < t; ++i)
                    if (results["traits"][i] == name) return i;
                return t;
            };
            const json& m = results[row.at("level") + "_level"][row.at("matrix")];
            EXPECT_TRUE(tk_test::cell_equals(row.at("value"), m[index(row.at("trait_1"))][index(row.at("trait_2"))]));
        }
        if (!set.bending) continue;
        const tk_test::Csv& bending = out.tables.at("bending.csv");
        ASSERT_EQ(bending.rows.size(), t);
        for (std::size_t i = 0; i < t; ++i) {
            EXPECT_TRUE(tk_test::cell_equals(bending.rows[i].at("original"), results["bending"]["original_eigenvalues"][i]));
            EXPECT_TRUE(tk_test::cell_equals(bending.rows[i].at("bent"), results["bending"]["bent_eigenvalues"][i]));
            EXPECT_TRUE(tk_test::cell_equals(bending.rows[i].at("factor"), results["bending"]["factor"]));
        }
    }
}

TEST(KirvReport, ShowsTheJsonNumbersAndTheFlags) {
    for (const DataSet& set : data_sets) {
        SCOPED_TRACE(set.name);
        const Outputs out = run_with_outputs(set);
        const std::vector<std::string> shown = tk_test::expect_page_shows(out.page, out.results);
        const std::size_t t = out.results["traits"].size();
        for (std::size_t i = 0; i < t; ++i) {
            const std::string n = std::to_string(i);
            for (const char* level : {"group_level", "individual_level"})
                for (const char* key : {"value", "standard_error"})
                    EXPECT_TRUE(tk_test::contains(shown, std::string("/") + level + "/heritability/" + key + "/" + n));
            for (std::size_t j = 0; j < t; ++j) {
                if (i == j) continue;
                const std::string kind = i < j ? "/genetic_correlations/" : "/phenotypic_correlations/";
                EXPECT_TRUE(tk_test::contains(shown, kind + "standard_error/" + n + "/" + std::to_string(j)));
            }
            EXPECT_EQ(tk_test::contains(shown, "/bending/bent_eigenvalues/" + n), set.bending);
        }
        for (const std::string& flag : set.flags) EXPECT_NE(out.page.find(flag), std::string::npos) << flag;
    }
}

TEST(KirvResults, ListingWithUnixLineEnds) {
    tk_test::TempDir dir;
    dir.write("d.kin", bounded);
    ASSERT_EQ(kirv_test::run_kirv_args(dir, {"d.kin", "-o", "unix.lst", "--line-ends", "unix"}).exit_status, 0);
    ASSERT_EQ(kirv_test::run_kirv_args(dir, {"d.kin", "-o", "dos.lst", "--line-ends", "DOS"}).exit_status, 0);
    const std::string unix = dir.read("unix.lst"), dos = dir.read("dos.lst");
    EXPECT_EQ(unix.find('\r'), std::string::npos);
    std::vector<std::string> dos_records = kirv_test::records_of(dos);
    EXPECT_EQ(std::count(dos.begin(), dos.end(), '\r'), static_cast<long>(dos_records.size()));
    EXPECT_EQ(kirv_test::records_of(unix).size(), dos_records.size());
}

}  // namespace
