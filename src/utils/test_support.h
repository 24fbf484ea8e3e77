#pragma once
// Helpers shared by the C++ test suites (included by *.test.cc only).
#include <cstdint>
#include <string>

#include "circ/instr.h"
#include "utils/error.h"

namespace dravik::test_support {

// The message of the InternalError that `fn` raises, or "" when it raises none.
template <typename F>
std::string internal_error_of(F &&fn) {
    try {
        fn();
    } catch (const InternalError &e) {
        return e.what();
    }
    return "";
}

inline Instr32 h(uint8_t q) { return Instr32(gates::H, q); }
inline Instr32 x(uint8_t q) { return Instr32(gates::X, q); }
inline Instr32 t(uint8_t q) { return Instr32(gates::T, q); }
inline Instr32 cx(uint8_t a, uint8_t b) { return Instr32(gates::CX, a, b); }
inline Instr32 swp(uint8_t a, uint8_t b) { return Instr32(gates::SWAP, a, b); }

}  // namespace dravik::test_support
