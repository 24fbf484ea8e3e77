#pragma once
// The raw ECC map and the breadth-first search that fills it.
//
// Every evaluated circuit is filed under the 64-bit key of its canonical
// state. A member is stored as a CircTriple: the permutation pair relating it
// to the class frame and a shared list whose head is the circuit's last
// instruction and whose tail is its parent's list. All cells of a map live in
// one arena held by shared ownership, so maps derived from this one (sharing
// its cells) stay valid whatever order they are dropped in.
#include <absl/container/flat_hash_map.h>
#include <absl/container/inlined_vector.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "circ/instr.h"
#include "groups/permutation.h"
#include "search/eccs.h"
#include "search/evaluator.h"
#include "utils/alias_list.h"

namespace dravik {

using InstrList = AliasList<Instr32>;
using CellArena = AliasArena<Instr32>;

struct CircTriple {
    Permut32 front_perm;
    InstrList circ;  // newest instruction first
    Permut32 back_perm;

    std::vector<Instr32> instrs() const;  // execution order
    // The member in its class frame: instructions mapped by the inverse of
    // front_perm, with the single trailing permutation back_perm * front_perm.
    EccMember simplify() const;
};

// Small insertion-ordered instruction set: a vector without repeats.
using GateSet = absl::InlinedVector<Instr32, 4>;

struct CircuitECC {
    GateSet front_gates;  // front-surface gates of recorded members, class frame
    GateSet back_gates;   // back-surface gates, class frame
    absl::InlinedVector<CircTriple, 1> circuits;  // never empty
    std::size_t size = 0;                         // length of the first member

    static CircuitECC root(unsigned nqubits);
    ECC simplify() const;
};

// The key is already a well-mixed hash: use it as is.
struct KeyHash {
    std::size_t operator()(uint64_t k) const { return std::size_t(k); }
};

// Explored circuits, evaluated circuits, insertion attempts.
using SearchCounters = std::array<uint64_t, 3>;

// Surface gates: an instruction is on the surface when none of its qubits was
// touched by an instruction scanned before it.
using SurfaceList = absl::InlinedVector<Instr32, 8>;
SurfaceList front_surface(std::span<const Instr32> instrs);
SurfaceList back_surface(std::span<const Instr32> instrs);  // last to first

class RawECCs {
   public:
    absl::flat_hash_map<uint64_t, CircuitECC, KeyHash> inner;
    std::size_t nqubits = 0;
    // True once a search has finished filling the map with cells of its own.
    bool drop = false;
    // Where the member cells live; shared with maps derived from this one.
    std::shared_ptr<CellArena> cells = std::make_shared<CellArena>();

    RawECCs() = default;
    explicit RawECCs(const Evaluator &evaluator);

    // Files `instr_vec` (non-empty; `circ` is the list of its parent) under
    // `key`. Returns the new list only when it opened a new class.
    std::optional<InstrList> add_entry(uint64_t key, Permut32 front_perm, Permut32 back_perm, InstrList circ,
                                       std::span<const Instr32> instr_vec);

    static std::pair<RawECCs, SearchCounters> search(const Evaluator &evaluator, std::span<const Instr32> instrs,
                                                     std::size_t max_size);
    static std::pair<RawECCs, SearchCounters> search_naive(const Evaluator &evaluator,
                                                           std::span<const Instr32> instrs, std::size_t max_size);
    static std::pair<RawECCs, SearchCounters> generate(const Evaluator &evaluator, std::vector<Gate16> gates,
                                                       std::size_t max_size);
    static std::pair<RawECCs, SearchCounters> generate_naive(const Evaluator &evaluator, std::vector<Gate16> gates,
                                                             std::size_t max_size);
    // Every gate on every qubit (pair) of an n-qubit register, adjoints added,
    // ordered by the largest qubit used.
    static std::vector<Instr32> placed_instructions(std::vector<Gate16> gates, unsigned nqubits);

    ECCs simplify() const;

    std::size_t member_count() const;
};

}  // namespace dravik
