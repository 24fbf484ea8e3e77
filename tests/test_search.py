"""The raw ECC search, simplification, and the ECC / ECCs classes."""
import inspect
import re
import subprocess
import sys
import textwrap

import numpy as np
import pytest

import dravik
from dravik import ECC, ECCs, Evaluator, Gate, Instr, RawECCs

H, X, T, TDG, CX = (Gate.from_name(n) for n in ("h", "x", "t", "tdg", "cx"))

PROGRESS = re.compile(r"#(\d+) Exploring (.*) \((\d+) queued, (\d+) ECCs, (\d+) circs, (\d+) circs perm\)")


def placed(n, *gates):
    """The instruction list `generate` builds for `gates` (adjoints included)."""
    out = []
    for g in gates:
        if g.nqargs == 1:
            out += [Instr(g, [i]) for i in range(n)]
        else:
            out += [Instr(g, [i, j]) for i in range(n) for j in range(n) if i != j]
    return sorted(out, key=lambda x: max(x.qargs))


@pytest.fixture(scope="module")
def ev3():
    return Evaluator(3)


@pytest.fixture(scope="module")
def clifford_t(ev3):
    raw, counters = RawECCs.generate(ev3, [H, T, CX], 3)
    return raw, counters


def test_fresh_map_is_the_empty_circuit(ev3):
    eccs = RawECCs(ev3).simplify()
    assert (len(eccs), eccs.nqubits, str(eccs)) == (1, 3, "")
    (ecc,) = eccs.to_list()
    assert ecc.circuits() == [[]]
    assert str(ecc) == "ECC {\n\t,\n}"


def test_empty_instruction_list_explores_only_the_root(ev3, capfd):
    raw, counters = RawECCs.search(ev3, [], 5)
    assert counters == [1, 0, 0]
    assert capfd.readouterr().out == "#0 Exploring  (0 queued, 1 ECCs, 0 circs, 0 circs perm)\n"
    assert len(raw.simplify()) == 1


def test_counters_and_breadth_first_shape(ev3, clifford_t, capfd):
    raw, (explored, evaluated, attempts) = clifford_t
    eccs = raw.simplify()
    n_instrs = len(placed(3, H, T, TDG, CX))
    assert evaluated == explored * n_instrs
    assert attempts >= evaluated
    # Every class whose representative is shorter than max_size was explored
    # exactly once (the representative is the shortest member).
    reps = [e.circuits()[0] for e in eccs.to_list()]
    assert explored == sum(len(c) < 3 for c in reps)
    assert max(len(c) for c in reps) <= 3
    for e in eccs.to_list():
        sizes = [len(c) for c in e.circuits()]
        assert sizes[0] == min(sizes)


def test_generate_matches_search_on_the_placed_instructions(ev3, clifford_t):
    raw, counters = clifford_t
    # t's adjoint tdg is added once; h and cx are their own adjoints.
    raw2, counters2 = RawECCs.search(ev3, placed(3, H, T, TDG, CX), 3)
    assert counters2 == counters
    assert raw2.simplify() == raw.simplify()
    raw3, counters3 = RawECCs.generate(ev3, [T, CX, TDG, H], 3)
    assert counters3 == counters
    assert raw3.simplify() == raw.simplify()
    # A repeated gate stays repeated; its adjoint is still added once.
    _, (explored, evaluated, _) = RawECCs.generate(ev3, [T, T], 1)
    assert evaluated == explored * 9


def test_max_size_zero_and_one_agree(ev3):
    instrs = placed(3, H, CX)
    r0, c0 = RawECCs.search(ev3, instrs, 0)
    r1, c1 = RawECCs.search(ev3, instrs, 1)
    assert c0 == c1 == [1, len(instrs), c1[2]]
    assert r0.simplify() == r1.simplify()


def test_naive_search(ev3):
    raw, (explored, evaluated, attempts) = RawECCs.generate_naive(ev3, [H, CX], 2)
    assert evaluated == attempts == explored * len(placed(3, H, CX))
    eccs = raw.simplify()
    assert eccs.check() == []
    # Without relabelling every placement of a gate is a class of its own.
    singles = [e for e in eccs.to_list() if len(e.circuits()[0]) == 1]
    assert len(singles) == 3 + 6
    optimized = RawECCs.generate(ev3, [H, CX], 2)[0].simplify().to_list()
    assert sum(len(e.circuits()[0]) == 1 for e in optimized) == 2


def test_simplify_is_deterministic_and_checks(clifford_t):
    raw, _ = clifford_t
    a, b = raw.simplify(), raw.simplify()
    assert a == b and not (a != b)
    assert a.check() == []
    classes = a.to_list()
    multi = a.filter_single()
    assert multi.nqubits == 3
    assert len(multi) == sum(len(e.circuits()) > 1 for e in classes)
    assert all(len(e.circuits()) > 1 for e in multi.to_list())
    assert str(a) == str(multi) == " & ".join(str(e) for e in multi.to_list())
    assert str(a).count(" & ") == len(multi) - 1
    assert len(multi.filter_single()) == len(multi)


def test_ecc_text_form(clifford_t):
    raw, _ = clifford_t
    for e in raw.simplify().filter_single().to_list()[:20]:
        lines = [" ".join(str(x) for x in c) for c in e.circuits()]
        assert str(e) == "ECC {\n" + "".join(f"\t{l},\n" for l in lines) + "}"


def test_representatives_use_low_qubits_first(clifford_t):
    raw, _ = clifford_t
    for e in raw.simplify().to_list():
        used = sorted({q for x in e.circuits()[0] for q in x.qargs})
        assert used == list(range(len(used)))


def test_protocols(clifford_t):
    eccs = clifford_t[0].simplify()
    a, b = eccs.to_list()[:2]
    with pytest.raises(TypeError):
        a < b  # noqa: B015
    with pytest.raises(TypeError):
        eccs < eccs  # noqa: B015
    for obj in (a, eccs):
        with pytest.raises(TypeError):
            hash(obj)
    assert a != b and a == eccs.to_list()[0]
    assert (a == 3) is False and (eccs == "x") is False
    for cls in (ECC, ECCs):
        with pytest.raises(TypeError):
            cls()
    with pytest.raises(AttributeError):
        eccs.nqubits = 4


def test_docstrings_and_signatures():
    assert RawECCs.__doc__ == (
        "Mutable ECC map keyed by evaluator hash.\n\n"
        "This is the direct output of the search algorithm before final simplification."
    )
    assert str(inspect.signature(RawECCs)) == "(evaluator)"
    for name in ("search", "search_naive", "generate", "generate_naive"):
        assert str(inspect.signature(getattr(RawECCs, name))) == (
            "(evaluator, instrs, max_size)" if "search" in name else "(evaluator, gates, max_size)"
        )
    assert RawECCs.generate.__doc__ == (
        "Generates ECCs from a gate set using the optimized search.\n\nAdjoint gates are added automatically if missing."
    )
    assert RawECCs.simplify.__doc__ == "Converts raw buckets into sorted, normalized ECCs."
    assert ECC.__doc__ == "One equivalence class of circuits."
    assert ECCs.__doc__ == "Collection of equivalence classes for a fixed number of qubits."
    assert ECCs.check.__doc__ == "Returns classes that fail randomized equivalence checks."
    assert ECC.circuits.__doc__ == "Returns all circuits in this class with swap instructions materialized."


@pytest.mark.parametrize(
    "call, exc, message",
    [
        (lambda ev: RawECCs.search("ev", [], 1), TypeError, "argument 'evaluator'"),
        (lambda ev: RawECCs.search(ev, "h", 1), TypeError, "argument 'instrs'"),
        (lambda ev: RawECCs.search(ev, [H], 1), TypeError, "argument 'instrs'"),
        (lambda ev: RawECCs.generate(ev, [Instr(H, [0])], 1), TypeError, "argument 'gates'"),
        (lambda ev: RawECCs.generate(ev, [H], -1), OverflowError, ""),
        (lambda ev: RawECCs(None), TypeError, "argument 'evaluator'"),
        (
            lambda ev: RawECCs.search(ev, [Instr(H, [0]), Instr(H, [3])], 1),
            dravik.InternalError,
            "Instruction h(3) uses a qubit outside the evaluator's 3 qubits",
        ),
        (
            lambda ev: RawECCs.generate(ev, [Gate("ccz", [], np.diag([1, 1, 1, 1, 1, 1, 1, -1]).astype(complex))], 1),
            dravik.InternalError,
            "Only 1 and 2 qubit instructions are supported",
        ),
    ],
)
def test_bad_arguments_fail_cleanly(ev3, call, exc, message, capfd):
    with pytest.raises(exc, match=re.escape(message)):
        call(ev3)
    capfd.readouterr()


def test_progress_goes_to_the_process_stdout_in_order():
    """Progress is written through the process's stdout and flushed line by
    line, so it lands between what was written to fd 1 before and after."""
    script = textwrap.dedent(
        """
        import os, dravik
        ev = dravik.Evaluator(3)
        g = [dravik.Gate.from_name(n) for n in ("h", "t", "cx")]
        os.write(1, b"before\\n")
        raw, counters = dravik.RawECCs.generate(ev, g, 3)
        os.write(1, b"after\\n")
        os.write(1, repr(counters).encode() + b"\\n")
        """
    )
    out = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, check=True).stdout
    lines = out.splitlines()
    assert lines[0] == "before" and lines[-2] == "after"
    counters = eval(lines[-1])
    progress = lines[1:-2]
    assert len(progress) == (counters[0] + 399) // 400
    for k, line in enumerate(progress):
        m = PROGRESS.fullmatch(line)
        assert m, line
        assert int(m.group(1)) == 400 * k
    assert PROGRESS.fullmatch(progress[0]).group(2) == ""
