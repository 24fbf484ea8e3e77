#pragma once
// Symbolic gate parameters: a small arithmetic language ("pi/3", "-pi/16",
// "2*sin(pi/5)^2") parsed by a recursive-descent PEG parser into a parse tree,
// then evaluated over an environment of named doubles.
//
// Grammar (ordered choice, greedy repetition; whitespace is skipped between
// the elements of the non-atomic rules):
//   exp       = WHITESPACE* term (plus term)*
//   term      = factor (mul factor)*
//   factor    = power ("^" power)*
//   plus      = "+" | "-"
//   mul       = "*" | "/"
//   power     = real | nninteger | "(" exp ")" | unary_op "(" exp ")" | "-" power | id
//   unary_op  = "sin" | "cos" | "tan" | "exp" | "ln" | "sqrt"
//   real      = @{ digit+ "." digit* }
//   id        = @{ [a-z] [A-Za-z0-9_]* }
//   nninteger = @{ [1-9] digit* | "0" }
// Text after the longest `exp` prefix is ignored.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace dravik {

// Parse-tree node kinds, also the names used in parser error reports.
enum class Rule : uint8_t { real, id, nninteger, exp, term, factor, plus, mul, power, unary_op, WHITESPACE };
const char *rule_name(Rule r);

struct ParseNode {
    Rule rule;
    uint32_t start = 0, end = 0;  // byte span in the input
    std::vector<ParseNode> children;
};

// Prefix operators and parentheses nest by recursion; deeper input is
// refused with a parse error rather than risking the stack.
inline constexpr unsigned MAX_PARAM_NESTING = 256;

// Parses `text` with rule `exp`. On success returns the top `exp` node; on
// failure the multi-line error report (location, input line with a caret,
// what was expected there).
std::variant<ParseNode, std::string> parse_param(std::string_view text);

struct NumericError {
    enum class Kind : uint8_t { ParseError, DivisionByZero, InvalidArgument, UndefinedVariable };
    Kind kind;
    std::string payload;  // empty for DivisionByZero

    static NumericError parse_error(std::string s) { return {Kind::ParseError, std::move(s)}; }
    static NumericError division_by_zero() { return {Kind::DivisionByZero, {}}; }
    static NumericError invalid_argument(std::string s) { return {Kind::InvalidArgument, std::move(s)}; }
    static NumericError undefined_variable(std::string s) { return {Kind::UndefinedVariable, std::move(s)}; }

    // The payload, or "DivisionByZero".
    std::string text() const;
    friend bool operator==(const NumericError &, const NumericError &) = default;
};

// A value or the first error met while computing it.
class NumResult {
   public:
    NumResult(double v) : v_(v) {}
    NumResult(NumericError e) : v_(std::move(e)) {}

    bool ok() const { return v_.index() == 0; }
    double value() const { return std::get<0>(v_); }
    const NumericError &error() const { return std::get<1>(v_); }

   private:
    std::variant<double, NumericError> v_;
};

using ParamEnv = std::map<std::string, double, std::less<>>;

inline constexpr double PI = 3.141592653589793;

NumResult evaluate(std::string_view text, const ParamEnv &env);
// `evaluate` with the single variable `pi`.
NumResult evaluate_with_pi(std::string_view text);

// One named operation: + - * / ^ on (a, b); ln sin cos tan exp sqrt on a.
NumResult caculate(std::string_view op, double a, double b);

// Evaluation of the children of an `exp`, `term`, `factor` and `power` node.
NumResult eval_expr(std::string_view text, const std::vector<ParseNode> &children, const ParamEnv &env);
NumResult eval_term(std::string_view text, const std::vector<ParseNode> &children, const ParamEnv &env);
NumResult eval_factor(std::string_view text, const std::vector<ParseNode> &children, const ParamEnv &env);
NumResult eval_power(std::string_view text, const std::vector<ParseNode> &children, const ParamEnv &env);

}  // namespace dravik
