#!/usr/bin/env python3
"""Writes python/dravik/dravik.pyi from the stub text the compiled module
carries (the same declarations that define its docstrings).

Usage: PYTHONPATH=build/python /usr/bin/python3 tools/gen_stub.py [--check]
"""
import pathlib
import sys

import dravik.dravik as native

target = pathlib.Path(__file__).resolve().parent.parent / "python" / "dravik" / "dravik.pyi"
text = native._stub_text
if "--check" in sys.argv:
    if target.read_text() != text:
        sys.exit(f"{target} is out of date: run tools/gen_stub.py")
else:
    target.write_text(text)
