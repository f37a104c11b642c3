// Column layout of the design: one column for the mean, then one block of
// columns per effect (one column per level or level combination), in model
// order, with the combinations that no case falls into dropped.
//
// Sources are numbered 0 = the mean, 1 ... n = the effects in model order
// (source e + 1 is effect e), n + 1 = the residual. Every column belongs to
// exactly one source; the per-column source index, not the column label,
// tells which (two effects with the same name stay two sources).
//
// Use by the calling stage:
//   1. setup_columns(model, largest_level): level counts; check .error;
//   2. mark_used_columns(layout, levels) for every case (first pass);
//   3. compact_columns(layout): p, offsets, labels; check .error;
//   4. case_columns(layout, levels, columns) for every case (accumulation).
#pragma once

#include "tarvel/model.hpp"

#include <cstdint>
#include <span>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tarvel {

// A factor level of a case, from 1 on. Data files give codes up to 32767;
// levels numbered by the program itself may go higher.
using Level = std::int32_t;

// The columns of one effect. A position is the 0-based level position of a
// case in the effect: sum over its factors of (level - 1) * stride, the last
// factor varying fastest; positions run 0 ... full_level_count - 1.
struct EffectColumns {
    std::string name;                    // the effect's name, the label of its columns
    std::vector<int> factors;            // 0-based factor indices, stored order
    std::vector<int> largest;            // largest level of each of those factors
    std::vector<std::int64_t> strides;   // position weight of each factor
    std::int64_t full_level_count = 0;   // L(e) before compaction; 0 when below 2 (no columns)
    int level_count = 0;                 // columns kept after compaction
    int first_column = 0;                // 0-based first column of the block (= o(e) in 1-based text)

    // Which positions are used, and after compaction the 0-based column of a
    // used position relative to first_column. Dense (indexed by position)
    // when the position space is small, a hash map otherwise.
    bool dense = true;
    std::vector<std::int32_t> dense_column;               // -1: position unused
    std::unordered_set<std::int64_t> sparse_used;         // first pass only
    std::unordered_map<std::int64_t, std::int32_t> sparse_column;
};

struct ColumnLayout {
    std::string error;                 // empty when usable; else an input error to report
    std::vector<EffectColumns> effects;  // n, model order
    int columns_per_case = 1;          // 1 + number of effects with columns
    bool compacted = false;

    // After compaction:
    int p = 0;                          // number of columns, the mean included
    std::vector<std::string> labels;    // per column: "Mean" or the effect's name
    std::vector<int> column_source;     // per column: 0 for the mean, e + 1 for effect e
    std::vector<std::string> source_names;  // n + 1: "Mean", then the effect names
};

// Position spaces up to this many entries per effect are mapped densely
// (4 bytes per position), as long as the dense maps of all effects together
// stay below dense_total_limit entries.
inline constexpr std::int64_t dense_effect_limit = std::int64_t{1} << 22;
inline constexpr std::int64_t dense_total_limit = std::int64_t{1} << 24;

// Level counts and strides of every effect. largest_level[g] is the largest
// level of factor g (0-based) in the accepted cases. A level count that does
// not fit in 64 bits, or an effect naming a factor the cases do not hold,
// sets .error naming the effect.
ColumnLayout setup_columns(const Model& model, std::span<const int> largest_level);

// First pass: marks the positions of one case (f levels, each >= 1). Returns
// false, marking nothing, when a level lies outside 1 ... its factor's
// largest level. Several threads may mark cases at once when every effect
// is mapped densely (see marks_concurrently).
bool mark_used_columns(ColumnLayout& layout, std::span<const Level> levels);
bool marks_concurrently(const ColumnLayout& layout);

// Drops unused positions and numbers the kept columns: column 0 is the mean,
// each effect's kept positions follow in position order. Sets p, the level
// counts, offsets, labels and column sources. A column count that does not
// fit in an int sets .error.
void compact_columns(ColumnLayout& layout);

// The case's columns: 0, then its column in each effect with columns, in
// model order (strictly increasing). `columns` must hold at least
// layout.columns_per_case entries. Returns the count written, or -1 when the
// case does not fit the layout (a level out of range or a position that the
// first pass did not see).
int case_columns(const ColumnLayout& layout, std::span<const Level> levels,
                 std::span<int> columns);

}  // namespace tarvel
