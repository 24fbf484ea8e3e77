#include "binding.pybind.h"
#include "search/raw_eccs.h"

namespace dravik::bind {

namespace {
using SearchFn = std::pair<RawECCs, SearchCounters> (*)(const Evaluator &, std::span<const Instr32>, std::size_t);
using GenerateFn = std::pair<RawECCs, SearchCounters> (*)(const Evaluator &, std::vector<Gate16>, std::size_t);

py::tuple result_py(std::pair<RawECCs, SearchCounters> r) {
    py::list counters;
    for (uint64_t n : r.second) counters.append(n);
    return py::make_tuple(py::cast(std::move(r.first)), counters);
}

auto search_py(SearchFn fn) {
    return [fn](py::object evaluator, py::object instrs, py::object max_size) {
        const Evaluator &ev = to_cls<Evaluator>(evaluator, "evaluator", "Evaluator");
        auto v = to_vec<Instr32>(instrs, "instrs", [](py::handle h) { return to_cls<Instr32>(h, "instrs", "Instr"); });
        std::size_t n = to_usize(max_size, "max_size");
        return result_py(fn(ev, v, n));
    };
}

auto generate_py(GenerateFn fn) {
    return [fn](py::object evaluator, py::object gates, py::object max_size) {
        const Evaluator &ev = to_cls<Evaluator>(evaluator, "evaluator", "Evaluator");
        auto v = to_vec<Gate16>(gates, "gates", [](py::handle h) { return to_cls<Gate16>(h, "gates", "Gate"); });
        std::size_t n = to_usize(max_size, "max_size");
        return result_py(fn(ev, std::move(v), n));
    };
}
}  // namespace

void bind_raw_eccs(py::module_ &m) {
    Class<RawECCs> c(m, "RawECCs",
                     "Mutable ECC map keyed by evaluator hash.\n\n"
                     "This is the direct output of the search algorithm before final simplification.",
                     "(evaluator)");
    c.init("(self, evaluator: Evaluator)", "Initializes the raw map with the empty circuit class.",
           [](py::object evaluator) { return RawECCs(to_cls<Evaluator>(evaluator, "evaluator", "Evaluator")); },
           py::arg("evaluator"));
    const std::string search_sig =
        "(evaluator: Evaluator, instrs: typing.Sequence[Instr], max_size: builtins.int) -> "
        "builtins.tuple[RawECCs, builtins.list[builtins.int]]";
    const std::string generate_sig =
        "(evaluator: Evaluator, gates: typing.Sequence[Gate], max_size: builtins.int) -> "
        "builtins.tuple[RawECCs, builtins.list[builtins.int]]";
    c.static_method("search", search_sig, "Optimized search using permutation-equivalent placements per circuit.",
                    search_py(&RawECCs::search), py::arg("evaluator"), py::arg("instrs"), py::arg("max_size"));
    c.static_method("search_naive", search_sig,
                    "Exhaustive baseline search without permutation-based multiplicity reduction.",
                    search_py(&RawECCs::search_naive), py::arg("evaluator"), py::arg("instrs"), py::arg("max_size"));
    c.static_method("generate", generate_sig,
                    "Generates ECCs from a gate set using the optimized search.\n\n"
                    "Adjoint gates are added automatically if missing.",
                    generate_py(&RawECCs::generate), py::arg("evaluator"), py::arg("gates"), py::arg("max_size"));
    c.static_method("generate_naive", generate_sig, "Generates ECCs from a gate set using the naive search.",
                    generate_py(&RawECCs::generate_naive), py::arg("evaluator"), py::arg("gates"),
                    py::arg("max_size"));
    c.method("simplify", "(self) -> ECCs", "Converts raw buckets into sorted, normalized ECCs.",
             [](const RawECCs &r) { return r.simplify(); });
}

}  // namespace dravik::bind
