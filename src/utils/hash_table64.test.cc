#include "utils/hash_table64.h"

#include <gtest/gtest.h>

#include <string>

using namespace dravik;

namespace {
// Only `feed` reaches the hasher, so keys that differ in `tag` alone collide.
struct Key {
    uint32_t feed;
    int tag = 0;
    void hash_feed(SipHasher13 &h) const { h.write_u32(feed); }
    friend bool operator==(const Key &, const Key &) = default;
};
using Table = HashTable64<Key, std::string>;
}  // namespace

TEST(HashTable64, InsertReplacesSameKey) {
    Table t;
    EXPECT_EQ(t.insert(Key{1}, "first"), std::nullopt);
    auto old = t.insert(Key{1}, "second");
    ASSERT_TRUE(old);
    EXPECT_EQ(old->second, "first");
    EXPECT_EQ(t.size(), 1u);
    uint64_t f = fixed_hash(Key{1});
    EXPECT_EQ(Table::fingerprint(Key{1}), f);
    ASSERT_NE(t.address(f), nullptr);
    EXPECT_EQ(t.address(f)->second, "second");
    EXPECT_EQ(t.address(f + 1), nullptr);
    t.address_mut(f)->second = "third";
    EXPECT_EQ(t.address(f)->second, "third");
}

TEST(HashTable64, CollisionIsDetected) {
    Table t;
    t.insert(Key{7, 0}, "a");
    try {
        t.insert(Key{7, 1}, "b");
        FAIL() << "collision not detected";
    } catch (const InternalError &e) {
        EXPECT_STREQ(e.what(), "Hash collision detected in HashTable64");
    }
    EXPECT_EQ(t.address(fixed_hash(Key{7}))->second, "a");
}

TEST(HashTable64, AddressOr) {
    Table t;
    uint64_t f = fixed_hash(Key{3});
    auto &stored = t.address_or(f, {Key{3}, "default"});
    EXPECT_EQ(stored.second, "default");
    // Present: the new default is discarded, keys are not compared.
    auto &again = t.address_or(f, {Key{99, 5}, "other"});
    EXPECT_EQ(&again, &stored);
    EXPECT_EQ(again.first, (Key{3}));
    EXPECT_EQ(again.second, "default");
    // References survive growth.
    for (uint32_t i = 100; i < 2000; ++i) t.insert(Key{i}, "x");
    EXPECT_EQ(stored.second, "default");
    EXPECT_EQ(t.size(), 1901u);
}
