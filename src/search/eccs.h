#pragma once
// Finished equivalence classes: each member is an instruction vector with a
// trailing qubit permutation; the first member is the class representative.
#include <compare>
#include <cstddef>
#include <utility>
#include <vector>

#include "circ/instr.h"
#include "groups/permutation.h"

namespace dravik {

using EccMember = std::pair<std::vector<Instr32>, Permut32>;

struct ECC {
    std::vector<EccMember> members;

    // Class order: lexicographic over the members (instructions element by
    // element, a proper prefix first, then the packed permutation); a class
    // that is a prefix of another comes first.
    friend bool operator==(const ECC &, const ECC &) = default;
    friend auto operator<=>(const ECC &a, const ECC &b) { return a.members <=> b.members; }
};

struct ECCs {
    std::vector<ECC> eccs;
    std::size_t nqubits = 0;

    friend bool operator==(const ECCs &, const ECCs &) = default;
};

}  // namespace dravik
