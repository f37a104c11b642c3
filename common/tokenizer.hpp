// Specification lines of the form "keyword = item item, item/item", split
// into items. A line is a blank-padded text; the operations consume it in
// place as items are taken from it. Items are blank-padded texts of the
// caller's width (or, from take_item and read_number_items, whole and
// unpadded); a blank item means that there was no item.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "format.hpp"

namespace tk {

// Blank, comma and slash separate items; a tab separates them as a blank does.
inline constexpr std::string_view item_separators = " ,/\t";

// The next item of rest, whole and unpadded (empty when there is none); rest
// keeps what follows the item and its separators.
std::string_view take_item(std::string_view& rest, std::string_view separators);

// The next item, cut or padded to width; the line keeps only what follows it.
std::string next_item(std::string& line, std::string_view separators, std::size_t width);

// Takes items into store[0], store[1], ... until the capacity is reached or an
// item comes back blank; returns the number of non-blank items taken.
int split_items(std::string& line, std::string_view separators, std::vector<std::string>& store,
                std::size_t width, int capacity);

// The line keeps only what follows its first "=" (unchanged without one).
void cut_at_equals(std::string& line);

// cut_at_equals, then the number of items, at most limit. Consumes the line.
int count_items(std::string& line, std::string_view separators, int limit);

struct NameItems {
    std::vector<std::string> names;  // count names of the given width; missing ones blank
    int found = 0;                   // items on the line
};
NameItems read_name_items(std::string& line, int count, std::size_t width);

struct NumberItems {
    std::vector<float> values;  // exactly count numbers; missing items give 0
    int found = 0;              // items on the line
    std::string bad_item;       // the first item that is not a number (then values are not to be used)
    bool ok() const { return bad_item.empty(); }
};
// Each item is read as a number with "(F20.0)"; an item longer than 20
// characters is read whole, in a field as wide as itself.
NumberItems read_number_items(std::string& line, int count);
ReadResult read_number_item(std::string_view item, Target target);

// Copies: the text in small letters (a to z only), and the text without its
// leading and trailing blanks and tabs.
std::string lowered(std::string_view text);
std::string trimmed(std::string_view text);

// Removes leading blanks; returns the significant length.
int left_adjust(std::string& text);
void to_upper(std::string& text);
void to_lower(std::string& text);

// Length without trailing blanks.
std::size_t significant_length(std::string_view text);
std::string_view significant(std::string_view text);
std::string pad(std::string_view text, std::size_t width);  // cut or blank-padded to width

}  // namespace tk
