#include "circ/instr.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace dravik;

TEST(Instr32, MasksAndPositions) {
    Instr32 h0(gates::H, 0), cx20(gates::CX, 2, 0);
    EXPECT_EQ(h0.text(), "h(0)");
    EXPECT_EQ(h0.arg_mask(), 1);
    EXPECT_EQ(cx20.arg_mask(), 5);
    EXPECT_EQ(cx20.largest_qubit(), 2);
    EXPECT_EQ(cx20.position_of_qubit(0), 1u);
    EXPECT_EQ(h0.position_of_qubit(1), std::nullopt);
    EXPECT_EQ(cx20.pass_mask(0), std::nullopt);
    EXPECT_EQ(cx20.pass_mask(1), std::nullopt);
    EXPECT_EQ(cx20.pass_mask(3), 7);
    EXPECT_EQ(Instr32(gates::CX, 0, 1).pass_mask(0), 3);
    EXPECT_EQ(Instr32(gates::CX, 1, 0).pass_mask(0), std::nullopt);
    EXPECT_EQ(Instr32(gates::H, 1).pass_mask(1), 3);
    EXPECT_EQ(Instr32(gates::H, 2).pass_mask(1), std::nullopt);
    EXPECT_TRUE(h0.disjoint(Instr32(gates::CX, 1, 2)));
    EXPECT_FALSE(Instr32(gates::H, 1).disjoint(Instr32(gates::CX, 1, 2)));
    EXPECT_EQ(Instr32(Gate16(17), 2).text(), "rz(pi/3)(2)");
    EXPECT_EQ(Instr32(gates::H, QArgs16()).text(), "h()");
}

TEST(Instr32, OrderQubitsBeforeGate) {
    std::vector<Instr32> v = {Instr32(gates::H, 1), Instr32(gates::X, 0), Instr32(gates::H, 0), Instr32(gates::I, 0)};
    std::sort(v.begin(), v.end());
    EXPECT_EQ(instrs_text(v), "i(0) h(0) x(0) h(1)");
    EXPECT_LT(Instr32(gates::CX, 0, 1), Instr32(gates::H, 0));
    EXPECT_LT(Instr32(gates::CX, 0, 1), Instr32(gates::CX, 1, 0));
}

TEST(Instr32, PermutationAndAdjoint) {
    auto swap01 = Permut32::from_iter(std::vector<int>{1, 0});
    EXPECT_EQ(Instr32(gates::CX, 0, 1).apply_permutation(swap01), Instr32(gates::CX, 1, 0));
    try {
        Instr32(gates::H, 9).apply_permutation(swap01);
        FAIL();
    } catch (const InternalError &e) {
        EXPECT_STREQ(e.what(), "assertion failed: idx < 8");
    }
    EXPECT_EQ(Instr32(gates::S, 0).adjoint(), Instr32(gates::SDG, 0));
    EXPECT_EQ(Instr32(gates::H, 0).packed(), 0xff000001u);
}
