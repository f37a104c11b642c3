#include "kirv/components.hpp"

#include "matrices.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace {

using kirv::EffectMatrices;
using kirv_test::from_rows;

// One 1 x 1 trait matrix per value.
EffectMatrices scalars(std::initializer_list<double> values) {
    EffectMatrices x;
    for (double v : values) x.push_back(from_rows(1, {v}));
    return x;
}

void expect_matrix_near(const tk::Matrix& got, const tk::Matrix& expected, double tol, const char* what) {
    ASSERT_EQ(got.rows, expected.rows) << what;
    ASSERT_EQ(got.cols, expected.cols) << what;
    for (std::size_t e = 0; e < got.v.size(); ++e) EXPECT_NEAR(got.v[e], expected.v[e], tol) << what << " element " << e;
}

TEST(CheckComponentsInput, RejectsValuesThatWouldBeDividedBy) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        std::vector<double> df;
        double relative;
        const char* message;  // nullptr: accepted
    };
    const Case cases[] = {
        {{29, 77, 428}, 0.25, nullptr},
        {{0.5, 1}, 1.0, nullptr},
        {{10, 0, 5}, 0.25, "Degree of freedom of effect 2 must be above 0!"},
        {{-2, 5}, 0.25, "Degree of freedom of effect 1 must be above 0!"},
        {{3, 4, -1}, 0.25, "Degree of freedom of effect 3 must be above 0!"},
        {{3, nan}, 0.25, "Degree of freedom of effect 2 must be above 0!"},
        {{3, 4}, 0.0, "Coefficient of coancestry of relatives must be above 0!"},
        {{0, 4}, 0.0, "Degree of freedom of effect 1 must be above 0!"},  // the first problem wins
    };
    for (const Case& c : cases) {
        const auto message = kirv::check_components_input(c.df, c.relative);
        if (c.message == nullptr)
            EXPECT_FALSE(message.has_value()) << *message;
        else
            EXPECT_EQ(message.value_or("(accepted)"), c.message);
    }
}

TEST(ComputeMeanSquares, DividesEveryElementByItsEffectsDF) {
    const EffectMatrices ss = {from_rows(2, {20, 6, 6, 24}), from_rows(2, {400, 100, 100, 450})};
    const EffectMatrices ms = kirv::compute_mean_squares(ss, {2, 50});
    expect_matrix_near(ms[0], from_rows(2, {10, 3, 3, 12}), 0, "effect 1");
    expect_matrix_near(ms[1], from_rows(2, {8, 2, 2, 9}), 0, "effect 2");
}

// EMS ((3, 1), (0, 1)), MS = (10, 4), g = effect 1, r = 0.25.
TEST(Components, WorkedExampleOneTrait) {
    const tk::Matrix ems = from_rows(2, {3, 1, 0, 1});
    const kirv::ComponentSolution s = kirv::solve_components(ems, scalars({10, 4}));
    ASSERT_FALSE(s.singular);
    expect_matrix_near(s.inverse_ems, from_rows(2, {1.0 / 3, -1.0 / 3, 0, 1}), 1e-15, "W");
    EXPECT_NEAR(s.vc[0](0, 0), 2.0, 1e-14);
    EXPECT_NEAR(s.vc[1](0, 0), 4.0, 1e-14);

    const EffectMatrices ms = scalars({10, 4});
    const kirv::GroupLevel group = kirv::partition_group_level(0, s.vc, s.inverse_ems, ms);
    EXPECT_NEAR(group.genetic(0, 0), 2.0, 1e-14);
    EXPECT_NEAR(group.phenotypic(0, 0), 10.0 / 3, 1e-14);

    const kirv::IndividualLevel ind = kirv::partition_individual_level(0, 0.25, s.vc, s.inverse_ems);
    EXPECT_NEAR(ind.genetic(0, 0), 8.0, 1e-13);
    EXPECT_NEAR(ind.phenotypic(0, 0), 6.0, 1e-13);
    EXPECT_NEAR(ind.genetic_coefficients[0], 4.0 / 3, 1e-14);
    EXPECT_NEAR(ind.genetic_coefficients[1], -4.0 / 3, 1e-14);
    EXPECT_NEAR(ind.phenotypic_coefficients[0], 1.0 / 3, 1e-14);
    EXPECT_NEAR(ind.phenotypic_coefficients[1], 2.0 / 3, 1e-14);
}

TEST(Components, SingularityRule) {
    struct Case {
        const char* name;
        tk::Matrix ems;
        bool singular;
    };
    const Case cases[] = {
        {"determinant 1.5e-16", from_rows(2, {1.5e-16, 0, 0, 1}), false},
        {"determinant 9.9e-17", from_rows(2, {9.9e-17, 0, 0, 1}), true},
        {"vanishing column", from_rows(3, {1, 2, 5, 2, 4, 1, 3, 6, 7}), true},
        {"column below 1e-20", from_rows(2, {5e-21, 0, 0, 1e30}), true},
    };
    for (const Case& c : cases) {
        const int m = c.ems.rows;
        EffectMatrices ms(static_cast<std::size_t>(m), from_rows(1, {1}));
        const kirv::ComponentSolution s = kirv::solve_components(c.ems, ms);
        EXPECT_EQ(s.singular, c.singular) << c.name;
        EXPECT_EQ(s.vc.size(), c.singular ? 0u : static_cast<std::size_t>(m)) << c.name;
    }
}

// Three effects, two traits, a full EMS matrix: VC solves EMS VC = MS, and
// the individual-level matrices are the linear forms of their coefficients.
TEST(Components, LinearFormsReproduceThePartitions) {
    const tk::Matrix ems = from_rows(3, {4, 2, 1, 0.5, 3, 1, 0.2, 0, 1});
    std::mt19937 rng(5);
    std::uniform_real_distribution<double> uniform(1.0, 9.0);
    EffectMatrices ms;
    for (int k = 0; k < 3; ++k) {
        tk::Matrix x(2, 2);
        x(0, 0) = uniform(rng);
        x(1, 1) = uniform(rng);
        x(0, 1) = x(1, 0) = uniform(rng) - 5.0;
        ms.push_back(x);
    }
    const kirv::ComponentSolution s = kirv::solve_components(ems, ms);
    ASSERT_FALSE(s.singular);
    for (int k = 0; k < 3; ++k) {
        tk::Matrix back(2, 2);
        for (int l = 0; l < 3; ++l)
            for (std::size_t e = 0; e < 4; ++e) back.v[e] += ems(k, l) * s.vc[static_cast<std::size_t>(l)].v[e];
        expect_matrix_near(back, ms[static_cast<std::size_t>(k)], 1e-12, "EMS VC = MS");
    }
    for (int g = 0; g < 3; ++g) {
        const kirv::IndividualLevel ind = kirv::partition_individual_level(g, 0.5, s.vc, s.inverse_ems);
        tk::Matrix gi(2, 2), pi(2, 2), pi_sum(2, 2);
        for (int l = 0; l < 3; ++l)
            for (std::size_t e = 0; e < 4; ++e) {
                gi.v[e] += ind.genetic_coefficients[static_cast<std::size_t>(l)] * ms[static_cast<std::size_t>(l)].v[e];
                pi.v[e] += ind.phenotypic_coefficients[static_cast<std::size_t>(l)] * ms[static_cast<std::size_t>(l)].v[e];
                if (l >= g) pi_sum.v[e] += s.vc[static_cast<std::size_t>(l)].v[e];
            }
        expect_matrix_near(ind.genetic, gi, 1e-12, "Gi = sum cG MS");
        expect_matrix_near(ind.phenotypic, pi, 1e-12, "Pi = sum cP MS");
        // Effects before g stay out of the phenotype; g = 0 takes them all.
        expect_matrix_near(ind.phenotypic, pi_sum, 0, "Pi = sum_{k >= g} VC(k)");
        for (int l = 0; l < 3; ++l)
            EXPECT_DOUBLE_EQ(ind.genetic_coefficients[static_cast<std::size_t>(l)], s.inverse_ems(g, l) / 0.5);
    }
    // g is the last effect: Pi = VC(m) and cP = W(m, .).
    const kirv::IndividualLevel last = kirv::partition_individual_level(2, 0.5, s.vc, s.inverse_ems);
    expect_matrix_near(last.phenotypic, s.vc[2], 0, "Pi, last effect");
    for (int l = 0; l < 3; ++l)
        EXPECT_EQ(last.phenotypic_coefficients[static_cast<std::size_t>(l)], s.inverse_ems(2, l));
}

TEST(ClearNegativeVariances, ZeroesVariancesAndRebuildsMeanSquares) {
    const tk::Matrix ems = from_rows(2, {3, 1, 0, 1});
    struct Case {
        const char* name;
        int status_in;
        double vc00;   // variance of trait 1 in effect 2 (not the genetic group)
        int status_out;
        bool rebuilt;
    };
    const Case cases[] = {
        {"no bending, nothing negative", 1, 0.5, 1, true},
        {"no bending, negative variance", 1, -0.5, 1, true},
        {"failed bending, nothing negative", -4, 0.5, -4, false},
        {"failed bending, negative variance", -4, -0.5, 1, true},
    };
    for (const Case& c : cases) {
        EffectMatrices vc = {from_rows(2, {2, 1, 1, 3}), from_rows(2, {c.vc00, -0.7, -0.7, 4})};
        const EffectMatrices ms_in = {from_rows(2, {99, 99, 99, 99}), from_rows(2, {77, 77, 77, 77})};
        EffectMatrices ms = ms_in;
        const int status = kirv::clear_negative_variances(ems, c.status_in, vc, ms);
        EXPECT_EQ(status, c.status_out) << c.name;
        const double v = c.vc00 < 0 ? 0.0 : c.vc00;
        expect_matrix_near(vc[1], from_rows(2, {v, -0.7, -0.7, 4}), 0, c.name);  // covariances stay
        expect_matrix_near(vc[0], from_rows(2, {2, 1, 1, 3}), 0, c.name);
        if (c.rebuilt) {
            // MS(1) = 3 VC(1) + VC(2), MS(2) = VC(2).
            expect_matrix_near(ms[0], from_rows(2, {6 + v, 2.3, 2.3, 13}), 1e-15, c.name);
            expect_matrix_near(ms[1], vc[1], 0, c.name);
        } else {
            expect_matrix_near(ms[0], ms_in[0], 0, c.name);
            expect_matrix_near(ms[1], ms_in[1], 0, c.name);
        }
    }
}

}  // namespace
