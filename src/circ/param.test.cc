#include "circ/param.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>

using namespace dravik;

namespace {
double ok(std::string_view text) {
    NumResult r = evaluate_with_pi(text);
    EXPECT_TRUE(r.ok()) << "'" << text << "': " << (r.ok() ? "" : r.error().text());
    return r.ok() ? r.value() : std::nan("");
}
NumericError err(std::string_view text) {
    NumResult r = evaluate_with_pi(text);
    EXPECT_FALSE(r.ok()) << "'" << text << "' evaluated to " << (r.ok() ? r.value() : 0.0);
    return r.ok() ? NumericError{} : r.error();
}
using K = NumericError::Kind;
}  // namespace

TEST(Param, Values) {
    struct Case {
        const char *text;
        double want;
    } cases[] = {
        {"pi/3", 1.0471975511965976},
        {"-pi/16", -0.19634954084936207},
        {"2*pi", 6.283185307179586},
        {" \t pi \n/\r 2  ", M_PI / 2},
        {"1-2-3", -4},
        {"8/2/2", 2},
        {"2^3^2", 64},
        {"-2^2", 4},
        {"2^-1", 0.5},
        {"--2", 2},
        {"- 2", -2},
        {"2.", 2},
        {"0.5", 0.5},
        {"2pi", 2},    // text after the longest prefix is ignored
        {"1.5e3", 1.5},
        {"007", 0},
        {"1+2*3", 7},
        {"(1+2)*3", 9},
        {"2*-3", -6},
        {"sqrt(4)", 2},
        {"exp(0)", 1},
        {"ln(1)", 0},
        {"cos(0)", 1},
        {"tan(0)", 0},
        {"sin (pi/2)", 1},
        {"sqrt( ( 9 ) )", 3},
        {"1 2", 1},
        {"3 ^ 2", 9},
        {"1+", 1},
    };
    for (auto &c : cases) EXPECT_EQ(ok(c.text), c.want) << c.text;
    EXPECT_EQ(ok("sin(pi)"), 1.2246467991473532e-16);
    EXPECT_EQ(std::bit_cast<uint64_t>(ok("pi")), 0x400921fb54442d18u);
    EXPECT_TRUE(std::isnan(ok("sqrt(-1)")));
    EXPECT_TRUE(std::isnan(ok("ln(-1)")));
    EXPECT_EQ(ok("ln(0)"), -INFINITY);
    EXPECT_EQ(ok(std::string(400, '9')), INFINITY);
    EXPECT_EQ(ok("0." + std::string(400, '0') + "1"), 0.0);
    // Negation flips the sign bit, even of zero.
    EXPECT_TRUE(std::signbit(ok("-0")));
}

TEST(Param, Errors) {
    EXPECT_EQ(err("1/0"), NumericError::division_by_zero());
    EXPECT_EQ(err("1/(1-1)"), NumericError::division_by_zero());
    EXPECT_EQ(err("0/0"), NumericError::division_by_zero());
    EXPECT_EQ(err("1/-0"), NumericError::division_by_zero());
    EXPECT_EQ(err("1/0").text(), "DivisionByZero");
    EXPECT_EQ(err("x"), NumericError::undefined_variable("x"));
    EXPECT_EQ(err("sin pi"), NumericError::undefined_variable("sin"));
    EXPECT_EQ(err("exp"), NumericError::undefined_variable("exp"));
    EXPECT_EQ(err("expo(1)"), NumericError::undefined_variable("expo"));
    EXPECT_EQ(err("sin(1"), NumericError::undefined_variable("sin"));  // no ")": `sin` is an identifier
    EXPECT_EQ(err("2*theta_1"), NumericError::undefined_variable("theta_1"));
    // The first error in evaluation order wins.
    EXPECT_EQ(err("a/0+b"), NumericError::undefined_variable("a"));
    EXPECT_EQ(err("1/0+b"), NumericError::division_by_zero());
    for (const char *bad : {"PI", ".5", "", ")", "(", "(1", "   ", "+1", "*"})
        EXPECT_EQ(err(bad).kind, K::ParseError) << bad;
    EXPECT_EQ(evaluate("y", {{"y", 2.5}}).value(), 2.5);
    EXPECT_EQ(evaluate("pi", {}).error(), NumericError::undefined_variable("pi"));
}

TEST(Param, Caculate) {
    EXPECT_EQ(caculate("^", 2, 10).value(), 1024);
    EXPECT_EQ(caculate("-", 1, 3).value(), -2);
    EXPECT_EQ(caculate("asin", 1, 0).error(), NumericError::invalid_argument("asin"));
    EXPECT_EQ(caculate("/", 1, -0.0).error().kind, K::DivisionByZero);
}

TEST(Param, ErrorReport) {
    // Location line, the input line, a caret under the furthest position and
    // what the grammar expected there.
    EXPECT_EQ(err("PI").text(),
              " --> 1:1\n"
              "  |\n"
              "1 | PI\n"
              "  | ^\n"
              "  |\n"
              "  = expected real, nninteger, \"(\", unary_op, \"-\", or id");
    std::string two = err("(pi\n  * (2").text();
    EXPECT_NE(two.find("--> 2:7\n"), std::string::npos) << two;
    EXPECT_NE(two.find("2 |   * (2\n"), std::string::npos) << two;
    EXPECT_NE(two.find("  |       ^\n"), std::string::npos) << two;
    EXPECT_NE(two.find("= expected "), std::string::npos) << two;
    EXPECT_NE(two.find("mul"), std::string::npos) << two;
    EXPECT_NE(two.find("\")\""), std::string::npos) << two;
    // Columns count characters, not bytes.
    std::string wide = err("\xCF\x80").text();
    EXPECT_NE(wide.find("--> 1:1\n"), std::string::npos) << wide;
    EXPECT_NE(err("(\xCF\x80").text().find("--> 1:2\n"), std::string::npos);
}

TEST(Param, NestingLimitFailsCleanly) {
    std::string depth_ok = std::string(MAX_PARAM_NESTING, '(') + "1" + std::string(MAX_PARAM_NESTING, ')');
    EXPECT_EQ(ok(depth_ok), 1);
    EXPECT_EQ(ok(std::string(MAX_PARAM_NESTING, '-') + "1"), 1);
    for (std::string deep : {std::string(100000, '('), std::string(100000, '-') + "1",
                             std::string(100000, '(') + "1" + std::string(100000, ')'),
                             [] {
                                 std::string s;
                                 for (int i = 0; i < 50000; ++i) s += "sin(";
                                 return s;
                             }()}) {
        NumericError e = err(deep);
        EXPECT_EQ(e.kind, K::ParseError);
        EXPECT_NE(e.text().find("nested too deeply"), std::string::npos);
        EXPECT_LT(e.text().size(), 400u);  // long lines are shown as a window
    }
    // Long flat chains are not nested.
    std::string flat = "1";
    for (int i = 0; i < 100000; ++i) flat += "+1";
    EXPECT_EQ(ok(flat), 100001);
}

TEST(Param, RandomInputNeverEscapes) {
    // Arbitrary bytes from the grammar's alphabet: a value or an error, never
    // an exception.
    std::mt19937 rng(7);
    const std::string alphabet = "0123456789.+-*/^() \t\nsincotaexplqrPIxyz_\xCF\x80";
    for (int n = 0; n < 20000; ++n) {
        std::string s(rng() % 24, ' ');
        for (auto &c : s) c = alphabet[rng() % alphabet.size()];
        NumResult r = evaluate_with_pi(s);
        if (!r.ok() && r.error().kind == K::ParseError) {
            EXPECT_NE(r.error().text().find("-->"), std::string::npos);
        }
    }
}
