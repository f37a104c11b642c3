// The spine of tarvel: the entry operation (control file, host result arrays,
// data-file check, results file for the host) and the main routine, which
// calls the stages of a run in their fixed order.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "common/control.hpp"
#include "common/files.hpp"
#include "common/host.hpp"
#include "tarvel/export.hpp"
#include "tarvel/reduced_model.hpp"
#include "tarvel/specification.hpp"

namespace tarvel {

inline constexpr const char* results_file_name = "tanv~tm1.$$$";     // the four host arrays
inline constexpr const char* no_listing_file_name = "tanv~tm2.$$$";  // test records without a listing
inline constexpr const char* default_listing_name = "tarvel.lst";
inline constexpr int error_code_specification = -2;

// The fixed names of tarvel's own files: no listing or JSON file may take one.
inline constexpr std::string_view own_file_names[] = {tk::tarvel_control_file, results_file_name,
                                                      no_listing_file_name, export_file_name};

// Ends the process at once with exit status -1 after its message box (a host
// capacity that is too small); not an input error of the run.
struct RunAbort : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// How a delimited table is read (the command line only).
struct TableOptions {
    bool enabled = false;              // the data file is a table with a header
    std::optional<char> separator;     // absent: found from the header
    std::vector<std::string> missing;  // missing codes beside the empty cell, NA and "."
    bool skip_bad_rows = false;
};

// What the entry operation (or the command line) hands to the main routine.
struct RunParameters {
    std::int32_t listing_switch = 0;  // L: 1 or more writes a listing
    std::string data_file;
    std::string listing_file;
    ControlItems items;
    bool standard_streams = false;  // the file name "-" stands for standard output
    std::string json_file;          // empty: no JSON results
    std::string report_file;        // empty: no HTML report
    std::string tables_dir;         // empty: no CSV tables
    bool unix_line_ends = false;    // the listing's records end in LF, not CR LF
    bool host_results = false;      // the host protocol: "tanv~tm1.$$$" after a completed run
    bool one_case_per_line = false; // free-form cases: a line short of values is unreadable
    TableOptions table;
    bool export_effect_names = false;  // the export file names the effects (runs from a shell)
    bool export_by_default = false;    // the export file was not asked for (a table run without --print)
    bool table_name_read_as_data_file = false;  // a .csv or .tsv whose first line does not hold the model's columns
    int threads = 0;                // 0: every core
    ReductionPath reduction = ReductionPath::automatic;
};

// The result arrays that go back to the host: degrees of freedom, sums of
// squares and cross products, expected-mean-square coefficients, variance
// components. The host's capacities say how many values each record of
// "tanv~tm1.$$$" holds; the arrays hold only what the run fills (nothing with
// a listing), and the rest of each record is written as zeros.
struct HostArrays {
    std::int32_t capacity_df = 0, capacity_ss = 0, capacity_ems = 0, capacity_vc = 0;
    std::vector<double> df;
    std::vector<double> ss;
    std::vector<double> ems;
    std::vector<double> vc;
};

// Elapsed wall-clock time of a run; a fixed elapsed time stands in for the
// measurement when a known running time is wanted.
struct RunClock {
    std::chrono::steady_clock::time_point start;
    std::optional<double> fixed_elapsed_seconds;
};
RunClock start_run_clock(std::optional<double> fixed_elapsed_seconds);
double elapsed_seconds(const RunClock& clock);

// The closing texts: the listing's note and the status text.
struct TimeTexts {
    std::string note;    // "Note: The program has used 42.50 seconds of time."
    std::string status;  // "  The program has used 42.50 seconds."
};
TimeTexts time_texts(double elapsed);

// The files of one run (units 7, 5, 6 or 9, 21 and 18), and the JSON
// results of a run from the command line. Every file written is a results
// file (tk::TextWriter): all are finished, and only then all put under their
// names, at the end of a completed run.
struct RunFiles {
    tk::ScratchFile scratch;
    tk::TextReader data;
    tk::TextWriter listing;     // when L >= 1
    tk::TextWriter no_listing;  // "tanv~tm2.$$$" when L < 1
    tk::TextWriter export_file; // "KIRV.IN_" when KIRV is set
    tk::TextWriter json;        // the JSON results when asked for
    tk::TextWriter report;      // the HTML report when asked for
    std::vector<tk::TextWriter> tables;  // the CSV tables when asked for
    tk::TextWriter results;     // "tanv~tm1.$$$" for the host
    // Once the listing is opened a failed run removes an earlier one of its
    // name; before (or when it may not be replaced) that stays.
    bool listing_opened = false;
};

// The capacity message for the first host array that is too small for n
// effects and t traits; nothing when all fit.
std::optional<std::string> host_capacity_problem(const HostArrays& arrays, int n, int t);

// The main routine: 0 for a completed run, -2 after a specification error or
// a file that cannot be read or written (its box and status text shown; an
// earlier listing of that name is removed). With a JSON file, a report or a
// tables directory named in `run` the completed run also writes them, with
// host_results the host's results file. Raises RunAbort for a capacity
// error; std::bad_alloc passes through.
int main_routine(tk::Host& host, const RunParameters& run, HostArrays& arrays,
                 std::optional<double> fixed_elapsed_seconds);

// The entry operation: returns the exit status (0, or 255 after "Out of
// memory!", a capacity error, a directory in use by another run or a stopping
// signal). Reads and deletes "tanv~tm0.$$$" in the current directory.
int run_tarvel(std::optional<double> fixed_elapsed_seconds = std::nullopt);

}  // namespace tarvel
