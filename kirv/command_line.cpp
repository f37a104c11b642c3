#include "kirv/command_line.hpp"

#include "kirv/tables_output.hpp"

#include "common/cli.hpp"
#include "common/host.hpp"
#include "common/interrupt.hpp"
#include "common/tokenizer.hpp"

#include <csignal>
#include <exception>
#include <iostream>
#include <new>
#include <optional>

namespace kirv {
namespace {

constexpr const char* description =
    "kirv: genetic parameters from an analysis of variance. From the degrees of freedom, EMS coefficients and "
    "sums of squares and cross products in DATA it computes genetic and phenotypic covariance matrices, "
    "heritabilities and genetic and phenotypic correlations with their standard errors, optionally after "
    "bending the genetic covariance matrix. Each option wins over the data file's own line.";

constexpr const char* footer =
    "Print items: be vcgg vcpg vcgi vcpi h2g h2i rg srg rp srp (as on a PRI line).\n"
    "Exit status: 0 completed, 1 the run failed (the message names the reason), 2 usage error, "
    "255 out of memory.\n"
    "Without arguments kirv reads its settings from the control file tanv~tm3.$$$ of its host.";

// The text of each option as given; converted and checked after parsing.
struct OptionTexts {
    std::string data, listing = default_listing_name, json;
    std::string relationship, group, reference, minimum, print;
    tk::ResultOptionTexts results;
};

// The options, so that after parsing each can be asked whether it was given.
struct Options {
    CLI::Option* listing;
    CLI::Option* json;
    CLI::Option* relationship;
    CLI::Option* group;
    CLI::Option* reference;
    CLI::Option* minimum;
    CLI::Option* print;
    CLI::Option* bend;
    CLI::Option* no_bend;
    tk::ResultOptions results;
};

std::vector<std::string> table_names() {
    return std::vector<std::string>(std::begin(table_file_names), std::end(table_file_names));
}

Options define_options(CLI::App& app, OptionTexts& t) {
    app.add_option("DATA", t.data,
                   "Data file (DF, trait names, EMS and SS matrices; REL, BEN, MIN, GEN, REF, PRI lines), "
                   "or tarvel's JSON results (a name ending in .json)")
        ->required();
    Options o{};
    o.listing = app.add_option("-o,--listing", t.listing, "Listing file; '-' writes it to standard output [kirv.lst]");
    o.relationship = app.add_option("--relationship", t.relationship,
                                    "Relationship that scales the genetic-group component to the individual: "
                                    "0.25 for half-sib sire groups, 0.5 for full-sib families; above 0, "
                                    "at most 1 [REL]");
    o.group = app.add_option("--genetic-group", t.group,
                             "The genetic group: its effect number, or its name when the data file names the "
                             "effects (tarvel's JSON, or an export file of tarvel run from a shell); without it kirv takes the "
                             "effect within which another is nested, if only one is [GEN]");
    o.bend = app.add_flag("--bend")->description("Bend the genetic-group covariance matrix if needed [BEN]");
    o.no_bend = app.add_flag("--no-bend")->description("Do not bend [BEN]");
    o.bend->excludes(o.no_bend);
    o.reference = app.add_option("--reference", t.reference,
                                 "Effect number of the bending reference matrix, 1 to the effects; 0: identity [REF]");
    o.minimum = app.add_option("--min-eigenvalue", t.minimum,
                               "Lowest eigenvalue required of the bent matrix; at least 0 [MIN]");
    o.print = app.add_option("--print", t.print,
                             "Result blocks to print, e.g. vcgg,h2g,rg; '' prints none [PRI]");
    o.json = app.add_option("--json", t.json, "Write every number of the run to this JSON file; '-': standard output");
    o.results = tk::add_result_options(app, t.results,
                                       "parameters.csv, correlations.csv, covariances.csv and, with bending, bending.csv");
    return o;
}

// An optional sign and digits, nothing else.
bool is_integer_text(std::string_view text) {
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) text.remove_prefix(1);
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The first problem of a given option's value, if any; the value goes to `into`.
std::optional<std::string> take_real(const CLI::Option* option, const std::string& name, const std::string& text,
                                     std::optional<double>& into) {
    if (option->count() == 0) return std::nullopt;
    into = tk::parse_real(text);
    if (!into) return tk::bad_value_text(name, text, "a number");
    return std::nullopt;
}

std::optional<std::string> take_whole(const CLI::Option* option, const std::string& name, const std::string& text,
                                      std::optional<int>& into) {
    if (option->count() == 0) return std::nullopt;
    into = tk::parse_whole_number(text);
    if (!into) return tk::bad_value_text(name, text, "a whole number");
    return std::nullopt;
}

tk::OutputFiles output_files(const OptionTexts& t, const Options& o) {
    return tk::output_files(t.data, t.listing, o.json, t.json, o.results, t.results, table_names(), own_file_names);
}

// After a failed run no results of an earlier run may stay under their names.
void remove_results(const RunRequest& request) {
    tk::remove_results_file(request.json_file);
    tk::remove_results_file(request.report_file);
    tk::remove_result_tables(request.tables_dir, table_names());
}

// The settings of the options; the first problem found, if any.
std::optional<std::string> take_settings(const OptionTexts& t, const Options& o, RunRequest& request) {
    ControlSettings& given = request.given;
    request.json_file = t.json;
    request.report_file = t.results.report;
    request.tables_dir = t.results.tables;
    given.data_file = t.data;
    given.listing_file = t.listing;
    std::optional<std::string> problem;
    if ((problem = take_real(o.relationship, "--relationship", t.relationship, given.relative))) return problem;
    // Given here, a value outside the range is refused, not replaced by 0.25.
    if (given.relative && !(*given.relative > 0.0 && *given.relative <= 1.0))
        return "--relationship: " + t.relationship + " is outside its range (above 0, at most 1)";
    if (o.group->count() > 0) {
        const std::string text(tk::significant(t.group));
        if (text.empty()) return std::string("--genetic-group: the value is empty");
        // Digits alone are the effect's number; another number (2.5) is
        // refused; any other text, also one led by digits (2nd_sire), a name.
        if (is_integer_text(text) || tk::parse_real(text)) {
            if ((problem = take_whole(o.group, "--genetic-group", text, given.genetic_group_id))) return problem;
        } else {
            given.genetic_group_name = text;
        }
    }
    if ((problem = take_whole(o.reference, "--reference", t.reference, given.reference_id))) return problem;
    if ((problem = take_real(o.minimum, "--min-eigenvalue", t.minimum, given.minimum_eigenvalue))) return problem;
    // Given here, a negative minimum is refused, not replaced by 0; and an
    // out-of-range reference stops the run once the effects are known.
    if (given.minimum_eigenvalue && *given.minimum_eigenvalue < 0.0)
        return "--min-eigenvalue: " + t.minimum + " is outside its range (at least 0)";
    given.reference_must_fit = true;
    given.group_may_be_chosen = true;
    if (o.bend->count() > 0) given.bending = 1;
    if (o.no_bend->count() > 0) given.bending = 0;
    if (o.print->count() > 0) {
        const PrintItems items = parse_print_items(t.print);
        if (!items.unknown.empty())
            return "--print: '" + items.unknown +
                   "' is not a print item (be vcgg vcpg vcgi vcpi h2g h2i rg srg rp srp)";
        given.print_flags = items.flags;
    }
    if ((problem = tk::take_line_ends(o.results, t.results, request.unix_line_ends))) return problem;
    return tk::check_output_files(output_files(t, o));
}

}  // namespace

PrintItems parse_print_items(std::string_view text) {
    PrintItems items;
    for (const std::string& item : tk::list_items(text)) {
        const PrintFlags flags = parse_print_flags(item);
        bool selects = false;
        for (std::size_t k = 0; k < flags.size(); ++k) {
            if (flags[k] == 1) items.flags[k] = 1, selects = true;
        }
        if (!selects && items.unknown.empty()) items.unknown = item;
    }
    return items;
}

CommandLine read_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    CLI::App app{description, "kirv"};
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
    line.request.listing_switch = 1;
    line.request.standard_streams = true;
    if (const std::optional<std::string> problem = take_settings(texts, options, line.request)) {
        line.exit_status = tk::report_usage_error(err, "kirv", *problem);
        return line;
    }
    line.run = true;
    return line;
}

int run_command_line(const std::vector<std::string>& args, const LocalTime& now) {
    const CommandLine line = read_command_line(args, std::cout, std::cerr);
    if (!line.run) return line.exit_status;
    const RunRequest& request = line.request;
    // A reader that goes away (`kirv d -o - | head`) makes the writes fail,
    // which ends the run in order, instead of killing it with files half-made.
    std::signal(SIGPIPE, SIG_IGN);
    tk::end_runs_on_signals(tk::InterruptStatus::command_line);
    tk::Host host = tk::detect_host(0);
    if (tk::results_on_terminal(request.given.listing_file, request.json_file, request.report_file))
        host.terminal = false;
    try {
        int status = run_completed;
        if (!tk::file_exists(request.given.data_file)) {
            tk::error_box(host, tk::data_file_not_found_text("KIRV", request.given.data_file));
            status = status_file;
        } else {
            status = run_main_routine(host, request, now);
            tk::release_status_line(host);
        }
        if (status == run_completed) return tk::exit_completed;
        remove_results(request);
        return tk::exit_failed;
    } catch (const std::bad_alloc&) {
        tk::error_box(host, tk::out_of_memory_text);
        remove_results(request);
        return tk::exit_status_abort;
    } catch (const std::exception& error) {
        // A fault of the program itself: reported, never a crash.
        tk::error_box(host, std::string("Internal error: ") + error.what());
        remove_results(request);
        return tk::exit_status_abort;
    }
}

}  // namespace kirv
