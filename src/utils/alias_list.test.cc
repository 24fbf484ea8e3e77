#include "utils/alias_list.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace dravik;

namespace {
// Counts destructions so the test can see exactly which cells were freed.
struct Tracked {
    char name;
    static inline std::string freed;
    ~Tracked() { freed += name; }
};

template <typename T>
std::string names(AliasList<T> l) {
    std::string s;
    for (const auto &x : l) s += x.name;
    return s;
}
}  // namespace

TEST(AliasList, ConsSharesTailsAndReleaseFreesOnlyTheHead) {
    AliasList<Tracked> nil;
    EXPECT_TRUE(nil.empty());
    auto a = nil.cons(Tracked{'a'});
    auto ba = a.cons(Tracked{'b'});
    auto ca = a.cons(Tracked{'c'});
    Tracked::freed.clear();  // the temporaries above

    EXPECT_EQ(names(a), "a");
    EXPECT_EQ(names(ba), "ba");
    EXPECT_EQ(names(ca), "ca");
    EXPECT_EQ(ba.tail(), a);  // shared, not copied
    EXPECT_EQ(ca.tail(), a);
    EXPECT_EQ(ba.len(), 2u);

    ba.release();
    ca.release();
    EXPECT_EQ(Tracked::freed, "bc");
    EXPECT_TRUE(ba.empty());
    EXPECT_EQ(names(a), "a");
    a.release();
    EXPECT_EQ(Tracked::freed, "bca");
}

TEST(AliasArena, CellsSurviveAcrossBlocksAndShareTails) {
    AliasArena<int> arena;
    std::vector<AliasList<int>> lists{AliasList<int>()};
    // A chain long enough to span several blocks, plus a sibling per element.
    for (int i = 0; i < 5000; ++i) lists.push_back(arena.cons(lists.back(), i));
    auto sibling = arena.cons(lists[3], -1);
    EXPECT_EQ(arena.cells(), 5001u);
    EXPECT_GE(arena.bytes(), 5001 * sizeof(AliasCons<int>));

    std::vector<int> v;
    lists.back().to_vec_rev(v);
    ASSERT_EQ(v.size(), 5000u);
    for (int i = 0; i < 5000; ++i) ASSERT_EQ(v[i], i);
    sibling.to_vec_rev(v);
    EXPECT_EQ(v, (std::vector<int>{0, 1, 2, -1}));
    EXPECT_EQ(sibling.tail(), lists[3]);
    EXPECT_EQ(sizeof(AliasCons<uint32_t>), 16u);
}
