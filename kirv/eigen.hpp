// All eigenvalues (no eigenvectors) of a real symmetric matrix: Householder
// reduction to tridiagonal form, then the rational QL method with implicit
// shifts, at most 100 iterations per eigenvalue.
#pragma once

#include "common/matrix.hpp"

#include <vector>

namespace kirv {

struct Tridiagonal {
    std::vector<double> d;   // diagonal
    std::vector<double> e;   // subdiagonal: e[i] couples rows i - 1 and i; e[0] = 0
    std::vector<double> e2;  // squares of e, computed as scale^2 h
};

struct Eigenvalues {
    std::vector<double> values;  // ascending when error_index is 0
    // 0 on success; otherwise the 1-based position l of the first eigenvalue
    // that did not converge in 100 iterations. values[0 .. l-2] are then
    // eigenvalues in ascending order, though not necessarily the smallest.
    int error_index = 0;
};

// Reduces the symmetric matrix a (order n >= 1) to tridiagonal form. Only the
// lower triangle of a is read; the routine overwrites it.
Tridiagonal tridiagonalize(tk::Matrix& a);

// Eigenvalues of the symmetric tridiagonal matrix with diagonal d and squared
// subdiagonal e2 (e2[0] unused), by rational QL.
Eigenvalues tridiagonal_eigenvalues(std::vector<double> d, std::vector<double> e2);

// All eigenvalues of the symmetric matrix a (lower triangle read), ascending.
// Works on its own copy of a.
Eigenvalues symmetric_eigenvalues(tk::Matrix a);

// sqrt(a^2 + b^2) without destructive overflow or underflow.
double pythag(double a, double b);

}  // namespace kirv
