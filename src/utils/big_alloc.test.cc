#include "utils/big_alloc.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

using namespace dravik;

TEST(BigAlloc, SmallAndHugeBlocksAreUsableAndAligned) {
    for (std::size_t bytes : {std::size_t(64), BIG_PAGE - 1, BIG_PAGE, 3 * BIG_PAGE + 5}) {
        auto *p = static_cast<unsigned char *>(big_alloc(bytes));
        std::memset(p, 0xab, bytes);
        EXPECT_EQ(p[bytes - 1], 0xab);
        if (bytes >= BIG_PAGE) EXPECT_EQ(reinterpret_cast<std::uintptr_t>(p) % BIG_PAGE, 0u);
        big_free(p, bytes);
    }
    std::vector<uint64_t, BigAllocator<uint64_t>> v(BIG_PAGE / 4, 7);
    EXPECT_EQ(v.back(), 7u);
}
