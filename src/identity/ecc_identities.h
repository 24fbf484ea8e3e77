#pragma once
// Turning equivalence classes into canonical identities: every further member
// of a class, composed after the inverse of the class representative, is an
// identity circuit.
#include <tuple>
#include <vector>

#include "identity/circuit.h"
#include "identity/idcircuit.h"
#include "search/eccs.h"

namespace dravik {

// (canonical identity, inverse of the representative, member circuit).
using IdentityWitness = std::tuple<IdentityCirc, Circ, Circ>;

// One triple per non-representative member, sorted by identity, then the two
// witness circuits. A class holding non-equivalent circuits fails the
// identity check.
std::vector<IdentityWitness> to_identity_circuits(const ECCs &eccs);

}  // namespace dravik
