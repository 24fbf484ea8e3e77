#include "codec/layout.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <random>

#include "utils/error.h"

using namespace dravik;
using namespace dravik::codec;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

Permut32 P(std::initializer_list<int> v) { return Permut32::from_iter(std::vector<int>(v)); }

// A small collection touching every layout element: one- and two-qubit
// gates, a user-defined gate with a multi-byte name, permutations, an empty
// circuit and a single-member class.
ECCs sample_eccs() {
    using C = std::complex<double>;
    Gate16 u = Gate16::create("uc", {"a"}, CMatrix::from_rows({{1, 0}, {0, C(std::cos(0.7), std::sin(0.7))}}));
    Gate16 udg = u.adjoint();
    ECCs e;
    e.nqubits = 3;
    e.eccs.push_back(ECC{{{{}, P({0, 1, 2})}}});
    e.eccs.push_back(ECC{{{{Instr32(gates::H, 0), Instr32(gates::H, 0)}, P({0, 1, 2})}, {{}, P({0, 1, 2})}}});
    e.eccs.push_back(ECC{{{{Instr32(gates::CX, 0, 1), Instr32(gates::CX, 1, 0), Instr32(gates::CX, 0, 1)}, P({0, 1, 2})},
                          {{}, P({1, 0, 2})},
                          {{Instr32(u, 2), Instr32(udg, 2)}, P({1, 0, 2})}}});
    e.eccs.push_back(ECC{{{{Instr32(Gate16(17), 1), Instr32(gates::T, 2)}, P({2, 0, 1})},
                          {{Instr32(gates::T, 2), Instr32(Gate16(17), 1)}, P({2, 0, 1})}}});
    return e;
}

std::string load_error(const Bytes &b) {
    try {
        decode_eccs(b);
    } catch (const FormatError &e) {
        return e.what();
    } catch (const InternalError &e) {
        return std::string("internal: ") + e.what();
    }
    return "no error";
}

}  // namespace

TEST(EccsLayout, ExactBytes) {
    ECCs one{{ECC{{{{}, Permut32::identity(2)}}}}, 2};
    EXPECT_EQ(encode_eccs(one), (Bytes{0x01, 0x01, 0x00, 0x88, 0x80, 0x80, 0x10, 0x02}));
    EXPECT_EQ(encode_eccs(ECCs{{}, 3}), (Bytes{0x00, 0x03}));
    // One member: cx on (0, 1), then h on qubit 1 (second byte 255), swap perm.
    ECCs two{{ECC{{{{Instr32(gates::CX, 0, 1), Instr32(gates::H, 1)}, P({1, 0})}}}}, 2};
    EXPECT_EQ(encode_eccs(two), (Bytes{0x01, 0x01, 0x02, 0x02, 'c', 'x', 0x00, 0x01, 0x01, 'h', 0x01, 0xff,
                                       0x81, 0x80, 0x80, 0x10, 0x02}));
}

TEST(EccsLayout, RoundTripAndTrailingBytes) {
    ECCs e = sample_eccs();
    Bytes b = encode_eccs(e);
    EXPECT_EQ(decode_eccs(b), e);
    b.insert(b.end(), {0xde, 0xad, 0xbe, 0xef});
    EXPECT_EQ(decode_eccs(b), e);
}

TEST(EccsLayout, DecodeFailures) {
    Bytes good = encode_eccs(sample_eccs());
    // Every proper prefix ends early.
    for (std::size_t n = 0; n < good.size(); ++n)
        ASSERT_EQ(load_error(Bytes(good.begin(), good.begin() + n)), MSG_UNEXPECTED_END) << n;
    const std::pair<Bytes, std::string> cases[] = {
        // Unknown gate name.
        {{0x01, 0x01, 0x01, 0x04, 'n', 'o', 'p', 'e', 0, 255, 0x00, 0x02}, "internal: Failed to deserialize Gate16 from nope"},
        // Gate name that is not UTF-8.
        {{0x01, 0x01, 0x01, 0x01, 0xff, 0, 255, 0x00, 0x02}, MSG_BAD_UTF8},
        // Class count as an overlong 32-bit varint.
        {{0xff, 0xff, 0xff, 0xff, 0x1f}, MSG_BAD_VARINT},
        // Permutation with a length byte of 9.
        {{0x01, 0x01, 0x00, 0x80, 0x80, 0x80, 0x48, 0x02}, MSG_BAD_VALUE},
        // Huge class count with nothing behind it.
        {{0xff, 0xff, 0xff, 0xff, 0x0f}, MSG_UNEXPECTED_END},
        // Huge member count inside a class.
        {{0x01, 0xfe, 0xff, 0xff, 0xff, 0x0f, 0x00, 0x00}, MSG_UNEXPECTED_END},
    };
    for (const auto &[bytes, message] : cases) EXPECT_EQ(load_error(bytes), message) << testing::PrintToString(bytes);
    // A class without members and qubit bytes out of range load as stored.
    ECCs odd = decode_eccs(Bytes{0x02, 0x00, 0x01, 0x01, 0x01, 'h', 200, 7, 0x00, 0x05});
    ASSERT_EQ(odd.eccs.size(), 2u);
    EXPECT_TRUE(odd.eccs[0].members.empty());
    EXPECT_EQ(odd.eccs[1].members[0].first[0], Instr32(gates::H, 200, 7));
    EXPECT_EQ(odd.nqubits, 5u);
}

TEST(EccsLayout, FileRoundTrip) {
    auto dir = fs::temp_directory_path() / ("dravik_layout_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    auto path = (dir / "eccs.bin").string();
    ECCs e = sample_eccs();
    dump_postcard(e, path);
    EXPECT_EQ(eccs_from_postcard(path), e);
    fs::remove_all(dir);
}

// Random and mutated inputs: decoding either succeeds (and then re-encodes to
// a value that decodes to itself) or fails with one of the documented errors.
TEST(EccsLayout, FuzzDecoder) {
    std::mt19937_64 rng(0x5eed5eed);
    Bytes good = encode_eccs(sample_eccs());
    const std::vector<Bytes> seeds = {good, encode_eccs(ECCs{{}, 2}),
                                      Bytes{0x01, 0x01, 0x00, 0x88, 0x80, 0x80, 0x10, 0x02}};
    std::size_t decoded = 0;
    for (int iter = 0; iter < 20000; ++iter) {
        Bytes b;
        if (iter % 4 == 0) {
            b.resize(rng() % 64);
            for (auto &x : b) x = uint8_t(rng());
            // Small counts make deeper structures reachable.
            if (!b.empty()) b[0] &= 0x03;
        } else {
            b = seeds[rng() % seeds.size()];
            int edits = 1 + int(rng() % 4);
            for (int k = 0; k < edits; ++k) {
                std::size_t at = b.empty() ? 0 : rng() % b.size();
                switch (rng() % 5) {
                    case 0: if (!b.empty()) b[at] = uint8_t(rng()); break;
                    case 1: if (!b.empty()) b[at] ^= uint8_t(1u << (rng() % 8)); break;
                    case 2: b.insert(b.begin() + long(at), uint8_t(rng())); break;
                    case 3: if (!b.empty()) b.erase(b.begin() + long(at)); break;
                    case 4: b.resize(at); break;
                }
            }
        }
        try {
            ECCs e = decode_eccs(b);
            ++decoded;
            ASSERT_EQ(decode_eccs(encode_eccs(e)), e);
        } catch (const FormatError &e) {
            std::string m = e.what();
            ASSERT_TRUE(m == MSG_UNEXPECTED_END || m == MSG_BAD_VARINT || m == MSG_BAD_UTF8 || m == MSG_BAD_VALUE) << m;
        } catch (const InternalError &e) {
            ASSERT_EQ(std::string(e.what()).rfind("Failed to deserialize Gate16 from ", 0), 0u) << e.what();
        }
    }
    EXPECT_GT(decoded, 100u);  // the mutations do reach successful decodes
}
