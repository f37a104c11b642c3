// Values that the per-effect trait matrices cannot carry.
//
// The matrices of sums of squares, mean squares and components hold 4-byte
// reals (up to about 3.4E+38), and so do the files written from them: the
// export file "KIRV.IN_", the host's results file "tanv~tm1.$$$" and the
// matrix sections of the listing. A value beyond that range would come out
// as an infinity there, so a run whose matrices go to one of these stops
// instead, naming the value. The analysis tables and the JSON results carry
// 8-byte reals and are never limited by this.
#pragma once

#include "tarvel/pair_analysis.hpp"
#include "tarvel/switches.hpp"

#include <optional>
#include <span>
#include <string>

namespace tarvel {

// Where the run writes the matrices.
struct MatrixOutputs {
    OutputSwitches switches;
    bool listing = false;  // L >= 1; without a listing the host takes SS and VC
    int trait_count = 0;   // the listing prints matrices only for two traits or more
};

// Raises RunError for the first value of an effect or of the residual, in
// pair order, that is finite but beyond the 4-byte range and goes to one of
// those files; its message names the value and suggests rescaling the trait.
// source_names: "Mean", then the n effects; trait_names: t names.
// The first value of the export file's matrices (the sums of squares and
// cross products) beyond the 4-byte range, as "sum of squares of effect g for
// trait y is 1.00e+40"; nullopt when all fit.
std::optional<std::string> export_value_too_large(std::span<const PairAnalysis> pairs,
                                                  std::span<const std::string> source_names,
                                                  std::span<const std::string> trait_names);

void require_four_byte_matrices(std::span<const PairAnalysis> pairs, std::span<const std::string> source_names,
                                std::span<const std::string> trait_names, const MatrixOutputs& outputs);

}  // namespace tarvel
