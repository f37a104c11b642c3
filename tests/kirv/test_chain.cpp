// The whole road from raw data to genetic parameters: tarvel with the print
// option KIRV on the half-sib reference data, then kirv on the "KIRV.IN_" it
// wrote, with the genetic group and the relationship given by the control
// file. The results are checked against the reference's independently
// computed parameters of the sire analysis.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "kirv_run_support.hpp"
#include "tests/common/reference_files.hpp"
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

}  // namespace
