#pragma once
// SipHash-1-3 (one compression round, three finalisation rounds), streaming.
// Every hash and fingerprint of the system uses the all-zero key, so values
// are identical across runs, processes and platforms.
#include <bit>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace dravik {

class SipHasher13 {
   public:
    explicit SipHasher13(uint64_t k0 = 0, uint64_t k1 = 0);

    void write(const void *data, std::size_t len);
    void write_u8(uint8_t v) { push(v, 1); }
    // Little-endian integers, assembled straight into message words.
    void write_u16(uint16_t v) { push(v, 2); }
    void write_u32(uint32_t v) { push(v, 4); }
    void write_u64(uint64_t v) { push(v, 8); }
    // Lengths and machine words always go in as 4 little-endian bytes.
    void write_len(std::size_t v) { write_u32(static_cast<uint32_t>(v)); }
    void write_str(std::string_view s) { write(s.data(), s.size()); }

    uint64_t finish() const;

    static void round(uint64_t &v0, uint64_t &v1, uint64_t &v2, uint64_t &v3) {
        v0 += v1; v1 = std::rotl(v1, 13); v1 ^= v0; v0 = std::rotl(v0, 32);
        v2 += v3; v3 = std::rotl(v3, 16); v3 ^= v2;
        v0 += v3; v3 = std::rotl(v3, 21); v3 ^= v0;
        v2 += v1; v1 = std::rotl(v1, 17); v1 ^= v2; v2 = std::rotl(v2, 32);
    }

   private:
    void compress(uint64_t m) {
        v3_ ^= m;
        round(v0_, v1_, v2_, v3_);
        v0_ ^= m;
    }
    // Appends the low `nbytes` (1..8) bytes of v, which has no higher bits set.
    void push(uint64_t v, unsigned nbytes) {
        length_ += nbytes;
        const unsigned t = unsigned(ntail_);
        tail_ |= v << (8 * t);
        if (t + nbytes < 8) {
            ntail_ = t + nbytes;
            return;
        }
        compress(tail_);
        const unsigned used = 8 - t;  // bytes of v that completed the word
        tail_ = used < 8 ? v >> (8 * used) : 0;
        ntail_ = t + nbytes - 8;
    }

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
