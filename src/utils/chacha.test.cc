#include "utils/chacha.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#ifndef DRAVIK_TESTDATA
#define DRAVIK_TESTDATA "testdata"
#endif

using namespace dravik;

namespace {
std::string hex(const std::array<uint8_t, 64> &b) {
    static const char *d = "0123456789abcdef";
    std::string s;
    for (auto x : b) { s += d[x >> 4]; s += d[x & 15]; }
    return s;
}
uint32_t le32(const std::string &h, size_t byte) {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= uint32_t(std::stoul(h.substr(2 * (byte + i), 2), nullptr, 16)) << (8 * i);
    return v;
}
}  // namespace

TEST(ChaCha12, PublishedBlocks) {
    std::ifstream in(std::string(DRAVIK_TESTDATA) + "/chacha12.txt");
    ASSERT_TRUE(in);
    std::string line;
    int blocks = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream f(line);
        std::string name, key, nonce, counter, expected;
        f >> name >> key >> nonce >> counter;
        std::getline(in, expected);
        key = key.substr(4);
        nonce = nonce.substr(6);
        std::array<uint32_t, 8> k;
        for (int i = 0; i < 8; ++i) k[i] = le32(key, 4 * i);
        uint64_t n = uint64_t(le32(nonce, 0)) | (uint64_t(le32(nonce, 4)) << 32);
        EXPECT_EQ(hex(chacha12_block(k, std::stoull(counter.substr(8)), n)), expected) << line;
        ++blocks;
    }
    EXPECT_EQ(blocks, 3);
}

TEST(ChaCha12, StreamMatchesBlocksAndUniformRange) {
    std::array<uint32_t, 8> k{};
    ChaCha12Rng rng(k);
    auto b0 = chacha12_block(k, 0, 0), b1 = chacha12_block(k, 1, 0);
    uint8_t stream[128];
    for (int i = 0; i < 64; ++i) { stream[i] = b0[i]; stream[64 + i] = b1[i]; }
    rng.next_u32();  // misalign so one u64 straddles the block boundary
    for (int i = 0; i < 7; ++i) rng.next_u64();
    uint64_t straddle = rng.next_u64();
    uint64_t expect = 0;
    for (int i = 0; i < 8; ++i) expect |= uint64_t(stream[60 + i]) << (8 * i);
    EXPECT_EQ(straddle, expect);
    auto fresh = ChaCha12Rng::from_entropy();
    for (int i = 0; i < 1000; ++i) {
        double u = fresh.next_f64();
        ASSERT_GE(u, 0.0);
        ASSERT_LT(u, 1.0);
    }
}
