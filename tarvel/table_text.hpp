// The text of a delimited table, read once from its stream: the header with
// its separator, then the rows, each split into fields. Quotes follow
// RFC 4180: a quote opens a quoted field only at the start of a field, a
// quoted field may hold the separator, line ends and doubled quotes.
//
// Lines are numbered from 1, columns (fields) from 1 in messages and from 0
// inside. Problems of the text as a whole (a binary file, an unclosed quote, a
// line too long for any row, a header without names) raise RunError naming
// the file, the line and the column.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/input_stream.hpp"

namespace tarvel::table {

// A table row is read whole; a longer one means that the file is no table.
inline constexpr std::size_t record_limit = std::size_t{4} << 20;

// The stream and the part of it read and not yet taken.
struct Text {
    tk::InputStream stream;
    std::string name;  // as the messages quote it
    std::vector<char> buffer;
    std::size_t pos = 0;  // the unread text is [pos, end)
    std::size_t end = 0;
    bool ended = false;
    std::int64_t line = 1;  // the line of the text at pos
};

// One row (or the header) of the text.
struct Record {
    std::string_view text;  // without its line end; valid until the next record is read
    std::int64_t line = 0;  // the line it starts on
    bool quoted = false;    // holds a quote
};

// Opens the file ("-": standard input); RunError when it cannot be opened.
void open(Text& t, const std::string& file);

// The column names of the header, the first line that is not empty, after a
// UTF-8 byte-order mark; the separator given, or the one of comma, tab and
// semicolon that occurs most often in the header outside quotes (a tie goes
// to the one the file's name suggests, .tsv a tab, then tab, comma,
// semicolon).
std::vector<std::string> read_header(Text& t, std::optional<char> given_separator, char& separator);

// The next row when it is a whole line in the buffer without quotes (nearly
// every row), split at once; false leaves the row to next_record.
bool next_plain_row(Text& t, char separator, Record& r, std::vector<std::string_view>& fields);
// The next record, however it ends; false at the end of the text. The header
// names the column of a quote that is not closed.
bool next_record(Text& t, char separator, Record& r, const std::vector<std::string>& header);
// The fields of a record, with quotes taken off (storage holds them); a
// problem of its quotes (text after a closing quote), if any.
std::string split_record(const Record& r, char separator, std::vector<std::string>& storage,
                         std::vector<std::string_view>& fields);

// A field without the blanks around it (tabs too, unless tab is the separator).
inline bool is_blank(char c, char separator) { return c == ' ' || (c == '\t' && separator != '\t'); }
inline std::string_view trimmed(std::string_view field, char separator) {
    while (!field.empty() && is_blank(field.front(), separator)) field.remove_prefix(1);
    while (!field.empty() && is_blank(field.back(), separator)) field.remove_suffix(1);
    return field;
}

// Equal texts; cells and identifiers are short, so a loop beats a call.
inline bool same_text(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i]) return false;
    return true;
}

// A number as a 4-byte real, rounded once from its decimal text: optional
// sign, digits with an optional point, optional exponent. No words (nan, inf).
bool parse_number(std::string_view text, float& x);

// Whether a file's name ends in the suffix, letter case ignored (".CSV" for ".csv").
bool has_suffix(std::string_view name, std::string_view suffix);

// The name without a ".gz" or ".zst" at its end: "lambs.csv.gz" gives "lambs.csv".
std::string_view without_compression_suffix(std::string_view name);

// 'text' in apostrophes, as messages quote a value, cut to 40 characters
// ("..." marking the cut) and with line ends shown as blanks.
std::string in_quotes(std::string_view text);

}  // namespace tarvel::table
