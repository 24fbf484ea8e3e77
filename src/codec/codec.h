#pragma once
// The compact binary encoding of save files: untagged, self-delimiting,
// fields in declaration order. Integers and lengths are little-endian
// base-128 varints, strings are a length and UTF-8 bytes, sequences and maps
// an element count and the elements. Files go through 8192-byte buffers.
//
// Decoding never trusts a declared length for memory: containers reserve a
// bounded amount up front and grow as elements actually arrive, so a corrupt
// huge count ends with "Hit the end of buffer, expected more data".
#include <array>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <span>
#include <string>
#include <vector>

namespace dravik::codec {

inline constexpr std::size_t BLOCK_SIZE = 8192;
// Upper bound, in bytes, of what a reader reserves before elements arrive.
inline constexpr std::size_t MAX_RESERVE_BYTES = 64 * 1024;

// Messages of the encoding layer, as they reach the user.
inline constexpr const char *MSG_WRITE_FULL = "The serialize buffer is full";
inline constexpr const char *MSG_UNEXPECTED_END = "Hit the end of buffer, expected more data";
inline constexpr const char *MSG_BAD_VARINT = "Found a varint that did not terminate within its size limit";
inline constexpr const char *MSG_BAD_UTF8 = "Tried to parse invalid utf-8";
inline constexpr const char *MSG_BAD_VALUE = "A decoded value was rejected by its target type";

// A file that cannot be created or opened; reaches Python as OSError.
class FileError : public std::exception {
   public:
    explicit FileError(std::string message) : message_(std::move(message)) {}
    const char *what() const noexcept override { return message_.c_str(); }

   private:
    std::string message_;
};

// Bad or short data, or a failed write; reaches Python as ValueError. The
// message is the bare reason; callers prefix it with what they were doing.
class FormatError : public std::exception {
   public:
    explicit FormatError(std::string message) : message_(std::move(message)) {}
    const char *what() const noexcept override { return message_.c_str(); }

   private:
    std::string message_;
};

// "Failed to create file: <reason>" / "Failed to open file: <reason>" from errno.
[[noreturn]] void fail_create(int err);
[[noreturn]] void fail_open(int err);
// The operating system's description of an error number.
std::string os_error_text(int err);

// Opens a file for writing: created if missing, truncated, mode 0666 before
// the umask. Throws FileError.
int create_file(const std::string &path);

// ------------------------------------------------------------------ writing

class Writer {
   public:
    virtual ~Writer() = default;
    Writer() = default;
    Writer(const Writer &) = delete;
    Writer &operator=(const Writer &) = delete;

    void put(uint8_t b) {
        if (len_ == buf_.size()) drain();
        buf_[len_++] = b;
    }
    void put(const uint8_t *data, std::size_t n);
    // Hands everything buffered to the sink.
    void flush() { drain(); }

   protected:
    // Consumes n bytes or throws FormatError(MSG_WRITE_FULL).
    virtual void sink(const uint8_t *data, std::size_t n) = 0;

   private:
    void drain();
    std::array<uint8_t, BLOCK_SIZE> buf_;
    std::size_t len_ = 0;
};

// Writes to a file through the 8192-byte buffer. Any write, flush or close
// failure throws FormatError(MSG_WRITE_FULL); nothing fails silently.
class FileWriter final : public Writer {
   public:
    // Creates the file (see create_file); throws FileError.
    explicit FileWriter(const std::string &path);
    ~FileWriter() override;
    // Flushes and closes, reporting any failure.
    void close();

   protected:
    void sink(const uint8_t *data, std::size_t n) override;

   private:
    int fd_ = -1;
};

// Collects the encoding in memory.
class BytesWriter final : public Writer {
   public:
    // Flushes and returns everything written so far.
    const std::vector<uint8_t> &bytes() {
        flush();
        return out_;
    }

   protected:
    void sink(const uint8_t *data, std::size_t n) override { out_.insert(out_.end(), data, data + n); }

   private:
    std::vector<uint8_t> out_;
};

void write_varint(Writer &w, uint64_t v);
inline void write_u32(Writer &w, uint32_t v) { write_varint(w, v); }
inline void write_u64(Writer &w, uint64_t v) { write_varint(w, v); }
inline void write_byte(Writer &w, uint8_t b) { w.put(b); }
// Lengths and counts are 32-bit quantities; a larger one cannot be encoded.
void write_len(Writer &w, std::size_t n);
void write_str(Writer &w, const std::string &s);

// Sequence: count, then each element through `item(w, element)`.
template <typename Range, typename F>
void write_seq(Writer &w, const Range &range, F &&item) {
    write_len(w, std::size(range));
    for (const auto &x : range) item(w, x);
}

// Map: count, then each entry's key and value, in the map's iteration order.
template <typename Map, typename K, typename V>
void write_map(Writer &w, const Map &map, K &&key, V &&value) {
    write_len(w, map.size());
    for (const auto &[k, v] : map) {
        key(w, k);
        value(w, v);
    }
}

// ------------------------------------------------------------------ reading

class Reader {
   public:
    virtual ~Reader() = default;
    Reader() = default;
    Reader(const Reader &) = delete;
    Reader &operator=(const Reader &) = delete;

    uint8_t get() {
        if (pos_ == end_) refill();
        return *pos_++;
    }
    // Appends exactly n bytes to out, growing it as they arrive.
    void get_into(std::string &out, std::size_t n);

   protected:
    // Makes more bytes available in [pos_, end_) or throws
    // FormatError(MSG_UNEXPECTED_END) at end of data or on a read error.
    virtual void refill() = 0;
    const uint8_t *pos_ = nullptr;
    const uint8_t *end_ = nullptr;
};

// Reads a file through an 8192-byte buffer.
class FileReader final : public Reader {
   public:
    // Opens the file; throws FileError("Failed to open file: ...").
    explicit FileReader(const std::string &path);
    ~FileReader() override;

   protected:
    void refill() override;

   private:
    int fd_ = -1;
    std::array<uint8_t, BLOCK_SIZE> buf_;
};

// Reads from bytes in memory (not copied; they must outlive the reader).
class SpanReader final : public Reader {
   public:
    explicit SpanReader(std::span<const uint8_t> data) {
        pos_ = data.data();
        end_ = data.data() + data.size();
    }
    std::size_t remaining() const { return std::size_t(end_ - pos_); }

   protected:
    void refill() override;
};

// Varint with at most ceil(bits / 7) bytes, whose last byte carries only the
// bits that still fit; anything longer or wider fails with MSG_BAD_VARINT.
uint64_t read_varint(Reader &r, unsigned bits);
inline uint32_t read_u32(Reader &r) { return uint32_t(read_varint(r, 32)); }
inline uint64_t read_u64(Reader &r) { return read_varint(r, 64); }
// A 64-bit quantity that must also fit the machine word (MSG_BAD_VALUE).
std::size_t read_usize(Reader &r);
inline uint8_t read_byte(Reader &r) { return r.get(); }
inline std::size_t read_len(Reader &r) { return read_u32(r); }
// Length, bytes, then strict UTF-8 validation (MSG_BAD_UTF8).
std::string read_str(Reader &r);

bool valid_utf8(const uint8_t *data, std::size_t n);

// How many elements of `elem_size` bytes may be reserved for a declared count.
inline std::size_t bounded_reserve(std::size_t count, std::size_t elem_size) {
    std::size_t cap = MAX_RESERVE_BYTES / (elem_size ? elem_size : 1);
    return count < cap ? count : cap;
}

// Sequence: count, then `count` elements from `item(r)`.
template <typename T, typename F>
std::vector<T> read_seq(Reader &r, F &&item) {
    std::size_t n = read_len(r);
    std::vector<T> out;
    out.reserve(bounded_reserve(n, sizeof(T)));
    for (std::size_t i = 0; i < n; ++i) out.push_back(item(r));
    return out;
}

// Map: count, then `entry(r)` for every entry (key then value); the caller
// inserts, the later of two equal keys winning.
template <typename F>
void read_map(Reader &r, F &&entry) {
    std::size_t n = read_len(r);
    for (std::size_t i = 0; i < n; ++i) entry(r);
}

// ------------------------------------------------------------- save files

inline constexpr const char *WRITE_PREFIX = "Failed to write postcard data: ";
inline constexpr const char *READ_PREFIX = "Failed to read postcard data: ";

// Creates `path` and runs `encode(Writer&)` into it, then flushes and closes.
// FileError when the file cannot be created; FormatError "Failed to write
// postcard data: ..." for any write failure.
template <typename F>
void save_file(const std::string &path, F &&encode) {
    FileWriter w(path);
    try {
        encode(static_cast<Writer &>(w));
        w.close();
    } catch (const FormatError &e) {
        throw FormatError(std::string(WRITE_PREFIX) + e.what());
    }
}

// Opens `path` and returns `decode(Reader&)`; bytes after the value are not
// examined. FileError when it cannot be opened; FormatError "Failed to read
// postcard data: ..." for bad or short data.
template <typename F>
auto load_file(const std::string &path, F &&decode) {
    FileReader r(path);
    try {
        return decode(static_cast<Reader &>(r));
    } catch (const FormatError &e) {
        throw FormatError(std::string(READ_PREFIX) + e.what());
    }
}

}  // namespace dravik::codec
