// The machine-readable results of a kirv run: one JSON document with every
// number of the run at full 8-byte precision (docs/kirv.md gives the schema).
#pragma once

#include "kirv/bending.hpp"
#include "kirv/components.hpp"
#include "kirv/input.hpp"
#include "kirv/results.hpp"

#include "common/json_output.hpp"

#include <optional>
#include <string>

namespace kirv {

inline constexpr int json_schema_version = 1;

// The bending part: whether it was requested and, when it ran, its outcome
// number and listing messages, the factor, both eigenvalue lists (descending)
// and the bent matrix; null where the bending did not get that far.
tk::Json bending_document(const std::optional<Bending>& bending, double minimum_eigenvalue);

// The whole document. estimated_vc are the components as solved from the EMS
// equations; used_vc those the parameters were computed from (the bent
// genetic-group matrix in place, negative variances set to 0).
tk::Json results_document(const std::string& data_file, const std::string& listing_file,
                                const Specification& input, const EffectMatrices& estimated_vc,
                                const EffectMatrices& used_vc, const std::optional<Bending>& bending,
                                const Results& results);

}  // namespace kirv
