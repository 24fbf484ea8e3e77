#pragma once
// Evaluator: turns a circuit into a 64-bit key that is invariant under global
// phase and under relabelling of input and output qubits, plus the pairs of
// permutations (front, back) relating the circuit to its class frame.
#include <absl/container/inlined_vector.h>

#include <cstdint>
#include <span>
#include <tuple>
#include <utility>

#include "circ/instr.h"
#include "groups/permutation.h"
#include "state/statevec.h"

namespace dravik {

using PermPair = std::pair<Permut32, Permut32>;  // (front_perm, back_perm)
using PermPairs = absl::InlinedVector<PermPair, 1>;

struct EvalResult {
    StateVec canonical;  // its hash_value() is the circuit's key
    PermPairs perms;     // never empty
    StateVec state;      // forward state, phase-canonical
};

class Evaluator {
   public:
    StateVec initial_state;    // symmetric under every qubit relabelling
    StateVec backtrack_state;  // generic, in its own canonical qubit order

    static Evaluator from_random(unsigned nqubits);

    unsigned nqubits() const { return initial_state.nqubits(); }
    EvalResult evaluate_multiple(std::span<const Instr32> instrs) const;
    // (canonical state, first front_perm, first back_perm, forward state)
    std::tuple<StateVec, Permut32, Permut32, StateVec> evaluate(std::span<const Instr32> instrs) const;
    uint64_t initial_key() const;

    // The search's hot path: the key of `instrs` and its permutation pairs,
    // equal to hash_value() / perms of evaluate_multiple, computed in
    // per-thread scratch space. Safe to call from several threads at once.
    uint64_t evaluate_key(std::span<const Instr32> instrs, PermPairs &perms) const;

    friend bool operator==(const Evaluator &a, const Evaluator &b) {
        return a.initial_state == b.initial_state && a.backtrack_state == b.backtrack_state;
    }
};

}  // namespace dravik
