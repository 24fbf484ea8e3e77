#include "search/quartz.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "codec/codec.h"

using namespace dravik;
namespace fs = std::filesystem;

namespace {

Permut32 P(std::initializer_list<int> v) { return Permut32::from_iter(std::vector<int>(v)); }
ECC single(std::vector<Instr32> c, Permut32 p) { return ECC{{{std::move(c), p}}}; }

std::string slurp(const fs::path &p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace

TEST(Quartz, ExactDocuments) {
    const auto id2 = P({0, 1}), sw = P({1, 0});
    struct Case {
        const char *what;
        ECCs eccs;
        const char *json;
    };
    const Case cases[] = {
        {"only singletons", ECCs{{single({}, id2), single({Instr32(gates::H, 0)}, id2)}, 2}, R"([[[0],[0]],{}])"},
        {"equal permutations: one variant, no swaps",
         ECCs{{single({}, id2), ECC{{{{Instr32(gates::H, 0), Instr32(gates::H, 0)}, id2}, {{}, id2}}}}, 2},
         R"([[[0],[0]],{"1_0":[[[1,2],[["h",["Q0"],["Q0"]],["h",["Q0"],["Q0"]]]],[[1,0],[]]]}])"},
        {"two permutations: two variants",
         ECCs{{ECC{{{{Instr32(gates::CX, 0, 1)}, id2}, {{Instr32(gates::CX, 1, 0)}, sw}}}}, 2},
         R"([[[0],[0]],{"0_0":[[[2,1],[["cx",["Q0","Q1"],["Q0","Q1"]]]],)"
         R"([[2,2],[["cx",["Q1","Q0"],["Q1","Q0"]],["swap",["Q0","Q1"],["Q0","Q1"]]]]],)"
         R"("0_1":[[[2,2],[["cx",["Q0","Q1"],["Q0","Q1"]],["swap",["Q0","Q1"],["Q0","Q1"]]]],)"
         R"([[2,1],[["cx",["Q1","Q0"],["Q1","Q0"]]]]]}])"},
        {"header counts the largest qubit; parameters in the name",
         ECCs{{ECC{{{{Instr32(Gate16(17), 3)}, P({0, 1, 2, 3})}, {{}, P({0, 1, 2, 3})}}}}, 4},
         R"j([[[0],[0]],{"0_0":[[[4,1],[["rz(pi/3)",["Q3"],["Q3"]]]],[[1,0],[]]]}])j"},
    };
    for (const auto &c : cases) EXPECT_EQ(as_quartz(c.eccs).dump(), c.json) << c.what;
}

TEST(Quartz, VariantsFollowDistinctPermutations) {
    // Members with permutations a, b, a, c: three variants, in order of first
    // appearance; the reference members of each variant carry no swaps.
    const auto a = P({0, 1, 2}), b = P({1, 0, 2}), c = P({2, 0, 1});
    ECC ecc{{{{Instr32(gates::H, 0)}, a}, {{Instr32(gates::X, 0)}, b}, {{Instr32(gates::Z, 0)}, a}, {{Instr32(gates::Y, 0)}, c}}};
    auto variants = generate_ecc_with_swap(ecc);
    ASSERT_EQ(variants.size(), 3u);
    const std::vector<std::vector<std::size_t>> plain = {{0, 2}, {1}, {3}};
    for (std::size_t v = 0; v < 3; ++v) {
        ASSERT_EQ(variants[v].size(), 4u);
        for (std::size_t j = 0; j < 4; ++j) {
            bool no_swaps = variants[v][j].size() == 1;
            bool expected = std::find(plain[v].begin(), plain[v].end(), j) != plain[v].end();
            EXPECT_EQ(no_swaps, expected) << v << " " << j;
            EXPECT_EQ(variants[v][j][0], ecc.members[j].first[0]);
            for (std::size_t k = 1; k < variants[v][j].size(); ++k) EXPECT_EQ(variants[v][j][k].gate, gates::SWAP);
        }
    }
    // The swaps realise the relative permutation: applying them after
    // member j's permutation lands on the reference's.
    for (std::size_t v = 0; v < 3; ++v) {
        Permut32 ref = ecc.members[plain[v][0]].second;
        for (std::size_t j = 0; j < 4; ++j) {
            Permut32 pp = ref.inverse() * ecc.members[j].second;
            for (std::size_t k = 1; k < variants[v][j].size(); ++k) {
                auto s = variants[v][j][k].qargs;
                pp.swap_inputs(s.q[0], s.q[1]);
            }
            EXPECT_TRUE(pp.is_identity()) << v << " " << j;
        }
    }
}

TEST(Quartz, KeysInByteOrder) {
    ECCs e;
    e.nqubits = 1;
    auto pair = ECC{{{{Instr32(gates::H, 0), Instr32(gates::H, 0)}, P({0})}, {{}, P({0})}}};
    for (int k = 0; k < 27; ++k) e.eccs.push_back(k == 1 || k == 16 || k == 26 || k == 10 ? pair : single({}, P({0})));
    std::string doc = as_quartz(e).dump();
    auto at = [&](const char *key) { return doc.find(std::string("\"") + key + "\""); };
    ASSERT_NE(at("1a_0"), std::string::npos);
    EXPECT_LT(at("10_0"), at("1_0"));
    EXPECT_LT(at("1_0"), at("1a_0"));
    EXPECT_LT(at("1a_0"), at("a_0"));
}

TEST(Quartz, FileHandling) {
    auto dir = fs::temp_directory_path() / ("dravik_quartz_" + std::to_string(::getpid()));
    fs::create_directories(dir);
    ECCs e{{single({}, P({0}))}, 1};
    auto path = dir / "out.json";
    { std::ofstream(path) << std::string(100, 'x'); }
    dump_quartz(e, path.string());
    EXPECT_EQ(slurp(path), "[[[0],[0]],{}]");  // truncated, no trailing newline

    auto missing = dir / "no" / "out.json";
    try {
        dump_quartz(e, missing.string());
        FAIL();
    } catch (const codec::FileError &err) {
        EXPECT_EQ(std::string(err.what()).rfind("Failed to create file: ", 0), 0u);
    }
    EXPECT_FALSE(fs::exists(missing));
    if (fs::exists("/dev/full")) {
        try {
            dump_quartz(e, "/dev/full");
            FAIL();
        } catch (const codec::FormatError &err) {
            EXPECT_EQ(std::string(err.what()).rfind("Failed to write JSON: No space left on device", 0), 0u) << err.what();
        }
    }
    fs::remove_all(dir);
}
