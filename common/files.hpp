// The file model of both programs: text files read record by record, text
// files written record by record (each record ended by CR LF), and nameless
// binary scratch files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tk {

// File names are kept in blank-padded fields; trailing blanks are not part of the name.
std::string trim_name(std::string_view name);

bool file_exists(std::string_view name);  // an existing file that is not a directory
bool remove_file(std::string_view name);

// A text file opened with status OLD, read record by record. Records end in
// LF or CR LF; a last record without a line end counts as a record.
class TextReader {
  public:
    TextReader() = default;
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;
    TextReader(TextReader&& other) noexcept;
    TextReader& operator=(TextReader&& other) noexcept;
    ~TextReader();

    bool open(std::string_view name);  // false when the file cannot be opened
    bool is_open() const { return fd_ >= 0; }
    void close();
    void rewind();

    // Reads the next record into line, cut to max_length characters (the rest
    // of the record is skipped). Returns false at end of file.
    bool read_record(std::string& line, std::size_t max_length = std::string::npos);
    // True when no further record can be read.
    bool at_end();
    // Skips the rest of the current record (up to and including its line end).
    void skip_record();

    // Buffer window for scanners: the unread bytes are [data(), data()+available()).
    // refill() reads more while keeping the unread bytes; false when nothing more came.
    const char* data() const { return buffer_.data() + pos_; }
    std::size_t available() const { return end_ - pos_; }
    void advance(std::size_t n) { pos_ += n; }
    bool refill();

  private:
    int fd_ = -1;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
};

// A text file created or overwritten, written record by record. An atomic
// writer writes under a temporary name in the same directory and renames the
// file into place only when it is closed after a complete run, so readers
// never see it half-written under its real name.
class TextWriter {
  public:
    TextWriter() = default;
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;
    TextWriter(TextWriter&& other) noexcept;
    TextWriter& operator=(TextWriter&& other) noexcept;
    ~TextWriter();  // an atomic file never closed is discarded; a plain one is kept

    bool open(std::string_view name, bool atomic = false);
    // Writes to the process's standard output under the name "-"; closing it
    // flushes the stream and leaves it open for the process.
    bool open_standard_output();
    bool is_open() const { return file_ != nullptr; }
    // Appends one record; the CR LF line end is added here.
    void put_record(std::string_view text);
    // Appends records that already end in CR LF.
    void put_records(std::string_view text);
    // Keeps the file; returns false when any write failed.
    bool close();
    // Removes the file (or the unfinished temporary file of an atomic writer).
    void discard();
    bool failed() const { return failed_; }
    const std::string& name() const { return name_; }

  private:
    std::FILE* file_ = nullptr;
    std::string name_;
    std::string temporary_name_;
    bool failed_ = false;
    bool standard_output_ = false;
};

// A nameless binary scratch file, removed when it is closed or destroyed.
class ScratchFile {
  public:
    ScratchFile() = default;
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ScratchFile(ScratchFile&& other) noexcept;
    ScratchFile& operator=(ScratchFile&& other) noexcept;
    ~ScratchFile();

    bool open();
    bool is_open() const { return file_ != nullptr; }
    void close();
    bool write(const void* bytes, std::size_t size);
    bool read(void* bytes, std::size_t size);  // false at end of file
    void rewind();

    // Reads exactly `size` bytes at `offset` without moving the file position;
    // false when fewer are there or the read fails. Several threads may read
    // at once. Writes must have been flushed (rewind() does that).
    bool read_at(void* bytes, std::size_t size, std::uint64_t offset) const;
    // The file's size in bytes after flushing what was written; -1 when it
    // cannot be known.
    std::int64_t size();

  private:
    std::FILE* file_ = nullptr;
};

}  // namespace tk
