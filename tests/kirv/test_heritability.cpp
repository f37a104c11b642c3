#include "kirv/heritability.hpp"

#include "kirv/components.hpp"
#include "matrices.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>

namespace {

using kirv::EffectMatrices;
using kirv_test::from_rows;

// Everything from one analysis, through the component kernels.
struct Parameters {
    kirv::GroupLevel group;
    kirv::IndividualLevel individual;
    kirv::Heritabilities h2_group, h2_individual;
    kirv::Correlations genetic, phenotypic;
};

Parameters parameters(const tk::Matrix& ems, const EffectMatrices& ss, const std::vector<double>& df, int g,
                      double relative) {
    EffectMatrices ms = kirv::compute_mean_squares(ss, df);
    kirv::ComponentSolution s = kirv::solve_components(ems, ms);
    EXPECT_FALSE(s.singular);
    kirv::clear_negative_variances(ems, 1, s.vc, ms);
    Parameters p;
    p.group = kirv::partition_group_level(g, s.vc, s.inverse_ems, ms);
    p.h2_group = kirv::group_heritabilities(g, p.group.phenotypic, p.group.genetic, s.inverse_ems, ms, df);
    p.individual = kirv::partition_individual_level(g, relative, s.vc, s.inverse_ems);
    p.h2_individual = kirv::individual_heritabilities(p.individual.phenotypic, p.individual.genetic,
                                                      p.individual.genetic_coefficients,
                                                      p.individual.phenotypic_coefficients, ms, df);
    p.genetic = kirv::genetic_correlations(g, p.group.genetic, s.inverse_ems, ms, df);
    p.phenotypic = kirv::phenotypic_correlations(p.individual.phenotypic, p.individual.phenotypic_coefficients, ms, df);
    return p;
}

// SS(k) = DF(k) MS(k), so that the mean squares come out as given.
EffectMatrices sums_of_squares(const EffectMatrices& ms, const std::vector<double>& df) {
    EffectMatrices ss = ms;
    for (std::size_t k = 0; k < ss.size(); ++k)
        for (double& x : ss[k].v) x *= df[k];
    return ss;
}

const tk::Matrix worked_ems = from_rows(2, {3, 1, 0, 1});
const std::vector<double> worked_df = {10, 50};

TEST(Heritability, WorkedExampleOneTrait) {
    const EffectMatrices ms = {from_rows(1, {10}), from_rows(1, {8})};
    const Parameters p = parameters(worked_ems, sums_of_squares(ms, worked_df), worked_df, 0, 0.25);
    EXPECT_NEAR(p.h2_group.h2[0], 0.2, 5e-9);
    EXPECT_NEAR(p.h2_group.se[0], 0.36232865, 5e-9);
    EXPECT_NEAR(p.h2_individual.h2[0], 0.30769231, 5e-9);
    EXPECT_NEAR(p.h2_individual.se[0], 0.64318695, 5e-9);
}

TEST(Correlations, WorkedExampleTwoTraits) {
    const EffectMatrices ms = {from_rows(2, {10, 3, 3, 12}), from_rows(2, {8, 2, 2, 9})};
    const Parameters p = parameters(worked_ems, sums_of_squares(ms, worked_df), worked_df, 0, 0.25);
    for (auto [i, j] : {std::pair{0, 1}, std::pair{1, 0}}) {
        EXPECT_NEAR(p.genetic.r(i, j), 0.40824829, 5e-9);
        EXPECT_NEAR(p.genetic.se(i, j), 1.24228388, 5e-9);
        EXPECT_NEAR(p.phenotypic.r(i, j), 0.25064021, 5e-9);
        EXPECT_NEAR(p.phenotypic.se(i, j), 0.13196881, 5e-9);
    }
    // The diagonal is 1 with no standard error (the bracket vanishes).
    for (int i = 0; i < 2; ++i) {
        EXPECT_DOUBLE_EQ(p.genetic.r(i, i), 1.0);
        EXPECT_DOUBLE_EQ(p.phenotypic.r(i, i), 1.0);
        EXPECT_EQ(p.genetic.se(i, i), 0.0);
        EXPECT_EQ(p.phenotypic.se(i, i), 0.0);
    }
}

// One effect with W = 1, MS = a and DF = 2 (D = 4): var(G) = var(P) =
// cov(G, P) = a^2 / 2, so se = (G / P) sqrt(a^2 / 2 (1/G - 1/P)^2).
TEST(Heritability, ThresholdsAndClamps) {
    struct Case {
        const char* name;
        double g, p;
        double h2, se;  // se < 0: not checked
    };
    const Case cases[] = {
        {"ordinary", 1, 2, 0.5, 0.5 * std::sqrt(2.0 * 0.25)},
        {"above 1: se from the ratio 1.5", 3, 2, 1.0, 1.5 / std::sqrt(18.0)},
        {"negative genetic variance", -0.5, 2, 0.0, 0.0},
        {"negative phenotypic variance", 1, -2, 0.0, 0.0},
        {"|P| exactly 1e-12", 1e-13, 1e-12, 0.0, 0.0},
        {"|P| exactly -1e-12", 1e-13, -1e-12, 0.0, 0.0},
        {"P just above 1e-12", 1e-12, 1.0001e-12, 1e-12 / 1.0001e-12, -1},
        {"|G| exactly 1e-12", 1e-12, 2, 0.5e-12, 0.0},
    };
    const EffectMatrices ms = {from_rows(1, {2})};
    const tk::Matrix w = from_rows(1, {1});
    for (const Case& c : cases) {
        const tk::Matrix g = from_rows(1, {c.g});
        const tk::Matrix p = from_rows(1, {c.p});
        const kirv::Heritabilities group = kirv::group_heritabilities(0, p, g, w, ms, {2});
        EXPECT_DOUBLE_EQ(group.h2[0], c.h2) << c.name;
        if (c.se >= 0) {
            EXPECT_NEAR(group.se[0], c.se, 1e-15) << c.name;
        }
        // The individual level follows the same rule, with cG = cP = 1 here.
        const kirv::Heritabilities ind = kirv::individual_heritabilities(p, g, {1}, {1}, ms, {2});
        EXPECT_DOUBLE_EQ(ind.h2[0], c.h2) << c.name;
        if (c.se >= 0) {
            EXPECT_NEAR(ind.se[0], c.se, 1e-15) << c.name;
        }
    }
}

TEST(Correlations, ThresholdsAndClamps) {
    const tk::Matrix w = from_rows(1, {1});
    const std::vector<double> df = {2};
    struct Case {
        const char* name;
        tk::Matrix x;
        double r01, se01, r00, r11;
    };
    const Case cases[] = {
        // 7 / 6 clamps to 1 and the standard error uses r = 1 (13/84, not 0.18056).
        {"above 1", from_rows(2, {4, 7, 7, 9}), 1.0, 13.0 / 84.0, 1.0, 1.0},
        {"below -1", from_rows(2, {4, -7, -7, 9}), -1.0, 13.0 / 84.0, 1.0, 1.0},
        {"zero genetic variance", from_rows(2, {0, 0.5, 0.5, 9}), 0.0, 0.0, 0.0, 1.0},
        {"negative variance", from_rows(2, {4, 0.5, 0.5, -1}), 0.0, 0.0, 1.0, 0.0},
        {"variance exactly 1e-12 is used", from_rows(2, {1e-12, 1e-12, 1e-12, 1e-12}), 1.0, 0.0, 1.0, 1.0},
        {"covariance below 1e-12", from_rows(2, {4, 5e-13, 5e-13, 9}), 5e-13 / 6.0, 0.0, 1.0, 1.0},
    };
    for (const Case& c : cases) {
        const EffectMatrices ms = {c.x};  // MS = x with W = 1
        for (const kirv::Correlations& k : {kirv::genetic_correlations(0, c.x, w, ms, df),
                                            kirv::phenotypic_correlations(c.x, {1}, ms, df)}) {
            EXPECT_DOUBLE_EQ(k.r(0, 1), c.r01) << c.name;
            EXPECT_DOUBLE_EQ(k.r(1, 0), c.r01) << c.name;
            EXPECT_NEAR(k.se(0, 1), c.se01, 1e-15) << c.name;
            EXPECT_DOUBLE_EQ(k.r(0, 0), c.r00) << c.name;
            EXPECT_DOUBLE_EQ(k.r(1, 1), c.r11) << c.name;
            EXPECT_EQ(k.se(0, 0), 0.0) << c.name;
        }
    }
}

// Sire analysis of a half-sib design (three traits, genetic group effect 1,
// relative coefficient 0.25, no bending); the expected values were computed
// independently of this program. The third trait's sire variance is negative
// and is cleared to 0.
TEST(Parameters, HalfSibSireAnalysis) {
    const tk::Matrix ems = from_rows(3, {17.73058330648, 5.509441932192, 1,  //
                                         0, 4.797597000171, 1,               //
                                         0, 0, 1});
    auto lower = [](double a11, double a21, double a22, double a31, double a32, double a33) {
        return from_rows(3, {a11, a21, a31, a21, a22, a32, a31, a32, a33});
    };
    const EffectMatrices ss = {
        lower(29714.79660575, 3916.520474658, 3792.201529087, 702.0013625834, 512.653114418, 298.233921234),
        lower(39482.6737347, 4897.423935767, 5078.410250757, 865.5198289408, 186.3794483731, 927.9146303367),
        lower(121290.2461791, 13100.2781517, 9544.515915089, 1722.54574296, 324.6878006672, 2349.15981206),
    };
    const Parameters p = parameters(ems, ss, {29, 77, 428}, 0, 0.25);

    auto expect = [](const tk::Matrix& got, std::initializer_list<double> rows, const char* what) {
        const tk::Matrix want = from_rows(3, rows);
        for (std::size_t e = 0; e < 9; ++e)
            EXPECT_NEAR(got.v[e], want.v[e], 1e-6 * std::fabs(want.v[e]) + 1e-9) << what << " element " << e;
    };
    auto expect_vector = [](const std::vector<double>& got, std::initializer_list<double> want, const char* what) {
        std::size_t e = 0;
        for (double x : want) {
            EXPECT_NEAR(got[e], x, 1e-6 * std::fabs(x) + 1e-9) << what << " element " << e;
            ++e;
        }
    };
    expect(p.group.genetic,
           {26.9507652286798, 3.75362219364261, 0.670918040394415, 3.75362219364261, 3.29008615140401,
            0.846593521482362, 0.670918040394415, 0.846593521482362, 0},
           "Gg");
    expect(p.group.phenotypic,
           {57.789873074536, 7.61691974968827, 1.36526492777661, 7.61691974968827, 7.37514201919834,
            0.997017035201545, 1.36526492777661, 0.997017035201545, 0.734578208187587},
           "Pg");
    expect(p.individual.genetic,
           {107.803060914719, 15.0144887745704, 2.68367216157766, 15.0144887745704, 13.160344605616,
            3.38637408592945, 2.68367216157766, 3.38637408592945, 0},
           "Gi");
    expect(p.individual.phenotypic,
           {358.149286412831, 41.2391045535878, 6.19961844560514, 41.2391045535878, 34.6893098628289,
            1.9516116205069, 6.19961844560514, 1.9516116205069, 6.85649011342815},
           "Pi");
    expect_vector(p.h2_group.h2, {0.466357923886065, 0.446104785892873, 0}, "h2 group");
    expect_vector(p.h2_group.se, {0.163527472087964, 0.16819470001909, 0}, "se h2 group");
    expect_vector(p.h2_individual.h2, {0.301000350983408, 0.379377527476207, 0}, "h2 individual");
    expect_vector(p.h2_individual.se, {0.166886772256399, 0.217639515208122, 0}, "se h2 individual");
    expect(p.genetic.r, {1, 0.39862209998806, 0, 0.39862209998806, 1, 0, 0, 0, 0}, "rG");
    expect(p.genetic.se, {0, 0.357848896217594, 0, 0.357848896217594, 0, 0, 0, 0, 0}, "se rG");
    expect(p.phenotypic.r,
           {1, 0.369980940199628, 0.125107109328973, 0.369980940199628, 1, 0.126544897522205, 0.125107109328973,
            0.126544897522205, 1},
           "rP");
    expect(p.phenotypic.se,
           {0, 0.0438570267544274, 0.0456703988758035, 0.0438570267544274, 0, 0.0482554315319076,
            0.0456703988758035, 0.0482554315319076, 0},
           "se rP");
}

}  // namespace
