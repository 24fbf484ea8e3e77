"""Gate parameter expressions, through Gate.params_f."""
import math

import numpy as np
import pytest
from hypothesis import given, settings, strategies as st

import dravik
from gate_factory import fresh_gate


def params_f(*texts):
    return fresh_gate("p", texts, base=1.0).params_f


@pytest.mark.parametrize("text, value", [
    ("pi/3", 1.0471975511965976),
    ("-pi/16", -0.19634954084936207),
    ("2*pi", 6.283185307179586),
    (" pi  /\t2 \n", math.pi / 2),
    ("sin(pi)", 1.2246467991473532e-16),
    ("2^3^2", 64.0),
    ("-2^2", 4.0),
    ("2^-1", 0.5),
    ("--2", 2.0),
    ("1-2-3", -4.0),
    ("8/2/2", 2.0),
    ("2.", 2.0),
    ("2pi", 2.0),      # the rest after the longest expression is ignored
    ("1.5e3", 1.5),
    ("007", 0.0),
    ("exp(1)", math.e),
    ("sqrt(2)/2", math.sqrt(2) / 2),
    ("cos(pi/5)", 0.8090169943749475),
])
def test_values(text, value):
    assert params_f(text) == [value]


def test_domain_errors_are_values():
    sq, ln_neg, ln0, big = params_f("sqrt(-1)", "ln(-1)", "ln(0)", "9" * 400)
    assert math.isnan(sq) and math.isnan(ln_neg)
    assert ln0 == -math.inf and big == math.inf


def test_builtin_and_parameterless_gates():
    assert dravik.Gate.from_name("rz(pi/3)").params_f == [1.0471975511965976]
    assert dravik.Gate.from_name("rz(-pi/16)").params_f == [-0.19634954084936207]
    assert dravik.Gate.from_name("h").params_f == []
    assert params_f("pi/2", "pi", "1") == [math.pi / 2, math.pi, 1.0]


@pytest.mark.parametrize("text, message", [
    ("1/0", "DivisionByZero"),
    ("1/(1-1)", "DivisionByZero"),
    ("0/0", "DivisionByZero"),
    ("theta", "theta"),
    ("x", "x"),
    ("sin pi", "sin"),
    ("2*expo", "expo"),
])
def test_evaluation_errors(text, message):
    with pytest.raises(ValueError) as info:
        params_f(text)
    assert str(info.value) == message


def test_first_failing_parameter_is_reported():
    with pytest.raises(ValueError, match="^b$"):
        params_f("1", "b", "1/0")


@pytest.mark.parametrize("text, col", [("PI", 1), (".5", 1), ("", 1), (")", 1), ("(1", 3), ("(pi*(", 6)])
def test_parse_error_report(text, col):
    with pytest.raises(ValueError) as info:
        params_f(text)
    lines = str(info.value).split("\n")
    assert lines[0].strip() == f"--> 1:{col}"
    shown = next(l for l in lines if l.startswith("1 | "))
    assert shown == "1 | " + text
    caret = next(l for l in lines[lines.index(shown) + 1:] if "^" in l)
    assert caret.index("^") - caret.index("|") - 2 == col - 1
    assert "expected " in lines[-1]
    named = {"real", "id", "nninteger", "exp", "term", "factor", "plus", "mul", "power", "unary_op"}
    assert named & set(lines[-1].replace(",", " ").split())


def test_parse_error_on_a_later_line():
    with pytest.raises(ValueError) as info:
        params_f("(pi +\n  (2 * ")
    text = str(info.value)
    assert "--> 2:" in text and "2 |   (2 * " in text and "expected" in text


@pytest.mark.parametrize("text", ["(" * 100000, "-" * 100000 + "1", "(" * 100000 + "1" + ")" * 100000,
                                  "sqrt(" * 30000 + "1"])
def test_deep_nesting_fails_cleanly(text):
    with pytest.raises(ValueError, match="nested too deeply"):
        params_f(text)


def test_moderate_nesting_works():
    assert params_f("(" * 200 + "pi" + ")" * 200, "-" * 200 + "2") == [math.pi, 2.0]


# ------------------------------------------------- independent evaluation

def c_pow(a, b):
    with np.errstate(all="ignore"):
        return float(np.float64(a) ** np.float64(b))


def c_unary(f, x):
    # The C library's results where Python's math raises instead.
    try:
        return getattr(math, {"ln": "log"}.get(f, f))(x)
    except OverflowError:
        return math.inf
    except ValueError:
        if f == "ln" and x == 0:
            return -math.inf
        return math.nan


class DivZero(Exception):
    pass


def build(draw_tree):
    """Renders an expression tree to (text tokens, value computed in Python)."""
    kind = draw_tree[0]
    if kind == "num":
        v = draw_tree[1]
        return [v], float(v)
    if kind == "pi":
        return ["pi"], math.pi
    if kind == "neg":
        toks, v = build(draw_tree[1])
        return ["-", "("] + toks + [")"], -v
    if kind == "fn":
        toks, v = build(draw_tree[2])
        return [draw_tree[1], "("] + toks + [")"], c_unary(draw_tree[1], v)
    _, op, l, r = draw_tree
    lt, lv = build(l)
    rt, rv = build(r)
    if op == "/" and rv == 0:
        raise DivZero
    value = {"+": lambda: lv + rv, "-": lambda: lv - rv, "*": lambda: lv * rv, "/": lambda: lv / rv,
             "^": lambda: c_pow(lv, rv)}[op]()
    return ["("] + lt + [op] + rt + [")"], value


leaf = st.one_of(st.tuples(st.just("num"), st.sampled_from(["0", "1", "2", "3", "10", "0.5", "2.25", "7."])),
                 st.just(("pi",)))
trees = st.recursive(leaf, lambda t: st.one_of(
    st.tuples(st.just("bin"), st.sampled_from("+-*/^"), t, t),
    st.tuples(st.just("neg"), t),
    st.tuples(st.just("fn"), st.sampled_from(["sin", "cos", "tan", "exp", "ln", "sqrt"]), t)), max_leaves=8)


@settings(max_examples=150, deadline=None)
@given(trees, st.lists(st.sampled_from(["", "", " ", "\t", "\n", "\r"]), min_size=200, max_size=200))
def test_random_expressions_match_python(tree, spaces):
    try:
        toks, want = build(tree)
    except DivZero:
        toks, want = build_text_only(tree), None
    text = "".join(t + spaces[i % len(spaces)] for i, t in enumerate(toks))
    if want is None:
        with pytest.raises(ValueError, match="^DivisionByZero$"):
            params_f(text)
        return
    (got,) = params_f(text)
    if math.isnan(want):
        assert math.isnan(got)
    else:
        assert got == pytest.approx(want, rel=1e-12, abs=1e-300), text


def build_text_only(tree):
    kind = tree[0]
    if kind == "num":
        return [tree[1]]
    if kind == "pi":
        return ["pi"]
    if kind == "neg":
        return ["-", "("] + build_text_only(tree[1]) + [")"]
    if kind == "fn":
        return [tree[1], "("] + build_text_only(tree[2]) + [")"]
    return ["("] + build_text_only(tree[2]) + [tree[1]] + build_text_only(tree[3]) + [")"]


@settings(max_examples=500, deadline=None)
@given(st.text(alphabet="0123456789.+-*/^() \t\nsincotaexplqrtPIxyz_é", max_size=30))
def test_random_text_gives_a_value_or_value_error(text):
    try:
        (v,) = params_f(text)
        assert isinstance(v, float)
    except ValueError as e:
        assert str(e)
