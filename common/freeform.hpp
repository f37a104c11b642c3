// Free-form (list-directed) reading and writing.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "files.hpp"
#include "format.hpp"

namespace tk {

// How many records one free-form read may take.
enum class ListRecords {
    any,  // as many as the targets need
    one   // the first record that holds an item; a comma that ends it is an
          // empty last field (a null value), and a record that still holds
          // too few values is an error
};

// Reads values into the targets. Values are separated by blanks (a tab counts
// as a blank), one comma, or the end of a record; a slash ends the read and
// leaves the remaining targets unchanged; "r*v" stands for r copies of v and
// "r*" for r null values; a null value (nothing between two commas) leaves its
// target unchanged. The read takes as many records as it needs (or as
// `records` allows); the rest of the last record is skipped. On an error the
// rest of that record is skipped. The result counts the records used.
ReadResult read_list(TextReader& file, std::span<const Target> targets, ListRecords records = ListRecords::any);
inline ReadResult read_list(TextReader& file, std::initializer_list<Target> targets) {
    return read_list(file, std::span<const Target>(targets.begin(), targets.size()));
}
// The same rules on one text (an internal record): a text that ends before
// every target has its value gives the end-of-file status.
ReadResult read_list(std::string_view text, std::span<const Target> targets);

// A whole text that is a plain decimal ("250.12", "-7", "3.", at most 18
// digits) whose digits and power of ten are exact in a 4-byte real, converted
// with one correctly rounded division, as the reader above converts such a
// value; false for any other text, which then needs a general conversion.
bool plain_decimal(std::string_view text, float& out);

// The text of one free-form record: a leading blank, then the items; numbers
// are separated by a blank from their neighbours, character items are written
// as they are. Reals carry the shortest digits that read back to the same
// value of their own type. Trailing blanks are dropped (a record without items
// holds one blank).
std::string list_record(std::span<const Item> items);

void write_list(TextWriter& file, std::span<const Item> items);
inline void write_list(TextWriter& file, std::initializer_list<Item> items) {
    write_list(file, std::span<const Item>(items.begin(), items.size()));
}
// One record holding all the values of an array of reals.
void write_list(TextWriter& file, std::span<const double> values);
// One record of `length` values: those of the array, then zeros (0.0) for the
// rest; written piece by piece, so a record of any length takes little memory.
void write_list(TextWriter& file, std::span<const double> values, std::size_t length);

}  // namespace tk
