// The bytes of an input file read front to back once: a plain file, standard
// input (the name "-"), or a file compressed with gzip or zstd, decompressed
// as it is read. The compression is told by the file's first bytes, not by
// its name, so a renamed file still reads.
//
// A read error, and compressed data that end before their end mark (a file
// cut short in a copy or a download), raise InputError with a message that
// names the file: a half-read file never passes for a whole one.
#pragma once

#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tk {

struct InputError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

enum class Compression { none, gzip, zstd };

class InputStream {
  public:
    InputStream();
    InputStream(const InputStream&) = delete;
    InputStream& operator=(const InputStream&) = delete;
    ~InputStream();

    // Opens the named file, or standard input for "-". False when the file
    // cannot be opened (a read error of its first bytes raises InputError).
    bool open(std::string_view name);
    // The name as the messages quote it ("standard input" for "-").
    const std::string& shown_name() const { return shown_name_; }

    // Reads up to `capacity` bytes of the (decompressed) data into `into`;
    // returns 0 only at the end of the data.
    std::size_t read(char* into, std::size_t capacity);

    struct Decoder;  // the state of a decompressor

  private:
    std::size_t read_raw(unsigned char* into, std::size_t capacity);
    bool fill_input();
    std::size_t read_plain(char* into, std::size_t capacity);
    std::size_t read_gzip(char* into, std::size_t capacity);
    std::size_t read_zstd(char* into, std::size_t capacity);
    [[noreturn]] void fail(const std::string& what) const;

    int fd_ = -1;
    bool owns_fd_ = false;
    std::string shown_name_;
    Compression compression_ = Compression::none;
    std::vector<unsigned char> input_;  // raw bytes read and not yet used
    std::size_t input_pos_ = 0;
    std::size_t input_end_ = 0;
    bool input_ended_ = false;
    bool member_done_ = true;  // the last compressed member (or frame) ended
    std::unique_ptr<Decoder> decoder_;
};

}  // namespace tk
