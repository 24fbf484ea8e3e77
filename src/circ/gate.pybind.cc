#include <pybind11/numpy.h>

#include "binding.pybind.h"
#include "circ/gate.h"

namespace dravik::bind {

namespace {
CMatrix matrix_from_python(py::handle obj) {
    auto arr = to_complex_matrix(obj, "matrix");
    auto view = arr.unchecked<2>();  // honours any strides, negative ones included
    auto rows = uint32_t(view.shape(0)), cols = uint32_t(view.shape(1));
    CMatrix m(rows, cols);
    for (uint32_t r = 0; r < rows; ++r)
        for (uint32_t c = 0; c < cols; ++c) m.at(r, c) = view(r, c);
    return m;
}
}  // namespace

// Hooks filled in by the parameter-expression and register-instruction code.
__attribute__((weak)) void bind_gate_extras(Class<Gate16> &c);

void bind_gate(py::module_ &m) {
    Class<Gate16> c(m, "Gate", "Parameterized quantum gate definition used by both search and Python APIs.",
                    "(name, params, matrix)");
    c.init("(self, name: builtins.str, params: typing.Sequence[builtins.str], "
           "matrix: numpy.typing.NDArray[numpy.complex128])",
           "Defines a gate by its unitary matrix; returns the existing gate when the matrix is already known.",
           [](py::object name, py::object params, py::object matrix) {
               auto n = to_str(name, "name");
               auto ps = to_vec<std::string>(params, "params", [](py::handle h) { return to_str(h, "params"); });
               auto mat = matrix_from_python(matrix);
               return Gate16::create(std::move(n), std::move(ps), std::move(mat));
           },
           py::arg("name"), py::arg("params"), py::arg("matrix"));
    c.static_method("from_name", "(name: builtins.str) -> typing.Optional[Gate]",
                    "Looks up a built-in gate by display name.",
                    [](py::object name) { return Gate16::from_name(to_str(name, "name")); }, py::arg("name"));
    c.method("adjoint", "(self) -> Gate", "Returns the adjoint (inverse) gate.", [](Gate16 g) { return g.adjoint(); });
    c.property("name", "builtins.str", "Gate name.", [](Gate16 g) { return g.name(); });
    c.property("params", "builtins.list[builtins.str]", "Symbolic parameter list.", [](Gate16 g) { return g.params(); });
    c.property("matrix", "numpy.typing.NDArray[numpy.complex128]", "Dense unitary matrix.", [](Gate16 g) {
        return g.with_matrix([](const CMatrix &mat) {
            py::array_t<std::complex<double>> out({py::ssize_t(mat.rows), py::ssize_t(mat.cols)});
            auto w = out.mutable_unchecked<2>();
            for (uint32_t r = 0; r < mat.rows; ++r)
                for (uint32_t col = 0; col < mat.cols; ++col) w(r, col) = mat.at(r, col);
            return out;
        });
    });
    c.property("nqargs", "builtins.int", "Number of qubit arguments required by this gate.",
               [](Gate16 g) { return g.nqargs(); });
    equality_only(c);
    c.slot("__hash__", "(self) -> builtins.int", [](Gate16 g) { return py_hash(fixed_hash(g)); });
    c.slot("__str__", "(self) -> builtins.str", [](Gate16 g) { return g.display(); });
    if (bind_gate_extras) bind_gate_extras(c);
}

}  // namespace dravik::bind
