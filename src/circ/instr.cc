#include "circ/instr.h"

#include <span>

#include "utils/fmt_join.h"

namespace dravik {

QArgs16 QArgs16::from_values(const std::vector<uint8_t> &values) {
    QArgs16 a;
    for (std::size_t i = 0; i < values.size(); ++i) {
        check_index(i, 2);
        a.q[i] = values[i];
    }
    return a;
}

std::optional<uint8_t> Instr32::pass_mask(uint8_t mask) const {
    unsigned m = mask;
    for (unsigned i = 0, n = nargs(); i < n; ++i) {
        unsigned q = qargs.q[i];
        if (m >> (q & 7) & 1) continue;
        unsigned f = 0;
        while (f < 8 && (m >> f & 1)) ++f;
        if (q != f) return std::nullopt;
        m |= 1u << q;
    }
    return uint8_t(m);
}

uint8_t Instr32::largest_qubit() const {
    uint8_t m = 0;
    for (unsigned i = 0, n = nargs(); i < n; ++i) m = std::max(m, qargs.q[i]);
    return m;
}

std::optional<unsigned> Instr32::position_of_qubit(uint8_t q) const {
    unsigned n = nargs();
    if (n > 0 && qargs.q[0] == q) return 0u;
    if (n > 1 && qargs.q[1] == q) return 1u;
    return std::nullopt;
}

std::string Instr32::text() const {
    std::string s = gate.display() + "(";
    s += fjoin(std::span(qargs.q, nargs()), ", ");
    return s + ")";
}

std::string instrs_text(const std::vector<Instr32> &instrs, const char *sep) {
    std::string s;
    s += fjoin(instrs, std::string_view(sep)).map([](const Instr32 &i) { return i.text(); });
    return s;
}

}  // namespace dravik
