#include "binding.pybind.h"
#include "circ/instr.h"

namespace dravik::bind {

void bind_instr(py::module_ &m) {
    Class<Instr32> c(m, "Instr", "A compact, index-only quantum instruction used internally by the search/prover.",
                     "(gate, qargs)");
    c.init("(self, gate: Gate, qargs: typing.Sequence[builtins.int])",
           "Creates a compact instruction; the number of qubits must match the gate's arity.",
           [](py::object gate, py::object qargs) {
               Gate16 g = to_cls<Gate16>(gate, "gate", "Gate");
               auto qs = to_vec<uint8_t>(qargs, "qargs", [](py::handle h) { return to_u8(h, "qargs"); });
               if (qs.size() != g.nqargs()) fail("Number of qubit arguments does not match gate arity");
               if (qs.size() == 2 && qs[0] == qs[1]) fail("Qubit arguments must be unique");
               return Instr32(g, QArgs16::from_values(qs));
           },
           py::arg("gate"), py::arg("qargs"));
    c.property("gate", "Gate", "Underlying gate.", [](const Instr32 &i) { return i.gate; });
    c.property("qargs", "builtins.list[builtins.int]", "Qubit arguments as dense integer indices.",
               [](const Instr32 &i) {
                   return py::bytes(reinterpret_cast<const char *>(i.qargs.q), i.nargs());
               });
    const std::string perm_sig = "(self, perm: builtins.list[builtins.int]) -> Instr";
    auto apply = [](const Instr32 &i, py::object perm) { return i.apply_permutation(to_permut(perm, "perm")); };
    c.method("apply_permutation", perm_sig, "Applies a qubit permutation.", apply, py::arg("perm"));
    c.method("permut", perm_sig, "Alias of `apply_permutation`.", apply, py::arg("perm"));
    c.method("arg_mask", "(self) -> builtins.int", "Bitmask of qubits touched by this instruction.",
             [](const Instr32 &i) { return i.arg_mask(); });
    c.method("pass_mask", "(self, mask: builtins.int) -> typing.Optional[builtins.int]",
             "Updates a frontier mask for left-to-right scheduling checks.",
             [](const Instr32 &i, py::object mask) { return i.pass_mask(to_u8(mask, "mask")); }, py::arg("mask"));
    c.method("largest_qubit", "(self) -> builtins.int", "Largest qubit index touched by this instruction.",
             [](const Instr32 &i) { return i.largest_qubit(); });
    c.method("disjoint", "(self, other: Instr) -> builtins.bool",
             "Returns `true` when this and `other` touch disjoint qubits.",
             [](const Instr32 &i, py::object other) { return i.disjoint(to_cls<Instr32>(other, "other", "Instr")); },
             py::arg("other"));
    c.method("adjoint", "(self) -> Instr", "Returns the adjoint instruction.",
             [](const Instr32 &i) { return i.adjoint(); });
    c.method("position_of_qubit", "(self, qubit: builtins.int) -> typing.Optional[builtins.int]",
             "Returns position of `qubit` in argument list, if present.",
             [](const Instr32 &i, py::object q) { return i.position_of_qubit(to_u8(q, "qubit")); },
             py::arg("qubit"));
    c.slot("__hash__", "(self) -> builtins.int", [](const Instr32 &i) { return py_hash(fixed_hash(i)); });
    c.slot("__str__", "(self) -> builtins.str", [](const Instr32 &i) { return i.text(); });
    c.slot("__repr__", "(self) -> builtins.str", [](const Instr32 &i) { return i.text(); });
}

}  // namespace dravik::bind
