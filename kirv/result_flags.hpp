// How the printed parameters of a kirv run came about, read from the run's
// JSON results: each heritability and correlation carries a flag
// ("estimate", "bound", "negative_variance", "vanishing_variance") and its raw
// ratio, which the tables and the report show.
#pragma once

#include "common/json_output.hpp"

#include <string>

namespace kirv {

inline constexpr const char* estimate_flag = "estimate";

// The flag of a heritability ("group_level" or "individual_level").
std::string heritability_flag(const tk::Json& results, const char* level, std::size_t trait);

// The flag of a correlation ("genetic_correlations" or "phenotypic_correlations").
std::string correlation_flag(const tk::Json& results, const char* kind, std::size_t i, std::size_t j);

// What a flag other than "estimate" says of a parameter, for a reader: "lay
// outside its range and was set to the nearer bound", ...
std::string flag_meaning(const std::string& flag);

}  // namespace kirv
