#include "tokenizer.hpp"

#include "format.hpp"

#include <algorithm>

namespace tk {
namespace {

constexpr std::size_t number_item_width = 20;

bool is_separator(char c, std::string_view separators) { return separators.find(c) != std::string_view::npos; }

}  // namespace

std::size_t significant_length(std::string_view text) {
    std::size_t n = text.size();
    while (n > 0 && text[n - 1] == ' ') --n;
    return n;
}

std::string_view significant(std::string_view text) { return text.substr(0, significant_length(text)); }

std::string pad(std::string_view text, std::size_t width) {
    std::string out(text.substr(0, std::min(text.size(), width)));
    out.resize(width, ' ');
    return out;
}

std::string_view take_item(std::string_view& rest, std::string_view separators) {
    std::size_t i = 0;
    while (i < rest.size() && is_separator(rest[i], separators)) ++i;
    std::size_t j = i;
    while (j < rest.size() && !is_separator(rest[j], separators)) ++j;
    const std::string_view item = rest.substr(i, j - i);
    while (j < rest.size() && is_separator(rest[j], separators)) ++j;
    rest.remove_prefix(j);
    return item;
}

namespace {

// The line keeps only rest (a view into it), blank-padded to its length: one
// shift of the line however many items were taken, so that the cost stays
// linear in the length of the line.
void consume(std::string& line, std::string_view rest) {
    const std::size_t size = line.size();
    if (rest.empty()) {
        line.assign(size, ' ');
        return;
    }
    line.erase(0, static_cast<std::size_t>(rest.data() - line.data()));
    line.resize(size, ' ');
}

}  // namespace

std::string next_item(std::string& line, std::string_view separators, std::size_t width) {
    std::string_view rest = significant(line);
    const std::string item = pad(take_item(rest, separators), width);
    consume(line, rest);
    return item;
}

int split_items(std::string& line, std::string_view separators, std::vector<std::string>& store, std::size_t width,
                int capacity) {
    std::string_view rest = significant(line);
    int taken = 0;
    while (taken < capacity) {
        const std::string_view item = take_item(rest, separators);
        if (static_cast<std::size_t>(taken) < store.size()) store[static_cast<std::size_t>(taken)] = pad(item, width);
        if (item.empty()) break;
        ++taken;
    }
    consume(line, rest);
    return taken;
}

void cut_at_equals(std::string& line) {
    const std::size_t p = line.find('=');
    if (p == std::string::npos) return;
    const std::size_t size = line.size();
    line.erase(0, p + 1);
    line.resize(size, ' ');
}

int count_items(std::string& line, std::string_view separators, int limit) {
    cut_at_equals(line);
    std::string_view rest = significant(line);
    int count = 0;
    while (count < limit && !take_item(rest, separators).empty()) ++count;
    consume(line, rest);
    return count;
}

NameItems read_name_items(std::string& line, int count, std::size_t width) {
    cut_at_equals(line);
    std::vector<std::string> scratch(static_cast<std::size_t>(count), std::string(number_item_width, ' '));
    NameItems result;
    result.found = split_items(line, item_separators, scratch, number_item_width, count);
    result.names.reserve(scratch.size());
    for (const std::string& s : scratch) result.names.push_back(pad(s, width));
    return result;
}

ReadResult read_number_item(std::string_view item, Target target) {
    item = significant(item);
    if (item.size() <= number_item_width) return read_internal(item, "(F20.0)", {target});
    return read_internal(item, "(F" + std::to_string(item.size()) + ".0)", {target});
}

NumberItems read_number_items(std::string& line, int count) {
    cut_at_equals(line);
    NumberItems result;
    result.values.assign(static_cast<std::size_t>(std::max(count, 0)), 0.0f);
    std::string_view rest = significant(line);
    for (float& value : result.values) {
        // Items are taken whole, however long: a number is never cut to its first digits.
        const std::string_view item = take_item(rest, item_separators);
        if (item.empty()) break;
        ++result.found;
        if (!read_number_item(item, value).ok() && result.bad_item.empty()) result.bad_item = std::string(item);
    }
    consume(line, rest);
    return result;
}

std::string lowered(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return out;
}

std::string trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return std::string(text.substr(first, text.find_last_not_of(" \t") - first + 1));
}

int left_adjust(std::string& text) {
    const std::size_t first = text.find_first_not_of(' ');
    if (first == std::string::npos) return 0;
    const std::size_t size = text.size();
    text.erase(0, first);
    text.resize(size, ' ');
    return static_cast<int>(significant_length(text));
}

void to_upper(std::string& text) {
    const std::size_t n = significant_length(text);
    for (std::size_t i = 0; i < n; ++i)
        if (text[i] >= 'a' && text[i] <= 'z') text[i] = static_cast<char>(text[i] - 32);
}

void to_lower(std::string& text) {
    const std::size_t n = significant_length(text);
    for (std::size_t i = 0; i < n; ++i)
        if (text[i] >= 'A' && text[i] <= 'Z') text[i] = static_cast<char>(text[i] + 32);
}

}  // namespace tk
