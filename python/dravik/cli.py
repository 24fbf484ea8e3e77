"""Command line of dravik: `python -m dravik --help`.

    python -m dravik generate --gates h,cx,t,tdg --qubits 3 --max-size 4 \\
        --quartz eccs.json --save eccs.bin

searches for equivalence classes of circuits over a gate set, optionally
re-checks them, writes the requested files and prints a summary.
"""
import argparse
import contextlib
import ctypes
import os
import resource
import sys
import textwrap
import time

# Gate names the Quartz ECC-set loader knows without parameters; any other
# name in an export is misread there.
QUARTZ_GATE_NAMES = frozenset(
    ["h", "x", "y", "z", "s", "sdg", "t", "tdg", "cx", "cz", "swap", "sx", "sxdg", "ch", "ccx", "ccz"]
)

MAX_QUBITS = 8  # the evaluator handles up to eight qubits

EXIT_OK, EXIT_FAILED, EXIT_USAGE = 0, 1, 2


class _Parser(argparse.ArgumentParser):
    """Reports usage errors on one line and exits with status 2."""

    def error(self, message):
        self.exit(EXIT_USAGE, f"{self.prog}: error: {message} (see --help)\n")


def _count(lo, hi):
    def parse(text):
        try:
            value = int(text, 10)
        except ValueError:
            raise argparse.ArgumentTypeError(f"must be an integer, got {text!r}") from None
        if value < lo or (hi is not None and value > hi):
            bound = f"between {lo} and {hi}" if hi is not None else f"at least {lo}"
            raise argparse.ArgumentTypeError(f"must be {bound}, got {value}")
        return value

    return parse


def split_gate_list(text):
    """Splits "h,cx,rz(pi/3)" at commas outside parentheses."""
    names, depth, cur = [], 0, []
    for ch in text:
        if ch == "," and depth == 0:
            names.append("".join(cur).strip())
            cur = []
            continue
        depth += ch == "("
        depth -= ch == ")"
        cur.append(ch)
    names.append("".join(cur).strip())
    return names


def _gate_list(text):
    names = split_gate_list(text)
    if any(not n for n in names):
        raise argparse.ArgumentTypeError(f"empty gate name in {text!r}")
    return names


def build_parser():
    parser = _Parser(
        prog="python -m dravik",
        description="Discover equivalences between small quantum circuits.",
        epilog="Run 'python -m dravik generate --help' for the options of the search.",
    )
    sub = parser.add_subparsers(dest="command", metavar="COMMAND", parser_class=_Parser)
    sub.required = True
    gen = sub.add_parser(
        "generate",
        help="search equivalence classes of circuits over a gate set",
        description=textwrap.fill(
            "Enumerate every circuit over the gate set up to --max-size instructions on --qubits qubits, "
            "breadth first, and group circuits that agree up to global phase and qubit relabelling into "
            "equivalence classes (ECCs). Adjoints of the given gates are added to the set automatically. "
            "Search progress lines go to standard output; a summary follows at the end."
        ),
        epilog=(
            "example:\n"
            "  python -m dravik generate --gates h,cx,t,tdg --qubits 3 --max-size 4 \\\n"
            "      --quartz eccs.json --save eccs.bin\n\n"
            + textwrap.fill("exit status: 0 on success, 1 when --check finds failing classes or a file cannot "
                            "be written, 2 on a usage error.")
        ),
        formatter_class=argparse.RawDescriptionHelpFormatter,
    )
    gen.add_argument(
        "--gates", required=True, type=_gate_list, metavar="NAMES",
        help="comma-separated display names of gates in the gate table, e.g. h,cx,t,tdg or "
             "h,rz(pi/3) (required)")
    gen.add_argument(
        "--qubits", required=True, type=_count(1, MAX_QUBITS), metavar="N",
        help=f"number of qubits of every circuit, 1 to {MAX_QUBITS} (required)")
    gen.add_argument(
        "--max-size", required=True, type=_count(0, None), metavar="N",
        help="largest number of instructions in a circuit; circuits of one instruction are always "
             "enumerated (required)")
    gen.add_argument(
        "--naive", action="store_true",
        help="use the exhaustive baseline search without the qubit-relabelling reduction (slower; "
             "for comparison)")
    gen.add_argument(
        "--check", action="store_true",
        help="re-check every class on fresh random states and report the classes that fail; "
             "failures make the exit status 1")
    gen.add_argument(
        "--quartz", metavar="FILE",
        help="write the classes with at least two circuits as a Quartz ECC-set JSON document; warns "
             "on standard error when it uses gate names that Quartz does not know")
    gen.add_argument(
        "--save", metavar="FILE",
        help="save all classes in the compact binary format (load with dravik.ECCs.from_postcard)")
    gen.add_argument(
        "--quiet", action="store_true", help="suppress the search progress lines")
    gen.add_argument(
        "--threads", type=_count(1, None), metavar="N",
        help="evaluate on at most N worker threads (default: every processor this process may run on); "
             "results are identical for every N")
    return parser


def limit_threads(n):
    """Restricts the process to its first `n` allowed processors.

    The worker pool sizes itself from the process's processor affinity when it
    starts, so this must run before the first search.
    """
    allowed = sorted(os.sched_getaffinity(0))
    os.sched_setaffinity(0, allowed[:n])


def _flush_native_stdout():
    """Flushes C stdio, where the native search writes its progress lines."""
    sys.stdout.flush()
    with contextlib.suppress(Exception):
        ctypes.CDLL(None).fflush(None)


@contextlib.contextmanager
def _stdout_silenced(enabled):
    if not enabled:
        yield
        return
    _flush_native_stdout()
    saved = os.dup(1)
    devnull = os.open(os.devnull, os.O_WRONLY)
    try:
        os.dup2(devnull, 1)
        yield
    finally:
        _flush_native_stdout()
        os.dup2(saved, 1)
        os.close(saved)
        os.close(devnull)


def _lookup_gates(dravik, names):
    gates = []
    for name in names:
        gate = dravik.Gate.from_name(name)
        if gate is None:
            return None, name
        gates.append(gate)
    return gates, None


BUILTIN_GATE_NAMES = ["i", "h", "x", "z", "y", "s", "sdg", "t", "tdg", "cx", "cz", "cy", "cs", "csdg", "swap",
                      "t1/2", "tdg1/2", "rz(pi/3)", "rz(-pi/3)", "rz(pi/5)", "rz(-pi/5)", "rz(pi/16)",
                      "rz(-pi/16)"]


def search_gate_set(gates):
    """The gate set of the search: the given gates plus missing adjoints."""
    out = list(gates)
    for g in [g.adjoint() for g in gates]:
        if g not in out:
            out.append(g)
    return out


def exported_gate_names(multi_classes):
    """Display names of the gates that a Quartz export of the classes uses."""
    names = set()
    for ecc in multi_classes:
        for circ in ecc.circuits():
            names.update(str(instr.gate) for instr in circ)
    return names


def _mib(kib):
    return f"{kib / 1024:.1f} MiB"


def run_generate(args, dravik, out, err):
    start = time.perf_counter()
    gates, unknown = _lookup_gates(dravik, args.gates)
    if gates is None:
        err.write(f"python -m dravik generate: error: unknown gate {unknown!r}; built-in gates: "
                  f"{', '.join(BUILTIN_GATE_NAMES)}\n")
        return EXIT_USAGE

    evaluator = dravik.Evaluator(args.qubits)
    search = dravik.RawECCs.generate_naive if args.naive else dravik.RawECCs.generate
    _flush_native_stdout()
    with _stdout_silenced(args.quiet):
        raw, counters = search(evaluator, gates, args.max_size)
    _flush_native_stdout()
    eccs = raw.simplify()
    del raw
    classes = eccs.to_list()
    sizes = [len(ecc.circuits()) for ecc in classes]
    multi = [ecc for ecc, n in zip(classes, sizes) if n >= 2]
    ncircuits = sum(sizes)

    status = EXIT_OK
    failing = None
    if args.check:
        failing = eccs.check()
        for ecc in failing:
            err.write(f"check failed: {ecc}\n")
        if failing:
            status = EXIT_FAILED

    written = []
    try:
        if args.quartz:
            eccs.dump_quartz(args.quartz)
            written.append(("quartz", args.quartz))
            foreign = sorted(exported_gate_names(multi) - QUARTZ_GATE_NAMES)
            if foreign:
                err.write(f"warning: {args.quartz} uses gate names that Quartz's loader does not know "
                          f"and misreads: {', '.join(foreign)}\n")
        if args.save:
            eccs.dump_postcard(args.save)
            written.append(("saved", args.save))
    except (OSError, ValueError) as exc:
        err.write(f"python -m dravik generate: error: {exc}\n")
        status = EXIT_FAILED

    wall = time.perf_counter() - start
    peak_kib = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
    search_set = search_gate_set(gates)
    rows = [
        ("gates", ", ".join(str(g) for g in search_set)),
        ("qubits", args.qubits),
        ("max size", args.max_size),
        ("search", "naive" if args.naive else "optimized"),
        ("threads", len(os.sched_getaffinity(0))),
        ("classes", len(classes)),
        ("classes >= 2", len(multi)),
        ("circuits", ncircuits),
        ("explored", counters[0]),
        ("evaluated", counters[1]),
        ("insertions", counters[2]),
    ]
    if failing is not None:
        rows.append(("check", f"{len(failing)} failing classes"))
    for label, path in written:
        with contextlib.suppress(OSError):
            rows.append((label, f"{path} ({os.path.getsize(path)} bytes)"))
    rows += [("wall time", f"{wall:.2f} s"), ("peak memory", _mib(peak_kib))]
    out.write("summary:\n")
    for label, value in rows:
        out.write(f"  {label:<13} {value}\n")
    out.flush()
    return status


def main(argv=None):
    parser = build_parser()
    args = parser.parse_args(argv)
    if getattr(args, "threads", None):
        limit_threads(args.threads)
    import dravik  # after parsing, so that --help works without the native module

    if args.command == "generate":
        return run_generate(args, dravik, sys.stdout, sys.stderr)
    parser.error(f"unknown command {args.command!r}")
