#include "state/statevec.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "qreal.h"
#include "state/grid.h"
#include "state/order_info.h"
#include "utils/error.h"

namespace dravik {

namespace {

void check_qubit_count(unsigned n) {
    if (n >= 32) fail("Number of qubits too large, resulting in overflow for state vector size.");
}

inline bool amp_is_zero(double x, double y) { return near_zero(x) && near_zero(y); }

// Steps 2-4 of normalisation: divide by the Euclidean norm.
void scale_to_unit(std::vector<double> &re, std::vector<double> &im) {
    double s = 0.0;
    for (std::size_t i = 0; i < re.size(); ++i) s += im[i] * im[i] + re[i] * re[i];
    const double r = std::sqrt(s);
    for (std::size_t i = 0; i < re.size(); ++i) {
        re[i] = re[i] / r;
        im[i] = im[i] / r;
    }
}

int cmp_arrays(const std::vector<double> &a, const std::vector<double> &b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] == b[i]) continue;  // equal doubles share their grid cell
        if (int c = grid_cmp(a[i], b[i])) return c;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool eq_arrays(const std::vector<double> &a, const std::vector<double> &b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (a[i] != b[i] && grid_repr(a[i]) != grid_repr(b[i])) return false;
    return true;
}

// The hash stream: len(re) as 4 bytes, grid_repr(re[i]) as 8 bytes each,
// len(im) as 4 bytes, grid_repr(im[i]) as 8 bytes each (all little-endian).
template <typename ReGrid, typename ImGrid>
uint64_t hash_words(std::size_t nre, ReGrid re_at, std::size_t nim, ImGrid im_at) {
    SipHasher13 h;
    h.write_u32(uint32_t(nre));
    for (std::size_t i = 0; i < nre; ++i) h.write_u64(re_at(i));
    h.write_u32(uint32_t(nim));
    for (std::size_t i = 0; i < nim; ++i) h.write_u64(im_at(i));
    return h.finish();
}

// STATE_VEC_CACHE: per thread, entry k is a scratch vector of 2^k amplitudes.
thread_local std::vector<StateVec> STATE_VEC_CACHE;

}  // namespace

StateVec StateVec::zeros(unsigned n) {
    check_qubit_count(n);
    const std::size_t len = std::size_t(1) << n;
    return StateVec(std::vector<double>(len, 0.0), std::vector<double>(len, 0.0));
}

StateVec StateVec::from_random(ChaCha12Rng &rng, unsigned n) {
    check_qubit_count(n);
    const std::size_t len = std::size_t(1) << n;
    std::vector<double> re(len), im(len);
    for (auto &x : re) x = rng.next_f64();
    for (auto &y : im) y = rng.next_f64();
    StateVec v(std::move(re), std::move(im));
    scale_to_unit(v.re, v.im);
    v.normalize_arg();
    return v;
}

StateVec StateVec::from_random_symmetric(ChaCha12Rng &rng, unsigned n) {
    check_qubit_count(n);
    std::vector<double> a(n + 1), b(n + 1);
    for (auto &x : a) x = rng.next_f64();
    for (auto &y : b) y = rng.next_f64();
    const std::size_t len = std::size_t(1) << n;
    std::vector<double> re(len), im(len);
    for (std::size_t i = 0; i < len; ++i) {
        const int w = std::popcount(i);
        re[i] = a[w];
        im[i] = b[w];
    }
    StateVec v(std::move(re), std::move(im));
    scale_to_unit(v.re, v.im);
    v.normalize_arg();
    return v;
}

unsigned StateVec::nqubits() const { return unsigned(std::countr_zero(len())); }

std::complex<double> StateVec::at(std::size_t i) const {
    check_index(i, len());
    return {re[i], im[i]};
}

void StateVec::set(std::size_t i, std::complex<double> z) {
    check_index(i, len());
    re[i] = z.real();
    im[i] = z.imag();
}

void StateVec::normalize() {
    if (len() == 0) return;
    bool all_zero = true;
    for (std::size_t i = 0; i < len() && all_zero; ++i) all_zero = amp_is_zero(re[i], im[i]);
    if (all_zero) {
        // No direction to scale: the vector becomes |0...0>.
        std::fill(re.begin(), re.end(), 0.0);
        std::fill(im.begin(), im.end(), 0.0);
        re[0] = 1.0;
        return;
    }
    scale_to_unit(re, im);
    normalize_arg();
}

void StateVec::normalize_arg() {
    const std::size_t n = len();
    if (n == 0) return;
    double a, b;
    bool have_ref = true;
    if (!amp_is_zero(re[0], im[0])) {
        a = re[0];
        b = im[0];
    } else if (!amp_is_zero(re[n - 1], im[n - 1])) {
        a = re[n - 1];
        b = im[n - 1];
    } else {
        double sr = 0.0, si = 0.0;
        for (std::size_t i = 0; i < n; ++i) {
            sr += re[i];
            si += im[i];
        }
        if (!amp_is_zero(sr, si)) {
            const double mag = std::sqrt(si * si + sr * sr);
            a = sr / mag;
            b = si / mag;
        } else {
            // The amplitudes cancel: fall back to the first non-zero one so
            // the phase stays finite.
            have_ref = false;
            for (std::size_t i = 0; i < n; ++i)
                if (!amp_is_zero(re[i], im[i])) {
                    a = re[i];
                    b = im[i];
                    have_ref = true;
                    break;
                }
        }
    }
    if (have_ref) {
        const double q = a * a + b * b;
        const double rq = std::sqrt(q);
        const double cr = (a / q) * rq, ci = (-b / q) * rq;
        for (std::size_t i = 0; i < n; ++i) {
            const double x = re[i], y = im[i];
            re[i] = cr * x - ci * y;
            im[i] = cr * y + ci * x;
        }
    }
    im[0] = 0.0;
}

bool StateVec::check() const {
    if (len() == 0) return false;
    double s = 0.0;
    for (std::size_t i = 0; i < len(); ++i) s += im[i] * im[i] + re[i] * re[i];
    return near_zero(s - 1.0);
}

uint64_t StateVec::hash_value() const {
    return hash_words(re.size(), [&](std::size_t i) { return grid_repr(re[i]); }, im.size(),
                      [&](std::size_t i) { return grid_repr(im[i]); });
}

uint64_t StateVec::hash_of_grid(const uint64_t *re_grid, const uint64_t *im_grid, std::size_t n) {
    return hash_words(n, [&](std::size_t i) { return re_grid[i]; }, n, [&](std::size_t i) { return im_grid[i]; });
}

void relabel_index_table(Permut32 p, unsigned nq, uint32_t *d) {
    const unsigned k = p.len();
    DRAVIK_ASSERT(k <= nq && nq <= 8);
    // d(i) is the OR of the destinations of i's bits: each qubit doubles the table.
    d[0] = 0;
    for (unsigned j = 0; j < nq; ++j) {
        const uint32_t bit = uint32_t(1) << (j < k ? p.get(j) : j), half = uint32_t(1) << j;
        for (uint32_t i = 0; i < half; ++i) d[half + i] = d[i] | bit;
    }
}

int StateVec::compare(const StateVec &other) const {
    if (int c = cmp_arrays(re, other.re)) return c;
    return cmp_arrays(im, other.im);
}

bool operator==(const StateVec &a, const StateVec &b) { return eq_arrays(a.re, b.re) && eq_arrays(a.im, b.im); }

bool StateVec::loose_eq(const StateVec &other) const {
    for (std::size_t i = 0, n = std::min(re.size(), other.re.size()); i < n; ++i)
        if (!dravik::loose_eq(re[i], other.re[i])) return false;
    for (std::size_t i = 0, n = std::min(im.size(), other.im.size()); i < n; ++i)
        if (!dravik::loose_eq(im[i], other.im[i])) return false;
    return true;
}

void reserve_state_vec_cache(unsigned n) {
    auto &cache = STATE_VEC_CACHE;
    while (cache.size() <= n) cache.push_back(StateVec::zeros(unsigned(cache.size())));
}

void StateVec::apply_permutation(Permut32 p) {
    const std::size_t n = len();
    if (n == 0) return;
    const unsigned nq = nqubits();
    DRAVIK_ASSERT(p.len() <= nq);
    reserve_state_vec_cache(nq);
    StateVec &scratch = STATE_VEC_CACHE[nq];
    // Where each single-qubit bit goes; d(i) is the OR over the set bits of i,
    // built incrementally from d(i without its lowest bit).
    const unsigned k = p.len();
    std::size_t dest_bit[8] = {0};
    for (unsigned j = 0; j < k; ++j) dest_bit[j] = std::size_t(1) << p.get(j);
    double *sr = scratch.re.data(), *si = scratch.im.data();
    const double *r = re.data(), *m = im.data();
    // Qubits at positions >= k (a permutation shorter than the qubit count)
    // stay where they are, so no two amplitudes land on one index.
    const std::size_t block = std::size_t(1) << k;
    uint32_t d[256];
    d[0] = 0;
    for (std::size_t i = 1; i < block; ++i) d[i] = uint32_t(d[i & (i - 1)] | dest_bit[std::countr_zero(i)]);
    for (std::size_t hi = 0; hi < n; hi += block)
        for (std::size_t lo = 0; lo < block; ++lo) {
            sr[hi + d[lo]] = r[hi + lo];
            si[hi + d[lo]] = m[hi + lo];
        }
    std::swap(re, scratch.re);
    std::swap(im, scratch.im);
}

void StateVec::assign_relabelled(const StateVec &src, Permut32 p) {
    const std::size_t n = src.len();
    re.resize(n);
    im.resize(n);
    if (n == 0) return;
    const unsigned k = p.len();
    DRAVIK_ASSERT(k <= src.nqubits());
    std::size_t dest_bit[8] = {0};
    for (unsigned j = 0; j < k; ++j) dest_bit[j] = std::size_t(1) << p.get(j);
    const std::size_t block = std::size_t(1) << k;
    uint32_t d[256];
    d[0] = 0;
    for (std::size_t i = 1; i < block; ++i) d[i] = uint32_t(d[i & (i - 1)] | dest_bit[std::countr_zero(i)]);
    double *dr = re.data(), *di = im.data();
    const double *sr = src.re.data(), *si = src.im.data();
    for (std::size_t hi = 0; hi < n; hi += block)
        for (std::size_t lo = 0; lo < block; ++lo) {
            dr[hi + d[lo]] = sr[hi + lo];
            di[hi + d[lo]] = si[hi + lo];
        }
}

OrderInfo StateVec::get_orderinfo() const {
    const unsigned nq = nqubits();
    OrderInfo oi(len() == 0 ? 0 : nq);
    const std::size_t last = len() - 1;
    // Keys on the grid, computed once per qubit (at most eight).
    std::array<std::array<uint64_t, 4>, 32> keys;
    for (unsigned q = 0; q < oi.permut.size(); ++q) {
        const std::size_t one = std::size_t(1) << q, rest = last ^ one;
        keys[q] = {grid_repr(re[one]), grid_repr(im[one]), grid_repr(re[rest]), grid_repr(im[rest])};
    }
    oi.sort_eqclass_by_key(0, [&](unsigned q) -> const std::array<uint64_t, 4> & { return keys[q]; });
    return oi;
}

Permut32 StateVec::get_permutation() const { return get_orderinfo().as_bits().first; }

std::pair<Permut32, uint8_t> StateVec::canonical_order() const {
    if (len() == 0) return {Permut32(), 0};
    const unsigned k = unsigned(std::countr_zero(len()));
    DRAVIK_ASSERT(k <= 8);
    const std::size_t last = len() - 1;
    // First key component of every qubit; a generic state is ordered by it
    // alone. Stable insertion sort: ties keep increasing qubit order.
    uint64_t k0[8];
    uint8_t order[8];
    for (unsigned q = 0; q < k; ++q) {
        const uint64_t v = grid_repr(re[std::size_t(1) << q]);
        k0[q] = v;
        unsigned j = q;
        for (; j > 0 && v < k0[order[j - 1]]; --j) order[j] = order[j - 1];
        order[j] = uint8_t(q);
    }
    // Runs of equal first components: order them by the other three
    // components (stably, so ties stay in qubit order) and mark equal keys.
    uint8_t mask = 0;
    for (unsigned a = 0; a + 1 < k;) {
        unsigned b = a + 1;
        while (b < k && k0[order[b]] == k0[order[a]]) ++b;
        if (b - a >= 2) {
            uint64_t rest[8][3];
            for (unsigned r = a; r < b; ++r) {
                const unsigned q = order[r];
                const std::size_t one = std::size_t(1) << q, other = last ^ one;
                rest[q][0] = grid_repr(im[one]);
                rest[q][1] = grid_repr(re[other]);
                rest[q][2] = grid_repr(im[other]);
            }
            auto less = [&](unsigned x, unsigned y) {
                for (int i = 0; i < 3; ++i)
                    if (rest[x][i] != rest[y][i]) return rest[x][i] < rest[y][i];
                return false;
            };
            for (unsigned r = a + 1; r < b; ++r) {
                const uint8_t q = order[r];
                unsigned j = r;
                for (; j > a && less(q, order[j - 1]); --j) order[j] = order[j - 1];
                order[j] = q;
            }
            for (unsigned r = a; r + 1 < b; ++r)
                if (!less(order[r], order[r + 1])) mask = uint8_t(mask | (1u << r));  // sorted: not less means equal
        }
        a = b;
    }
    uint32_t raw = uint32_t(k) << 24;
    for (unsigned r = 0; r < k; ++r) raw |= uint32_t(order[r]) << (3 * r);
    return {Permut32(raw), mask};
}

std::string StateVec::text() const {
    std::string s = "[";
    for (std::size_t i = 0, n = std::min(re.size(), im.size()); i < n; ++i) {
        if (i) s += ", ";
        const double x = re[i], y = im[i];
        if (near_zero(y)) {
            s += qreal_text(x);
        } else if (near_zero(x)) {
            s += qreal_text(y) + "j";
        } else {
            s += qreal_text(x) + qreal_text(y, true) + "j";
        }
    }
    return s + "]";
}

}  // namespace dravik
