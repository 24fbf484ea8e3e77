#include "utils/siphash.h"


namespace dravik {

SipHasher13::SipHasher13(uint64_t k0, uint64_t k1)
    : v0_(k0 ^ 0x736f6d6570736575ULL),
      v1_(k1 ^ 0x646f72616e646f6dULL),
      v2_(k0 ^ 0x6c7967656e657261ULL),
      v3_(k1 ^ 0x7465646279746573ULL) {}

void SipHasher13::write(const void *data, std::size_t len) {
    auto *p = static_cast<const uint8_t *>(data);
    for (; len > 0 && ntail_ != 0; --len) push(*p++, 1);
    for (; len >= 8; len -= 8, p += 8) {
        uint64_t m = 0;
        for (int i = 0; i < 8; ++i) m |= uint64_t(p[i]) << (8 * i);
        push(m, 8);
    }
    for (; len > 0; --len) push(*p++, 1);
}

uint64_t SipHasher13::finish() const {
    uint64_t v0 = v0_, v1 = v1_, v2 = v2_, v3 = v3_;
    uint64_t b = (uint64_t(length_ & 0xff) << 56) | tail_;
    v3 ^= b;
    round(v0, v1, v2, v3);
    v0 ^= b;
    v2 ^= 0xff;
    round(v0, v1, v2, v3);
    round(v0, v1, v2, v3);
    round(v0, v1, v2, v3);
    return v0 ^ v1 ^ v2 ^ v3;
}

}  // namespace dravik
