#include "codec/codec.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <limits>

namespace dravik::codec {

std::string os_error_text(int err) {
    char buf[256];
    // GNU strerror_r returns a pointer that may or may not be buf.
    const char *text = strerror_r(err, buf, sizeof buf);
    return std::string(text) + " (os error " + std::to_string(err) + ")";
}

void fail_create(int err) { throw FileError("Failed to create file: " + os_error_text(err)); }
void fail_open(int err) { throw FileError("Failed to open file: " + os_error_text(err)); }

int create_file(const std::string &path) {
    if (path.find('\0') != std::string::npos) fail_create(EINVAL);
    int fd;
    do {
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) fail_create(errno);
    return fd;
}

// ------------------------------------------------------------------ writing

void Writer::put(const uint8_t *data, std::size_t n) {
    while (n > 0) {
        if (len_ == buf_.size()) drain();
        std::size_t k = std::min(n, buf_.size() - len_);
        std::memcpy(buf_.data() + len_, data, k);
        len_ += k;
        data += k;
        n -= k;
    }
}

void Writer::drain() {
    if (len_ == 0) return;
    std::size_t n = len_;
    len_ = 0;  // a failed sink loses the block; the error reports it
    sink(buf_.data(), n);
}

FileWriter::FileWriter(const std::string &path) : fd_(create_file(path)) {}

FileWriter::~FileWriter() {
    if (fd_ >= 0) ::close(fd_);
}

void FileWriter::sink(const uint8_t *data, std::size_t n) {
    if (fd_ < 0) throw FormatError(MSG_WRITE_FULL);
    while (n > 0) {
        ssize_t k = ::write(fd_, data, n);
        if (k < 0 && errno == EINTR) continue;
        if (k <= 0) throw FormatError(MSG_WRITE_FULL);
        data += k;
        n -= std::size_t(k);
    }
}

void FileWriter::close() {
    flush();
    int fd = fd_;
    fd_ = -1;
    // close() can report a deferred write error (e.g. on network file systems).
    if (fd >= 0 && ::close(fd) != 0 && errno != EINTR) throw FormatError(MSG_WRITE_FULL);
}

void write_varint(Writer &w, uint64_t v) {
    while (v >= 0x80) {
        w.put(uint8_t(v | 0x80));
        v >>= 7;
    }
    w.put(uint8_t(v));
}

void write_len(Writer &w, std::size_t n) {
    // No file this system writes comes near; refuse rather than wrap.
    if (n > std::numeric_limits<uint32_t>::max()) throw FormatError(MSG_WRITE_FULL);
    write_varint(w, n);
}

void write_str(Writer &w, const std::string &s) {
    write_len(w, s.size());
    w.put(reinterpret_cast<const uint8_t *>(s.data()), s.size());
}

// ------------------------------------------------------------------ reading

void Reader::get_into(std::string &out, std::size_t n) {
    while (n > 0) {
        if (pos_ == end_) refill();
        std::size_t k = std::min(n, std::size_t(end_ - pos_));
        out.append(reinterpret_cast<const char *>(pos_), k);
        pos_ += k;
        n -= k;
    }
}

FileReader::FileReader(const std::string &path) {
    if (path.find('\0') != std::string::npos) fail_open(EINVAL);
    do {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd_ < 0 && errno == EINTR);
    if (fd_ < 0) fail_open(errno);
}

FileReader::~FileReader() {
    if (fd_ >= 0) ::close(fd_);
}

void FileReader::refill() {
    ssize_t k;
    do {
        k = ::read(fd_, buf_.data(), buf_.size());
    } while (k < 0 && errno == EINTR);
    // End of file and read errors (a directory, an I/O error) alike.
    if (k <= 0) throw FormatError(MSG_UNEXPECTED_END);
    pos_ = buf_.data();
    end_ = buf_.data() + k;
}

void SpanReader::refill() { throw FormatError(MSG_UNEXPECTED_END); }

uint64_t read_varint(Reader &r, unsigned bits) {
    const unsigned max_bytes = (bits + 6) / 7;
    const unsigned last_bits = bits - 7 * (max_bytes - 1);
    uint64_t out = 0;
    for (unsigned i = 0; i < max_bytes; ++i) {
        uint8_t b = r.get();
        out |= uint64_t(b & 0x7f) << (7 * i);
        if (!(b & 0x80)) {
            if (i == max_bytes - 1 && b >= (1u << last_bits)) throw FormatError(MSG_BAD_VARINT);
            return out;
        }
    }
    throw FormatError(MSG_BAD_VARINT);
}

std::size_t read_usize(Reader &r) {
    uint64_t v = read_u64(r);
    if (v > std::numeric_limits<std::size_t>::max()) throw FormatError(MSG_BAD_VALUE);
    return std::size_t(v);
}

std::string read_str(Reader &r) {
    std::size_t n = read_len(r);
    std::string s;
    s.reserve(bounded_reserve(n, 1));
    r.get_into(s, n);
    if (!valid_utf8(reinterpret_cast<const uint8_t *>(s.data()), s.size())) throw FormatError(MSG_BAD_UTF8);
    return s;
}

bool valid_utf8(const uint8_t *p, std::size_t n) {
    std::size_t i = 0;
    while (i < n) {
        uint8_t c = p[i];
        if (c < 0x80) {
            ++i;
            continue;
        }
        unsigned len;
        uint8_t lo = 0x80, hi = 0xbf;  // allowed range of the second byte
        if (c >= 0xc2 && c <= 0xdf) {
            len = 2;
        } else if (c >= 0xe0 && c <= 0xef) {
            len = 3;
            if (c == 0xe0) lo = 0xa0;       // no overlong forms
            if (c == 0xed) hi = 0x9f;       // no surrogates
        } else if (c >= 0xf0 && c <= 0xf4) {
            len = 4;
            if (c == 0xf0) lo = 0x90;       // no overlong forms
            if (c == 0xf4) hi = 0x8f;       // nothing above U+10FFFF
        } else {
            return false;
        }
        if (n - i < len) return false;
        if (p[i + 1] < lo || p[i + 1] > hi) return false;
        for (unsigned k = 2; k < len; ++k)
            if ((p[i + k] & 0xc0) != 0x80) return false;
        i += len;
    }
    return true;
}

}  // namespace dravik::codec
