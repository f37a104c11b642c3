// tarvel's JSON results as kirv's data file ("kirv lambs.json"): the degrees
// of freedom, the expected-mean-square coefficients and the sums of squares
// and cross products of every effect and of the residual, the trait names
// and the effect names. The numbers are the 8-byte values of the analysis,
// more digits than the export file "KIRV.IN_" holds; they are placed as the
// export file places them (the coefficients as an upper triangle, each
// effect's row ending in the residual's 1), so both give the same results.
//
// The settings that a kirv data file holds on its keyword lines come from
// the command line (or the control file) or keep their defaults.
#pragma once

#include <string>
#include <string_view>

#include "common/files.hpp"
#include "kirv/input.hpp"

namespace kirv {

// A data file whose name ends in ".json" (in any letter case).
bool is_json_data_file(std::string_view name);

// Reads the document from data (the opened file of that name) and settles
// the settings. RunError (status_bad_json) for a file that is not tarvel's
// JSON results, lacks a value or holds one of the wrong kind, and the errors
// of the settings and the genetic group as for a text data file; FileError
// when the file cannot be read.
Specification read_json_specification(tk::TextReader& data, const std::string& file, const ControlSettings& given);

}  // namespace kirv
