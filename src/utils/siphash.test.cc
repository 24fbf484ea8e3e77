#include "utils/siphash.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#ifndef DRAVIK_TESTDATA
#define DRAVIK_TESTDATA "testdata"
#endif

using namespace dravik;

namespace {
std::vector<uint8_t> unhex(const std::string &s) {
    std::vector<uint8_t> out;
    if (s == "-") return out;
    for (size_t i = 0; i + 1 < s.size(); i += 2) out.push_back(uint8_t(std::stoul(s.substr(i, 2), nullptr, 16)));
    return out;
}
}  // namespace

TEST(SipHash13, ReferenceVectorsWholeAndSplit) {
    std::ifstream in(std::string(DRAVIK_TESTDATA) + "/siphash13.tsv");
    ASSERT_TRUE(in) << "missing test vectors";
    std::string line;
    int rows = 0;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#') continue;
        std::istringstream fields(line);
        std::string k0, k1, msg, out;
        fields >> k0 >> k1 >> msg >> out;
        auto bytes = unhex(msg);
        uint64_t expected = std::stoull(out, nullptr, 16);
        SipHasher13 whole(std::stoull(k0, nullptr, 16), std::stoull(k1, nullptr, 16));
        whole.write(bytes.data(), bytes.size());
        EXPECT_EQ(whole.finish(), expected) << line;
        // Arbitrary write boundaries give the same result as one write.
        for (size_t step : {1u, 3u, 7u}) {
            SipHasher13 split(std::stoull(k0, nullptr, 16), std::stoull(k1, nullptr, 16));
            for (size_t i = 0; i < bytes.size(); i += step)
                split.write(bytes.data() + i, std::min(step, bytes.size() - i));
            EXPECT_EQ(split.finish(), expected) << line << " step " << step;
        }
        ++rows;
    }
    EXPECT_GT(rows, 0);
}

TEST(SipHash13, IntegerHelpersAreLittleEndian) {
    SipHasher13 a, b;
    a.write_u32(0x04030201u);
    a.write_u16(0x0605u);
    uint8_t raw[6] = {1, 2, 3, 4, 5, 6};
    b.write(raw, 6);
    EXPECT_EQ(a.finish(), b.finish());
}

TEST(SipHash13, WordWritesAtEveryAlignment) {
    // Integer writes straddling word boundaries equal the same bytes written raw.
    for (size_t lead = 0; lead < 8; ++lead) {
        SipHasher13 words, bytes;
        std::vector<uint8_t> raw;
        for (size_t i = 0; i < lead; ++i) {
            words.write_u8(uint8_t(i));
            raw.push_back(uint8_t(i));
        }
        const uint64_t v = 0x0807060504030201ULL;
        words.write_u64(v);
        words.write_u32(0xdeadbeefu);
        words.write_u64(~v);
        for (int i = 0; i < 8; ++i) raw.push_back(uint8_t(v >> (8 * i)));
        for (int i = 0; i < 4; ++i) raw.push_back(uint8_t(0xdeadbeefu >> (8 * i)));
        for (int i = 0; i < 8; ++i) raw.push_back(uint8_t(~v >> (8 * i)));
        bytes.write(raw.data(), raw.size());
        EXPECT_EQ(words.finish(), bytes.finish()) << lead;
    }
}
