#include "freeform.hpp"

#include <array>
#include <charconv>
#include <cstdint>
#include <cstring>

namespace tk {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
// Characters that end an undelimited value.
constexpr std::array<bool, 256> value_ends = [] {
    std::array<bool, 256> table{};
    for (unsigned char c : {' ', ',', '\n', '\t', '\r', '/'}) table[c] = true;
    return table;
}();
bool ends_value(char c) { return value_ends[static_cast<unsigned char>(c)]; }

// Plain decimals ("250.12", "-7", "3.") whose digits and power of ten are
// both exact in the target type convert with one correctly rounded division.
// Scans from p and returns the position after the value, or nullptr when the
// value is not such a plain decimal (the general conversion then takes it).
template <typename Real>
const char* scan_plain_decimal(const char* p, const char* end, Real& out) {
    constexpr std::uint64_t exact_limit = std::is_same_v<Real, float> ? (1u << 24) : (std::uint64_t{1} << 53);
    constexpr int exact_powers = std::is_same_v<Real, float> ? 10 : 22;
    static constexpr double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                        1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    const bool negative = *p == '-';
    if (negative || *p == '+') ++p;
    const char* const digits_start = p;
    std::uint64_t mantissa = 0;
    int decimals = -1;
    for (; p < end; ++p) {
        const unsigned digit = static_cast<unsigned>(*p - '0');
        if (digit < 10) {
            mantissa = mantissa * 10 + digit;
            decimals += decimals >= 0;
        } else if (*p == '.' && decimals < 0) {
            decimals = 0;
        } else {
            break;
        }
    }
    const long length = p - digits_start - (decimals >= 0 ? 1 : 0);  // digits only
    if (length <= 0 || length > 18 || (p < end && !ends_value(*p))) return nullptr;
    if (mantissa > exact_limit || decimals > exact_powers) return nullptr;
    const Real value = static_cast<Real>(mantissa) / static_cast<Real>(powers[decimals < 0 ? 0 : decimals]);
    out = negative ? -value : value;
    return p;
}

// The fast path for a number into a real target; nullptr when it does not apply.
const char* scan_fast(const char* p, const char* end, const Target& target) {
    if (target.kind == Target::Kind::real4) return scan_plain_decimal(p, end, *static_cast<float*>(target.where));
    if (target.kind == Target::Kind::real8) return scan_plain_decimal(p, end, *static_cast<double*>(target.where));
    return nullptr;
}

// Makes the whole current record contiguous in the buffer; returns its
// length (without the line end) or -1 at end of file. A record beyond the
// reader's limit raises RecordTooLong.
long load_record(TextReader& file, bool& has_line_end) {
    std::size_t searched = 0;
    for (;;) {
        const char* p = file.data();
        const std::size_t n = file.available();
        const void* newline = std::memchr(p + searched, '\n', n - searched);
        if (newline) {
            has_line_end = true;
            const long length = static_cast<const char*>(newline) - p;
            const bool cr = length > 0 && p[length - 1] == '\r';  // part of the line end
            file.check_record_length(static_cast<std::size_t>(cr ? length - 1 : length));
            return length;
        }
        searched = n;
        if (!file.refill()) {
            has_line_end = false;
            if (n > 0) file.check_record_length(n);
            return n == 0 ? -1 : static_cast<long>(n);
        }
    }
}

// A value bounded by apostrophes or quotes in [p, end); a doubled delimiter
// stands for one. Returns the position after the closing delimiter, or
// nullptr when the record ends first.
const char* take_quoted(const char* p, const char* end, std::string& word) {
    const char quote = *p++;
    word.clear();
    while (p < end) {
        const char c = *p++;
        if (c == quote) {
            if (p < end && *p == quote) {
                word.push_back(quote);
                ++p;
                continue;
            }
            return p;
        }
        word.push_back(c);
    }
    return nullptr;
}

// Converts a numeric text the ways a record may spell it: a leading '+',
// a D exponent, or an exponent sign right after the digits ("1.5+2").
// Words such as "nan" or "inf" are not numbers here.
template <typename Number>
bool convert_number(std::string_view text, Number& out) {
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    const std::size_t first = !text.empty() && text.front() == '-' ? 1 : 0;
    if (first >= text.size() || !((text[first] >= '0' && text[first] <= '9') || text[first] == '.')) return false;
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
            if (c == 'd' || c == 'D') {
                c = 'E';
            } else if ((c == '+' || c == '-') && fixed[i - 1] != 'E' && fixed[i - 1] != 'e') {
                fixed.insert(i, 1, 'E');
                break;
            }
        }
        r = std::from_chars(fixed.data(), fixed.data() + fixed.size(), value);
        if (r.ec != std::errc() || r.ptr != fixed.data() + fixed.size()) return false;
        out = value;
        return true;
    }
}

bool store(const Target& target, std::string_view word, bool quoted) {
    switch (target.kind) {
        case Target::Kind::text: {
            std::string& variable = *static_cast<std::string*>(target.where);
            const std::size_t length = variable.size();
            variable.assign(word.substr(0, std::min(word.size(), length)));
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

// Splits "r*rest" into its repeat count; false when the word has no count.
bool split_repeat(std::string_view word, long& repeat, std::string& rest) {
    const std::size_t star = word.find('*');
    if (star == std::string_view::npos || star == 0) return false;
    for (std::size_t i = 0; i < star; ++i)
        if (word[i] < '0' || word[i] > '9') return false;
    repeat = 0;
    for (std::size_t i = 0; i < star && repeat <= 1000000000; ++i) repeat = repeat * 10 + (word[i] - '0');
    rest = std::string(word.substr(star + 1));
    return true;
}

// Where a free-form read stands between the records it takes.
struct ListState {
    std::size_t next = 0;        // the next target
    bool after_value = false;    // a comma right after a value only ends that value
    bool ended_in_comma = false; // the record's last item was a comma: an empty last field
    bool slash = false;          // a slash ended the read
    bool any_item = false;       // the record held a value, a comma or a slash
    std::string quoted_word, rest;
};

// Takes the values of one record [p, end) into the targets from state.next
// on; an empty message when the record read well.
std::string parse_record(const char* p, const char* const end, std::span<const Target> targets, ListState& st) {
    st.ended_in_comma = false;
    st.any_item = false;
    while (st.next < targets.size()) {
        while (p < end && is_blank(*p)) ++p;
        if (p == end) break;
        st.any_item = true;
        st.ended_in_comma = false;
        if (*p == '/') {
            st.slash = true;
            break;
        }
        if (*p == ',') {
            ++p;
            if (!st.after_value) ++st.next;  // a null value: its target stays as it was
            st.after_value = false;
            st.ended_in_comma = true;
            continue;
        }
        if (const char* after = scan_fast(p, end, targets[st.next])) {
            p = after;
            ++st.next;
            st.after_value = true;
            continue;
        }
        bool quoted = *p == '\'' || *p == '"';
        std::string_view word;
        if (quoted) {
            p = take_quoted(p, end, st.quoted_word);
            if (!p) return "a quoted value is not closed on its record";
            word = st.quoted_word;
        } else {
            const char* start = p;
            while (p < end && !ends_value(*p)) ++p;
            word = std::string_view(start, static_cast<std::size_t>(p - start));
        }
        long repeat = 1;
        if (!quoted && word.size() > 1 && word.find('*') != std::string_view::npos &&
            split_repeat(word, repeat, st.rest)) {
            if (repeat < 1) return "the repeat count of '" + std::string(word) + "' is not positive";
            std::string& rest = st.rest;
            if (rest.size() >= 2 && (rest[0] == '\'' || rest[0] == '"') && rest.back() == rest[0]) {
                rest = rest.substr(1, rest.size() - 2);
                quoted = true;
            }
            word = rest;
            if (rest.empty() && !quoted) {  // "r*": r null values
                st.next += std::min<std::size_t>(static_cast<std::size_t>(repeat), targets.size() - st.next);
                st.after_value = true;
                continue;
            }
        }
        for (long r = 0; r < repeat && st.next < targets.size(); ++r) {
            if (!store(targets[st.next], word, quoted)) return "the value '" + std::string(word) + "' is not a number";
            ++st.next;
        }
        st.after_value = true;
    }
    return {};
}

std::string values_short_text(std::size_t given, std::size_t wanted) {
    return "the line holds " + std::to_string(given) + " of its " + std::to_string(wanted) + " values";
}

}  // namespace

ReadResult read_list(TextReader& file, std::span<const Target> targets, ListRecords records) {
    ListState st;
    ReadResult result;
    for (;;) {
        bool has_line_end = false;
        const long length = load_record(file, has_line_end);
        if (length < 0) {
            result.status = ReadStatus::end_of_file;
            return result;
        }
        const std::size_t record_length = static_cast<std::size_t>(length);
        const char* const first = file.data();
        std::string problem = parse_record(first, first + record_length, targets, st);
        // The read ends with this record (its rest is skipped) or goes on with the next.
        file.advance(record_length + (has_line_end ? 1 : 0));
        ++result.records;
        if (!st.any_item && result.records == result.blank_records + 1) ++result.blank_records;
        const bool complete = st.next == targets.size() || st.slash;
        if (problem.empty() && !complete && records == ListRecords::one && st.any_item) {
            // One case per line: an empty last field is a null value, and a
            // line that still falls short does not read on into the next.
            if (st.ended_in_comma) ++st.next;
            if (st.next < targets.size()) problem = values_short_text(st.next, targets.size());
        }
        if (!problem.empty()) {
            result.status = ReadStatus::error;
            result.message = std::move(problem);
            return result;
        }
        if (st.next >= targets.size() || st.slash) return result;
    }
}

bool plain_decimal(std::string_view text, float& out) {
    const char* end = text.data() + text.size();
    return !text.empty() && scan_plain_decimal(text.data(), end, out) == end;
}

ReadResult read_list(std::string_view text, std::span<const Target> targets) {
    ListState st;
    ReadResult result;
    result.records = 1;
    const std::string problem = parse_record(text.data(), text.data() + text.size(), targets, st);
    if (!problem.empty()) return {ReadStatus::error, problem, 1};
    if (st.next < targets.size() && !st.slash)
        return {ReadStatus::end_of_file, values_short_text(st.next, targets.size()), 1};
    return result;
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

void write_list(TextWriter& file, std::span<const double> values) { write_list(file, values, values.size()); }

void write_list(TextWriter& file, std::span<const double> values, std::size_t length) {
    constexpr std::size_t piece_length = std::size_t{1} << 16;
    std::string piece = " ";
    char buffer[64];
    for (std::size_t i = 0; i < length; ++i) {
        if (i > 0) piece.push_back(' ');
        if (i < values.size()) piece.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, values[i]).ptr);
        else piece.push_back('0');
        if (piece.size() < piece_length) continue;
        file.put_records(piece);  // a long record goes out piece by piece, never whole in memory
        piece.clear();
    }
    piece += "\r\n";
    file.put_records(piece);
}

}  // namespace tk
