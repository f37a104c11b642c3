// The listing of an analysis run, section by section, in the order of the
// run:
//   1. banner and run header, first part (factor levels, number of traits);
//   2. run header, second part (effects kept, traits, case counts);
//   3. the expected-mean-square table, then a note for every effect left out
//      of the component equations;
//   4. per trait pair (0,0), (0,1), ..., (t-1,t-1): the variance or
//      covariance heading and the analysis table, the summary after each
//      variance;
//   5. with two or more traits, the matrix sections: sums of squares and
//      cross products, mean squares and products, variance estimates,
//      correlations of variance components with their notes.
// write_analysis_listing writes all of them; the other writers are the
// sections one by one. Trait numbers in the listing count from 1.
#pragma once

#include "common/files.hpp"
#include "common/matrix.hpp"
#include "tarvel/case_report.hpp"
#include "tarvel/ems.hpp"
#include "tarvel/layout.hpp"
#include "tarvel/pair_analysis.hpp"
#include "tarvel/trait_tables.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

// What the run header shows beside the layout.
struct RunHeader {
    std::vector<int> largest_level;        // per factor (f of them), factor A first
    int trait_count = 0;                   // t as specified (a count of 0 is shown as 0)
    std::vector<std::string> trait_names;  // the names of the traits analysed
    std::int64_t cases_accepted = 0;
    std::int64_t cases_skipped = 0;
    CaseReport problems;                   // noted after the case counts
};

// ------------------------------------------------------------ run header

// Nine framed records and three records of one blank.
void write_banner(tk::TextWriter& out);

// The banner, one "Maximal Level of Factor" line per factor (its letter A ...
// Z), the number of traits and the caption of the effect list. Factors with
// names (the columns of a table) get a "Levels of Factor" line with the name
// and their number of levels instead.
void write_run_header_start(tk::TextWriter& out, std::span<const int> largest_level, int trait_count,
                            std::span<const std::string> factor_names = {});

// "Mean" and every effect that kept at least one column (model order) at
// column 62, the trait names, the case counts, the note of problem cases
// (when there are any) and the rule of asterisks. Names longer than their
// field are shortened so that no two look alike.
void write_run_header_end(tk::TextWriter& out, const ColumnLayout& layout, std::span<const std::string> trait_names,
                          std::int64_t cases_accepted, std::int64_t cases_skipped,
                          const CaseReport* problems = nullptr);

// ------------------------------------------------------------ expected mean squares

// How names longer than their field are shortened: the names of factor
// letters (`A*B*C`) are cut, as their listings always had them; names that
// the user gave (the columns of a table) are shortened so that no two look
// alike.
enum class NameShortening { cut, distinct };

// Heading, the header of source names (last effect first, "Mean" last), a
// line of two blanks and one row per source: its degrees of freedom and its
// coefficients, last effect first and the mean last. The header shows 16
// characters of each name, the rows 20.
void write_ems_table(tk::TextWriter& out, const ExpectedMeanSquares& ems,
                     NameShortening shortening = NameShortening::cut);

// One line for an effect (0-based) left out of the component equations.
std::string left_out_note(const ColumnLayout& layout, int effect);
// The notes of all left-out effects, one line each (nothing when none).
void write_left_out_notes(tk::TextWriter& out, const ColumnLayout& layout, const ExpectedMeanSquares& ems);

// ------------------------------------------------------------ trait pairs

void write_variance_heading(tk::TextWriter& out, std::string_view trait_name);
void write_covariance_heading(tk::TextWriter& out, std::string_view first_trait, std::string_view second_trait);

// The rows of one pair: the mean with its caption, a blank record, the
// effects, the residual and the total, and the summary after a variance.
// source_names: "Mean", then the n effect names.
void write_pair_table(tk::TextWriter& out, const PairAnalysis& pair, std::span<const std::string> source_names);

// Every pair with its heading, in pair order: the variance heading of trait s
// before pair (s, s), the covariance heading of (s, u + 1) after pair (s, u).
void write_pair_tables(tk::TextWriter& out, std::span<const PairAnalysis> pairs,
                       std::span<const std::string> trait_names, std::span<const std::string> source_names);

// ------------------------------------------------------------ trait matrices

// Prints the lower triangle of m (mode != 0) or all of it (mode 0) in blocks
// of columns as the item specification says (for example "9(G13.6)": nine
// columns of G13.6 per block). Mode 99 lays out the column numbers for
// correlations.
void write_triangular_matrix(tk::TextWriter& out, const tk::Matrix& m, std::string_view item_spec, int mode);

// One matrix per source row of the table ("For Effect : " and its name),
// then the note on trait numbers. source_names: the n effect names, then
// "Error".
void write_effect_matrices(tk::TextWriter& out, const TraitTable& table, std::span<const std::string> source_names,
                           std::string_view item_spec);

// The correlations of every source row with 1.0 on the diagonal, then
// note (1), and note (2) when the marker flag is -1.
void write_correlations(tk::TextWriter& out, const TraitTables& tables, std::span<const std::string> source_names);

// The matrix sections after the pair tables, as the switches ask (nothing
// with one trait). The correlations must be stored already.
void write_matrix_sections(tk::TextWriter& out, const TraitTables& tables, const ColumnLayout& layout,
                           const OutputSwitches& switches);

// The n effect names, then "Error".
std::vector<std::string> matrix_source_names(const ColumnLayout& layout);

// ------------------------------------------------------------ the whole listing

// Every section above in the order of the run. `pairs` in pair order,
// `tables` built from them with the correlations stored
// (build_trait_tables).
void write_analysis_listing(tk::TextWriter& out, const RunHeader& header, const ColumnLayout& layout,
                            const ExpectedMeanSquares& ems, std::span<const PairAnalysis> pairs,
                            const TraitTables& tables, const OutputSwitches& switches);

// The sections after the run header: the expected-mean-square table and the
// notes of left-out effects, the pair tables and the matrix sections.
void write_analysis_sections(tk::TextWriter& out, std::span<const std::string> trait_names,
                             const ColumnLayout& layout, const ExpectedMeanSquares& ems,
                             std::span<const PairAnalysis> pairs, const TraitTables& tables,
                             const OutputSwitches& switches, NameShortening shortening = NameShortening::cut);

}  // namespace tarvel
