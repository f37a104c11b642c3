#include "tarvel/command_line.hpp"

#include "common/cli.hpp"
#include "common/host.hpp"
#include "common/interrupt.hpp"
#include "common/tokenizer.hpp"

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
    "Print options: ms ss vc cr kirv (kirv also writes KIRV.IN_ in the current directory).\n"
    "Exit status: 0 completed, 1 the run failed (the message names the reason), 2 usage error, "
    "255 out of memory.\n"
    "Without arguments tarvel reads its settings from the control file tanv~tm0.$$$ of its host.";

constexpr const char* print_names = "ms ss vc cr kirv";

// The text of each option as given; checked after parsing.
struct OptionTexts {
    std::string data, listing = default_listing_name, json;
    std::string model, format, traits, missing, print;
    std::string threads;
    std::string reduction;
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
    CLI::Option* one_case_per_line;
};

Options define_options(CLI::App& app, OptionTexts& t) {
    app.add_option("DATA", t.data, "Data file (head with MOD, FMT, MIS, PRI and trait lines, then the cases)")
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
    o.one_case_per_line = app.add_flag("--one-case-per-line")->description(
        "Free-form cases: each line is one case, and a line short of values is unreadable instead of read on "
        "into the next line (for data from spreadsheets or R, where an empty last field means a missing value)");
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

tk::OutputFiles output_files(const OptionTexts& t, const Options& o) {
    return {t.data, t.listing, o.json->count() > 0, t.json, own_file_names};
}

// The run parameters of the options; the first problem found, if any.
std::optional<std::string> take_parameters(const OptionTexts& t, const Options& o, RunParameters& run) {
    run.listing_switch = 1;
    run.data_file = t.data;
    run.listing_file = t.listing;
    run.standard_streams = true;
    run.json_file = t.json;
    run.one_case_per_line = o.one_case_per_line->count() > 0;
    ControlItems& items = run.items;
    std::optional<std::string> problem;
    if ((problem = take_text(o.model, "--model", t.model, items.model))) return problem;
    if ((problem = take_text(o.format, "--format", t.format, items.data_format))) return problem;
    if ((problem = take_text(o.traits, "--traits", t.traits, items.traits))) return problem;
    if ((problem = take_missing(o.missing, t.missing, items.missing_values))) return problem;
    if ((problem = take_print(o.print, t.print, items.print_options))) return problem;
    if ((problem = take_threads(o.threads, t.threads, run.threads))) return problem;
    if ((problem = take_reduction(o.reduction, t.reduction, run.reduction))) return problem;
    return tk::check_output_files(output_files(t, o));
}

int failed(tk::Host& host, const RunParameters& run, const std::string& message, int exit_status) {
    tk::error_box(host, message);
    tk::remove_results_file(run.json_file);
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
    if (tk::results_on_terminal({run.data_file, run.listing_file, false, run.json_file})) host.terminal = false;
    try {
        if (!tk::file_exists(run.data_file))
            return failed(host, run, tk::data_file_not_found_text("TARVEL", run.data_file), tk::exit_failed);
        HostArrays no_arrays;  // with a listing nothing goes back to a host
        const int status = main_routine(host, run, no_arrays, std::nullopt);
        tk::release_status_line(host);
        if (status == 0) return tk::exit_completed;
        tk::remove_results_file(run.json_file);
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
