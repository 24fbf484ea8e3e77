#!/usr/bin/env python3
"""Lists the C++ sources of one kind below src/ for the Meson build.

Kinds: core (library), test (GoogleTest), perf (Google Benchmark), pybind
(extension module). Files are found by suffix so that adding a source file
needs no build-file edit; `make` reconfigures on every run.
"""
import pathlib
import sys

kind = sys.argv[1]
root = pathlib.Path(__file__).resolve().parent.parent / "src"
special = (".test.cc", ".perf.cc", ".pybind.cc")
out = []
for p in sorted(root.rglob("*.cc")):
    name = p.name
    if kind == "core":
        ok = not name.endswith(special)
    else:
        ok = name.endswith("." + kind + ".cc")
    if ok:
        out.append(str(p))
print("\n".join(out))
