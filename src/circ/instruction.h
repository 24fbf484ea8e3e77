#pragma once
// Register-level instructions for Python code that names registers the way
// circuit languages do (`q[0]`, `c[2]`): plain data holders, built, read,
// changed through setters, printed, compared and hashed. Nothing else in the
// library consumes them; the search works on compact Instr32 values.
#include <cstddef>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "circ/gate.h"
#include "utils/siphash.h"

namespace dravik {

struct Argument {
    std::string regid;
    std::size_t index = 0;

    std::string text() const;  // q[0]
    std::string repr() const;  // Argument { regid: "q", index: 0 }
    // regid bytes, 0xFF, then the index as 4 little-endian bytes.
    void hash_feed(SipHasher13 &h) const {
        h.write_str(regid);
        h.write_u8(0xFF);
        h.write_len(index);
    }

    friend bool operator==(const Argument &, const Argument &) = default;
    friend std::ostream &operator<<(std::ostream &os, const Argument &a) { return os << a.text(); }
};

struct Instruction {
    Gate16 gate;
    std::vector<Argument> qargs;
    std::vector<Argument> cargs;

    // Display name, a space, the quantum then the classical arguments joined
    // by ", ", then ";": "cx q[0], q[1];". No arguments: "h ;".
    std::string text() const;
    // Instruction { gate: Gate(9) -> cx, qargs: [...], cargs: [...] }
    std::string repr() const;
    void hash_feed(SipHasher13 &h) const;

    friend bool operator==(const Instruction &, const Instruction &) = default;
};

// A string literal the way records show text fields: in double quotes, with
// backslash escapes for quotes, backslashes and control characters.
std::string quoted(std::string_view s);

}  // namespace dravik
