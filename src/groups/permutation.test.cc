#include "groups/permutation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "utils/test_support.h"

using namespace dravik;
using namespace dravik::test_support;

namespace {
Permut32 P(std::initializer_list<int> v) { return Permut32::from_iter(std::vector<int>(v)); }
}  // namespace

TEST(Permut32, LayoutAndAlgebra) {
    EXPECT_EQ(Permut32::identity(3).raw, 0x03000088u);
    auto id8 = Permut32::identity(8);
    EXPECT_EQ(id8.len(), 8);
    EXPECT_TRUE(id8.is_identity());
    EXPECT_EQ(id8.inverse(), id8);
    EXPECT_EQ(P({1, 2, 0}).inverse(), P({2, 0, 1}));
    EXPECT_EQ(P({1, 2, 0}) * P({2, 0, 1}), P({0, 1, 2}));
    EXPECT_EQ(P({2, 0, 1}) * P({1, 2, 0}), P({0, 1, 2}));
    EXPECT_EQ(P({1, 0, 2}) * P({0, 2, 1}), P({1, 2, 0}));
    EXPECT_EQ((Permut32() * Permut32()).raw, 0u);
    auto [a, b] = P({1, 0}).coordinate_permute(P({0, 2, 1}));
    EXPECT_EQ(a, P({1, 0, 2}));
    EXPECT_EQ(b, P({0, 2, 1}));
    EXPECT_EQ(P({2, 0, 1}).permut_bv(0b011), 0b101u);
    EXPECT_EQ(P({1, 0, 2}).text(), "(1 0 2)");
    EXPECT_EQ(Permut32().text(), "()");
    EXPECT_EQ(Permut32::identity(2).raw, 33554440u);
}

TEST(Permut32, Messages) {
    EXPECT_EQ(internal_error_of([] { P({1, 1}); }), "Permutation values must be unique");
    EXPECT_EQ(internal_error_of([] { P({8}); }), "Permutation values must be less than 8");
    EXPECT_EQ(internal_error_of([] { Permut32::identity(9); }), "Permutation length must be less than or equal to 8");
    EXPECT_EQ(internal_error_of([] { Permut32::identity(2).at(8); }), "assertion failed: idx < 8");
    EXPECT_EQ(internal_error_of([] { Permut32::identity(2) * Permut32::identity(3); }),
              "assertion failed: self.len() == other.len()");
    EXPECT_EQ(internal_error_of([] { Permut32::from_iter_with_ext(3, std::vector<int>{1, 1}); }), "Permutation values must be unique");
}

TEST(Permut32, FromIterWithExt) {
    EXPECT_EQ(Permut32::from_iter_with_ext(4, std::vector<int>{1, 3}), P({1, 3, 2, 0}));
    EXPECT_EQ(Permut32::from_iter_with_ext(3, std::vector<int>{}), Permut32::identity(3));
}

TEST(Permut32, HeapOrderTable) {
    std::vector<Permut32> expect = {P({0, 1, 2}), P({1, 0, 2}), P({2, 0, 1}), P({0, 2, 1}), P({1, 2, 0}), P({2, 1, 0})};
    EXPECT_EQ(Permut32::all(3), expect);
    const size_t sizes[] = {1, 1, 2, 6, 24, 120, 720, 5040, 40320};
    for (unsigned n = 0; n <= 8; ++n) {
        auto row = Permut32::all(n);
        EXPECT_EQ(row.size(), sizes[n]);
        EXPECT_TRUE(row[0].is_identity());
        std::sort(row.begin(), row.end());
        EXPECT_EQ(std::unique(row.begin(), row.end()), row.end()) << n;
    }
}

TEST(Permut32, SortingNetworksSortEveryPermutation) {
    auto s = P({2, 0, 1}).swap_list();
    ASSERT_EQ(s.size(), 2u);
    EXPECT_EQ(s[0], std::make_pair(uint8_t(0), uint8_t(2)));
    EXPECT_EQ(s[1], std::make_pair(uint8_t(0), uint8_t(1)));
    for (unsigned n = 0; n <= 8; ++n) {
        EXPECT_TRUE(Permut32::identity(n).swap_list().empty());
        for (auto p : Permut32::all(n)) {
            auto w = p;
            for (auto [a, b] : p.swap_list()) w.swap_inputs(a, b);
            ASSERT_TRUE(w.is_identity()) << p.text();
        }
    }
}
