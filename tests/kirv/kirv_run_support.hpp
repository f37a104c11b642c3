// End-to-end runs of the built kirv program: each run happens in a fresh
// temporary directory holding a control file or started with arguments (and
// whatever data the test puts there); the harness reports the exit status,
// what the program wrote to standard output and standard error, and the files
// it left.
#pragma once

#include "../common/temp_dir.hpp"

#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace kirv_test {

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

// A word for the shell, in single quotes.
inline std::string shell_quoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

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

// The records of a text file written with CR LF line ends.
inline std::vector<std::string> records_of(const std::string& text) {
    std::vector<std::string> records;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string record = text.substr(start, end - start);
        if (!record.empty() && record.back() == '\r') record.pop_back();
        records.push_back(record);
        start = end + 1;
    }
    return records;
}

// The numbers of one list-directed record.
inline std::vector<double> numbers_of(const std::string& record) {
    std::istringstream in(record);
    std::vector<double> values;
    double x = 0.0;
    while (in >> x) values.push_back(x);
    return values;
}

// The names of the files in dir, sorted.
inline std::vector<std::string> files_in(const tk_test::TempDir& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path)) names.push_back(entry.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

// What a message box shows on standard error.
inline std::string box(const std::string& text) { return "Error Message: " + text + "\n"; }

// Record text without trailing blanks.
inline std::string trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

}  // namespace kirv_test
