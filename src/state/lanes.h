#pragma once
// Two doubles in one register where the target has them (SSE2 on x86-64).
// Each lane gets exactly the scalar operation (no fused multiply-add: the
// build turns contraction off), so lane-wise code is bitwise the same as
// amplitude-by-amplitude code.
#include <cstring>

namespace dravik {

using V2 = double __attribute__((vector_size(16)));

inline V2 load2(const double *p) {
    V2 v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

inline void store2(double *p, V2 v) { std::memcpy(p, &v, sizeof v); }

}  // namespace dravik
