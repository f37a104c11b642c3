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
// Progress: the calling stage reduces one panel of rows per call and paints
// between calls, for the last multiple of 10 among the rows done when the
// panel has passed one (the progress text of row 1-based k is due at every
// k divisible by 10):
//   for (int done = 0, painted = 0; done < eq.p;) {
//       done = reduce_rows(eq, tau, done, reduction_panel_rows(eq.p));
//       if (done / 10 * 10 > painted) paint progress for row painted = done / 10 * 10
//   }
#pragma once

#include "tarvel/normal_equations.hpp"

namespace tarvel {

// Whether column i was accepted by the reduction.
inline bool is_accepted(const NormalEquations& eq, double tau, int i) { return eq.xx(i, i) > tau; }

// The reference algorithm: every row in order, each one applied to all later
// rows at once.
void reduce_plain(NormalEquations& eq, double tau);

// Reduces rows first ... first+count-1 (clamped to p) as one panel and
// applies the panel to all later rows and to X'Y in one rank-k update.
// Rows before `first` must already be reduced. Returns the next row to
// reduce. Results equal those of reduce_plain up to rounding, whatever the
// panel sizes.
int reduce_rows(NormalEquations& eq, double tau, int first, int count);

// Panel height used for speed.
int reduction_panel_rows(int p);

// All rows, panel by panel.
void reduce(NormalEquations& eq, double tau);

}  // namespace tarvel
