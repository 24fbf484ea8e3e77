#include "circ/gate.h"

#include <gtest/gtest.h>

#include <cmath>
#include <thread>

#include "utils/error.h"

using namespace dravik;

TEST(Gate, BuiltinTable) {
    EXPECT_EQ(gates::H.nqargs(), 1u);
    EXPECT_EQ(gates::CX.nqargs(), 2u);
    auto rz = Gate16::from_name("rz(pi/3)");
    ASSERT_TRUE(rz);
    EXPECT_EQ(rz->idx, 17);
    EXPECT_EQ(rz->name(), "rz");
    EXPECT_EQ(rz->params(), std::vector<std::string>{"pi/3"});
    EXPECT_FALSE(Gate16::from_name("rz"));
    EXPECT_EQ(Gate16(22).display(), "rz(-pi/16)");
    EXPECT_EQ(Gate16(0).debug(), "Gate(0) -> i");
    const char *handles[] = {"i", "h", "x", "z", "y", "s", "sdg", "t", "tdg", "cx", "cz", "cy", "cs", "csdg", "swap"};
    for (uint16_t i = 0; i < 15; ++i) EXPECT_EQ(Gate16::from_name(handles[i])->idx, i);
    // Exact matrix entries written with the double-precision cos/sin values.
    auto t = gates::T.matrix_copy();
    EXPECT_EQ(t.at(1, 1), std::complex<double>(0.7071067811865476, 0.7071067811865475));
    auto tdg12 = Gate16(16).matrix_copy();
    EXPECT_EQ(tdg12.at(1, 1), std::complex<double>(0.9238795325112867, -0.3826834323650898));
    EXPECT_EQ(Gate16(17).matrix_copy().at(1, 1), std::complex<double>(0.5000000000000001, 0.8660254037844386));
}

TEST(Gate, AdjointsOfBuiltins) {
    std::pair<uint16_t, uint16_t> pairs[] = {{0, 0},   {1, 1},   {2, 2},   {3, 3},   {4, 4},   {5, 6},
                                             {7, 8},   {9, 9},   {10, 10}, {11, 11}, {12, 13}, {14, 14},
                                             {15, 16}, {17, 18}, {19, 20}, {21, 22}};
    for (auto [a, b] : pairs) {
        EXPECT_EQ(Gate16(a).adjoint().idx, b);
        EXPECT_EQ(Gate16(b).adjoint().idx, a);
    }
}

TEST(Gate, CreateValidatesAndDeduplicates) {
    auto err = [](CMatrix m) {
        try {
            Gate16::create("bad", {}, std::move(m));
        } catch (const InternalError &e) {
            return std::string(e.what());
        }
        return std::string("no error");
    };
    EXPECT_EQ(err(CMatrix(3, 3)), "Matrix must have a number of rows that is a power of two");
    EXPECT_EQ(err(CMatrix(0, 0)), "Matrix must have a number of rows that is a power of two");
    EXPECT_EQ(err(CMatrix(2, 4)), "Matrix must be squared");

    const double r = 0.7071067811865476;
    EXPECT_EQ(Gate16::create("foo", {}, CMatrix::from_rows({{r, r}, {r, -r}})), gates::H);
    // Within the grid: still h.
    EXPECT_EQ(Gate16::create("foo", {}, CMatrix::from_rows({{r + 1e-9, r}, {r, -r}})), gates::H);

    using C = std::complex<double>;
    auto u = CMatrix::from_rows({{1, 0}, {0, C(std::cos(0.3), std::sin(0.3))}});
    auto before = Gate16::table_size();
    Gate16 g1 = Gate16::create("u", {"a"}, u), g2 = Gate16::create("u", {"a"}, u);
    EXPECT_EQ(g1, g2);
    EXPECT_EQ(Gate16::table_size(), before + 1);
    Gate16 adj = g1.adjoint();
    EXPECT_EQ(adj.display(), "u\xE2\x80\xA0(a)");
    EXPECT_EQ(adj.adjoint(), g1);
}

TEST(Gate, ConcurrentReadersAndWriter) {
    std::atomic<bool> stop{false};
    std::thread reader([&] {
        while (!stop) ASSERT_EQ(gates::CX.nqargs(), 2u);
    });
    using C = std::complex<double>;
    for (int k = 0; k < 50; ++k)
        Gate16::create("w", {}, CMatrix::from_rows({{1, 0}, {0, C(std::cos(1.0 + k), std::sin(1.0 + k))}}));
    stop = true;
    reader.join();
}
