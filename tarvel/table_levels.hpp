// The levels of a factor column of a table: its distinct texts, numbered as
// first met while the rows are read, and at the end in the order of their
// values (numbers by size when every text is a number, else texts by their
// bytes). There is no limit but the memory on the number of levels.
#pragma once

#include <string_view>
#include <vector>

#include "tarvel/layout.hpp"

namespace tarvel::table {

// An open-addressing hash table of the texts. A text of up to 8 bytes is its
// own key (its bytes packed into 64 bits), so that most identifiers are found
// without reading their text; a longer text is keyed by its hash and compared
// in the arena, where level k (from 1) is the text from starts[k - 1] to
// starts[k]. Small whole numbers written plainly (herd 17, sex 2) index a
// table of their own.
struct LevelSlot {
    std::uint64_t key = 0;
    std::uint32_t length = 0;
    Level level = 0;  // 0: an empty slot
};

struct LevelTable {
    std::vector<LevelSlot> slots = std::vector<LevelSlot>(64);  // a power of two in size
    std::string arena;
    std::vector<std::size_t> starts{0};
    LevelSlot last;             // rows often repeat the level of the row before
    std::vector<Level> direct;  // the level of each small whole number (0: none yet)
};

// The level of the text, a new one (the next number) when it is new.
Level level_of(LevelTable& table, std::string_view text);
std::size_t level_count(const LevelTable& table);
std::string_view level_text(const LevelTable& table, Level level);

// The final level of every level as first met (index: level - 1).
std::vector<Level> sorted_levels(const LevelTable& table);
bool is_identity(const std::vector<Level>& levels);

}  // namespace tarvel::table
