"""End-to-end demonstration run by `make demo`."""
import numpy as np

import dravik

print("Built-in gates:")
print(f"{'index':>5}  {'name':<10} {'arity':>5}  adjoint")
for idx in range(23):
    pass
g = dravik.Gate.from_name("h")
print(g)
