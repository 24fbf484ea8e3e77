#pragma once
// grid_repr(x) == percision_repr(x) for every double, without the library
// call behind std::round: amplitude hashing, ordering and qubit keys spend
// most of their time here.
#include <cstdint>

#include "qreal.h"

namespace dravik {

inline uint64_t grid_repr(double x) {
    const double y = x * 16777216.0;
    // Below 2^62 in magnitude the truncating conversion is exact and cannot
    // overflow; y - t is exact too, so halves round away from zero as in
    // std::round. Everything else (huge values, infinities, NaN) takes the
    // saturating path.
    if (y > -4611686018427387904.0 && y < 4611686018427387904.0) {
        const int64_t t = static_cast<int64_t>(y);
        const double frac = y - static_cast<double>(t);
        return static_cast<uint64_t>(t + int64_t(frac >= 0.5) - int64_t(frac <= -0.5));
    }
    return percision_repr(x);
}

inline int grid_cmp(double a, double b) {
    uint64_t x = grid_repr(a), y = grid_repr(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

}  // namespace dravik
