// The driver and main routine of kirv: the run control file, the unit plan,
// the fixed pipeline of stages with their status texts, the bending step,
// and the one error path that turns an input error into a message box, a
// status text and a negative run status.
#pragma once

#include "common/control.hpp"
#include "common/host.hpp"
#include "kirv/input.hpp"
#include "kirv/memo.hpp"

#include <string>
#include <string_view>

namespace kirv {

// The status texts of the stages, each 42 characters behind the prefix.
inline constexpr const char* status_reading = " Reading and processing data ...          ";
inline constexpr const char* status_components = " Calculating MS/MCP and VC matrices ...   ";
inline constexpr const char* status_bending = " Stepwise bending ...                     ";
inline constexpr const char* status_partitioning = " Patitioning genetic and phen. VC matrix  ";
inline constexpr const char* status_heritabilities = " Calculating heritabilities and std errors";
inline constexpr const char* status_correlations = " Calculating correlations and std errors  ";
inline constexpr const char* status_error = " Error found, program terminated abnormally";

// The fixed names of kirv's own files: no listing or JSON file may take one.
inline constexpr std::string_view own_file_names[] = {tk::kirv_control_file, summary_file_name};

// "  The program has used 12.5 seconds." below 3600 s, otherwise in hours.
std::string elapsed_time_text(double seconds);

// What a run is asked to do: the listing switch, the settings given ahead of
// the data file's own lines (by the control file or the command line), and
// where the JSON results go.
struct RunRequest {
    int listing_switch = 1;  // 1 or more: a listing; otherwise the summary file
    ControlSettings given;
    bool standard_streams = false;  // the file name "-" stands for standard output
    std::string json_file;          // empty: no JSON results
};

// The main routine: runs the pipeline for the settings of the control file
// and returns the run status (0 for a completed run). An input error shows its
// box and the error status text and returns its negative code.
int run_main_routine(tk::Host& host, const tk::KirvControl& control, const LocalTime& now);

// The same pipeline for settings given directly (the command line).
int run_main_routine(tk::Host& host, const RunRequest& request, const LocalTime& now);

// The program entry: reads and deletes "tanv~tm3.$$$", checks the data file,
// runs the main routine and returns the exit status (0, or 255 after
// "Out of memory!", a directory in use by another run or a stopping signal).
int run_driver(const LocalTime& now);

}  // namespace kirv
