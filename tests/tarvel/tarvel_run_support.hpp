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

#include <filesystem>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/common/run_support.hpp"

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
    std::string standard_output;

    // The texts of the message boxes, in order.
    std::vector<std::string> boxes() const { return tk_test::boxes_of(standard_error); }
};

using tk_test::numbers_of;
using tk_test::records_of;

// One fresh directory in which tarvel runs.
struct TarvelRun {
    tk_test::TempDir dir;

    void write(const std::string& name, const std::string& text) const { dir.write(name, text); }
    bool exists(const std::string& name) const { return std::filesystem::exists(dir.path / name); }
    std::string read(const std::string& name) const { return dir.read(name); }
    std::vector<std::string> records(const std::string& name) const { return records_of(read(name)); }

    // The names of the files in the directory, sorted.
    std::vector<std::string> files() const { return tk_test::files_in(dir); }

    // Writes the control file and runs; environment entries are set for the
    // run (the status prefix value "Vorna_Num_Iter" is unset unless given).
    RunResult run(const ControlFile& control, const std::map<std::string, std::string>& environment = {}) const {
        write(control_file, control.text());
        return run_without_control(environment);
    }

    // Runs with whatever the directory holds.
    RunResult run_without_control(const std::map<std::string, std::string>& environment = {}) const {
        return run_args({}, environment);
    }

    // Runs with arguments (none: the host protocol).
    RunResult run_args(const std::vector<std::string>& args,
                       const std::map<std::string, std::string>& environment = {}) const {
        const tk_test::ProgramRun r =
            tk_test::run_program(tarvel_executable(), dir.path, args, environment, {"Vorna_Num_Iter"});
        return {r.exit_status, r.standard_error, r.standard_output};
    }
};

}  // namespace tarvel_test
