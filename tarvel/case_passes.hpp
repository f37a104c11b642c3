// The two passes over the case scratch file, on every core: the first marks
// the columns that some case falls into, the second accumulates the normal
// equations (and, for an absorbed last effect, the sums of its levels).
//
// The threads read the file in chunks of cases with positional reads, so
// that they never wait for each other. In the first pass each thread marks
// the columns of its own run of cases. In the accumulation pass each thread
// reads every case and adds it into the sums it owns (columns, levels): every
// sum thus receives its cases in file order whatever the number of threads,
// so that the results do not depend on it.
// Both passes check that the file holds exactly the accepted cases; a file
// that does not read back as written is a run error.
#pragma once

#include <cstdint>
#include <vector>

#include "common/files.hpp"
#include "common/host.hpp"
#include "tarvel/layout.hpp"
#include "tarvel/normal_equations.hpp"

namespace tarvel {

struct LevelSums;

// What the scratch file holds.
struct ScratchShape {
    int factors = 0;          // f
    int traits = 0;           // t as recorded (0 allowed)
    std::int64_t cases = 0;   // accepted cases
};

// Cases of one chunk, decoded.
struct CaseChunk {
    std::int64_t first = 0;           // 0-based number of its first case
    int count = 0;
    std::vector<unsigned char> bytes; // the records as stored
    std::vector<Level> levels;        // count x f
    std::vector<double> traits;       // count x max(1, t), 8-byte values
    std::vector<int> columns;         // count x columns_per_case, after compaction
};

// First pass: marks the columns of every case.
void mark_columns(ColumnLayout& layout, tk::ScratchFile& scratch, const ScratchShape& shape, int threads);

// Accumulation pass: the equations of the first `dense_columns` columns
// (0: all), and with `levels` the sums of the absorbed effect's levels.
// Paints the case counter every 100 cases, as far as the chunks allow.
NormalEquations accumulate_equations(const ColumnLayout& layout, tk::ScratchFile& scratch, const ScratchShape& shape,
                                     int dense_columns, LevelSums* levels, int threads, tk::Host& host);

// Cases per chunk.
inline constexpr int chunk_cases = 1 << 16;

}  // namespace tarvel
