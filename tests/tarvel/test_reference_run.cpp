// The built tarvel, run without a listing on the reference data sets, against
// results computed by a different method (projections of the model matrix):
// the four host arrays of "tanv~tm1.$$$" and the test records of "tanv~tm2.$$$".
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "common/blas.hpp"
#include "tarvel_run_support.hpp"
#include "tests/common/reference_files.hpp"

namespace {

using tarvel_test::ControlFile;
using tarvel_test::TarvelRun;

void expect_matches(const std::vector<double>& got, const nlohmann::json& expected, double rtol,
                    const std::string& what) {
    const auto values = expected["val"].get<std::vector<double>>();
    const auto atol = expected["atol"].get<std::vector<double>>();
    ASSERT_EQ(got.size(), values.size()) << what;
    for (std::size_t k = 0; k < values.size(); ++k)
        EXPECT_TRUE(tk_test::matches_reference(got[k], values[k], rtol, atol[k]))
            << what << "[" << k << "]: " << got[k] << " against " << values[k];
}

// A data set, and the kernel family of the dense routines ("": the program's
// own choice for this processor).
class ReferenceRun : public ::testing::TestWithParam<std::tuple<const char*, const char*>> {};

TEST_P(ReferenceRun, HostResultsMatchTheReference) {
    const std::string name = std::get<0>(GetParam());
    const std::string kernel = std::get<1>(GetParam());
    TK_REQUIRE_REFERENCE(name + ".json");
    const tk::ProcessorFeatures features = tk::processor_features();
    if (kernel == "SkylakeX" && !features.avx512) GTEST_SKIP() << "no AVX-512 here";
    if (kernel == "Haswell" && !(features.avx2 && features.fma)) GTEST_SKIP() << "no AVX2 and FMA here";
    const nlohmann::json ref = nlohmann::json::parse(tk_test::read_reference_file(name + ".json"));
    TarvelRun run;
    run.write("data.dat", tk_test::read_reference_file(name + ".dat"));
    ControlFile control;
    control.listing = 0;
    control.data_file = "data.dat";
    control.capacity_df = ref["capacities"]["nDF"];
    control.capacity_ss = ref["capacities"]["nSS"];
    control.capacity_ems = ref["capacities"]["nEMS"];
    control.capacity_vc = ref["capacities"]["nVC"];
    std::map<std::string, std::string> environment;
    if (!kernel.empty()) environment["OPENBLAS_CORETYPE"] = kernel;
    const tarvel_test::RunResult r = run.run(control, environment);
    ASSERT_EQ(r.exit_status, 0) << r.standard_error;
    EXPECT_EQ(r.standard_error, "");
    const double rtol = ref["rtol"];

    const auto results = run.records(tarvel_test::results_file);
    ASSERT_EQ(results.size(), 4u);
    const char* arrays[] = {"DF", "EMS", "SS", "VC"};
    for (std::size_t k = 0; k < 4; ++k)
        expect_matches(tarvel_test::numbers_of(results[k]), ref["tm1"][arrays[k]], rtol, name + " " + arrays[k]);

    std::vector<double> tests;
    for (const std::string& record : run.records(tarvel_test::no_listing_file)) {
        const auto numbers = tarvel_test::numbers_of(record);
        ASSERT_EQ(numbers.size(), 3u) << record;
        tests.insert(tests.end(), numbers.begin(), numbers.end());
    }
    expect_matches(tests, ref["tm2"], rtol, name + " tests");
}

INSTANTIATE_TEST_SUITE_P(DataSets, ReferenceRun,
                         ::testing::Combine(::testing::Values("d02_chickwts", "d03_pastes", "d06_warpbreaks",
                                                              "d12_airquality", "d14_halfsib"),
                                            ::testing::Values("", "Haswell", "SkylakeX")));

}  // namespace
