// Sequential square-root (Cholesky) reduction of X'X and X'Y, row by row in
// model order, with the pivot test that rejects columns depending on earlier
// ones.
//
// After the reduction of row i:
// - X'X(i,i) holds the pivot d(i) that was tested (not its square root);
// - accepted (d(i) > tau): X'X(i,j), j > i, holds R(i,j), the row of the
//   triangular factor with R(i,i) = sqrt(d(i)); X'Y(i,s) holds the reduction
//   r(i,s) of trait s by column i;
// - rejected (d(i) <= tau): X'Y(i,s) = 0, the row is not scaled and later
//   rows are not reduced by it.
//
// Progress: the calling stage reduces one block of rows per call and paints
// between calls (the progress text of row 1-based k is due at every k
// divisible by 10):
//   for (int done = 0; done < eq.p;) { done = reduce_rows(eq, tau, done, panel); paint ... }
#pragma once

#include "tarvel/normal_equations.hpp"

#include <vector>

namespace tarvel {

// Whether column i was accepted by the reduction.
inline bool is_accepted(const NormalEquations& eq, double tau, int i) { return eq.xx(i, i) > tau; }

// The reference algorithm: every row in order, each one applied to all later
// rows at once.
void reduce_plain(NormalEquations& eq, double tau);

// The rows of one block (rows f ... f+w-1) in the columns right of it,
// gathered into a contiguous w x (p - f - w) panel, and its X'Y rows (w x t):
// the work space of reduce_rows, kept from one call to the next.
struct Panel {
    int rows = 0;
    int columns = 0;
    std::vector<double> x;  // (r, c - (f + w)) at r + (c - f - w) * rows
    std::vector<double> y;  // (r, s) at r + s * rows
};

// Reduces the block of rows that starts at `first` (a multiple of the block
// width of X'X) and applies it to all later rows and to X'Y. Rows before
// `first` must already be reduced. Returns the next row to reduce. Results
// equal those of reduce_plain up to rounding, whatever the block width.
int reduce_rows(NormalEquations& eq, double tau, int first, Panel& panel);

// All rows, block by block.
void reduce(NormalEquations& eq, double tau);

// Per column: whether it was accepted (1) or rejected (0).
std::vector<char> accepted_columns(const NormalEquations& eq, double tau);

}  // namespace tarvel
