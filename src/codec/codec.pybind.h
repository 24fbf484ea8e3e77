#pragma once
// Python face of file and format errors of the encoding layer: FileError
// becomes OSError, FormatError becomes ValueError, both with their message.
#include <pybind11/pybind11.h>

#include "codec/codec.h"

namespace dravik::bind {

template <typename F>
decltype(auto) with_file_errors(F &&fn) {
    try {
        return fn();
    } catch (const codec::FileError &e) {
        PyErr_SetString(PyExc_OSError, e.what());
        throw pybind11::error_already_set();
    } catch (const codec::FormatError &e) {
        throw pybind11::value_error(e.what());
    }
}

}  // namespace dravik::bind
