// Helpers of the end-to-end tests of both programs: starting a built program
// in a directory with arguments and environment entries, and reading back
// what it wrote (records, free-form numbers, message boxes, the files left).
#pragma once

#include "tests/common/temp_dir.hpp"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tk_test {

// Records of a text file, without their CR LF (or LF) line ends.
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

// The numbers at the start of a free-form record, up to the first word that
// is not a number (a number followed by other text ends the list after it).
inline std::vector<double> numbers_of(const std::string& record) {
    std::vector<double> values;
    std::istringstream in(record);
    for (std::string word; in >> word;) {
        const char* first = word.data() + (word.front() == '+' ? 1 : 0);
        const char* last = word.data() + word.size();
        double value = 0.0;
        const auto r = std::from_chars(first, last, value);
        if (r.ec != std::errc()) break;
        values.push_back(value);
        if (r.ptr != last) break;
    }
    return values;
}

// The names of the files in a directory, sorted.
inline std::vector<std::string> files_in(const std::filesystem::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}
inline std::vector<std::string> files_in(const TempDir& dir) { return files_in(dir.path); }

// What a message box shows on standard error.
inline std::string box(const std::string& text) { return "Error Message: " + text + "\n"; }

// The texts of the message boxes on standard error, in order.
inline std::vector<std::string> boxes_of(const std::string& standard_error) {
    std::vector<std::string> texts;
    std::istringstream in(standard_error);
    const std::string marker = "Error Message: ";
    for (std::string line; std::getline(in, line);)
        if (line.rfind(marker, 0) == 0) texts.push_back(line.substr(marker.size()));
    return texts;
}

// Standard error without its warnings (a "Warning: " line and the indented
// lines that continue it), for runs whose warnings another test checks.
inline std::string without_warnings(const std::string& standard_error) {
    std::string kept;
    std::istringstream in(standard_error);
    bool in_warning = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Warning: ", 0) == 0) in_warning = true;
        else if (!(in_warning && line.rfind("    ", 0) == 0)) in_warning = false;
        if (!in_warning) kept += line + "\n";
    }
    return kept;
}

// Record text without trailing blanks.
inline std::string trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ') text.pop_back();
    return text;
}

// A word for the shell, in single quotes.
inline std::string shell_quoted(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

struct ProgramRun {
    int exit_status = -1;  // -1 when the program did not end normally
    int signal = 0;        // the signal that ended it, if one did
    std::string standard_output;
    std::string standard_error;
};

// A program started and not yet waited for.
struct StartedProgram {
    pid_t pid = -1;
    std::string output, errors;  // the files that take its standard output and error
};

// Starts a program in a directory with the given arguments; `unset` names are
// removed from its environment, then `environment` entries set. Standard
// output and standard error go to files beside the directory, read back and
// removed by finish_program, so neither can block the program.
inline StartedProgram start_program(const std::string& executable, const std::filesystem::path& directory,
                                    const std::vector<std::string>& args,
                                    const std::map<std::string, std::string>& environment = {},
                                    const std::vector<std::string>& unset = {}) {
    StartedProgram started{-1, directory.string() + ".stdout", directory.string() + ".stderr"};
    std::vector<std::string> words{executable};
    words.insert(words.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& word : words) argv.push_back(word.data());
    argv.push_back(nullptr);
    started.pid = ::fork();
    if (started.pid == 0) {
        const int out = ::open(started.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(started.errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (out < 0 || err < 0) ::_exit(127);
        ::dup2(out, STDOUT_FILENO);
        ::dup2(err, STDERR_FILENO);
        for (const std::string& name : unset) ::unsetenv(name.c_str());
        for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
        if (::chdir(directory.c_str()) == 0) ::execv(executable.c_str(), argv.data());
        ::_exit(127);
    }
    return started;
}

// Waits for the program and collects what it wrote.
inline ProgramRun finish_program(const StartedProgram& started) {
    ProgramRun run;
    int status = 0;
    if (started.pid > 0 && ::waitpid(started.pid, &status, 0) == started.pid) {
        if (WIFEXITED(status)) run.exit_status = WEXITSTATUS(status);
        if (WIFSIGNALED(status)) run.signal = WTERMSIG(status);
    }
    const auto slurp = [](const std::string& name) {
        std::ifstream in(name, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::filesystem::remove(name);
        return text;
    };
    run.standard_output = slurp(started.output);
    run.standard_error = slurp(started.errors);
    return run;
}

// Runs a program to its end (see start_program).
inline ProgramRun run_program(const std::string& executable, const std::filesystem::path& directory,
                              const std::vector<std::string>& args,
                              const std::map<std::string, std::string>& environment = {},
                              const std::vector<std::string>& unset = {}) {
    return finish_program(start_program(executable, directory, args, environment, unset));
}

}  // namespace tk_test
