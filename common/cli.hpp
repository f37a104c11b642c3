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
// to be created ("-", standard output, never does). Full names are compared.
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
    std::span<const std::string_view> own_files = {};  // names the listing and the JSON may not take
};

// Where the files would collide or cannot be written at all: an empty name,
// both results on standard output, a results file that is the data file or
// one of the program's own files, the JSON file that is the listing or a
// directory. nullopt when they fit.
std::optional<std::string> check_output_files(const OutputFiles& files);

// After a failed run no results file may stay under its name, so that no
// earlier run's results can pass for this one's ("-" and "" name none). Only
// a regular file goes (see remove_regular_file): never a device or a FIFO.
void remove_results_file(std::string_view name);

// True when the listing or the JSON goes to standard output on a terminal:
// a status line painted there would mix with them.
bool results_on_terminal(const OutputFiles& files);

}  // namespace tk
