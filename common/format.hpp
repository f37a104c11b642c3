// The format-driven record writer and reader.
//
// A format string such as "(2X,A20,I7,2X,4G17.9,:,F7.3)" is parsed once into a
// list of operations and cached by its text; one walker writes items into
// records with it, another reads fields out of records into targets.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "files.hpp"

namespace tk {

// A value handed to a write: a character value (its full declared length), an
// integer, or a real (a 4-byte real is widened; `single` remembers it so that
// free-form output shows the digits of its own type).
struct Item {
    enum class Kind : unsigned char { text, integer, real };
    Kind kind;
    bool single = false;
    std::string_view text;
    std::int64_t integer = 0;
    double real = 0.0;

    Item(std::string_view s) : kind(Kind::text), text(s) {}
    Item(const char* s) : kind(Kind::text), text(s) {}
    Item(const std::string& s) : kind(Kind::text), text(s) {}
    Item(int v) : kind(Kind::integer), integer(v) {}
    Item(long v) : kind(Kind::integer), integer(v) {}
    Item(long long v) : kind(Kind::integer), integer(v) {}
    Item(float v) : kind(Kind::real), single(true), real(v) {}
    Item(double v) : kind(Kind::real), real(v) {}
};

// A variable that a read fills: a character variable (its length is the
// string's current size), a 32-bit integer, or a 4- or 8-byte real.
struct Target {
    enum class Kind : unsigned char { text, integer, real4, real8 };
    Kind kind;
    void* where;

    Target(std::string& s) : kind(Kind::text), where(&s) {}
    Target(std::int32_t& v) : kind(Kind::integer), where(&v) {}
    Target(float& v) : kind(Kind::real4), where(&v) {}
    Target(double& v) : kind(Kind::real8), where(&v) {}
};

struct FormatOp {
    enum class Code : unsigned char {
        integer,      // Iw[.m]
        fixed,        // Fw.d
        exponent,     // Ew.d
        general,      // Gw.d
        text,         // A or Aw
        skip,         // nX
        tab,          // Tn
        tab_left,     // TLn
        tab_right,    // TRn
        slash,        // /
        colon,        // :
        literal,      // 'text' or nHtext
        group_begin,  // r(
        group_end,    // )
        end           // the closing parenthesis of the whole format
    };
    Code code;
    int repeat = 1;
    int width = 0;  // 0 for A without a width
    int digits = 0;
    int partner = -1;  // group_begin <-> group_end
    std::string literal;

    bool is_data() const { return code <= Code::text; }
};

struct Format {
    std::vector<FormatOp> ops;
    int revert_to = 0;     // where control goes when the format is used up and items remain
    std::string error;     // empty when the format is well formed
};

// Thrown by writes with a malformed format (the programs' own formats are
// fixed texts, so this is a fault of the program, never of its input).
struct FormatError : std::logic_error {
    using std::logic_error::logic_error;
};

// Parses (once) and returns the cached format; check `error` before use.
const Format& cached_format(std::string_view text);
Format parse_format(std::string_view text);

// ------------------------------------------------------------------ writing

// Formats one write statement; each record is appended to out followed by CR LF.
void format_records(std::string& out, const Format& format, std::span<const Item> items);

void write_formatted(TextWriter& file, std::string_view format, std::span<const Item> items);
inline void write_formatted(TextWriter& file, std::string_view format, std::initializer_list<Item> items) {
    write_formatted(file, format, std::span<const Item>(items.begin(), items.size()));
}

// Writes into an internal record: the first record, blank-filled or cut to length.
std::string write_internal(std::string_view format, std::span<const Item> items, std::size_t length);
inline std::string write_internal(std::string_view format, std::initializer_list<Item> items, std::size_t length) {
    return write_internal(format, std::span<const Item>(items.begin(), items.size()), length);
}

// "Iw" for a count that fits w columns; for one that does not, an I field as
// wide as its digits and one blank, so that a count is never shown as
// asterisks and never runs into the text before it. Every count that fits
// keeps its layout.
std::string count_descriptor(long long value, int width);

// ------------------------------------------------------------------ reading

enum class ReadStatus { ok, end_of_file, error };

struct ReadResult {
    ReadStatus status = ReadStatus::ok;
    std::string message;    // what went wrong, for error statuses
    int records = 0;        // records the read used, the one it stopped on included
    int blank_records = 0;  // free-form: records without any item before the first that held one
    bool ok() const { return status == ReadStatus::ok; }
};

// Reads one statement from the file; the next read starts at the record after
// the last one this statement used.
ReadResult read_formatted(TextReader& file, const Format& format, std::span<const Target> targets);
inline ReadResult read_formatted(TextReader& file, const Format& format, std::initializer_list<Target> targets) {
    return read_formatted(file, format, std::span<const Target>(targets.begin(), targets.size()));
}
// Reads from an internal record (a fixed-length text).
ReadResult read_internal(std::string_view record, std::string_view format, std::span<const Target> targets);
inline ReadResult read_internal(std::string_view record, std::string_view format,
                                std::initializer_list<Target> targets) {
    return read_internal(record, format, std::span<const Target>(targets.begin(), targets.size()));
}

}  // namespace tk
