#include "tokenizer.hpp"

#include "format.hpp"

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

std::string next_item(std::string& line, std::string_view separators, std::size_t width) {
    std::string item(width, ' ');
    const std::size_t length = significant_length(line);
    if (length == 0) return item;
    std::size_t i = 0;
    while (i < length && is_separator(line[i], separators)) ++i;
    if (i >= length) {  // only separators
        line.assign(line.size(), ' ');
        return item;
    }
    std::size_t j = i + 1;
    while (j < length && !is_separator(line[j], separators)) ++j;
    item = pad(std::string_view(line).substr(i, j - i), width);
    std::size_t k = j;
    while (k < length && is_separator(line[k], separators)) ++k;
    const std::size_t size = line.size();
    if (k >= length) {
        line.assign(size, ' ');
    } else {
        line.erase(0, k);
        line.resize(size, ' ');
    }
    return item;
}

int split_items(std::string& line, std::string_view separators, std::vector<std::string>& store, std::size_t width,
                int capacity) {
    int taken = 0;
    while (taken < capacity) {
        std::string item = next_item(line, separators, width);
        const bool blank = significant_length(item) == 0;
        if (static_cast<std::size_t>(taken) < store.size()) store[static_cast<std::size_t>(taken)] = std::move(item);
        if (blank) break;
        ++taken;
    }
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
    const std::size_t width = std::max<std::size_t>(significant_length(line), 1);
    int count = 0;
    while (count < limit) {
        if (significant_length(next_item(line, separators, width)) == 0) break;
        ++count;
    }
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
    // Items are taken whole, however long: a number is never cut to its first digits.
    const std::size_t width = std::max(significant_length(line), number_item_width);
    std::vector<std::string> scratch(static_cast<std::size_t>(count), std::string());
    NumberItems result;
    result.found = split_items(line, item_separators, scratch, width, count);
    result.values.assign(static_cast<std::size_t>(count), 0.0f);
    for (std::size_t i = 0; i < scratch.size(); ++i) {
        if (!read_number_item(scratch[i], result.values[i]).ok() && result.bad_item.empty())
            result.bad_item = std::string(significant(scratch[i]));
    }
    return result;
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
