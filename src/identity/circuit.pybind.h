#pragma once
// The Python-object form of circuits, shared by Circ and IdentityCirc:
// {"instrs": [("cx", (0, 1)), ...], "perm": {"raw": <int>}}.
#include "binding.pybind.h"
#include "identity/circuit.h"

namespace dravik::bind {

py::dict circ_to_python(const Circ &c);
// Reads any mapping with the keys "instrs" and "perm" (others ignored). A
// missing or repeated key, or a value of the wrong shape, raises ValueError
// naming the field; the circuit itself is not validated.
Circ circ_from_python(py::handle obj);

}  // namespace dravik::bind
