#include <algorithm>

#include "binding.pybind.h"
#include "search/evaluator.h"

namespace dravik::bind {

void bind_evaluator(py::module_ &m) {
    Class<Evaluator> c(m, "Evaluator",
                       "Randomized evaluator used to hash circuits and recover permutation metadata.", "(nqubits)");
    c.init("(self, nqubits: builtins.int)", "Creates a random evaluator for `nqubits`.",
           [](py::object n) {
               // Counts of 32 and more all fail with the state-vector size message.
               return Evaluator::from_random(unsigned(std::min<std::size_t>(to_usize(n, "nqubits"), 32)));
           },
           py::arg("nqubits"));
    c.method("nqubits", "(self) -> builtins.int", "Returns evaluator qubit count.",
             [](const Evaluator &e) { return e.nqubits(); });
    c.method("evaluate",
             "(self, instrs: typing.Sequence[Instr]) -> builtins.tuple[StateVec, builtins.list[builtins.int], "
             "builtins.list[builtins.int], StateVec]",
             "Python wrapper for circuit evaluation.",
             [](const Evaluator &e, py::object instrs) {
                 auto cs = to_vec<Instr32>(instrs, "instrs",
                                           [](py::handle h) { return to_cls<Instr32>(h, "instrs", "Instr"); });
                 auto [canonical, front, back, state] = e.evaluate(cs);
                 return py::make_tuple(std::move(canonical), permut_to_py(front), permut_to_py(back), std::move(state));
             },
             py::arg("instrs"));
    c.method("initial_key", "(self) -> builtins.int", "Hash key for the empty circuit under this evaluator.",
             [](const Evaluator &e) { return e.initial_key(); });
    equality_only(c);
}

}  // namespace dravik::bind
