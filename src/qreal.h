#pragma once
// Qreal: a double that compares, orders and hashes on a 2^-24 grid, so values
// that differ only in their last bits after different operation orders still
// compare equal. Arithmetic is plain double arithmetic.
#include <cmath>
#include <cstdint>
#include <string>

#include "utils/siphash.h"

namespace dravik {

// Saturating conversion of an already integral double to i64 (NaN -> 0).
inline int64_t saturate_i64(double r) {
    if (std::isnan(r)) return 0;
    if (r < -9223372036854775808.0) return INT64_MIN;
    if (r >= 9223372036854775808.0) return INT64_MAX;
    return static_cast<int64_t>(r);
}

inline uint64_t percision_repr(double x) {
    return static_cast<uint64_t>(saturate_i64(std::round(x * 16777216.0)));
}

inline bool near_zero(double x) { return std::fabs(x) < 5.960464477539063e-08; }

inline bool loose_eq(double a, double b) {
    return saturate_i64(std::trunc(a * 256.0)) == saturate_i64(std::trunc(b * 256.0));
}

// Shortest round-trip decimal text in positional notation. With `sign`,
// non-negative values get a leading '+'.
std::string qreal_text(double x, bool sign = false);

struct Qreal {
    double v = 0.0;

    Qreal() = default;
    constexpr Qreal(double value) : v(value) {}
    constexpr operator double() const { return v; }

    uint64_t repr() const { return percision_repr(v); }
    void hash_feed(SipHasher13 &h) const { h.write_u64(repr()); }
};

inline bool qreal_eq(double a, double b) { return percision_repr(a) == percision_repr(b); }
// -1 / 0 / 1 by the unsigned order of the grid representation.
inline int qreal_cmp(double a, double b) {
    uint64_t x = percision_repr(a), y = percision_repr(b);
    return x < y ? -1 : (x > y ? 1 : 0);
}

}  // namespace dravik
