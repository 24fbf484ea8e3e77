#include <algorithm>
#include <string>

#include "binding.pybind.h"
#include "state/statevec.h"
#include "utils/error.h"

namespace dravik::bind {

namespace {

const char *NORMALIZE_DOC =
    "Normalizes the state vector in place.\n\n"
    "Normalization ensures two conditions:\n"
    "1. Amplitude Normalization: The sum of the squares of the absolute values of\n"
    "   the complex amplitudes is 1 (i.e., `sum(|psi_i|^2) = 1`).\n"
    "2. Phase Normalization: The first non-zero element of the state vector\n"
    "   is made real and positive.\n\n"
    "If the vector is effectively all zeros initially (all amplitudes are very close to zero),\n"
    "it is normalized to the |0...0> state (i.e., the first element becomes 1.0 + 0.0i,\n"
    "and all other elements become 0.0 + 0.0i).\n"
    "If the vector has zero length, this function does nothing.";

// OrderInfo exists only in the type metadata: no Python type is created.
const char *ORDER_INFO_STUB =
    "class OrderInfo:\n"
    "    \"\"\"Ordering/equality-class information for qubit symmetry handling.\"\"\"\n"
    "\n"
    "    def __init__(self, size: builtins.int) -> None:\n"
    "        \"\"\"Creates a single-class ordering of `size` qubits.\"\"\"\n"
    "\n"
    "    def n_eqclasses(self) -> builtins.int:\n"
    "        \"\"\"Number of current equality classes.\"\"\"\n"
    "\n"
    "    def has_eq(self) -> builtins.bool:\n"
    "        \"\"\"Returns true if any equality class has size > 1.\"\"\"\n"
    "\n"
    "    def first_eqclass(self) -> typing.Optional[builtins.int]:\n"
    "        \"\"\"Index of first non-trivial equality class.\"\"\"\n"
    "\n"
    "    def first_eqclass_after(self, idx: builtins.int) -> typing.Optional[builtins.int]:\n"
    "        \"\"\"Index of first non-trivial equality class at/after `idx`.\"\"\"\n"
    "\n"
    "    def as_bits(self) -> builtins.tuple[builtins.list[builtins.int], builtins.int]:\n"
    "        \"\"\"Returns canonical permutation and equality bitmask.\"\"\"";

unsigned qubit_count(py::handle obj, const char *param) {
    // Counts of 32 and more all fail with the size message of the constructors.
    return unsigned(std::min<std::size_t>(to_usize(obj, param), 32));
}

std::vector<double> floats(py::handle obj, const char *param) {
    return to_vec<double>(obj, param, [param](py::handle h) { return to_f64(h, param); });
}

std::complex<double> to_complex(py::handle obj, const char *param) {
    Py_complex z = PyComplex_AsCComplex(obj.ptr());
    if (z.real == -1.0 && PyErr_Occurred()) {
        PyErr_Clear();
        type_error(param, "'" + type_name(obj) + "' object cannot be converted to 'complex'");
    }
    return {z.real, z.imag};
}

}  // namespace

void bind_statevec(py::module_ &m) {
    Class<StateVec> c(m, "StateVec", "Complex state vector used for randomized circuit evaluation.", "(re, im)");
    c.init("(self, re: typing.Sequence[builtins.float], im: typing.Sequence[builtins.float])",
           "Creates a state vector from real/imaginary coefficient arrays.",
           [](py::object re, py::object im) {
               auto r = floats(re, "re");
               auto i = floats(im, "im");
               if (r.size() != i.size())
                   fail("assertion `left == right` failed: Real and imaginary parts must have the same length\n  left: " +
                        std::to_string(r.size()) + "\n right: " + std::to_string(i.size()));
               if (r.empty() || (r.size() & (r.size() - 1)) != 0) fail("Length must be a power of 2");
               return StateVec(std::move(r), std::move(i));
           },
           py::arg("re"), py::arg("im"));
    c.method("hash_value", "(self) -> builtins.int", "Hashes the current normalized state.",
             [](const StateVec &v) { return v.hash_value(); });
    c.static_method("random", "(num_qubits: builtins.int) -> StateVec", "Creates a random normalized state.",
                    [](py::object n) {
                        auto rng = ChaCha12Rng::from_entropy();
                        return StateVec::from_random(rng, qubit_count(n, "num_qubits"));
                    },
                    py::arg("num_qubits"));
    c.static_method("random_symmetric", "(num_qubits: builtins.int) -> StateVec",
                    "Creates a random state tailored for symmetry-aware evaluator use.",
                    [](py::object n) {
                        auto rng = ChaCha12Rng::from_entropy();
                        return StateVec::from_random_symmetric(rng, qubit_count(n, "num_qubits"));
                    },
                    py::arg("num_qubits"));
    c.method("nqubits", "(self) -> builtins.int", "Returns qubit count.", [](const StateVec &v) { return v.nqubits(); });
    c.method("len", "(self) -> builtins.int", "Returns vector length (`2^nqubits`).",
             [](const StateVec &v) { return v.len(); });
    c.method("normalize", "(self) -> None", NORMALIZE_DOC, [](StateVec &v) { v.normalize(); });
    c.method("normalize_arg", "(self) -> None", "Canonicalizes global phase for stable equality/hash comparison.",
             [](StateVec &v) { v.normalize_arg(); });
    c.method("clone", "(self) -> StateVec", "Returns a deep copy.", [](const StateVec &v) { return v.clone(); });
    c.method("check", "(self) -> builtins.bool", "Checks unit-norm invariant.", [](const StateVec &v) { return v.check(); });
    c.method("__getitem__", "(self, index: builtins.int) -> builtins.complex", "Returns one amplitude as Python `complex`.",
             [](const StateVec &v, py::object index) { return v.at(to_usize(index, "index")); }, py::arg("index"));
    c.method("__setitem__", "(self, index: builtins.int, value: builtins.complex) -> None",
             "Sets one amplitude from Python `complex`.",
             [](StateVec &v, py::object index, py::object value) {
                 std::size_t i = to_usize(index, "index");
                 v.set(i, to_complex(value, "value"));
             },
             py::arg("index"), py::arg("value"));
    c.slot("__delitem__", "(self, index: builtins.int) -> None", [](StateVec &, py::object) {
        PyErr_SetString(PyExc_NotImplementedError, "can't delete item");
        throw py::error_already_set();
    });
    c.method("__imul__", "(self, instr: Instr) -> StateVec", "In-place application of one instruction.",
             [](py::object self, py::object other) -> py::object {
                 if (!py::isinstance<Instr32>(other)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
                 self.cast<StateVec &>().apply(other.cast<const Instr32 &>());
                 return self;
             },
             py::arg("instr"));
    c.slot("__str__", "(self) -> builtins.str", [](const StateVec &v) { return v.text(); });
    equality_only(c);

    stub_extra().push_back(ORDER_INFO_STUB);
}

}  // namespace dravik::bind
