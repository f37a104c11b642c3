// The tidy tables of a tarvel run (--tables DIR), made from the run's JSON
// results so that they hold the same numbers:
//   anova.csv  one row per source of every trait pair's analysis table;
//   ems.csv    the expected-mean-square coefficients, one row per source and
//              component (the residual's coefficient is 1 throughout);
//   cases.csv  the case counts, and the cases missing per trait where known.
#pragma once

#include "common/csv_output.hpp"

#include <string>
#include <vector>

namespace tarvel {

inline constexpr const char* table_file_names[] = {"anova.csv", "ems.csv", "cases.csv"};

// A kind of problem case that counts the cases missing one trait of a table
// ("missing:wwt"); the tables and the report give these per trait.
bool is_trait_missing_kind(const tk::Json& results, const std::string& kind);

// The three tables of a results document (docs/tarvel.md gives its schema).
std::vector<tk::CsvTable> result_tables(const tk::Json& results);

// Writes them into the directory, each through its own writer (appended to
// `files`) that the run completes with its other files; raises RunError when
// one cannot be created.
void write_result_tables(const std::string& directory, const tk::Json& results, std::vector<tk::TextWriter>& files);

}  // namespace tarvel
