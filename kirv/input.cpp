#include "kirv/input.hpp"

#include "common/cli.hpp"
#include "common/format.hpp"
#include "common/freeform.hpp"
#include "common/number_text.hpp"
#include "common/tokenizer.hpp"
#include "kirv/genetic_group.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <limits>

namespace kirv {
namespace {

constexpr int search_limit = 100;  // non-blank records a keyword or brace search looks at
constexpr int integer_bound = std::numeric_limits<int>::max();

std::size_t at(int k) { return static_cast<std::size_t>(k); }

bool is_blank(std::string_view record) { return tk::significant_length(record) == 0; }

// The next record of the data file, whole however long it is. A tab counts as
// a blank, so that keywords indented by tabs are found and items separated by
// tabs stay apart (a tab inside a number field would otherwise be passed over
// and join two numbers into one).
bool read_data_line(tk::TextReader& data, std::string& line) {
    if (!data.read_record(line)) return false;
    std::replace(line.begin(), line.end(), '\t', ' ');
    return true;
}

// ------------------------------------------------------------ control file

struct Switches {
    int bending = 0;
    PrintFlags print_flags = all_print_flags;
};

// Twelve integers read list-directed from control record 3 ("0 11*1" gives
// the bending switch 0 and eleven print flags 1). Each of the twelve must be
// given: a null value or a slash before the twelfth leaves the record unfit.
std::optional<Switches> parse_switches(std::string_view text) {
    constexpr std::int32_t not_given = std::numeric_limits<std::int32_t>::min();
    std::array<std::int32_t, 1 + print_flag_count> values;
    values.fill(not_given);
    const std::vector<tk::Target> targets(values.begin(), values.end());
    if (!tk::read_list(text, targets).ok()) return std::nullopt;
    if (std::find(values.begin(), values.end(), not_given) != values.end()) return std::nullopt;
    Switches s;
    s.bending = values[0];
    for (int k = 0; k < print_flag_count; ++k) s.print_flags[at(k)] = values[at(k + 1)];
    return s;
}

// ------------------------------------------------------------ keyword values

// Letter by letter: each keyword letter matches its capital or its small form.
bool starts_with_keyword(std::string_view line, std::string_view keyword) {
    if (line.size() < keyword.size()) return false;
    for (std::size_t i = 0; i < keyword.size(); ++i)
        if (line[i] != keyword[i] && line[i] != keyword[i] + 32) return false;
    return true;
}

// The first number of a keyword line (read through a 4-byte real); nullopt
// when the keyword is not found or the data file has no keyword lines.
std::optional<double> read_keyword_number(tk::TextReader* data, std::string_view keyword) {
    if (!data) return std::nullopt;
    std::optional<std::string> line = find_keyword(*data, keyword);
    if (!line) return std::nullopt;
    const tk::NumberItems items = tk::read_number_items(*line, 1);
    if (!items.ok())
        throw RunError(status_bad_number,
                       "The value '" + items.bad_item + "' after " + std::string(keyword) + " is not a number!");
    return static_cast<double>(items.values[0]);
}

// Where a setting came from, for the note of a replaced value.
std::string source_of(bool given_ahead, std::string_view keyword) {
    return given_ahead ? "given" : "of the " + std::string(keyword) + " line";
}

// The relative coefficient: a value outside 0 to 1 becomes 0.25 (and is
// noted); 0 is kept but refused, since the individual level divides by it.
double read_relative(tk::TextReader* data, const ControlSettings& given, std::vector<std::string>& replaced) {
    double relative = default_relative;
    if (given.relative) relative = *given.relative;
    else if (const std::optional<double> v = read_keyword_number(data, "REL")) relative = *v;
    if (relative < 0.0 || relative > 1.0) {
        replaced.push_back("the relative coefficient " + tk::message_number(relative) + " " +
                           source_of(given.relative.has_value(), "REL") + " is outside 0 to 1; 0.25 is used");
        relative = default_relative;
    }
    if (const std::optional<std::string> problem = check_components_input({}, relative))
        throw RunError(status_bad_relative, *problem);
    return relative;
}

int read_bending_switch(tk::TextReader* data, const ControlSettings& given) {
    if (given.bending) return *given.bending;
    const std::optional<double> v = read_keyword_number(data, "BEN");
    return v ? truncate_to_int(*v) : 0;
}

// Checked only when bending runs; without bending a value from the control
// file is kept as given (it is only reported).
double read_minimum_eigenvalue(tk::TextReader* data, const ControlSettings& given, int bending,
                               std::vector<std::string>& replaced) {
    if (bending <= 0) return given.minimum_eigenvalue.value_or(0.0);
    double minimum = 0.0;
    if (given.minimum_eigenvalue) minimum = *given.minimum_eigenvalue;
    else if (const std::optional<double> v = read_keyword_number(data, "MIN")) minimum = *v;
    if (minimum >= 0.0) return minimum;
    replaced.push_back("the minimum eigenvalue " + tk::message_number(minimum) + " " +
                       source_of(given.minimum_eigenvalue.has_value(), "MIN") + " is below 0; 0 is used");
    return 0.0;
}

std::vector<double> read_degrees_of_freedom(tk::TextReader& data) {
    std::optional<std::string> line = find_keyword(data, "DF");
    if (!line) throw RunError(status_no_df, "No degree of freedom specified!");
    std::string copy = *line;
    const int neff = tk::count_items(copy, tk::item_separators, max_effects + 1);
    if (neff < 2) throw RunError(status_too_few_effects, "Error in DF expression OR tool few effects!");
    // Values beyond the limit are refused, never dropped: the matrices would
    // then be read with the wrong dimension.
    if (neff > max_effects) {
        copy = *line;
        const int given = tk::count_items(copy, tk::item_separators, std::numeric_limits<int>::max());
        throw RunError(status_too_many_effects, "The DF line holds " + std::to_string(given) + " values; at most " +
                                                    std::to_string(max_effects) + " effects are allowed!");
    }
    const tk::NumberItems items = tk::read_number_items(*line, neff);
    if (!items.ok()) throw RunError(status_bad_number, "The value '" + items.bad_item + "' after DF is not a number!");
    std::vector<double> df(items.values.begin(), items.values.end());
    // A mean square divides by DF, a sampling variance by DF + 2.
    if (const std::optional<std::string> problem = check_components_input(df, 1.0))
        throw RunError(status_bad_df, *problem);
    return df;
}

std::vector<std::string> read_trait_names(tk::TextReader& data) {
    std::optional<std::string> line = find_brace_line(data);
    if (!line) throw RunError(status_no_traits, "No trait expression specified!");
    return parse_trait_names(*line);
}

// The genetic group given ahead of the file, else on its "GEN" line (a
// number, or a name when the file names its effects), else chosen by kirv
// when the effects have names.
}  // namespace

GeneticGroup read_genetic_group(tk::TextReader* data, const ControlSettings& given,
                                const std::vector<std::string>& names, int neff) {
    GroupRequest request{given.genetic_group_id, given.genetic_group_name, given.group_may_be_chosen};
    if (!request.id && !request.name && data) {
        if (std::optional<std::string> line = find_keyword(*data, "GEN")) {
            std::string value = *line;
            const tk::NumberItems items = tk::read_number_items(*line, 1);
            if (items.ok()) request.id = truncate_to_int(static_cast<double>(items.values[0]));
            else if (!names.empty()) request.name = std::string(tk::significant(value.erase(0, value.find_first_not_of(' '))));
            else throw RunError(status_bad_number, "The value '" + items.bad_item + "' after GEN is not a number!");
        }
    }
    return choose_genetic_group(request, names, neff);
}

namespace {

// Without bending a value from the control file is kept as given (it is only
// reported); with bending an ID outside 1 to neff becomes 0, the identity
// (noted unless the ID was 0, which asks for the identity). Given on the
// command line, an ID outside 0 to neff is refused.
int read_reference(tk::TextReader* data, const ControlSettings& given, int bending, int neff,
                   std::vector<std::string>& replaced) {
    if (given.reference_id && given.reference_must_fit && (*given.reference_id < 0 || *given.reference_id > neff))
        throw RunError(status_bad_reference, "The reference ID " + std::to_string(*given.reference_id) +
                                                 " is not an effect number 1 to " + std::to_string(neff) +
                                                 ", nor 0 for the identity matrix!");
    if (bending <= 0) return given.reference_id.value_or(0) - 1;
    int id = 0;
    if (given.reference_id) id = *given.reference_id;
    else if (const std::optional<double> v = read_keyword_number(data, "REF")) id = truncate_to_int(*v);
    if (id >= 1 && id <= neff) return id - 1;
    if (id != 0)
        replaced.push_back("the reference ID " + std::to_string(id) + " " +
                           source_of(given.reference_id.has_value(), "REF") + " is not an effect number 1 to " +
                           std::to_string(neff) + "; the identity matrix is used");
    return -1;
}

PrintFlags read_print_flags(tk::TextReader* data, const ControlSettings& given) {
    if (given.print_flags) return *given.print_flags;
    const std::optional<std::string> line = data ? find_keyword(*data, "PRI") : std::nullopt;
    return line ? parse_print_flags(*line) : all_print_flags;
}

// ------------------------------------------------------------ matrix reader

// "row 2 of the EMS-Matrix" or "row 2 of the SS-Matrix of effect 3" (1-based).
std::string row_name(std::string_view keyword, int count, int k, int r) {
    std::string name = "row " + std::to_string(r + 1) + " of the " + std::string(keyword) + "-Matrix";
    if (count > 1) name += " of effect " + std::to_string(k + 1);
    return name;
}

// Places the value of row r, column c of matrix k.
void place(tk::Matrix& x, int r, int c, double value, bool mirrored) {
    if (mirrored) x(c, r) = value;
    else x(r, c) = value;
}

// A full row: n numbers read free-form, over as many records as they take.
void read_full_row(tk::TextReader& data, tk::Matrix& x, int r, bool mirrored, const std::string& where) {
    std::vector<double> row(at(x.rows), 0.0);
    std::vector<tk::Target> targets(row.begin(), row.end());
    const tk::ReadResult result = tk::read_list(data, targets);
    if (result.status == tk::ReadStatus::end_of_file)
        throw RunError(status_matrix_ends_early, "The data file ends before " + where + "!");
    if (!result.ok()) throw RunError(status_matrix_item, "Error in " + where + ": " + result.message + "!");
    for (int c = 0; c < x.rows; ++c) place(x, r, c, row[at(c)], mirrored);
}

// A triangular row: the next non-blank record, items separated by blanks,
// each read with "(F20.0)" (a longer item in a field of its own width); row r
// from the diagonal on (upper) or up to it (lower). Further items are
// ignored, missing ones leave zeros.
void read_triangle_row(tk::TextReader& data, tk::Matrix& x, int r, MatrixLayout layout, bool mirrored,
                       const std::string& where) {
    std::string line;
    do {
        if (!read_data_line(data, line))
            throw RunError(status_matrix_ends_early, "The data file ends before " + where + "!");
    } while (is_blank(line));
    const int n = x.rows;
    const int first = layout == MatrixLayout::upper ? r : 0;
    const int allowed = layout == MatrixLayout::upper ? n - r : r + 1;
    // Items are taken whole, however long, so that no digit of a number is cut.
    std::string_view rest = tk::significant(line);
    for (int i = 0; i < allowed; ++i) {
        const std::string_view item = tk::take_item(rest, " ");
        if (item.empty()) break;
        double value = 0.0;
        if (!tk::read_number_item(item, value).ok())
            throw RunError(status_matrix_item,
                           "The item '" + std::string(item) + "' in " + where + " is not a number!");
        place(x, r, first + i, value, mirrored);
    }
    if (mirrored)
        for (int c = first; c < first + allowed; ++c) x(r, c) = x(c, r);
}

// Reads up to 100 non-blank lines from the start of the data file and returns
// the first one that `wanted` accepts, as `wanted` leaves it; rewinds.
template <typename Accept>
std::optional<std::string> search_lines(tk::TextReader& data, Accept wanted) {
    std::optional<std::string> found;
    std::string line;
    int counted = 0;
    while (counted < search_limit && read_data_line(data, line)) {
        if (is_blank(line)) continue;
        ++counted;
        if (wanted(line)) {
            found = std::move(line);
            break;
        }
    }
    data.rewind();
    return found;
}

}  // namespace

// ------------------------------------------------------------ control file

double numeric_prefix(std::string_view text) {
    std::size_t start = 0;
    while (start < text.size() && (text[start] == ' ' || text[start] == '\t')) ++start;
    const std::size_t length = tk::decimal_prefix_length(text.substr(start));
    if (length == 0) return 0.0;
    // The prefix is plain decimal text, so strtod reads exactly it; beyond the
    // range of a real it gives an infinity, kept to the largest real.
    const std::string number(text.substr(start, length));
    const double value = std::strtod(number.c_str(), nullptr);
    if (std::isinf(value)) return value > 0 ? std::numeric_limits<double>::max() : -std::numeric_limits<double>::max();
    return value;
}

int truncate_to_int(double x) {
    if (std::isnan(x)) return 0;
    if (x >= integer_bound) return integer_bound;
    if (x <= -integer_bound) return -integer_bound;
    return static_cast<int>(std::trunc(x));
}

std::string control_file_name(std::string_view record) {
    return std::string(tk::significant(record.substr(0, std::min(record.size(), file_name_length))));
}

ControlSettings take_control_settings(const tk::KirvControl& control) {
    const std::array<std::string, 7>& rec = control.records;
    ControlSettings s;
    s.data_file = control_file_name(rec[0]);
    s.listing_file = control_file_name(rec[1]);
    if (control.listing >= 1 && s.listing_file.empty()) s.listing_file = default_listing_name;
    if (!is_blank(rec[2])) {
        const std::optional<Switches> switches = parse_switches(rec[2]);
        if (!switches)
            throw RunError(status_bad_switches, std::string("The third record of the control file ") +
                                                    tk::kirv_control_file +
                                                    " must hold twelve integers: the bending switch and eleven "
                                                    "print switches!");
        s.bending = switches->bending;
        s.print_flags = switches->print_flags;
    }
    if (!is_blank(rec[3])) s.relative = numeric_prefix(rec[3]);
    if (!is_blank(rec[4])) s.genetic_group_id = truncate_to_int(numeric_prefix(rec[4]));
    if (!is_blank(rec[5])) s.reference_id = truncate_to_int(numeric_prefix(rec[5]));
    if (!is_blank(rec[6])) s.minimum_eigenvalue = numeric_prefix(rec[6]);
    return s;
}

// ------------------------------------------------------------ specification

void read_leading_settings(tk::TextReader* data, const ControlSettings& given, Specification& s) {
    s.relative = read_relative(data, given, s.replaced_settings);
    s.bending = read_bending_switch(data, given);
    s.minimum_eigenvalue = read_minimum_eigenvalue(data, given, s.bending, s.replaced_settings);
}

void read_trailing_settings(tk::TextReader* data, const ControlSettings& given, Specification& s) {
    s.reference = read_reference(data, given, s.bending, static_cast<int>(s.df.size()), s.replaced_settings);
    s.print_flags = read_print_flags(data, given);
}

Specification read_specification(tk::TextReader& data, const ControlSettings& given) {
    Specification s;
    read_leading_settings(&data, given, s);
    s.df = read_degrees_of_freedom(data);
    s.trait_names = read_trait_names(data);
    const int neff = static_cast<int>(s.df.size());
    const int ntrait = static_cast<int>(s.trait_names.size());
    s.effect_names = read_effect_names(data, neff);
    const GeneticGroup group = read_genetic_group(&data, given, s.effect_names, neff);
    s.genetic_group = group.effect;
    s.genetic_group_reason = group.reason;
    read_trailing_settings(&data, given, s);

    std::optional<std::vector<tk::Matrix>> ems = read_matrix_block(data, "EMS", neff, 1, false);
    if (!ems) throw RunError(status_no_ems, "No EMS-Matrix specified!");
    s.ems = std::move(ems->front());
    std::optional<std::vector<tk::Matrix>> ss = read_matrix_block(data, "SS", ntrait, neff, true);
    if (!ss) throw RunError(status_no_ss, "No SS-Matrix specified!");
    s.ss = std::move(*ss);
    return s;
}

std::optional<std::string> find_keyword(tk::TextReader& data, std::string_view keyword) {
    return search_lines(data, [keyword](std::string& line) {
        tk::left_adjust(line);
        if (!starts_with_keyword(line, keyword)) return false;
        tk::cut_at_equals(line);
        return true;
    });
}

std::optional<std::string> find_brace_line(tk::TextReader& data) {
    return search_lines(data, [](std::string& line) {
        const std::size_t brace = line.find('{');
        if (brace == std::string::npos) return false;
        line.erase(0, brace);
        return true;
    });
}

std::vector<std::string> parse_trait_names(std::string line) {
    std::vector<std::string> names;
    for (;;) {
        const std::size_t open = line.find('{');
        if (open == std::string::npos) break;
        const std::size_t close = line.find('}');
        if (close == std::string::npos) throw RunError(status_bad_traits, "Error in trait expression!");
        // A "}" before the "{" gives an empty name.
        const std::size_t length = close > open ? close - open - 1 : 0;
        // Blank-padded to 16 characters; a longer name is kept whole, for the
        // listing shortens it so that no two names look alike.
        const std::string_view name = std::string_view(line).substr(open + 1, length);
        names.push_back(tk::pad(name, std::max(trait_name_length, name.size())));
        if (names.size() > at(max_traits))
            throw RunError(status_too_many_traits,
                           "Too many traits: at most " + std::to_string(max_traits) + " are allowed!");
        line.erase(0, close + 1);
    }
    return names;
}

PrintFlags parse_print_flags(std::string value) {
    PrintFlags flags{};
    std::string copy = value;
    const int count = tk::count_items(copy, tk::item_separators, max_effects);
    if (count < 1) return flags;
    tk::left_adjust(value);
    tk::to_upper(value);
    const tk::NameItems items = tk::read_name_items(value, count, 4);
    for (const std::string& item : items.names) {
        const std::string_view group = std::string_view(item).substr(0, 2);
        const std::string_view variant = std::string_view(item).substr(2, 2);
        const char third = item[2];
        int k = -1;
        if (group == "BE") k = 0;
        else if (group == "VC") k = variant == "GG" ? 1 : variant == "PG" ? 2 : variant == "GI" ? 3 : variant == "PI" ? 4 : -1;
        else if (group == "H2") k = third == 'G' ? 5 : third == 'I' ? 6 : -1;
        else if (group == "RG") k = 7;
        else if (group == "SR") k = third == 'G' ? 8 : third == 'P' ? 10 : -1;
        else if (group == "RP") k = 9;
        if (k >= 0) flags[at(k)] = 1;
    }
    return flags;
}

MatrixLayout matrix_layout(std::string_view keyword_line) {
    if (keyword_line.find("LOW") != std::string_view::npos) return MatrixLayout::lower;
    if (keyword_line.find("UP") != std::string_view::npos) return MatrixLayout::upper;
    return MatrixLayout::full;
}

std::optional<std::vector<tk::Matrix>> read_matrix_block(tk::TextReader& data, std::string_view keyword, int n,
                                                         int count, bool mirrored) {
    data.rewind();
    std::string line;
    for (;;) {
        if (!read_data_line(data, line)) return std::nullopt;
        if (is_blank(line)) continue;
        tk::left_adjust(line);
        tk::to_upper(line);
        if (line.compare(0, keyword.size(), keyword) == 0) break;
    }
    const MatrixLayout layout = matrix_layout(line);
    std::vector<tk::Matrix> block(at(count), tk::Matrix(n, n));
    for (int k = 0; k < count; ++k)
        for (int r = 0; r < n; ++r) {
            const std::string where = row_name(keyword, count, k, r);
            if (layout == MatrixLayout::full) read_full_row(data, block[at(k)], r, mirrored, where);
            else read_triangle_row(data, block[at(k)], r, layout, mirrored, where);
        }
    return block;
}

}  // namespace kirv
