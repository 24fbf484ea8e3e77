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
#include "utils/big_alloc.h"

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

// Classes in the order they were opened, in fixed-size chunks so a class
// never moves once made (the index below holds class numbers).
class ClassStore {
   public:
    struct Entry {
        uint64_t key = 0;
        CircuitECC cls;
    };

    ClassStore() = default;
    ClassStore(ClassStore &&other) noexcept : chunks_(std::move(other.chunks_)), size_(other.size_) {
        other.size_ = 0;
    }
    ClassStore &operator=(ClassStore &&other) noexcept {
        if (this != &other) {
            clear();
            chunks_ = std::move(other.chunks_);
            size_ = other.size_;
            other.size_ = 0;
        }
        return *this;
    }
    ClassStore(const ClassStore &other) { *this = other; }
    ClassStore &operator=(const ClassStore &other) {
        if (this != &other) {
            clear();
            for (std::size_t i = 0; i < other.size_; ++i) push(other[i].key) = other[i].cls;
        }
        return *this;
    }
    ~ClassStore() { clear(); }

    std::size_t size() const { return size_; }
    Entry &operator[](std::size_t i) { return chunks_[i / CHUNK][i % CHUNK]; }
    const Entry &operator[](std::size_t i) const { return chunks_[i / CHUNK][i % CHUNK]; }
    CircuitECC &push(uint64_t key) {
        if (size_ % CHUNK == 0) chunks_.push_back(static_cast<Entry *>(big_alloc(CHUNK * sizeof(Entry))));
        Entry *e = ::new (static_cast<void *>(&(*this)[size_])) Entry();
        ++size_;
        e->key = key;
        return e->cls;
    }
    std::size_t bytes() const { return chunks_.size() * CHUNK * sizeof(Entry); }

   private:
    // One huge page of entries per chunk; entries are built as they are pushed.
    static constexpr std::size_t CHUNK = BIG_PAGE / sizeof(Entry);

    void clear() {
        for (std::size_t i = 0; i < size_; ++i) (*this)[i].~Entry();
        for (Entry *c : chunks_) big_free(c, CHUNK * sizeof(Entry));
        chunks_.clear();
        size_ = 0;
    }

    std::vector<Entry *> chunks_;
    std::size_t size_ = 0;
};

class RawECCs {
   public:
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

    // Number of classes.
    std::size_t size() const { return store_.size(); }
    // The class filed under `key`, if any.
    const CircuitECC *find(uint64_t key) const;
    CircuitECC *find(uint64_t key);
    // The class under `key`, opened (empty) if missing; true when opened.
    std::pair<CircuitECC *, bool> try_emplace(uint64_t key);
    // Starts loading the index slot of `key` ahead of a lookup.
    void prefetch(uint64_t key) const { index_.prefetch(key); }
    // Classes by number, in the order they were opened.
    uint64_t key_at(std::size_t i) const { return store_[i].key; }
    const CircuitECC &class_at(std::size_t i) const { return store_[i].cls; }

    std::size_t member_count() const;
    // Bytes held by the class table and index (cells not included).
    std::size_t table_bytes() const;

   private:
    // Key to class number. The key is already a well-mixed hash and is used
    // as its own hash value.
    absl::flat_hash_map<uint64_t, uint32_t, KeyHash, std::equal_to<uint64_t>,
                        BigAllocator<std::pair<const uint64_t, uint32_t>>>
        index_;
    ClassStore store_;
};

}  // namespace dravik
