#include "kirv/bending.hpp"

#include "common/inversion.hpp"
#include "kirv/eigen.hpp"
#include "matrices.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using kirv::EffectMatrices;
using kirv_test::diagonal;
using kirv_test::from_rows;
using kirv_test::with_spectrum;

const tk::Matrix g0_example = from_rows(2, {1, 2, 2, 1});  // eigenvalues 3 and -1

double smallest_eigenvalue(const tk::Matrix& a) { return kirv::symmetric_eigenvalues(a).values.front(); }

TEST(MatrixProduct, RectangularFactors) {
    tk::Matrix x(2, 3);  // ((1, 2, 3), (4, 5, 6))
    x(0, 0) = 1, x(0, 1) = 2, x(0, 2) = 3, x(1, 0) = 4, x(1, 1) = 5, x(1, 2) = 6;
    tk::Matrix y(3, 2);  // ((1, 0), (0, 1), (2, -1))
    y(0, 0) = 1, y(1, 1) = 1, y(2, 0) = 2, y(2, 1) = -1;
    const tk::Matrix z = kirv::matrix_product(x, y);
    ASSERT_EQ(z.rows, 2);
    ASSERT_EQ(z.cols, 2);
    EXPECT_EQ(z.v, (std::vector<double>{7, 16, -1, -1}));
}

// Outcomes of the driver with the identity reference (VC holds only G0).
TEST(BendGeneticMatrix, Outcomes) {
    struct Case {
        const char* name;
        tk::Matrix g0;
        double lambda_min;
        int status;
        double factor;
        std::vector<double> original;  // E
        std::vector<double> bent;      // B
        int needed;
    };
    const Case cases[] = {
        // Eigenvalues 3 - 2w and 2w - 1: w = 0.550 gives 0.1, w = 0.551 gives 0.102.
        {"reaches the minimum", g0_example, 0.1005, 1, 0.551, {3, -1}, {1.898, 0.102}, 1},
        // At w = 1 the bent matrix is v I = I.
        {"minimum above the scaled reference", g0_example, 2.0, -4, 1.0, {3, -1}, {1, 1}, 1},
        // v = -1, so every step gives -I.
        {"negative definite", from_rows(2, {-1, 0, 0, -1}), 0.0, -4, 1.0, {-1, -1}, {-1, -1}, 2},
        // One trait: v A = G0 at every step.
        {"one trait", from_rows(1, {-2}), 0.0, -4, 1.0, {-2}, {-2}, 1},
        // G0 = diag(1, -1), v = 0: Gb = (1 - w) G0 reaches 0 = minimum only at w = 1.
        {"equal to the minimum at the last step", diagonal({1, -1}), 0.0, 1, 1.0, {1, -1}, {0, 0}, 1},
    };
    for (const Case& c : cases) {
        const kirv::Bending b = kirv::bend_genetic_matrix(0, kirv::identity_reference, {c.g0}, c.lambda_min, 7);
        EXPECT_EQ(b.status, c.status) << c.name;
        EXPECT_EQ(b.failure, 0) << c.name;
        EXPECT_EQ(b.reference_flag, 0) << c.name;
        EXPECT_EQ(b.reference, kirv::identity_reference) << c.name;
        EXPECT_EQ(b.needed, c.needed) << c.name;
        EXPECT_NEAR(b.factor, c.factor, 1e-12) << c.name;
        ASSERT_EQ(b.original.size(), c.original.size()) << c.name;
        ASSERT_EQ(b.bent.size(), c.bent.size()) << c.name;
        for (std::size_t i = 0; i < c.original.size(); ++i) {
            EXPECT_NEAR(b.original[i], c.original[i], 1e-12) << c.name << " E " << i;
            EXPECT_NEAR(b.bent[i], c.bent[i], 1e-12) << c.name << " B " << i;
        }
    }
}

TEST(BendGeneticMatrix, BentMatrixOfTheExample) {
    const kirv::Bending b = kirv::bend_genetic_matrix(0, kirv::identity_reference, {g0_example}, 0.1005, 1);
    ASSERT_EQ(b.status, 1);
    // (1 - 0.551) G0 + 0.551 I
    const tk::Matrix expected = from_rows(2, {1, 0.898, 0.898, 1});
    for (std::size_t e = 0; e < 4; ++e) EXPECT_NEAR(b.bent_matrix.v[e], expected.v[e], 1e-12);
}

TEST(BendGeneticMatrix, NoBendingNeeded) {
    // An eigenvalue equal to the minimum is not below it.
    const tk::Matrix g0 = diagonal({2.0, 0.5});
    const EffectMatrices vc = {from_rows(2, {5, 1, 1, 5}), g0};
    const kirv::Bending b = kirv::bend_genetic_matrix(1, 0, vc, 0.5, 7);
    EXPECT_EQ(b.needed, 0);
    EXPECT_EQ(b.failure, 0);
    EXPECT_EQ(b.status, 7);  // left as passed
    EXPECT_EQ(b.reference, 0);
    EXPECT_EQ(b.original, (std::vector<double>{0.5, 2.0}));  // ascending: the core did not run
    EXPECT_TRUE(b.bent.empty());
    EXPECT_EQ(b.factor, 0.0);
}

TEST(BendGeneticMatrix, SingularReferenceIsReplacedByTheIdentity) {
    const EffectMatrices vc = {g0_example, from_rows(2, {1, 1, 1, 1})};
    const kirv::Bending b = kirv::bend_genetic_matrix(0, 1, vc, 0.1005, 1);
    EXPECT_EQ(b.reference_flag, -1);
    EXPECT_EQ(b.reference, kirv::identity_reference);
    const kirv::Bending identity = kirv::bend_genetic_matrix(0, kirv::identity_reference, {g0_example}, 0.1005, 1);
    EXPECT_EQ(b.status, 1);
    EXPECT_EQ(b.factor, identity.factor);
    EXPECT_EQ(b.bent, identity.bent);
    EXPECT_EQ(b.bent_matrix.v, identity.bent_matrix.v);
}

// Bending towards a positive definite reference: the factor is the first
// step of 0.001 whose bent matrix reaches the minimum.
TEST(BendGeneticMatrix, StopsAtTheFirstStepThatReachesTheMinimum) {
    const tk::Matrix g0 = with_spectrum({4, 2.5, 1, -0.3, -1.2}, 21);
    const tk::Matrix a = with_spectrum({3, 2, 1, 1, 0.5}, 22);
    const double lambda_min = 0.05;
    const kirv::Bending b = kirv::bend_genetic_matrix(0, 1, {g0, a}, lambda_min, 1);
    ASSERT_EQ(b.status, 1);
    EXPECT_EQ(b.reference_flag, 0);
    EXPECT_EQ(b.reference, 1);
    EXPECT_EQ(b.needed, 2);

    tk::Matrix a_inverse = a;
    tk::invert_with_determinant(a_inverse);
    const tk::Matrix p = kirv::matrix_product(a_inverse, g0);
    double v = 0.0;
    for (int i = 0; i < 5; ++i) v += p(i, i);
    v /= 5;
    auto bent = [&](double w) {
        tk::Matrix gb(5, 5);
        for (std::size_t e = 0; e < 25; ++e) gb.v[e] = (1 - w) * g0.v[e] + w * v * a.v[e];
        return gb;
    };
    EXPECT_GE(smallest_eigenvalue(bent(b.factor)), lambda_min - 1e-12);
    EXPECT_LT(smallest_eigenvalue(bent(b.factor - 0.001)), lambda_min);
    for (std::size_t e = 0; e < 25; ++e) EXPECT_NEAR(b.bent_matrix.v[e], bent(b.factor).v[e], 1e-12);
    // E of G0 and B of Gb, both descending.
    const std::vector<double> e_expected = {4, 2.5, 1, -0.3, -1.2};
    for (std::size_t i = 0; i < 5; ++i) EXPECT_NEAR(b.original[i], e_expected[i], 1e-12);
    for (std::size_t i = 0; i + 1 < 5; ++i) EXPECT_GE(b.bent[i], b.bent[i + 1]);
    EXPECT_GE(b.bent.back(), lambda_min);
}

TEST(BendStepwise, SingularReferenceStopsTheCore) {
    const kirv::StepwiseBending s = kirv::bend_stepwise(g0_example, from_rows(2, {1, 1, 1, 1}), 0.0);
    EXPECT_EQ(s.status, kirv::bending_singular_reference);
    EXPECT_TRUE(s.original.empty());
    EXPECT_TRUE(s.bent.empty());
}

}  // namespace
