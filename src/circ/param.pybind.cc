#include "binding.pybind.h"
#include "circ/gate.h"
#include "circ/param.h"

namespace dravik::bind {

// Gate.params_f: the symbolic parameters evaluated with `pi` defined.
void bind_gate_params(Class<Gate16> &c) {
    c.property("params_f", "builtins.list[builtins.float]",
               "Numeric parameters evaluated with support for `pi` expressions.", [](Gate16 g) {
                   std::vector<double> out;
                   for (const auto &text : g.params()) {  // copied under the table's read lock
                       NumResult r = evaluate_with_pi(text);
                       if (!r.ok()) throw py::value_error(r.error().text());
                       out.push_back(r.value());
                   }
                   return out;
               });
}

}  // namespace dravik::bind
