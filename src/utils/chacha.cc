#include "utils/chacha.h"

#include <sys/random.h>

#include <bit>
#include <cerrno>
#include <cstring>

#include "utils/error.h"

namespace dravik {

namespace {
inline void quarter(uint32_t *x, int a, int b, int c, int d) {
    x[a] += x[b]; x[d] = std::rotl(x[d] ^ x[a], 16);
    x[c] += x[d]; x[b] = std::rotl(x[b] ^ x[c], 12);
    x[a] += x[b]; x[d] = std::rotl(x[d] ^ x[a], 8);
    x[c] += x[d]; x[b] = std::rotl(x[b] ^ x[c], 7);
}

void block_words(const std::array<uint32_t, 8> &key, uint64_t counter, uint64_t nonce, uint32_t *out) {
    uint32_t in[16] = {0x61707865, 0x3320646e, 0x79622d32, 0x6b206574};
    for (int i = 0; i < 8; ++i) in[4 + i] = key[i];
    in[12] = uint32_t(counter);
    in[13] = uint32_t(counter >> 32);
    in[14] = uint32_t(nonce);
    in[15] = uint32_t(nonce >> 32);
    uint32_t x[16];
    std::memcpy(x, in, sizeof(x));
    for (int r = 0; r < 6; ++r) {
        quarter(x, 0, 4, 8, 12); quarter(x, 1, 5, 9, 13); quarter(x, 2, 6, 10, 14); quarter(x, 3, 7, 11, 15);
        quarter(x, 0, 5, 10, 15); quarter(x, 1, 6, 11, 12); quarter(x, 2, 7, 8, 13); quarter(x, 3, 4, 9, 14);
    }
    for (int i = 0; i < 16; ++i) out[i] = x[i] + in[i];
}
}  // namespace

std::array<uint8_t, 64> chacha12_block(const std::array<uint32_t, 8> &key, uint64_t counter, uint64_t nonce) {
    uint32_t w[16];
    block_words(key, counter, nonce, w);
    std::array<uint8_t, 64> out;
    for (int i = 0; i < 16; ++i)
        for (int b = 0; b < 4; ++b) out[4 * i + b] = uint8_t(w[i] >> (8 * b));
    return out;
}

ChaCha12Rng::ChaCha12Rng(const std::array<uint32_t, 8> &key, uint64_t nonce) : key_(key), nonce_(nonce) {}

ChaCha12Rng ChaCha12Rng::from_entropy() {
    std::array<uint32_t, 8> key;
    auto *p = reinterpret_cast<char *>(key.data());
    size_t got = 0;
    while (got < sizeof(key)) {
        ssize_t n = getrandom(p + got, sizeof(key) - got, 0);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail("failed to read operating-system entropy");
        }
        got += size_t(n);
    }
    return ChaCha12Rng(key, 0);
}

void ChaCha12Rng::refill() {
    block_words(key_, counter_++, nonce_, buf_.data());
    pos_ = 0;
}

uint32_t ChaCha12Rng::next_u32() {
    if (pos_ >= 16) refill();
    return buf_[pos_++];
}

uint64_t ChaCha12Rng::next_u64() {
    if (pos_ >= 15) {
        if (pos_ == 15) {  // straddle a block boundary: low word first
            uint64_t lo = buf_[15];
            refill();
            return lo | (uint64_t(buf_[pos_++]) << 32);
        }
        refill();
    }
    uint64_t lo = buf_[pos_], hi = buf_[pos_ + 1];
    pos_ += 2;
    return lo | (hi << 32);
}

}  // namespace dravik
