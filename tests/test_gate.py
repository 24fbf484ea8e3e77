"""The gate table and the Gate class."""
import cmath
import math

import numpy as np
import pytest

import dravik
from dravik import Gate
from gate_factory import fresh_gate
from siphash_ref import py_hash, u16

r = 0.7071067811865476
# Built-in table, rows as written (c(θ), s(θ) in double precision).
BUILTINS = [
    ("i", [[1, 0], [0, 1]]), ("h", [[r, r], [r, -r]]), ("x", [[0, 1], [1, 0]]), ("z", [[1, 0], [0, -1]]),
    ("y", [[0, -1j], [1j, 0]]), ("s", [[1, 0], [0, 1j]]), ("sdg", [[1, 0], [0, -1j]]),
    ("t", [[1, 0], [0, 0.7071067811865476 + 0.7071067811865475j]]),
    ("tdg", [[1, 0], [0, 0.7071067811865476 - 0.7071067811865475j]]),
    ("cx", [[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 0, 1], [0, 0, 1, 0]]), ("cz", np.diag([1, 1, 1, -1])),
    ("cy", [[1, 0, 0, 0], [0, 1, 0, 0], [0, 0, 0, -1j], [0, 0, 1j, 0]]), ("cs", np.diag([1, 1, 1, 1j])),
    ("csdg", np.diag([1, 1, 1, -1j])), ("swap", [[1, 0, 0, 0], [0, 0, 1, 0], [0, 1, 0, 0], [0, 0, 0, 1]]),
    ("t1/2", [[1, 0], [0, 0.9238795325112867 + 0.3826834323650898j]]),
    ("tdg1/2", [[1, 0], [0, 0.9238795325112867 - 0.3826834323650898j]]),
    ("rz(pi/3)", [[1, 0], [0, 0.5000000000000001 + 0.8660254037844386j]]),
    ("rz(-pi/3)", [[1, 0], [0, 0.5000000000000001 - 0.8660254037844386j]]),
    ("rz(pi/5)", [[1, 0], [0, 0.8090169943749475 + 0.5877852522924731j]]),
    ("rz(-pi/5)", [[1, 0], [0, 0.8090169943749475 - 0.5877852522924731j]]),
    ("rz(pi/16)", [[1, 0], [0, 0.9807852804032304 + 0.19509032201612825j]]),
    ("rz(-pi/16)", [[1, 0], [0, 0.9807852804032304 - 0.19509032201612825j]]),
]


def g(name):
    gate = Gate.from_name(name)
    assert gate is not None, name
    return gate


def test_builtin_table():
    for index, (name, rows) in enumerate(BUILTINS):
        gate = g(name)
        want = np.asarray(rows, dtype=complex)
        m = gate.matrix
        assert m.dtype == np.complex128 and m.shape == want.shape
        assert np.array_equal(m, want), name  # exact, not approximate
        assert gate.nqargs == int(math.log2(want.shape[0]))
        assert str(gate) == name
        assert hash(gate) == py_hash(u16(index))  # the fixed-key hash of the 2-byte index
    rz = g("rz(pi/3)")
    assert rz.name == "rz" and rz.params == ["pi/3"]
    assert g("h").params == []
    assert Gate.from_name("rz") is None and Gate.from_name("H") is None and Gate.from_name("") is None


def test_rz_rows_are_phase_gates():
    for name, theta in [("rz(pi/3)", math.pi / 3), ("rz(-pi/5)", -math.pi / 5), ("rz(pi/16)", math.pi / 16)]:
        assert g(name).matrix[1, 1] == pytest.approx(cmath.exp(1j * theta), abs=1e-15)


def test_matrix_is_a_copy():
    m = g("x").matrix
    m[0, 0] = 5
    assert g("x").matrix[0, 0] == 0


def test_constructor_deduplicates_by_matrix():
    h = Gate("foo", [], [[r + 0j, r], [r, -r]])
    assert h == g("h") and str(h) == "h" and h.name == "h"
    # Within the 2^-24 grid the matrix is the same.
    assert Gate("bar", ["q"], np.array([[r + 1e-9, r], [r, -r]], dtype=complex)) == g("h")
    assert Gate("eye", [], [[1 + 0j, 0], [0, 1]]) == g("i")
    u1 = fresh_gate("u", ["a"])
    u2 = Gate("other", [], u1.matrix)
    assert u1 == u2 and hash(u1) == hash(u2) and str(u2) == "u(a)"


def test_matrix_layouts_are_read_by_element():
    base = fresh_gate("lay", nqubits=2).matrix
    perm = np.eye(4, dtype=complex)[[3, 1, 0, 2]] @ base
    for variant in [perm, np.asfortranarray(perm), perm[::-1, :][::-1, :], perm.T.copy().T,
                    np.ascontiguousarray(perm[:, ::-1])[:, ::-1]]:
        gate = Gate("lay2", [], variant)
        assert np.array_equal(gate.matrix, perm)
    assert Gate("lay3", [], perm.tolist()) == Gate("lay2", [], perm)


@pytest.mark.parametrize("matrix, message", [
    (np.zeros((3, 3), complex), "Matrix must have a number of rows that is a power of two"),
    (np.zeros((0, 0), complex), "Matrix must have a number of rows that is a power of two"),
    (np.zeros((2, 4), complex), "Matrix must be squared"),
    (np.zeros((3, 4), complex), "Matrix must have a number of rows that is a power of two"),
])
def test_matrix_shape_errors(matrix, message):
    with pytest.raises(dravik.InternalError) as info:
        Gate("bad", [], matrix)
    assert str(info.value) == message


@pytest.mark.parametrize("matrix", [
    [[1, 0], [0, 1]],                       # integers: NumPy makes a real array
    [[1.0, 0.0], [0.0, 1.0]],
    np.eye(2),
    np.eye(2, dtype=np.complex64),
    [1j, 0],                                # one dimension
    np.zeros((2, 2, 2), complex),
    [[1j, 0], [0]],                         # ragged
    "ab",
    None,
])
def test_matrix_conversion_errors(matrix):
    with pytest.raises(TypeError, match="^argument 'matrix': "):
        Gate("bad", [], matrix)


def test_adjoints():
    pairs = [("h", "h"), ("x", "x"), ("y", "y"), ("z", "z"), ("s", "sdg"), ("t", "tdg"), ("cx", "cx"),
             ("cy", "cy"), ("cz", "cz"), ("cs", "csdg"), ("swap", "swap"), ("t1/2", "tdg1/2"),
             ("rz(pi/3)", "rz(-pi/3)"), ("rz(pi/5)", "rz(-pi/5)"), ("rz(pi/16)", "rz(-pi/16)"), ("i", "i")]
    for a, b in pairs:
        assert g(a).adjoint() == g(b) and g(b).adjoint() == g(a)
    u = fresh_gate("u", ["a"], nqubits=2)
    adj = u.adjoint()
    assert str(adj) == "u\u2020(a)" and adj.name == "u\u2020" and adj.params == ["a"]
    assert np.array_equal(adj.matrix, u.matrix.conj().T)
    assert adj.adjoint() == u and u.adjoint() == adj
    assert Gate.from_name("u\u2020(a)") is not None


def test_equality_and_hash():
    assert g("h") == Gate.from_name("h")
    assert g("h") != g("x")
    assert (g("h") == "h") is False
    with pytest.raises(TypeError):
        g("h") < g("x")
    assert len({g("h"), Gate.from_name("h"), g("x")}) == 2
