#include "state/statevec.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "qreal.h"
#include "state/order_info.h"
#include "utils/error.h"
#include "utils/siphash.h"

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
    for (std::size_t i = 0; i < n; ++i)
        if (int c = qreal_cmp(a[i], b[i])) return c;
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

bool eq_arrays(const std::vector<double> &a, const std::vector<double> &b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (percision_repr(a[i]) != percision_repr(b[i])) return false;
    return true;
}

// The length as 4 bytes, then every value's grid representation as 8 bytes,
// little-endian; fed in chunks so the hasher takes whole words.
void feed_array(SipHasher13 &h, const std::vector<double> &v) {
    h.write_len(v.size());
    uint8_t buf[256];
    std::size_t fill = 0;
    for (double x : v) {
        uint64_t r = percision_repr(x);
        for (int b = 0; b < 8; ++b) buf[fill + b] = uint8_t(r >> (8 * b));
        fill += 8;
        if (fill == sizeof buf) {
            h.write(buf, fill);
            fill = 0;
        }
    }
    if (fill) h.write(buf, fill);
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
    SipHasher13 h;
    feed_array(h, re);
    feed_array(h, im);
    return h.finish();
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
    // Where each single-qubit bit goes; d(i) is the OR over the set bits of i.
    std::size_t dest_bit[8] = {0};
    const unsigned k = p.len();
    for (unsigned j = 0; j < k; ++j) dest_bit[j] = std::size_t(1) << p.get(j);
    const std::size_t low_mask = (std::size_t(1) << k) - 1;
    double *sr = scratch.re.data(), *si = scratch.im.data();
    for (std::size_t i = 0; i < n; ++i) {
        std::size_t d = 0;
        for (std::size_t x = i & low_mask; x; x &= x - 1) d |= dest_bit[std::countr_zero(x)];
        sr[d] = re[i];
        si[d] = im[i];
    }
    std::swap(re, scratch.re);
    std::swap(im, scratch.im);
}

OrderInfo StateVec::get_orderinfo() const {
    const unsigned nq = nqubits();
    OrderInfo oi(len() == 0 ? 0 : nq);
    const std::size_t last = len() - 1;
    // Keys on the grid, computed once per qubit (at most eight).
    std::array<std::array<uint64_t, 4>, 32> keys;
    for (unsigned q = 0; q < oi.permut.size(); ++q) {
        const std::size_t one = std::size_t(1) << q, rest = last ^ one;
        keys[q] = {percision_repr(re[one]), percision_repr(im[one]), percision_repr(re[rest]), percision_repr(im[rest])};
    }
    oi.sort_eqclass_by_key(0, [&](unsigned q) -> const std::array<uint64_t, 4> & { return keys[q]; });
    return oi;
}

Permut32 StateVec::get_permutation() const { return get_orderinfo().as_bits().first; }

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
