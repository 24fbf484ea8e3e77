"""Evaluator: keys invariant under phase and qubit relabelling, checked
against states computed independently with numpy."""
import inspect
import itertools

import numpy as np
import pytest

from dravik import Evaluator, Gate, Instr, InternalError, StateVec
from test_state import amplitudes, full_unitary

G = {name: Gate.from_name(name) for name in ("h", "x", "z", "t", "tdg", "s", "cx", "swap")}


def circuit_unitary(instrs, n):
    u = np.eye(2**n, dtype=complex)
    for ins in instrs:
        u = full_unitary(ins.gate.matrix, tuple(ins.qargs), n) @ u
    return u


def relabel_matrix(perm, n):
    """R(p): the amplitude at index i moves to the index with bit p[j] set for every set bit j."""
    p = np.zeros((2**n, 2**n))
    for i in range(2**n):
        p[sum(1 << perm[j] for j in range(n) if i >> j & 1), i] = 1
    return p


def inverse(perm):
    inv = [0] * len(perm)
    for i, v in enumerate(perm):
        inv[v] = i
    return tuple(inv)


def same_up_to_phase(a, b):
    k = np.vdot(a, b)
    return abs(abs(k) - 1) < 1e-12 and np.allclose(a * k, b, atol=1e-12)


def random_circuit(rng, n, length):
    out = []
    for _ in range(length):
        if n >= 2 and rng.integers(3) == 0:
            a, b = rng.choice(n, 2, replace=False)
            out.append(Instr(G["cx"], [int(a), int(b)]))
        else:
            out.append(Instr(G[rng.choice(["h", "t", "tdg", "s", "x"])], [int(rng.integers(n))]))
    return out


def key(ev, instrs):
    return ev.evaluate(instrs)[0].hash_value()


@pytest.mark.parametrize("n", [1, 2, 3, 5])
def test_results_match_numpy(n):
    """forward = U s0 and canonical = R(front^-1) U^dagger R(back^-1) b, up to phase,
    where s0 and b are the forward and canonical states of the empty circuit."""
    ev = Evaluator(n)
    canon0, _, _, s0 = ev.evaluate([])
    s0, b = amplitudes(s0), amplitudes(canon0)
    rng = np.random.default_rng(n)
    for length in range(1, 7):
        c = random_circuit(rng, n, length)
        canon, front, back, fwd = ev.evaluate(c)
        u = circuit_unitary(c, n)
        assert same_up_to_phase(amplitudes(fwd), u @ s0)
        expect = relabel_matrix(inverse(front), n) @ u.conj().T @ relabel_matrix(inverse(back), n) @ b
        assert same_up_to_phase(amplitudes(canon), expect)
        assert amplitudes(canon)[0].imag == 0 and amplitudes(fwd)[0].imag == 0


def test_relabelled_and_phase_equivalent_circuits_share_keys():
    ev = Evaluator(2)
    assert key(ev, [Instr(G["x"], [0])]) == key(ev, [Instr(G["x"], [1])])
    assert key(ev, [Instr(G["cx"], [0, 1])]) == key(ev, [Instr(G["cx"], [1, 0])])
    ev = Evaluator(3)
    rng = np.random.default_rng(11)
    phase = Gate("gphase_e", [], np.exp(0.4j) * np.eye(2, dtype=complex))
    for _ in range(10):
        c = random_circuit(rng, 3, 5)
        k = key(ev, c)
        for perm in itertools.permutations(range(3)):
            renamed = [ins.apply_permutation(list(perm)) for ins in c]
            assert key(ev, renamed) == k
        assert key(ev, c + [Instr(G["z"], [0]), Instr(G["z"], [0])]) == k
        assert key(ev, c + [Instr(phase, [2])]) == k
        assert key(ev, [Instr(G["swap"], [0, 2])] + c + [Instr(G["swap"], [1, 2])]) == k


def test_empty_circuit_and_zero_qubits():
    ev = Evaluator(3)
    canon, front, back, fwd = ev.evaluate([])
    assert ev.initial_key() == canon.hash_value()
    assert len(front) == len(back) == 3
    z = Evaluator(0)
    assert z == Evaluator(0)
    canon, front, back, fwd = z.evaluate([])
    assert (canon.len(), front, back) == (1, (), ())
    assert Evaluator(2) != Evaluator(2)


def test_python_surface():
    ev = Evaluator(4)
    assert ev.nqubits() == 4
    assert Evaluator.__doc__ == "Randomized evaluator used to hash circuits and recover permutation metadata."
    assert list(inspect.signature(Evaluator).parameters) == ["nqubits"]
    assert Evaluator.evaluate.__doc__ == "Python wrapper for circuit evaluation."
    assert Evaluator.nqubits.__doc__ == "Returns evaluator qubit count."
    assert Evaluator.initial_key.__doc__ == "Hash key for the empty circuit under this evaluator."
    assert list(inspect.signature(ev.evaluate).parameters) == ["instrs"]
    result = ev.evaluate((Instr(G["h"], [0]),))
    assert [type(x) for x in result] == [StateVec, tuple, tuple, StateVec]
    assert sorted(result[1]) == [0, 1, 2, 3]
    with pytest.raises(TypeError):
        hash(ev)
    with pytest.raises(TypeError):
        ev < ev
    assert (ev == 1) is False


def test_failures_are_clean():
    for n in (9, 31):
        with pytest.raises(InternalError, match=f"^Evaluator supports at most 8 qubits, got {n}$"):
            Evaluator(n)
    for n in (32, 2**40):
        with pytest.raises(InternalError, match="Number of qubits too large"):
            Evaluator(n)
    with pytest.raises(OverflowError):
        Evaluator(-1)
    ev = Evaluator(2)
    with pytest.raises(InternalError, match="index out of bounds"):
        ev.evaluate([Instr(G["h"], [2])])
    with pytest.raises(TypeError, match="argument 'instrs'"):
        ev.evaluate([G["h"]])
    with pytest.raises(TypeError, match="argument 'instrs'"):
        ev.evaluate("h")


def test_eight_qubits():
    ev = Evaluator(8)
    rng = np.random.default_rng(8)
    c = random_circuit(rng, 8, 14)
    k = key(ev, c)
    perm = [3, 7, 0, 1, 6, 2, 5, 4]
    assert key(ev, [ins.apply_permutation(perm) for ins in c]) == k
    assert sorted(ev.evaluate(c)[1]) == list(range(8))
