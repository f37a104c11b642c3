// The machine-readable results of a tarvel run: one JSON document with the
// settings as used, the design, the expected-mean-square coefficients and
// every row of every trait pair's analysis table, each number at full 8-byte
// precision (docs/tarvel.md gives the schema).
#pragma once

#include "common/json_output.hpp"
#include "tarvel/analysis.hpp"
#include "tarvel/specification.hpp"

#include <cstdint>
#include <string>

namespace tarvel {

inline constexpr int json_schema_version = 1;

// Everything the document is made from.
struct JsonRun {
    const std::string& data_file;
    const std::string& listing_file;
    const Specification& specification;
    const CheckedSpecification& checked;
    std::int64_t cases_accepted = 0;
    std::int64_t cases_skipped = 0;
    std::int64_t cases_unreadable = 0;
    const CaseReport& problems;
    const AnalysisRecord& record;
};

// The rows of one pair's table: the mean, the effects, the residual
// ("Error") and the total, each with every column of the listing; a value
// the listing does not show for that row is null.
tk::Json pair_rows_document(const PairAnalysis& pair, const AnalysisRecord& record);

// The whole document.
tk::Json results_document(const JsonRun& run);

}  // namespace tarvel
