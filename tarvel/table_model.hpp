// The model and the traits of a table run, by the names of the table's
// columns: 'flock + sex + sire + dam|sire' with the traits 'bwt,wwt,fat'.
// Terms are joined by "+", crossed by "*" and nested by "|" as in a model of
// factor letters, with the same order of effects and of factors within an
// effect; a factor is a column name instead of a letter.
//
// Factors are numbered (0-based) in the order in which the model first names
// them, left to right; columns are 0-based positions in the header.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "tarvel/model.hpp"

namespace tarvel {

// The columns that a table run reads, and what it makes of them.
struct TableColumns {
    Model model;                            // effects named as written, without blanks around + * |
    std::vector<std::string> factor_names;  // f, as in the header
    std::vector<int> factor_columns;        // f
    std::vector<std::string> trait_names;   // t, as in the header
    std::vector<int> trait_columns;         // t
};

// The column names that the model's terms name, in the order of first use;
// RunError for a model that cannot be split into terms.
std::vector<std::string> model_column_names(std::string_view model_text);

// The trait names of the traits option: a list separated by commas
// ('bwt, wwt') or names in braces ('{bwt} {wwt}'). RunError when none is given.
std::vector<std::string> table_trait_names(std::string_view traits_text);

// Finds every name of the model and of the traits in the header. RunError,
// naming the table, for a name the header does not hold (with the nearest
// name it does hold), a column named twice in one term, two terms alike, a
// column that is both a factor and a trait, and more than 100 traits.
TableColumns resolve_table_columns(std::span<const std::string> header, std::string_view table_name,
                                   std::string_view model_text, std::string_view traits_text);

// The trait text of the export file and of the JSON: the names in braces.
std::string braced_trait_text(std::span<const std::string> trait_names);

}  // namespace tarvel
