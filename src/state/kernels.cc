#include "state/kernels.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <string>

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

// Runs f(re, im, i0, i1) for every pair of indices that differ in bit q only,
// i0 having the bit clear; pairs in increasing order of i0.
template <typename F>
inline void single_qubit(StateVec &state, const uint8_t *qubits, unsigned k, F f) {
    check_arity(k, 1);
    check_qubits_fast(state, state.len(), qubits, 1);
    double *re = state.re.data(), *im = state.im.data();
    const unsigned q = qubits[0];
    const std::size_t half = state.len() >> 1, step = std::size_t(1) << q, low = step - 1;
    // One flat loop: i0 = insert_bit(i, q, 0). Vectors are short, so this
    // beats nested loops whose inner trip count is 1 for qubit 0.
    for (std::size_t i = 0; i < half; ++i) {
        const std::size_t i0 = ((i & ~low) << 1) | (i & low);
        f(re, im, i0, i0 + step);
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

inline void swap_amp(double *re, double *im, std::size_t a, std::size_t b) {
    std::swap(re[a], re[b]);
    std::swap(im[a], im[b]);
}

}  // namespace

void perform_h_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    single_qubit(state, qubits, k, [](double *re, double *im, std::size_t i0, std::size_t i1) {
        const double s = SQRT1_2;
        double x0 = re[i0], y0 = im[i0], x1 = re[i1], y1 = im[i1];
        re[i0] = (x0 + x1) * s;
        im[i0] = (y0 + y1) * s;
        re[i1] = (x0 - x1) * s;
        im[i1] = (y0 - y1) * s;
    });
}

void perform_x_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    single_qubit(state, qubits, k, [](double *re, double *im, std::size_t i0, std::size_t i1) { swap_amp(re, im, i0, i1); });
}

void perform_z_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    single_qubit(state, qubits, k, [](double *re, double *im, std::size_t, std::size_t i1) {
        re[i1] = -re[i1];
        im[i1] = -im[i1];
    });
}

void perform_s_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    single_qubit(state, qubits, k, [](double *re, double *im, std::size_t, std::size_t i1) {
        double x1 = re[i1], y1 = im[i1];
        re[i1] = x1 * 0.0 - y1;
        im[i1] = x1 + y1 * 0.0;
    });
}

void perform_sdg_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    single_qubit(state, qubits, k, [](double *re, double *im, std::size_t, std::size_t i1) {
        double x1 = re[i1], y1 = im[i1];
        re[i1] = y1 + x1 * -0.0;
        im[i1] = y1 * -0.0 - x1;
    });
}

void perform_t_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    single_qubit(state, qubits, k, [](double *re, double *im, std::size_t, std::size_t i1) {
        const double s = SQRT1_2;
        double x1 = re[i1], y1 = im[i1];
        re[i1] = x1 * s - y1 * s;
        im[i1] = x1 * s + y1 * s;
    });
}

void perform_tdg_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    single_qubit(state, qubits, k, [](double *re, double *im, std::size_t, std::size_t i1) {
        const double s = SQRT1_2;
        double x1 = re[i1], y1 = im[i1];
        re[i1] = x1 * s + y1 * s;
        im[i1] = y1 * s - x1 * s;
    });
}

void perform_swap_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    two_qubit(state, qubits, k, [](double *re, double *im, std::size_t b, std::size_t s0, std::size_t s1) {
        swap_amp(re, im, b + s1, b + s0);
    });
}

void perform_cx_gate(StateVec &state, const uint8_t *qubits, unsigned k) {
    two_qubit(state, qubits, k, [](double *re, double *im, std::size_t b, std::size_t s0, std::size_t s1) {
        swap_amp(re, im, b + s0, b + s0 + s1);
    });
}

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
