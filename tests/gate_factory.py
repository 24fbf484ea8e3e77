"""Fresh gates for tests: the gate table identifies gates by matrix, so every
gate made here gets a phase no other gate has."""
import itertools

import numpy as np

import dravik

_counter = itertools.count()


def fresh_gate(name="g", params=(), nqubits=1, base=0.0):
    k = next(_counter)
    theta = 0.5 + base + k * 1e-4 + 1e-6 * np.sqrt(2)
    diag = np.ones(2 ** nqubits, dtype=complex)
    diag[-1] = np.exp(1j * theta)
    return dravik.Gate(name, list(params), np.diag(diag))
