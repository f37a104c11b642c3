// The machine-readable results of a tarvel run: one JSON document with the
// settings as used, the design, the expected-mean-square coefficients and
// every row of every trait pair's analysis table, each number at full 8-byte
// precision (docs/tarvel.md gives the schema).
#pragma once

#include "common/json_output.hpp"
#include "tarvel/analysis.hpp"
#include "tarvel/specification.hpp"
#include "tarvel/table_reader.hpp"

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
    const TableReading* table = nullptr;  // a table run: what its reading found
};

// The rows of one pair's table: the mean, the effects, the residual
// ("Error") and the total, each with every column of the listing; a value
// the listing does not show for that row is null.
tk::Json pair_rows_document(const PairAnalysis& pair, const AnalysisRecord& record);

// What reading a table found: the separator, the rows, the texts read as
// missing, every factor with its column and number of levels, every trait
// with its column and the rows where it is missing, the rows skipped for a
// missing factor value and the bad rows skipped.
tk::Json table_document(const TableReading& table);

// The whole document.
tk::Json results_document(const JsonRun& run);

}  // namespace tarvel
