#pragma once
// Gate kernels: hand-written in-place updates for the common built-in gates
// (GATE_FUNCS) and the dense-matrix path for every other gate of one to three
// qubits. Qubit k is bit k of an amplitude index; for a gate on (q_0, ...,
// q_{k-1}) the first qubit is the most significant bit of the matrix index.
#include <array>
#include <cstddef>
#include <cstdint>

#include "circ/gate.h"

namespace dravik {

struct StateVec;

// 1/sqrt(2), the Hadamard and T-gate constant.
inline constexpr double SQRT1_2 = 0.7071067811865476;

// The bits of `input` from position `at` upward move up by one; bit `at`
// becomes `value` (0 or 1).
constexpr std::size_t insert_bit(std::size_t input, unsigned at, std::size_t value) {
    std::size_t low = (std::size_t(1) << at) - 1;
    return (input & low) | (value << at) | ((input >> at) << (at + 1));
}

// The i-th index with zeros at every position of `sorted` (ascending, k entries).
inline std::size_t base_index(std::size_t i, const uint8_t *sorted, unsigned k) {
    for (unsigned j = 0; j < k; ++j) i = insert_bit(i, sorted[j], 0);
    return i;
}

// Offsets of the 2^k entries of one index list: entry m sets bit q_j whenever
// bit (k - 1 - j) of m is set, so the first qubit is the most significant.
std::array<std::size_t, 8> matrix_offsets(const uint8_t *qubits, unsigned k);

// The 2^k amplitude indices the matrix rows/columns address for base number
// `i` (0 <= i < N / 2^k): the index list of that base.
std::array<std::size_t, 8> qubit_matrix_indices(std::size_t i, const uint8_t *qubits, unsigned k);

using GateKernel = void (*)(StateVec &state, const uint8_t *qubits, unsigned k);

// The hand-written kernel of a gate, or nullptr when the gate takes the
// general matrix path. Built once on first use; lookups are by raw index.
GateKernel gate_kernel(Gate16 gate);

void perform_h_gate(StateVec &state, const uint8_t *qubits, unsigned k);
void perform_x_gate(StateVec &state, const uint8_t *qubits, unsigned k);
void perform_z_gate(StateVec &state, const uint8_t *qubits, unsigned k);
void perform_t_gate(StateVec &state, const uint8_t *qubits, unsigned k);
void perform_tdg_gate(StateVec &state, const uint8_t *qubits, unsigned k);
void perform_s_gate(StateVec &state, const uint8_t *qubits, unsigned k);
void perform_sdg_gate(StateVec &state, const uint8_t *qubits, unsigned k);
void perform_swap_gate(StateVec &state, const uint8_t *qubits, unsigned k);
void perform_cx_gate(StateVec &state, const uint8_t *qubits, unsigned k);

// Checks that every qubit addresses the state (an index error naming the
// first amplitude index that would be out of range) and that the arguments
// are distinct. Nothing is written before it passes.
void check_qubits(const StateVec &state, const uint8_t *qubits, unsigned k);
// The same check for a vector of length n, the failure reported out of line.
[[noreturn]] void report_bad_qubits(const StateVec &state, const uint8_t *qubits, unsigned k);
inline void check_qubits_fast(const StateVec &state, std::size_t n, const uint8_t *qubits, unsigned k) {
    std::size_t seen = 0;
    bool ok = true;
    for (unsigned j = 0; j < k; ++j) {
        const std::size_t bit = qubits[j] < 64 ? std::size_t(1) << qubits[j] : 0;
        ok &= bit != 0 && bit < n && !(seen & bit);
        seen |= bit;
    }
    if (!ok) report_bad_qubits(state, qubits, k);
}

// The adjoint of a gate without taking the gate-table lock once it is known.
Gate16 cached_adjoint(Gate16 gate);

}  // namespace dravik
