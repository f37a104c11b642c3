// Expected mean squares of the sources, every effect random.
//
// Sources (0-based): 0 = the mean, 1 ... n = the effects in model order,
// n + 1 = the residual. K(a, b) is the coefficient of the variance component
// of source b in the expected mean square of source a:
//   K(a, b) = (1/D(a)) * sum over accepted columns i of a, columns j of b,
//             j >= i, of R(i,j)^2   (R(i,i)^2 = d(i)),
// D(a) the number of accepted columns of a; row n + 1 is 0 apart from
// K(n+1, n+1) = 1 and column n + 1 is 1 in every row.
#pragma once

#include "common/matrix.hpp"
#include "tarvel/layout.hpp"
#include "tarvel/normal_equations.hpp"

#include <cstdint>
#include <string>
#include <vector>

namespace tarvel {

// One row of the coefficient table as the listing prints it.
struct EmsRow {
    std::string label;      // "Mean" or the effect's name
    int df = 0;             // D(E): accepted columns of the source
    std::vector<double> w;  // n + 1 coefficients: last effect first, the mean last
};

struct ExpectedMeanSquares {
    int n = 0;                   // effects
    tk::Matrix k;                // (n+2) x (n+2) coefficients, as computed
    tk::Matrix k_inverse;        // inverse of k with the left-out sources taken out
    std::vector<int> df;         // n + 1: accepted columns of the mean and of each effect
    std::vector<EmsRow> rows;    // n + 1, source order (the mean first)
    // Effects (0-based) whose columns were all rejected or that got no
    // columns at all: their degrees of freedom are 0, their coefficient row
    // is 0 apart from the residual's 1, and they are left out of the
    // component equations (their row and column of k_inverse are 0), so
    // their component is 0 and the other components are solved without them.
    std::vector<int> left_out_effects;
    bool mean_left_out = false;  // only with no case at all
};

// The sums behind the coefficients: W(a, b) = sum over the accepted columns
// i of source a and the columns j >= i of source b of R(i,j)^2 (R(i,i)^2 =
// d(i)), and D(a), the accepted columns of each source. K(a, b) = W(a, b) / D(a).
struct FactorSquares {
    tk::Matrix w;         // (n + 1) x (n + 1), sources 0 = the mean ... n
    std::vector<int> df;  // n + 1
};

// The size at or below which an element R(i,j) of the factor is rounding
// noise of an element that is 0: sqrt(N) * 1e-11. R(1,1) = sqrt(N) is the
// scale of the factor's largest elements, and a genuine element is far
// larger (in the mean's row at least 1/sqrt(N)). Unlike the pivot tolerance
// N * p * 1e-11 it does not grow with the columns of the design, which in
// large designs exceeds genuine elements.
double factor_noise_level(std::int64_t cases);

// W and D of the reduced equations: the sources of columns 0 ... eq.p - 1
// (which may be fewer than the layout's p, and then only those sources have
// rows and columns filled).
FactorSquares factor_squares(const ColumnLayout& layout, double tau, const NormalEquations& eq);

// Coefficients, degrees of freedom and inverse from W and D.
ExpectedMeanSquares expected_mean_squares(const ColumnLayout& layout, const FactorSquares& squares);

}  // namespace tarvel
