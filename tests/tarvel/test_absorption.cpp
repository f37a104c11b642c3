// The absorbed reduction against the dense one on random designs: every
// number the analysis hands on (coefficients, degrees of freedom, and each
// trait pair's sums, mean squares, components, tests and totals) agrees to
// 1e-9 relative, or 1e-9 of the largest of its kind where it is near 0.
#include "pipeline.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

namespace {

using tarvel_test::Case;
using tarvel_test::make_model;

// Factors: A herd, B sire, C dam numbered within sire (a sire has 1 to 4),
// D sex, E a copy of A, F a copy of B. The last trait may hold one value in
// every case (0 or not).
struct LastTrait {
    bool constant = false;
    float value = 0.0f;
};

std::vector<Case> random_cases(std::mt19937& rng, int count, int t, LastTrait last_trait) {
    const int herds = 1 + static_cast<int>(rng() % 5), sires = 1 + static_cast<int>(rng() % 8);
    std::vector<int> dams(static_cast<std::size_t>(sires));
    for (int& d : dams) d = 1 + static_cast<int>(rng() % 4);
    std::normal_distribution<float> noise(0.0f, 1.0f);
    std::vector<Case> cases;
    for (int k = 0; k < count; ++k) {
        const int a = 1 + static_cast<int>(rng() % static_cast<unsigned>(herds));
        const int b = 1 + static_cast<int>(rng() % static_cast<unsigned>(sires));
        const int c = 1 + static_cast<int>(rng() % static_cast<unsigned>(dams[static_cast<std::size_t>(b - 1)]));
        const int d = 1 + static_cast<int>(rng() % 2);
        Case x{{a, b, c, d, a, b}, {}};
        for (int s = 0; s < t; ++s)
            x.y.push_back(last_trait.constant && s == t - 1 ? last_trait.value : 50.0f + 3.0f * a + 2.0f * b + c + noise(rng) * (s + 1));
        cases.push_back(x);
    }
    return cases;
}

// |x - y| <= 1e-9 |y|, or 1e-9 of the largest |y| of the vector.
template <class T>
void expect_agree(const std::vector<T>& absorbed, const std::vector<T>& dense, const char* what) {
    ASSERT_EQ(absorbed.size(), dense.size()) << what;
    double largest = 0.0;
    for (T y : dense) largest = std::max(largest, std::fabs(static_cast<double>(y)));
    for (std::size_t k = 0; k < dense.size(); ++k) {
        const double x = static_cast<double>(absorbed[k]), y = static_cast<double>(dense[k]);
        EXPECT_LE(std::fabs(x - y), 1e-9 * std::max(std::fabs(y), largest))
            << what << "[" << k << "]: absorbed " << x << ", dense " << y;
    }
}

void expect_same_analysis(const tarvel_test::Analysis& absorbed, const tarvel_test::Analysis& dense) {
    expect_agree(absorbed.ems.k.v, dense.ems.k.v, "K");
    expect_agree(absorbed.ems.k_inverse.v, dense.ems.k_inverse.v, "K inverse");
    EXPECT_EQ(absorbed.ems.df, dense.ems.df);
    EXPECT_EQ(absorbed.ems.left_out_effects, dense.ems.left_out_effects);
    ASSERT_EQ(absorbed.pairs.size(), dense.pairs.size());
    for (std::size_t k = 0; k < dense.pairs.size(); ++k) {
        const tarvel::PairAnalysis &a = absorbed.pairs[k], &d = dense.pairs[k];
        SCOPED_TRACE("pair " + std::to_string(k));
        EXPECT_EQ(a.df, d.df);
        EXPECT_EQ(a.nd, d.nd);
        expect_agree(a.ss, d.ss, "SS");
        expect_agree(a.ms, d.ms, "MS");
        expect_agree(a.vc, d.vc, "VC");
        expect_agree(a.sd, d.sd, "SD");
        expect_agree(a.denominator, d.denominator, "denominator");
        expect_agree(a.satterthwaite_df, d.satterthwaite_df, "Satterthwaite df");
        expect_agree(a.f, d.f, "F");
        expect_agree(a.probability, d.probability, "probability");
        expect_agree(std::vector<double>{a.total_ss, a.yy, a.corrected_total, a.accounted, a.accounted_percent},
                     std::vector<double>{d.total_ss, d.yy, d.corrected_total, d.accounted, d.accounted_percent},
                     "totals");
        EXPECT_EQ(a.total_df, d.total_df);
    }
}

TEST(Absorption, AgreesWithTheDenseReductionOnRandomDesigns) {
    struct Design {
        const char* name;
        tarvel::Model model;
    };
    const Design designs[] = {
        {"herd + sire + dam within sire", make_model({{"A", "A"}, {"B", "B"}, {"C|B", "BC"}})},
        {"dams without their sires", make_model({{"A", "A"}, {"C|B", "BC"}})},
        {"the last effect alone", make_model({{"C|B", "BC"}})},
        {"crossed last effect, empty cells", make_model({{"A", "A"}, {"D", "D"}, {"A*B", "AB"}})},
        {"rejected earlier columns", make_model({{"A", "A"}, {"E", "E"}, {"B", "B"}, {"C|B", "BC"}})},
        {"last effect a copy of an earlier one", make_model({{"A", "A"}, {"B", "B"}, {"F", "F"}})},
        {"sex before dams", make_model({{"A", "A"}, {"B", "B"}, {"D", "D"}, {"C|B", "BC"}})},
    };
    std::mt19937 rng(20240515);
    int rejected_last = 0;
    for (const Design& design : designs)
        for (int trial = 0; trial < 12; ++trial) {
            const int t = 1 + trial % 3;
            const LastTrait last_trait{trial % 5 >= 3, trial % 5 == 4 ? 0.0f : 0.1f * static_cast<float>(trial)};
            const std::vector<Case> cases = random_cases(rng, 6 + static_cast<int>(rng() % 90), t, last_trait);
            SCOPED_TRACE(std::string(design.name) + ", trial " + std::to_string(trial));
            const tarvel_test::Analysis dense = tarvel_test::analyse(design.model, cases, t, 16);
            const tarvel_test::Analysis absorbed =
                tarvel_test::analyse_absorbed(design.model, cases, t, 1 + trial % 3, 1 + trial % 4);
            expect_same_analysis(absorbed, dense);
            const tarvel::EffectColumns& last = dense.layout.effects.back();
            for (int i = last.first_column; i < last.first_column + last.level_count; ++i)
                rejected_last += !tarvel::is_accepted(dense.eq, dense.tau, i);
        }
    EXPECT_GT(rejected_last, 50);  // the designs do reject columns of the last effect
}

}  // namespace
