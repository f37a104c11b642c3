// Heritabilities and genetic and phenotypic correlations with first-order
// standard errors. Every estimate is a ratio of linear forms in the effects'
// mean squares; with D(l) = DF(l) + 2 the sampling variance of a mean square
// a(l) is 2 a(l)^2 / D(l), of a mean product q(l) (a(l) b(l) + q(l)^2) / D(l),
// and effects are independent. Vanishing variances give 0, never a failure.
//
// All operations require DF(l) > 0 (see check_components_input); m and t are
// taken from the sizes of the MS array. The genetic group g is 0-based.
#pragma once

#include "common/matrix.hpp"
#include "kirv/components.hpp"

#include <vector>

namespace kirv {

// Threshold for variances, covariances and sampling variances.
inline constexpr double vanishing = 1e-12;

struct Heritabilities {
    std::vector<double> h2;  // G(i, i) / P(i, i), clamped to [0, 1]
    std::vector<double> se;  // standard errors, from the unclamped ratio
};

struct Correlations {
    tk::Matrix r;   // x(i, j) / sqrt(x(j, j) x(i, i)), clamped to [-1, 1]
    tk::Matrix se;  // standard errors, from the clamped r
};

// Genetic-group level: G = Gg = sum_l W(g, l) MS(l), P = Pg = W(g, g) MS(g).
Heritabilities group_heritabilities(int g, const tk::Matrix& pg, const tk::Matrix& gg,
                                    const tk::Matrix& inverse_ems, const EffectMatrices& ms,
                                    const std::vector<double>& df);

// Individual level: G = Gi = sum_l cG(l) MS(l), P = Pi = sum_l cP(l) MS(l).
Heritabilities individual_heritabilities(const tk::Matrix& pi, const tk::Matrix& gi,
                                         const std::vector<double>& genetic_coefficients,
                                         const std::vector<double>& phenotypic_coefficients,
                                         const EffectMatrices& ms, const std::vector<double>& df);

// Correlations of Gg; coefficients c(l) = W(g, l).
Correlations genetic_correlations(int g, const tk::Matrix& gg, const tk::Matrix& inverse_ems,
                                  const EffectMatrices& ms, const std::vector<double>& df);

// Correlations of Pi; coefficients c(l) = cP(l).
Correlations phenotypic_correlations(const tk::Matrix& pi,
                                     const std::vector<double>& phenotypic_coefficients,
                                     const EffectMatrices& ms, const std::vector<double>& df);

}  // namespace kirv
