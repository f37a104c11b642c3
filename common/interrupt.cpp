#include "common/interrupt.hpp"

#include "common/host.hpp"

#include <signal.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cstring>

namespace tk {
namespace {

constexpr int slot_count = 64;
constexpr std::size_t slot_length = 4096;  // PATH_MAX, the longest path the system takes
constexpr std::array<int, 3> stopping_signals = {SIGINT, SIGTERM, SIGHUP};

// A slot is filled once and never reused, so the handler never reads a name
// that is being written.
struct Slot {
    std::atomic<bool> used{false};
    char path[slot_length] = {};
};

Slot slots[slot_count];
std::atomic<int> slots_taken{0};
std::atomic<bool> publishing{false};
std::atomic<bool> host_statuses{true};
// The whole message per signal, made before any signal can come.
std::array<std::string, stopping_signals.size()> messages;

const char* signal_name(int signal_number) {
    switch (signal_number) {
        case SIGINT: return "SIGINT";
        case SIGTERM: return "SIGTERM";
        case SIGHUP: return "SIGHUP";
        default: return "a signal";
    }
}

void write_all(const std::string& text) {
    const char* p = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t n = ::write(STDERR_FILENO, p, left);
        if (n <= 0) return;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
}

extern "C" void stop_run(int signal_number) {
    if (publishing.load()) return;  // the run is completing: let it
    const int taken = std::min(slots_taken.load(), slot_count);
    for (int i = 0; i < taken; ++i)
        if (slots[i].used.load()) ::unlink(slots[i].path);
    for (std::size_t k = 0; k < stopping_signals.size(); ++k)
        if (stopping_signals[k] == signal_number) write_all(messages[k]);
    ::_exit(host_statuses.load() ? exit_status_abort : 128 + signal_number);
}

}  // namespace

std::string interrupted_text(int signal_number) {
    return std::string("The run was stopped by ") + signal_name(signal_number) + "; it wrote no results.";
}

void end_runs_on_signals(InterruptStatus status) {
    host_statuses.store(status == InterruptStatus::host);
    // A status line on a terminal keeps its text; the message goes below it.
    const std::string line_break = ::isatty(STDERR_FILENO) == 1 ? "\n" : "";
    for (std::size_t k = 0; k < stopping_signals.size(); ++k)
        messages[k] = line_break + "Error Message: " + interrupted_text(stopping_signals[k]) + "\n";
    struct sigaction action {};
    action.sa_handler = stop_run;
    action.sa_flags = SA_RESTART;
    ::sigemptyset(&action.sa_mask);
    for (int signal_number : stopping_signals) ::sigaddset(&action.sa_mask, signal_number);
    for (int signal_number : stopping_signals) ::sigaction(signal_number, &action, nullptr);
}

void remember_temporary_file(const std::string& path) {
    if (path.size() >= slot_length) return;
    const int k = slots_taken.fetch_add(1);
    if (k >= slot_count) return;
    std::memcpy(slots[k].path, path.c_str(), path.size() + 1);
    slots[k].used.store(true);
}

void forget_temporary_file(const std::string& path) {
    const int taken = std::min(slots_taken.load(), slot_count);
    for (int i = 0; i < taken; ++i)
        if (slots[i].used.load() && path == slots[i].path) slots[i].used.store(false);
}

void begin_publishing() { publishing.store(true); }

}  // namespace tk
