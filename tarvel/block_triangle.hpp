// The upper triangle of a symmetric matrix of order n, stored by blocks of
// columns so that the reduction can work on whole blocks with the dense
// routines while it keeps about half the square:
//
//   block column J holds columns J*width ... J*width + width(J) - 1, each with
//   its rows 0 ... last(J), where last(J) is the block's last column; it is
//   column-major with last(J) + 1 rows as leading dimension.
//
// The strictly upper triangle (i < j) and the diagonal are the matrix; the
// part of a diagonal block below its diagonal is scratch. The storage holds
// n(n + 1)/2 + n(width - 1)/2 values at most.
#pragma once

#include <algorithm>
#include <cstddef>
#include <vector>

namespace tarvel {

struct BlockTriangle {
    int n = 0;
    int width = 1;                   // columns per block
    std::vector<std::size_t> start;  // offset of each block column; start.back() is the size
    std::vector<double> v;

    int blocks() const { return static_cast<int>(start.size()) - 1; }
    int block_of(int j) const { return j / width; }
    int first(int block) const { return block * width; }
    int columns(int block) const { return std::min(width, n - block * width); }
    // Rows stored in the block's columns: its leading dimension.
    int rows(int block) const { return std::min(n, (block + 1) * width); }

    // Column j, rows 0 ... rows(block_of(j)) - 1.
    double* column(int j) { return v.data() + offset(j); }
    const double* column(int j) const { return v.data() + offset(j); }
    double& operator()(int i, int j) { return v[offset(j) + static_cast<std::size_t>(i)]; }  // i <= j
    double operator()(int i, int j) const { return v[offset(j) + static_cast<std::size_t>(i)]; }

    std::size_t offset(int j) const {
        const int block = j / width;
        return start[static_cast<std::size_t>(block)] +
               static_cast<std::size_t>(j - block * width) * static_cast<std::size_t>(rows(block));
    }
};

// A zeroed triangle of order n with blocks of `width` columns.
inline BlockTriangle make_block_triangle(int n, int width) {
    BlockTriangle a;
    a.n = std::max(n, 0);
    a.width = std::max(width, 1);
    const int blocks = (a.n + a.width - 1) / a.width;
    a.start.assign(static_cast<std::size_t>(blocks) + 1, 0);
    for (int b = 0; b < blocks; ++b)
        a.start[static_cast<std::size_t>(b) + 1] =
            a.start[static_cast<std::size_t>(b)] +
            static_cast<std::size_t>(a.columns(b)) * static_cast<std::size_t>(a.rows(b));
    a.v.assign(a.start.back(), 0.0);
    return a;
}

// Columns per block for the reduction of order n: wide enough for the dense
// routines to run near their speed, narrow enough to keep the storage close
// to the half square.
inline int reduction_block_width(int n) { return n < 512 ? 64 : 128; }

}  // namespace tarvel
