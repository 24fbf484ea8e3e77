#include "identity/idcircuit.h"

#include "identity/circuit.pybind.h"
#include "identity/ecc_identities.h"

namespace dravik::bind {

namespace {

int cmp3(const IdentityCirc &a, const IdentityCirc &b) {
    auto r = a <=> b;
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

py::list index_list(const std::vector<std::size_t> &v) {
    py::list out;
    for (auto x : v) out.append(py::int_(x));
    return out;
}

}  // namespace

void bind_identity_circ(py::module_ &m) {
    Class<IdentityCirc> c(m, "IdentityCirc", "Canonical identity circuit (a circuit proven equivalent to identity).",
                          "(circuit)");
    c.init("(self, circuit: Circ)", "Creates an identity circuit and checks it is semantically valid.",
           [](py::object circuit) { return IdentityCirc::verified(to_cls<Circ>(circuit, "circuit", "Circ")); },
           py::arg("circuit"));
    c.property("inner", "Circ", "Underlying circuit representation.", [](const IdentityCirc &x) { return x.circ; });
    c.static_method("from_python", "(obj: typing.Any) -> IdentityCirc", "Parses a Python-serialized identity object.",
                    [](py::object obj) { return IdentityCirc(circ_from_python(obj)); }, py::arg("obj"));
    c.method("pythonize", "(self) -> typing.Any", "Converts this identity to a Python-serializable form.",
             [](const IdentityCirc &x) { return circ_to_python(x.circ); });
    c.method("nqubits", "(self) -> builtins.int", "Returns number of qubits.",
             [](const IdentityCirc &x) { return x.nqubits(); });
    c.method("qargs_forward", "(self, gate_id: builtins.int) -> builtins.list[builtins.int]",
             "For each argument of gate `gate_id`, returns next gate index using that qubit.",
             [](const IdentityCirc &x, py::object g) { return index_list(x.qargs_forward(to_usize(g, "gate_id"))); },
             py::arg("gate_id"));
    c.method("qargs_backward", "(self, gate_id: builtins.int) -> builtins.list[builtins.int]",
             "For each argument of gate `gate_id`, returns previous gate index using that qubit.",
             [](const IdentityCirc &x, py::object g) { return index_list(x.qargs_backward(to_usize(g, "gate_id"))); },
             py::arg("gate_id"));
    c.method("check", "(self) -> builtins.bool", "Randomized semantic check that this circuit is identity.",
             [](const IdentityCirc &x) { return x.check(); });
    c.method("hash_value", "(self) -> builtins.int", "Stable hash of the canonical identity representation.",
             [](const IdentityCirc &x) { return py::int_(x.hash_value()); });
    c.slot("__len__", "(self) -> builtins.int", [](const IdentityCirc &x) { return x.len(); });
    c.slot("__getitem__", "(self, index: builtins.int) -> Instr",
           [](const IdentityCirc &x, py::object i) { return x.at(to_i64(i, "index")); });
    c.slot("__str__", "(self) -> builtins.str", [](const IdentityCirc &x) { return x.text(); });
    c.slot("__repr__", "(self) -> builtins.str", [](const IdentityCirc &x) { return x.debug(); });
    c.slot("__hash__", "(self) -> builtins.int", [](const IdentityCirc &x) { return py_hash(x.hash_value()); });
    full_ordering(c, cmp3);
}

// Called at the end of the ECCs binding.
void bind_eccs_identity(Class<ECCs> &c) {
    c.method("to_identity_circuits", "(self) -> builtins.list[builtins.tuple[IdentityCirc, Circ, Circ]]",
             "Converts classes into canonical identities plus witness circuit pairs.", [](const ECCs &x) {
                 py::list out;
                 for (auto &[id, initial, member] : to_identity_circuits(x))
                     out.append(py::make_tuple(py::cast(std::move(id)), py::cast(std::move(initial)),
                                               py::cast(std::move(member))));
                 return out;
             });
}

}  // namespace dravik::bind
