// The file model of both programs: text files read record by record, text
// files written record by record (each record ended by CR LF), and nameless
// binary scratch files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tk {

// File names are kept in blank-padded fields; trailing blanks are not part of the name.
std::string trim_name(std::string_view name);

bool file_exists(std::string_view name);  // an existing file that is not a directory
bool remove_file(std::string_view name);

// A failed read, seek or write of a file that the run needs: the message
// names the file and says what went wrong. Each program's main routine takes
// it through its error path like an input error.
struct FileError : std::runtime_error {
    int error;  // the errno of the failure
    FileError(const std::string& message, int system_error) : std::runtime_error(message), error(system_error) {}
};

// A record longer than its reader's limit: the file is not one that the
// program reads (a binary file, a file without line ends, a run-away line).
// Each program's main routine takes it through its error path as an input
// error, naming the file and the line.
struct RecordTooLong : std::runtime_error {
    std::string file;
    std::uint64_t line;  // 1-based
    std::size_t limit;   // bytes
    RecordTooLong(std::string file_name, std::uint64_t line_number, std::size_t limit_bytes);
};

// A text file opened with status OLD, read record by record. Records end in
// LF or CR LF; a last record without a line end counts as a record. A UTF-8
// byte-order mark at the start of the file is skipped. A read or seek error
// raises FileError (it is never taken for the end of the file).
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

    // From now on (also after rewind) a record longer than `bytes` raises
    // RecordTooLong instead of being read, so that a file without line ends
    // cannot take all memory. Without it records may be of any length.
    void limit_records(std::size_t bytes) { record_limit_ = bytes; }
    // For scanners that hold a record whole in the buffer: RecordTooLong when
    // the record at the read position, `length` bytes without its line end,
    // is beyond the limit.
    void check_record_length(std::size_t length) const {
        if (length > record_limit_) record_too_long();
    }

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
    std::string name_;
    std::vector<char> buffer_;
    std::size_t pos_ = 0;
    std::size_t end_ = 0;
    bool eof_ = false;
    bool at_start_ = false;  // nothing read since open or rewind: a byte-order mark may come
    std::size_t record_limit_ = std::string::npos;
    std::uint64_t lines_dropped_ = 0;  // line ends of the bytes moved out of the buffer (under a limit)
    bool skip_byte_order_mark();
    [[noreturn]] void record_too_long() const;
};

// A text file written record by record.
//
// Every file a program gives to its user or host (listing, results files for
// the host, export file, JSON, CSV or report files) is a *results file*: open
// it with atomic = true, and nothing appears under its name until the run has
// completed it:
//
//   tk::TextWriter out;
//   if (!out.open(name, /*atomic=*/true)) fail("Cannot create '" + name + "': " + out.problem());
//   out.put_record("...");           // or put_records() for text that holds its own line ends
//   if (!out.close()) fail("Cannot write '" + name + "': " + out.problem());
//
// A run with several results files calls finish() on each (any failure: the
// run fails, discard them all), then publish() on each, so that a full disk
// never leaves some of them new and some old. A writer destroyed or
// discarded before publish() leaves nothing behind.
//
// How a results file is made:
// - it is written to a nameless temporary file in its directory (O_TMPFILE),
//   or where the file system has none, to a new file with a random name
//   ("name.part-" and six random characters, opened with O_EXCL, so no two
//   runs share one and a planted symbolic link is never followed);
// - it is flushed to disk (fsync) and only then linked or renamed to its
//   name; the directory is flushed after that;
// - a name that is a symbolic link is written through: the file at the end of
//   the link is replaced, the link stays;
// - a name that is a device, a FIFO or a socket, or that leads through /proc
//   to a file the process holds open (/dev/stdout), is written to directly,
//   after what it holds; it is never replaced by a regular file;
// - an existing file that the user may not write (write-protected) is not
//   replaced: open() fails, as opening it for writing would.
// Without atomic (tests and tools only) the file is written in place.
class TextWriter {
  public:
    TextWriter() = default;
    TextWriter(const TextWriter&) = delete;
    TextWriter& operator=(const TextWriter&) = delete;
    TextWriter(TextWriter&& other) noexcept;
    TextWriter& operator=(TextWriter&& other) noexcept;
    ~TextWriter();  // an unpublished results file is discarded; a plain one is kept

    bool open(std::string_view name, bool atomic = false);
    // Writes to the process's standard output under the name "-"; closing it
    // writes out what is held and leaves the stream open for the process.
    bool open_standard_output();
    bool is_open() const { return fd_ >= 0; }
    // Appends one record; the CR LF line end is added here.
    void put_record(std::string_view text);
    // Appends text that already ends its records (CR LF or any line end).
    void put_records(std::string_view text);
    // From now on records end in LF alone: put_record adds LF, and put_records
    // writes each CR LF as LF.
    void use_unix_line_ends() { unix_line_ends_ = true; }
    // Writes out all that is held and flushes it to disk; false when any write failed.
    bool finish();
    // Puts a finished results file under its name (other files: closes them).
    bool publish();
    // finish() and publish(); returns false when anything failed (nothing is then published).
    bool close();
    // Drops the file: a results file leaves nothing, a plain file is removed.
    void discard();
    const std::string& name() const { return name_; }
    // What went wrong, in the system's words ("No space left on device").
    std::string problem() const;

  private:
    enum class Kind { plain, results, direct, standard_output };
    bool write_out();
    bool fail(int error);
    void put_in_place();
    void sync_directory();
    void release();

    int fd_ = -1;
    Kind kind_ = Kind::plain;
    std::string buffer_;
    std::string name_;       // as given, without trailing blanks
    std::string path_;       // the file written: the name with its symbolic links followed
    std::string temporary_;  // the named temporary file, where there is no nameless one
    bool finished_ = false;
    int error_ = 0;          // errno of the first failure
    bool unix_line_ends_ = false;
};

// Removes a results file of an earlier run: a regular file under the name
// itself. A symbolic link stays, and so does the file it leads to (it may be
// anything the user keeps there); devices, FIFOs and directories stay too.
void remove_regular_file(std::string_view name);

// Why no results file can be made under name, as far as can be told before
// anything is written: "is a directory", or "cannot be written: " and the
// reason (the folder does not exist or is not a folder or cannot be written
// in, the file is write-protected, its links loop). nullopt when it can be
// made. A device, FIFO or file held open is written to in place: only a
// device that cannot be opened to write is refused.
std::optional<std::string> results_file_problem(std::string_view name);

// Why no directory for the tables can be made or written in at name (it is
// made with its missing parents): nullopt when it can.
std::optional<std::string> results_directory_problem(std::string_view name);

// A nameless binary scratch file, removed when it is closed or destroyed
// (also when the process is killed: it never has a name). It is made in the
// folder that TMPDIR names, or in /tmp without it. Every failure to open,
// write, flush, seek or read it raises FileError naming that folder, so that
// a full disk never passes for the end of the cases.
class ScratchFile {
  public:
    ScratchFile() = default;
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ScratchFile(ScratchFile&& other) noexcept;
    ScratchFile& operator=(ScratchFile&& other) noexcept;
    ~ScratchFile();

    bool open();  // true, or FileError
    bool is_open() const { return file_ != nullptr; }
    void close();
    bool write(const void* bytes, std::size_t size);  // true, or FileError
    // True for a whole item; false at the end of the file; FileError for a
    // read error or an item cut short.
    bool read(void* bytes, std::size_t size);
    // Writes out what is held and goes back to the start.
    void rewind();
    // The folder of the scratch files: TMPDIR, or /tmp without it.
    static std::string folder();

    // Reads exactly `size` bytes at `offset` without moving the file position;
    // false when fewer are there; FileError for a read error. Several threads
    // may read at once. Writes must have been flushed (rewind() does that).
    bool read_at(void* bytes, std::size_t size, std::uint64_t offset) const;
    // The file's size in bytes after flushing what was written; -1 when it
    // cannot be known.
    std::int64_t size();

  private:
    [[noreturn]] void fail(const char* what) const;

    std::FILE* file_ = nullptr;
    std::string folder_;
};

}  // namespace tk
