#include "common/run_lock.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "common/files.hpp"
#include "common/interrupt.hpp"

namespace tk {

DirectoryLock::DirectoryLock(DirectoryLock&& other) noexcept { *this = std::move(other); }

DirectoryLock& DirectoryLock::operator=(DirectoryLock&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0) ::close(fd_);
        fd_ = std::exchange(other.fd_, -1);
        busy_ = std::exchange(other.busy_, false);
    }
    return *this;
}

DirectoryLock::~DirectoryLock() {
    if (fd_ >= 0) ::close(fd_);
}

DirectoryLock lock_current_directory() {
    DirectoryLock lock;
    lock.fd_ = ::open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (lock.fd_ < 0) return lock;  // a directory we cannot open: the run's own files will say why
    int result = 0;
    while ((result = ::flock(lock.fd_, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (result != 0 && errno == EWOULDBLOCK) lock.busy_ = true;
    return lock;
}

std::optional<int> open_host_run(Host& host, std::string_view program, const char* control_file,
                                 DirectoryLock& lock) {
    if (!file_exists(control_file)) {
        report_no_control_file(program, control_file);
        return 0;
    }
    lock = lock_current_directory();
    if (lock.busy()) {
        error_box(host, busy_directory_text);
        return exit_status_abort;
    }
    end_runs_on_signals(InterruptStatus::host);
    return std::nullopt;
}

}  // namespace tk
