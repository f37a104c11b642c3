// One run at a time in a directory under the host protocol.
//
// The control files and the results files for the host have fixed names in
// the current directory, so two runs there would read and replace each
// other's files. A run started by a host therefore holds an exclusive lock
// (flock) on the directory itself for its whole length; the lock goes with
// the process, however it ends, and leaves no file behind. A second run does
// not wait: it ends at once with busy_directory_text, touching nothing (not
// even its control file), so that its host can tell that it did not run.
// Where the file system has no locks (some network file systems) runs are
// not kept apart.
#pragma once

#include <optional>
#include <string_view>

#include "common/host.hpp"

namespace tk {

inline constexpr const char* busy_directory_text =
    "Another run is using this directory; only one run at a time is supported in a directory. This run did not "
    "start and changed no file: run it again when the other has ended, or in another directory.";

class DirectoryLock {
  public:
    DirectoryLock() = default;
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;
    DirectoryLock(DirectoryLock&& other) noexcept;
    DirectoryLock& operator=(DirectoryLock&& other) noexcept;
    ~DirectoryLock();

    // True when another process holds the directory.
    bool busy() const { return busy_; }

  private:
    friend DirectoryLock lock_current_directory();
    int fd_ = -1;
    bool busy_ = false;
};

// Takes the lock of the current directory, without waiting.
DirectoryLock lock_current_directory();

// The opening of a run started by a host, the same in both programs: without
// its control file the program says what it expected and ends with status 0;
// in a directory that another run holds it ends at once with
// exit_status_abort, touching nothing; otherwise `lock` holds the directory
// from here on and SIGINT, SIGTERM and SIGHUP end the run in order. Returns
// the exit status when the run ends here.
std::optional<int> open_host_run(Host& host, std::string_view program, const char* control_file,
                                 DirectoryLock& lock);

}  // namespace tk
