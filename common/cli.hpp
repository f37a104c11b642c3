// The command-line conventions of both programs when a person starts them
// from a shell instead of a host: the exit statuses, --help and --version,
// usage errors, strict reading of numbers given as option values, and "-"
// for standard output.
//
// Started without arguments a program keeps the host protocol (control file,
// exit status 0 for every orderly end); these conventions apply only when it
// is started with arguments.
#pragma once

#include "common/files.hpp"

#include <CLI/CLI.hpp>

#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tk {

// Exit statuses of a run started with arguments. After "Out of memory!" (or
// an internal fault) the status is exit_status_abort (255) as for the host.
inline constexpr int exit_completed = 0;  // the run completed
inline constexpr int exit_failed = 1;     // the run stopped on an input error or a file it could not use
inline constexpr int exit_usage = 2;      // the command line is wrong; nothing was read or written

// The file name that stands for standard output.
inline constexpr std::string_view standard_stream_name = "-";

// Adds --version, which prints version_text (such as "kirv 1.0"), to a
// parser that already has -h/--help (every CLI::App has).
void add_version_flag(CLI::App& app, const std::string& version_text);

// How reading the arguments ended.
struct ParseOutcome {
    bool proceed = false;  // the arguments are fit: run
    int exit_status = exit_completed;  // otherwise the status to end with
};

// Parses args (without the program name). --help and --version print to out
// and end with exit_completed; a usage error is reported to err (see
// report_usage_error) and ends with exit_usage.
ParseOutcome parse_arguments(CLI::App& app, const std::vector<std::string>& args, std::ostream& out,
                             std::ostream& err);

// "Error Message: <text>" and a line pointing to --help; returns exit_usage.
int report_usage_error(std::ostream& err, const std::string& program, std::string_view text);

// The length of the longest prefix of text that reads as a decimal number:
// optional sign, digits with an optional point and fraction (one digit at
// least), and an exponent when digits follow its letter; 0 when there is none.
std::size_t decimal_prefix_length(std::string_view text);

// The whole text as a finite decimal number (sign, digits, point, exponent);
// nullopt for anything else, such as "0.3x", "nan", "inf" or "0x10".
std::optional<double> parse_real(std::string_view text);

// The whole text as a whole number in the 32-bit range (optional sign and
// digits); nullopt for anything else, such as "2.5" or "1e1".
std::optional<int> parse_whole_number(std::string_view text);

// The items of an option's list, split at blanks, commas, slashes and tabs
// as on a data file's line: "ms, ss/vc" gives ms, ss and vc.
std::vector<std::string> list_items(std::string_view text);

// The message of a value that does not read: "--genetic-group: 'x' is not a whole number".
std::string bad_value_text(std::string_view option, std::string_view value, std::string_view expected);

// Opens out on standard output for the name "-", otherwise on the named file
// (atomic: under a temporary name, renamed into place when closed).
bool open_output(TextWriter& out, std::string_view name, bool atomic);

// True when both names lead to the same file, an existing one or one still
// to be created ("-", standard output, never does, nor a character device
// such as /dev/null, which any number of outputs may share; a FIFO does, for
// two outputs would mix their text in it). Full names are compared.
bool same_file(std::string_view a, std::string_view b);

// The one of a program's own files (the fixed names of its control and
// results files, such as "KIRV.IN_") that name leads to; nullopt for none.
std::optional<std::string> own_file_named(std::string_view name, std::span<const std::string_view> own_files);

// The files of a run started with arguments.
struct OutputFiles {
    std::string_view data;
    std::string_view listing;
    bool json_given = false;  // --json was given (maybe with an empty name)
    std::string_view json;    // empty: no JSON results
    std::span<const std::string_view> own_files = {};  // names no results file may take
    bool report_given = false;
    std::string_view report;  // empty: no HTML report
    bool tables_given = false;
    std::string_view tables;  // the directory of the tables; empty: none
    std::vector<std::string> table_names;  // the files written into it
};

// Where the files would collide or cannot be written at all: an empty name,
// two results on standard output, a results file that is the data file, one
// of the program's own files or another results file, a listing, JSON file or
// report that is a directory or whose folder is missing or cannot be written
// in, a tables directory that is a file or cannot be made. nullopt when they fit.
std::optional<std::string> check_output_files(const OutputFiles& files);

// The options of both command lines for results beside the listing and the
// JSON: --tables DIR, --report FILE and --line-ends unix|dos.
struct ResultOptionTexts {
    std::string tables, report, line_ends;
};
struct ResultOptions {
    CLI::Option* tables = nullptr;
    CLI::Option* report = nullptr;
    CLI::Option* line_ends = nullptr;
};
ResultOptions add_result_options(CLI::App& app, ResultOptionTexts& texts, std::string_view table_list);

// The files of a command line: the data file, the listing, --json (its
// option and text) and the result options, with the names of the tables and
// the program's own files.
OutputFiles output_files(std::string_view data, std::string_view listing, const CLI::Option* json_option,
                         std::string_view json, const ResultOptions& options, const ResultOptionTexts& texts,
                         std::vector<std::string> table_names, std::span<const std::string_view> own_files);

// Whether the listing's records end in LF alone (--line-ends unix) rather
// than CR LF (dos, the default); the problem of any other value.
std::optional<std::string> take_line_ends(const ResultOptions& options, const ResultOptionTexts& texts,
                                          bool& unix_line_ends);

// After a failed run no results file may stay under its name, so that no
// earlier run's results can pass for this one's ("-" and "" name none). Only
// a regular file under the name itself goes (see remove_regular_file): never
// a symbolic link nor the file it leads to, a device or a FIFO.
void remove_results_file(std::string_view name);
// The same for the tables of a failed run: the named files in the directory.
void remove_result_tables(std::string_view directory, const std::vector<std::string>& names);

// True when the listing or the JSON goes to standard output on a terminal:
// a status line painted there would mix with them.
bool results_on_terminal(std::string_view listing, std::string_view json, std::string_view report);

}  // namespace tk
