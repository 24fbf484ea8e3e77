#include "binding.pybind.h"
#include "search/eccs.h"

namespace dravik::bind {

// Filled in by the identity-circuit and file-format code.
__attribute__((weak)) void bind_eccs_identity(Class<ECCs> &c);
__attribute__((weak)) void bind_eccs_io(Class<ECCs> &c);

namespace {
// Neither class can be built from Python. pybind11 still puts a constructor
// slot in each type's dict; drop it so the inherited one reports "No
// constructor defined!" and the class shows no __init__ of its own.
template <typename T>
void no_constructor(Class<T> &c) {
    py::delattr(c.cls(), "__init__");
}

py::list circuits_py(const ECC &e) {
    py::list out;
    for (auto &c : e.circuits()) out.append(py::cast(c));
    return out;
}
}  // namespace

void bind_ecc(py::module_ &m) {
    Class<ECC> c(m, "ECC", "One equivalence class of circuits.");
    no_constructor(c);
    c.method("circuits", "(self) -> builtins.list[builtins.list[Instr]]",
             "Returns all circuits in this class with swap instructions materialized.", circuits_py);
    c.slot("__str__", "(self) -> builtins.str", [](const ECC &e) { return e.text(); });
    equality_only(c);
}

void bind_eccs(py::module_ &m) {
    Class<ECCs> c(m, "ECCs", "Collection of equivalence classes for a fixed number of qubits.");
    no_constructor(c);
    c.property("nqubits", "builtins.int", "Number of qubits of every class.", [](const ECCs &e) { return e.nqubits; });
    c.slot("__len__", "(self) -> builtins.int", [](const ECCs &e) { return e.len(); });
    c.method("to_list", "(self) -> builtins.list[ECC]", "Returns all classes as a Python list.",
             [](const ECCs &e) { return e.eccs; });
    c.method("filter_single", "(self) -> ECCs", "Removes classes with only one circuit.",
             [](const ECCs &e) { return e.filter_single(); });
    c.method("check", "(self) -> builtins.list[ECC]", "Returns classes that fail randomized equivalence checks.",
             [](const ECCs &e) { return e.check(); });
    c.slot("__str__", "(self) -> builtins.str", [](const ECCs &e) { return e.text(); });
    equality_only(c);
    if (bind_eccs_identity) bind_eccs_identity(c);
    if (bind_eccs_io) bind_eccs_io(c);
}

}  // namespace dravik::bind
