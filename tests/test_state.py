"""StateVec: construction, amplitudes, comparison, text and gate application."""
import inspect
import itertools

import numpy as np
import pytest

import dravik
from dravik import Gate, Instr, InternalError, StateVec

BUILTIN_NAMES = [
    "i", "h", "x", "z", "y", "s", "sdg", "t", "tdg", "cx", "cz", "cy", "cs", "csdg", "swap",
    "t1/2", "tdg1/2", "rz(pi/3)", "rz(-pi/3)", "rz(pi/5)", "rz(-pi/5)", "rz(pi/16)", "rz(-pi/16)",
]


def amplitudes(v):
    return np.array([v[i] for i in range(v.len())])


def from_array(a):
    return StateVec([z.real for z in a], [z.imag for z in a])


def full_unitary(matrix, qargs, n):
    """The 2^n unitary of `matrix` on `qargs`: qubit k is bit k of an index and
    the first qubit argument is the most significant bit of the matrix index."""
    k = len(qargs)
    u = np.zeros((2**n, 2**n), dtype=complex)
    for col in range(2**n):
        m = sum(((col >> q) & 1) << (k - 1 - j) for j, q in enumerate(qargs))
        rest = col & ~sum(1 << q for q in qargs)
        for mr in range(2**k):
            row = rest | sum(((mr >> (k - 1 - j)) & 1) << q for j, q in enumerate(qargs))
            u[row, col] = matrix[mr, m]
    return u


def random_amplitudes(rng, n):
    a = rng.normal(size=2**n) + 1j * rng.normal(size=2**n)
    return a / np.linalg.norm(a)


# ---------------------------------------------------------------- construction


def test_constructor_validates_lengths():
    v = StateVec([1.0], [0.0])
    assert (v.nqubits(), v.len()) == (0, 1)
    for re, im in ([[], []], [[1, 0, 0], [0, 0, 0]]):
        with pytest.raises(InternalError, match="^Length must be a power of 2$"):
            StateVec(re, im)
    with pytest.raises(InternalError, match="Real and imaginary parts must have the same length") as e:
        StateVec([1, 0], [0])
    assert "2" in str(e.value) and "1" in str(e.value)
    with pytest.raises(TypeError, match="argument 're'"):
        StateVec("10", [0, 0])
    with pytest.raises(TypeError, match="argument 'im'"):
        StateVec([1, 0], [0, "x"])
    # Values are stored unchanged, without normalisation.
    assert amplitudes(StateVec([3, 0], [0, 4])).tolist() == [3, 4j]


@pytest.mark.parametrize("n", [0, 1, 3, 6])
def test_random_states(n):
    v = StateVec.random(n)
    assert v.nqubits() == n and v.check()
    a = amplitudes(v)
    assert a[0].imag == 0 and a[0].real > 0
    s = StateVec.random_symmetric(n)
    assert s.check()
    b = amplitudes(s)
    for i in range(2**n):
        assert b[i] == b[(1 << bin(i).count("1")) - 1]
    assert StateVec.random(n) != StateVec.random(n) or n == 0


def test_qubit_count_limits():
    msg = "Number of qubits too large, resulting in overflow for state vector size."
    for f in (StateVec.random, StateVec.random_symmetric):
        for n in (32, 2**40):
            with pytest.raises(InternalError, match=msg):
                f(n)
        with pytest.raises(OverflowError):
            f(-1)
        with pytest.raises(TypeError, match="argument 'num_qubits'"):
            f(2.0)


# ------------------------------------------------------------------ amplitudes


def test_item_access():
    v = StateVec([0.5, 0.5, 0.5, 0.5], [0, 0, 0, 0])
    v[2] = 0.25 - 1j
    v[1] = 3  # anything convertible to complex
    assert v[2] == complex(0.25, -1) and v[1] == 3
    assert isinstance(v[0], complex)
    with pytest.raises(InternalError, match="index out of bounds"):
        v[4]
    with pytest.raises(InternalError, match="index out of bounds"):
        v[4] = 1
    with pytest.raises(OverflowError):
        v[-1]
    with pytest.raises(TypeError, match="argument 'value'"):
        v[0] = "1"
    with pytest.raises(NotImplementedError, match="^can't delete item$"):
        del v[0]
    assert amplitudes(v).tolist() == [0.5, 3, 0.25 - 1j, 0.5]


def test_normalize_and_phase():
    rng = np.random.default_rng(5)
    a = random_amplitudes(rng, 3) * 2.5
    v = from_array(a)
    assert not v.check()
    v.normalize()
    assert v.check()
    # Unit norm, phase removed: a / |a| turned so that amplitude 0 is positive real.
    expect = a / np.linalg.norm(a) * np.exp(-1j * np.angle(a[0]))
    assert np.allclose(amplitudes(v), expect, atol=1e-14)
    w = from_array(a * np.exp(0.9j))
    w.normalize_arg()
    u = from_array(a)
    u.normalize_arg()
    assert w == u and w.hash_value() == u.hash_value()
    z = StateVec([0, 0], [0, 0])
    z.normalize()
    assert amplitudes(z).tolist() == [1, 0]
    # Amplitudes that cancel keep finite values under normalize_arg.
    singlet = StateVec([0, 0, 0, 0], [0, 0.5, -0.5, 0])
    singlet.normalize_arg()
    assert np.isfinite(amplitudes(singlet)).all()


def test_equality_and_hash_protocol():
    v = StateVec([0.5, 0.5], [0, 0])
    w = v.clone()
    assert v == w and not (v != w)
    w[0] = 0.5 + 1e-9
    assert v == w and v.hash_value() == w.hash_value()
    w[0] = 0.5 + 1e-7
    assert v != w
    assert (v == 3) is False
    with pytest.raises(TypeError):
        v < w
    with pytest.raises(TypeError):
        hash(v)
    assert 0 <= v.hash_value() < 2**64


def test_text():
    assert str(StateVec([1, 0], [0, 0.5])) == "[1, 0.5j]"
    assert str(StateVec([0.5, 0.0], [-0.25, 0.0])) == "[0.5-0.25j, 0]"
    assert str(StateVec([0.5, -0.0], [0.25, 0])) == "[0.5+0.25j, -0]"


def test_docstrings_and_signatures():
    assert StateVec.__doc__ == "Complex state vector used for randomized circuit evaluation."
    assert StateVec.__text_signature__ == "(re, im)"
    assert list(inspect.signature(StateVec).parameters) == ["re", "im"]
    docs = {
        "hash_value": "Hashes the current normalized state.",
        "random": "Creates a random normalized state.",
        "random_symmetric": "Creates a random state tailored for symmetry-aware evaluator use.",
        "nqubits": "Returns qubit count.",
        "len": "Returns vector length (`2^nqubits`).",
        "normalize_arg": "Canonicalizes global phase for stable equality/hash comparison.",
        "clone": "Returns a deep copy.",
        "check": "Checks unit-norm invariant.",
    }
    for name, doc in docs.items():
        assert getattr(StateVec, name).__doc__ == doc, name
    assert StateVec.random.__text_signature__ == "(num_qubits)"
    assert StateVec.normalize.__doc__.startswith("Normalizes the state vector in place.\n\nNormalization ensures")
    assert StateVec.normalize.__doc__.endswith("If the vector has zero length, this function does nothing.")
    assert "OrderInfo" not in dir(dravik)


# ------------------------------------------------------------ gate application


@pytest.mark.parametrize("name", BUILTIN_NAMES)
def test_every_builtin_matches_numpy_unitary(name):
    gate = Gate.from_name(name)
    rng = np.random.default_rng(abs(hash(name)) % 2**32)
    n = 3
    for qargs in itertools.permutations(range(n), gate.nqargs):
        a = random_amplitudes(rng, n)
        v = from_array(a)
        v *= Instr(gate, list(qargs))
        expect = full_unitary(gate.matrix, qargs, n) @ a
        assert np.allclose(amplitudes(v), expect, atol=1e-14), (name, qargs)


def test_general_path_agrees_with_kernel():
    # A user gate: cx with the control as the second argument.
    m = np.eye(4, dtype=complex)[[0, 3, 2, 1]]
    rev = Gate("cx_rev", [], m)
    assert rev != Gate.from_name("cx")
    cx = Gate.from_name("cx")
    rng = np.random.default_rng(3)
    for q0, q1 in itertools.permutations(range(3), 2):
        a = random_amplitudes(rng, 3)
        v, w = from_array(a), from_array(a)
        v *= Instr(rev, [q0, q1])
        w *= Instr(cx, [q1, q0])
        assert v == w
        assert np.allclose(amplitudes(v), full_unitary(m, (q0, q1), 3) @ a, atol=1e-15)


def test_in_place_operator_failures():
    v = StateVec.random(2)
    before = v.clone()
    with pytest.raises(InternalError, match="index out of bounds"):
        v *= Instr(Gate.from_name("z"), [3])
    with pytest.raises(InternalError, match="index out of bounds"):
        v *= Instr(Gate.from_name("cz"), [0, 2])
    assert v == before
    with pytest.raises(TypeError):
        v *= 2
    with pytest.raises(TypeError):
        v *= Gate.from_name("h")
    scalar = Gate("global_i", [], np.array([[1j]]))
    with pytest.raises(InternalError, match="^Unsupported number of qubits: 0$"):
        v *= Instr(scalar, [])
    assert v == before
    h = Instr(Gate.from_name("h"), [1])
    w = v
    w *= h
    assert w is v
    v *= h
    assert v == before
