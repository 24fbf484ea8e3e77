#include "circ/param.h"

#include <charconv>
#include <cmath>
#include <limits>
#include <optional>

namespace dravik {

const char *rule_name(Rule r) {
    switch (r) {
        case Rule::real: return "real";
        case Rule::id: return "id";
        case Rule::nninteger: return "nninteger";
        case Rule::exp: return "exp";
        case Rule::term: return "term";
        case Rule::factor: return "factor";
        case Rule::plus: return "plus";
        case Rule::mul: return "mul";
        case Rule::power: return "power";
        case Rule::unary_op: return "unary_op";
        case Rule::WHITESPACE: return "WHITESPACE";
    }
    return "?";
}

namespace {

bool is_digit(char c) { return c >= '0' && c <= '9'; }
bool is_lower(char c) { return c >= 'a' && c <= 'z'; }
bool is_id_char(char c) { return is_digit(c) || is_lower(c) || (c >= 'A' && c <= 'Z') || c == '_'; }
bool is_ws(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }

struct TooDeep {
    std::size_t pos;
};

// Recursive descent over the grammar in param.h. Every failed token test is
// recorded at its position; the furthest position with a failure and what
// was tried there make up the error report.
class Parser {
   public:
    explicit Parser(std::string_view s) : s_(s) {}

    std::optional<ParseNode> parse() { return exp(); }

    std::size_t error_pos() const { return fail_pos_; }
    const std::vector<std::string> &expected() const { return expected_; }

   private:
    using Node = std::optional<ParseNode>;

    bool at_end() const { return pos_ >= s_.size(); }
    char peek() const { return at_end() ? '\0' : s_[pos_]; }
    void skip_ws() {
        while (!at_end() && is_ws(s_[pos_])) ++pos_;
    }

    void attempted(std::size_t at, std::string what) {
        if (at > fail_pos_ || expected_.empty()) {
            if (at > fail_pos_) expected_.clear();
            fail_pos_ = at;
        }
        if (at != fail_pos_) return;
        for (auto &e : expected_)
            if (e == what) return;
        expected_.push_back(std::move(what));
    }

    ParseNode leaf(Rule r, std::size_t start) const { return ParseNode{r, uint32_t(start), uint32_t(pos_), {}}; }

    bool literal(std::string_view lit) {
        if (s_.substr(pos_, lit.size()) == lit) {
            pos_ += lit.size();
            return true;
        }
        std::string quoted(1, '"');
        quoted.append(lit);
        quoted.push_back('"');
        attempted(pos_, std::move(quoted));
        return false;
    }

    // ---- atomic rules
    Node real() {
        std::size_t start = pos_, p = pos_;
        while (p < s_.size() && is_digit(s_[p])) ++p;
        if (p == start || p >= s_.size() || s_[p] != '.') {
            attempted(start, "real");
            return std::nullopt;
        }
        ++p;
        while (p < s_.size() && is_digit(s_[p])) ++p;
        pos_ = p;
        return leaf(Rule::real, start);
    }

    Node nninteger() {
        std::size_t start = pos_;
        char c = peek();
        if (c >= '1' && c <= '9') {
            while (!at_end() && is_digit(s_[pos_])) ++pos_;
        } else if (c == '0') {
            ++pos_;
        } else {
            attempted(start, "nninteger");
            return std::nullopt;
        }
        return leaf(Rule::nninteger, start);
    }

    Node id() {
        std::size_t start = pos_;
        if (!is_lower(peek())) {
            attempted(start, "id");
            return std::nullopt;
        }
        ++pos_;
        while (!at_end() && is_id_char(s_[pos_])) ++pos_;
        return leaf(Rule::id, start);
    }

    Node choice_of(Rule r, std::initializer_list<std::string_view> options) {
        std::size_t start = pos_;
        for (auto o : options)
            if (s_.substr(pos_, o.size()) == o) {
                pos_ += o.size();
                return leaf(r, start);
            }
        attempted(start, rule_name(r));
        return std::nullopt;
    }
    Node plus() { return choice_of(Rule::plus, {"+", "-"}); }
    Node mul() { return choice_of(Rule::mul, {"*", "/"}); }
    Node unary_op() { return choice_of(Rule::unary_op, {"sin", "cos", "tan", "exp", "ln", "sqrt"}); }

    // ---- normal rules
    // `first (sep next)*` with whitespace skipped between elements; `keep_sep`
    // says whether the separator produces a node.
    template <typename First, typename Sep>
    Node chain(Rule r, First next, Sep sep, bool keep_sep) {
        std::size_t start = pos_;
        Node first = (this->*next)();
        if (!first) return std::nullopt;
        ParseNode node{r, uint32_t(start), 0, {}};
        node.children.push_back(std::move(*first));
        for (;;) {
            std::size_t save = pos_;
            skip_ws();
            Node op = sep();
            if (!op) {
                pos_ = save;
                break;
            }
            skip_ws();
            Node rhs = (this->*next)();
            if (!rhs) {
                pos_ = save;
                break;
            }
            if (keep_sep) node.children.push_back(std::move(*op));
            node.children.push_back(std::move(*rhs));
        }
        node.end = uint32_t(pos_);
        return node;
    }

    Node exp() {
        skip_ws();
        return chain(Rule::exp, &Parser::term, [this] { return plus(); }, true);
    }
    Node term() { return chain(Rule::term, &Parser::factor, [this] { return mul(); }, true); }
    Node factor() {
        return chain(
            Rule::factor, &Parser::power,
            [this]() -> Node {
                if (!literal("^")) return std::nullopt;
                return ParseNode{Rule::factor, 0, 0, {}};  // placeholder, dropped
            },
            false);
    }

    struct Nest {
        Parser &p;
        Nest(Parser &parser, std::size_t at) : p(parser) {
            if (++p.depth_ > MAX_PARAM_NESTING) throw TooDeep{at};
        }
        ~Nest() { --p.depth_; }
    };

    // "(" exp ")", with whitespace around the inner expression.
    Node parenthesised() {
        if (!literal("(")) return std::nullopt;
        skip_ws();
        Node inner = exp();
        if (!inner) return std::nullopt;
        skip_ws();
        if (!literal(")")) return std::nullopt;
        return inner;
    }

    Node power() {
        std::size_t start = pos_;
        auto wrap = [&](std::vector<ParseNode> children) {
            return ParseNode{Rule::power, uint32_t(start), uint32_t(pos_), std::move(children)};
        };
        if (Node n = real()) return wrap({std::move(*n)});
        if (Node n = nninteger()) return wrap({std::move(*n)});
        if (peek() == '(') {
            Nest nest(*this, start);
            if (Node inner = parenthesised()) return wrap({std::move(*inner)});
            pos_ = start;
        } else {
            attempted(start, "\"(\"");
        }
        if (Node op = unary_op()) {
            Nest nest(*this, start);
            skip_ws();
            if (Node inner = parenthesised()) return wrap({std::move(*op), std::move(*inner)});
            pos_ = start;
        }
        if (peek() == '-') {
            Nest nest(*this, start);
            ++pos_;
            skip_ws();
            if (Node inner = power()) return wrap({std::move(*inner)});
            pos_ = start;
        } else {
            attempted(start, "\"-\"");
        }
        if (Node n = id()) return wrap({std::move(*n)});
        return std::nullopt;
    }

    std::string_view s_;
    std::size_t pos_ = 0;
    unsigned depth_ = 0;
    std::size_t fail_pos_ = 0;
    std::vector<std::string> expected_;
};

bool utf8_continuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t code_points(std::string_view s) {
    std::size_t n = 0;
    for (char c : s)
        if (!utf8_continuation(c)) ++n;
    return n;
}

// Moves back (or forward) over UTF-8 continuation bytes to a character start.
std::size_t char_start(std::string_view s, std::size_t i) {
    while (i > 0 && i < s.size() && utf8_continuation(s[i])) --i;
    return i;
}

// The parser's report:
//  --> line:col
//   |
// 1 | input line
//   |   ^
//   |
//   = expected ...
std::string report(std::string_view text, std::size_t pos, const std::string &message) {
    pos = std::min(pos, text.size());
    std::size_t line_start = text.substr(0, pos).rfind('\n');
    line_start = line_start == std::string_view::npos ? 0 : line_start + 1;
    std::size_t line_no = 1;
    for (std::size_t i = 0; i < line_start; ++i) line_no += text[i] == '\n';
    std::size_t line_end = text.find('\n', line_start);
    if (line_end == std::string_view::npos) line_end = text.size();
    std::string_view line = text.substr(line_start, line_end - line_start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    std::size_t col = code_points(text.substr(line_start, pos - line_start)) + 1;

    // Long lines are shown as a window around the position.
    constexpr std::size_t before = 60, after = 20;
    std::size_t rel = pos - line_start;
    std::size_t from = 0, to = line.size();
    if (rel > before) from = char_start(line, rel - before);
    if (to > rel + after) to = char_start(line, rel + after);
    std::string shown;
    if (from > 0) shown += "...";
    for (char c : line.substr(from, to - from)) {
        if (c == '\t') shown += ' ';
        else if ((static_cast<unsigned char>(c) < 0x20) || c == 0x7f) shown += '?';
        else shown += c;
    }
    if (to < line.size()) shown += "...";
    std::size_t caret = (from > 0 ? 3 : 0) + code_points(line.substr(from, std::min(rel, line.size()) - from));

    std::string num = std::to_string(line_no);
    std::string pad(num.size(), ' ');
    std::string out;
    out += pad + "--> " + num + ":" + std::to_string(col) + "\n";
    out += pad + " |\n";
    out += num + " | " + shown + "\n";
    out += pad + " | " + std::string(caret, ' ') + "^\n";
    out += pad + " |\n";
    out += pad + " = " + message;
    return out;
}

std::string expected_text(const std::vector<std::string> &items) {
    if (items.empty()) return "unknown parsing error";
    std::string s = "expected ";
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i) s += (items.size() > 2 ? ", " : " ");
        if (i + 1 == items.size() && i > 0) s += "or ";
        s += items[i];
    }
    return s;
}

double to_double(std::string_view digits) {
    double v = 0;
    auto [ptr, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), v);
    if (ec == std::errc::result_out_of_range) {
        // Out of range either way: a non-zero integer part overflows, anything
        // else is too small to represent.
        bool big = false;
        for (char c : digits) {
            if (c == '.') break;
            if (c != '0') big = true;
        }
        return big ? std::numeric_limits<double>::infinity() : 0.0;
    }
    return v;
}

std::string_view node_text(std::string_view text, const ParseNode &n) { return text.substr(n.start, n.end - n.start); }

}  // namespace

std::variant<ParseNode, std::string> parse_param(std::string_view text) {
    Parser p(text);
    try {
        if (auto node = p.parse()) return std::move(*node);
    } catch (const TooDeep &deep) {
        return report(text, deep.pos,
                      "expression nested too deeply (more than " + std::to_string(MAX_PARAM_NESTING) + " levels)");
    }
    return report(text, p.error_pos(), expected_text(p.expected()));
}

std::string NumericError::text() const { return kind == Kind::DivisionByZero ? "DivisionByZero" : payload; }

NumResult caculate(std::string_view op, double a, double b) {
    if (op == "+") return a + b;
    if (op == "-") return a - b;
    if (op == "*") return a * b;
    if (op == "/") {
        if (b == 0.0) return NumericError::division_by_zero();
        return a / b;
    }
    if (op == "^") return std::pow(a, b);
    if (op == "ln") return std::log(a);
    if (op == "sin") return std::sin(a);
    if (op == "cos") return std::cos(a);
    if (op == "tan") return std::tan(a);
    if (op == "exp") return std::exp(a);
    if (op == "sqrt") return std::sqrt(a);
    return NumericError::invalid_argument(std::string(op));
}

NumResult eval_power(std::string_view text, const std::vector<ParseNode> &children, const ParamEnv &env) {
    const ParseNode &first = children.at(0);
    switch (first.rule) {
        case Rule::real:
        case Rule::nninteger: return to_double(node_text(text, first));
        case Rule::id: {
            auto name = node_text(text, first);
            auto it = env.find(name);
            if (it == env.end()) return NumericError::undefined_variable(std::string(name));
            return it->second;
        }
        case Rule::exp: return eval_expr(text, first.children, env);
        case Rule::power: {
            NumResult v = eval_power(text, first.children, env);
            if (!v.ok()) return v;
            return -v.value();
        }
        case Rule::unary_op: {
            NumResult x = eval_expr(text, children.at(1).children, env);
            if (!x.ok()) return x;
            return caculate(node_text(text, first), x.value(), 0);
        }
        default: return NumericError::invalid_argument(rule_name(first.rule));
    }
}

NumResult eval_factor(std::string_view text, const std::vector<ParseNode> &children, const ParamEnv &env) {
    NumResult v = eval_power(text, children.at(0).children, env);
    for (std::size_t i = 1; v.ok() && i < children.size(); ++i) {
        NumResult rhs = eval_power(text, children[i].children, env);
        if (!rhs.ok()) return rhs;
        v = std::pow(v.value(), rhs.value());
    }
    return v;
}

namespace {
template <typename Next>
NumResult eval_chain(std::string_view text, const std::vector<ParseNode> &children, const ParamEnv &env, Next next) {
    NumResult v = next(text, children.at(0).children, env);
    for (std::size_t i = 1; v.ok() && i + 1 < children.size(); i += 2) {
        NumResult rhs = next(text, children[i + 1].children, env);
        if (!rhs.ok()) return rhs;
        v = caculate(node_text(text, children[i]), v.value(), rhs.value());
    }
    return v;
}
}  // namespace

NumResult eval_term(std::string_view text, const std::vector<ParseNode> &children, const ParamEnv &env) {
    return eval_chain(text, children, env, eval_factor);
}

NumResult eval_expr(std::string_view text, const std::vector<ParseNode> &children, const ParamEnv &env) {
    return eval_chain(text, children, env, eval_term);
}

NumResult evaluate(std::string_view text, const ParamEnv &env) {
    auto parsed = parse_param(text);
    if (auto *err = std::get_if<std::string>(&parsed)) return NumericError::parse_error(std::move(*err));
    const ParseNode &top = std::get<ParseNode>(parsed);
    if (top.children.empty()) return NumericError::parse_error("Empty expression");
    return eval_expr(text, top.children, env);
}

NumResult evaluate_with_pi(std::string_view text) {
    static const ParamEnv env{{"pi", PI}};
    return evaluate(text, env);
}

}  // namespace dravik
