#pragma once
// StateVec: 2^n complex amplitudes in two arrays; bit k of an amplitude index
// is qubit k. Compared, ordered and hashed on the 2^-24 grid of Qreal.
#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include "circ/instr.h"
#include "groups/permutation.h"
#include "utils/chacha.h"

namespace dravik {

struct OrderInfo;

struct StateVec {
    std::vector<double> re;
    std::vector<double> im;

    StateVec() = default;
    StateVec(std::vector<double> r, std::vector<double> i) : re(std::move(r)), im(std::move(i)) {}

    // All three fail with "Number of qubits too large, resulting in overflow
    // for state vector size." for n >= 32.
    static StateVec zeros(unsigned n);
    static StateVec from_random(ChaCha12Rng &rng, unsigned n);
    static StateVec from_random_symmetric(ChaCha12Rng &rng, unsigned n);

    StateVec clone() const { return *this; }  // deep copy

    std::size_t len() const { return re.size(); }
    unsigned nqubits() const;
    std::complex<double> at(std::size_t i) const;
    void set(std::size_t i, std::complex<double> z);

    void normalize();
    void normalize_arg();
    bool check() const;
    uint64_t hash_value() const;
    // hash_value of a vector of n amplitudes given their grid representations.
    static uint64_t hash_of_grid(const uint64_t *re_grid, const uint64_t *im_grid, std::size_t n);
    // -1 / 0 / 1: re lexicographically on the grid, then im.
    int compare(const StateVec &other) const;
    friend bool operator==(const StateVec &a, const StateVec &b);
    bool loose_eq(const StateVec &other) const;

    // One gate on the given qubits: a hand-written kernel for the common
    // built-ins, the dense matrix otherwise.
    void apply(QArgs16 qubits, Gate16 gate);
    void apply(const Instr32 &instr) { apply(instr.qargs, instr.gate); }
    void multiply(const uint8_t *qubits, unsigned k, const CMatrix &matrix);

    // Qubit j moves to position p[j]; uses the calling thread's scratch vector
    // (reserve_state_vec_cache(nqubits()) first).
    void apply_permutation(Permut32 p);
    // This vector becomes a copy of `src` relabelled by p (as apply_permutation
    // on a copy, in one pass; reuses this vector's arrays).
    void assign_relabelled(const StateVec &src, Permut32 p);

    OrderInfo get_orderinfo() const;
    Permut32 get_permutation() const;
    // get_orderinfo().as_bits() without building the class record: the
    // qubits by increasing key and the mask of equal neighbours (8 qubits at most).
    std::pair<Permut32, uint8_t> canonical_order() const;

    std::string text() const;
};

// d[i] for every index i of an nq-qubit vector (nq <= 8): where relabelling by
// p moves amplitude i; positions at or above p.len() stay fixed.
void relabel_index_table(Permut32 p, unsigned nq, uint32_t *d);

// Makes the calling thread's scratch list hold entries 0..n.
void reserve_state_vec_cache(unsigned n);

}  // namespace dravik
