"""Register-level instructions: Argument, Instruction and calling a gate."""
import pytest

import dravik
from dravik import Argument, Gate, Instr, Instruction
from siphash_ref import py_hash, u16, u32

H, CX = Gate.from_name("h"), Gate.from_name("cx")


def arg_feed(regid, index):
    return regid.encode() + b"\xff" + u32(index)


def test_argument():
    a = Argument("q", 0)
    assert str(a) == "q[0]" and repr(a) == 'Argument { regid: "q", index: 0 }'
    assert a.regid == "q" and a.index == 0
    assert a == Argument("q", 0) and a != Argument("q", 1) and a != Argument("r", 0)
    assert (a == ("q", 0)) is False
    with pytest.raises(TypeError):
        a < Argument("q", 1)
    assert hash(a) == py_hash(arg_feed("q", 0))
    assert hash(Argument("anc", 70000)) == py_hash(arg_feed("anc", 70000))
    a.regid, a.index = "c", 12
    assert str(a) == "c[12]"
    with pytest.raises(TypeError, match="^argument 'regid': "):
        a.regid = 3
    with pytest.raises(OverflowError):
        a.index = -1
    with pytest.raises(TypeError):
        a.index = "1"


@pytest.mark.parametrize("regid, shown", [
    ('a"b', r'"a\"b"'), ("a\\b", r'"a\\b"'), ("x\ny", r'"x\ny"'), ("t\tr\r", r'"t\tr\r"'), ("\x00", r'"\0"'),
    ("\x01", r'"\u{1}"'), ("é", '"é"'), ("it's", "\"it's\""), ("", '""'),
])
def test_argument_repr_escapes(regid, shown):
    assert repr(Argument(regid, 1)) == "Argument { regid: " + shown + ", index: 1 }"


def test_instruction_forms():
    i = Instruction(CX, [("q", 0), Argument("q", 1)])
    assert str(i) == "cx q[0], q[1];"
    assert i.cargs == [] and i.qargs == [Argument("q", 0), Argument("q", 1)]
    assert i.gate == CX
    assert repr(i) == ('Instruction { gate: Gate(9) -> cx, qargs: [Argument { regid: "q", index: 0 }, '
                       'Argument { regid: "q", index: 1 }], cargs: [] }')
    j = Instruction(H, [], [("c", 3)])  # no arity check
    assert str(j) == "h c[3];"
    assert repr(j) == 'Instruction { gate: Gate(1) -> h, qargs: [], cargs: [Argument { regid: "c", index: 3 }] }'
    assert str(Instruction(H, [])) == "h ;"
    assert str(Instruction(Gate.from_name("rz(pi/3)"), (("q", 2),), cargs=[("c", 0)])) == "rz(pi/3) q[2], c[0];"


def test_instruction_equality_hash_and_setters():
    a = Instruction(CX, [("q", 0), ("q", 1)], [("c", 0)])
    b = Instruction(CX, [Argument("q", 0), Argument("q", 1)], [Argument("c", 0)])
    assert a == b and hash(a) == hash(b)
    feed = u16(9) + u32(2) + arg_feed("q", 0) + arg_feed("q", 1) + u32(1) + arg_feed("c", 0)
    assert hash(a) == py_hash(feed)
    b.qargs = [Argument("q", 1), Argument("q", 0)]
    assert a != b
    b.qargs = [Argument("q", 0), Argument("q", 1)]
    assert a == b
    b.cargs = []
    assert a != b and str(b) == "cx q[0], q[1];"
    b.gate = H
    assert str(b) == "h q[0], q[1];"
    with pytest.raises(TypeError, match="^argument 'qargs': "):
        b.qargs = [("q", 0)]  # setters take Argument objects only
    with pytest.raises(TypeError, match="^argument 'gate': "):
        b.gate = "h"
    with pytest.raises(TypeError):
        b.cargs = "c"


def test_values_are_copied():
    arg = Argument("q", 0)
    i = Instruction(H, [arg])
    arg.index = 5
    assert str(i) == "h q[0];"
    i.qargs[0].index = 7  # the getter returns copies
    assert str(i) == "h q[0];"
    args = [Argument("q", 1)]
    i.qargs = args
    args[0].index = 9
    assert str(i) == "h q[1];"


@pytest.mark.parametrize("qargs, param", [
    ("q0", "qargs"), ([("q", -1)], "qargs"), ([("q", 0, 1)], "qargs"), ([(0, "q")], "qargs"), ([["q", 0]], "qargs"),
    ([("q", 1.0)], "qargs"), ([None], "qargs"), ([("q", 2 ** 64)], "qargs"),
])
def test_instruction_argument_errors(qargs, param):
    with pytest.raises(TypeError, match=f"^argument '{param}': "):
        Instruction(H, qargs)
    with pytest.raises(TypeError, match="^argument 'cargs': "):
        Instruction(H, [], qargs)


def test_union_message_names_both_forms():
    with pytest.raises(TypeError) as info:
        Instruction(H, [("q", -1)])
    msg = str(info.value)
    assert "failed to convert the value to 'Union[" in msg and "Argument" in msg and msg.endswith("]'")
    with pytest.raises(TypeError, match="^argument 'gate': "):
        Instruction("h", [])
    with pytest.raises(TypeError):
        Instruction(H, [], None)


def test_calling_a_gate():
    i = H(0)
    assert isinstance(i, Instr) and str(i) == "h(0)"
    assert str(CX(0, 0)) == "cx(0, 0)"  # no uniqueness check on this path
    assert str(CX(1, 2)) == "cx(1, 2)"
    with pytest.raises(dravik.InternalError, match="^Number of arguments not match for gate h$"):
        H(0, 1)
    with pytest.raises(dravik.InternalError, match="^Number of arguments not match for gate cx$"):
        CX()
    ins = CX(Argument("q", 0), Argument("q", 1), Argument("c", 0))
    assert isinstance(ins, Instruction)
    assert ins.qargs == [Argument("q", 0), Argument("q", 1)] and ins.cargs == [Argument("c", 0)]
    assert str(H(Argument("q", 4))) == "h q[4];"
    with pytest.raises(dravik.InternalError, match="index out of bounds"):
        CX(Argument("q", 0))


@pytest.mark.parametrize("args", [("0",), (0, Argument("q", 1)), (256,), (-1,), (("q", 0),), ([0],), (None,),
                                  (1.0,)])
def test_calling_a_gate_with_neither_form(args):
    with pytest.raises(TypeError) as info:
        H(*args)
    msg = str(info.value)
    assert msg.startswith("argument 'args': failed to convert the value to 'Union[")
    assert "int" in msg and "Argument" in msg
