// Stepwise bending of the genetic-group covariance matrix G0 towards a
// reference matrix A: Gb(w) = (1 - w) G0 + w v A, with v = trace(A^-1 G0) / t
// (the mean eigenvalue of A^-1 G0), for w = 0, 0.001, ..., 1, stopping at the
// first w whose smallest eigenvalue reaches the required minimum.
#pragma once

#include "common/matrix.hpp"
#include "kirv/components.hpp"

#include <vector>

namespace kirv {

// Reference index that stands for the identity matrix.
inline constexpr int identity_reference = -1;

// Status values of bend_stepwise.
inline constexpr int bending_success = 1;              // smallest eigenvalue >= minimum
inline constexpr int bending_out_of_memory = -1;       // an allocation of the bending failed
inline constexpr int bending_singular_reference = -3;  // not reached through bend_genetic_matrix
inline constexpr int bending_limit_missed = -4;        // still below the minimum at w = 1.000
inline constexpr int bending_reference_failed = -21;   // eigenvalues of A did not converge
inline constexpr int bending_step_failed = -22;        // eigenvalues of a bent matrix did not converge

struct StepwiseBending {
    int status = bending_success;
    double factor = 0.0;           // w of the last step taken
    std::vector<double> original;  // eigenvalues of G0 (the step w = 0), descending;
                                   // empty when the core stopped before that step
    std::vector<double> bent;      // eigenvalues of the last Gb, descending;
                                   // empty unless status is 1 or -4
    tk::Matrix bent_matrix;        // Gb of the last step (t x t, zeros when no step ran)
};

// The core: bends g0 (t x t, t >= 1) towards the symmetric reference a.
StepwiseBending bend_stepwise(const tk::Matrix& g0, const tk::Matrix& a, double lambda_min);

struct Bending {
    double factor = 0.0;           // weight w of the reference matrix
    std::vector<double> original;  // E: eigenvalues of VC(g), ascending if the core did not
                                   // reach its first step, descending once it did
    std::vector<double> bent;      // B, descending (see StepwiseBending)
    tk::Matrix bent_matrix;        // Gb; empty when the core did not run
    int failure = 0;               // error index of the eigenvalues of VC(g); 0 when found
    int reference_flag = 0;        // -1: the reference matrix was singular, identity used
    int needed = 0;                // number of eigenvalues of VC(g) below lambda_min
    int status = 0;                // from the core; the status passed in when it did not run
    int reference = identity_reference;  // the reference actually used
};

// The driver: bends VC(g). g is the 0-based index of the genetic group
// effect; reference is the 0-based index of the effect whose component matrix
// is the reference, or identity_reference (so both are the 1-based IDs minus
// 1). A singular reference matrix is replaced by the identity. The core runs
// only when an eigenvalue of VC(g) lies strictly below lambda_min.
Bending bend_genetic_matrix(int g, int reference, const EffectMatrices& vc, double lambda_min,
                            int status);

// Z = X Y for X q x r and Y r x s.
tk::Matrix matrix_product(const tk::Matrix& x, const tk::Matrix& y);

}  // namespace kirv
