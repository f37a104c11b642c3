// kirv started from a shell: the command line that takes the place of the
// control file, its checks, and the exit statuses of such a run.
//
//   kirv DATA [-o LISTING] [--relationship R] [--genetic-group ID]
//        [--bend | --no-bend] [--reference ID] [--min-eigenvalue X]
//        [--print ITEMS] [--json FILE] [--tables DIR] [--report FILE.html]
//        [--line-ends unix|dos]
//
// Each option gives what a control record gives and, like it, wins over the
// data file's own line (REL, GEN, BEN, REF, MIN, PRI); the bending switch and
// the print flags are separate options here.
#pragma once

#include "kirv/driver.hpp"
#include "kirv/input.hpp"
#include "kirv/memo.hpp"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace kirv {

inline constexpr const char* version_text = "kirv 1.0";

// How reading the command line ended: a run to make, or the exit status
// (after --help, --version or a usage error).
struct CommandLine {
    bool run = false;
    int exit_status = 0;
    RunRequest request;
};

// Reads the arguments (without the program name). --help and --version print
// to out; a usage error is reported to err.
CommandLine read_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The print flags of the items of --print (separated by blanks, commas or
// slashes, read as on a "PRI" line; no item: every flag 0), and the first
// item that selects nothing, which the command line refuses.
struct PrintItems {
    PrintFlags flags{};
    std::string unknown;
};
PrintItems parse_print_items(std::string_view text);

// The program started with arguments: reads them, runs and returns the exit
// status (tk::exit_completed, tk::exit_failed, tk::exit_usage, or
// tk::exit_status_abort after "Out of memory!").
int run_command_line(const std::vector<std::string>& args, const LocalTime& now);

}  // namespace kirv
