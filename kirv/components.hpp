// Variance-component matrices of kirv: mean squares and products, the solution
// of the expected-mean-square equations, and the split of the components into
// genetic and phenotypic covariance matrices at two levels.
//
// Symbols: m effects (0-based k, l), t traits (0-based i, j), g the genetic
// group effect (0-based), r the coefficient of coancestry of relatives.
// E[MS(k)] = sum_l EMS(k, l) VC(l); W is the inverse of the EMS matrix.
#pragma once

#include "common/matrix.hpp"

#include <optional>
#include <string>
#include <vector>

namespace kirv {

// One t x t trait matrix per effect, effect index first: x[k](i, j).
using EffectMatrices = std::vector<tk::Matrix>;

// The check the input reader makes before any kernel below runs: every
// degree of freedom must be above 0 (a mean square divides by DF, a sampling
// variance by DF + 2) and the relative coefficient must be above 0 (the
// individual level divides by it). Returns the message for the first
// offending value, naming the effect by its 1-based number; nullopt when fit.
std::optional<std::string> check_components_input(const std::vector<double>& df, double relative);

// MS(k) = SS(k) / DF(k). Requires DF(k) > 0 for every effect.
EffectMatrices compute_mean_squares(const EffectMatrices& ss, const std::vector<double>& df);

struct ComponentSolution {
    bool singular = false;  // the EMS matrix failed the singularity rule; vc is then empty
    tk::Matrix inverse_ems;  // W, m x m (partly transformed when singular)
    EffectMatrices vc;       // VC(k) = sum_l W(k, l) MS(l)
};

// Inverts a copy of the EMS matrix and solves for the components. Shows no
// message: the caller reports a singular matrix.
ComponentSolution solve_components(const tk::Matrix& ems, const EffectMatrices& ms);

// Sets every negative variance VC(k)(j, j) to 0 (covariances stay) and then
// sets the status word to 1. When the status word is 1 the MS array is rebuilt
// from the components: MS(k) = sum_l EMS(k, l) VC(l). Returns the status word.
int clear_negative_variances(const tk::Matrix& ems, int status_word, EffectMatrices& vc,
                             EffectMatrices& ms);

struct GroupLevel {
    tk::Matrix genetic;     // Gg = VC(g)
    tk::Matrix phenotypic;  // Pg = W(g, g) MS(g)
};

// g is the 0-based index of the genetic group effect (the 1-based ID minus 1).
GroupLevel partition_group_level(int g, const EffectMatrices& vc, const tk::Matrix& inverse_ems,
                                 const EffectMatrices& ms);

struct IndividualLevel {
    tk::Matrix genetic;                         // Gi = VC(g) / r
    std::vector<double> genetic_coefficients;   // cG(l) = W(g, l) / r
    tk::Matrix phenotypic;                      // Pi = sum_{k >= g} VC(k)
    std::vector<double> phenotypic_coefficients;  // cP(l) = sum_{k >= g} W(k, l)
};

// g is the 0-based index of the genetic group effect; requires r > 0.
// Gi = sum_l cG(l) MS(l) and Pi = sum_l cP(l) MS(l) whenever VC = W MS.
IndividualLevel partition_individual_level(int g, double relative, const EffectMatrices& vc,
                                           const tk::Matrix& inverse_ems);

}  // namespace kirv
