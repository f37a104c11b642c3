#include "tarvel/specification.hpp"

#include <algorithm>
#include <limits>

#include "common/format.hpp"
#include "common/tokenizer.hpp"
#include "tarvel/run_error.hpp"

namespace tarvel {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start));
        if (end == std::string_view::npos) return parts;
        start = end + 1;
    }
}

// The text after the first "="; the whole text when there is none.
std::string after_first_equals(std::string_view line) {
    const std::size_t equals = line.find('=');
    return std::string(equals == std::string_view::npos ? line : line.substr(equals + 1));
}

std::string normalised(std::string text) {
    normalise(text);
    return text;
}

// Reads up to 100 non-blank lines from the start of the data file and returns
// the first one that `wanted` accepts, as `wanted` leaves it; rewinds.
template <typename Accept>
std::optional<std::string> search_lines(tk::TextReader& data, Accept wanted) {
    std::optional<std::string> found;
    std::string line;
    int counted = 0;
    while (counted < searched_line_limit && data.read_record(line)) {
        if (is_blank_line(line)) continue;
        if (wanted(line)) {
            found = std::move(line);
            break;
        }
        ++counted;
    }
    data.rewind();
    return found;
}

std::optional<std::string> read_data_format(tk::TextReader& data, const std::string& control) {
    if (!control.empty()) return normalised(control);
    const std::optional<std::string> line = search_keyword(data, "FMT");
    if (!line) return std::nullopt;
    return after_first_equals(*line);
}

std::optional<std::string> read_model(tk::TextReader& data, const std::string& control) {
    if (!control.empty()) return normalised(control);
    const std::optional<std::string> line = search_keyword(data, "MOD");
    if (!line) return std::nullopt;
    return after_first_equals(*line);
}

// Blanks are removed from a data-file line, so codes separated only by blanks
// run together ("-9 -99" reads as -9E-99, "9 99" as 999): such a line is
// refused rather than read as codes nobody wrote.
bool has_codes_run_together(std::string_view raw_line) {
    const std::size_t equals = raw_line.find('=');
    const std::string_view codes = equals == std::string_view::npos ? raw_line : raw_line.substr(equals + 1);
    const auto ends_number = [](char c) { return is_digit(c) || c == '.'; };
    const auto starts_number = [](char c) { return is_digit(c) || c == '.' || c == '-' || c == '+'; };
    for (std::size_t i = 0; i + 1 < codes.size(); ++i) {
        if (!ends_number(codes[i]) || !is_blank(codes[i + 1])) continue;
        std::size_t next = i + 1;
        while (next < codes.size() && is_blank(codes[next])) ++next;
        if (next < codes.size() && starts_number(codes[next])) return true;
    }
    return false;
}

// The codes replace the default only when the text holds at least one item.
void read_missing_values(tk::TextReader& data, const std::string& control, Specification& specification) {
    std::optional<std::string> raw = control;
    if (control.empty()) raw = search_lines(data, [](std::string& line) {
        return normalised(line).compare(0, 3, "MIS") == 0;
    });
    if (!raw) return;
    const std::string text = control.empty() ? normalised(*raw) : *raw;
    std::string line = text;
    const tk::NumberItems items = tk::read_number_items(line, missing_code_limit);
    if (items.found < 1) return;
    specification.missing_codes.assign(items.values.begin(), items.values.begin() + items.found);
    // Codes beyond the limit are refused: cases holding them would be analysed as data.
    line = text;
    const int given = tk::count_items(line, tk::item_separators, std::numeric_limits<int>::max());
    if (given > missing_code_limit)
        specification.missing_values_problem =
            std::string(control.empty() ? "The MIS line holds " : "The missing values hold ") +
            std::to_string(given) + " codes; at most " + std::to_string(missing_code_limit) + " can be kept.";
    else if (!items.bad_item.empty())
        specification.missing_values_problem =
            "The item '" + items.bad_item + "' of the missing values '" + text + "' is not a number.";
    else if (control.empty() && has_codes_run_together(*raw))
        specification.missing_values_problem = "The codes of the line '" + std::string(tk::significant(*raw)) +
                                                "' are separated by blanks, which are removed from the line; "
                                                "separate them by commas.";
}

OutputSwitches read_print_options(tk::TextReader& data, const std::string& control) {
    if (!control.empty()) return print_switches_from_control(control);
    const std::optional<std::string> line = search_keyword(data, "PRI");
    return line ? print_switches_from_line(*line) : OutputSwitches{};
}

std::optional<std::string> read_trait_text(tk::TextReader& data, const std::string& control) {
    if (!control.empty()) return control;
    return find_trait_line(data);
}

[[noreturn]] void invalid_model(std::string_view model, const std::string& problem) {
    throw RunError("Invalid model specified! " + problem + " (model '" + std::string(model) + "').");
}

std::string term_label(std::size_t index, std::string_view term) {
    return "Term " + std::to_string(index + 1) + " '" + std::string(term) + "'";
}

// The factor numbers of one term: parts left to right, sub-parts right to left.
std::vector<int> term_factors(std::string_view model, std::size_t index, std::string_view term) {
    std::vector<int> factors;
    for (std::string_view part : split(term, '*')) {
        const std::vector<std::string_view> nested = split(part, '|');
        for (auto sub = nested.rbegin(); sub != nested.rend(); ++sub) {
            if (sub->empty()) invalid_model(model, term_label(index, term) + " has an empty factor");
            // One letter per factor: "SIRE" would name factor S and make every
            // case hold 19 codes, a "Model: A" line the factors of "MODEL:A".
            const char letter = sub->front();
            if (sub->size() != 1 || letter < 'A' || letter > 'Z')
                invalid_model(model, term_label(index, term) + " has the factor '" + std::string(*sub) +
                                         "'; a factor is one letter A to Z");
            factors.push_back(letter - 'A');
        }
    }
    if (factors.size() > static_cast<std::size_t>(factors_per_effect_limit))
        invalid_model(model, term_label(index, term) + " has " + std::to_string(factors.size()) +
                                 " factors; an effect may have at most 50");
    return factors;
}

// Each I field becomes an F field with no decimals (Iw and Iw.m give Fw.0).
std::string read_integer_fields_as_reals(std::string_view segment) {
    std::string out;
    bool quoted = false;
    for (std::size_t i = 0; i < segment.size(); ++i) {
        const char c = segment[i];
        if (c == '\'') quoted = !quoted;
        const bool integer_field = !quoted && c == 'I' && i + 1 < segment.size() && is_digit(segment[i + 1]);
        if (!integer_field) {
            out.push_back(c);
            continue;
        }
        out.push_back('F');
        while (i + 1 < segment.size() && is_digit(segment[i + 1])) out.push_back(segment[++i]);
        if (i + 1 < segment.size() && segment[i + 1] == '.') {  // the minimum digits of Iw.m mean nothing on input
            ++i;
            while (i + 1 < segment.size() && is_digit(segment[i + 1])) ++i;
        }
        out += ".0";
    }
    return out;
}

std::string checked_case_format(std::string_view format) {
    std::string prepared = prepare_data_format(format);
    const tk::Format& parsed = tk::cached_format(prepared);
    if (!parsed.error.empty())
        throw RunError("Invalid data format! The data format '" + std::string(format) + "' cannot be used: " +
                       parsed.error + ".");
    return prepared;
}

}  // namespace

void normalise(std::string& line) {
    std::erase_if(line, is_blank);
    tk::to_upper(line);
}

bool is_blank_line(std::string_view line) { return std::all_of(line.begin(), line.end(), is_blank); }

std::optional<std::string> search_keyword(tk::TextReader& data, std::string_view keyword) {
    return search_lines(data, [keyword](std::string& line) {
        normalise(line);
        return line.compare(0, keyword.size(), keyword) == 0;
    });
}

std::optional<std::string> find_trait_line(tk::TextReader& data) {
    return search_lines(data, [](std::string& line) {
        const std::size_t brace = line.find('{');
        if (brace == std::string::npos) return false;
        line = std::string(tk::significant(std::string_view(line).substr(brace)));
        return true;
    });
}

Specification read_specification(tk::TextReader& data, const ControlItems& control) {
    Specification specification;
    specification.data_format = read_data_format(data, control.data_format);
    specification.model = read_model(data, control.model);
    read_missing_values(data, control.missing_values, specification);
    specification.switches = read_print_options(data, control.print_options);
    specification.trait_text = read_trait_text(data, control.traits);
    return specification;
}

// A word of the host's options anywhere in the text sets its switch ("PROCESS" sets SS).
OutputSwitches print_switches_from_control(std::string_view options) {
    std::string text(options);
    tk::to_upper(text);
    const auto has = [&text](std::string_view word) { return text.find(word) != std::string::npos; };
    return {has("MS"), has("SS"), has("VC"), has("CR"), has("KIRV")};
}

// Only the exact words of a "PRI" line set switches.
OutputSwitches print_switches_from_line(std::string_view normalised_line) {
    std::string line(normalised_line);
    const tk::NameItems items = tk::read_name_items(line, print_word_limit, print_word_width);
    OutputSwitches switches;
    for (int i = 0; i < items.found; ++i) {
        const std::string_view word = tk::significant(items.names[static_cast<std::size_t>(i)]);
        if (word == "MS") switches.ms = true;
        if (word == "SS") switches.ss = true;
        if (word == "VC") switches.vc = true;
        if (word == "CR") switches.cr = true;
        if (word == "KIRV") switches.kirv = true;
    }
    return switches;
}

int count_terms(std::string_view text, char separator) {
    return 1 + static_cast<int>(std::count(text.begin(), text.end(), separator));
}

int highest_factor_letter(std::string_view text) {
    int highest = 0;
    for (char c : text)
        if (c >= 'A' && c <= 'Z') highest = std::max(highest, c - 'A' + 1);
    return highest;
}

CheckedSpecification check_specification(const Specification& specification) {
    if (!specification.model) throw RunError("No model specified!");
    std::string model = *specification.model;
    tk::to_upper(model);
    CheckedSpecification checked;
    checked.effect_count = count_terms(model, '+');
    checked.factor_count = highest_factor_letter(model);
    if (checked.effect_count < 1 || checked.factor_count < 1) throw RunError("Invalid model specified!");
    checked.factor_used.assign(static_cast<std::size_t>(checked.factor_count), false);
    for (const Effect& effect : parse_model(model).effects)
        for (int factor : effect.factors) checked.factor_used[static_cast<std::size_t>(factor)] = true;
    if (!specification.trait_text) throw RunError("No trait specified!");
    checked.trait_names = parse_traits(*specification.trait_text);
    if (checked.trait_names.empty())
        throw RunError("No trait specified! The trait text '" + *specification.trait_text +
                       "' holds no name in braces.");
    if (!specification.missing_values_problem.empty())
        throw RunError("Invalid missing values! " + specification.missing_values_problem);
    if (specification.data_format) checked.case_format = checked_case_format(*specification.data_format);
    return checked;
}

std::vector<std::string> parse_traits(std::string_view trait_text) {
    std::vector<std::string> names;
    std::string_view rest = trait_text;
    for (;;) {
        const std::size_t open = rest.find('{');
        if (open == std::string_view::npos) return names;
        const std::size_t close = rest.find('}');
        if (close == std::string_view::npos) throw RunError("Traits expression error!");
        if (names.size() == static_cast<std::size_t>(trait_limit))
            throw RunError("Traits expression error! The trait text holds more than 100 names in braces.");
        // A "}" before the "{" gives a blank name: '}{A}' names a blank trait, then A.
        const std::string_view name = close > open ? rest.substr(open + 1, close - open - 1) : std::string_view();
        names.push_back(tk::pad(name, trait_name_width));
        rest.remove_prefix(close + 1);
    }
}

Model parse_model(std::string_view model_text) {
    Model model;
    model.factor_count = highest_factor_letter(model_text);
    const std::vector<std::string_view> terms = split(model_text, '+');
    for (std::size_t i = 0; i < terms.size(); ++i) {
        if (terms[i].empty()) invalid_model(model_text, "Term " + std::to_string(i + 1) + " is empty");
        Effect effect;
        effect.name = std::string(terms[i].substr(0, effect_name_width));
        effect.factors = term_factors(model_text, i, terms[i]);
        // Effects are told apart by their names; two neighbours with one name would merge.
        if (!model.effects.empty() && model.effects.back().name == effect.name)
            invalid_model(model_text, "Terms " + std::to_string(i) + " and " + std::to_string(i + 1) +
                                          " have the same name '" + effect.name + "'");
        model.effects.push_back(std::move(effect));
    }
    return model;
}

std::string prepare_data_format(std::string_view format) {
    const std::vector<std::string_view> segments = split(format, ',');
    if (segments.size() > static_cast<std::size_t>(format_segment_limit))
        throw RunError("Invalid data format! The data format has " + std::to_string(segments.size()) +
                       " parts separated by commas; at most 250 are allowed.");
    std::string prepared;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        if (i > 0) prepared.push_back(',');
        prepared += read_integer_fields_as_reals(segments[i]);
    }
    return prepared;
}

}  // namespace tarvel
