// What the printed parameters do not show by themselves: the variance
// components that were negative (they are set to 0 before the parameters are
// computed), the heritabilities and correlations that were set to a bound of
// their range or to 0, and whether the genetic covariance matrix is positive
// definite. The printed values stay as they are; these checks add the raw
// values and a flag per entry for the listing notes, standard error and the
// JSON results.
//
// Effects and traits are 0-based here.
#pragma once

#include "common/host.hpp"
#include "common/matrix.hpp"
#include "kirv/components.hpp"
#include "kirv/input.hpp"

#include <optional>
#include <string>
#include <vector>

namespace kirv {

// How a printed heritability or correlation came about.
enum class ParameterFlag {
    estimate,           // as computed
    bound,              // the computed ratio lay outside its range; the bound is printed
    negative_variance,  // a variance it is made of was negative and set to 0; printed as 0
    vanishing_variance  // the variance it divides by is (close to) 0; printed as 0
};
const char* flag_name(ParameterFlag flag);  // "estimate", "bound", ...

struct NegativeComponent {
    int effect = 0;
    int trait = 0;
    double value = 0.0;  // the variance component as estimated
};

// The raw estimates, taken after any bending and before the negative
// variances are set to 0.
struct RawEstimates {
    std::vector<NegativeComponent> negative_components;
    GroupLevel group;            // Gg, Pg from the unchanged components
    IndividualLevel individual;  // Gi, Pi likewise
};

struct HeritabilityChecks {
    std::vector<double> raw;  // G / P of the raw estimates; NaN when P vanishes
    std::vector<ParameterFlag> flag;
    std::vector<double> bound;  // the bound printed (0 or 1) for a bound flag, else NaN
};

struct CorrelationChecks {
    tk::Matrix raw;  // x(i, j) / sqrt(x(i, i) x(j, j)) of the raw estimates; NaN when a variance is not above 0
    std::vector<ParameterFlag> flag;  // column-major like raw
    tk::Matrix bound;                 // the bound printed (-1 or 1) for a bound flag, else NaN
    ParameterFlag at(int i, int j) const { return flag[static_cast<std::size_t>(i + raw.rows * j)]; }
};

struct GeneticDefiniteness {
    bool known = false;             // the eigenvalues were found
    double smallest_eigenvalue = 0.0;
    bool positive_definite() const { return known && smallest_eigenvalue > 0.0; }
};

struct EstimateChecks {
    std::vector<NegativeComponent> negative_components;
    std::vector<std::string> effect_names;  // of the data file, for the notes; empty when it names none
    HeritabilityChecks group_h2, individual_h2;
    CorrelationChecks genetic, phenotypic;
    GeneticDefiniteness genetic_matrix;  // of the printed Gg
};

// Called before clear_negative_variances: the negative variances and the
// matrices both levels would have without setting them to 0.
RawEstimates raw_estimates(int g, double relative, const EffectMatrices& vc, const EffectMatrices& ms,
                           const tk::Matrix& inverse_ems);

// The flags of the printed parameters, computed from the printed matrices of
// both levels, against the raw estimates; the notes name the effects by
// effect_names (one per effect, or none).
EstimateChecks check_estimates(const RawEstimates& raw, const GroupLevel& group, const IndividualLevel& individual,
                               const std::vector<std::string>& effect_names);

// What the notes are about; each follows its result block in the listing.
enum class NoteSubject { components, genetic_matrix, group_h2, individual_h2, genetic_r, phenotypic_r };

// The lines of a note (nothing when there is nothing to say); the first line
// begins with "Note: ". Names are the 16-character trait names.
std::vector<std::string> estimate_note(const EstimateChecks& checks, NoteSubject subject,
                                       const std::vector<std::string>& names);

// Every note as a warning on standard error, at most a few entries each.
void write_estimate_warnings(tk::Host& host, const EstimateChecks& checks, const std::vector<std::string>& names);

}  // namespace kirv
