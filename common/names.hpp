// Names that users give to columns, traits and effects: shortening them for
// the fixed fields of a listing without making two of them look alike, and
// finding the name nearest to a misspelt one.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include <vector>

namespace tk {

// Each name (trailing blanks dropped) cut to `width` characters. A name
// longer than the width whose cut would look like the cut of another name
// keeps its start and its end around a "~" ("weaning_wt" and "weaning_age"
// in 8 characters: "wean~_wt" and "wean~age"), and is numbered ("weanin~1")
// where even that does not tell it apart. Names that fit stay as they are,
// and so does every name when no two cuts collide.
std::vector<std::string> distinct_names(std::span<const std::string> names, std::size_t width);

// The candidate closest to `wanted` by edit distance, letter case ignored;
// empty when there is no candidate.
std::string nearest_name(std::span<const std::string> candidates, std::string_view wanted);

}  // namespace tk
