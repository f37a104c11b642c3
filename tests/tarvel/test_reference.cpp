// The kernels end to end on the reference data sets, against results
// computed independently by another method.
#include "pipeline.hpp"

#include <gtest/gtest.h>

#include "tests/common/reference_files.hpp"
#include <nlohmann/json.hpp>

#include <cctype>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using tarvel_test::Case;
using tarvel_test::make_model;

std::filesystem::path reference_dir() { return tk_test::reference_file("README.md").parent_path(); }

struct Cases {
    std::vector<Case> accepted;
    int skipped = 0;
};

// The simplest reading of a data file: head lines up to the first line that
// starts with a digit, then whitespace-separated factors and traits; a case
// with a missing trait or a level of 0 or less is skipped.
Cases read_cases(const std::filesystem::path& file, int f, int t, const std::vector<float>& missing) {
    std::ifstream in(file);
    EXPECT_TRUE(in.good()) << file;
    Cases result;
    std::string line;
    bool data = false;
    while (std::getline(in, line)) {
        const auto first = line.find_first_not_of(" \t\r");
        if (!data) {
            if (first == std::string::npos || !std::isdigit(static_cast<unsigned char>(line[first]))) continue;
            data = true;
        }
        std::istringstream fields(line);
        std::vector<float> v;
        for (float x; fields >> x;) v.push_back(x);
        if (v.empty()) continue;
        EXPECT_EQ(v.size(), static_cast<std::size_t>(f + t)) << line;
        Case c;
        bool skip = false;
        for (int k = 0; k < t; ++k) {
            const float y = v[static_cast<std::size_t>(f + k)];
            for (float m : missing) skip = skip || y == m;
            c.y.push_back(y);
        }
        for (int g = 0; g < f; ++g) {
            const auto level = static_cast<tarvel::Level>(std::trunc(v[static_cast<std::size_t>(g)]));
            skip = skip || level <= 0;
            c.levels.push_back(level);
        }
        if (skip)
            ++result.skipped;
        else
            result.accepted.push_back(c);
    }
    return result;
}

void expect_values(const char* what, const std::vector<double>& got, const nlohmann::json& expected, double rtol) {
    const auto& val = expected.at("val");
    const auto& atol = expected.at("atol");
    ASSERT_EQ(got.size(), val.size()) << what;
    for (std::size_t k = 0; k < got.size(); ++k) {
        const double v = val[k].get<double>();
        EXPECT_LE(std::fabs(got[k] - v), rtol * std::fabs(v) + atol[k].get<double>())
            << what << "[" << k << "]: got " << got[k] << ", expected " << v;
    }
}

struct Reference {
    const char* name;
    tarvel::Model model;
    int f;
    std::vector<float> missing;
};

class ReferenceRun : public testing::TestWithParam<int> {};

TEST_P(ReferenceRun, MatchesIndependentResults) {
    TK_REQUIRE_REFERENCE("README.md");
    const Reference references[] = {
        {"d02_chickwts", make_model({{"A", "A"}}), 1, {}},
        {"d03_pastes", make_model({{"A", "A"}, {"B|A", "AB"}}), 2, {}},
        {"d06_warpbreaks", make_model({{"A", "A"}, {"B", "B"}, {"A*B", "AB"}}), 2, {}},
        {"d12_airquality", make_model({{"A", "A"}, {"B", "B"}, {"A*B", "AB"}}), 2, {-9.0f, -99.0f}},
        {"d14_halfsib", make_model({{"A", "A"}, {"B|A", "AB"}}), 2, {-999.0f}},
    };
    for (const Reference& ref : references) {
        SCOPED_TRACE(ref.name);
        std::ifstream json_file(reference_dir() / (std::string(ref.name) + ".json"));
        ASSERT_TRUE(json_file.good());
        const nlohmann::json expected = nlohmann::json::parse(json_file);
        const int t = expected.at("t").get<int>();
        const int n = static_cast<int>(ref.model.effects.size());
        ASSERT_EQ(expected.at("n").get<int>(), n);
        const double rtol = expected.at("rtol").get<double>();

        const Cases cases = read_cases(reference_dir() / (std::string(ref.name) + ".dat"), ref.f, t, ref.missing);
        EXPECT_EQ(static_cast<int>(cases.accepted.size()), expected.at("cases_accepted").get<int>());
        EXPECT_EQ(cases.skipped, expected.at("cases_skipped").get<int>());

        const tarvel_test::Analysis an = GetParam() < 0
                                             ? tarvel_test::analyse_absorbed(ref.model, cases.accepted, t, 2, 4)
                                             : tarvel_test::analyse(ref.model, cases.accepted, t, GetParam());
        const nlohmann::json& tm1 = expected.at("tm1");

        // DF of the effects and the residual, as left by the last pair.
        std::vector<double> df;
        for (int a = 1; a <= n + 1; ++a) df.push_back(an.pairs.back().df[static_cast<std::size_t>(a)]);
        expect_values("DF", df, tm1.at("DF"), rtol);

        std::vector<double> ems;
        for (int r = 1; r <= n; ++r)
            for (int c = 1; c <= n; ++c) ems.push_back(an.ems.k(r, c));
        expect_values("EMS", ems, tm1.at("EMS"), rtol);

        // SS and VC: per source (effects, residual), per trait pair s <= u,
        // through 4-byte reals as the trait-matrix tables hold them.
        std::vector<double> ss, vc;
        for (int a = 1; a <= n + 1; ++a)
            for (int s = 0; s < t; ++s)
                for (int u = s; u < t; ++u) {
                    const tarvel::PairAnalysis& p = an.pairs[static_cast<std::size_t>(tarvel::trait_pair_index(s, u, t))];
                    ss.push_back(static_cast<float>(p.ss[static_cast<std::size_t>(a)]));
                    vc.push_back(static_cast<float>(p.vc[static_cast<std::size_t>(a)]));
                }
        expect_values("SS", ss, tm1.at("SS"), rtol);
        expect_values("VC", vc, tm1.at("VC"), rtol);

        std::vector<double> tm2;
        for (const tarvel::PairAnalysis& p : an.pairs)
            for (int a = 1; a <= n; ++a) {
                const auto as = static_cast<std::size_t>(a);
                tm2.push_back(p.f[as]);
                tm2.push_back(p.satterthwaite_df[as]);
                tm2.push_back(p.has_probability(a) ? p.probability[as] : -1.0);
            }
        expect_values("tm2", tm2, expected.at("tm2"), rtol);
        EXPECT_TRUE(an.ems.left_out_effects.empty());
    }
}

// 0: the plain reduction; 5 and 16: the blocked one with narrow blocks; -1:
// the last effect absorbed.
INSTANTIATE_TEST_SUITE_P(Reduction, ReferenceRun, testing::Values(0, 5, 16, -1));

}  // namespace
