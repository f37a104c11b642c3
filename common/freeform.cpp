#include "freeform.hpp"

#include <charconv>
#include <cstring>

namespace tk {
namespace {

constexpr std::size_t longest_value = std::size_t{1} << 16;

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool ends_value(char c) { return is_blank(c) || c == ',' || c == '/' || c == '\n'; }

// Next byte without consuming it; -1 at end of file.
int peek(TextReader& file) {
    if (file.available() == 0 && !file.refill()) return -1;
    return static_cast<unsigned char>(*file.data());
}

// Skips blanks; with across_records also record ends.
void skip_blanks(TextReader& file, bool across_records) {
    for (;;) {
        const int c = peek(file);
        if (c < 0) return;
        if (is_blank(static_cast<char>(c)) || (across_records && c == '\n')) file.advance(1);
        else return;
    }
}

// The bytes of one undelimited value (no separators inside).
bool take_word(TextReader& file, std::string& word) {
    word.clear();
    for (;;) {
        const char* p = file.data();
        const std::size_t n = file.available();
        std::size_t i = 0;
        while (i < n && !ends_value(p[i])) ++i;
        word.append(p, i);
        file.advance(i);
        if (word.size() > longest_value) return false;
        if (i < n || !file.refill()) return true;
    }
}

// A value bounded by apostrophes or quotes; a doubled delimiter stands for one.
bool take_quoted(TextReader& file, std::string& word) {
    const char quote = *file.data();
    file.advance(1);
    word.clear();
    for (;;) {
        const int c = peek(file);
        if (c < 0 || c == '\n') return false;
        file.advance(1);
        if (c == quote) {
            if (peek(file) == quote) {
                file.advance(1);
                word.push_back(quote);
                continue;
            }
            return true;
        }
        word.push_back(static_cast<char>(c));
        if (word.size() > longest_value) return false;
    }
}

// Converts a numeric text the ways a record may spell it: a leading '+',
// a D exponent, or an exponent sign right after the digits ("1.5+2").
template <typename Number>
bool convert_number(std::string_view text, Number& out) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    for (char c : text) {
        const bool allowed = (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-' || c == 'e' ||
                             c == 'E' || c == 'd' || c == 'D';
        if (!allowed) return false;  // letters such as "nan" or "inf" are not numbers here
    }
    Number value{};
    auto r = std::from_chars(text.data(), text.data() + text.size(), value);
    if (r.ec == std::errc() && r.ptr == text.data() + text.size()) {
        out = value;
        return true;
    }
    if constexpr (std::is_integral_v<Number>) {
        return false;
    } else {
        std::string fixed(text);
        for (std::size_t i = 1; i < fixed.size(); ++i) {
            char& c = fixed[i];
            if (c == 'd' || c == 'D') c = 'E';
            else if ((c == '+' || c == '-') && fixed[i - 1] != 'E' && fixed[i - 1] != 'e') {
                fixed.insert(i, 1, 'E');
                break;
            }
        }
        r = std::from_chars(fixed.data(), fixed.data() + fixed.size(), value);
        if (r.ptr != fixed.data() + fixed.size()) return false;
        if (r.ec == std::errc::result_out_of_range) return false;
        if (r.ec != std::errc()) return false;
        out = value;
        return true;
    }
}

bool store(const Target& target, const std::string& word, bool quoted) {
    switch (target.kind) {
        case Target::Kind::text: {
            std::string& variable = *static_cast<std::string*>(target.where);
            const std::size_t length = variable.size();
            variable.assign(word, 0, std::min(word.size(), length));
            variable.resize(length, ' ');
            return true;
        }
        case Target::Kind::integer:
            return !quoted && convert_number(word, *static_cast<std::int32_t*>(target.where));
        case Target::Kind::real4: return !quoted && convert_number(word, *static_cast<float*>(target.where));
        case Target::Kind::real8: return !quoted && convert_number(word, *static_cast<double*>(target.where));
    }
    return false;
}

// After a value: blanks on the same record and at most one comma.
void skip_separator(TextReader& file) {
    skip_blanks(file, false);
    if (peek(file) == ',') file.advance(1);
}

ReadResult failed(TextReader& file, std::string message) {
    file.skip_record();
    return {ReadStatus::error, std::move(message)};
}

// Splits "r*rest" into its repeat count; false when the word has no count.
bool split_repeat(const std::string& word, long& repeat, std::string& rest) {
    const std::size_t star = word.find('*');
    if (star == std::string::npos || star == 0) return false;
    for (std::size_t i = 0; i < star; ++i)
        if (word[i] < '0' || word[i] > '9') return false;
    repeat = 0;
    for (std::size_t i = 0; i < star && repeat <= 1000000000; ++i) repeat = repeat * 10 + (word[i] - '0');
    rest = word.substr(star + 1);
    return true;
}

}  // namespace

ReadResult read_list(TextReader& file, std::span<const Target> targets) {
    std::string word, rest;
    std::size_t next = 0;
    if (file.at_end()) return {ReadStatus::end_of_file, {}};
    while (next < targets.size()) {
        skip_blanks(file, true);
        const int c = peek(file);
        if (c < 0) return {ReadStatus::end_of_file, {}};
        if (c == '/') break;
        if (c == ',') {  // a null value: its target stays as it was
            file.advance(1);
            ++next;
            continue;
        }
        bool quoted = c == '\'' || c == '"';
        if (!(quoted ? take_quoted(file, word) : take_word(file, word)))
            return failed(file, "a value is too long or not closed");
        long repeat = 1;
        if (!quoted && split_repeat(word, repeat, rest)) {
            if (repeat < 1) return failed(file, "the repeat count of '" + word + "' is not positive");
            if (rest.empty()) {  // "r*": r null values
                next += std::min<std::size_t>(static_cast<std::size_t>(repeat), targets.size() - next);
                skip_separator(file);
                continue;
            }
            word = rest;
            if (!word.empty() && (word[0] == '\'' || word[0] == '"') && word.size() >= 2 && word.back() == word[0]) {
                word = word.substr(1, word.size() - 2);
                quoted = true;
            }
        }
        for (long r = 0; r < repeat && next < targets.size(); ++r) {
            if (!store(targets[next], word, quoted))
                return failed(file, "the value '" + word + "' is not a number");
            ++next;
        }
        if (next < targets.size()) skip_separator(file);
    }
    file.skip_record();
    return {};
}

std::string list_record(std::span<const Item> items) {
    std::string record = " ";
    char buffer[64];
    bool previous_numeric = false;
    bool first = true;
    for (const Item& item : items) {
        const bool numeric = item.kind != Item::Kind::text;
        if (!first && (numeric || previous_numeric)) record.push_back(' ');
        if (item.kind == Item::Kind::text) {
            record += item.text;
        } else if (item.kind == Item::Kind::integer) {
            record.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, item.integer).ptr);
        } else if (item.single) {
            record.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, static_cast<float>(item.real)).ptr);
        } else {
            record.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, item.real).ptr);
        }
        previous_numeric = numeric;
        first = false;
    }
    while (record.size() > 1 && record.back() == ' ') record.pop_back();
    return record;
}

void write_list(TextWriter& file, std::span<const Item> items) { file.put_record(list_record(items)); }

void write_list(TextWriter& file, std::span<const double> values) {
    std::string record = " ";
    char buffer[64];
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i > 0) record.push_back(' ');
        record.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, values[i]).ptr);
    }
    file.put_record(record);
}

}  // namespace tk
