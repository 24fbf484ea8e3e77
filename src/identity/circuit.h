#pragma once
// Circ: instructions followed by an explicit trailing qubit permutation.
//
// Carrying the permutation lets circuits that differ only by a relabelling of
// the wires at their end be one object, lets SWAP gates be folded away and
// lets an identity be read as a cycle (the end joins the start through the
// permutation). Every transformation returns a new circuit and ends in the
// validating constructor `new_`.
//
// One total order is used for every sort and minimum: instruction count,
// then the instructions position by position (qubit bytes, then gate), then
// the packed permutation code.
#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "circ/instr.h"
#include "groups/permutation.h"
#include "utils/siphash.h"

namespace dravik {

struct IdentityCirc;

struct Circ {
    std::vector<Instr32> instrs;
    Permut32 perm;

    // Unvalidated: for values read back from the Python-object form or a save
    // file, and for callers that have already established the invariant.
    Circ() = default;
    Circ(std::vector<Instr32> i, Permut32 p) : instrs(std::move(i)), perm(p) {}

    // Validating constructor (`new` being taken by C++): the largest qubit
    // used must be below the permutation length.
    static Circ new_(std::vector<Instr32> instrs, Permut32 perm);
    // The identity permutation on just enough qubits (empty without qubits).
    static Circ new_no_perm(std::vector<Instr32> instrs);

    std::size_t len() const { return instrs.size(); }
    bool is_empty() const { return instrs.empty(); }
    unsigned nqubits() const { return perm.len(); }
    // Position i taken modulo the length (negative counts from the end).
    const Instr32 &at(int64_t i) const;

    // Every qubit argument of every instruction, then every point the
    // permutation moves.
    std::vector<uint8_t> affected_qubits() const;
    Circ compact_qubits() const;
    Circ remove_swaps() const;
    Circ permut(Permut32 o) const;
    Circ rotate(int64_t k) const;
    Circ inverse() const;
    Circ reorder_instrs() const;

    Circ representative() const;
    std::pair<Circ, Permut32> representative_with_perm() const;
    // Smallest rotation starting at an instruction on qubit 0, or nothing.
    std::optional<Circ> _rotate_representative() const;
    // Canonical over relabellings and rotations; verified to be an identity.
    IdentityCirc rotate_representative() const;
    // The unverified canonical circuit behind rotate_representative.
    Circ rotate_representative_circ() const;

    std::vector<Instr32> instrs_with_swaps() const;

    std::string text() const;   // "Circuit { h(0) cx(0, 1) (0 1) }"
    std::string debug() const;  // "Circ { instrs: [h(0), cx(0, 1)], perm: (0 1) }"

    void hash_feed(SipHasher13 &h) const;
    uint64_t hash_value() const { return fixed_hash(*this); }

    friend Circ operator+(const Circ &a, const Circ &b);
    friend bool operator==(const Circ &a, const Circ &b) { return a.perm == b.perm && a.instrs == b.instrs; }
    friend std::strong_ordering operator<=>(const Circ &a, const Circ &b);
};

// In-place insertion sort of commuting neighbours (the core of
// reorder_instrs, shared with the canonical-form search).
void reorder_instrs_in_place(Instr32 *instrs, std::size_t n);

}  // namespace dravik
