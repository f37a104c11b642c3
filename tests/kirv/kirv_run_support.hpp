// End-to-end runs of the built kirv program: each run happens in a fresh
// temporary directory holding a control file or started with arguments (and
// whatever data the test puts there); the harness reports the exit status,
// what the program wrote to standard output and standard error, and the files
// it left.
#pragma once

#include "tests/common/run_support.hpp"

#include <sys/wait.h>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace kirv_test {

using tk_test::box;
using tk_test::files_in;
using tk_test::numbers_of;
using tk_test::records_of;
using tk_test::shell_quoted;
using tk_test::trimmed;

inline const char* const control_name = "tanv~tm3.$$$";
inline const char* const summary_name = "tanv~tm4.$$$";

// A control file: the host window and the listing switch, then the seven
// records (data file, listing file, switches, relationship, genetic group,
// reference, minimum eigenvalue); records left out are empty.
inline std::string control_text(int listing, const std::vector<std::string>& records, int window = 4711) {
    std::string text = std::to_string(window) + " " + std::to_string(listing) + "\n";
    for (std::size_t i = 0; i < 7; ++i) text += (i < records.size() ? records[i] : std::string()) + "\n";
    return text;
}

struct RunOutcome {
    int exit_status = -1;
    std::string errors;  // standard error: the message boxes
    std::string output;  // standard output
    bool control_left = false;
};

// Runs the built program in dir with the given arguments (none: the host
// protocol, so dir should hold the control file); setup is shell text run
// before it (such as a memory limit). The strings are built by appending:
// g++ 12 gives a false -Wrestrict for some chains of operator+.
inline RunOutcome run_kirv_args(const tk_test::TempDir& dir, const std::vector<std::string>& args,
                                const std::string& setup = "") {
    const std::string program = std::string(TK_BINARY_DIR) + "/kirv/kirv";
    const std::filesystem::path errors = dir.path.parent_path() / (dir.path.filename().string() + ".stderr");
    const std::filesystem::path output = dir.path.parent_path() / (dir.path.filename().string() + ".stdout");
    std::string command = "cd '" + dir.path.string() + "' && " + setup + "'" + program + "'";
    for (const std::string& arg : args) {
        command += ' ';
        command += shell_quoted(arg);
    }
    command += " > '" + output.string() + "' 2> '" + errors.string() + "'";
    const int raw = std::system(command.c_str());
    RunOutcome out;
    out.exit_status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    std::ifstream err_in(errors, std::ios::binary);
    out.errors.assign(std::istreambuf_iterator<char>(err_in), {});
    std::ifstream out_in(output, std::ios::binary);
    out.output.assign(std::istreambuf_iterator<char>(out_in), {});
    std::filesystem::remove(errors);
    std::filesystem::remove(output);
    out.control_left = std::filesystem::exists(dir.path / control_name);
    return out;
}

inline RunOutcome run_kirv(const tk_test::TempDir& dir, const std::string& setup = "") {
    return run_kirv_args(dir, {}, setup);
}

}  // namespace kirv_test
