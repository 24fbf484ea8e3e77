#include "utils/siphash.h"

#include <bit>
#include <cstring>

namespace dravik {

namespace {
inline void sipround(uint64_t &v0, uint64_t &v1, uint64_t &v2, uint64_t &v3) {
    v0 += v1; v1 = std::rotl(v1, 13); v1 ^= v0; v0 = std::rotl(v0, 32);
    v2 += v3; v3 = std::rotl(v3, 16); v3 ^= v2;
    v0 += v3; v3 = std::rotl(v3, 21); v3 ^= v0;
    v2 += v1; v1 = std::rotl(v1, 17); v1 ^= v2; v2 = std::rotl(v2, 32);
}
}  // namespace

SipHasher13::SipHasher13(uint64_t k0, uint64_t k1)
    : v0_(k0 ^ 0x736f6d6570736575ULL),
      v1_(k1 ^ 0x646f72616e646f6dULL),
      v2_(k0 ^ 0x6c7967656e657261ULL),
      v3_(k1 ^ 0x7465646279746573ULL) {}

void SipHasher13::compress(uint64_t m) {
    v3_ ^= m;
    sipround(v0_, v1_, v2_, v3_);
    v0_ ^= m;
}

void SipHasher13::write(const void *data, std::size_t len) {
    auto *p = static_cast<const uint8_t *>(data);
    length_ += len;
    while (len > 0 && ntail_ != 0) {
        tail_ |= uint64_t(*p++) << (8 * ntail_);
        --len;
        if (++ntail_ == 8) {
            compress(tail_);
            tail_ = 0;
            ntail_ = 0;
        }
    }
    while (len >= 8) {
        uint64_t m = 0;
        for (int i = 0; i < 8; ++i) m |= uint64_t(p[i]) << (8 * i);
        compress(m);
        p += 8;
        len -= 8;
    }
    while (len > 0) {
        tail_ |= uint64_t(*p++) << (8 * ntail_++);
        --len;
    }
}

void SipHasher13::write_u16(uint16_t v) {
    uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
    write(b, 2);
}

void SipHasher13::write_u32(uint32_t v) {
    uint8_t b[4];
    for (int i = 0; i < 4; ++i) b[i] = uint8_t(v >> (8 * i));
    write(b, 4);
}

void SipHasher13::write_u64(uint64_t v) {
    uint8_t b[8];
    for (int i = 0; i < 8; ++i) b[i] = uint8_t(v >> (8 * i));
    write(b, 8);
}

uint64_t SipHasher13::finish() const {
    uint64_t v0 = v0_, v1 = v1_, v2 = v2_, v3 = v3_;
    uint64_t b = (uint64_t(length_ & 0xff) << 56) | tail_;
    v3 ^= b;
    sipround(v0, v1, v2, v3);
    v0 ^= b;
    v2 ^= 0xff;
    sipround(v0, v1, v2, v3);
    sipround(v0, v1, v2, v3);
    sipround(v0, v1, v2, v3);
    return v0 ^ v1 ^ v2 ^ v3;
}

}  // namespace dravik
