// tarvel started from a shell: the command line that takes the place of the
// control file, its checks, and the exit statuses of such a run.
//
//   tarvel DATA [-o LISTING] [--model M] [--format F] [--traits T]
//          [--missing LIST] [--print OPTIONS] [--json FILE] [--one-case-per-line]
//          [--threads N] [--reduction dense|absorbed|auto]
//          [--tables DIR] [--report FILE.html] [--line-ends unix|dos]
//
// Each option gives what a control record gives and, like it, wins over the
// data file's own line (MOD, FMT, the trait line, MIS, PRI). The listing is
// always written; no results file for the host is written.
#pragma once

#include "tarvel/driver.hpp"
#include "tarvel/switches.hpp"

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace tarvel {

inline constexpr const char* version_text = "tarvel 1.0";

// The print-options text handed on for "--print ''": it names no option, so
// no optional section is printed and the data file's PRI line is not used.
inline constexpr const char* no_print_options = "NONE";

// How reading the command line ended: a run to make, or the exit status
// (after --help, --version or a usage error).
struct CommandLine {
    bool run = false;
    int exit_status = 0;
    RunParameters parameters;
};

// Reads the arguments (without the program name). --help and --version print
// to out; a usage error is reported to err.
CommandLine read_command_line(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// The switches named by the items of --print (ms ss vc cr kirv in any letter
// case, separated by blanks, commas or slashes), and the first item that is
// none of them, which the command line refuses.
struct PrintItems {
    OutputSwitches switches;
    std::string unknown;
};
PrintItems parse_print_items(std::string_view text);

// The print-options text that sets exactly these switches.
std::string print_options_text(const OutputSwitches& switches);

// The program started with arguments: reads them, runs and returns the exit
// status (tk::exit_completed, tk::exit_failed, tk::exit_usage, or
// tk::exit_status_abort after "Out of memory!" or an internal fault).
int run_command_line(const std::vector<std::string>& args);

}  // namespace tarvel
