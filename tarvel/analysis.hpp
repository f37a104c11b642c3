// The reduction and analysis of a run: from the cases on the scratch file to
// the listing (or the host's results), and the matrix blocks of the export file.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "common/files.hpp"
#include "common/host.hpp"
#include "tarvel/case_report.hpp"
#include "tarvel/ems.hpp"
#include "tarvel/model.hpp"
#include "tarvel/pair_analysis.hpp"
#include "tarvel/reduced_model.hpp"
#include "tarvel/switches.hpp"

namespace tarvel {

struct HostArrays;

// Everything the analysis takes from the stages before it.
struct AnalysisInput {
    const Model& model;
    std::span<const int> largest_levels;        // per factor
    std::span<const std::string> trait_names;   // 16 characters each
    std::int64_t cases_accepted = 0;
    std::int64_t cases_skipped = 0;
    OutputSwitches switches;
    bool listing = false;                       // L >= 1
    std::span<const std::string> factor_names;  // a table's factor columns (none: factor letters)
    const CaseReport* case_report = nullptr;    // problem cases, noted after the case counts
    bool export_effect_names = false;           // the export file names the effects
    int threads = 0;                            // 0: every core
    ReductionPath reduction = ReductionPath::automatic;
    bool export_by_default = false;             // not asked for: left out, with a warning, when a value does not fit
};

// How the equations were reduced, for the JSON document.
struct ComputationRecord {
    std::string reduction;        // "dense" or "absorbed"
    std::string absorbed_effect;  // the effect's name on the absorbed path
    int dense_columns = 0;        // order of the systems reduced densely
    int threads = 1;              // threads reading and adding the cases
    std::string blas_kernel;      // kernels of the dense routines
    int blas_threads = 1;
    std::string blas_note;        // why the built-in routines were used
};

// The results of the analysis kept for the JSON document: the same values
// the listing and the host records are written from.
struct AnalysisRecord {
    std::vector<std::string> effect_names;  // n, model order, as in the listing
    std::vector<int> effect_columns;        // n: columns kept per effect (levels or level combinations)
    int design_columns = 0;                 // p, the mean included
    ExpectedMeanSquares ems;
    std::vector<PairAnalysis> pairs;        // (0,0), (0,1), ..., (t-1,t-1)
    ComputationRecord computation;
};

// Where the analysis writes: the listing (L >= 1) or the test records and the
// host arrays (L < 1), and the export file when KIRV is set; the record of
// the results when one is asked for.
struct AnalysisOutput {
    tk::TextWriter& listing;
    tk::TextWriter& tests;
    tk::TextWriter& export_file;
    HostArrays& arrays;
    AnalysisRecord* record = nullptr;
};

// Lays out the columns, accumulates and reduces the normal equations from the
// scratch file (at its start), derives the expected mean squares, analyses
// every trait pair and writes the results, painting the status texts of each
// step; with output.record set, the results are also kept there. An input error (a model too large for its levels) raises RunError.
void reduce_and_analyse(const AnalysisInput& input, tk::ScratchFile& scratch, AnalysisOutput& output,
                        tk::Host& host);

}  // namespace tarvel
