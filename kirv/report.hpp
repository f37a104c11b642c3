// The HTML report of a kirv run (--report FILE.html): one self-contained page
// with the run's settings, every flag of the run (negative components,
// parameters set to a bound, the bending's outcome), the heritabilities of
// both levels with bars of one standard error, a heatmap of the genetic
// (above the diagonal) and phenotypic (below) correlations with their
// standard errors, the covariance matrices, and the eigenvalues of the genetic
// covariance matrix before and after bending when it ran. Made from the run's
// JSON results, whose places every number of the page names.
#pragma once

#include "common/files.hpp"
#include "common/json_output.hpp"

#include <string>

namespace kirv {

// The page of a results document (docs/kirv.md gives its schema).
std::string report_page(const tk::Json& results);

// Writes it to an open writer; closing the writer completes the file.
void write_report(tk::TextWriter& out, const tk::Json& results);

}  // namespace kirv
