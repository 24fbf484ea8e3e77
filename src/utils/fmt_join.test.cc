#include "utils/fmt_join.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <sstream>
#include <string>
#include <vector>

using namespace dravik;

TEST(FmtJoin, OutputRules) {
    std::vector<std::string> none, one{"pi/3"}, two{"a", "b"};
    EXPECT_EQ(fjoin_opt_braces(none, ", ", "(", ")").str(), "");
    EXPECT_EQ(fjoin_opt_braces(one, ", ", "(", ")").str(), "(pi/3)");
    EXPECT_EQ(fjoin_opt_braces(two, ", ", "(", ")").str(), "(a, b)");
    EXPECT_EQ(fjoin(two, ", ").str(), "a, b");
    EXPECT_EQ(fjoin(none, ", ").str(), "");
    EXPECT_EQ(fjoin_or(none, " ", "[", "]", "<empty>").str(), "<empty>");
    EXPECT_EQ(fjoin_or(two, " ", "[", "]", "<empty>").str(), "[a b]");

    // Small integers are numbers, into a string or a stream alike.
    std::vector<uint8_t> qubits{0, 10, 255};
    std::ostringstream os;
    os << fjoin_opt_braces(qubits, ", ", '(', ')');
    EXPECT_EQ(os.str(), "(0, 10, 255)");
    EXPECT_EQ(fjoin(qubits, "-").str(), "0-10-255");

    std::string s = "x";
    s += fjoin(two, "+").map([](const std::string &v) { return v + v; });
    EXPECT_EQ(s, "xaa+bb");
}

TEST(FmtJoin, SingleUse) {
    std::vector<int> xs{1, 2};
    auto j = fjoin_or(xs, ",", "<", ">", "none");
    EXPECT_EQ(j.str(), "<1,2>");
    EXPECT_EQ(j.str(), "none");  // consumed by the first display
}

namespace {
// An item whose display displays the join that contains it.
struct Reenter {
    const void *join = nullptr;
    std::string (*show)(const void *) = nullptr;
    friend std::ostream &operator<<(std::ostream &os, const Reenter &r) { return os << r.show(r.join); }
};
}  // namespace

TEST(FmtJoin, NestedDisplayOfTheSameJoinFails) {
    std::vector<Reenter> items(1);
    auto j = fjoin(items, ",");
    using J = decltype(j);
    items[0] = Reenter{&j, [](const void *p) { return static_cast<const J *>(p)->str(); }};
    EXPECT_THROW(j.str(), InternalError);
}
