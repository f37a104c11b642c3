#include "tarvel/command_line.hpp"

#include "tarvel/tables_output.hpp"

#include "common/cli.hpp"
#include "common/host.hpp"
#include "common/interrupt.hpp"
#include "common/tokenizer.hpp"
#include "tarvel/table_reader.hpp"
#include "tarvel/table_text.hpp"

#include <cctype>
#include <csignal>
#include <exception>
#include <iostream>
#include <new>
#include <optional>

namespace tarvel {
namespace {

constexpr const char* description =
    "tarvel: Type I (sequential, hierarchical) analysis of variance and covariance with a general linear model "
    "of classification effects. Reads the cases of DATA and writes a listing with the expected mean squares "
    "and, for every trait and pair of traits, degrees of freedom, sums of squares and products, mean squares, "
    "component estimates with standard deviations and F tests. Each option wins over the data file's own line.";

constexpr const char* footer =
    "Tables: DATA ending in .csv, .tsv (also .gz, .zst), '-' (standard input), or with --table, is a table "
    "whose first line names the columns; --model and --traits then name columns, e.g. "
    "--model 'flock + sex + sire + dam|sire' --traits bwt,wwt. A .txt file is a table when its first line "
    "holds every column the model names.\n"
    "Print options: ms ss vc cr kirv (kirv also writes KIRV.IN_ in the current directory).\n"
    "Exit status: 0 completed, 1 the run failed (the message names the reason), 2 usage error, "
    "255 out of memory.\n"
    "Without arguments tarvel reads its settings from the control file tanv~tm0.$$$ of its host.";

constexpr const char* print_names = "ms ss vc cr kirv";

// The text of each option as given; checked after parsing.
struct OptionTexts {
    std::string data, listing = default_listing_name, json;
    std::string model, format, traits, missing, print, separator;
    std::string threads;
    std::string reduction;
    tk::ResultOptionTexts results;
};

struct Options {
    CLI::Option* threads;
    CLI::Option* reduction;
    CLI::Option* json;
    CLI::Option* model;
    CLI::Option* format;
    CLI::Option* traits;
    CLI::Option* missing;
    CLI::Option* print;
    tk::ResultOptions results;
    CLI::Option* one_case_per_line;
    CLI::Option* table;
    CLI::Option* separator;
    CLI::Option* skip_bad_rows;
};

std::vector<std::string> table_names() {
    return std::vector<std::string>(std::begin(table_file_names), std::end(table_file_names));
}

Options define_options(CLI::App& app, OptionTexts& t) {
    app.add_option("DATA", t.data,
                   "Data file (head with MOD, FMT, MIS, PRI and trait lines, then the cases), or a table")
        ->required();
    app.add_option("-o,--listing", t.listing, "Listing file; '-' writes it to standard output [tarvel.lst]");
    Options o{};
    o.model = app.add_option("--model", t.model, "Model statement, e.g. 'C + A + B|A' [MOD]");
    o.format = app.add_option("--format", t.format, "Data format of one case, e.g. '(A4,2I3,F8.2)'; "
                                                    "without one the cases are read free-form [FMT]");
    o.traits = app.add_option("--traits", t.traits, "Trait names in braces, e.g. '{Weight} {Height}' [trait line]");
    o.missing = app.add_option("--missing", t.missing, "Missing-value codes, e.g. '-9,-99' [MIS]");
    o.print = app.add_option("--print", t.print, "Optional sections: ms ss vc cr kirv; '' prints none [PRI]");
    o.json = app.add_option("--json", t.json, "Write every number of the run to this JSON file; '-': standard output");
    o.results = tk::add_result_options(app, t.results, "anova.csv, ems.csv, cases.csv");
    o.one_case_per_line = app.add_flag("--one-case-per-line")->description(
        "Free-form cases: each line is one case, and a line short of values is unreadable instead of read on "
        "into the next line (for data from spreadsheets or R, where an empty last field means a missing value)");
    o.table = app.add_flag("--table")->description("Read DATA as a table with a header of column names, whatever "
                                                   "its name");
    o.separator = app.add_option("--sep", t.separator, "Separator of a table: , ; tab or one character "
                                                       "[found from the header]");
    o.skip_bad_rows = app.add_flag("--skip-bad-rows")
                          ->description("Skip and count the rows of a table with a wrong number of fields or a trait "
                                        "value that is not a number");
    o.threads = app.add_option("--threads", t.threads, "Threads for reading and reducing the equations [all cores]");
    o.reduction = app.add_option("--reduction", t.reduction,
                                 "How the equations are reduced: dense, absorbed (the last effect absorbed "
                                 "into the columns before it) or auto [auto]");
    return o;
}

// The text of an item option as a control record keeps it: without trailing
// blanks. A given option must not be blank, for a blank control record is
// one not given.
std::optional<std::string> take_text(const CLI::Option* option, const std::string& name, const std::string& text,
                                     std::string& into) {
    if (option->count() == 0) return std::nullopt;
    into = std::string(tk::significant(text));
    if (is_blank_line(into)) return name + ": the value is empty";
    return std::nullopt;
}

std::optional<std::string> take_missing(const CLI::Option* option, const std::string& text, std::string& into) {
    if (std::optional<std::string> problem = take_text(option, "--missing", text, into)) return problem;
    if (option->count() == 0) return std::nullopt;
    const std::vector<std::string> items = tk::list_items(into);
    if (items.empty()) return std::string("--missing: the value holds no code");
    if (items.size() > static_cast<std::size_t>(missing_code_limit))
        return "--missing: " + std::to_string(items.size()) + " codes given; at most " +
               std::to_string(missing_code_limit) + " can be kept";
    for (const std::string& item : items)
        if (!tk::parse_real(item)) return tk::bad_value_text("--missing", item, "a number");
    return std::nullopt;
}

std::optional<std::string> take_print(const CLI::Option* option, const std::string& text, std::string& into) {
    if (option->count() == 0) return std::nullopt;
    const PrintItems items = parse_print_items(text);
    if (!items.unknown.empty())
        return "--print: '" + items.unknown + "' is not a print option (" + print_names + ")";
    into = print_options_text(items.switches);
    return std::nullopt;
}

constexpr int most_threads = 1024;

std::optional<std::string> take_threads(const CLI::Option* option, const std::string& text, int& into) {
    if (option->count() == 0) return std::nullopt;
    const std::optional<int> threads = tk::parse_whole_number(text);
    if (!threads || *threads < 1 || *threads > most_threads)
        return tk::bad_value_text("--threads", text, "a whole number from 1 to " + std::to_string(most_threads));
    into = *threads;
    return std::nullopt;
}

std::optional<std::string> take_reduction(const CLI::Option* option, const std::string& text,
                                          ReductionPath& into) {
    if (option->count() == 0) return std::nullopt;
    const std::optional<ReductionPath> path = parse_reduction_path(text);
    if (!path) return tk::bad_value_text("--reduction", text, "one of dense, absorbed and auto");
    into = *path;
    return std::nullopt;
}

// A model of factor letters ('A + B|A'), as a data file with a head has.
bool letter_model(const std::string& model) {
    try {
        for (const std::string& name : model_column_names(model))
            if (name.size() != 1 || !std::isalpha(static_cast<unsigned char>(name[0]))) return false;
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

// A table by its option or its name. A file named like a table stays a data
// file with a head of keyword lines, as it always was, when the options are
// those of one (no model, a data format, one case per line), or when its
// first line does not hold the columns of a model of factor letters; a .txt
// file is a table only when its first line holds the columns of the model.
bool is_table(const OptionTexts& t, const Options& o, RunParameters& run) {
    if (o.table->count() > 0 || t.data == tk::standard_stream_name) return true;
    if (o.model->count() == 0 || o.format->count() > 0 || o.one_case_per_line->count() > 0) return false;
    const std::string_view base = table::without_compression_suffix(t.data);
    const bool model_in_header =
        looks_like_table(t.data, t.model, o.separator->count() > 0 ? separator_named(t.separator) : std::nullopt);
    if (table::has_suffix(base, ".csv") || table::has_suffix(base, ".tsv")) {
        if (model_in_header || !letter_model(t.model)) return true;
        run.table_name_read_as_data_file = true;
        return false;
    }
    return table::has_suffix(base, ".txt") && model_in_header;
}

// Missing codes of a table, separated by blanks or commas as the codes of a
// data file are: a code may be any text without them ("n/a", "-").
std::optional<std::string> take_table_missing(const std::string& text, std::vector<std::string>& into) {
    constexpr std::string_view separators = " \t,";
    for (std::size_t i = text.find_first_not_of(separators); i != std::string::npos;) {
        const std::size_t end = text.find_first_of(separators, i);
        into.push_back(text.substr(i, end - i));
        i = text.find_first_not_of(separators, end);
    }
    if (into.empty()) return std::string("--missing: the value holds no code");
    return std::nullopt;
}

// The settings of a table run; the first problem found, if any.
std::optional<std::string> take_table(const OptionTexts& t, const Options& o, RunParameters& run) {
    TableOptions& table = run.table;
    table.enabled = true;
    table.skip_bad_rows = o.skip_bad_rows->count() > 0;
    if (o.model->count() == 0) return std::string("a table needs --model, naming its columns");
    if (o.traits->count() == 0) return std::string("a table needs --traits, naming its trait columns");
    if (o.format->count() > 0) return std::string("--format: a table has no data format");
    if (o.one_case_per_line->count() > 0)
        return std::string("--one-case-per-line: a table always has one row per line");
    if (o.separator->count() > 0 && !(table.separator = separator_named(t.separator)))
        return "--sep: '" + t.separator + "' is not a separator (, ; tab or one character)";
    // A table has no PRI line: without --print the run writes the export
    // file, the way from a table to kirv.
    if (o.print->count() == 0) {
        run.items.print_options = print_options_text({.kirv = true});
        run.export_by_default = true;
    }
    if (o.missing->count() > 0) return take_table_missing(t.missing, table.missing);
    return std::nullopt;
}

tk::OutputFiles output_files(const OptionTexts& t, const Options& o) {
    return tk::output_files(t.data, t.listing, o.json, t.json, o.results, t.results, table_names(), own_file_names);
}

// The export file goes to the current folder: when the options ask for it
// (or a table run writes it by default) it must be possible to write there.
// A data file's PRI line is read only by the run.
std::optional<std::string> check_export_file(const RunParameters& run) {
    if (!parse_print_items(run.items.print_options).switches.kirv) return std::nullopt;
    const std::optional<std::string> problem = tk::results_file_problem(export_file_name);
    if (!problem) return std::nullopt;
    return std::string("the export file ") + export_file_name + " " + *problem +
           (run.export_by_default ? " (--print without kirv leaves it out)" : "");
}

// The run parameters of the options; the first problem found, if any.
std::optional<std::string> take_parameters(const OptionTexts& t, const Options& o, RunParameters& run) {
    run.listing_switch = 1;
    run.data_file = t.data;
    run.listing_file = t.listing;
    run.standard_streams = true;
    run.json_file = t.json;
    run.report_file = t.results.report;
    run.tables_dir = t.results.tables;
    run.one_case_per_line = o.one_case_per_line->count() > 0;
    run.export_effect_names = true;
    ControlItems& items = run.items;
    std::optional<std::string> problem;
    if ((problem = take_text(o.model, "--model", t.model, items.model))) return problem;
    if ((problem = take_text(o.format, "--format", t.format, items.data_format))) return problem;
    if ((problem = take_text(o.traits, "--traits", t.traits, items.traits))) return problem;
    if ((problem = take_print(o.print, t.print, items.print_options))) return problem;
    if (is_table(t, o, run)) {
        if ((problem = take_table(t, o, run))) return problem;
    } else {
        if (o.separator->count() > 0) return std::string("--sep: only a table has a separator (see --table)");
        if (o.skip_bad_rows->count() > 0) return std::string("--skip-bad-rows: only for a table (see --table)");
        if ((problem = take_missing(o.missing, t.missing, items.missing_values))) return problem;
    }
    if ((problem = take_threads(o.threads, t.threads, run.threads))) return problem;
    if ((problem = take_reduction(o.reduction, t.reduction, run.reduction))) return problem;
    if ((problem = tk::take_line_ends(o.results, t.results, run.unix_line_ends))) return problem;
    if ((problem = tk::check_output_files(output_files(t, o)))) return problem;
    return check_export_file(run);
}

// After a failed run no results of an earlier run may stay under their names.
void remove_results(const RunParameters& run) {
    tk::remove_results_file(run.json_file);
    tk::remove_results_file(run.report_file);
    tk::remove_result_tables(run.tables_dir, table_names());
}

int failed(tk::Host& host, const RunParameters& run, const std::string& message, int exit_status) {
    tk::error_box(host, message);
    remove_results(run);
    return exit_status;
}

}  // namespace

PrintItems parse_print_items(std::string_view text) {
    PrintItems items;
    for (std::string item : tk::list_items(text)) {
        std::string word = item;
        tk::to_upper(word);
        OutputSwitches& s = items.switches;
        if (word == "MS") s.ms = true;
        else if (word == "SS") s.ss = true;
        else if (word == "VC") s.vc = true;
        else if (word == "CR") s.cr = true;
        else if (word == "KIRV") s.kirv = true;
        else if (items.unknown.empty()) items.unknown = item;
    }
    return items;
}

std::string print_options_text(const OutputSwitches& switches) {
    std::string text;
    const auto add = [&text](bool on, const char* word) {
        if (!on) return;
        if (!text.empty()) text += ' ';
        text += word;
    };
    add(switches.ms, "MS");
    add(switches.ss, "SS");
    add(switches.vc, "VC");
    add(switches.cr, "CR");
    add(switches.kirv, "KIRV");
    return text.empty() ? std::string(no_print_options) : text;
}

CommandLine read_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CLI::App app{description, "tarvel"};
    app.footer(footer);
    tk::add_version_flag(app, version_text);
    OptionTexts texts;
    const Options options = define_options(app, texts);

    CommandLine line;
    const tk::ParseOutcome parsed = tk::parse_arguments(app, args, out, err);
    if (!parsed.proceed) {
        line.exit_status = parsed.exit_status;
        return line;
    }
    if (const std::optional<std::string> problem = take_parameters(texts, options, line.parameters)) {
        line.exit_status = tk::report_usage_error(err, "tarvel", *problem);
        return line;
    }
    line.run = true;
    return line;
}

int run_command_line(const std::vector<std::string>& args) {
    const CommandLine line = read_command_line(args, std::cout, std::cerr);
    if (!line.run) return line.exit_status;
    const RunParameters& run = line.parameters;
    // A reader that goes away (`tarvel d -o - | head`) makes the writes fail,
    // which ends the run in order, instead of killing it with files half-made.
    std::signal(SIGPIPE, SIG_IGN);
    tk::end_runs_on_signals(tk::InterruptStatus::command_line);
    tk::Host host = tk::detect_host(0);
    if (tk::results_on_terminal(run.listing_file, run.json_file, run.report_file))
        host.terminal = false;
    try {
        if (run.data_file != tk::standard_stream_name && !tk::file_exists(run.data_file))
            return failed(host, run, tk::data_file_not_found_text("TARVEL", run.data_file), tk::exit_failed);
        HostArrays no_arrays;  // with a listing nothing goes back to a host
        const int status = main_routine(host, run, no_arrays, std::nullopt);
        tk::release_status_line(host);
        if (status == 0) return tk::exit_completed;
        remove_results(run);
        return tk::exit_failed;
    } catch (const RunAbort& abort) {
        return failed(host, run, abort.what(), tk::exit_status_abort);
    } catch (const std::bad_alloc&) {
        return failed(host, run, tk::out_of_memory_text, tk::exit_status_abort);
    } catch (const std::exception& error) {
        // A fault of the program itself: reported, never a crash.
        return failed(host, run, std::string("Internal error: ") + error.what(), tk::exit_status_abort);
    }
}

}  // namespace tarvel
