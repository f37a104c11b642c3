#include "tarvel/driver.hpp"

#include <algorithm>
#include <exception>
#include <new>

#include "common/cli.hpp"
#include "common/format.hpp"
#include "common/freeform.hpp"
#include "common/interrupt.hpp"
#include "common/json_output.hpp"
#include "common/run_lock.hpp"
#include "common/tokenizer.hpp"
#include "tarvel/analysis.hpp"
#include "tarvel/cases.hpp"
#include "tarvel/export.hpp"
#include "tarvel/json_results.hpp"
#include "tarvel/model.hpp"
#include "tarvel/report.hpp"
#include "tarvel/run_error.hpp"
#include "tarvel/table_reader.hpp"
#include "tarvel/tables_output.hpp"

namespace tarvel {
namespace {

constexpr double seconds_per_hour = 3600.0;

// ------------------------------------------------------------ entry operation

// Nothing is allocated here: only the capacities are kept (a negative one
// counts as 0). The arrays get their room once the run knows what it fills.
HostArrays host_capacities(const tk::TarvelControl& control) {
    const auto capacity = [](std::int32_t c) { return std::max<std::int32_t>(c, 0); };
    HostArrays arrays;
    arrays.capacity_df = capacity(control.capacity_df);
    arrays.capacity_ss = capacity(control.capacity_ss);
    arrays.capacity_ems = capacity(control.capacity_ems);
    arrays.capacity_vc = capacity(control.capacity_vc);
    return arrays;
}

RunParameters run_parameters(const tk::TarvelControl& control) {
    RunParameters run;
    run.listing_switch = control.listing;
    run.data_file = control.data_file;
    run.listing_file = control.listing_file;
    if (run.listing_switch >= 1 && run.listing_file.empty()) run.listing_file = default_listing_name;
    run.items = {control.model, control.data_format, control.traits, control.missing_values, control.print_options};
    run.host_results = true;
    return run;
}

// The four arrays, one free-form record each, in the order DF, EMS, SS, VC,
// each as long as the host's capacity (zeros after what the run filled).
void write_results_file(tk::TextWriter& results, const HostArrays& arrays) {
    const auto length = [](std::int32_t capacity) { return static_cast<std::size_t>(capacity); };
    tk::write_list(results, arrays.df, length(arrays.capacity_df));
    tk::write_list(results, arrays.ems, length(arrays.capacity_ems));
    tk::write_list(results, arrays.ss, length(arrays.capacity_ss));
    tk::write_list(results, arrays.vc, length(arrays.capacity_vc));
}

// After a failed run no results file of an earlier run may stay under its
// name, or the host would take that run's results for this one's.
void discard_host_results() {
    for (const char* name : {results_file_name, no_listing_file_name}) tk::remove_regular_file(name);
}

std::string bad_control_text(const tk::TarvelControl& control) {
    if (control.status == tk::ControlStatus::not_deleted)
        return std::string("Cannot delete the control file \"") + tk::tarvel_control_file + "\": " + control.problem +
               ". The run stops, for the next start would run the same job again.";
    return std::string("Cannot read the control file \"") + tk::tarvel_control_file + "\": " + control.problem + ".";
}

// ------------------------------------------------------------ main routine stages

// The listing may be neither the data file (it is replaced only at the end,
// but then the data would be gone) nor one of tarvel's own files.
void check_listing_name(const RunParameters& run) {
    if (tk::same_file(run.listing_file, run.data_file))
        throw RunError("The listing file '" + run.listing_file + "' is the data file; give the listing another name.");
    if (const std::optional<std::string> own = tk::own_file_named(run.listing_file, own_file_names))
        throw RunError("The listing file '" + run.listing_file + "' is tarvel's own file " + *own +
                       "; give the listing another name.");
}

std::string cannot_create_text(std::string_view what, const tk::TextWriter& file) {
    return "Cannot create " + std::string(what) + " '" + file.name() + "': " + file.problem() + ".";
}

// Every output is opened before the data are read, so that a place where one
// cannot be written stops the run before any work.
void open_run_files(const RunParameters& run, RunFiles& files) {
    files.scratch.open();
    // A table is read by its own reader, once, from its own stream.
    if (!run.table.enabled && !files.data.open(run.data_file))
        throw RunError("Cannot open the data file '" + run.data_file + "'.");
    if (run.listing_switch >= 1) {
        check_listing_name(run);
        const bool opened = run.standard_streams ? tk::open_output(files.listing, run.listing_file, true)
                                                 : files.listing.open(run.listing_file, /*atomic=*/true);
        if (!opened) throw RunError(cannot_create_text("the listing file", files.listing));
        files.listing_opened = true;
        if (run.unix_line_ends) files.listing.use_unix_line_ends();
    } else if (!files.no_listing.open(no_listing_file_name, /*atomic=*/true)) {
        throw RunError(cannot_create_text("the file", files.no_listing));
    }
    if (!run.json_file.empty() && !tk::open_json_output(files.json, run.json_file))
        throw RunError(cannot_create_text("the JSON file", files.json));
    if (run.host_results && !files.results.open(results_file_name, /*atomic=*/true))
        throw RunError(cannot_create_text("the results file", files.results));
    if (!run.report_file.empty() && !tk::open_output(files.report, run.report_file, /*atomic=*/true))
        throw RunError(cannot_create_text("the report file", files.report));
    if (!run.tables_dir.empty())
        if (const std::optional<std::string> problem = tk::prepare_table_directory(run.tables_dir))
            throw RunError("Cannot write the tables: " + *problem + ".");
}

// The JSON results, the tables and the report are made from one document.
bool wants_results_document(const RunParameters& run, const RunFiles& files) {
    return files.json.is_open() || files.report.is_open() || !run.tables_dir.empty();
}

void write_results_document(const RunParameters& run, RunFiles& files, const tk::Json& results) {
    if (files.json.is_open()) tk::write_json(files.json, results);
    if (!run.tables_dir.empty()) write_result_tables(run.tables_dir, results, files.tables);
    if (files.report.is_open()) write_report(files.report, results);
}

// Without a listing the host takes every result, so the matrices are all
// produced. The arrays get room for what the run fills, not for the
// capacities (which a host may give far too large).
void require_host_capacities(HostArrays& arrays, const CheckedSpecification& checked, OutputSwitches& switches) {
    const int n = checked.effect_count;
    const int t = static_cast<int>(checked.trait_names.size());
    if (const std::optional<std::string> problem = host_capacity_problem(arrays, n, t)) throw RunAbort(*problem);
    switches.ss = switches.ms = switches.vc = switches.cr = true;
    const auto z = [](long long v) { return static_cast<std::size_t>(v); };
    const long long sources = static_cast<long long>(n) + 1;
    arrays.df.assign(z(sources), 0.0);
    arrays.ems.assign(z(static_cast<long long>(n) * n), 0.0);
    arrays.ss.assign(z((static_cast<long long>(t) + 1) * sources * t / 2), 0.0);
    arrays.vc.assign(arrays.ss.size(), 0.0);
}

CaseReading case_reading(const RunParameters& run, const Specification& specification,
                         const CheckedSpecification& checked) {
    return {checked.factor_count,        static_cast<int>(checked.trait_names.size()),
            checked.case_format,         specification.missing_codes,
            run.one_case_per_line,       checked.factor_used};
}

void finish_reading_cases(RunFiles& files) {
    files.data.close();
    files.scratch.rewind();
}

// What reading the data hands on to the analysis, whichever reader read them.
struct DataReading {
    Specification specification;  // the settings as used
    CheckedSpecification checked;
    Model model;
    CaseSummary cases;
    std::optional<TableReading> table;  // a table run: names, levels and what was skipped
};

// A data file with its head of specification lines, then the cases.
DataReading read_data_file(tk::Host& host, const RunParameters& run, HostArrays& arrays, RunFiles& files) {
    DataReading data;
    data.specification = read_specification(files.data, run.items);
    data.checked = check_specification(data.specification);
    if (run.listing_switch < 1) require_host_capacities(arrays, data.checked, data.specification.switches);
    tk::show_status(host, " Reading and processing data ...");
    data.cases = read_cases(files.data, files.scratch, case_reading(run, data.specification, data.checked), host);
    finish_reading_cases(files);
    data.model = parse_model(*data.specification.model);
    return data;
}

TableRequest table_request(const RunParameters& run) {
    return {run.data_file,  run.table.separator, run.items.model, run.items.traits, run.table.missing,
            run.table.skip_bad_rows};
}

// Every row skipped: say why, in the terms of a table.
void require_accepted_rows(const TableReading& table, const std::string& data_file) {
    if (table.cases.accepted > 0) return;
    throw RunError("No case accepted! None of the " + std::to_string(table.report.rows) + " rows of '" + data_file +
                   "' has every trait and factor of the model (" + std::to_string(table.cases.skipped) +
                   " miss a value, " + std::to_string(table.cases.unreadable) + " are bad rows).");
}

// A code given with --missing that no cell held is most likely a typo: say so.
void warn_unmatched_missing_codes(tk::Host& host, const TableReport& report, const std::string& data_file) {
    const std::vector<std::string>& codes = report.unmatched_missing_codes;
    if (codes.empty()) return;
    std::string quoted;
    for (const std::string& code : codes) quoted += (quoted.empty() ? "'" : ", '") + code + "'";
    tk::warning(host, std::string(codes.size() == 1 ? "the missing code " : "the missing codes ") + quoted +
                          " given with --missing matched no cell of '" + data_file + "'.");
}

// A delimited table: the command line gives the model, the traits and the options.
DataReading read_table_data(tk::Host& host, const RunParameters& run, RunFiles& files) {
    DataReading data;
    Specification& specification = data.specification;
    specification.model = run.items.model;
    specification.missing_codes.clear();
    for (const std::string& code : run.table.missing)
        if (const std::optional<double> value = tk::parse_real(code))
            specification.missing_codes.push_back(static_cast<float>(*value));
    if (!run.items.print_options.empty())
        specification.switches = print_switches_from_control(run.items.print_options);
    tk::show_status(host, " Reading and processing data ...");
    TableReading table = read_table(table_request(run), files.scratch, host);
    files.scratch.rewind();
    warn_unmatched_missing_codes(host, table.report, run.data_file);
    specification.trait_text = braced_trait_text(table.columns.trait_names);
    data.checked.effect_count = static_cast<int>(table.columns.model.effects.size());
    data.checked.factor_count = table.columns.model.factor_count;
    data.checked.trait_names = table.columns.trait_names;
    data.model = table.columns.model;
    data.cases = table.cases;
    data.table = std::move(table);
    return data;
}

void open_export_file(tk::TextWriter& export_file, std::string_view trait_text) {
    if (!export_file.open(export_file_name, /*atomic=*/true))
        throw RunError(cannot_create_text("the export file", export_file));
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

std::string cannot_write_text(const tk::TextWriter& file) {
    return "Cannot write the file '" + file.name() + "': " + file.problem() + ".";
}

// Unit 7 goes; then the listing or unit 9, the export file, the JSON results,
// the report, the tables and the host's results file are all written out and
// flushed to disk, and only when all of them are there are they put under
// their names.
void close_run_files(RunFiles& files) {
    files.scratch.close();
    std::vector<tk::TextWriter*> outputs{&files.listing, &files.no_listing, &files.export_file,
                                         &files.json,    &files.report,     &files.results};
    for (tk::TextWriter& table : files.tables) outputs.push_back(&table);
    for (tk::TextWriter* file : outputs)
        if (!file->finish()) throw RunError(cannot_write_text(*file));
    tk::begin_publishing();
    for (tk::TextWriter* file : outputs)
        if (!file->publish()) throw RunError(cannot_write_text(*file));
}

// A run that failed after opening its listing leaves none, not even an
// earlier one of that name that could pass for its own (never the data file,
// nor standard output).
void remove_earlier_listing(const RunParameters& run) {
    if (run.listing_file == tk::standard_stream_name || tk::same_file(run.listing_file, run.data_file)) return;
    tk::remove_regular_file(run.listing_file);
}

// The stages of a run in their fixed order; an input error raises RunError.
void run_stages(tk::Host& host, const RunParameters& run, HostArrays& arrays, RunFiles& files, const RunClock& clock) {
    const bool listing = run.listing_switch >= 1;
    const std::string prefix = tk::status_prefix(tk::registry_value("Vorna_Num_Iter"));
    open_run_files(run, files);
    tk::set_up_status_line(host, prefix);
    const DataReading data =
        run.table.enabled ? read_table_data(host, run, files) : read_data_file(host, run, arrays, files);
    write_case_report_warnings(host, data.cases.report);
    if (data.table) require_accepted_rows(*data.table, run.data_file);
    require_accepted_cases(data.cases, run.data_file);
    const OutputSwitches& switches = data.specification.switches;
    if (switches.kirv) open_export_file(files.export_file, *data.specification.trait_text);
    const std::vector<std::string> no_names;
    const AnalysisInput input{data.model,
                              data.cases.largest_levels,
                              data.checked.trait_names,
                              data.cases.accepted,
                              data.cases.skipped,
                              switches,
                              listing,
                              data.table ? data.table->columns.factor_names : no_names,
                              &data.cases.report,
                              run.export_effect_names,
                              run.threads,
                              run.reduction,
                              run.export_by_default};
    AnalysisRecord record;
    const bool keep_record = wants_results_document(run, files);
    AnalysisOutput output{files.listing, files.no_listing, files.export_file, arrays, keep_record ? &record : nullptr};
    reduce_and_analyse(input, files.scratch, output, host);
    if (keep_record)
        write_results_document(run, files,
                               results_document({run.data_file, run.listing_file, data.specification, data.checked,
                                                 data.cases.accepted, data.cases.skipped, data.cases.unreadable,
                                                 data.cases.report, record, data.table ? &*data.table : nullptr}));
    write_closing_notes(host, files, listing, clock);
    if (run.host_results) write_results_file(files.results, arrays);
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
    const auto too_small = [](std::int32_t capacity, long long needed) { return capacity < needed; };
    const long long sources = static_cast<long long>(n) + 1;
    const long long triangles = (static_cast<long long>(t) + 1) * sources * t / 2;
    if (too_small(arrays.capacity_df, sources)) return "* * The dimension of DF array is too small! * *";
    if (too_small(arrays.capacity_ss, triangles)) return "* * The dimension of SS array is too small! * *";
    if (too_small(arrays.capacity_vc, triangles)) return "* * The dimension of VC array is too small! * *";
    if (too_small(arrays.capacity_ems, static_cast<long long>(n) * n))
        return "* * The dimension of EMS array is too small! * *";
    return std::nullopt;
}

// A file named like a table that was read as a data file: its error may
// come from that reading alone, so the message says how it was read.
std::string how_the_data_were_read(const RunParameters& run) {
    if (!run.table_name_read_as_data_file) return "";
    return "\n'" + run.data_file + "' was read as a data file with a head of keyword lines (MOD, FMT, traits in "
           "braces), for its first line is not a header that holds the columns of the model; give --table to read "
           "it as a table.";
}

// The error path: the box, the status text, the error code.
int stop_run(tk::Host& host, const RunParameters& run, RunFiles& files, const std::string& message) {
    const bool listing_opened = files.listing_opened;
    files = RunFiles{};  // every unfinished output goes before the earlier listing does
    if (listing_opened) remove_earlier_listing(run);
    tk::error_box(host, message + how_the_data_were_read(run));
    tk::show_status(host, " Error found, program terminated abnormally");
    return error_code_specification;
}

// Open files stay open until the routine returns: the outputs are then
// discarded, so a failed run never leaves one under its real name. A file
// that cannot be read or written ends the run as an input error does.
int main_routine(tk::Host& host, const RunParameters& run, HostArrays& arrays,
                 std::optional<double> fixed_elapsed_seconds) {
    const RunClock clock = start_run_clock(fixed_elapsed_seconds);
    RunFiles files;
    try {
        run_stages(host, run, arrays, files, clock);
        return 0;
    } catch (const RunError& error) {
        return stop_run(host, run, files, error.what());
    } catch (const tk::FileError& error) {
        return stop_run(host, run, files, error.what());
    }
}

int run_tarvel(std::optional<double> fixed_elapsed_seconds) {
    tk::Host host = tk::detect_host(0);
    try {
        tk::DirectoryLock lock;  // held until the process ends
        if (const std::optional<int> ended = tk::open_host_run(host, "tarvel", tk::tarvel_control_file, lock)) return *ended;
        const tk::TarvelControl control = tk::read_tarvel_control();
        if (control.status == tk::ControlStatus::absent) return 0;
        if (control.status != tk::ControlStatus::read) {
            discard_host_results();
            tk::error_box(host, bad_control_text(control));
            return 0;
        }
        HostArrays arrays = host_capacities(control);
        const RunParameters run = run_parameters(control);
        if (!tk::file_exists(run.data_file)) {
            discard_host_results();
            tk::error_box(host, tk::data_file_not_found_text("TARVEL", run.data_file));
            return 0;
        }
        host = tk::detect_host(control.window);
        if (main_routine(host, run, arrays, fixed_elapsed_seconds) != 0) {
            discard_host_results();
            tk::error_box(host, "Error in running TARVEL module!");
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
