#include "circ/instruction.h"

#include "binding.pybind.h"
#include "circ/instr.h"

namespace dravik::bind {

void bind_gate_params(Class<Gate16> &c);

namespace {

const char *const ARG_UNION = "failed to convert the value to 'Union[Argument, Tuple[str, int]]'";
const char *const CALL_UNION = "failed to convert the value to 'Union[Sequence[int], Sequence[Argument]]'";
const std::string ARG_ITEM = "typing.Union[Argument, typing.Tuple[builtins.str, builtins.int]]";

// An Argument object (copied), or a ("q", 0) tuple.
Argument argument_or_tuple(py::handle h, const char *param) {
    if (py::isinstance<Argument>(h)) return h.cast<const Argument &>();
    if (PyTuple_Check(h.ptr()) && PyTuple_GET_SIZE(h.ptr()) == 2) {
        py::handle regid = PyTuple_GET_ITEM(h.ptr(), 0), index = PyTuple_GET_ITEM(h.ptr(), 1);
        if (PyUnicode_Check(regid.ptr())) {
            try {
                std::size_t i = to_usize(index, param);
                return Argument{to_str(regid, param), i};
            } catch (const py::error_already_set &) {
            } catch (const py::type_error &) {
            }
        }
    }
    type_error(param, ARG_UNION);
}

std::vector<Argument> argument_list(py::handle obj, const char *param) {
    return to_vec<Argument>(obj, param, [param](py::handle h) { return argument_or_tuple(h, param); });
}

// Setters take Argument objects only.
std::vector<Argument> argument_objects(py::handle obj, const char *param) {
    return to_vec<Argument>(obj, param, [param](py::handle h) { return to_cls<Argument>(h, param, "Argument"); });
}

template <typename F>
bool try_convert(F &&f) {
    try {
        f();
        return true;
    } catch (const py::error_already_set &e) {
        if (!e.matches(PyExc_TypeError) && !e.matches(PyExc_OverflowError)) throw;
    } catch (const py::type_error &) {
    }
    return false;
}

// g(*args): integers bind a compact Instr, Argument values an Instruction
// whose first nqargs arguments are quantum and the rest classical.
py::object call_gate(Gate16 g, const py::args &args) {
    std::vector<uint8_t> qubits;
    if (try_convert([&] { qubits = to_vec<uint8_t>(args, "args", [](py::handle h) { return to_u8(h, "args"); }); })) {
        if (qubits.size() != g.nqargs()) fail("Number of arguments not match for gate " + g.display());
        return py::cast(Instr32(g, QArgs16::from_values(qubits)));
    }
    std::vector<Argument> regs;
    if (try_convert([&] { regs = argument_objects(args, "args"); })) {
        std::size_t nq = g.nqargs();
        if (regs.size() < nq) fail_index(nq, regs.size());
        Instruction ins{g, {regs.begin(), regs.begin() + std::ptrdiff_t(nq)}, {regs.begin() + std::ptrdiff_t(nq), regs.end()}};
        return py::cast(std::move(ins));
    }
    type_error("args", CALL_UNION);
}

}  // namespace

void bind_argument(py::module_ &m) {
    Class<Argument> c(m, "Argument", "A named register argument (e.g., `q[0]`, `c[2]`) used by high-level instructions.",
                      "(regid, index)");
    c.init("(self, regid: builtins.str, index: builtins.int)", "Creates a register argument like `(\"q\", 0)`.",
           [](py::object regid, py::object index) {
               auto r = to_str(regid, "regid");
               return Argument{std::move(r), to_usize(index, "index")};
           },
           py::arg("regid"), py::arg("index"));
    c.property_rw(
        "regid", "builtins.str", "", [](const Argument &a) { return a.regid; },
        [](Argument &a, py::object v) { a.regid = to_str(v, "regid"); });
    c.property_rw(
        "index", "builtins.int", "", [](const Argument &a) { return a.index; },
        [](Argument &a, py::object v) { a.index = to_usize(v, "index"); });
    equality_only(c);
    c.slot("__hash__", "(self) -> builtins.int", [](const Argument &a) { return py_hash(fixed_hash(a)); });
    c.slot("__str__", "(self) -> builtins.str", [](const Argument &a) { return a.text(); });
    c.slot("__repr__", "(self) -> builtins.str", [](const Argument &a) { return a.repr(); });
}

void bind_instruction(py::module_ &m) {
    Class<Instruction> c(m, "Instruction",
                         "A high-level instruction with gate + explicit quantum/classical register arguments.",
                         "(gate, qargs, cargs=...)");
    c.init("(self, gate: Gate, qargs: typing.Sequence[" + ARG_ITEM + "], cargs: typing.Sequence[" + ARG_ITEM +
               "] = ...)",
           "Creates a high-level instruction with explicit quantum/classical arguments.",
           [](py::object gate, py::object qargs, py::object cargs) {
               Gate16 g = to_cls<Gate16>(gate, "gate", "Gate");
               auto qs = argument_list(qargs, "qargs");
               auto cs = argument_list(cargs, "cargs");
               return Instruction{g, std::move(qs), std::move(cs)};
           },
           py::arg("gate"), py::arg("qargs"), py::arg("cargs") = py::tuple());
    c.property_rw(
        "gate", "Gate", "", [](const Instruction &i) { return i.gate; },
        [](Instruction &i, py::object v) { i.gate = to_cls<Gate16>(v, "gate", "Gate"); });
    c.property_rw(
        "qargs", "builtins.list[Argument]", "", [](const Instruction &i) { return i.qargs; },
        [](Instruction &i, py::object v) { i.qargs = argument_objects(v, "qargs"); });
    c.property_rw(
        "cargs", "builtins.list[Argument]", "", [](const Instruction &i) { return i.cargs; },
        [](Instruction &i, py::object v) { i.cargs = argument_objects(v, "cargs"); });
    equality_only(c);
    c.slot("__hash__", "(self) -> builtins.int", [](const Instruction &i) { return py_hash(fixed_hash(i)); });
    c.slot("__str__", "(self) -> builtins.str", [](const Instruction &i) { return i.text(); });
    c.slot("__repr__", "(self) -> builtins.str", [](const Instruction &i) { return i.repr(); });
}

// Gate members that need the parameter evaluator and the instruction types.
void bind_gate_extras(Class<Gate16> &c) {
    bind_gate_params(c);
    c.method("__call__",
             "(self, *args: typing.Union[typing.Sequence[builtins.int], typing.Sequence[Argument]]) -> "
             "typing.Union[Instr, Instruction]",
             "Binds arguments and returns either compact `Instr` (integer qargs)\n"
             "or high-level `Instruction` (register-style args).",
             [](Gate16 g, py::args args) { return call_gate(g, args); });
}

}  // namespace dravik::bind
