// The HTML report of a tarvel run (--report FILE.html): one self-contained
// page with the run (data file, model, traits, cases), a stacked bar per
// trait of the shares of the variance components by effect, and for every
// trait its analysis table and F tests; the analyses of covariance and the
// expected mean squares follow. Made from the run's JSON results, whose
// places every number of the page names (see common/html_report.hpp).
#pragma once

#include "common/files.hpp"
#include "common/json_output.hpp"

#include <string>

namespace tarvel {

// The page of a results document (docs/tarvel.md gives its schema).
std::string report_page(const tk::Json& results);

// Writes it to an open writer; closing the writer completes the file.
void write_report(tk::TextWriter& out, const tk::Json& results);

}  // namespace tarvel
