#pragma once
// IdentityCirc: a circuit that acts as the identity (up to global phase) once
// its trailing permutation is taken into account. It is read cyclically: after
// the last instruction the wires continue, through the permutation, into the
// first one. The prover stores and compares identities in the canonical form
// produced by Circ::rotate_representative.
#include <compare>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "identity/circuit.h"

namespace dravik {

struct IdentityCirc {
    Circ circ;

    // Plain wrap, no verification (placeholders, readers of stored forms).
    IdentityCirc() = default;
    explicit IdentityCirc(Circ c) : circ(std::move(c)) {}
    // Verifying wrap: runs check() and keeps the circuit unchanged.
    static IdentityCirc verified(Circ c);

    // Randomized identity test meeting in the middle of the cycle; returns
    // true or fails with "IdentityCirc: circuit is not identity ...".
    bool check() const;
    uint64_t hash_value() const { return circ.hash_value(); }

    // For each qubit argument of instruction g, the index of the next
    // (previous) instruction on that wire, following the cycle.
    std::vector<std::size_t> qargs_forward(std::size_t g) const;
    std::vector<std::size_t> qargs_backward(std::size_t g) const;

    unsigned nqubits() const { return circ.nqubits(); }
    std::size_t len() const { return circ.len(); }
    const Instr32 &at(int64_t i) const { return circ.at(i); }

    std::string text() const;   // "Identity { ... }"
    std::string debug() const;  // "IdentityCirc(Circ { ... })"

    void hash_feed(SipHasher13 &h) const { circ.hash_feed(h); }

    friend bool operator==(const IdentityCirc &a, const IdentityCirc &b) { return a.circ == b.circ; }
    friend std::strong_ordering operator<=>(const IdentityCirc &a, const IdentityCirc &b) {
        return a.circ <=> b.circ;
    }
};

}  // namespace dravik
