// Ending a run in order on SIGINT, SIGTERM and SIGHUP.
//
// A run that is stopped removes its temporary files (named ones: nameless
// ones vanish with the process), leaves every complete file of an earlier run
// as it was, says so on standard error and ends with its status: 128 plus the
// signal's number from a shell (130 for SIGINT, 143 for SIGTERM), 255 for a
// host (an abnormal end without results, as after "Out of memory!").
//
// Once a run has begun to put its finished results under their names it is
// no longer stopped: those few renames complete, so that the results never
// come out half old and half new.
//
// The handler may only use async-signal-safe calls, so what it needs (the
// names to remove, the exit status) is kept in process-wide state, the one
// place where this system has any.
#pragma once

#include <string>

namespace tk {

enum class InterruptStatus { host, command_line };

// Installs the handlers for the rest of the process.
void end_runs_on_signals(InterruptStatus status);

// A named temporary file that a stopped run removes; forget it once it has
// been renamed or removed. Names beyond the handler's room (64 per run) are
// not removed by it.
void remember_temporary_file(const std::string& path);
void forget_temporary_file(const std::string& path);

// From here on a signal no longer stops the run (its results are being put in place).
void begin_publishing();

// The message of a run stopped by a signal, as written on standard error.
std::string interrupted_text(int signal_number);

}  // namespace tk
