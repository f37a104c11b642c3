#include "tarvel/driver.hpp"

#include <algorithm>
#include <exception>
#include <new>

#include "common/cli.hpp"
#include "common/format.hpp"
#include "common/freeform.hpp"
#include "common/json_output.hpp"
#include "common/tokenizer.hpp"
#include "tarvel/analysis.hpp"
#include "tarvel/cases.hpp"
#include "tarvel/export.hpp"
#include "tarvel/json_results.hpp"
#include "tarvel/model.hpp"
#include "tarvel/run_error.hpp"

namespace tarvel {
namespace {

constexpr double seconds_per_hour = 3600.0;

// ------------------------------------------------------------ entry operation

std::vector<double> host_array(std::int32_t capacity) {
    return std::vector<double>(static_cast<std::size_t>(std::max<std::int32_t>(capacity, 0)), 0.0);
}

// Allocated in the order DF, SS, EMS, VC; a negative capacity counts as 0.
HostArrays allocate_host_arrays(const tk::TarvelControl& control) {
    HostArrays arrays;
    arrays.df = host_array(control.capacity_df);
    arrays.ss = host_array(control.capacity_ss);
    arrays.ems = host_array(control.capacity_ems);
    arrays.vc = host_array(control.capacity_vc);
    return arrays;
}

RunParameters run_parameters(const tk::TarvelControl& control) {
    RunParameters run;
    run.listing_switch = control.listing;
    run.data_file = control.data_file;
    run.listing_file = control.listing_file;
    if (run.listing_switch >= 1 && run.listing_file.empty()) run.listing_file = default_listing_name;
    run.items = {control.model, control.data_format, control.traits, control.missing_values, control.print_options};
    return run;
}

// The four arrays, one free-form record each, in the order DF, EMS, SS, VC.
bool write_results_file(const HostArrays& arrays) {
    tk::TextWriter results;
    if (!results.open(results_file_name, /*atomic=*/true)) return false;
    tk::write_list(results, arrays.df);
    tk::write_list(results, arrays.ems);
    tk::write_list(results, arrays.ss);
    tk::write_list(results, arrays.vc);
    return results.close();
}

// After a failed run no results file of an earlier run may stay under its
// name, or the host would take that run's results for this one's.
void discard_host_results() {
    for (const char* name : {results_file_name, no_listing_file_name})
        if (tk::file_exists(name)) tk::remove_file(name);
}

std::string bad_control_text(const tk::TarvelControl& control) {
    return std::string("Cannot read the control file \"") + tk::tarvel_control_file + "\": " + control.problem + ".";
}

// ------------------------------------------------------------ main routine stages

void open_run_files(const RunParameters& run, RunFiles& files) {
    if (!files.scratch.open()) throw RunError("Cannot open the case scratch file.");
    if (!files.data.open(run.data_file)) throw RunError("Cannot open the data file '" + run.data_file + "'.");
    if (run.listing_switch >= 1) {
        // Creating the listing would empty the data file before it is read.
        if (tk::same_file(run.listing_file, run.data_file))
            throw RunError("The listing file '" + run.listing_file +
                           "' is the data file; give the listing another name.");
        const bool opened = run.standard_streams ? tk::open_output(files.listing, run.listing_file, false)
                                                 : files.listing.open(run.listing_file);
        if (!opened) throw RunError("Cannot create the listing file '" + run.listing_file + "'.");
    } else if (!files.no_listing.open(no_listing_file_name, /*atomic=*/true)) {
        throw RunError(std::string("Cannot create the file '") + no_listing_file_name + "'.");
    }
    // Opened before the data are read, so that a place where it cannot be
    // written stops the run before any work.
    if (!run.json_file.empty() && !tk::open_json_output(files.json, run.json_file))
        throw RunError("Cannot create the JSON file '" + run.json_file + "'.");
}

// Without a listing the host takes every result, so the matrices are all produced.
void require_host_capacities(const HostArrays& arrays, const CheckedSpecification& checked, OutputSwitches& switches) {
    const int t = static_cast<int>(checked.trait_names.size());
    if (const std::optional<std::string> problem = host_capacity_problem(arrays, checked.effect_count, t))
        throw RunAbort(*problem);
    switches.ss = switches.ms = switches.vc = switches.cr = true;
}

CaseReading case_reading(const Specification& specification, const CheckedSpecification& checked) {
    return {checked.factor_count, static_cast<int>(checked.trait_names.size()), checked.case_format,
            specification.missing_codes};
}

void finish_reading_cases(RunFiles& files) {
    files.data.close();
    files.scratch.rewind();
}

void open_export_file(tk::TextWriter& export_file, std::string_view trait_text) {
    if (!export_file.open(export_file_name, /*atomic=*/true))
        throw RunError(std::string("Cannot create the export file '") + export_file_name + "'.");
    write_export_header(export_file, trait_text);
}

// Three blank records and the time note in the listing; the time on the status line.
void write_closing_notes(tk::Host& host, RunFiles& files, bool listing, const RunClock& clock) {
    const TimeTexts time = time_texts(elapsed_seconds(clock));
    if (listing) {
        for (int i = 0; i < 3; ++i) tk::write_list(files.listing, {});
        tk::write_list(files.listing, {time.note});
    }
    tk::show_text_without_prefix(host, time.status);
}

void close_or_fail(tk::TextWriter& file) {
    if (file.is_open() && !file.close()) throw RunError("Cannot write the file '" + file.name() + "'.");
}

// Unit 7, then the listing or unit 9, the export file, and the JSON results last.
void close_run_files(RunFiles& files) {
    files.scratch.close();
    close_or_fail(files.listing);
    close_or_fail(files.no_listing);
    close_or_fail(files.export_file);
    close_or_fail(files.json);
}

// The stages of a run in their fixed order; an input error raises RunError.
void run_stages(tk::Host& host, const RunParameters& run, HostArrays& arrays, RunFiles& files, const RunClock& clock) {
    const bool listing = run.listing_switch >= 1;
    const std::string prefix = tk::status_prefix(tk::registry_value("Vorna_Num_Iter"));
    open_run_files(run, files);
    tk::set_up_status_line(host, prefix);
    Specification specification = read_specification(files.data, run.items);
    const CheckedSpecification checked = check_specification(specification);
    if (!listing) require_host_capacities(arrays, checked, specification.switches);
    tk::show_status(host, " Reading and processing data ...");
    const CaseSummary cases = read_cases(files.data, files.scratch, case_reading(specification, checked), host);
    finish_reading_cases(files);
    require_accepted_cases(cases, run.data_file);
    if (specification.switches.kirv) open_export_file(files.export_file, *specification.trait_text);
    const Model model = parse_model(*specification.model);
    const AnalysisInput input{model,         cases.largest_levels,   checked.trait_names, cases.accepted,
                              cases.skipped, specification.switches, listing,             run.threads,
                              run.reduction};
    AnalysisRecord record;
    AnalysisOutput output{files.listing, files.no_listing, files.export_file, arrays,
                          files.json.is_open() ? &record : nullptr};
    reduce_and_analyse(input, files.scratch, output, host);
    if (files.json.is_open())
        tk::write_json(files.json, results_document({run.data_file, run.listing_file, specification, checked,
                                                     cases.accepted, cases.skipped, cases.unreadable, record}));
    write_closing_notes(host, files, listing, clock);
    close_run_files(files);
    tk::release_status_line(host);
}

}  // namespace

RunClock start_run_clock(std::optional<double> fixed_elapsed_seconds) {
    return {std::chrono::steady_clock::now(), fixed_elapsed_seconds};
}

double elapsed_seconds(const RunClock& clock) {
    if (clock.fixed_elapsed_seconds) return *clock.fixed_elapsed_seconds;
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - clock.start).count();
}

// Seconds below an hour, hours from then on; the value as a 4-byte real in "(F10.2)".
TimeTexts time_texts(double elapsed) {
    const bool hours = elapsed >= seconds_per_hour;
    const float shown = static_cast<float>(hours ? elapsed * (1.0 / seconds_per_hour) : elapsed);
    std::string value = tk::write_internal("(F10.2)", {shown}, 10);
    tk::left_adjust(value);
    const std::string digits(tk::significant(value));
    const std::string unit = hours ? " hours" : " seconds";
    return {"Note: The program has used " + digits + unit + " of time.",
            "  The program has used " + digits + unit + "."};
}

std::optional<std::string> host_capacity_problem(const HostArrays& arrays, int n, int t) {
    const auto too_small = [](const std::vector<double>& array, long long needed) {
        return static_cast<long long>(array.size()) < needed;
    };
    const long long sources = static_cast<long long>(n) + 1;
    const long long triangles = (static_cast<long long>(t) + 1) * sources * t / 2;
    if (too_small(arrays.df, sources)) return "* * The dimension of DF array is too small! * *";
    if (too_small(arrays.ss, triangles)) return "* * The dimension of SS array is too small! * *";
    if (too_small(arrays.vc, triangles)) return "* * The dimension of VC array is too small! * *";
    if (too_small(arrays.ems, static_cast<long long>(n) * n)) return "* * The dimension of EMS array is too small! * *";
    return std::nullopt;
}

// Open files stay open until the routine returns: the files for the host are
// then discarded, so a failed run never leaves one under its real name.
int main_routine(tk::Host& host, const RunParameters& run, HostArrays& arrays,
                 std::optional<double> fixed_elapsed_seconds) {
    const RunClock clock = start_run_clock(fixed_elapsed_seconds);
    RunFiles files;
    try {
        run_stages(host, run, arrays, files, clock);
        return 0;
    } catch (const RunError& error) {
        tk::error_box(host, error.what());
        tk::show_status(host, " Error found, program terminated abnormally");
        return error_code_specification;
    }
}

int run_tarvel(std::optional<double> fixed_elapsed_seconds) {
    tk::Host host = tk::detect_host(0);
    try {
        const tk::TarvelControl control = tk::read_tarvel_control();
        if (control.status == tk::ControlStatus::absent) return 0;
        if (control.status == tk::ControlStatus::bad) {
            discard_host_results();
            tk::error_box(host, bad_control_text(control));
            return 0;
        }
        HostArrays arrays = allocate_host_arrays(control);
        const RunParameters run = run_parameters(control);
        if (!tk::file_exists(run.data_file)) {
            discard_host_results();
            tk::error_box(host, "Cannot find the data file for TARVEL module!");
            return 0;
        }
        host = tk::detect_host(control.window);
        if (main_routine(host, run, arrays, fixed_elapsed_seconds) != 0) {
            discard_host_results();
            tk::error_box(host, "Error in running TARVEL module!");
            return 0;
        }
        if (!write_results_file(arrays)) {
            discard_host_results();
            tk::error_box(host, std::string("Cannot write the results file \"") + results_file_name + "\".");
        }
        return 0;
    } catch (const RunAbort& abort) {
        discard_host_results();
        tk::error_box(host, abort.what());
        return tk::exit_status_abort;
    } catch (const std::bad_alloc&) {
        discard_host_results();
        tk::error_box(host, tk::out_of_memory_text);
        return tk::exit_status_abort;
    } catch (const std::exception& error) {
        // A fault of the program itself: reported, never a crash.
        discard_host_results();
        tk::error_box(host, std::string("Internal error: ") + error.what());
        return tk::exit_status_abort;
    }
}

}  // namespace tarvel
