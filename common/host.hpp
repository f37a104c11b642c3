// The host layer: what the programs show to the person or host that runs them.
//
// The host of the batch protocol owns a window; on Linux its place is taken by
// standard error. The status line is painted there only when standard error is
// a terminal (one line redrawn in place), so pipes and logs stay clean; a
// message box is one line "Error Message: <text>" on standard error; the
// registry value of the status prefix is an environment variable. Warnings
// (input that the run used, but not as written) go there too.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace tk {

inline constexpr std::size_t status_buffer_length = 950;

// Text metrics and client area of the surface the status line is painted on.
struct TextMetrics {
    int height = 1;         // character height
    int average_width = 1;  // average character width
};

struct StatusGeometry {
    int y = 0;    // top of the text line
    int x14 = 0;  // left edge of the 14-character counter at the right end
    int x20 = 0;  // left edge of the 30-character progress text
};

// y = bottom - height; x14 = right - ppi/8 - 14*width; x20 = right - 20*width - ppi/8.
StatusGeometry status_geometry(const TextMetrics& metrics, int pixels_per_inch, int client_right,
                               int client_bottom);

// The 32-bit value of the environment variable of that name; 0 when it is
// absent or not a number.
std::int32_t registry_value(const char* name);

// " >" + the value's digits + "<", cut or padded to ten characters; ten
// blanks for the value 0.
std::string status_prefix(std::int32_t value);

// The run's view of its host: the window handle (kept, otherwise unused),
// whether standard error is a terminal, and the status line painted on it.
struct Host {
    std::int32_t window = 0;
    bool terminal = false;
    int columns = 80;
    std::string prefix = std::string(10, ' ');
    std::string line;   // what the status line shows now (a model of the screen)
    bool painted = false;
    StatusGeometry geometry;
    std::chrono::steady_clock::time_point last_painted{};  // counters repaint a terminal at most 20 times a second
};

// A host for this process: a terminal on standard error or none.
Host detect_host(std::int32_t window);

// Prepares the status line and clears it.
void set_up_status_line(Host& host, std::string prefix);
// Paints the prefix followed by the text at the left end; the whole line is replaced.
void show_status(Host& host, std::string_view text);
// Paints the text alone at the left end (the closing time message).
void show_text_without_prefix(Host& host, std::string_view text);
// Paint 14 or 30 characters at the right end without touching the rest of the line.
void show_counter(Host& host, std::string_view text);
void show_progress(Host& host, std::string_view text);
// Gives the line back: a painted line ends with a newline.
void release_status_line(Host& host);

// A message box: "Error Message: " and the text, one line on standard error.
// The owner is the host window or none (0); the program does not wait.
void error_box(Host& host, std::string_view text);

// A warning that does not stop the run: "Warning: " and the text, one line
// on standard error (further lines of the text follow as they are).
void warning(Host& host, std::string_view text);

// "Cannot find the data file for TARVEL module! There is no file 'x.dat'."
// (module "TARVEL" or "KIRV"): the message names the file it looked for.
std::string data_file_not_found_text(std::string_view module, std::string_view name);

// The one line a program started without arguments shows when there is no
// control file: what it expected, and where its command line is described.
void report_no_control_file(std::string_view program, std::string_view control_file);

inline constexpr const char* out_of_memory_text = "Out of memory!";
// Exit status after "Out of memory!" and after a host capacity error (-1 to the host).
inline constexpr int exit_status_abort = 255;

}  // namespace tk
