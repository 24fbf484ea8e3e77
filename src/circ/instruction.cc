#include "circ/instruction.h"

#include <cstdio>

#include "utils/fmt_join.h"

namespace dravik {

std::string quoted(std::string_view s) {
    std::string out = "\"";
    for (std::size_t i = 0; i < s.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        switch (c) {
            case '"': out += "\\\""; continue;
            case '\\': out += "\\\\"; continue;
            case '\n': out += "\\n"; continue;
            case '\r': out += "\\r"; continue;
            case '\t': out += "\\t"; continue;
            case '\0': out += "\\0"; continue;
            default: break;
        }
        if (c < 0x20 || c == 0x7f) {
            char buf[12];
            std::snprintf(buf, sizeof buf, "\\u{%x}", c);
            out += buf;
        } else if (c == 0xC2 && i + 1 < s.size() && static_cast<unsigned char>(s[i + 1]) < 0xA0 &&
                   static_cast<unsigned char>(s[i + 1]) >= 0x80) {
            // C1 control characters U+0080..U+009F
            char buf[12];
            std::snprintf(buf, sizeof buf, "\\u{%x}", static_cast<unsigned char>(s[++i]));
            out += buf;
        } else {
            out += char(c);
        }
    }
    return out + "\"";
}

std::string Argument::text() const { return regid + "[" + std::to_string(index) + "]"; }

std::string Argument::repr() const {
    return "Argument { regid: " + quoted(regid) + ", index: " + std::to_string(index) + " }";
}

std::string Instruction::text() const {
    std::vector<const Argument *> all;
    all.reserve(qargs.size() + cargs.size());
    for (auto &a : qargs) all.push_back(&a);
    for (auto &a : cargs) all.push_back(&a);
    std::string s = gate.display() + " ";
    s += fjoin(all, ", ").map([](const Argument *a) { return a->text(); });
    return s + ";";
}

std::string Instruction::repr() const {
    auto list = [](const std::vector<Argument> &args) {
        return fjoin_or(args, ", ", "[", "]", "[]").map([](const Argument &a) { return a.repr(); }).str();
    };
    return "Instruction { gate: " + gate.debug() + ", qargs: " + list(qargs) + ", cargs: " + list(cargs) + " }";
}

void Instruction::hash_feed(SipHasher13 &h) const {
    gate.hash_feed(h);
    h.write_len(qargs.size());
    for (auto &a : qargs) a.hash_feed(h);
    h.write_len(cargs.size());
    for (auto &a : cargs) a.hash_feed(h);
}

}  // namespace dravik
