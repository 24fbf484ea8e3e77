#include "qreal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace dravik;

TEST(Qreal, GridEquality) {
    EXPECT_TRUE(qreal_eq(1e-9, 0.0));
    EXPECT_EQ(percision_repr(std::ldexp(1.0, -25)), 1u);
    EXPECT_EQ(percision_repr(-std::ldexp(1.0, -25)), UINT64_MAX);
    EXPECT_FALSE(qreal_eq(std::ldexp(1.0, -25), 0.0));
    EXPECT_FALSE(qreal_eq(std::ldexp(1.0, -25), -std::ldexp(1.0, -25)));
    EXPECT_TRUE(qreal_eq(1.0, 1.0 + 2e-8));
    EXPECT_FALSE(qreal_eq(1.0, 1.0 + 4e-8));
}

TEST(Qreal, NanAndSaturation) {
    double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(qreal_eq(nan, 0.0));
    EXPECT_FALSE(near_zero(nan));
    EXPECT_TRUE(qreal_eq(1e12, 1e13));
    EXPECT_EQ(percision_repr(-1e300), uint64_t(INT64_MIN));
    EXPECT_EQ(percision_repr(std::numeric_limits<double>::infinity()), uint64_t(INT64_MAX));
    SipHasher13 a, b;
    Qreal(nan).hash_feed(a);
    Qreal(0.0).hash_feed(b);
    EXPECT_EQ(a.finish(), b.finish());
}

TEST(Qreal, OrderIsUnsignedOnGrid) {
    EXPECT_EQ(percision_repr(-1e-6), UINT64_MAX - 16);
    EXPECT_EQ(qreal_cmp(-1e-6, 1e6), 1);
    EXPECT_EQ(qreal_cmp(0.5, 0.25), 1);
    EXPECT_EQ(qreal_cmp(0.5, 0.5 + 1e-9), 0);
}

TEST(Qreal, NearZeroAndLoose) {
    EXPECT_FALSE(near_zero(std::ldexp(1.0, -24)));
    EXPECT_TRUE(near_zero(-5.9e-8));
    EXPECT_TRUE(loose_eq(0.003, -0.003));
    EXPECT_FALSE(loose_eq(0.0039, 0.0040));
}

TEST(Qreal, Text) {
    struct Case { double x; bool sign; const char *text; };
    const Case cases[] = {
        {1.0, false, "1"},         {-0.0, false, "-0"},       {0.1 + 0.2, false, "0.30000000000000004"},
        {0.5, false, "0.5"},       {1e-7, false, "0.0000001"}, {1e20, false, "100000000000000000000"},
        {0.5, true, "+0.5"},       {0.0, true, "+0"},         {-0.25, true, "-0.25"},
        {std::nan(""), true, "NaN"}, {-INFINITY, false, "-inf"}, {INFINITY, false, "inf"},
    };
    for (const auto &c : cases) EXPECT_EQ(qreal_text(c.x, c.sign), c.text) << c.x;
}
