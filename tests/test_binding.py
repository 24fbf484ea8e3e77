"""Module surface and the conversion rules every class follows."""
import inspect
import pathlib

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import dravik
import dravik.dravik as native
from siphash_ref import siphash13

REGISTRY = ["Argument", "Instruction", "Gate", "Instr", "StateVec", "ECC", "ECCs", "RawECCs", "Evaluator",
            "Circ", "IdentityCirc", "IdentityProver", "Proof"]
H = dravik.Gate.from_name("h")
CX = dravik.Gate.from_name("cx")


def test_siphash_reference_matches_published_vectors():
    rows = (pathlib.Path(__file__).parent / "testdata" / "siphash13.tsv").read_text().splitlines()
    rows = [r.split("\t") for r in rows if r and not r.startswith("#")]
    assert len(rows) > 60
    for k0, k1, msg, out in rows:
        data = b"" if msg == "-" else bytes.fromhex(msg)
        assert siphash13(data, int(k0, 16), int(k1, 16)) == int(out, 16)


def test_all_is_the_registry_order_of_present_classes():
    names = list(native.__all__)
    assert names == [n for n in REGISTRY if n in names]
    assert {"Argument", "Instruction", "Gate", "Instr"} <= set(names)
    assert dravik.__all__ == names
    for n in names:
        assert isinstance(getattr(native, n), type)
    assert native.__doc__.startswith("Python extension module entrypoint.")
    assert "python/dravik/__init__" in native.__doc__


@pytest.mark.parametrize("cls, sig, doc", [
    ("Argument", "(regid, index)",
     "A named register argument (e.g., `q[0]`, `c[2]`) used by high-level instructions."),
    ("Instruction", "(gate, qargs, cargs=...)",
     "A high-level instruction with gate + explicit quantum/classical register arguments."),
    ("Gate", "(name, params, matrix)", "Parameterized quantum gate definition used by both search and Python APIs."),
    ("Instr", "(gate, qargs)", "A compact, index-only quantum instruction used internally by the search/prover."),
])
def test_class_docstrings_and_signatures(cls, sig, doc):
    c = getattr(dravik, cls)
    assert c.__doc__ == doc
    assert c.__text_signature__ == sig
    assert str(inspect.signature(c)).replace("Ellipsis", "...") == sig


@pytest.mark.parametrize("fn, sig, doc", [
    (dravik.Gate.from_name, "(name)", "Looks up a built-in gate by display name."),
    (dravik.Gate.adjoint, "(self)", "Returns the adjoint (inverse) gate."),
    (dravik.Instr.pass_mask, "(self, mask)", "Updates a frontier mask for left-to-right scheduling checks."),
    (dravik.Instr.permut, "(self, perm)", "Alias of `apply_permutation`."),
    (dravik.Gate.__call__, "(self, *args)",
     "Binds arguments and returns either compact `Instr` (integer qargs)\n"
     "or high-level `Instruction` (register-style args)."),
    (dravik.Argument.__init__, "(self, regid, index)", 'Creates a register argument like `("q", 0)`.'),
    (dravik.Instruction.__init__, "(self, gate, qargs, cargs=...)",
     "Creates a high-level instruction with explicit quantum/classical arguments."),
])
def test_method_docstrings(fn, sig, doc):
    assert fn.__doc__ == doc
    assert fn.__text_signature__ == sig
    inspect.signature(fn)  # readable by inspect


def test_property_docstrings():
    assert dravik.Gate.params_f.__doc__ == "Numeric parameters evaluated with support for `pi` expressions."
    assert dravik.Gate.nqargs.__doc__ == "Number of qubit arguments required by this gate."
    assert dravik.Instr.qargs.__doc__ == "Qubit arguments as dense integer indices."


def test_internal_error_is_not_an_exception():
    assert issubclass(dravik.InternalError, BaseException)
    assert not issubclass(dravik.InternalError, Exception)
    with pytest.raises(BaseException) as info:
        try:
            dravik.Instr(CX, [1, 1])
        except Exception:  # must not catch it
            pytest.fail("internal error caught as Exception")
    assert type(info.value) is dravik.InternalError
    assert str(info.value) == "Qubit arguments must be unique"


@pytest.mark.parametrize("call, exc, message", [
    (lambda: dravik.Instr(H, [1.5]), TypeError, "argument 'qargs': "),
    (lambda: dravik.Instr(H, qargs=None), TypeError, "argument 'qargs': "),
    (lambda: dravik.Instr(3, [0]), TypeError, "argument 'gate': "),
    (lambda: dravik.Instr(H, "0"), TypeError, "argument 'qargs': "),  # one-character str
    (lambda: dravik.Instr(H, "01"), TypeError, "argument 'qargs': "),
    (lambda: dravik.Gate.from_name(b"h"), TypeError, "argument 'name': "),
    (lambda: dravik.Instr(H, [256]), OverflowError, None),  # not a TypeError: passes unchanged
    (lambda: dravik.Instr(H, [-1]), OverflowError, None),
    (lambda: dravik.Instr(H, [2 ** 70]), OverflowError, None),
    (lambda: dravik.Argument("q", -1), OverflowError, None),
    (lambda: dravik.Argument("q", 2 ** 64), OverflowError, None),
    # arity and keyword errors of the binding layer
    (lambda: dravik.Instr(H), TypeError, None),
    (lambda: dravik.Instr(H, [0], [1]), TypeError, None),
    (lambda: dravik.Instr(H, [0], bogus=1), TypeError, None),
    (lambda: dravik.Instr(H, [0], gate=H), TypeError, None),
    (lambda: H.adjoint(1), TypeError, None),
])
def test_conversion_failures(call, exc, message):
    with pytest.raises(exc) as info:
        call()
    assert type(info.value) is exc
    if message:
        assert str(info.value).startswith(message)


def test_str_refused_where_a_sequence_is_expected():
    messages = set()
    for bad in ["0", "01", ""]:
        with pytest.raises(TypeError) as info:
            dravik.Instr(H, bad)
        messages.add(str(info.value))
    assert len(messages) == 1  # the same refusal whatever the length
    with pytest.raises(TypeError, match="str"):
        dravik.Instr(H, [0]).apply_permutation("10")


def test_any_sequence_protocol_is_accepted():
    for qargs in ([0], (0,), range(1), b"\x00", bytearray(b"\x00"), np.array([0])):
        assert str(dravik.Instr(H, qargs)) == "h(0)"
    with pytest.raises(TypeError, match="Sequence"):
        dravik.Instr(H, {0})
    with pytest.raises(TypeError, match="Sequence"):
        dravik.Instr(H, iter([0]))


def test_keyword_arguments_use_the_signature_names():
    assert str(dravik.Instr(gate=H, qargs=[2])) == "h(2)"
    assert str(dravik.Argument(index=3, regid="c")) == "c[3]"
    assert str(dravik.Instruction(gate=H, qargs=[], cargs=[("c", 1)])) == "h c[1];"
    assert dravik.Gate.from_name(name="cx") == CX


def test_protocols():
    assert H == dravik.Gate.from_name("h") and H != CX
    assert (H == 3) is False and (H != 3) is True
    for a, b in [(H, CX), (dravik.Argument("q", 0), dravik.Argument("q", 1)),
                 (dravik.Instruction(H, []), dravik.Instruction(CX, []))]:
        for op in ("__lt__", "__le__", "__gt__", "__ge__"):
            with pytest.raises(TypeError):
                getattr(__import__("operator"), op.strip("_"))(a, b)
    i1, i2 = dravik.Instr(H, [0]), dravik.Instr(H, [0])
    assert i1 != i2 and not (i1 == i2) and i1 == i1  # identity comparison
    assert hash(i1) == hash(i2)


def test_settable_properties_refuse_deletion():
    arg = dravik.Argument("q", 0)
    ins = dravik.Instruction(H, [arg])
    for obj, name in [(arg, "regid"), (arg, "index"), (ins, "gate"), (ins, "qargs"), (ins, "cargs")]:
        with pytest.raises(AttributeError, match="^can't delete attribute$"):
            delattr(obj, name)
    for obj, name in [(H, "name"), (dravik.Instr(H, [0]), "gate")]:
        with pytest.raises(AttributeError):
            setattr(obj, name, None)


# ---------------------------------------------------------------- fuzz

values = st.recursive(
    st.none() | st.booleans() | st.integers(-300, 300) | st.integers() | st.floats() | st.text(max_size=4)
    | st.binary(max_size=3) | st.complex_numbers() | st.sampled_from([H, CX, dravik.Argument("q", 0)]),
    lambda inner: st.lists(inner, max_size=4) | st.tuples(inner, inner) | st.dictionaries(st.text(max_size=2), inner,
                                                                                          max_size=2),
    max_leaves=8)

CALLS = [
    lambda a, b: dravik.Instr(a, b),
    lambda a, b: dravik.Instr(H, a),
    lambda a, b: dravik.Instr(CX, [0, 1]).apply_permutation(a),
    lambda a, b: dravik.Instr(H, [0]).pass_mask(a),
    lambda a, b: dravik.Instr(H, [0]).position_of_qubit(a),
    lambda a, b: dravik.Instr(H, [0]).disjoint(a),
    lambda a, b: dravik.Gate.from_name(a),
    lambda a, b: dravik.Gate(a, b, [[1j, 0], [0, 1j]]),
    lambda a, b: dravik.Gate("fz", a, b),
    lambda a, b: dravik.Argument(a, b),
    lambda a, b: dravik.Instruction(a, b),
    lambda a, b: dravik.Instruction(H, a, b),
    lambda a, b: H(a, b),
    lambda a, b: CX(*a) if isinstance(a, (list, tuple)) else CX(a),
    lambda a, b: setattr(dravik.Argument("q", 0), "regid", a),
    lambda a, b: setattr(dravik.Argument("q", 0), "index", a),
    lambda a, b: setattr(dravik.Instruction(H, []), "qargs", a),
    lambda a, b: setattr(dravik.Instruction(H, []), "gate", a),
]

# Internal errors that ordinary input can reach in these calls.
KNOWN_INTERNAL = ("Number of qubit arguments does not match gate arity", "Qubit arguments must be unique",
                  "Permutation values must be", "assertion failed: idx < 8", "Number of arguments not match for gate",
                  "index out of bounds", "Matrix must")


@settings(max_examples=400, deadline=None)
@given(st.integers(0, len(CALLS) - 1), values, values)
def test_fuzz_conversions_raise_only_documented_errors(which, a, b):
    try:
        CALLS[which](a, b)
    except (TypeError, OverflowError):
        pass
    except dravik.InternalError as e:
        assert str(e).startswith(KNOWN_INTERNAL), str(e)
