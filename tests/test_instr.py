"""Compact instructions and permutations given from Python."""
import pytest

import dravik
from dravik import Gate, Instr
from siphash_ref import py_hash, u16, u32

H, X, S, CX, SDG, I = (Gate.from_name(n) for n in ["h", "x", "s", "cx", "sdg", "i"])


def test_one_qubit_instruction():
    i = Instr(H, [0])
    assert i.qargs == b"\x00" and isinstance(i.qargs, bytes)
    assert str(i) == repr(i) == "h(0)"
    assert i.arg_mask() == 1 and i.largest_qubit() == 0
    assert i.position_of_qubit(0) == 0 and i.position_of_qubit(1) is None
    assert i.gate == H


def test_two_qubit_instruction():
    i = Instr(CX, [2, 0])
    assert i.qargs == bytes([2, 0]) and str(i) == "cx(2, 0)"
    assert i.arg_mask() == 5 and i.largest_qubit() == 2
    assert i.position_of_qubit(0) == 1 and i.position_of_qubit(2) == 0
    assert i.pass_mask(0) is None and i.pass_mask(1) is None and i.pass_mask(3) == 7


@pytest.mark.parametrize("gate, qargs, mask, out", [
    ("cx", [0, 1], 0, 3), ("cx", [1, 0], 0, None), ("h", [1], 1, 3), ("cx", [1, 0], 3, 3), ("h", [2], 1, None),
    ("h", [0], 255, 255), ("h", [7], 127, 255), ("cx", [0, 2], 2, 7),
])
def test_pass_mask(gate, qargs, mask, out):
    assert Instr(Gate.from_name(gate), qargs).pass_mask(mask) == out


def test_constructor_checks():
    with pytest.raises(dravik.InternalError, match="^Qubit arguments must be unique$"):
        Instr(CX, [1, 1])
    for bad in ([1], [0, 1, 2], []):
        with pytest.raises(dravik.InternalError, match="^Number of qubit arguments does not match gate arity$"):
            Instr(CX, bad)
    # 255 is the absent marker: accepted, then reads as no argument.
    i = Instr(H, [255])
    assert i.qargs == b"" and str(i) == "h()" and i.arg_mask() == 0 and i.largest_qubit() == 0


def test_disjoint_and_adjoint():
    assert Instr(H, [0]).disjoint(Instr(CX, [1, 2]))
    assert not Instr(H, [1]).disjoint(Instr(CX, [1, 2]))
    assert Instr(H, [255]).disjoint(Instr(H, [0]))
    with pytest.raises(TypeError, match="^argument 'other': "):
        Instr(H, [0]).disjoint(H)
    adj = Instr(S, [3]).adjoint()
    assert str(adj) == "sdg(3)" and adj.gate == SDG


def test_hash_is_the_fixed_key_hash_of_the_packed_fields():
    for gate, idx, qargs, raw in [(H, 1, [0], (0, 255)), (CX, 9, [3, 1], (3, 1)), (I, 0, [7], (7, 255))]:
        feed = u16(idx) + u32(2) + bytes(raw)
        assert hash(Instr(gate, qargs)) == py_hash(feed)


@pytest.mark.parametrize("perm, want", [
    ([1, 0], "cx(1, 0)"), ((1, 0, 2), "cx(1, 0)"), (range(2), "cx(0, 1)"), (b"\x02\x03\x00\x01", "cx(2, 3)"),
    ([7, 6, 5, 4, 3, 2, 1, 0], "cx(7, 6)"),
])
def test_apply_permutation(perm, want):
    i = Instr(CX, [0, 1])
    assert str(i.apply_permutation(perm)) == want
    assert str(i.permut(perm)) == want
    assert str(i) == "cx(0, 1)"  # unchanged


def test_permutation_conversion_errors():
    i = Instr(CX, [0, 1])
    with pytest.raises(dravik.InternalError, match="^Permutation values must be unique$"):
        i.apply_permutation([1, 1])
    with pytest.raises(dravik.InternalError, match="^Permutation values must be less than 8$"):
        i.apply_permutation([8])
    with pytest.raises(dravik.InternalError, match="^Permutation values must be unique$"):
        i.apply_permutation([0, 1, 2, 3, 4, 5, 6, 7, 0])  # a ninth value always repeats one
    with pytest.raises(TypeError, match="^argument 'perm': "):
        i.apply_permutation("10")
    with pytest.raises(TypeError, match="^argument 'perm': "):
        i.apply_permutation([1.0, 0])
    with pytest.raises(OverflowError):
        i.apply_permutation([256, 0])
    with pytest.raises(dravik.InternalError, match=r"^assertion failed: idx < 8$"):
        Instr(H, [9]).apply_permutation([0])
    # The empty permutation converts; qubits beyond its length read slot values (0).
    assert str(Instr(H, [3]).apply_permutation([])) == "h(0)"


def test_gate_of_more_than_two_qubits_cannot_be_compact():
    import numpy as np
    ccz = Gate("ccz3", [], np.diag([1, 1, 1, 1, 1, 1, 1, -1]).astype(complex))
    assert ccz.nqargs == 3
    with pytest.raises(dravik.InternalError, match="index out of bounds"):
        Instr(ccz, [0, 1, 2])
    with pytest.raises(dravik.InternalError, match="index out of bounds"):
        ccz(0, 1, 2)
