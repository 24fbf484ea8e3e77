#pragma once
// SipHash-1-3 (one compression round, three finalisation rounds), streaming.
// Every hash and fingerprint of the system uses the all-zero key, so values
// are identical across runs, processes and platforms.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dravik {

class SipHasher13 {
   public:
    explicit SipHasher13(uint64_t k0 = 0, uint64_t k1 = 0);

    void write(const void *data, std::size_t len);
    void write_u8(uint8_t v) { write(&v, 1); }
    void write_u16(uint16_t v);
    void write_u32(uint32_t v);
    void write_u64(uint64_t v);
    // Lengths and machine words always go in as 4 little-endian bytes.
    void write_len(std::size_t v) { write_u32(static_cast<uint32_t>(v)); }
    void write_str(std::string_view s) { write(s.data(), s.size()); }

    uint64_t finish() const;

   private:
    void compress(uint64_t m);

    uint64_t v0_, v1_, v2_, v3_;
    uint64_t tail_ = 0;      // pending bytes, little-endian
    std::size_t ntail_ = 0;  // number of pending bytes (0..7)
    std::size_t length_ = 0; // total bytes written
};

// Convenience: hash a value that provides `void hash_feed(SipHasher13&) const`.
template <typename T>
uint64_t fixed_hash(const T &value) {
    SipHasher13 h;
    value.hash_feed(h);
    return h.finish();
}

}  // namespace dravik
