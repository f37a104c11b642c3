#include "files.hpp"

#include <fcntl.h>
#include <limits.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "common/interrupt.hpp"

namespace tk {
namespace {

constexpr std::size_t reader_buffer = std::size_t{1} << 20;
constexpr std::size_t writer_buffer = std::size_t{1} << 20;

// "Cannot read the file 'data.txt': Input/output error."
std::string failure_text(std::string_view what, std::string_view name, int error) {
    return "Cannot " + std::string(what) + " the file '" + std::string(name) + "': " + std::strerror(error) + ".";
}

}  // namespace

std::string trim_name(std::string_view name) {
    while (!name.empty() && (name.back() == ' ' || name.back() == '\0')) name.remove_suffix(1);
    return std::string(name);
}

bool file_exists(std::string_view name) {
    const std::string path = trim_name(name);
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool remove_file(std::string_view name) {
    const std::string path = trim_name(name);
    return !path.empty() && ::unlink(path.c_str()) == 0;
}

// ---------------------------------------------------------------- TextReader

RecordTooLong::RecordTooLong(std::string file_name, std::uint64_t line_number, std::size_t limit_bytes)
    : std::runtime_error("Line " + std::to_string(line_number) + " of the file '" + file_name + "' is longer than " +
                         std::to_string(limit_bytes) + " bytes."),
      file(std::move(file_name)),
      line(line_number),
      limit(limit_bytes) {}

TextReader::TextReader(TextReader&& other) noexcept { *this = std::move(other); }

TextReader& TextReader::operator=(TextReader&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        name_ = std::move(other.name_);
        buffer_ = std::move(other.buffer_);
        pos_ = std::exchange(other.pos_, 0);
        end_ = std::exchange(other.end_, 0);
        eof_ = std::exchange(other.eof_, false);
        at_start_ = std::exchange(other.at_start_, false);
        record_limit_ = std::exchange(other.record_limit_, std::string::npos);
        lines_dropped_ = std::exchange(other.lines_dropped_, 0);
    }
    return *this;
}

TextReader::~TextReader() { close(); }

bool TextReader::open(std::string_view name) {
    close();
    const std::string path = trim_name(name);
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    name_ = path;
    buffer_.resize(reader_buffer);
    pos_ = end_ = 0;
    eof_ = false;
    at_start_ = true;
    lines_dropped_ = 0;
    return true;
}

void TextReader::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    pos_ = end_ = 0;
    eof_ = false;
}

void TextReader::rewind() {
    if (fd_ < 0) return;
    // A file that cannot go back (a pipe) would be read on from where it was.
    if (::lseek(fd_, 0, SEEK_SET) != 0) throw FileError(failure_text("go back to the start of", name_, errno), errno);
    pos_ = end_ = 0;
    eof_ = false;
    at_start_ = true;
    lines_dropped_ = 0;
}

bool TextReader::refill() {
    if (fd_ < 0 || eof_) return false;
    if (pos_ > 0) {
        if (record_limit_ != std::string::npos)
            lines_dropped_ += static_cast<std::uint64_t>(std::count(buffer_.data(), buffer_.data() + pos_, '\n'));
        std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    // The buffer is full of one record without its line end (a scanner
    // holds a record whole): it grows, up to the record limit.
    if (end_ == buffer_.size()) {
        if (end_ > record_limit_) record_too_long();
        buffer_.resize(buffer_.size() * 2);
    }
    for (;;) {
        const ssize_t n = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
        if (n > 0) {
            end_ += static_cast<std::size_t>(n);
            if (at_start_ && skip_byte_order_mark() && available() == 0) continue;
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        // A read error is never the end of the file: the rest would be lost.
        if (n < 0) throw FileError(failure_text("read", name_, errno), errno);
        eof_ = true;
        return false;
    }
}

// A UTF-8 byte-order mark that an editor put before the first record is not
// part of it (it would hide the first keyword of the file).
bool TextReader::skip_byte_order_mark() {
    at_start_ = false;
    static constexpr unsigned char mark[] = {0xEF, 0xBB, 0xBF};
    if (available() < sizeof mark || std::memcmp(data(), mark, sizeof mark) != 0) return false;
    advance(sizeof mark);
    return true;
}

bool TextReader::at_end() { return available() == 0 && !refill(); }

bool TextReader::read_record(std::string& line, std::size_t max_length) {
    line.clear();
    if (at_end()) return false;
    std::size_t raw_length = 0;
    char last = '\0';
    for (;;) {
        const char* first = data();
        const std::size_t n = available();
        const char* newline = static_cast<const char*>(std::memchr(first, '\n', n));
        const std::size_t chunk = newline ? static_cast<std::size_t>(newline - first) : n;
        if (line.size() < max_length) line.append(first, std::min(chunk, max_length - line.size()));
        if (chunk > 0) last = first[chunk - 1];
        raw_length += chunk;
        // The limit holds for the record without its line end (CR LF or LF).
        if (raw_length - (newline && last == '\r' ? 1 : 0) > record_limit_) record_too_long();
        if (newline) {
            advance(chunk + 1);
            break;
        }
        advance(chunk);
        if (!refill()) break;
    }
    // A CR before the LF is part of the line end, not of the record.
    if (last == '\r' && raw_length <= max_length) line.pop_back();
    return true;
}

// The record being read starts after every line end before the read position.
void TextReader::record_too_long() const {
    const auto before = static_cast<std::uint64_t>(std::count(buffer_.data(), buffer_.data() + pos_, '\n'));
    throw RecordTooLong(name_, lines_dropped_ + before + 1, record_limit_);
}

void TextReader::skip_record() {
    for (;;) {
        const char* first = data();
        const std::size_t n = available();
        const char* newline = static_cast<const char*>(std::memchr(first, '\n', n));
        if (newline) {
            advance(static_cast<std::size_t>(newline - first) + 1);
            return;
        }
        advance(n);
        if (!refill()) return;
    }
}

// ---------------------------------------------------------------- TextWriter

namespace {

constexpr int link_limit = 40;        // links followed in one name, as the kernel's own limit
constexpr int name_attempts = 100;    // random names tried before giving up

// "dir/" of "dir/name", "" of "name".
std::string directory_prefix(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

std::string directory_of(const std::string& path) {
    const std::string prefix = directory_prefix(path);
    return prefix.empty() ? std::string(".") : prefix;
}

// Six random characters of [0-9A-Za-z].
std::string random_suffix() {
    static constexpr char alphabet[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";
    unsigned char bytes[6] = {};
    if (::getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // No random source: the clock and the process number still differ between tries.
        const auto now = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
        const unsigned long long mixed = now * 0x9E3779B97F4A7C15ull ^ static_cast<unsigned long long>(::getpid());
        for (std::size_t i = 0; i < sizeof bytes; ++i) bytes[i] = static_cast<unsigned char>(mixed >> (8 * i));
    }
    std::string suffix;
    for (unsigned char b : bytes) suffix += alphabet[b % (sizeof alphabet - 1)];
    return suffix;
}

// "dir/name.part-XXXXXX" beside the file, the name cut so that the whole
// stays a name the file system takes (NAME_MAX).
std::string temporary_name(const std::string& path) {
    const std::string suffix = ".part-" + random_suffix();
    const std::string prefix = directory_prefix(path);
    std::string base = path.substr(prefix.size());
    if (base.size() + suffix.size() > NAME_MAX) base.resize(NAME_MAX - suffix.size());
    return prefix + base + suffix;
}

// A new file under a random name beside path, never one that exists (nor a
// symbolic link planted under that name): O_EXCL.
int open_named_temporary(const std::string& path, std::string& temporary) {
    for (int attempt = 0; attempt < name_attempts; ++attempt) {
        temporary = temporary_name(path);
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    return -1;
}

// A file without a name in the directory (O_TMPFILE); -1 where the file
// system has none (EOPNOTSUPP, EISDIR or EINVAL, see nameless_unsupported).
int open_nameless(const std::string& directory, int access, mode_t mode) {
    return ::open(directory.c_str(), O_TMPFILE | access | O_CLOEXEC, mode);
}

bool nameless_unsupported(int error) { return error == EOPNOTSUPP || error == EISDIR || error == EINVAL; }

}  // namespace

namespace {

// The names a name leads to through its symbolic links, itself first;
// nullopt for a loop.
std::optional<std::vector<std::string>> link_chain(std::string_view name) {
    std::vector<std::string> chain{trim_name(name)};
    std::vector<char> text(PATH_MAX);
    for (int i = 0; i < link_limit; ++i) {
        const std::string& path = chain.back();
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return chain;
        const ssize_t n = ::readlink(path.c_str(), text.data(), text.size());
        if (n <= 0) return chain;
        const std::string link(text.data(), static_cast<std::size_t>(n));
        chain.push_back(link.front() == '/' ? link : directory_prefix(path) + link);
    }
    return std::nullopt;
}

// A name that leads through /proc (/dev/stdout, /dev/fd/3) names a file that a
// process holds open: it is written to, never replaced.
bool held_open(const std::vector<std::string>& chain) {
    return std::any_of(chain.begin(), chain.end(), [](const std::string& path) { return path.rfind("/proc/", 0) == 0; });
}

}  // namespace

void remove_regular_file(std::string_view name) {
    // lstat: a symbolic link is never followed, so the file at its end stays.
    const std::string path = trim_name(name);
    struct stat info {};
    if (!path.empty() && ::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(path.c_str());
}

namespace {

std::string cannot_write(const std::string& reason) { return "cannot be written: " + reason; }

// Why no new file can be put into the folder: it must exist, be a folder and
// take new names (write and search permission).
std::optional<std::string> folder_problem(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    struct stat info {};
    const std::string quoted = "'" + folder + "'";
    if (::stat(folder.c_str(), &info) != 0)
        return errno == ENOENT || errno == ENOTDIR ? "the folder " + quoted + " does not exist"
                                                   : "the folder " + quoted + ": " + std::strerror(errno);
    if (!S_ISDIR(info.st_mode)) return quoted + " is not a folder";
    if (::faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
        return "cannot write in the folder " + quoted + ": " + std::strerror(errno);
    return std::nullopt;
}

}  // namespace

// The same decisions as TextWriter::open, without opening anything.
std::optional<std::string> results_file_problem(std::string_view name) {
    const std::string path = trim_name(name);
    const std::optional<std::vector<std::string>> chain = link_chain(path);
    if (!chain) return cannot_write(std::strerror(ELOOP));
    struct stat info {};
    const bool exists = ::stat(path.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) return std::string("is a directory");
    if ((exists && !S_ISREG(info.st_mode)) || held_open(*chain)) {
        if (::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return cannot_write(std::strerror(errno));
        return std::nullopt;
    }
    const std::string& target = chain->back();
    if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return cannot_write(std::strerror(errno));
    if (const std::optional<std::string> problem = folder_problem(directory_of(target))) return cannot_write(*problem);
    return std::nullopt;
}

std::optional<std::string> results_directory_problem(std::string_view name) {
    std::string path = trim_name(name);
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    struct stat info {};
    // The first part of the name that exists takes the missing ones.
    while (::stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) return cannot_write("'" + path + "': " + std::strerror(errno));
        const std::size_t slash = path.rfind('/');
        if (slash == std::string::npos) {
            path = std::string(1, '.');  // (assigning "." trips a false -Wrestrict in g++ 12)
            break;
        }
        path.resize(slash == 0 ? 1 : slash);
    }
    if (const std::optional<std::string> problem = folder_problem(path)) return cannot_write(*problem);
    return std::nullopt;
}

TextWriter::TextWriter(TextWriter&& other) noexcept { *this = std::move(other); }

TextWriter& TextWriter::operator=(TextWriter&& other) noexcept {
    if (this != &other) {
        discard();
        fd_ = std::exchange(other.fd_, -1);
        kind_ = other.kind_;
        buffer_ = std::move(other.buffer_);
        name_ = std::move(other.name_);
        path_ = std::move(other.path_);
        temporary_ = std::move(other.temporary_);
        finished_ = std::exchange(other.finished_, false);
        error_ = std::exchange(other.error_, 0);
        unix_line_ends_ = std::exchange(other.unix_line_ends_, false);
    }
    return *this;
}

TextWriter::~TextWriter() {
    if (fd_ < 0) return;
    if (kind_ == Kind::plain) close();
    else discard();
}

bool TextWriter::fail(int error) {
    if (error_ == 0) error_ = error != 0 ? error : EIO;
    return false;
}

bool TextWriter::open(std::string_view name, bool atomic) {
    if (fd_ >= 0) close();
    name_ = path_ = trim_name(name);
    temporary_.clear();
    buffer_.clear();
    finished_ = false;
    error_ = 0;
    kind_ = atomic ? Kind::results : Kind::plain;
    if (!atomic) {
        fd_ = ::open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        return fd_ >= 0 || fail(errno);
    }
    const std::optional<std::vector<std::string>> chain = link_chain(name_);
    if (!chain) return fail(ELOOP);
    path_ = chain->back();
    struct stat info {};
    const bool exists = ::stat(name_.c_str(), &info) == 0;
    if (exists && S_ISDIR(info.st_mode)) return fail(EISDIR);
    if ((exists && !S_ISREG(info.st_mode)) || held_open(*chain)) {
        // A device, FIFO or socket, or a file held open, takes the text
        // itself (after what it holds): it is never replaced.
        kind_ = Kind::direct;
        path_ = name_;
        fd_ = ::open(path_.c_str(), O_WRONLY | O_APPEND | O_NOCTTY | O_CLOEXEC);
        return fd_ >= 0 || fail(errno);
    }
    if (exists) {
        // A file the user may not write stays, as it would for opening it to write.
        if (::faccessat(AT_FDCWD, path_.c_str(), W_OK, AT_EACCESS) != 0) return fail(errno);
    }
    fd_ = open_nameless(directory_of(path_), O_WRONLY, 0666);
    if (fd_ < 0 && nameless_unsupported(errno)) {
        fd_ = open_named_temporary(path_, temporary_);
        if (fd_ >= 0) remember_temporary_file(temporary_);
        else temporary_.clear();
    }
    return fd_ >= 0 || fail(errno);
}

bool TextWriter::open_standard_output() {
    if (fd_ >= 0) close();
    name_ = path_ = std::string(1, '-');  // (assigning "-" trips a false -Wrestrict in g++ 12)
    temporary_.clear();
    buffer_.clear();
    finished_ = false;
    error_ = 0;
    kind_ = Kind::standard_output;
    fd_ = STDOUT_FILENO;
    return true;
}

void TextWriter::put_record(std::string_view text) {
    if (fd_ < 0) return;
    buffer_.append(text);
    if (unix_line_ends_) buffer_ += '\n';
    else buffer_.append("\r\n", 2);
    if (buffer_.size() >= writer_buffer) write_out();
}

void TextWriter::put_records(std::string_view text) {
    if (fd_ < 0) return;
    if (!unix_line_ends_) {
        buffer_.append(text);
    } else {
        for (std::size_t start = 0; start < text.size();) {
            std::size_t end = text.find("\r\n", start);
            if (end == std::string_view::npos) end = text.size();
            buffer_.append(text.substr(start, end - start));
            if (end < text.size()) buffer_ += '\n';
            start = end + 2;
        }
    }
    if (buffer_.size() >= writer_buffer) write_out();
}

bool TextWriter::write_out() {
    // What the process printed on its standard output before comes first.
    if (kind_ == Kind::standard_output) std::fflush(stdout);
    const char* p = buffer_.data();
    std::size_t left = buffer_.size();
    while (left > 0 && error_ == 0) {
        const ssize_t n = ::write(fd_, p, left);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            fail(n < 0 ? errno : EIO);
            break;
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    buffer_.clear();
    return error_ == 0;
}

void TextWriter::release() {
    if (fd_ >= 0 && kind_ != Kind::standard_output && ::close(fd_) != 0 && kind_ != Kind::results) fail(errno);
    fd_ = -1;
    buffer_.clear();
    finished_ = false;
}

bool TextWriter::finish() {
    if (fd_ < 0 || finished_) return error_ == 0;
    write_out();
    // On disk before it gets its name: a crash never leaves a named file with lost blocks.
    if (kind_ == Kind::results && error_ == 0 && ::fsync(fd_) != 0) fail(errno);
    finished_ = true;
    if (error_ == 0) return true;
    if (kind_ == Kind::results) discard();
    else release();
    return false;
}

void TextWriter::put_in_place() {
    if (temporary_.empty()) {
        // The nameless file gets its name, or a random one beside it that
        // then replaces an earlier file in one rename.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path_.c_str(), AT_SYMLINK_FOLLOW) == 0) return;
        if (errno != EEXIST) {
            fail(errno);
            return;
        }
        for (int attempt = 0; attempt < name_attempts; ++attempt) {
            temporary_ = temporary_name(path_);
            if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temporary_.c_str(), AT_SYMLINK_FOLLOW) == 0) break;
            temporary_.clear();
            if (errno != EEXIST) break;
        }
        if (temporary_.empty()) {
            fail(errno);
            return;
        }
        remember_temporary_file(temporary_);
    }
    if (::rename(temporary_.c_str(), path_.c_str()) != 0) {
        fail(errno);
        ::unlink(temporary_.c_str());
    }
    forget_temporary_file(temporary_);
    temporary_.clear();
}

// The new name on disk too. A file system that cannot flush a directory
// (EINVAL) keeps names in order by itself.
void TextWriter::sync_directory() {
    const int directory = ::open(directory_of(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) return;
    if (::fsync(directory) != 0 && errno != EINVAL) fail(errno);
    ::close(directory);
}

bool TextWriter::publish() {
    if (fd_ < 0) return error_ == 0;
    if (!finished_ && !finish()) return false;
    if (kind_ == Kind::results) {
        put_in_place();
        if (error_ == 0) sync_directory();
    }
    release();
    return error_ == 0;
}

bool TextWriter::close() {
    finish();
    return publish();
}

void TextWriter::discard() {
    if (fd_ < 0) return;
    switch (kind_) {
        case Kind::standard_output:
            write_out();  // what went out cannot be taken back; the stream stays the process's
            break;
        case Kind::plain:
            ::unlink(path_.c_str());
            break;
        case Kind::results:
            if (!temporary_.empty()) {
                ::unlink(temporary_.c_str());
                forget_temporary_file(temporary_);
                temporary_.clear();
            }
            break;
        case Kind::direct:
            break;
    }
    release();
}

std::string TextWriter::problem() const { return error_ == 0 ? std::string() : std::string(std::strerror(error_)); }

// ---------------------------------------------------------------- ScratchFile

ScratchFile::ScratchFile(ScratchFile&& other) noexcept { *this = std::move(other); }

ScratchFile& ScratchFile::operator=(ScratchFile&& other) noexcept {
    if (this != &other) {
        close();
        file_ = std::exchange(other.file_, nullptr);
        folder_ = std::move(other.folder_);
    }
    return *this;
}

ScratchFile::~ScratchFile() { close(); }

std::string ScratchFile::folder() {
    const char* folder = std::getenv("TMPDIR");
    return folder && *folder ? std::string(folder) : std::string("/tmp");
}

void ScratchFile::fail(const char* what) const {
    const int error = errno != 0 ? errno : EIO;
    std::string text = std::string("Cannot ") + what + " the scratch file in '" + folder_ + "': " + std::strerror(error) + ".";
    if (error == ENOSPC || error == EDQUOT || error == EFBIG)
        text += " Is the disk full? The environment variable TMPDIR names the folder for it.";
    throw FileError(text, error);
}

bool ScratchFile::open() {
    close();
    folder_ = folder();
    errno = 0;
    int fd = open_nameless(folder_, O_RDWR, 0600);
    if (fd < 0 && nameless_unsupported(errno)) {
        std::string pattern = folder_ + "/tk-scratch-XXXXXX";
        fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd >= 0) ::unlink(pattern.c_str());  // nameless from here on
    }
    if (fd < 0) fail("create");
    file_ = ::fdopen(fd, "w+b");
    if (!file_) {
        ::close(fd);
        fail("create");
    }
    std::setvbuf(file_, nullptr, _IOFBF, writer_buffer);
    return true;
}

void ScratchFile::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

bool ScratchFile::write(const void* bytes, std::size_t size) {
    if (!file_) return false;
    errno = 0;
    if (std::fwrite(bytes, 1, size, file_) != size) fail("write");
    return true;
}

bool ScratchFile::read(void* bytes, std::size_t size) {
    if (!file_) return false;
    errno = 0;
    const std::size_t n = std::fread(bytes, 1, size, file_);
    if (n == size) return true;
    if (std::ferror(file_)) fail("read");
    if (n > 0) {
        errno = EIO;  // a record cut short: what was written did not all come back
        fail("read");
    }
    return false;
}

void ScratchFile::rewind() {
    if (!file_) return;
    errno = 0;
    // The last block is written here: a full disk shows now or never.
    if (std::fflush(file_) != 0) fail("write");
    if (std::fseek(file_, 0, SEEK_SET) != 0) fail("go back to the start of");
    std::clearerr(file_);
}

bool ScratchFile::read_at(void* bytes, std::size_t size, std::uint64_t offset) const {
    if (!file_) return false;
    const int fd = ::fileno(file_);
    auto* into = static_cast<unsigned char*>(bytes);
    while (size > 0) {
        errno = 0;
        const ssize_t n = ::pread(fd, into, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) fail("read");
        if (n == 0) return false;
        into += n;
        size -= static_cast<std::size_t>(n);
        offset += static_cast<std::uint64_t>(n);
    }
    return true;
}

std::int64_t ScratchFile::size() {
    struct stat info {};
    if (!file_ || std::fflush(file_) != 0 || ::fstat(::fileno(file_), &info) != 0) return -1;
    return static_cast<std::int64_t>(info.st_size);
}

}  // namespace tk
