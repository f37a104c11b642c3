#include "files.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace tk {
namespace {

constexpr std::size_t reader_buffer = std::size_t{1} << 20;
constexpr std::size_t writer_buffer = std::size_t{1} << 20;

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
    return !path.empty() && std::remove(path.c_str()) == 0;
}

// ---------------------------------------------------------------- TextReader

TextReader::TextReader(TextReader&& other) noexcept { *this = std::move(other); }

TextReader& TextReader::operator=(TextReader&& other) noexcept {
    if (this != &other) {
        close();
        fd_ = std::exchange(other.fd_, -1);
        buffer_ = std::move(other.buffer_);
        pos_ = std::exchange(other.pos_, 0);
        end_ = std::exchange(other.end_, 0);
        eof_ = std::exchange(other.eof_, false);
    }
    return *this;
}

TextReader::~TextReader() { close(); }

bool TextReader::open(std::string_view name) {
    close();
    const std::string path = trim_name(name);
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return false;
    buffer_.resize(reader_buffer);
    pos_ = end_ = 0;
    eof_ = false;
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
    ::lseek(fd_, 0, SEEK_SET);
    pos_ = end_ = 0;
    eof_ = false;
}

bool TextReader::refill() {
    if (fd_ < 0 || eof_) return false;
    if (pos_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + pos_, end_ - pos_);
        end_ -= pos_;
        pos_ = 0;
    }
    if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
    for (;;) {
        const ssize_t n = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
        if (n > 0) {
            end_ += static_cast<std::size_t>(n);
            return true;
        }
        if (n < 0 && errno == EINTR) continue;
        eof_ = true;  // end of file, or a read error that ends the file for us
        return false;
    }
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

TextWriter::TextWriter(TextWriter&& other) noexcept { *this = std::move(other); }

TextWriter& TextWriter::operator=(TextWriter&& other) noexcept {
    if (this != &other) {
        discard();
        file_ = std::exchange(other.file_, nullptr);
        name_ = std::move(other.name_);
        temporary_name_ = std::move(other.temporary_name_);
        failed_ = std::exchange(other.failed_, false);
        standard_output_ = std::exchange(other.standard_output_, false);
    }
    return *this;
}

TextWriter::~TextWriter() {
    if (!file_) return;
    if (temporary_name_.empty()) close();
    else discard();
}

bool TextWriter::open(std::string_view name, bool atomic) {
    if (file_) close();
    standard_output_ = false;
    name_ = trim_name(name);
    temporary_name_.clear();
    failed_ = false;
    std::string path = name_;
    if (atomic) {
        temporary_name_ = name_ + ".part-" + std::to_string(::getpid());
        path = temporary_name_;
    }
    file_ = std::fopen(path.c_str(), "wb");
    if (!file_) {
        failed_ = true;
        return false;
    }
    std::setvbuf(file_, nullptr, _IOFBF, writer_buffer);
    return true;
}

bool TextWriter::open_standard_output() {
    if (file_) close();
    name_ = std::string(1, '-');  // (assigning "-" trips a false -Wrestrict in g++ 12)
    temporary_name_.clear();
    failed_ = false;
    standard_output_ = true;
    file_ = stdout;
    return true;
}

void TextWriter::put_record(std::string_view text) {
    if (!file_) return;
    if (std::fwrite(text.data(), 1, text.size(), file_) != text.size() || std::fwrite("\r\n", 1, 2, file_) != 2)
        failed_ = true;
}

void TextWriter::put_records(std::string_view text) {
    if (file_ && std::fwrite(text.data(), 1, text.size(), file_) != text.size()) failed_ = true;
}

bool TextWriter::close() {
    if (!file_) return !failed_;
    if (std::fflush(file_) != 0 || std::ferror(file_)) failed_ = true;
    if (!standard_output_ && std::fclose(file_) != 0) failed_ = true;
    file_ = nullptr;
    standard_output_ = false;
    if (!temporary_name_.empty()) {
        if (failed_ || std::rename(temporary_name_.c_str(), name_.c_str()) != 0) {
            failed_ = true;
            std::remove(temporary_name_.c_str());
        }
        temporary_name_.clear();
    }
    return !failed_;
}

void TextWriter::discard() {
    if (!file_) return;
    if (standard_output_) {
        // What went out cannot be taken back; the stream stays the process's.
        std::fflush(file_);
        file_ = nullptr;
        standard_output_ = false;
        return;
    }
    std::fclose(file_);
    file_ = nullptr;
    std::remove(temporary_name_.empty() ? name_.c_str() : temporary_name_.c_str());
    temporary_name_.clear();
}

// ---------------------------------------------------------------- ScratchFile

ScratchFile::ScratchFile(ScratchFile&& other) noexcept { *this = std::move(other); }

ScratchFile& ScratchFile::operator=(ScratchFile&& other) noexcept {
    if (this != &other) {
        close();
        file_ = std::exchange(other.file_, nullptr);
    }
    return *this;
}

ScratchFile::~ScratchFile() { close(); }

bool ScratchFile::open() {
    close();
    file_ = std::tmpfile();  // nameless: the system removes it when it is closed
    if (file_) std::setvbuf(file_, nullptr, _IOFBF, writer_buffer);
    return file_ != nullptr;
}

void ScratchFile::close() {
    if (file_) std::fclose(file_);
    file_ = nullptr;
}

bool ScratchFile::write(const void* bytes, std::size_t size) {
    return file_ && std::fwrite(bytes, 1, size, file_) == size;
}

bool ScratchFile::read(void* bytes, std::size_t size) { return file_ && std::fread(bytes, 1, size, file_) == size; }

void ScratchFile::rewind() {
    if (file_) std::rewind(file_);
}

bool ScratchFile::read_at(void* bytes, std::size_t size, std::uint64_t offset) const {
    if (!file_) return false;
    const int fd = ::fileno(file_);
    auto* into = static_cast<unsigned char*>(bytes);
    while (size > 0) {
        const ssize_t n = ::pread(fd, into, size, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
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
