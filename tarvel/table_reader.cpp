#include "tarvel/table_reader.hpp"

#include <algorithm>

#include "common/format.hpp"
#include "common/input_stream.hpp"
#include "tarvel/run_error.hpp"
#include "tarvel/table_levels.hpp"
#include "tarvel/table_text.hpp"

namespace tarvel {
namespace {

using table::in_quotes;
using table::LevelTable;
using table::parse_number;
using table::Record;
using table::same_text;
using table::trimmed;

constexpr const char* builtin_missing_texts[] = {"NA", "."};

// ------------------------------------------------------------ cells

struct MissingCodes {
    std::vector<std::string> texts;  // "NA", "." and the codes that are not numbers
    std::size_t longest_text = 0;    // a longer cell is none of them
    std::vector<float> numbers;      // the codes that are numbers
    // Whether each text and number above matched a cell, so that a given
    // code that never did (a typo) can be named after the reading.
    std::vector<char> text_matched, number_matched;
};

MissingCodes missing_codes(const std::vector<std::string>& given) {
    MissingCodes codes;
    for (const char* text : builtin_missing_texts) codes.texts.emplace_back(text);
    for (const std::string& code : given) {
        float x = 0.0f;
        if (parse_number(code, x)) codes.numbers.push_back(x);
        else codes.texts.push_back(code);
    }
    for (const std::string& text : codes.texts) codes.longest_text = std::max(codes.longest_text, text.size());
    codes.text_matched.assign(codes.texts.size(), 0);
    codes.number_matched.assign(codes.numbers.size(), 0);
    return codes;
}

bool is_missing_text(std::string_view cell, MissingCodes& codes) {
    if (cell.empty()) return true;
    if (cell.size() > codes.longest_text) return false;
    for (std::size_t i = 0; i < codes.texts.size(); ++i)
        if (same_text(cell, codes.texts[i])) {
            codes.text_matched[i] = 1;
            return true;
        }
    return false;
}

bool is_missing_number(float x, MissingCodes& codes) {
    for (std::size_t i = 0; i < codes.numbers.size(); ++i)
        if (x == codes.numbers[i]) {
            codes.number_matched[i] = 1;
            return true;
        }
    return false;
}

// The given codes that matched no cell, as given. A code matched when any
// code of the same value did ("-9.0" beside "-9", "NA" given again).
std::vector<std::string> unmatched_codes(const std::vector<std::string>& given, const MissingCodes& codes) {
    std::vector<std::string> unmatched;
    for (const std::string& code : given) {
        float x = 0.0f;
        bool matched = false;
        if (parse_number(code, x)) {
            for (std::size_t i = 0; i < codes.numbers.size(); ++i)
                matched = matched || (codes.number_matched[i] && codes.numbers[i] == x);
        } else {
            for (std::size_t i = 0; i < codes.texts.size(); ++i)
                matched = matched || (codes.text_matched[i] && codes.texts[i] == code);
        }
        if (!matched) unmatched.push_back(code);
    }
    return unmatched;
}

enum class Cell { number, missing, text };

Cell trait_cell(std::string_view cell, MissingCodes& codes, float& x) {
    if (is_missing_text(cell, codes)) return Cell::missing;
    if (!parse_number(cell, x)) return Cell::text;
    return is_missing_number(x, codes) ? Cell::missing : Cell::number;
}

bool factor_missing(std::string_view cell, MissingCodes& codes) {
    if (is_missing_text(cell, codes)) return true;
    float x = 0.0f;
    return !codes.numbers.empty() && parse_number(cell, x) && is_missing_number(x, codes);
}

// ------------------------------------------------------------ rows

// A trait column read so far: how many numbers and texts it held, and its first text.
struct TraitColumnSeen {
    std::int64_t numbers = 0;
    std::int64_t texts = 0;
    std::int64_t first_text_line = 0;
    std::string first_text;
};

struct RowReader {
    const TableRequest& request;
    const std::string& table_name;
    const std::vector<std::string>& header;
    char separator = ',';
    MissingCodes codes;
    TableReading& reading;
    tk::ScratchFile& scratch;
    tk::Host& host;
    std::vector<LevelTable> levels;
    std::vector<TraitColumnSeen> seen;
    ScratchRecord record;
    std::vector<char> trait_missing;
    std::vector<std::string_view> factor_cells;
    ScratchBlock block;
    // The kinds of the case report, all made before the first row.
    std::vector<ProblemCases*> missing_traits;
    ProblemCases* missing_factor = nullptr;
    ProblemCases* bad_rows = nullptr;
};

// The kinds of problem cases of a table, in the order of the report. Room
// for all is made first, so that the kinds taken stay where they are.
void make_problem_kinds(RowReader& rr) {
    CaseReport& report = rr.reading.cases.report;
    const std::vector<std::string>& traits = rr.reading.columns.trait_names;
    report.kinds.reserve(report.kinds.size() + traits.size() + 2);
    for (const std::string& name : traits)
        rr.missing_traits.push_back(&problem_kind(report, trait_missing_kind(name), "case(s) have no value of " + name));
    rr.missing_factor = &problem_kind(report, problem_missing_factor, "case(s) were skipped for a missing factor value");
    rr.bad_rows = &problem_kind(report, problem_bad_rows,
                                "bad row(s), with a wrong number of fields or a trait value that is not a number, "
                                "were left out");
    rr.bad_rows->kept = bad_rows_kept;
}

std::string column_label(const RowReader& rr, int column) {
    return "column " + std::to_string(column + 1) + " (" + rr.header[static_cast<std::size_t>(column)] + ")";
}

void bad_row(RowReader& rr, const Record& r, const std::string& what) { note_problem_case(*rr.bad_rows, r.line, what); }

// The trait values of a row; false for a bad row.
bool take_traits(RowReader& rr, const Record& r, const std::vector<std::string_view>& fields) {
    const TableColumns& columns = rr.reading.columns;
    bool bad = false;
    for (std::size_t i = 0; i < columns.trait_columns.size(); ++i) {
        const int column = columns.trait_columns[i];
        const std::string_view cell = trimmed(fields[static_cast<std::size_t>(column)], rr.separator);
        const Cell kind = trait_cell(cell, rr.codes, rr.record.traits[i]);
        rr.trait_missing[i] = kind == Cell::missing;
        TraitColumnSeen& seen = rr.seen[i];
        if (kind == Cell::number) ++seen.numbers;
        if (kind != Cell::text) continue;
        if (seen.texts++ == 0) seen.first_text_line = r.line, seen.first_text = std::string(cell);
        if (!bad) bad_row(rr, r, column_label(rr, column) + " holds " + in_quotes(cell) + ", which is not a number");
        bad = true;
    }
    return !bad;
}

void take_row(RowReader& rr, const Record& r, const std::vector<std::string_view>& fields) {
    TableReading& reading = rr.reading;
    TableReport& report = reading.report;
    const TableColumns& columns = reading.columns;
    ++report.rows;
    if (fields.size() != rr.header.size()) {
        bad_row(rr, r, std::to_string(fields.size()) + (fields.size() == 1 ? " field, " : " fields, ") +
                           std::to_string(rr.header.size()) + " expected: " + std::string(r.text));
        return;
    }
    if (!take_traits(rr, r, fields)) return;
    bool skipped = false;
    for (std::size_t i = 0; i < rr.trait_missing.size(); ++i)
        if (rr.trait_missing[i]) ++report.missing_by_trait[i], skipped = true;
    std::string absent;  // the factors whose value is missing, for the report
    for (std::size_t k = 0; k < columns.factor_columns.size(); ++k) {
        const std::string_view cell = trimmed(fields[static_cast<std::size_t>(columns.factor_columns[k])], rr.separator);
        rr.factor_cells[k] = cell;
        if (!factor_missing(cell, rr.codes)) continue;
        ++report.missing_by_factor[k];
        absent += (absent.empty() ? "" : ", ") + columns.factor_names[k] + " is " + (cell.empty() ? "empty" : in_quotes(cell));
    }
    const bool factor_absent = !absent.empty();
    if (factor_absent) note_problem_case(*rr.missing_factor, r.line, absent);
    if (skipped || factor_absent) {
        ++reading.cases.skipped;
        return;
    }
    for (std::size_t k = 0; k < columns.factor_columns.size(); ++k)
        rr.record.levels[k] = table::level_of(rr.levels[k], rr.factor_cells[k]);
    add_scratch_record(rr.scratch, rr.block, rr.record);
    if (++reading.cases.accepted % case_counter_step == 0) show_case_counter(rr.host, reading.cases.accepted);
}

void read_rows(RowReader& rr, table::Text& t) {
    Record r;
    std::vector<std::string> storage;
    std::vector<std::string_view> fields;
    for (;;) {
        if (table::next_plain_row(t, rr.separator, r, fields)) {
            if (!r.text.empty()) take_row(rr, r, fields);
            continue;
        }
        if (!table::next_record(t, rr.separator, r, rr.header)) break;
        if (r.text.empty()) continue;  // an empty line holds no row
        const std::string problem = table::split_record(r, rr.separator, storage, fields);
        if (!problem.empty()) {
            ++rr.reading.report.rows;
            bad_row(rr, r, problem + ": " + std::string(r.text));
            continue;
        }
        take_row(rr, r, fields);
    }
    flush_scratch_block(rr.scratch, rr.block);
}

// ------------------------------------------------------------ after the rows

void require_rows(const TableReading& reading, const std::string& name) {
    if (reading.report.rows == 0)
        throw RunError("The table '" + name + "' has a header but no rows.");
}

// A trait column in which no value is a number holds text: the wrong column.
void refuse_text_traits(const RowReader& rr) {
    const TableColumns& columns = rr.reading.columns;
    for (std::size_t i = 0; i < rr.seen.size(); ++i) {
        const TraitColumnSeen& seen = rr.seen[i];
        if (seen.numbers > 0 || seen.texts == 0) continue;
        throw RunError("Line " + std::to_string(seen.first_text_line) + ", " +
                       column_label(rr, columns.trait_columns[i]) + " of '" + rr.table_name + "': the trait column " +
                       "holds text (" + in_quotes(seen.first_text) +
                       ") and no number; a trait must be a column of numbers.");
    }
}

// The first ten bad rows by line, then the count of the others.
void refuse_bad_rows(const RowReader& rr) {
    const ProblemCases& bad = *rr.bad_rows;
    if (bad.count == 0 || rr.request.skip_bad_rows) return;
    std::string message = std::to_string(bad.count) + " bad row(s) in '" + rr.table_name +
                          "' (a wrong number of fields, or a trait value that is not a number); nothing was analysed:";
    for (const ProblemLine& line : bad.first) message += "\n  line " + std::to_string(line.line) + ": " + line.text;
    const std::int64_t more = bad.count - static_cast<std::int64_t>(bad.first.size());
    if (more > 0) message += "\n  and " + std::to_string(more) + " more";
    message += "\nCorrect them, or give --skip-bad-rows to analyse the table without them.";
    throw RunError(message);
}

// The rows without a trait's value, counted in its kind of the report.
void count_missing_traits(RowReader& rr) {
    for (std::size_t i = 0; i < rr.missing_traits.size(); ++i)
        count_problem_cases(*rr.missing_traits[i], rr.reading.report.missing_by_trait[i]);
}

// Levels numbered by their values; the number of levels of each factor.
void finish_levels(RowReader& rr) {
    std::vector<std::vector<Level>> maps;
    bool renumber = false;
    for (const LevelTable& table : rr.levels) {
        maps.push_back(table::sorted_levels(table));
        renumber = renumber || !table::is_identity(maps.back());
        rr.reading.cases.largest_levels.push_back(std::max<int>(1, static_cast<int>(table::level_count(table))));
    }
    if (renumber)
        renumber_scratch_levels(rr.scratch, rr.reading.cases.accepted, maps,
                                static_cast<int>(rr.reading.columns.trait_names.size()));
}

std::vector<std::string> missing_texts(const TableRequest& request) {
    std::vector<std::string> texts{""};
    for (const char* text : builtin_missing_texts) texts.emplace_back(text);
    texts.insert(texts.end(), request.missing_codes.begin(), request.missing_codes.end());
    return texts;
}

}  // namespace

TableReading read_table(const TableRequest& request, tk::ScratchFile& scratch, tk::Host& host) {
    table::Text text;
    table::open(text, request.file);
    try {
        char separator = ',';
        const std::vector<std::string> header = table::read_header(text, request.separator, separator);
        TableReading reading;
        reading.columns = resolve_table_columns(header, text.name, request.model, request.traits);
        const TableColumns& columns = reading.columns;
        const std::size_t f = columns.factor_columns.size(), t = columns.trait_columns.size();
        reading.report.separator = separator;
        reading.report.missing_texts = missing_texts(request);
        reading.report.missing_by_factor.assign(f, 0);
        reading.report.missing_by_trait.assign(t, 0);
        RowReader rr{request,
                     text.name,
                     header,
                     separator,
                     missing_codes(request.missing_codes),
                     reading,
                     scratch,
                     host,
                     std::vector<LevelTable>(f),
                     std::vector<TraitColumnSeen>(t),
                     make_scratch_record(static_cast<int>(f), static_cast<int>(t)),
                     std::vector<char>(t, 0),
                     std::vector<std::string_view>(f),
                     {},
                     {},
                     nullptr,
                     nullptr};
        make_problem_kinds(rr);
        read_rows(rr, text);
        require_rows(reading, text.name);
        refuse_text_traits(rr);
        refuse_bad_rows(rr);
        count_missing_traits(rr);
        reading.report.unmatched_missing_codes = unmatched_codes(request.missing_codes, rr.codes);
        reading.cases.unreadable = static_cast<int>(rr.bad_rows->count);
        finish_levels(rr);
        return reading;
    } catch (const tk::InputError& error) {
        throw RunError(error.what());
    }
}

std::optional<char> separator_named(std::string_view text) {
    if (text == "tab" || text == "\\t") return '\t';
    if (text == "comma") return ',';
    if (text == "semicolon") return ';';
    if (text.size() == 1 && text[0] != '"' && text[0] != ' ' && text[0] != '\n' && text[0] != '\r') return text[0];
    return std::nullopt;
}

bool looks_like_table(const std::string& file, std::string_view model_text, std::optional<char> given_separator) {
    try {
        const std::vector<std::string> wanted = model_column_names(model_text);
        table::Text text;
        table::open(text, file);
        char separator = ',';
        const std::vector<std::string> header = table::read_header(text, given_separator, separator);
        for (const std::string& name : wanted)
            if (std::find(header.begin(), header.end(), name) == header.end()) return false;
        return !wanted.empty();
    } catch (const std::exception&) {
        return false;
    }
}

}  // namespace tarvel
