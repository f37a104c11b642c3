#include "tarvel/table_text.hpp"

#include <algorithm>
#include <charconv>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif

#include "common/freeform.hpp"
#include "common/tokenizer.hpp"
#include "tarvel/case_report.hpp"
#include "tarvel/run_error.hpp"

namespace tarvel::table {
namespace {

constexpr std::size_t read_chunk = std::size_t{1} << 20;
constexpr std::size_t binary_probe = std::size_t{1} << 16;  // bytes searched for a zero byte

// ------------------------------------------------------------ the text, record by record

std::string_view unread(const Text& t) { return {t.buffer.data() + t.pos, t.end - t.pos}; }

// Reads more text behind the unread part; false when the data have ended.
bool read_more(Text& t) {
    if (t.ended) return false;
    if (t.pos > 0) {
        std::memmove(t.buffer.data(), t.buffer.data() + t.pos, t.end - t.pos);
        t.end -= t.pos;
        t.pos = 0;
    }
    if (t.buffer.size() - t.end < read_chunk / 2) t.buffer.resize(std::max(2 * t.buffer.size(), t.end + read_chunk));
    const std::size_t n = t.stream.read(t.buffer.data() + t.end, t.buffer.size() - t.end);
    if (n == 0) t.ended = true;
    t.end += n;
    return n > 0;
}


// Where a record that holds quotes ends: at the first line end outside
// quotes. A quote opens a quoted field only at the start of a field.
struct RecordEnd {
    std::size_t length = std::string_view::npos;  // npos: not within the text
    int line_ends = 0;                            // inside quotes
    int open_field = -1;                          // 0-based field whose quote is still open at the text's end
};

RecordEnd quoted_record_end(std::string_view text, char separator) {
    enum class State { field_start, plain, quoted, quote_seen } state = State::field_start;
    RecordEnd r;
    int field = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (state == State::quoted) {
            if (c == '"') state = State::quote_seen;
            else if (c == '\n') ++r.line_ends;
            continue;
        }
        if (state == State::quote_seen) {
            if (c == '"') {  // a doubled quote stands for one
                state = State::quoted;
                continue;
            }
            state = State::plain;
            r.open_field = -1;
        } else if (state == State::field_start) {
            if (c == '"') {
                state = State::quoted;
                r.open_field = field;
                continue;
            }
            if (!is_blank(c, separator)) state = State::plain;
        }
        if (c == separator) {
            ++field;
            state = State::field_start;
        } else if (c == '\n') {
            r.length = i;
            r.open_field = -1;
            return r;
        }
    }
    if (state != State::quoted) r.open_field = -1;
    return r;
}

[[noreturn]] void record_too_long(const Text& t) {
    throw RunError("Line " + std::to_string(t.line) + " of '" + t.name + "' is longer than " +
                   std::to_string(record_limit >> 20) + " MB; a table row is never that long. Is '" + t.name +
                   "' a table with one row per line?");
}

[[noreturn]] void unclosed_quote(const Text& t, int field, const std::vector<std::string>& header) {
    std::string column = "column " + std::to_string(field + 1);
    if (static_cast<std::size_t>(field) < header.size()) column += " (" + header[static_cast<std::size_t>(field)] + ")";
    throw RunError("Line " + std::to_string(t.line) + ", " + column + " of '" + t.name +
                   "': the quote that opens the field there is not closed before the end of the file.");
}

void take_record(Text& t, std::string_view rest, const RecordEnd& e, bool quoted, Record& r) {
    const std::size_t length = e.length == std::string_view::npos ? rest.size() : e.length;
    if (length > record_limit) record_too_long(t);
    r.text = rest.substr(0, length);
    if (!r.text.empty() && r.text.back() == '\r') r.text.remove_suffix(1);
    r.line = t.line;
    r.quoted = quoted;
    t.line += 1 + e.line_ends;
    t.pos += std::min(rest.size(), length + 1);
}

// ------------------------------------------------------------ fields

// Fields with quotes taken off ("" inside quotes stands for one quote). The
// first text after a closing quote that is not a blank or the separator is
// returned as a problem.
std::string split_quoted(std::string_view text, char separator, std::vector<std::string>& storage,
                         std::vector<std::string_view>& fields) {
    storage.clear();
    std::string problem;
    for (std::size_t i = 0;;) {
        std::size_t j = i;
        while (j < text.size() && is_blank(text[j], separator)) ++j;
        if (j < text.size() && text[j] == '"') {
            std::string value;
            for (++j; j < text.size(); ++j) {
                if (text[j] != '"') {
                    value += text[j];
                } else if (j + 1 < text.size() && text[j + 1] == '"') {
                    value += '"';
                    ++j;
                } else {
                    ++j;
                    break;
                }
            }
            while (j < text.size() && is_blank(text[j], separator)) ++j;
            if (j < text.size() && text[j] != separator) {
                if (problem.empty())
                    problem = "column " + std::to_string(storage.size() + 1) + " has text after its closing quote";
                while (j < text.size() && text[j] != separator) ++j;
            }
            storage.push_back(std::move(value));
        } else {
            j = std::min(text.find(separator, i), text.size());
            storage.emplace_back(text.substr(i, j - i));
        }
        if (j >= text.size()) break;
        i = j + 1;
    }
    fields.assign(storage.begin(), storage.end());
    return problem;
}

// ------------------------------------------------------------ the header

// The separator that occurs most often outside quotes in the header line; a
// tie goes to the one that the file's name suggests, then tab, comma, semicolon.
char detect_separator(std::string_view header, std::string_view file_name) {
    const std::string_view base = without_compression_suffix(file_name);
    const char preferred = has_suffix(base, ".tsv") ? '\t' : ',';
    std::string candidates = std::string(1, preferred) + "\t,;";
    std::size_t best_count = 0;
    char best = preferred;
    for (char c : candidates) {
        bool inside = false;
        std::size_t count = 0;
        for (char h : header) {
            if (h == '"') inside = !inside;
            else if (h == c && !inside) ++count;
        }
        if (count > best_count) best = c, best_count = count;
    }
    return best;
}

// Makes sure that the first line is in the buffer (or the whole text, when shorter).
void read_first_line(Text& t) {
    while (unread(t).find('\n') == std::string_view::npos && unread(t).size() <= record_limit &&
           read_more(t)) {
    }
}

// A zero byte in the first block of text: a binary file (or UTF-16 text).
void refuse_binary(const Text& t) {
    const std::string_view probe = unread(t).substr(0, binary_probe);
    if (probe.size() >= 2 && ((probe[0] == '\xff' && probe[1] == '\xfe') || (probe[0] == '\xfe' && probe[1] == '\xff')))
        throw RunError("The table '" + t.name + "' is UTF-16 text; save it as UTF-8 (\"CSV UTF-8\").");
    const std::size_t zero = probe.find('\0');
    if (zero == std::string_view::npos) return;
    const std::string_view before = probe.substr(0, zero);
    const std::size_t line_start = before.rfind('\n');
    const std::size_t column = line_start == std::string_view::npos ? zero + 1 : zero - line_start;
    throw RunError("Line " + std::to_string(1 + std::count(before.begin(), before.end(), '\n')) + ", column " +
                   std::to_string(column) + " of '" + t.name +
                   "' holds a zero byte: it is a binary file, not a table of text.");
}

void check_header_names(const std::vector<std::string>& names, const Text& t, std::int64_t line) {
    const std::string where = "Line " + std::to_string(line) + ", column ";
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i].empty())
            throw RunError(where + std::to_string(i + 1) + " of '" + t.name +
                           "': the column has no name. Every column of the header needs a name of its own (R "
                           "writes an unnamed first column unless told row.names = FALSE).");
        for (std::size_t j = 0; j < i; ++j)
            if (names[j] == names[i])
                throw RunError("Line " + std::to_string(line) + ", columns " + std::to_string(j + 1) + " and " +
                               std::to_string(i + 1) + " of '" + t.name + "': the column name " + in_quotes(names[i]) +
                               " is given twice.");
    }
}

// The fields of a whole line that holds no quote; false when it holds one.
bool split_unquoted_line(std::string_view line, char separator, std::vector<std::string_view>& fields) {
    fields.clear();
    std::size_t start = 0;
    std::size_t i = 0;
#ifdef __SSE2__
    // Sixteen bytes at a time: the separators' positions come as the bits of a mask.
    const __m128i separators = _mm_set1_epi8(separator);
    const __m128i quotes = _mm_set1_epi8('"');
    for (; i + 16 <= line.size(); i += 16) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data() + i));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, quotes)) != 0) return false;
        for (unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, separators))); mask != 0;
             mask &= mask - 1) {
            const std::size_t at = i + static_cast<std::size_t>(__builtin_ctz(mask));
            fields.emplace_back(line.data() + start, at - start);
            start = at + 1;
        }
    }
#endif
    for (; i < line.size(); ++i) {
        const char c = line[i];
        if (c == separator) {
            fields.emplace_back(line.data() + start, i - start);
            start = i + 1;
        } else if (c == '"') {
            return false;
        }
    }
    fields.emplace_back(line.data() + start, line.size() - start);
    return true;
}

}  // namespace


// The next record; false at the end of the data. The header names the
// columns of a record whose quote is not closed.
bool next_record(Text& t, char separator, Record& r, const std::vector<std::string>& header) {
    if (t.pos == t.end && !read_more(t)) return false;
    for (;;) {
        const std::string_view rest = unread(t);
        const std::size_t line_end = rest.find('\n');
        const bool quoted = rest.substr(0, line_end).find('"') != std::string_view::npos;
        RecordEnd e;
        if (quoted) e = quoted_record_end(rest, separator);
        else e.length = line_end;
        if (e.length != std::string_view::npos) {
            take_record(t, rest, e, quoted, r);
            return true;
        }
        if (rest.size() > record_limit) {
            if (e.open_field >= 0) unclosed_quote(t, e.open_field, header);
            record_too_long(t);
        }
        if (!read_more(t)) {  // the last record, without a line end
            if (e.open_field >= 0) unclosed_quote(t, e.open_field, header);
            take_record(t, rest, e, quoted, r);
            return true;
        }
    }
}

// The fields of a record; a problem of its quotes, if any.
std::string split_record(const Record& r, char separator, std::vector<std::string>& storage,
                         std::vector<std::string_view>& fields) {
    if (r.quoted) return split_quoted(r.text, separator, storage, fields);
    split_unquoted_line(r.text, separator, fields);
    return {};
}

// The separator and the column names of the header, the first line that is not empty.
std::vector<std::string> read_header(Text& t, std::optional<char> given_separator, char& separator) {
    read_first_line(t);
    if (unread(t).substr(0, 3) == "\xef\xbb\xbf") t.pos += 3;  // a UTF-8 byte-order mark
    refuse_binary(t);
    const std::string_view first_line = unread(t).substr(0, unread(t).find('\n'));
    separator = given_separator ? *given_separator : detect_separator(first_line, t.name);
    Record r;
    do {
        if (!next_record(t, separator, r, {})) throw RunError("The table '" + t.name + "' is empty: it has no header line.");
    } while (r.text.empty());
    std::vector<std::string> storage;
    std::vector<std::string_view> fields;
    split_record(r, separator, storage, fields);
    std::vector<std::string> names;
    for (std::string_view field : fields) names.emplace_back(trimmed(field, separator));
    check_header_names(names, t, r.line);
    return names;
}

void open(Text& t, const std::string& file) {
    if (!t.stream.open(file)) throw RunError("Cannot open the data file '" + file + "'.");
    t.name = t.stream.shown_name();
    t.buffer.resize(2 * read_chunk);
}

// The next row when it is a whole line in the buffer without quotes (nearly
// every row): split in one pass. False leaves the row to next_record.
bool next_plain_row(Text& t, char separator, Record& r, std::vector<std::string_view>& fields) {
    const std::string_view rest = unread(t);
    const void* line_end = std::memchr(rest.data(), '\n', rest.size());
    if (!line_end) return false;
    std::string_view line(rest.data(), static_cast<std::size_t>(static_cast<const char*>(line_end) - rest.data()));
    const std::size_t length = line.size();
    if (length > record_limit) return false;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (!split_unquoted_line(line, separator, fields)) return false;
    r.text = line;
    r.line = t.line++;
    r.quoted = false;
    t.pos += length + 1;
    return true;
}

bool has_suffix(std::string_view name, std::string_view suffix) {
    if (name.size() < suffix.size()) return false;
    std::string end(name.substr(name.size() - suffix.size()));
    tk::to_lower(end);
    return end == suffix;
}

std::string_view without_compression_suffix(std::string_view name) {
    for (std::string_view suffix : {".gz", ".zst"})
        if (has_suffix(name, suffix)) return name.substr(0, name.size() - suffix.size());
    return name;
}

std::string in_quotes(std::string_view text) {
    constexpr std::size_t width = 40;
    std::string quoted(1, '\'');
    if (text.size() > width) quoted += std::string(whole_characters(text, width - 3)) + "...";
    else quoted += text;
    for (char& c : quoted)
        if (c == '\n' || c == '\r') c = ' ';
    quoted += '\'';
    return quoted;
}

// A number as a 4-byte real, rounded once from its decimal text: optional
// sign, digits with an optional point, optional exponent. No words (nan, inf).
bool parse_number(std::string_view text, float& x) {
    if (tk::plain_decimal(text, x)) return true;
    const char* first = text.data();
    const char* last = first + text.size();
    if (first != last && *first == '+') ++first;
    const char* digits = first != last && *first == '-' && first == text.data() ? first + 1 : first;
    if (digits == last || !((*digits >= '0' && *digits <= '9') || *digits == '.')) return false;
    const auto r = std::from_chars(first, last, x);
    return r.ec == std::errc() && r.ptr == last;
}


}  // namespace tarvel::table
