// End-to-end runs of the built tarvel executable: a fresh directory, a control
// file, a data file, one run, then the exit status, the messages on standard
// error and the files left behind.
//
//   tarvel_test::TarvelRun run;
//   run.write("data.txt", "MOD=A\n{Y}\n1 2.5\n2 3.5\n");
//   const tarvel_test::RunResult r = run.run(tarvel_test::ControlFile{});
//   EXPECT_EQ(r.exit_status, 0);
//   EXPECT_TRUE(run.exists("tanv~tm1.$$$"));
#pragma once

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/temp_dir.hpp"

namespace tarvel_test {

inline const char* const control_file = "tanv~tm0.$$$";
inline const char* const results_file = "tanv~tm1.$$$";
inline const char* const no_listing_file = "tanv~tm2.$$$";
inline const char* const export_file = "KIRV.IN_";

inline std::string tarvel_executable() { return std::string(TK_BINARY_DIR) + "/tarvel/tarvel"; }

// The control file the host writes: six integers, then seven text records.
struct ControlFile {
    int window = 0;
    int listing = 1;  // L
    int capacity_df = 100, capacity_ss = 100, capacity_ems = 100, capacity_vc = 100;
    std::string data_file = "data.txt";
    std::string listing_file;
    std::string model;
    std::string data_format;
    std::string traits;
    std::string missing_values;
    std::string print_options;

    std::string text() const {
        std::ostringstream out;
        out << window << ' ' << listing << ' ' << capacity_df << ' ' << capacity_ss << ' ' << capacity_ems << ' '
            << capacity_vc << "\r\n";
        for (const std::string* field : {&data_file, &listing_file, &model, &data_format, &traits, &missing_values,
                                         &print_options})
            out << *field << "\r\n";
        return out.str();
    }
};

struct RunResult {
    int exit_status = -1;       // -1 when the program did not end normally
    std::string standard_error;

    // The texts of the message boxes, in order.
    std::vector<std::string> boxes() const {
        std::vector<std::string> texts;
        std::istringstream in(standard_error);
        const std::string marker = "Error Message: ";
        for (std::string line; std::getline(in, line);)
            if (line.rfind(marker, 0) == 0) texts.push_back(line.substr(marker.size()));
        return texts;
    }
};

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

// The numbers of a free-form record.
inline std::vector<double> numbers_of(const std::string& record) {
    std::vector<double> values;
    std::istringstream in(record);
    for (std::string word; in >> word;) {
        double value = 0.0;
        std::from_chars(word.data(), word.data() + word.size(), value);
        values.push_back(value);
    }
    return values;
}

// One fresh directory in which tarvel runs.
struct TarvelRun {
    tk_test::TempDir dir;

    void write(const std::string& name, const std::string& text) const { dir.write(name, text); }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir.path / name); }
    std::string read(const std::string& name) const { return dir.read(name); }
    std::vector<std::string> records(const std::string& name) const { return records_of(read(name)); }

    // The names of the files in the directory, sorted.
    std::vector<std::string> files() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    // Writes the control file and runs; environment entries are set for the
    // run (the status prefix value "Vorna_Num_Iter" is unset unless given).
    RunResult run(const ControlFile& control, const std::map<std::string, std::string>& environment = {}) const {
        write(control_file, control.text());
        return run_without_control(environment);
    }

    // Runs with whatever the directory holds.
    RunResult run_without_control(const std::map<std::string, std::string>& environment = {}) const {
        int pipe_ends[2];
        if (::pipe(pipe_ends) != 0) return {};
        const std::string directory = dir.path.string();
        const std::string executable = tarvel_executable();
        const pid_t child = ::fork();
        if (child == 0) {
            ::dup2(pipe_ends[1], STDERR_FILENO);
            ::close(pipe_ends[0]);
            ::close(pipe_ends[1]);
            const int null_device = ::open("/dev/null", O_WRONLY);
            ::dup2(null_device, STDOUT_FILENO);
            ::unsetenv("Vorna_Num_Iter");
            for (const auto& [name, value] : environment) ::setenv(name.c_str(), value.c_str(), 1);
            if (::chdir(directory.c_str()) == 0) ::execl(executable.c_str(), executable.c_str(), nullptr);
            ::_exit(127);
        }
        ::close(pipe_ends[1]);
        RunResult result;
        char buffer[4096];
        for (ssize_t n; (n = ::read(pipe_ends[0], buffer, sizeof buffer)) > 0;)
            result.standard_error.append(buffer, static_cast<std::size_t>(n));
        ::close(pipe_ends[0]);
        int status = 0;
        ::waitpid(child, &status, 0);
        if (WIFEXITED(status)) result.exit_status = WEXITSTATUS(status);
        return result;
    }
};

}  // namespace tarvel_test
