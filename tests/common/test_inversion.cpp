#include "common/inversion.hpp"

#include <gtest/gtest.h>

#include <random>

namespace {

tk::Matrix from_rows(int n, std::initializer_list<double> rows) {
    tk::Matrix m(n, n);
    int k = 0;
    for (double x : rows) {
        m(k / n, k % n) = x;
        ++k;
    }
    return m;
}

struct DeterminantCase {
    const char* name;
    tk::Matrix a;
    double mantissa;
    int power;
    bool singular;
};

TEST(Inversion, DeterminantAndSingularityRule) {
    const DeterminantCase cases[] = {
        {"upper triangular", from_rows(2, {3, 1, 0, 1}), 3.0, 0, false},
        {"just above the limit", from_rows(2, {1.5e-16, 0, 0, 1}), 1.5, -16, false},
        {"just below the limit", from_rows(2, {9.9e-17, 0, 0, 1}), 9.9, -17, true},
        {"row exchange negates", from_rows(2, {0, 1, 1, 0}), -1.0, 0, false},
        {"large determinant", from_rows(2, {2e5, 0, 0, 3e4}), 6.0, 9, false},
    };
    for (const auto& c : cases) {
        tk::Matrix a = c.a;
        const tk::Determinant d = tk::invert_with_determinant(a);
        EXPECT_NEAR(d.mantissa, c.mantissa, 1e-12) << c.name;
        EXPECT_EQ(d.power, c.power) << c.name;
        EXPECT_EQ(tk::is_singular(d), c.singular) << c.name;
    }
}

TEST(Inversion, UpperTriangularStaysUpperTriangular) {
    tk::Matrix a = from_rows(2, {3, 1, 0, 1});
    tk::invert_with_determinant(a);
    EXPECT_DOUBLE_EQ(a(0, 0), 1.0 / 3.0);
    EXPECT_DOUBLE_EQ(a(0, 1), -1.0 / 3.0);
    EXPECT_EQ(a(1, 0), 0.0);
    EXPECT_DOUBLE_EQ(a(1, 1), 1.0);
}

TEST(Inversion, VanishingPivotStopsWithZeroMantissa) {
    // The second column has nothing left once the first is eliminated.
    tk::Matrix a = from_rows(3, {1, 2, 5, 2, 4, 1, 3, 6, 7});
    const tk::Determinant d = tk::invert_with_determinant(a);
    EXPECT_EQ(d.mantissa, 0.0);
    EXPECT_TRUE(tk::is_singular(d));
}

TEST(Inversion, EqualPivotCandidatesKeepTheUpperRow) {
    // |a(1,1)| = |a(2,1)|: no exchange, so the sign of the determinant is that of a(1,1)*...
    tk::Matrix a = from_rows(2, {2, 1, -2, 3});
    const tk::Determinant d = tk::invert_with_determinant(a);
    EXPECT_NEAR(d.mantissa * std::pow(10.0, d.power), 8.0, 1e-12);
}

TEST(Inversion, ProductWithInverseIsIdentity) {
    std::mt19937 rng(7);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (int n : {1, 2, 5, 17}) {
        tk::Matrix a(n, n);
        for (double& x : a.v) x = u(rng);
        for (int i = 0; i < n; ++i) a(i, i) += n;  // well conditioned
        tk::Matrix inv = a;
        tk::invert_with_determinant(inv);
        for (int i = 0; i < n; ++i)
            for (int j = 0; j < n; ++j) {
                double s = 0;
                for (int k = 0; k < n; ++k) s += a(i, k) * inv(k, j);
                EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12) << n;
            }
    }
}

}  // namespace
