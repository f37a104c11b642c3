// The whole road from raw data to genetic parameters: tarvel with the print
// option KIRV on the half-sib reference data, then kirv on the "KIRV.IN_" it
// wrote, with the genetic group and the relationship given by the control
// file. The results are checked against the reference's independently
// computed parameters of the sire analysis.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <map>

#include "kirv_run_support.hpp"
#include "tests/common/reference_files.hpp"
#include "tests/tarvel/halfsib_table.hpp"
#include "tests/tarvel/tarvel_run_support.hpp"

namespace {

TEST(Chain, TarvelExportReadByKirv) {
    TK_REQUIRE_REFERENCE("k01_halfsib_sire.json");
    const nlohmann::json ref = nlohmann::json::parse(tk_test::read_reference_file("k01_halfsib_sire.json"));
    const nlohmann::json& chain = ref["chain"];

    tarvel_test::TarvelRun run;
    run.write(std::string(chain["from"]) + ".dat", tk_test::read_reference_file(std::string(chain["from"]) + ".dat"));
    tarvel_test::ControlFile analysis;
    analysis.data_file = std::string(chain["from"]) + ".dat";
    analysis.print_options = "KIRV";
    const tarvel_test::RunResult analysed = run.run(analysis);
    ASSERT_EQ(analysed.exit_status, 0) << analysed.standard_error;
    ASSERT_TRUE(run.exists(tarvel_test::export_file));

    run.write(kirv_test::control_name, kirv_test::control_text(0, {tarvel_test::export_file, "", "",
                                                                   std::string(chain["rel"]), std::string(chain["gen"])}));
    const kirv_test::RunOutcome out = kirv_test::run_kirv(run.dir);
    ASSERT_EQ(out.exit_status, 0);
    EXPECT_EQ(tk_test::without_warnings(out.errors), "");
    std::vector<double> values;
    for (const std::string& record : kirv_test::records_of(run.read(kirv_test::summary_name))) {
        const std::vector<double> v = kirv_test::numbers_of(record);
        values.insert(values.end(), v.begin(), v.end());
    }
    const auto expected = ref["tm4"]["val"].get<std::vector<double>>();
    const auto atol = chain["atol"].get<std::vector<double>>();
    const double rtol = chain["rtol"];
    ASSERT_EQ(values.size(), expected.size());
    for (std::size_t k = 0; k < values.size(); ++k)
        EXPECT_TRUE(tk_test::matches_reference(values[k], expected[k], rtol, atol[k]))
            << "value " << k << ": " << values[k] << " against " << expected[k];
}

// 64 traits: the rows of the export file's SS triangles run past 1000
// characters (up to 64 values of 16 columns). Every genetic correlation that
// kirv computes from the export file equals the one of tarvel's own sire
// components, to the precision of the export file's 4-byte sums of squares.
TEST(Chain, SixtyFourTraitsThroughTheExportFile) {
    constexpr int traits = 64, sires = 20, progeny = 8;
    std::uint64_t state = 12345;
    const auto uniform = [&state] {  // a fixed sequence, the same on every machine
        state = state * 6364136223846793005ULL + 1442695040888963407ULL;
        return static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
    };
    std::string data = "MOD = A\n";
    for (int k = 1; k <= traits; ++k) data += "{T" + std::to_string(k) + "} ";
    data += "\n";
    char value[32];
    for (int s = 1; s <= sires; ++s) {
        const double u = 4.0 * uniform(), v = 4.0 * uniform();  // two sire factors shared by the traits
        for (int p = 0; p < progeny; ++p) {
            data += std::to_string(s);
            const double common = uniform();
            for (int k = 0; k < traits; ++k) {
                const double sire_part = std::cos(0.1 * k) * u + std::sin(0.1 * k) * v;
                std::snprintf(value, sizeof value, " %.4f", 10.0 + sire_part + common + uniform());
                data += value;
            }
            data += "\n";
        }
    }
    tarvel_test::TarvelRun run;
    run.write("data.txt", data);
    const tarvel_test::RunResult analysed = run.run_args({"data.txt", "--print", "kirv", "--json", "t.json"});
    ASSERT_EQ(analysed.exit_status, 0) << analysed.standard_error;
    const kirv_test::RunOutcome out =
        kirv_test::run_kirv_args(run.dir, {tarvel_test::export_file, "--genetic-group", "1", "--json", "k.json"});
    ASSERT_EQ(out.exit_status, 0) << out.errors;

    // The sire components of tarvel's pairs, by trait numbers.
    std::map<std::pair<int, int>, double> sire;
    const nlohmann::json analysis = nlohmann::json::parse(run.read("t.json"));
    for (const nlohmann::json& pair : analysis["pairs"]) {
        const int s = pair["trait_numbers"][0], u = pair["trait_numbers"][1];
        sire[{s - 1, u - 1}] = pair["rows"][1]["component"];
    }
    const nlohmann::json kirv = nlohmann::json::parse(run.read("k.json"));
    ASSERT_EQ(kirv["traits"].size(), static_cast<std::size_t>(traits));
    const nlohmann::json& r = kirv["genetic_correlations"]["value"];
    int compared = 0;
    for (int i = 0; i < traits; ++i)
        for (int j = i + 1; j < traits; ++j) {
            const double expected = sire[{i, j}] / std::sqrt(sire[{i, i}] * sire[{j, j}]);
            if (!(sire[{i, i}] > 0.0 && sire[{j, j}] > 0.0 && std::fabs(expected) < 0.999)) continue;
            EXPECT_NEAR(r[i][j].get<double>(), expected, 1e-4) << "traits " << i + 1 << " and " << j + 1;
            ++compared;
        }
    EXPECT_GT(compared, 1500);  // most of the 2016 pairs
}

}  // namespace

namespace {

// A breeder's table to genetic parameters by names: tarvel writes the export
// file and its JSON results with the names of the effects; kirv takes the
// sires by name from either, chooses them itself when not told (and says
// why), refuses the mean and the residual, and from the JSON, which holds
// every digit, reaches the reference's parameters within the reference's own
// tolerance for kirv (the export file's 4-byte sums of squares need more).
TEST(Chain, TableToKirvByEffectName) {
    TK_REQUIRE_REFERENCE("k01_halfsib_sire.json");
    const nlohmann::json ref = nlohmann::json::parse(tk_test::read_reference_file("k01_halfsib_sire.json"));
    tarvel_test::TarvelRun run;
    run.write("lambs.csv",
              tarvel_test::halfsib_table(tk_test::read_reference_file(std::string(ref["chain"]["from"]) + ".dat")).text);
    const tarvel_test::RunResult analysed = run.run_args({"lambs.csv", "--model", tarvel_test::halfsib_model, "--traits",
                                                          tarvel_test::halfsib_traits, "--print", "kirv", "--json",
                                                          "lambs.json"});
    ASSERT_EQ(analysed.exit_status, 0) << analysed.standard_error;
    const std::vector<std::string> exported = run.records(tarvel_test::export_file);
    for (const char* line : {"//EFFECT 1 = sire", "//EFFECT 2 = dam|sire", "//EFFECT 3 = Error"})
        EXPECT_NE(std::find(exported.begin(), exported.end(), line), exported.end()) << line;

    const auto memo_has = [&](const std::string& listing, const std::string& line) {
        const std::vector<std::string> records = run.records(listing);
        return std::find(records.begin(), records.end(), line) != records.end();
    };
    const kirv_test::RunOutcome by_name =
        kirv_test::run_kirv_args(run.dir, {tarvel_test::export_file, "--genetic-group", "sire", "-o", "n.lst"});
    ASSERT_EQ(by_name.exit_status, 0) << by_name.errors;
    EXPECT_TRUE(memo_has("n.lst", "    ID number for genetic group effect                 1 (sire)"));
    const kirv_test::RunOutcome chosen = kirv_test::run_kirv_args(run.dir, {"lambs.json", "-o", "c.lst"});
    ASSERT_EQ(chosen.exit_status, 0) << chosen.errors;
    EXPECT_EQ(chosen.errors.rfind("Warning: The genetic group is effect 1 (sire), chosen by kirv: dam|sire is nested "
                                  "within it. Name another with --genetic-group (or a GEN line).\n",
                                  0),
              0u)
        << chosen.errors;
    EXPECT_TRUE(memo_has("c.lst", "    Chosen by kirv: dam|sire is nested within it"));

    const struct {
        const char* group;
        std::string message;
    } refused[] = {
        {"Error", "Error ID of genetic group specified! Effect 3 (Error) is the residual, which cannot be the "
                  "genetic group; choose an effect of the model!"},
        {"3", "Error ID of genetic group specified! Effect 3 (Error) is the residual, which cannot be the genetic "
              "group; choose an effect of the model!"},
        {"Mean", "Error ID of genetic group specified! The mean cannot be the genetic group; choose an effect of the "
                 "model!"},
        {"sir", "No effect is named 'sir'; the nearest is 'sire'!"},
    };
    for (const auto& c : refused) {
        const kirv_test::RunOutcome out =
            kirv_test::run_kirv_args(run.dir, {"lambs.json", "--genetic-group", c.group, "-o", "x.lst"});
        EXPECT_EQ(out.exit_status, 1) << c.group;
        EXPECT_EQ(out.errors, kirv_test::box(c.message)) << c.group;
    }
    run.write("kirv.json", "{\"program\": \"kirv\"}");
    EXPECT_EQ(kirv_test::run_kirv_args(run.dir, {"kirv.json", "-o", "x.lst"}).errors,
              kirv_test::box("The JSON file kirv.json is not tarvel's results: it does not say \"program\": "
                             "\"tarvel\"!"));

    run.write(kirv_test::control_name, kirv_test::control_text(0, {"lambs.json", "", "", "0.25", "1"}));
    ASSERT_EQ(kirv_test::run_kirv(run.dir).exit_status, 0);
    std::vector<double> values;
    for (const std::string& record : kirv_test::records_of(run.read(kirv_test::summary_name))) {
        const std::vector<double> v = kirv_test::numbers_of(record);
        values.insert(values.end(), v.begin(), v.end());
    }
    const auto expected = ref["tm4"]["val"].get<std::vector<double>>();
    ASSERT_EQ(values.size(), expected.size());
    for (std::size_t k = 0; k < values.size(); ++k)
        EXPECT_TRUE(tk_test::matches_reference(values[k], expected[k], 1e-9, 1e-12))
            << "value " << k << ": " << values[k] << " against " << expected[k];
}

}  // namespace
