#pragma once
// Finished equivalence classes: each member is an instruction vector with a
// trailing qubit permutation; the first member is the class representative.
#include <compare>
#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "circ/instr.h"
#include "groups/permutation.h"

namespace dravik {

using EccMember = std::pair<std::vector<Instr32>, Permut32>;

struct ECC {
    std::vector<EccMember> members;

    // Every member as a plain circuit: its instructions followed by the SWAP
    // gates realising inverse(p0) * pk, so all of them act alike on the same
    // qubits. The first member gets no swaps.
    std::vector<std::vector<Instr32>> circuits() const;
    // Every permutation pk becomes inverse(p0) * pk; the first becomes the identity.
    ECC simplify_permute() const;
    // "ECC {\n" then "\t<circuit>,\n" per materialised circuit, then "}".
    std::string text() const;

    // Class order: lexicographic over the members (instructions element by
    // element, a proper prefix first, then the packed permutation); a class
    // that is a prefix of another comes first.
    friend bool operator==(const ECC &, const ECC &) = default;
    friend auto operator<=>(const ECC &a, const ECC &b) { return a.members <=> b.members; }
};

struct ECCs {
    std::vector<ECC> eccs;
    std::size_t nqubits = 0;

    std::size_t len() const { return eccs.size(); }
    // The classes with more than one member.
    ECCs filter_single() const;
    // Re-runs every materialised circuit on one fresh random state; returns the
    // classes whose circuits do not all agree up to global phase.
    std::vector<ECC> check() const;
    // Multi-member classes joined by " & "; single-member classes are left out.
    std::string text() const;

    friend bool operator==(const ECCs &, const ECCs &) = default;
};

}  // namespace dravik
