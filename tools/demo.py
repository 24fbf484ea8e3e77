"""End-to-end demonstration run by `make demo` (after the Makefile has
installed the missing packages and built the module).

1. Lists the gate table and defines one custom gate by its matrix.
2. Runs the command line on a real gate set:
     python -m dravik generate --gates h,cx,t,tdg --qubits 3 --max-size 4 --check \
         --quartz out/demo/eccs.json --save out/demo/eccs.bin --quiet
   and shows its summary and the head of the Quartz JSON document.
3. Loads the saved file back.
"""
import os
import pathlib
import subprocess
import sys

import numpy as np

import dravik
from dravik.cli import BUILTIN_GATE_NAMES

ROOT = pathlib.Path(__file__).resolve().parent.parent
OUT = ROOT / "out" / "demo"


def gate_row(g, index):
    return f"{index:>5}  {str(g):<12} {g.nqargs:>5}  {g.adjoint()}"


print("Built-in gates:")
print(f"{'index':>5}  {'name':<12} {'arity':>5}  adjoint")
for index, name in enumerate(BUILTIN_GATE_NAMES):
    print(gate_row(dravik.Gate.from_name(name), index))

# A custom gate: the square root of X, defined by its matrix. Its adjoint is
# new too, so it is appended under the name with a dagger.
sx = dravik.Gate("v", [], np.array([[1 + 1j, 1 - 1j], [1 - 1j, 1 + 1j]]) / 2)
print()
print("Custom gate defined by matrix:")
print(gate_row(sx, len(BUILTIN_GATE_NAMES)))
print(sx.matrix)

OUT.mkdir(parents=True, exist_ok=True)
quartz, save = OUT / "eccs.json", OUT / "eccs.bin"
cmd = [sys.executable, "-m", "dravik", "generate", "--gates", "h,cx,t,tdg", "--qubits", "3",
       "--max-size", "4", "--check", "--quartz", str(quartz.relative_to(ROOT)),
       "--save", str(save.relative_to(ROOT)), "--quiet"]
print()
print("$ python -m dravik " + " ".join(cmd[3:]))
sys.stdout.flush()
path = [os.path.abspath(p) for p in sys.path if p]
result = subprocess.run(cmd, cwd=ROOT, env=dict(os.environ, PYTHONPATH=os.pathsep.join(path)))
if result.returncode != 0:
    sys.exit(result.returncode)

print()
print(f"Head of {quartz.relative_to(ROOT)}:")
text = quartz.read_text()
print(text[:600] + ("..." if len(text) > 600 else ""))

loaded = dravik.ECCs.from_postcard(str(save))
multi = loaded.filter_single()
print()
print(f"Loaded {save.relative_to(ROOT)}: {len(loaded)} classes on {loaded.nqubits} qubits, "
      f"{len(multi)} with two or more circuits. The first of them:")
print(multi.to_list()[0])

identities = multi.to_identity_circuits()
distinct = sorted({ident for ident, _, _ in identities})
print()
print(f"Canonical identity circuits: {len(identities)} from the classes above, {len(distinct)} distinct. "
      "The shortest few:")
for ident in distinct[:5]:
    print(" ", ident)
