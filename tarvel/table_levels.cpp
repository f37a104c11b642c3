#include "tarvel/table_levels.hpp"

#include <algorithm>
#include <charconv>
#include <numeric>

#include "tarvel/table_text.hpp"

namespace tarvel::table {
namespace {

constexpr std::size_t packed_length = sizeof(std::uint64_t);

std::uint64_t text_key(std::string_view text) {
    std::uint64_t key = 0;
    if (text.size() <= packed_length) {
        // Byte by byte: a copy of a varying length into the key and a load
        // of the key right after it would stall the processor.
        for (std::size_t i = 0; i < text.size(); ++i)
            key |= static_cast<std::uint64_t>(static_cast<unsigned char>(text[i])) << (8 * i);
        return key;
    }
    key = 14695981039346656037ull;  // FNV-1a
    for (char c : text) key = (key ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    return key;
}

std::size_t first_slot(std::uint64_t key, std::uint32_t length, std::size_t mask) {
    return static_cast<std::size_t>(((key ^ length) * 0x9E3779B97F4A7C15ull) >> 32) & mask;
}

// The slot of a text: where it is, or the empty slot where it belongs.
std::size_t slot_of(const LevelTable& table, std::string_view text, std::uint64_t key) {
    const std::uint32_t length = static_cast<std::uint32_t>(text.size());
    const std::size_t mask = table.slots.size() - 1;
    for (std::size_t i = first_slot(key, length, mask);; i = (i + 1) & mask) {
        const LevelSlot& slot = table.slots[i];
        if (slot.level == 0) return i;
        if (slot.key == key && slot.length == length &&
            (length <= packed_length || same_text(level_text(table, slot.level), text)))
            return i;
    }
}

// Doubles the table when it is half full.
void grow(LevelTable& table) {
    std::vector<LevelSlot> slots(table.slots.size() * 2);
    const std::size_t mask = slots.size() - 1;
    for (const LevelSlot& slot : table.slots) {
        if (slot.level == 0) continue;
        std::size_t i = first_slot(slot.key, slot.length, mask);
        while (slots[i].level != 0) i = (i + 1) & mask;
        slots[i] = slot;
    }
    table.slots = std::move(slots);
}

// A new level for the text.
Level add_level(LevelTable& table, std::string_view text) {
    table.arena.append(text);
    table.starts.push_back(table.arena.size());
    return static_cast<Level>(level_count(table));
}

// Codes such as herd 17 or sex 2: a whole number of up to six digits without
// sign or leading zero ("07" is another text than "7") indexes a table.
bool small_whole_number(std::string_view text, std::size_t& value) {
    if (text.empty() || text.size() > 6 || (text[0] == '0' && text.size() > 1)) return false;
    value = 0;
    for (char c : text) {
        const unsigned digit = static_cast<unsigned>(c - '0');
        if (digit > 9) return false;
        value = value * 10 + digit;
    }
    return true;
}

}  // namespace

std::size_t level_count(const LevelTable& table) { return table.starts.size() - 1; }

std::string_view level_text(const LevelTable& table, Level level) {
    const std::size_t k = static_cast<std::size_t>(level - 1);
    return std::string_view(table.arena).substr(table.starts[k], table.starts[k + 1] - table.starts[k]);
}

Level level_of(LevelTable& table, std::string_view text) {
    std::size_t number = 0;
    if (small_whole_number(text, number)) {
        if (number >= table.direct.size()) table.direct.resize(std::max(number + 1, 2 * table.direct.size()), 0);
        Level& level = table.direct[number];
        if (level == 0) level = add_level(table, text);
        return level;
    }
    const std::uint64_t key = text_key(text);
    const LevelSlot& last = table.last;
    if (last.level != 0 && last.key == key && last.length == text.size() &&
        (text.size() <= packed_length || same_text(level_text(table, last.level), text)))
        return last.level;
    std::size_t i = slot_of(table, text, key);
    if (table.slots[i].level == 0) {
        table.slots[i] = {key, static_cast<std::uint32_t>(text.size()), add_level(table, text)};
        if (2 * level_count(table) > table.slots.size()) {
            grow(table);
            i = slot_of(table, text, key);
        }
    }
    table.last = table.slots[i];
    return table.last.level;
}

std::vector<Level> sorted_levels(const LevelTable& table) {
    const std::size_t n = level_count(table);
    const auto text = [&table](std::size_t k) { return level_text(table, static_cast<Level>(k + 1)); };
    std::vector<double> values(n, 0.0);
    bool numeric = true;
    for (std::size_t k = 0; k < n && numeric; ++k) {
        const std::string_view t = text(k);
        float x = 0.0f;
        numeric = parse_number(t, x);
        if (numeric) std::from_chars(t.data() + (t.front() == '+'), t.data() + t.size(), values[k]);
    }
    std::vector<std::size_t> order(n);
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        if (numeric && values[a] != values[b]) return values[a] < values[b];
        return text(a) < text(b);
    });
    std::vector<Level> final_level(n);
    for (std::size_t rank = 0; rank < n; ++rank) final_level[order[rank]] = static_cast<Level>(rank + 1);
    return final_level;
}

bool is_identity(const std::vector<Level>& map) {
    for (std::size_t k = 0; k < map.size(); ++k)
        if (map[k] != static_cast<Level>(k + 1)) return false;
    return true;
}

}  // namespace tarvel::table
