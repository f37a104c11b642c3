#include "kirv/eigen.hpp"

#include "matrices.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>

namespace {

using kirv_test::diagonal;
using kirv_test::from_rows;
using kirv_test::with_spectrum;

TEST(Pythag, ValuesWithoutOverflowOrUnderflow) {
    struct Case {
        double a, b, expected;
    };
    const Case cases[] = {
        {3, 4, 5},
        {-3, -4, 5},
        {0, 7, 7},
        {7, 0, 7},
        {0, 0, 0},
        {1, 1, std::sqrt(2.0)},
        {1e200, 1e200, std::sqrt(2.0) * 1e200},  // a^2 would overflow
        {1e-200, 1e-200, std::sqrt(2.0) * 1e-200},  // a^2 would underflow
        {5e-324, 0, 5e-324},
    };
    for (const Case& c : cases) {
        const double got = kirv::pythag(c.a, c.b);
        EXPECT_TRUE(std::isfinite(got)) << c.a << ", " << c.b;
        EXPECT_NEAR(got, c.expected, 1e-15 * c.expected) << c.a << ", " << c.b;
    }
}

TEST(Pythag, EndsOnNaN) { EXPECT_TRUE(std::isnan(kirv::pythag(std::nan(""), 1.0))); }

struct ExactCase {
    const char* name;
    tk::Matrix a;
    std::vector<double> expected;
};

TEST(SymmetricEigenvalues, SmallCasesAscending) {
    const ExactCase cases[] = {
        {"order 1", from_rows(1, {-2.5}), {-2.5}},
        {"((1,2),(2,1))", from_rows(2, {1, 2, 2, 1}), {-1, 3}},
        {"diagonal, unsorted", diagonal({4, -1, 7, 0, -3}), {-3, -1, 0, 4, 7}},
        {"diagonal, repeated", diagonal({2, 2, -2, 2}), {-2, 2, 2, 2}},
        {"zero matrix", tk::Matrix(3, 3), {0, 0, 0}},
        // 2 x 2 block and a row whose strict lower part is zero (the scale = 0 path).
        {"block diagonal", from_rows(3, {2, 1, 0, 1, 2, 0, 0, 0, 5}), {1, 3, 5}},
    };
    for (const ExactCase& c : cases) {
        const kirv::Eigenvalues ev = kirv::symmetric_eigenvalues(c.a);
        EXPECT_EQ(ev.error_index, 0) << c.name;
        ASSERT_EQ(ev.values.size(), c.expected.size()) << c.name;
        for (std::size_t i = 0; i < c.expected.size(); ++i)
            EXPECT_NEAR(ev.values[i], c.expected[i], 1e-14) << c.name << " value " << i;
    }
}

TEST(SymmetricEigenvalues, DiagonalIsReturnedExactly) {
    const kirv::Eigenvalues ev = kirv::symmetric_eigenvalues(diagonal({0.3, -1e-9, 1e9, 0.1}));
    EXPECT_EQ(ev.values, (std::vector<double>{-1e-9, 0.1, 0.3, 1e9}));
}

// R diag(lambda) R' has the eigenvalues lambda, whatever R.
TEST(SymmetricEigenvalues, KnownSpectrum) {
    const std::vector<std::vector<double>> spectra = {
        {-1, 3},
        {5, -2, 0.5},
        {-4, -4, 1, 1, 1},                      // repeated, negative
        {0, 0, 0, 2, -7, 3},                    // a null space
        {1e-6, 1, 1e3, -1e-3, 10, 10, 10, -5},  // wide range
        {1, -1, 2, -2, 3, -3, 4, -4, 5, -5, 6, -6, 7, -7, 8, -8, 9, -9, 10, -10},
    };
    unsigned seed = 1;
    for (const auto& lambda : spectra) {
        const tk::Matrix a = with_spectrum(lambda, seed++);
        std::vector<double> expected = lambda;
        std::sort(expected.begin(), expected.end());
        double size = 0.0;
        for (double x : lambda) size = std::max(size, std::fabs(x));
        const kirv::Eigenvalues ev = kirv::symmetric_eigenvalues(a);
        ASSERT_EQ(ev.error_index, 0) << "order " << lambda.size();
        ASSERT_EQ(ev.values.size(), expected.size());
        for (std::size_t i = 0; i < expected.size(); ++i)
            EXPECT_NEAR(ev.values[i], expected[i], 1e-13 * size * static_cast<double>(lambda.size()))
                << "order " << lambda.size() << ", value " << i;
    }
}

TEST(SymmetricEigenvalues, LargeRandomSpectrum) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> uniform(-10.0, 10.0);
    std::vector<double> lambda(60);
    for (double& x : lambda) x = uniform(rng);
    lambda[10] = lambda[11] = lambda[12];  // a triple eigenvalue
    const kirv::Eigenvalues ev = kirv::symmetric_eigenvalues(with_spectrum(lambda, 99));
    std::sort(lambda.begin(), lambda.end());
    ASSERT_EQ(ev.error_index, 0);
    for (std::size_t i = 0; i < lambda.size(); ++i) EXPECT_NEAR(ev.values[i], lambda[i], 1e-11);
}

// Only the lower triangle is read: garbage above the diagonal changes nothing.
TEST(SymmetricEigenvalues, ReadsOnlyTheLowerTriangle) {
    const tk::Matrix a = with_spectrum({3, -1, 2, 0.5}, 3);
    tk::Matrix b = a;
    for (int j = 1; j < 4; ++j)
        for (int i = 0; i < j; ++i) b(i, j) = 1e6 * (i + 2 * j);
    EXPECT_EQ(kirv::symmetric_eigenvalues(a).values, kirv::symmetric_eigenvalues(b).values);
}

TEST(Tridiagonalize, SubdiagonalAndItsSquares) {
    tk::Matrix a = with_spectrum({1, 2, 3, 4, 5}, 11);
    const double trace = 15.0;
    const kirv::Tridiagonal tri = kirv::tridiagonalize(a);
    EXPECT_EQ(tri.e[0], 0.0);
    EXPECT_EQ(tri.e2[0], 0.0);
    double sum = 0.0;
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_NEAR(tri.e2[i], tri.e[i] * tri.e[i], 1e-14 * (1 + tri.e2[i])) << i;
        sum += tri.d[i];
    }
    EXPECT_NEAR(sum, trace, 1e-13);  // an orthogonal similarity keeps the trace
}

TEST(Tridiagonalize, ZeroRowTakesTheScaleZeroPath) {
    // After row 3 is reduced, row 2 has nothing left of the diagonal.
    tk::Matrix a = from_rows(3, {4, 0, 0,  //
                                 0, 2, 5,  //
                                 0, 5, 1});
    const kirv::Tridiagonal tri = kirv::tridiagonalize(a);
    EXPECT_EQ(tri.e, (std::vector<double>{0, 0, -5}));
    EXPECT_EQ(tri.e2, (std::vector<double>{0, 0, 25}));
    EXPECT_EQ(tri.d, (std::vector<double>{4, 2, 1}));
}

TEST(TridiagonalEigenvalues, OrderOneAndTwo) {
    const kirv::Eigenvalues one = kirv::tridiagonal_eigenvalues({4.0}, {0.0});
    EXPECT_EQ(one.error_index, 0);
    EXPECT_EQ(one.values, (std::vector<double>{4.0}));
    // ((1, 2), (2, 1)): e2 holds the square of the subdiagonal at position 1.
    const kirv::Eigenvalues two = kirv::tridiagonal_eigenvalues({1.0, 1.0}, {0.0, 4.0});
    EXPECT_EQ(two.error_index, 0);
    EXPECT_NEAR(two.values[0], -1.0, 1e-15);
    EXPECT_NEAR(two.values[1], 3.0, 1e-15);
}

// A NaN never converges: the iteration limit ends the search with the
// 1-based position of the eigenvalue, and nothing loops forever.
TEST(TridiagonalEigenvalues, IterationLimitGivesErrorIndex) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const kirv::Eigenvalues first = kirv::tridiagonal_eigenvalues({nan, 1.0, 2.0}, {0.0, 1.0, 1.0});
    EXPECT_EQ(first.error_index, 1);
    // d(1) converges (no coupling to row 2), then row 2 fails.
    const kirv::Eigenvalues second = kirv::tridiagonal_eigenvalues({5.0, nan, 2.0}, {0.0, 0.0, 1.0});
    EXPECT_EQ(second.error_index, 2);
    EXPECT_EQ(second.values[0], 5.0);
}

}  // namespace
