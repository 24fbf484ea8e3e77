#pragma once
// ChaCha with 12 rounds as a random generator. Each generator is seeded from
// operating-system entropy; there is deliberately no way to fix a seed.
#include <array>
#include <cstdint>

namespace dravik {

// One keystream block: key (8 words), 64-bit block counter, 64-bit nonce.
std::array<uint8_t, 64> chacha12_block(const std::array<uint32_t, 8> &key, uint64_t counter, uint64_t nonce);

class ChaCha12Rng {
   public:
    ChaCha12Rng(const std::array<uint32_t, 8> &key, uint64_t nonce = 0);
    static ChaCha12Rng from_entropy();

    uint64_t next_u64();
    uint32_t next_u32();
    // Uniform in [0, 1) from the top 53 bits of one 64-bit output.
    double next_f64() { return double(next_u64() >> 11) * 0x1.0p-53; }

   private:
    void refill();
    std::array<uint32_t, 8> key_;
    uint64_t nonce_;
    uint64_t counter_ = 0;
    std::array<uint32_t, 16> buf_{};
    unsigned pos_ = 16;
};

}  // namespace dravik
