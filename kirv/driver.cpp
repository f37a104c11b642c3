#include "kirv/driver.hpp"

#include "common/cli.hpp"
#include "common/format.hpp"
#include "common/interrupt.hpp"
#include "common/json_output.hpp"
#include "common/run_lock.hpp"
#include "common/tokenizer.hpp"
#include "kirv/bending.hpp"
#include "kirv/components.hpp"
#include "kirv/genetic_group.hpp"
#include "kirv/heritability.hpp"
#include "kirv/json_input.hpp"
#include "kirv/json_results.hpp"
#include "kirv/report.hpp"
#include "kirv/results.hpp"
#include "kirv/tables_output.hpp"

#include <chrono>
#include <exception>
#include <new>
#include <optional>

namespace kirv {
namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* registry_name = "Kirv_Num_Iter";
constexpr double seconds_per_hour = 3600.0;

// The files of a run: the data file (unit 5), the listing (unit 6), the
// summary file (unit 7), the JSON results, the report and the tables. Every file written is a results
// file (tk::TextWriter): all are finished, and only then all put under their
// names, when the run completes.
struct RunFiles {
    tk::TextReader data;
    tk::TextWriter listing;
    tk::TextWriter summary;
    tk::TextWriter json;
    tk::TextWriter report;
    std::vector<tk::TextWriter> tables;
    // Once the listing is opened a failed run removes an earlier one of its
    // name; before (or when it may not be replaced) that stays.
    bool listing_opened = false;
};

// The mean-square and variance-component arrays.
struct Components {
    EffectMatrices ms;
    tk::Matrix inverse_ems;
    EffectMatrices vc;
};

// What the bending step leaves for the later steps.
struct BendingStep {
    int status_word = 1;           // 1 unless a bending left another status
    bool heading_written = false;  // the results block opened with ">>> R E S U L T S <<<"
    std::optional<Bending> bending;  // what the bending gave, when it ran
};

std::size_t at(int k) { return static_cast<std::size_t>(k); }

// A bending that was asked for and failed leaves the matrices as estimated;
// the listing says so in its bending block, and standard error says so too,
// since the run still ends in order.
void warn_of_failed_bending(tk::Host& host, const BendingStep& step, double minimum_eigenvalue) {
    if (!step.bending) return;
    switch (classify_bending(*step.bending, minimum_eigenvalue)) {
        case BendingOutcome::success:
        case BendingOutcome::not_needed:
        case BendingOutcome::other: return;
        default: break;
    }
    std::string text = "Bending failed";
    const char* separator = ": ";
    for (const std::string& line : bending_outcome_lines(*step.bending, minimum_eigenvalue)) {
        const std::string_view words = tk::significant(line);
        const std::size_t first = words.find_first_not_of(" =>");
        if (first == std::string_view::npos) continue;
        text += separator + std::string(words.substr(first));
        separator = "; ";
    }
    tk::warning(host, text + ". Every parameter is computed from the matrices as estimated.");
}

void text_record(tk::TextWriter& out, std::string_view text) { tk::write_formatted(out, "(A)", {text}); }

std::string capitalized(std::string text) {
    if (!text.empty() && text[0] >= 'a' && text[0] <= 'z') text[0] = static_cast<char>(text[0] - 'a' + 'A');
    return text;
}

void open_summary_file(tk::TextWriter& summary) {
    if (!summary.open(summary_file_name, /*atomic=*/true))
        throw RunError(status_file, std::string("Cannot open the summary file ") + summary_file_name + " (" +
                                        summary.problem() + ")!");
}

// The listing may not take the name of one of kirv's own files.
void check_listing_name(const std::string& listing_file) {
    if (const std::optional<std::string> own = tk::own_file_named(listing_file, own_file_names))
        throw RunError(status_file, "The listing file " + listing_file + " is kirv's own file " + *own +
                                        "; give the listing another name!");
}

void open_input_files(RunFiles& files, const RunRequest& request) {
    const ControlSettings& given = request.given;
    if (!files.data.open(given.data_file))
        throw RunError(status_file, "Cannot open the data file " + given.data_file + "!");
    files.data.limit_records(record_limit);
    if (request.listing_switch < 1) return;
    check_listing_name(given.listing_file);
    // The listing would take the data file's place.
    if (tk::same_file(given.listing_file, given.data_file))
        throw RunError(status_file, "The listing file " + given.listing_file +
                                        " is the data file; give the listing another name!");
    const bool opened = request.standard_streams ? tk::open_output(files.listing, given.listing_file, true)
                                                 : files.listing.open(given.listing_file, /*atomic=*/true);
    if (!opened)
        throw RunError(status_file, "Cannot open the listing file " + given.listing_file + " (" +
                                        files.listing.problem() + ")!");
    files.listing_opened = true;
    if (request.unix_line_ends) files.listing.use_unix_line_ends();
}

// Opened before the data are read, so that a place where they cannot be
// written stops the run before any work.
void open_results_files(RunFiles& files, const RunRequest& request) {
    if (!request.json_file.empty() && !tk::open_json_output(files.json, request.json_file))
        throw RunError(status_file,
                       "Cannot open the JSON file " + request.json_file + " (" + files.json.problem() + ")!");
    if (!request.report_file.empty() && !tk::open_output(files.report, request.report_file, /*atomic=*/true))
        throw RunError(status_file,
                       "Cannot open the report file " + request.report_file + " (" + files.report.problem() + ")!");
    if (!request.tables_dir.empty())
        if (const std::optional<std::string> problem = tk::prepare_table_directory(request.tables_dir))
            throw RunError(status_file, "Cannot write the tables: " + *problem + "!");
}

// The JSON results, the tables and the report are made from one document.
bool wants_results_document(const RunRequest& request, const RunFiles& files) {
    return files.json.is_open() || files.report.is_open() || !request.tables_dir.empty();
}

void write_results_document(const RunRequest& request, RunFiles& files, const tk::Json& results) {
    if (files.json.is_open()) tk::write_json(files.json, results);
    if (!request.tables_dir.empty())
        if (const std::optional<std::string> problem = write_result_tables(request.tables_dir, results, files.tables))
            throw RunError(status_file, *problem);
    if (files.report.is_open()) write_report(files.report, results);
}

// MS = SS / DF, then VC = EMS^-1 MS.
Components compute_components(const Specification& input) {
    Components c;
    c.ms = compute_mean_squares(input.ss, input.df);
    ComponentSolution solution = solve_components(input.ems, c.ms);
    if (solution.singular) throw RunError(status_singular_ems, "The EMS matrix is singular!");
    c.inverse_ems = std::move(solution.inverse_ems);
    c.vc = std::move(solution.vc);
    return c;
}

// The memo opens the listing; without a listing the first summary record.
void write_opening(RunFiles& files, bool listing, const ControlSettings& given, const Specification& input,
                   const LocalTime& now) {
    if (!listing) {
        write_first_summary_record(files.summary, input);
        return;
    }
    const MemoSettings memo{given.data_file,     input.bending,   input.relative,
                            input.genetic_group, input.reference, input.minimum_eigenvalue,
                            input.replaced_settings, input.effect_names,
                            input.genetic_group_reason};
    write_memo(files.listing, memo, now);
}

// Bends VC(g), reports the outcome and, after a success, replaces VC(g) by
// the bent matrix so that every later step works with it.
BendingStep run_bending_step(tk::Host& host, RunFiles& files, bool listing, const Specification& input,
                             Components& comp) {
    tk::show_status(host, status_bending);
    const int g = input.genetic_group;
    const Bending b = bend_genetic_matrix(g, input.reference, comp.vc, input.minimum_eigenvalue, 1);
    BendingStep step{b.status, false, b};
    if (listing)
        for (const std::string& line : bending_outcome_lines(b, input.minimum_eigenvalue)) text_record(files.listing, line);
    if (classify_bending(b, input.minimum_eigenvalue) != BendingOutcome::success) return step;

    if (!listing) {
        write_bending_summary_records(files.summary, b);
    } else if (input.print_flags[0] == 1) {
        write_bending_block(files.listing, b, comp.vc[at(g)], input.trait_names);
        step.heading_written = true;
    } else {
        text_record(files.listing, " ");
        text_record(files.listing, " ");
    }
    comp.vc[at(g)] = b.bent_matrix;
    return step;
}

// Genetic and phenotypic matrices at both levels, heritabilities and
// correlations with their standard errors.
Results estimate_parameters(tk::Host& host, const Specification& input, const Components& c) {
    const int g = input.genetic_group;
    Results r;
    tk::show_status(host, status_partitioning);
    r.group = partition_group_level(g, c.vc, c.inverse_ems, c.ms);
    tk::show_status(host, status_heritabilities);
    r.group_h2 = group_heritabilities(g, r.group.phenotypic, r.group.genetic, c.inverse_ems, c.ms, input.df);
    r.individual = partition_individual_level(g, input.relative, c.vc, c.inverse_ems);
    r.individual_h2 = individual_heritabilities(r.individual.phenotypic, r.individual.genetic,
                                                r.individual.genetic_coefficients,
                                                r.individual.phenotypic_coefficients, c.ms, input.df);
    tk::show_status(host, status_correlations);
    r.genetic = genetic_correlations(g, r.group.genetic, c.inverse_ems, c.ms, input.df);
    r.phenotypic = phenotypic_correlations(r.individual.phenotypic, r.individual.phenotypic_coefficients, c.ms,
                                           input.df);
    return r;
}

double seconds_since(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// "Cannot write the listing file kirv.lst (No space left on device)!"
RunError write_error(std::string_view what, const tk::TextWriter& file) {
    return RunError(status_file, "Cannot write the " + std::string(what) + " " + file.name() + " (" + file.problem() + ")!");
}

// A write that failed (a full disk) must not pass for a completed run: all
// outputs are written out and flushed first, and only then put under their
// names.
void close_files(RunFiles& files) {
    files.data.close();
    std::vector<std::pair<tk::TextWriter*, const char*>> outputs{{&files.summary, "summary file"},
                                                                 {&files.listing, "listing file"},
                                                                 {&files.json, "JSON file"},
                                                                 {&files.report, "report file"}};
    for (tk::TextWriter& table : files.tables) outputs.emplace_back(&table, "table file");
    for (const auto& [file, what] : outputs)
        if (!file->finish()) throw write_error(what, *file);
    tk::begin_publishing();
    for (const auto& [file, what] : outputs)
        if (!file->publish()) throw write_error(what, *file);
}

// The start of every run, before its settings are taken over: the status
// prefix, the summary file, the clock and the status line.
Clock::time_point begin_run(tk::Host& host, bool listing, RunFiles& files) {
    const std::string prefix = tk::status_prefix(tk::registry_value(registry_name));
    if (!listing) open_summary_file(files.summary);
    const Clock::time_point start = Clock::now();
    tk::set_up_status_line(host, prefix);
    return start;
}

// The pipeline in its fixed order; an input error leaves it as a RunError.
void run_stages(tk::Host& host, const RunRequest& request, Clock::time_point start, const LocalTime& now,
                RunFiles& files) {
    const bool listing = request.listing_switch >= 1;
    const ControlSettings& given = request.given;
    open_input_files(files, request);
    open_results_files(files, request);
    tk::show_status(host, status_reading);
    const Specification input = is_json_data_file(given.data_file)
                                    ? read_json_specification(files.data, given.data_file, given)
                                    : read_specification(files.data, given);
    for (const std::string& text : input.replaced_settings) tk::warning(host, capitalized(text) + ".");
    if (!input.genetic_group_reason.empty())
        tk::warning(host, "The genetic group is effect " + effect_label(input.genetic_group, input.effect_names) +
                              ", chosen by kirv: " + input.genetic_group_reason +
                              ". Name another with --genetic-group (or a GEN line).");

    tk::show_status(host, status_components);
    Components comp = compute_components(input);
    // The components as solved, before bending and zeroing change them.
    const EffectMatrices estimated_vc = wants_results_document(request, files) ? comp.vc : EffectMatrices{};
    write_opening(files, listing, given, input, now);

    const BendingStep bending = input.bending > 0 ? run_bending_step(host, files, listing, input, comp) : BendingStep{};
    if (listing && !bending.heading_written) write_results_heading(files.listing);
    warn_of_failed_bending(host, bending, input.minimum_eigenvalue);
    const RawEstimates raw = raw_estimates(input.genetic_group, input.relative, comp.vc, comp.ms, comp.inverse_ems);
    clear_negative_variances(input.ems, bending.status_word, comp.vc, comp.ms);

    Results results = estimate_parameters(host, input, comp);
    results.checks = check_estimates(raw, results.group, results.individual, input.effect_names);
    write_estimate_warnings(host, results.checks, input.trait_names);
    write_results(listing ? files.listing : files.summary, request.listing_switch, results, input.trait_names,
                  input.print_flags);
    if (wants_results_document(request, files))
        write_results_document(request, files,
                               results_document(given.data_file, given.listing_file, input, estimated_vc, comp.vc,
                                                bending.bending, results));
    tk::show_text_without_prefix(host, elapsed_time_text(seconds_since(start)));
    close_files(files);
}

// A run that failed after opening its listing leaves none, not even an
// earlier one of that name that could pass for its own (never the data file,
// nor standard output).
void remove_earlier_listing(const ControlSettings& given) {
    if (given.listing_file == tk::standard_stream_name || tk::same_file(given.listing_file, given.data_file)) return;
    tk::remove_regular_file(given.listing_file);
}

// The one error path: the unfinished outputs and an earlier listing go; the
// box, the error status text, the negative status.
int stop_run(tk::Host& host, const ControlSettings& given, RunFiles& files, int status, const std::string& message) {
    const bool listing_opened = files.listing_opened;
    files = RunFiles{};
    if (listing_opened) remove_earlier_listing(given);
    tk::error_box(host, message);
    tk::show_status(host, status_error);
    return status;
}

// The pipeline of a request, through the one error path; a file that cannot
// be read ends the run like one that cannot be written. The settings of a
// control file are taken over once the run has begun.
int run_request(tk::Host& host, RunRequest request, const tk::KirvControl* control, const LocalTime& now) {
    RunFiles files;
    try {
        const Clock::time_point start = begin_run(host, request.listing_switch >= 1, files);
        if (control) request.given = take_control_settings(*control);
        run_stages(host, request, start, now, files);
        return run_completed;
    } catch (const RunError& error) {
        return stop_run(host, request.given, files, error.status, error.what());
    } catch (const tk::FileError& error) {
        return stop_run(host, request.given, files, status_file, error.what());
    } catch (const tk::RecordTooLong& error) {
        return stop_run(host, request.given, files, status_record_too_long,
                        "Line " + std::to_string(error.line) + " of the data file " + error.file + " is longer than " +
                            std::to_string(error.limit >> 20) + " MB; no record of a data file is that long!");
    }
}

}  // namespace

std::string elapsed_time_text(double seconds) {
    const bool hours = seconds >= seconds_per_hour;
    const float value = static_cast<float>(hours ? seconds / seconds_per_hour : seconds);
    std::string number = tk::write_internal("(F10.2)", {value}, 10);
    tk::left_adjust(number);
    return "  The program has used " + std::string(tk::significant(number)) + (hours ? " hours." : " seconds.");
}

int run_main_routine(tk::Host& host, const tk::KirvControl& control, const LocalTime& now) {
    return run_request(host, RunRequest{control.listing, {}, false, "", "", "", false}, &control, now);
}

int run_main_routine(tk::Host& host, const RunRequest& request, const LocalTime& now) {
    return run_request(host, request, nullptr, now);
}

int run_driver(const LocalTime& now) {
    tk::Host host;  // no window before the main routine takes it
    // A run that fails leaves no summary file, not even one of an earlier run,
    // so that the host can tell a failed run by its absence.
    const auto failed = [](int exit_status) {
        tk::remove_regular_file(summary_file_name);
        return exit_status;
    };
    try {
        tk::DirectoryLock lock;  // held until the process ends
        if (const std::optional<int> ended = tk::open_host_run(host, "kirv", tk::kirv_control_file, lock)) return *ended;
        const tk::KirvControl control = tk::read_kirv_control();
        if (control.status == tk::ControlStatus::absent) return 0;
        if (control.status == tk::ControlStatus::not_deleted) {
            tk::error_box(host, std::string("The control file ") + tk::kirv_control_file + " cannot be deleted (" +
                                    control.problem + "); the run stops, for the next start would run the same job again!");
            return failed(0);
        }
        if (control.status == tk::ControlStatus::bad) {
            tk::error_box(host, std::string("The control file ") + tk::kirv_control_file + " cannot be read: " +
                                    control.problem + "!");
            return failed(0);
        }
        if (const std::string data_file = control_file_name(control.records[0]); !tk::file_exists(data_file)) {
            tk::error_box(host, tk::data_file_not_found_text("KIRV", data_file));
            return failed(0);
        }
        host = tk::detect_host(control.window);
        const int status = run_main_routine(host, control, now);
        tk::release_status_line(host);
        if (status == run_completed) return 0;
        tk::error_box(host, "Error in running KIRV module!");
        return failed(0);
    } catch (const std::bad_alloc&) {
        tk::error_box(host, tk::out_of_memory_text);
        return failed(tk::exit_status_abort);
    } catch (const std::exception& error) {
        // A fault of the program itself: reported, never a crash.
        tk::error_box(host, std::string("Internal error: ") + error.what());
        return failed(tk::exit_status_abort);
    }
}

}  // namespace kirv
