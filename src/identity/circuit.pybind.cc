#include "identity/circuit.pybind.h"

#include <array>

#include "identity/idcircuit.h"

namespace dravik::bind {

// ------------------------------------------------------ Python-object form

namespace {

[[noreturn]] void form_error(const char *what, const std::string &message) {
    throw py::value_error("invalid " + std::string(what) + " object: " + message);
}

bool is_mapping(py::handle obj) {
    py::object mapping = py::module_::import("collections.abc").attr("Mapping");
    int r = PyObject_IsInstance(obj.ptr(), mapping.ptr());
    if (r < 0) throw py::error_already_set();
    return r == 1;
}

bool is_sequence(py::handle obj) {
    return PySequence_Check(obj.ptr()) && !PyUnicode_Check(obj.ptr()) && !PyBytes_Check(obj.ptr()) &&
           !is_mapping(obj);
}

std::vector<py::object> sequence_items(py::handle obj, std::size_t n, const char *what, const char *shape) {
    if (!is_sequence(obj)) form_error(what, std::string("expected ") + shape + ", got '" + type_name(obj) + "'");
    auto items = to_items(obj, nullptr);
    if (items.size() != n)
        form_error(what, std::string("expected ") + shape + ", got a sequence of " + std::to_string(items.size()) +
                             " items");
    return items;
}

// The named fields of a mapping, read from its items so that a key given
// twice is noticed; other keys are ignored.
template <std::size_t N>
std::array<py::object, N> read_fields(py::handle obj, const std::array<const char *, N> &names, const char *what) {
    std::array<py::object, N> out;
    py::object items = obj.attr("items")();
    for (py::handle item : py::iter(items)) {
        auto kv = sequence_items(item, 2, what, "a (key, value) item");
        if (!PyUnicode_Check(kv[0].ptr())) continue;
        auto key = kv[0].cast<std::string>();
        for (std::size_t i = 0; i < N; ++i) {
            if (key != names[i]) continue;
            if (out[i]) form_error(what, std::string("duplicate field `") + names[i] + "`");
            out[i] = kv[1];
        }
    }
    for (std::size_t i = 0; i < N; ++i)
        if (!out[i]) form_error(what, std::string("missing field `") + names[i] + "`");
    return out;
}

uint64_t read_uint(py::handle obj, uint64_t max, const char *what, const char *field) {
    if (!PyLong_Check(obj.ptr()) || PyBool_Check(obj.ptr()))
        form_error(what, std::string(field) + " must be an int, got '" + type_name(obj) + "'");
    int overflow = 0;
    long long v = PyLong_AsLongLongAndOverflow(obj.ptr(), &overflow);
    if (v == -1 && PyErr_Occurred()) throw py::error_already_set();
    if (overflow || v < 0 || uint64_t(v) > max)
        form_error(what, std::string(field) + " " + py::str(obj).cast<std::string>() + " is out of range 0.." +
                             std::to_string(max));
    return uint64_t(v);
}

// A packed permutation as every constructor makes it: length at most 8,
// entries a bijection of 0..n-1, unused entries zero.
bool well_formed(Permut32 p) {
    unsigned n = p.len();
    if (n > 8) return false;
    if (n < 8 && (p.raw & 0x00ffffffu) >> (3 * n)) return false;
    unsigned seen = 0;
    for (unsigned i = 0; i < n; ++i) seen |= 1u << p.get(i);
    return seen == (1u << n) - 1;
}

Permut32 permut_from_python(py::handle obj) {
    const char *what = "permutation";
    py::object raw;
    if (is_mapping(obj)) {
        raw = read_fields<1>(obj, {"raw"}, what)[0];
    } else if (is_sequence(obj)) {
        raw = sequence_items(obj, 1, what, "a mapping with the key \"raw\"")[0];
    } else {
        form_error(what, "expected a mapping with the key \"raw\", got '" + type_name(obj) + "'");
    }
    Permut32 p(uint32_t(read_uint(raw, UINT32_MAX, what, "raw")));
    if (!well_formed(p)) form_error(what, "raw value " + std::to_string(p.raw) + " is not a permutation of at most 8 qubits");
    return p;
}

Instr32 instr_from_python(py::handle obj) {
    const char *what = "instruction";
    const char *shape = "a (gate name, (qubit, qubit)) pair";
    auto item = sequence_items(obj, 2, what, shape);
    if (!PyUnicode_Check(item[0].ptr()))
        form_error(what, "the gate name must be a str, got '" + type_name(item[0]) + "'");
    auto qs = sequence_items(item[1], 2, what, "two qubit bytes");
    Instr32 r;
    r.gate = Gate16::deserialize(item[0].cast<std::string>());
    for (int k = 0; k < 2; ++k) r.qargs.q[k] = uint8_t(read_uint(qs[k], 255, what, "qubit"));
    return r;
}

}  // namespace

py::dict circ_to_python(const Circ &c) {
    py::list instrs;
    for (const auto &i : c.instrs)
        instrs.append(py::make_tuple(i.gate.display(), py::make_tuple(int(i.qargs.q[0]), int(i.qargs.q[1]))));
    py::dict perm;
    perm["raw"] = py::int_(c.perm.raw);
    py::dict d;
    d["instrs"] = instrs;
    d["perm"] = perm;
    return d;
}

Circ circ_from_python(py::handle obj) {
    const char *what = "circuit";
    if (!is_mapping(obj)) form_error(what, "expected a mapping, got '" + type_name(obj) + "'");
    auto fields = read_fields<2>(obj, {"instrs", "perm"}, what);
    if (!is_sequence(fields[0])) form_error(what, "field `instrs` must be a sequence, got '" + type_name(fields[0]) + "'");
    std::vector<Instr32> instrs;
    for (auto &h : to_items(fields[0], nullptr)) instrs.push_back(instr_from_python(h));
    return Circ(std::move(instrs), permut_from_python(fields[1]));
}

// ------------------------------------------------------------- Circ class

namespace {

int cmp3(const Circ &a, const Circ &b) {
    auto r = a <=> b;
    return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

}  // namespace

void bind_circ(py::module_ &m) {
    Class<Circ> c(m, "Circ", "Circuit with an explicit trailing qubit permutation.", "(instrs, perm=None)");
    c.init("(self, instrs: typing.Sequence[Instr], perm: typing.Optional[builtins.list[builtins.int]] = None)",
           "Creates a circuit from instructions and an optional permutation.",
           [](py::object instrs, py::object perm) {
               auto is = to_vec<Instr32>(instrs, "instrs", [](py::handle h) { return to_cls<Instr32>(h, "instrs", "Instr"); });
               if (perm.is_none()) return Circ::new_no_perm(std::move(is));
               return Circ::new_(std::move(is), to_permut(perm, "perm"));
           },
           py::arg("instrs"), py::arg("perm") = py::none());
    c.property("instrs", "builtins.list[Instr]", "Instructions in execution order.",
               [](const Circ &x) { return x.instrs; });
    c.property("perm", "builtins.list[builtins.int]", "Trailing qubit permutation.",
               [](const Circ &x) { return permut_to_py(x.perm); });
    c.method("nqubits", "(self) -> builtins.int", "Number of qubits tracked by the permutation.",
             [](const Circ &x) { return x.nqubits(); });
    c.method("len", "(self) -> builtins.int", "Number of instructions.", [](const Circ &x) { return x.len(); });
    c.method("is_empty", "(self) -> builtins.bool", "Returns whether the circuit is empty.",
             [](const Circ &x) { return x.is_empty(); });
    c.method("permut", "(self, perm: builtins.list[builtins.int]) -> Circ", "Applies a qubit permutation to this circuit.",
             [](const Circ &x, py::object perm) { return x.permut(to_permut(perm, "perm")); }, py::arg("perm"));
    c.method("rotate", "(self, n: builtins.int) -> Circ", "Circularly rotates instruction order by `n`.",
             [](const Circ &x, py::object n) { return x.rotate(to_i64(n, "n")); }, py::arg("n"));
    c.method("inverse", "(self) -> Circ", "Returns inverse circuit.", [](const Circ &x) { return x.inverse(); });
    c.method("remove_swaps", "(self) -> Circ", "Removes explicit swap gates into the stored trailing permutation.",
             [](const Circ &x) { return x.remove_swaps(); });
    c.method("representative", "(self) -> Circ", "Returns canonical circuit representative.",
             [](const Circ &x) { return x.representative(); });
    c.method("representative_with_perm", "(self) -> builtins.tuple[Circ, builtins.list[builtins.int]]",
             "Returns `(representative, applied_perm)` used in canonicalization.", [](const Circ &x) {
                 auto [rep, p] = x.representative_with_perm();
                 return py::make_tuple(py::cast(std::move(rep)), permut_to_py(p));
             });
    c.method("rotate_representative", "(self) -> IdentityCirc",
             "Returns canonical identity representative across rotations/permutations.",
             [](const Circ &x) { return x.rotate_representative(); });
    c.method("instrs_with_swaps", "(self) -> builtins.list[Instr]",
             "Returns instructions plus swaps needed for stored permutation.",
             [](const Circ &x) { return x.instrs_with_swaps(); });
    c.slot("__add__", "(self, other: Circ) -> Circ", [](const Circ &x, py::object other) -> py::object {
        if (!py::isinstance<Circ>(other)) return py::reinterpret_borrow<py::object>(Py_NotImplemented);
        return py::cast(x + other.cast<const Circ &>());
    });
    c.slot("__len__", "(self) -> builtins.int", [](const Circ &x) { return x.len(); });
    c.slot("__getitem__", "(self, index: builtins.int) -> Instr",
           [](const Circ &x, py::object i) { return x.at(to_i64(i, "index")); });
    c.slot("__str__", "(self) -> builtins.str", [](const Circ &x) { return x.text(); });
    c.slot("__repr__", "(self) -> builtins.str", [](const Circ &x) { return x.debug(); });
    c.slot("__hash__", "(self) -> builtins.int", [](const Circ &x) { return py_hash(x.hash_value()); });
    full_ordering(c, cmp3);
}

}  // namespace dravik::bind
