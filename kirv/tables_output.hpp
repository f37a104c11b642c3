// The tidy tables of a kirv run (--tables DIR), made from the run's JSON
// results so that they hold the same numbers:
//   parameters.csv    heritabilities at both levels with standard errors, per trait;
//   correlations.csv  genetic and phenotypic correlations with standard errors, per pair of traits;
//   covariances.csv   the genetic and phenotypic covariance matrices of both levels;
//   bending.csv       the eigenvalues before and after bending (only when bending was requested).
#pragma once

#include "common/csv_output.hpp"

#include <string>
#include <vector>

namespace kirv {

inline constexpr const char* table_file_names[] = {"parameters.csv", "correlations.csv", "covariances.csv",
                                                   "bending.csv"};

// The tables of a results document (docs/kirv.md gives its schema).
std::vector<tk::CsvTable> result_tables(const tk::Json& results);

// Writes them into the directory, each through its own writer (appended to
// `files`) that the run completes with its other files; the reason when one
// cannot be created.
std::optional<std::string> write_result_tables(const std::string& directory, const tk::Json& results,
                                               std::vector<tk::TextWriter>& files);

}  // namespace kirv
