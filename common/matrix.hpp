// Dense matrices shared by both programs.
//
// Conventions, stated once for the whole code base:
// - Storage is column-major: element (i, j) of an r x c matrix is v[i + j*r].
// - Inside the code every index is 0-based. Texts that users and hosts read
//   (effect numbers, trait numbers, column numbers in listings) count from 1;
//   the conversion happens where such a number is read or printed.
// - A packed upper triangle of order p stores (i, j), i <= j, at i + j(j+1)/2
//   (0-based; the same place as i + j(j-1)/2 in 1-based numbering).
// - Argument order of numeric routines: inputs, then in/out, then outputs.
#pragma once

#include <cstddef>
#include <vector>

namespace tk {

struct Matrix {
    int rows = 0;
    int cols = 0;
    std::vector<double> v;

    Matrix() = default;
    Matrix(int r, int c, double fill = 0.0)
        : rows(r), cols(c), v(static_cast<std::size_t>(r) * static_cast<std::size_t>(c), fill) {}

    static Matrix identity(int n) {
        Matrix m(n, n);
        for (int i = 0; i < n; ++i) m(i, i) = 1.0;
        return m;
    }

    double& operator()(int i, int j) { return v[index(i, j)]; }
    double operator()(int i, int j) const { return v[index(i, j)]; }
    double* data() { return v.data(); }
    const double* data() const { return v.data(); }

  private:
    std::size_t index(int i, int j) const {
        return static_cast<std::size_t>(i) + static_cast<std::size_t>(j) * static_cast<std::size_t>(rows);
    }
};

// Index of (i, j), i <= j, in a packed upper triangle (0-based).
inline std::size_t packed_index(std::size_t i, std::size_t j) { return i + j * (j + 1) / 2; }

}  // namespace tk
