// Small matrix builders shared by the kirv tests.
#pragma once

#include "common/matrix.hpp"

#include <cmath>
#include <initializer_list>
#include <random>
#include <vector>

namespace kirv_test {

// Square matrix from its rows, written row by row.
inline tk::Matrix from_rows(int n, std::initializer_list<double> rows) {
    tk::Matrix m(n, n);
    int k = 0;
    for (double x : rows) {
        m(k / n, k % n) = x;
        ++k;
    }
    return m;
}

inline tk::Matrix diagonal(const std::vector<double>& d) {
    const int n = static_cast<int>(d.size());
    tk::Matrix m(n, n);
    for (int i = 0; i < n; ++i) m(i, i) = d[static_cast<std::size_t>(i)];
    return m;
}

// A random orthogonal matrix: Gram-Schmidt on a random Gaussian matrix.
inline tk::Matrix random_orthogonal(int n, unsigned seed) {
    std::mt19937 rng(seed);
    std::normal_distribution<double> normal;
    tk::Matrix q(n, n);
    for (double& x : q.v) x = normal(rng);
    for (int j = 0; j < n; ++j) {
        for (int p = 0; p < j; ++p) {
            double dot = 0.0;
            for (int i = 0; i < n; ++i) dot += q(i, p) * q(i, j);
            for (int i = 0; i < n; ++i) q(i, j) -= dot * q(i, p);
        }
        double norm = 0.0;
        for (int i = 0; i < n; ++i) norm += q(i, j) * q(i, j);
        norm = std::sqrt(norm);
        for (int i = 0; i < n; ++i) q(i, j) /= norm;
    }
    return q;
}

// R diag(lambda) R' for a random orthogonal R: a symmetric matrix whose
// eigenvalues are known.
inline tk::Matrix with_spectrum(const std::vector<double>& lambda, unsigned seed) {
    const int n = static_cast<int>(lambda.size());
    const tk::Matrix r = random_orthogonal(n, seed);
    tk::Matrix a(n, n);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j <= i; ++j) {
            double sum = 0.0;
            for (int k = 0; k < n; ++k) sum += r(i, k) * lambda[static_cast<std::size_t>(k)] * r(j, k);
            a(i, j) = sum;
            a(j, i) = sum;
        }
    return a;
}

}  // namespace kirv_test
