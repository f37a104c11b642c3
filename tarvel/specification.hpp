// The specification items of a run: the data format, the model, the missing-value
// codes, the print options and the trait names, each taken from its control
// field when the host gave one, else found in the head of the data file; the
// checks that a run needs before it reads cases; and the parsing of the model
// into effects and of the trait text into names.
//
// Texts are kept without trailing blanks. Factor and effect indices are
// 0-based inside; messages count from 1.
#pragma once

#include "tarvel/switches.hpp"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/files.hpp"
#include "tarvel/model.hpp"

namespace tarvel {

inline constexpr int searched_line_limit = 100;        // non-blank lines examined per search
inline constexpr int missing_code_limit = 100;
inline constexpr int print_word_limit = 100;
inline constexpr std::size_t print_word_width = 20;
inline constexpr int trait_limit = 100;
inline constexpr std::size_t trait_name_width = 16;
inline constexpr std::size_t effect_name_width = 20;
inline constexpr int factors_per_effect_limit = 50;
inline constexpr int format_segment_limit = 250;
inline constexpr float default_missing_code = 1.0e30f;

// The specification items of the control file; an empty text is not given.
struct ControlItems {
    std::string model;
    std::string data_format;
    std::string traits;
    std::string missing_values;
    std::string print_options;
};

// The five items as found, before any check.
struct Specification {
    std::optional<std::string> data_format;  // normalised; absent: cases are read free-form
    std::optional<std::string> model;        // normalised
    std::vector<float> missing_codes{default_missing_code};
    std::string missing_values_problem;      // why the missing values cannot be used, for the message
    OutputSwitches switches;
    std::optional<std::string> trait_text;   // from the first "{" on, or the control field unchanged
};

// What the checks establish: n, f, the trait names and the prepared format.
struct CheckedSpecification {
    int effect_count = 0;                    // n
    int factor_count = 0;                    // f: the highest factor letter of the model
    std::vector<std::string> trait_names;    // t names, each blank-padded to 16 characters
    std::optional<std::string> case_format;  // the data format with I fields read as F
    std::vector<bool> factor_used;           // per factor: some term of the model uses it
};

// Removes every blank (and tab) and turns a to z into capitals.
void normalise(std::string& line);
bool is_blank_line(std::string_view line);

// The first of up to 100 non-blank lines whose normalised text begins with
// the three keyword letters, normalised; the data file is rewound afterwards.
std::optional<std::string> search_keyword(tk::TextReader& data, std::string_view keyword);
// The first of up to 100 non-blank lines holding a "{", from the "{" on; rewinds.
std::optional<std::string> find_trait_line(tk::TextReader& data);

// Reads the five items in the order data format, model, missing values,
// print options, trait text.
Specification read_specification(tk::TextReader& data, const ControlItems& control);

OutputSwitches print_switches_from_control(std::string_view options);
OutputSwitches print_switches_from_line(std::string_view normalised_line);

// 1 plus the number of separators in the text.
int count_terms(std::string_view text, char separator);
// The highest letter A to Z in the text as 1 to 26; 0 when there is none.
int highest_factor_letter(std::string_view text);

// The checks in their order; the first failure raises RunError with its message.
CheckedSpecification check_specification(const Specification& specification);

// The names between braces, each blank-padded to 16 characters.
std::vector<std::string> parse_traits(std::string_view trait_text);
// Effects in model order with their factor lists (parts left to right, the
// sub-parts of a nested part right to left). Raises RunError for a model that
// cannot be analysed.
Model parse_model(std::string_view model_text);
// The data format with every integer field read as a real without decimals:
// '(A4,2I3,F8.2)' becomes '(A4,2F3.0,F8.2)'.
std::string prepare_data_format(std::string_view format);

}  // namespace tarvel
