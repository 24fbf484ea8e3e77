"""An oracle for the search that shares no code with it: each circuit's unitary
is computed here with numpy from hand-written gate matrices.

Qubit k is bit k of an amplitude index; the first qubit argument of a gate is
the most significant bit of the gate's matrix index.

For small gate sets it checks that
- every materialised circuit of a class is the class's first circuit up to
  global phase (the swaps make the relabelling explicit);
- no two classes are the same operator up to phase and relabelling of the
  input and output qubits;
- every circuit up to the maximum length lands in some class (completeness of
  the breadth-first search, which extends only one circuit per class).
"""
import functools
import itertools

import numpy as np
import pytest

from dravik import Evaluator, Gate, RawECCs

S2 = 1 / np.sqrt(2)
W = np.exp(1j * np.pi / 4)
MATRICES = {
    "h": np.array([[S2, S2], [S2, -S2]]),
    "x": np.array([[0, 1], [1, 0]]),
    "t": np.diag([1, W]),
    "tdg": np.diag([1, np.conj(W)]),
    "s": np.diag([1, 1j]),
    "sdg": np.diag([1, -1j]),
    "cx": np.array([[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 0, 1], [0, 0, 1, 0]]),
    "cz": np.diag([1, 1, 1, -1]),
    "swap": np.array([[1, 0, 0, 0], [0, 0, 1, 0], [0, 1, 0, 0], [0, 0, 0, 1]]),
}


@functools.lru_cache(maxsize=None)
def gate_on(n, name, qubits):
    """The 2^n x 2^n operator of gate `name` acting on `qubits`."""
    g = MATRICES[name]
    k = len(qubits)
    dim = 1 << n
    full = np.zeros((dim, dim), dtype=complex)
    for col in range(dim):
        # Matrix index of the gate's qubits in this basis state, first qubit most significant.
        m_in = sum(((col >> q) & 1) << (k - 1 - j) for j, q in enumerate(qubits))
        rest = col & ~sum(1 << q for q in qubits)
        for m_out in range(1 << k):
            row = rest | sum(((m_out >> (k - 1 - j)) & 1) << q for j, q in enumerate(qubits))
            full[row, col] += g[m_out, m_in]
    return full


def unitary(n, circuit):
    u = np.eye(1 << n, dtype=complex)
    for x in circuit:
        u = gate_on(n, x.gate.name, tuple(x.qargs)) @ u
    return u


def same_up_to_phase(a, b):
    return abs(abs(np.vdot(a, b)) - a.shape[0]) < 1e-9


def relabellings(n):
    """Every qubit relabelling of n qubits as an index array: relabelling the
    rows of u is u[r], the columns u[:, r]."""
    return [
        np.array([sum(((i >> j) & 1) << p[j] for j in range(n)) for i in range(1 << n)])
        for p in itertools.permutations(range(n))
    ]


def fingerprint(u):
    """Phase-free, rounded bytes of a matrix."""
    flat = u.reshape(-1)
    ref = flat[np.argmax(np.abs(flat) > 1e-6)]
    v = flat * (abs(ref) / ref)
    return (np.round(v.real, 6) + 0.0).tobytes() + (np.round(v.imag, 6) + 0.0).tobytes()


def canonical(u, perms):
    """The smallest fingerprint over all input and output relabellings."""
    return min(fingerprint(u[q][:, p]) for p in perms for q in perms)


CASES = [
    (2, ("h", "cx"), 3),
    (3, ("h", "cx"), 3),
    (2, ("h", "t", "tdg", "cx"), 3),
    (3, ("h", "t", "tdg", "cx"), 3),
    (2, ("x", "s", "cz"), 3),
]


@pytest.mark.parametrize("n, names, max_size", CASES)
def test_classes_against_numpy(n, names, max_size):
    gates = [Gate.from_name(g) for g in names]
    raw, _ = RawECCs.generate(Evaluator(n), gates, max_size)
    eccs = raw.simplify()
    perms = relabellings(n)

    classes = {}
    variants = set()  # every relabelling of every class's operator
    for ecc in eccs.to_list():
        circuits = ecc.circuits()
        first = unitary(n, circuits[0])
        for c in circuits[1:]:
            assert same_up_to_phase(first, unitary(n, c)), f"{ecc}"
        key = canonical(first, perms)
        assert key not in classes, f"{ecc} duplicates {classes.get(key)}"
        classes[key] = ecc
        variants.update(fingerprint(first[q][:, p]) for p in perms for q in perms)

    # Completeness: every circuit over the placed instructions (adjoints
    # included) up to max_size matches a class up to relabelling.
    all_names = sorted({*names, *(Gate.from_name(x).adjoint().name for x in names)})
    placed = [
        gate_on(n, g, q)
        for g in all_names
        for q in itertools.permutations(range(n), MATRICES[g].shape[0].bit_length() - 1)
    ]
    for length in range(max_size + 1):
        for combo in itertools.product(placed, repeat=length):
            u = np.eye(1 << n, dtype=complex)
            for g in combo:
                u = g @ u
            assert fingerprint(u) in variants


def test_oracle_matrices_follow_the_bit_order():
    # cx(0, 1): control qubit 0 (bit 0), target qubit 1: basis 1 -> 3, 2 -> 2.
    cx01 = gate_on(2, "cx", (0, 1))
    assert cx01[3, 1] == 1 and cx01[2, 2] == 1
    cx10 = gate_on(2, "cx", (1, 0))
    assert cx10[1, 1] == 1 and cx10[3, 2] == 1
    # swap(0, 2) on 3 qubits: basis 1 -> 4, 2 stays.
    sw = gate_on(3, "swap", (0, 2))
    assert sw[4, 1] == 1 and sw[2, 2] == 1
