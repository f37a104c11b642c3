// The export file "KIRV.IN_": the input of the genetic-parameter program,
// written when the print option KIRV is set. Records in order:
//   1-8   the keyword lines with their defaults, a blank, the trait text, a blank
//   9-12  "EMS / UP", the upper triangle of the effects' expected-mean-square
//         coefficients (each row ending in the residual's 1.0), the residual's
//         row, a blank
//   13-14 "DF = " and the degrees of freedom of the effects and the residual, a blank
//         (in runs from a shell then "//EFFECT k = name" for every source, a blank)
//   15-17 "SS / LOW", the lower triangles of every source's sums of squares and
//         cross products, a blank
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "common/files.hpp"

namespace tarvel {

inline constexpr const char* export_file_name = "KIRV.IN_";

// Records 1 to 8; the trait text as the run used it.
void write_export_header(tk::TextWriter& out, std::string_view trait_text);

// Records 9 to 12. coefficients: the n x n block of the effects, row after
// row: E(r, c) at r * n + c (0-based, only c >= r is written).
void write_export_ems_block(tk::TextWriter& out, std::span<const double> coefficients, int n);
// The built format of effect row r (0-based) of n, and of the residual's row.
std::string export_ems_row_format(int r, int n);
std::string export_residual_row_format(int n);

// Records 13 and 14: n + 1 degrees of freedom (the effects, then the residual).
void write_export_degrees_of_freedom(tk::TextWriter& out, std::span<const int> degrees_of_freedom);

// After records 13 and 14, in runs from a shell: one line per source naming
// it, "//EFFECT 1 = flock" ... "//EFFECT 5 = Error" (the residual last), then
// a blank. A reader that takes only keyword lines passes over "//" lines.
inline constexpr const char* export_effect_keyword = "//EFFECT";
void write_export_effect_names(tk::TextWriter& out, std::span<const std::string> names);

// Records 15 to 17 from the per-source sums-of-squares table: sources x t x t
// 4-byte reals, source index first, column-major, so S(k, i, j) (0-based) is
// at k + sources * (i + t * j). Sources are the n effects, then the residual.
void write_export_sums_of_squares(tk::TextWriter& out, std::span<const float> table, int sources, int t);
inline std::size_t trait_matrix_index(int source, int i, int j, int sources, int t) {
    const auto z = [](int v) { return static_cast<std::size_t>(v); };
    return z(source) + z(sources) * (z(i) + z(t) * z(j));
}

}  // namespace tarvel
