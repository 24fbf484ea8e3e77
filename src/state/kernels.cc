#include "state/kernels.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <string>

#include "state/lanes.h"
#include "state/statevec.h"
#include "utils/error.h"

namespace dravik {

std::array<std::size_t, 8> matrix_offsets(const uint8_t *qubits, unsigned k) {
    std::array<std::size_t, 8> off{};
    for (unsigned m = 0; m < (1u << k); ++m) {
        std::size_t o = 0;
        for (unsigned j = 0; j < k; ++j)
            if (m >> (k - 1 - j) & 1) o |= std::size_t(1) << qubits[j];
        off[m] = o;
    }
    return off;
}

namespace {
void sorted_positions(const uint8_t *qubits, unsigned k, uint8_t *out) {
    std::copy(qubits, qubits + k, out);
    std::sort(out, out + k);
}
}  // namespace

std::array<std::size_t, 8> qubit_matrix_indices(std::size_t i, const uint8_t *qubits, unsigned k) {
    uint8_t sorted[3];
    sorted_positions(qubits, k, sorted);
    std::size_t b = base_index(i, sorted, k);
    auto off = matrix_offsets(qubits, k);
    for (unsigned m = 0; m < (1u << k); ++m) off[m] += b;
    return off;
}

[[noreturn]] void report_bad_qubits(const StateVec &state, const uint8_t *qubits, unsigned k) {
    const std::size_t n = state.len();
    // The index list of the first base (base 0), in matrix order: its first
    // entry at or beyond the length is the one reported.
    for (unsigned m = 1; m < (1u << k); ++m) {
        std::size_t idx = 0;
        for (unsigned j = 0; j < k; ++j) {
            if (!(m >> (k - 1 - j) & 1)) continue;
            if (qubits[j] >= 64)
                fail("index out of bounds: qubit " + std::to_string(qubits[j]) + " does not exist in a state of length " +
                     std::to_string(n));
            idx |= std::size_t(1) << qubits[j];
        }
        check_index(idx, n);
    }
    fail("Qubit arguments must be unique");
}

void check_qubits(const StateVec &state, const uint8_t *qubits, unsigned k) {
    if (k == 1) {  // the common case, kept short
        if (qubits[0] >= 64 || (std::size_t(1) << qubits[0]) >= state.len()) report_bad_qubits(state, qubits, k);
        return;
    }
    const std::size_t n = state.len();
    bool ok = true;
    std::size_t seen = 0;
    for (unsigned j = 0; j < k; ++j) {
        const std::size_t bit = qubits[j] < 64 ? std::size_t(1) << qubits[j] : 0;
        ok = ok && bit != 0 && bit < n && !(seen & bit);
        seen |= bit;
    }
    if (!ok) report_bad_qubits(state, qubits, k);
}

namespace {

inline void check_arity(unsigned k, unsigned want) {
    if (k != want)
        fail("Gate kernel expects " + std::to_string(want) + " qubit argument" + (want == 1 ? "" : "s") + ", got " +
             std::to_string(k));
}

// Runs f(x0, y0, x1, y1) for every pair of amplitudes that differ in bit q
// only (x0, y0 at the index with the bit clear), with T = double or V2;
// f updates its arguments in place. With `both` false f only changes x1, y1.
// Pairs are independent, so the order they are visited in does not matter.
template <bool both, typename F>
inline void single_qubit(StateVec &state, const uint8_t *qubits, unsigned k, F f) {
    check_arity(k, 1);
    check_qubits_fast(state, state.len(), qubits, 1);
    double *re = state.re.data(), *im = state.im.data();
    const std::size_t n = state.len(), step = std::size_t(1) << qubits[0];
    if (step == 1) {
        for (std::size_t i0 = 0; i0 < n; i0 += 2) {
            double x0 = re[i0], y0 = im[i0], x1 = re[i0 + 1], y1 = im[i0 + 1];
            f(x0, y0, x1, y1);
            if (both) re[i0] = x0, im[i0] = y0;
            re[i0 + 1] = x1, im[i0 + 1] = y1;
        }
        return;
    }
    // Runs of `step` consecutive pairs, two at a time.
    for (std::size_t b = 0; b < n; b += 2 * step)
        for (std::size_t i0 = b, e = b + step; i0 < e; i0 += 2) {
            const std::size_t i1 = i0 + step;
            V2 x0 = load2(re + i0), y0 = load2(im + i0), x1 = load2(re + i1), y1 = load2(im + i1);
            f(x0, y0, x1, y1);
            if (both) store2(re + i0, x0), store2(im + i0, y0);
            store2(re + i1, x1), store2(im + i1, y1);
        }
}

// Runs f(re, im, b, off) for every base b of a two-qubit gate; off holds the
// index-list offsets (0, 2^q1, 2^q0, 2^q0 + 2^q1).
template <typename F>
inline void two_qubit(StateVec &state, const uint8_t *qubits, unsigned k, F f) {
    check_arity(k, 2);
    check_qubits_fast(state, state.len(), qubits, 2);
    double *re = state.re.data(), *im = state.im.data();
    const unsigned lo = std::min(qubits[0], qubits[1]), hi = std::max(qubits[0], qubits[1]);
    const std::size_t quarter = state.len() >> 2, mlo = (std::size_t(1) << lo) - 1, mhi = (std::size_t(1) << hi) - 1;
    const std::size_t s0 = std::size_t(1) << qubits[0], s1 = std::size_t(1) << qubits[1];
    // Bases in increasing order: insert_bit at the lower position, then the higher.
    for (std::size_t i = 0; i < quarter; ++i) {
        const std::size_t a = ((i & ~mlo) << 1) | (i & mlo);
        const std::size_t b = ((a & ~mhi) << 1) | (a & mhi);
        f(re, im, b, s0, s1);
    }
}

// Exchanges two amplitudes of every index list (b, b + 2^q1, b + 2^q0,
// b + 2^q0 + 2^q1): the last two for cx, the middle two for swap. Bases come
// in runs of 2^(lower qubit) consecutive indices, moved two at a time when
// longer than one.
template <bool cx>
inline void two_qubit_exchange(StateVec &state, const uint8_t *qubits, unsigned k) {
    check_arity(k, 2);
    check_qubits_fast(state, state.len(), qubits, 2);
    double *re = state.re.data(), *im = state.im.data();
    const std::size_t s0 = std::size_t(1) << qubits[0], s1 = std::size_t(1) << qubits[1];
    const std::size_t x = cx ? s0 : s1, y = cx ? s0 + s1 : s0;
    const unsigned lo = std::min(qubits[0], qubits[1]), hi = std::max(qubits[0], qubits[1]);
    const std::size_t n = state.len(), run = std::size_t(1) << lo, mid = std::size_t(1) << hi;
    if (run == 1) {
        two_qubit(state, qubits, k, [&](double *r, double *m, std::size_t b, std::size_t, std::size_t) {
            std::swap(r[b + x], r[b + y]);
            std::swap(m[b + x], m[b + y]);
        });
        return;
    }
    for (std::size_t outer = 0; outer < n; outer += 2 * mid)
        for (std::size_t inner = outer; inner < outer + mid; inner += 2 * run)
            for (std::size_t b = inner, e = inner + run; b < e; b += 2) {
                const V2 rx = load2(re + b + x), ry = load2(re + b + y), ix = load2(im + b + x), iy = load2(im + b + y);
                store2(re + b + x, ry), store2(re + b + y, rx);
                store2(im + b + x, iy), store2(im + b + y, ix);
            }
}


}  // namespace

void perform_h_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    single_qubit<true>(state, qubits, k, [](auto &x0, auto &y0, auto &x1, auto &y1) {
        const double s = SQRT1_2;
        const auto a = x0, b = y0, c = x1, d = y1;
        x0 = (a + c) * s;
        y0 = (b + d) * s;
        x1 = (a - c) * s;
        y1 = (b - d) * s;
    });
}

void perform_x_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    single_qubit<true>(state, qubits, k, [](auto &x0, auto &y0, auto &x1, auto &y1) {
        std::swap(x0, x1);
        std::swap(y0, y1);
    });
}

void perform_z_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    single_qubit<false>(state, qubits, k, [](auto &, auto &, auto &x1, auto &y1) {
        x1 = -x1;
        y1 = -y1;
    });
}

void perform_s_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    single_qubit<false>(state, qubits, k, [](auto &, auto &, auto &x1, auto &y1) {
        const auto a = x1, b = y1;
        x1 = a * 0.0 - b;
        y1 = a + b * 0.0;
    });
}

void perform_sdg_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    single_qubit<false>(state, qubits, k, [](auto &, auto &, auto &x1, auto &y1) {
        const auto a = x1, b = y1;
        x1 = b + a * -0.0;
        y1 = b * -0.0 - a;
    });
}

void perform_t_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    single_qubit<false>(state, qubits, k, [](auto &, auto &, auto &x1, auto &y1) {
        const double s = SQRT1_2;
        const auto a = x1, b = y1;
        x1 = a * s - b * s;
        y1 = a * s + b * s;
    });
}

void perform_tdg_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    single_qubit<false>(state, qubits, k, [](auto &, auto &, auto &x1, auto &y1) {
        const double s = SQRT1_2;
        const auto a = x1, b = y1;
        x1 = a * s + b * s;
        y1 = b * s - a * s;
    });
}

void perform_swap_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    two_qubit_exchange<false>(state, qubits, k);
}

void perform_cx_gate(StateVec &state, const uint8_t *qubits, unsigned k) { two_qubit_exchange<true>(state, qubits, k); }

namespace {

// GATE_FUNCS: the kernels by raw gate index. Every built-in with a kernel
// sits below this bound (the built-ins open the gate table).
constexpr std::size_t KERNEL_SLOTS = 32;

struct GateFuncs {
    std::array<GateKernel, KERNEL_SLOTS> by_index{};
    GateFuncs() {
        const std::pair<const char *, GateKernel> entries[] = {
            {"h", perform_h_gate},   {"x", perform_x_gate},     {"z", perform_z_gate},
            {"t", perform_t_gate},   {"tdg", perform_tdg_gate}, {"s", perform_s_gate},
            {"sdg", perform_sdg_gate}, {"swap", perform_swap_gate}, {"cx", perform_cx_gate},
        };
        for (auto &[name, fn] : entries) {
            Gate16 g = Gate16::deserialize(name);
            DRAVIK_ASSERT(g.idx < KERNEL_SLOTS);
            by_index[g.idx] = fn;
        }
    }
};

const GateFuncs &gate_funcs() {
    static const GateFuncs table;  // one-time initialisation; other threads wait
    return table;
}

// Adjoint handles by gate index plus one (0: not looked up yet). An adjoint
// never changes once the gate table has recorded it.
std::array<std::atomic<uint32_t>, 65536> ADJOINT_CACHE{};

}  // namespace

GateKernel gate_kernel(Gate16 gate) {
    const auto &t = gate_funcs();
    return gate.idx < KERNEL_SLOTS ? t.by_index[gate.idx] : nullptr;
}

Gate16 cached_adjoint(Gate16 gate) {
    uint32_t v = ADJOINT_CACHE[gate.idx].load(std::memory_order_acquire);
    if (v) return Gate16(uint16_t(v - 1));
    Gate16 adj = gate.adjoint();
    ADJOINT_CACHE[gate.idx].store(uint32_t(adj.idx) + 1, std::memory_order_release);
    return adj;
}

void StateVec::apply(QArgs16 qargs, Gate16 gate) {
    const unsigned k = qargs.len();
    if (GateKernel fn = gate_kernel(gate)) {
        fn(*this, qargs.q, k);
        return;
    }
    gate.with_matrix([&](const CMatrix &m) { multiply(qargs.q, k, m); });
}

void StateVec::multiply(const uint8_t *qubits, unsigned k, const CMatrix &matrix) {
    if (k < 1 || k > 3) fail("Unsupported number of qubits: " + std::to_string(k));
    const uint32_t dim = 1u << k;
    if (matrix.rows != dim || matrix.cols != dim) {
        const std::string d = std::to_string(dim);
        fail("assertion failed: matrix.nrows() == " + d + " && matrix.ncols() == " + d);
    }
    check_qubits(*this, qubits, k);

    uint8_t sorted[3];
    sorted_positions(qubits, k, sorted);
    const auto off = matrix_offsets(qubits, k);
    const std::complex<double> *mat = matrix.data.data();
    double *re_ = re.data(), *im_ = im.data();
    const std::size_t bases = len() >> k;
    double ar[8], ai[8], br[8], bi[8];
    for (std::size_t i = 0; i < bases; ++i) {
        const std::size_t b = base_index(i, sorted, k);
        for (unsigned m = 0; m < dim; ++m) {
            ar[m] = re_[b + off[m]];
            ai[m] = im_[b + off[m]];
        }
        for (unsigned r = 0; r < dim; ++r) {
            double sr = 0.0, si = 0.0;
            for (unsigned c = 0; c < dim; ++c) {
                const std::complex<double> &z = mat[std::size_t(c) * dim + r];  // column-major
                const double u = z.real(), v = z.imag(), x = ar[c], y = ai[c];
                sr += u * x - v * y;
                si += u * y + v * x;
            }
            br[r] = sr;
            bi[r] = si;
        }
        for (unsigned r = 0; r < dim; ++r) {
            re_[b + off[r]] = br[r];
            im_[b + off[r]] = bi[r];
        }
    }
}

}  // namespace dravik
