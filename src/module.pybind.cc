// Module entry: creates `dravik.dravik` and registers the classes in their
// fixed order. Each class lives in its own *.pybind.cc file and provides a
// bind_* function; the order here is the order of `__all__`.
#include <pybind11/pybind11.h>

#include <new>
#include <stdexcept>

#include "binding.pybind.h"
#include "utils/error.h"

namespace py = pybind11;

namespace dravik::bind {
// Weak so the module builds while a class is still being written; every
// class of the finished module provides its function.
#define DRAVIK_BINDER(fn) __attribute__((weak)) void fn(py::module_ &m);
DRAVIK_BINDER(bind_argument)
DRAVIK_BINDER(bind_instruction)
DRAVIK_BINDER(bind_gate)
DRAVIK_BINDER(bind_instr)
DRAVIK_BINDER(bind_statevec)
DRAVIK_BINDER(bind_ecc)
DRAVIK_BINDER(bind_eccs)
DRAVIK_BINDER(bind_raw_eccs)
DRAVIK_BINDER(bind_evaluator)
DRAVIK_BINDER(bind_circ)
DRAVIK_BINDER(bind_identity_circ)
DRAVIK_BINDER(bind_identity_prover)
DRAVIK_BINDER(bind_proof)
DRAVIK_BINDER(bind_stub_extras)
#undef DRAVIK_BINDER
}  // namespace dravik::bind

PYBIND11_MODULE(dravik, m) {
    using namespace dravik::bind;
    py::options options;
    options.disable_function_signatures();

    m.doc() =
        "Python extension module entrypoint.\n\n"
        "Registers the native classes of dravik (gates, instructions, state vectors, evaluators, "
        "ECC collections, circuits, identities, the prover and proofs); the Python package "
        "`python/dravik/__init__` re-exports and wraps them.";
    m.attr("__all__") = py::list();

    static py::exception<dravik::InternalError> internal_error(m, "InternalError", PyExc_BaseException);
    py::setattr(internal_error, "__doc__", py::str("A failed internal consistency check."));
    py::register_exception_translator([](std::exception_ptr p) {
        try {
            if (p) std::rethrow_exception(p);
        } catch (const dravik::InternalError &e) {
            PyErr_SetString(internal_error.ptr(), e.what());
        } catch (const py::error_already_set &) {
            throw;
        } catch (const py::builtin_exception &) {
            throw;
        } catch (const std::bad_alloc &) {
            throw;
        } catch (const std::exception &e) {
            // Anything else escaping the core is a broken invariant too.
            PyErr_SetString(internal_error.ptr(), e.what());
        }
    });

    for (auto fn : {bind_argument, bind_instruction, bind_gate, bind_instr, bind_statevec, bind_ecc, bind_eccs,
                    bind_raw_eccs, bind_evaluator, bind_circ, bind_identity_circ, bind_identity_prover, bind_proof,
                    bind_stub_extras})
        if (fn) fn(m);

    // Type-stub text for tools/gen_stub.py; not part of the public interface.
    m.attr("_stub_text") = py::str(render_stub());
}
