#include "common/input_stream.hpp"

#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>
#include <zstd.h>
#include <zstd_errors.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace tk {
namespace {

constexpr std::size_t input_buffer_bytes = std::size_t{1} << 18;
constexpr unsigned char gzip_magic[] = {0x1f, 0x8b};
constexpr unsigned char zstd_magic[] = {0x28, 0xb5, 0x2f, 0xfd};

}  // namespace

struct InputStream::Decoder {
    z_stream zlib{};
    bool zlib_ready = false;
    ZSTD_DCtx* zstd = nullptr;

    ~Decoder() {
        if (zlib_ready) inflateEnd(&zlib);
        ZSTD_freeDCtx(zstd);
    }
};

InputStream::InputStream() = default;

InputStream::~InputStream() {
    if (owns_fd_ && fd_ >= 0) ::close(fd_);
}

void InputStream::fail(const std::string& what) const { throw InputError("The file '" + shown_name_ + "' " + what); }

std::size_t InputStream::read_raw(unsigned char* into, std::size_t capacity) {
    for (;;) {
        const ssize_t n = ::read(fd_, into, capacity);
        if (n >= 0) return static_cast<std::size_t>(n);
        if (errno == EINTR) continue;
        // As the other readers of the programs say it.
        throw InputError("Cannot read the file '" + shown_name_ + "': " + std::strerror(errno) + ".");
    }
}

// Keeps the unread bytes and reads more behind them; false at the end of the file.
bool InputStream::fill_input() {
    if (input_ended_) return false;
    if (input_pos_ > 0) {
        std::memmove(input_.data(), input_.data() + input_pos_, input_end_ - input_pos_);
        input_end_ -= input_pos_;
        input_pos_ = 0;
    }
    const std::size_t n = read_raw(input_.data() + input_end_, input_.size() - input_end_);
    if (n == 0) input_ended_ = true;
    input_end_ += n;
    return n > 0;
}

bool InputStream::open(std::string_view name) {
    if (name == "-") {
        fd_ = STDIN_FILENO;
        owns_fd_ = false;
        shown_name_ = "standard input";
    } else {
        shown_name_ = std::string(name);
        fd_ = ::open(shown_name_.c_str(), O_RDONLY | O_CLOEXEC);
        owns_fd_ = fd_ >= 0;
        if (fd_ < 0) return false;
    }
    input_.resize(input_buffer_bytes);
    while (input_end_ < sizeof zstd_magic && fill_input()) {
    }
    const auto starts_with = [this](const unsigned char* magic, std::size_t size) {
        return input_end_ >= size && std::memcmp(input_.data(), magic, size) == 0;
    };
    decoder_ = std::make_unique<Decoder>();
    if (starts_with(gzip_magic, sizeof gzip_magic)) {
        compression_ = Compression::gzip;
        // 15 + 16: the largest window, gzip framing only.
        if (inflateInit2(&decoder_->zlib, 15 + 16) != Z_OK) throw std::bad_alloc();
        decoder_->zlib_ready = true;
    } else if (starts_with(zstd_magic, sizeof zstd_magic)) {
        compression_ = Compression::zstd;
        decoder_->zstd = ZSTD_createDCtx();
        if (!decoder_->zstd) throw std::bad_alloc();
    }
    return true;
}

std::size_t InputStream::read(char* into, std::size_t capacity) {
    if (capacity == 0) return 0;
    switch (compression_) {
        case Compression::gzip: return read_gzip(into, capacity);
        case Compression::zstd: return read_zstd(into, capacity);
        case Compression::none: break;
    }
    return read_plain(into, capacity);
}

std::size_t InputStream::read_plain(char* into, std::size_t capacity) {
    if (input_pos_ < input_end_) {
        const std::size_t n = std::min(capacity, input_end_ - input_pos_);
        std::memcpy(into, input_.data() + input_pos_, n);
        input_pos_ += n;
        return n;
    }
    if (input_ended_) return 0;
    return read_raw(reinterpret_cast<unsigned char*>(into), capacity);
}

// Members of a gzip file follow one another (as "cat a.gz b.gz" makes them);
// anything else after a member's end is refused.
std::size_t InputStream::read_gzip(char* into, std::size_t capacity) {
    z_stream& z = decoder_->zlib;
    for (;;) {
        bool more = input_pos_ < input_end_ || fill_input();
        if (member_done_) {
            if (!more) return 0;
            while (input_end_ - input_pos_ < sizeof gzip_magic && fill_input()) {
            }
            if (input_end_ - input_pos_ < sizeof gzip_magic ||
                std::memcmp(input_.data() + input_pos_, gzip_magic, sizeof gzip_magic) != 0)
                fail("holds other data after the end of its gzip data.");
            inflateReset(&z);
            member_done_ = false;
        }
        z.next_in = input_.data() + input_pos_;
        z.avail_in = static_cast<uInt>(input_end_ - input_pos_);
        z.next_out = reinterpret_cast<Bytef*>(into);
        z.avail_out = static_cast<uInt>(std::min<std::size_t>(capacity, 1u << 30));
        const uInt offered = z.avail_out;
        const int status = inflate(&z, Z_NO_FLUSH);
        input_pos_ = input_end_ - z.avail_in;
        const std::size_t produced = offered - z.avail_out;
        if (status == Z_STREAM_END) member_done_ = true;
        else if (status == Z_MEM_ERROR) throw std::bad_alloc();
        else if (status != Z_OK && status != Z_BUF_ERROR)
            fail(std::string("is not readable gzip data (") + (z.msg ? z.msg : "damaged") + ").");
        if (produced > 0) return produced;
        more = input_pos_ < input_end_ || fill_input();
        if (!more && !member_done_) fail("is cut short: its gzip data end before their end mark.");
    }
}

// Frames of a zstd file follow one another; the decoder starts each new one itself.
std::size_t InputStream::read_zstd(char* into, std::size_t capacity) {
    for (;;) {
        const bool more = input_pos_ < input_end_ || fill_input();
        if (!more && member_done_) return 0;
        ZSTD_inBuffer in{input_.data() + input_pos_, input_end_ - input_pos_, 0};
        ZSTD_outBuffer out{into, capacity, 0};
        const std::size_t status = ZSTD_decompressStream(decoder_->zstd, &out, &in);
        input_pos_ += in.pos;
        if (ZSTD_isError(status)) {
            if (ZSTD_getErrorCode(status) == ZSTD_error_memory_allocation) throw std::bad_alloc();
            fail(std::string("is not readable zstd data (") + ZSTD_getErrorName(status) + ").");
        }
        member_done_ = status == 0;
        if (out.pos > 0) return out.pos;
        if (!more && !member_done_) fail("is cut short: its zstd data end before their end mark.");
    }
}

}  // namespace tk
