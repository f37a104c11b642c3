// What a reader of kirv's results must not miss, read from the run's JSON
// results: variance components that were negative (and set to 0),
// heritabilities and correlations that were set to a bound of their range,
// and the outcome of the bending. The tables and the report show these flags.
#pragma once

#include "common/json_output.hpp"

#include <string>
#include <vector>

namespace kirv {

// A heritability (level "group_level" or "individual_level") whose ratio G/P
// fell outside [0, 1] and was set to the nearer bound.
bool heritability_at_bound(const tk::Json& results, const char* level, std::size_t trait);

// A correlation ("genetic_correlations" of Gg, "phenotypic_correlations" of
// Pi) whose ratio fell outside [-1, 1] and was set to the nearer bound.
bool correlation_at_bound(const tk::Json& results, const char* kind, std::size_t i, std::size_t j);

// A negative variance component, as estimated (effect and trait 0-based).
struct NegativeComponent {
    std::size_t effect = 0;
    std::size_t trait = 0;
};
std::vector<NegativeComponent> negative_components(const tk::Json& results);

}  // namespace kirv
