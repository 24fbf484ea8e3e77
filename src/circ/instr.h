#pragma once
// Compact instructions: a gate and at most two qubit bytes in 32 bits.
// Qubit byte 255 marks an absent argument; present arguments are a prefix.
// Order: qubit bytes first (lexicographically, unsigned), then the gate.
#include <compare>
#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "circ/gate.h"
#include "groups/permutation.h"
#include "utils/error.h"
#include "utils/siphash.h"

namespace dravik {

inline constexpr uint8_t NO_QUBIT = 255;

struct QArgs16 {
    uint8_t q[2] = {NO_QUBIT, NO_QUBIT};

    constexpr QArgs16() = default;
    constexpr QArgs16(uint8_t a, uint8_t b) : q{a, b} {}
    // Up to two values; a third is an index error.
    static QArgs16 from_values(const std::vector<uint8_t> &values);

    constexpr unsigned len() const { return q[0] == NO_QUBIT ? 0 : (q[1] == NO_QUBIT ? 1 : 2); }
    uint8_t operator[](unsigned i) const {
        if (i >= len()) fail("Index out of bounds");
        return q[i];
    }
    constexpr bool contains(uint8_t x) const {
        unsigned n = len();
        return (n > 0 && q[0] == x) || (n > 1 && q[1] == x);
    }
    constexpr uint16_t key() const { return uint16_t(q[0] << 8 | q[1]); }
    void hash_feed(SipHasher13 &h) const {
        h.write_u32(2);
        h.write_u8(q[0]);
        h.write_u8(q[1]);
    }

    friend constexpr bool operator==(QArgs16 a, QArgs16 b) { return a.key() == b.key(); }
    friend constexpr auto operator<=>(QArgs16 a, QArgs16 b) { return a.key() <=> b.key(); }
};

struct Instr32 {
    Gate16 gate;
    QArgs16 qargs;

    constexpr Instr32() = default;
    constexpr Instr32(Gate16 g, QArgs16 a) : gate(g), qargs(a) {}
    constexpr Instr32(Gate16 g, uint8_t a, uint8_t b = NO_QUBIT) : gate(g), qargs(a, b) {}

    // The sort key: qubit bytes in the high half, gate index in the low half.
    constexpr uint32_t order_key() const { return uint32_t(qargs.key()) << 16 | gate.idx; }
    // The little-endian packed word: gate in bits 0-15, qubits in 16-31.
    constexpr uint32_t packed() const { return gate.idx | uint32_t(qargs.q[0]) << 16 | uint32_t(qargs.q[1]) << 24; }

    constexpr unsigned nargs() const { return qargs.len(); }
    uint8_t arg_mask() const {
        uint8_t m = 0;
        for (unsigned i = 0, n = nargs(); i < n; ++i) m |= uint8_t(1u << (qargs.q[i] & 7));
        return m;
    }
    bool disjoint(const Instr32 &o) const { return (arg_mask() & o.arg_mask()) == 0; }
    // Scheduling check that qubits appear in canonical order, left to right.
    std::optional<uint8_t> pass_mask(uint8_t mask) const;
    uint8_t largest_qubit() const;
    std::optional<unsigned> position_of_qubit(uint8_t q) const;
    Instr32 apply_permutation(Permut32 p) const {
        Instr32 r = *this;
        for (unsigned i = 0, n = nargs(); i < n; ++i) r.qargs.q[i] = p.at(qargs.q[i]);
        return r;
    }
    Instr32 permut(Permut32 p) const { return apply_permutation(p); }
    Instr32 adjoint() const { return Instr32(gate.adjoint(), qargs); }

    std::string text() const;  // "cx(0, 1)"
    void hash_feed(SipHasher13 &h) const {
        gate.hash_feed(h);
        qargs.hash_feed(h);
    }

    friend constexpr bool operator==(const Instr32 &a, const Instr32 &b) { return a.packed() == b.packed(); }
    friend constexpr auto operator<=>(const Instr32 &a, const Instr32 &b) { return a.order_key() <=> b.order_key(); }
};
static_assert(sizeof(Instr32) == 4);

// Instructions joined by `sep`, each in its text form.
std::string instrs_text(const std::vector<Instr32> &instrs, const char *sep = " ");

}  // namespace dravik
