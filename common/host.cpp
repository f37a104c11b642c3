#include "host.hpp"

#include <sys/ioctl.h>
#include <unistd.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>

#include "format.hpp"
#include "tokenizer.hpp"

namespace tk {
namespace {

// The terminal stands in for the window: one column per average character
// width, a character height of one line, and 8 "pixels" per inch so that the
// right margin (pixels per inch / 8) is one column.
constexpr TextMetrics terminal_metrics{1, 1};
constexpr int terminal_pixels_per_inch = 8;

void emit(std::string_view bytes) {
    std::fwrite(bytes.data(), 1, bytes.size(), stderr);
    std::fflush(stderr);
}

// Redraws the whole line from the model (cut to the terminal width so it never wraps).
void repaint(Host& host) {
    host.painted = true;
    if (!host.terminal) return;
    const std::size_t width = host.columns > 1 ? static_cast<std::size_t>(host.columns - 1) : 1;
    std::string out = "\r";
    out += significant(std::string_view(host.line).substr(0, std::min(width, host.line.size())));
    out += "\x1b[K";
    emit(out);
}

// Overwrites part of the line at a column, leaving the rest as it is. A
// counter may change thousands of times a second; the terminal is repainted
// with it at most every 50 ms, so that painting never slows the run.
void paint_at(Host& host, int column, std::string_view text) {
    if (column < 0) column = 0;
    const std::size_t at = static_cast<std::size_t>(column);
    if (host.line.size() < at + text.size()) host.line.resize(at + text.size(), ' ');
    host.line.replace(at, text.size(), text);
    const auto now = std::chrono::steady_clock::now();
    if (host.terminal && now - host.last_painted < std::chrono::milliseconds(50)) return;
    host.last_painted = now;
    repaint(host);
}

}  // namespace

StatusGeometry status_geometry(const TextMetrics& metrics, int pixels_per_inch, int client_right, int client_bottom) {
    StatusGeometry g;
    g.y = client_bottom - metrics.height;
    g.x14 = client_right - pixels_per_inch / 8 - 14 * metrics.average_width;
    g.x20 = client_right - 20 * metrics.average_width - pixels_per_inch / 8;
    return g;
}

std::int32_t registry_value(const char* name) {
    const char* text = std::getenv(name);
    if (!text) return 0;
    std::string_view s(text);
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    std::int32_t value = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), value);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return 0;
    return value;
}

std::string status_prefix(std::int32_t value) {
    if (value == 0) return std::string(10, ' ');
    std::string digits = write_internal("(I10)", {value}, 10);
    left_adjust(digits);
    std::string prefix = " >" + std::string(significant(digits)) + "<";
    return pad(prefix, 10);
}

Host detect_host(std::int32_t window) {
    Host host;
    host.window = window;
    host.terminal = ::isatty(STDERR_FILENO) == 1;
    if (host.terminal) {
        struct winsize size {};
        if (::ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) host.columns = size.ws_col;
    }
    return host;
}

void set_up_status_line(Host& host, std::string prefix) {
    host.prefix = pad(prefix, 10);
    host.geometry = status_geometry(terminal_metrics, terminal_pixels_per_inch, host.columns, 1);
    host.line.assign(status_buffer_length, ' ');
    repaint(host);
}

void show_status(Host& host, std::string_view text) {
    host.line = pad(host.prefix + std::string(text), status_buffer_length);
    repaint(host);
}

void show_text_without_prefix(Host& host, std::string_view text) {
    host.line = pad(text, status_buffer_length);
    repaint(host);
}

void show_counter(Host& host, std::string_view text) { paint_at(host, host.geometry.x14, pad(text, 14)); }

void show_progress(Host& host, std::string_view text) { paint_at(host, host.geometry.x20, pad(text, 30)); }

void release_status_line(Host& host) {
    if (host.terminal && host.painted) emit("\n");
    host.painted = false;
}

namespace {

// A status line on the terminal keeps its text; the message goes below it.
void emit_message(Host& host, std::string_view label, std::string_view text) {
    if (host.terminal && host.painted) emit("\n");
    host.painted = false;
    std::string out(label);
    out += text;
    out += '\n';
    emit(out);
}

}  // namespace

void error_box(Host& host, std::string_view text) { emit_message(host, "Error Message: ", text); }

void warning(Host& host, std::string_view text) { emit_message(host, "Warning: ", text); }

std::string data_file_not_found_text(std::string_view module, std::string_view name) {
    return "Cannot find the data file for " + std::string(module) + " module! There is no file '" +
           std::string(name) + "'.";
}

void report_no_control_file(std::string_view program, std::string_view control_file) {
    std::string out(program);
    out += ": no control file ";
    out += control_file;
    out += " in the current directory, so nothing to do; run '";
    out += program;
    out += " --help' for the command line.\n";
    emit(out);
}

}  // namespace tk
