#include "state/statevec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <vector>

#include "qreal.h"
#include "state/grid.h"
#include "state/kernels.h"
#include "state/order_info.h"
#include "utils/error.h"
#include "utils/siphash.h"
#include "utils/test_support.h"

using namespace dravik;
using namespace dravik::test_support;
using C = std::complex<double>;

namespace {

ChaCha12Rng test_rng(uint32_t seed) { return ChaCha12Rng({seed, 1, 2, 3, 4, 5, 6, 7}); }

StateVec basis(unsigned n, std::size_t idx) {
    StateVec v = StateVec::zeros(n);
    v.re[idx] = 1.0;
    return v;
}

// Unnormalised random amplitudes straight from the generator (no phase fix).
StateVec raw_random(ChaCha12Rng &rng, unsigned n) {
    StateVec v = StateVec::zeros(n);
    for (auto &x : v.re) x = rng.next_f64() - 0.5;
    for (auto &y : v.im) y = rng.next_f64() - 0.5;
    return v;
}

bool grid_equal(const StateVec &a, const StateVec &b) { return a == b; }

}  // namespace

// ---------------------------------------------------------------- construction

TEST(StateVec, ConstructorsAndQubitLimit) {
    auto rng = test_rng(1);
    for (unsigned n : {0u, 1u, 3u, 5u}) {
        auto z = StateVec::zeros(n);
        EXPECT_EQ(z.len(), std::size_t(1) << n);
        EXPECT_EQ(z.nqubits(), n);
        auto r = StateVec::from_random(rng, n);
        EXPECT_TRUE(r.check()) << n;
        EXPECT_EQ(r.im[0], 0.0);
        EXPECT_FALSE(std::signbit(r.im[0]));
        EXPECT_GT(r.re[0], 0.0);
        auto s = StateVec::from_random_symmetric(rng, n);
        EXPECT_TRUE(s.check()) << n;
        for (std::size_t i = 0; i < s.len(); ++i)  // depends on the Hamming weight only
            EXPECT_EQ(s.at(i), s.at((std::size_t(1) << std::popcount(i)) - 1)) << i;
    }
    const std::string msg = "Number of qubits too large, resulting in overflow for state vector size.";
    EXPECT_EQ(internal_error_of([] { StateVec::zeros(32); }), msg);
    EXPECT_EQ(internal_error_of([&] { StateVec::from_random(rng, 40); }), msg);
    EXPECT_EQ(internal_error_of([&] { StateVec::from_random_symmetric(rng, 32); }), msg);
}

TEST(StateVec, RandomDrawsReOnlyThenImFromFiftyThreeBits) {
    // from_random takes N values for re, then N for im, then normalises.
    auto a = test_rng(7), b = test_rng(7);
    auto v = StateVec::from_random(a, 2);
    std::vector<double> re(4), im(4);
    for (auto &x : re) x = double(b.next_u64() >> 11) * 0x1.0p-53;
    for (auto &y : im) y = double(b.next_u64() >> 11) * 0x1.0p-53;
    StateVec expect(re, im);
    expect.normalize();
    EXPECT_EQ(v, expect);
    EXPECT_EQ(v.hash_value(), expect.hash_value());
}

TEST(StateVec, IndexChecksLeaveVectorUnchanged) {
    auto v = StateVec::zeros(2);
    EXPECT_EQ(internal_error_of([&] { v.at(4); }), "index out of bounds: the len is 4 but the index is 4");
    EXPECT_NE(internal_error_of([&] { v.set(7, C(1, 1)); }), "");
    EXPECT_EQ(v, StateVec::zeros(2));
    v.set(3, C(0.5, -0.25));
    EXPECT_EQ(v.at(3), C(0.5, -0.25));
}

// ------------------------------------------------------------- normalisation

TEST(StateVec, NormalizeArgRemovesGlobalPhase) {
    auto rng = test_rng(3);
    for (unsigned n : {1u, 2u, 3u, 5u}) {
        StateVec v = raw_random(rng, n);
        StateVec ref = v.clone();
        ref.normalize_arg();
        EXPECT_EQ(ref.im[0], 0.0);
        EXPECT_GT(ref.re[0], 0.0);
        for (double theta : {0.3, 1.7, -2.9, 3.14159}) {
            StateVec w = v.clone();
            const C u = std::polar(1.0, theta);
            for (std::size_t i = 0; i < w.len(); ++i) w.set(i, w.at(i) * u);
            w.normalize_arg();
            EXPECT_EQ(w.hash_value(), ref.hash_value()) << n << " " << theta;
        }
    }
}

TEST(StateVec, NormalizeArgReferenceChoice) {
    const double h = 0.5;
    // Amplitude 0 zero, last amplitude non-zero: the last one becomes real positive.
    StateVec a({0, h, h, 0}, {0, 0, 0, -h});
    a.normalize_arg();
    EXPECT_NEAR(a.re[3], h, 1e-15);
    EXPECT_NEAR(a.im[3], 0, 1e-15);
    EXPECT_EQ(a.im[0], 0.0);
    // Both ends zero: the phase of the amplitude sum is removed.
    StateVec b({0, 0, h, 0}, {0, h, 0, 0});
    b.normalize_arg();
    C sum = 0;
    for (std::size_t i = 0; i < 4; ++i) sum += b.at(i);
    EXPECT_NEAR(sum.imag(), 0, 1e-15);
    EXPECT_GT(sum.real(), 0);
    // Both ends zero and the amplitudes cancel (a singlet): the phase stays
    // finite and the first non-zero amplitude becomes real positive.
    StateVec c({0, 0, 0, 0}, {0, h, -h, 0});
    c.normalize_arg();
    for (std::size_t i = 0; i < 4; ++i) EXPECT_TRUE(std::isfinite(c.re[i]) && std::isfinite(c.im[i]));
    EXPECT_NEAR(c.re[1], h, 1e-15);
    EXPECT_NEAR(c.re[2], -h, 1e-15);
}

TEST(StateVec, NormalizeAndCheck) {
    StateVec v({3, 0}, {0, 4});
    EXPECT_FALSE(v.check());
    v.normalize();
    EXPECT_TRUE(v.check());
    EXPECT_EQ(v.re[0], 3.0 / 5.0);
    EXPECT_EQ(v.re[1], 0.0);
    EXPECT_EQ(v.im[1], 4.0 / 5.0);
    EXPECT_FALSE(StateVec().check());
    // An all-zero vector becomes |0...0> instead of not-a-number amplitudes.
    StateVec z = StateVec::zeros(2);
    z.normalize();
    EXPECT_EQ(z, basis(2, 0));
    StateVec empty;
    empty.normalize();  // nothing to do
    EXPECT_EQ(empty.len(), 0u);
}

// ------------------------------------------------- equality, order and hash

TEST(StateVec, EqualityOrderOnGrid) {
    StateVec v({0.5, 0.5}, {0, 0.5});
    StateVec w = v.clone();
    EXPECT_TRUE(v == w);
    w.re[0] = 0.5 + 1e-9;
    EXPECT_TRUE(v == w);
    EXPECT_EQ(v.hash_value(), w.hash_value());
    EXPECT_EQ(v.compare(w), 0);
    w.re[0] = 0.5 + 1e-7;
    EXPECT_FALSE(v == w);
    EXPECT_EQ(v.compare(w), -1);
    EXPECT_EQ(w.compare(v), 1);
    // re decides before im; negative values order after positive ones.
    StateVec a({0.1, 0.2}, {0.9, 0.9}), b({0.1, 0.3}, {0.0, 0.0}), n({0.1, -0.2}, {0, 0});
    EXPECT_EQ(a.compare(b), -1);
    EXPECT_EQ(b.compare(n), -1);
    // A shorter array that is a prefix of the other is less.
    EXPECT_EQ(StateVec({0.1}, {0}).compare(StateVec({0.1, 0}, {0, 0})), -1);
    EXPECT_FALSE(StateVec({0.1}, {0}) == StateVec({0.1, 0}, {0, 0}));
}

TEST(StateVec, HashByteStream) {
    // Length (4 bytes), grid values of re (8 bytes each), then the same for im,
    // all little-endian, through one keyless SipHash-1-3.
    auto rng = test_rng(9);
    for (unsigned n : {0u, 1u, 4u, 6u}) {
        StateVec v = raw_random(rng, n);
        std::vector<uint8_t> bytes;
        auto put = [&](uint64_t x, int width) {
            for (int i = 0; i < width; ++i) bytes.push_back(uint8_t(x >> (8 * i)));
        };
        put(v.re.size(), 4);
        for (double x : v.re) put(percision_repr(x), 8);
        put(v.im.size(), 4);
        for (double y : v.im) put(percision_repr(y), 8);
        SipHasher13 h;
        h.write(bytes.data(), bytes.size());
        EXPECT_EQ(v.hash_value(), h.finish()) << n;
    }
}

TEST(StateVec, LooseEq) {
    StateVec a({0.003, 0.5}, {0, 0}), b({-0.003, 0.501}, {0, 0.001});
    EXPECT_TRUE(a.loose_eq(b));
    b.re[1] = 0.51;
    EXPECT_FALSE(a.loose_eq(b));
    // Lengths are not compared: only the common prefix counts.
    EXPECT_TRUE(StateVec({0.5}, {0}).loose_eq(StateVec({0.5, 0.9}, {0, 0.9})));
}

TEST(StateVec, Text) {
    EXPECT_EQ(StateVec({1, 0}, {0, 0.5}).text(), "[1, 0.5j]");
    EXPECT_EQ(StateVec({0.5, 0.0}, {-0.25, 0.0}).text(), "[0.5-0.25j, 0]");
    EXPECT_EQ(StateVec({0.5, 1e-9}, {0.25, 1e-9}).text(), "[0.5+0.25j, 0.000000001]");
}

// ---------------------------------------------------------------- relabelling

TEST(StateVec, ApplyPermutationMovesAmplitudes) {
    auto rng = test_rng(11);
    StateVec v = raw_random(rng, 2);
    StateVec w = v.clone();
    reserve_state_vec_cache(2);
    w.apply_permutation(Permut32::from_iter(std::vector<int>{1, 0}));
    EXPECT_EQ(w.at(1), v.at(2));
    EXPECT_EQ(w.at(2), v.at(1));
    EXPECT_EQ(w.at(0), v.at(0));
    EXPECT_EQ(w.at(3), v.at(3));

    for (unsigned n = 0; n <= 8; ++n) {
        StateVec x = raw_random(rng, n);
        for (Permut32 p : {Permut32::all(n).back(), Permut32::all(n)[Permut32::all(n).size() / 2]}) {
            StateVec y = x.clone();
            y.apply_permutation(p);
            for (std::size_t i = 0; i < x.len(); ++i) ASSERT_EQ(y.at(p.permut_bv(uint32_t(i))), x.at(i));
            y.apply_permutation(p.inverse());
            for (std::size_t i = 0; i < x.len(); ++i) ASSERT_EQ(y.at(i), x.at(i));  // exact
        }
    }
}

TEST(StateVec, ApplyPermutationExchangesArraysWithScratch) {
    // No allocation: the vector ends up holding the scratch entry's arrays,
    // and the scratch entry holds the vector's old ones.
    reserve_state_vec_cache(3);
    auto rng = test_rng(12);
    StateVec v = raw_random(rng, 3);
    auto p = Permut32::from_iter(std::vector<int>{2, 0, 1});
    v.apply_permutation(p);  // brings the cache arrays into circulation
    const double *old_re = v.re.data(), *old_im = v.im.data();
    v.apply_permutation(p);
    const double *mid_re = v.re.data();
    EXPECT_NE(mid_re, old_re);
    v.apply_permutation(p);
    EXPECT_EQ(v.re.data(), old_re);  // two buffers alternate, nothing new
    EXPECT_EQ(v.im.data(), old_im);
}

TEST(StateVec, SymmetricStateIgnoresRelabelling) {
    auto rng = test_rng(13);
    StateVec s = StateVec::from_random_symmetric(rng, 4);
    for (Permut32 p : Permut32::all(4)) {
        StateVec t = s.clone();
        t.apply_permutation(p);
        ASSERT_EQ(t.re, s.re);
        ASSERT_EQ(t.im, s.im);
    }
}

// ------------------------------------------------------------------ kernels

TEST(Kernels, IndexFunctions) {
    EXPECT_EQ(insert_bit(0b1011, 2, 0), 0b10011u);
    EXPECT_EQ(insert_bit(0b1011, 2, 1), 0b10111u);
    EXPECT_EQ(insert_bit(0b1, 0, 1), 0b11u);
    const uint8_t q[2] = {2, 0};  // first qubit is the most significant matrix bit
    auto idx = qubit_matrix_indices(0, q, 2);
    EXPECT_EQ(std::vector<std::size_t>(idx.begin(), idx.begin() + 4), (std::vector<std::size_t>{0, 1, 4, 5}));
    idx = qubit_matrix_indices(1, q, 2);  // second base of three qubits: qubit 1 set
    EXPECT_EQ(std::vector<std::size_t>(idx.begin(), idx.begin() + 4), (std::vector<std::size_t>{2, 3, 6, 7}));
    const uint8_t q3[3] = {1, 3, 0};
    idx = qubit_matrix_indices(1, q3, 3);  // base 4 (bits 0, 1, 3 cleared)
    EXPECT_EQ(std::vector<std::size_t>(idx.begin(), idx.end()), (std::vector<std::size_t>{4, 5, 12, 13, 6, 7, 14, 15}));
}

TEST(Kernels, BasisStateEdgeCases) {
    auto v = basis(2, 1);
    v.apply(Instr32(gates::CX, 0, 1));
    EXPECT_EQ(v, basis(2, 3));
    v = basis(2, 1);
    v.apply(Instr32(gates::CX, 1, 0));
    EXPECT_EQ(v, basis(2, 1));
    v = basis(3, 1);
    v.apply(Instr32(gates::SWAP, 0, 2));
    EXPECT_EQ(v, basis(3, 4));
    v = basis(3, 2);
    v.apply(Instr32(gates::SWAP, 0, 2));
    EXPECT_EQ(v, basis(3, 2));
    v = basis(1, 0);
    v.apply(Instr32(gates::H, 0));
    EXPECT_EQ(v.re, (std::vector<double>{SQRT1_2, SQRT1_2}));
    EXPECT_EQ(v.im, (std::vector<double>{0, 0}));
}

TEST(Kernels, EveryKernelMatchesGeneralPath) {
    // Every built-in with a kernel, on every placement over three qubits, agrees
    // on the grid with the dense matrix of the gate table.
    const Gate16 kernel_gates[] = {gates::H, gates::X, gates::Z, gates::T, gates::TDG,
                                   gates::S, gates::SDG, gates::SWAP, gates::CX};
    auto rng = test_rng(21);
    for (Gate16 g : kernel_gates) {
        ASSERT_NE(gate_kernel(g), nullptr) << g.name();
        CMatrix m = g.matrix_copy();
        for (uint8_t a = 0; a < 3; ++a)
            for (uint8_t b = 0; b < 3; ++b) {
                if (g.nqargs() == 1 && b > 0) continue;
                if (g.nqargs() == 2 && a == b) continue;
                StateVec v = raw_random(rng, 3);
                StateVec fast = v.clone(), slow = v.clone();
                Instr32 ins = g.nqargs() == 1 ? Instr32(g, a) : Instr32(g, a, b);
                fast.apply(ins);
                slow.multiply(ins.qargs.q, ins.nargs(), m);
                EXPECT_EQ(fast, slow) << ins.text();
                EXPECT_NE(fast, v) << ins.text();
            }
    }
    EXPECT_EQ(gate_kernel(gates::Y), nullptr);
    EXPECT_EQ(gate_kernel(gates::CZ), nullptr);
}

namespace {

std::vector<uint64_t> bit_patterns(const std::vector<double> &v) {
    std::vector<uint64_t> out;
    for (double x : v) out.push_back(std::bit_cast<uint64_t>(x));
    return out;
}

// The kernels' amplitude formulas written out pair by pair over insert_bit,
// as plainly as possible: the reference for bitwise agreement.
void formula_kernel(StateVec &v, Gate16 g, uint8_t a, uint8_t b) {
    const double s = SQRT1_2;
    double *re = v.re.data(), *im = v.im.data();
    if (g == gates::SWAP || g == gates::CX) {
        const uint8_t lo = std::min(a, b), hi = std::max(a, b);
        for (std::size_t i = 0; i < v.len() / 4; ++i) {
            const std::size_t base = insert_bit(insert_bit(i, lo, 0), hi, 0);
            const std::size_t x = g == gates::CX ? base + (1u << a) : base + (1u << b);
            const std::size_t y = g == gates::CX ? base + (1u << a) + (1u << b) : base + (1u << a);
            std::swap(re[x], re[y]);
            std::swap(im[x], im[y]);
        }
        return;
    }
    for (std::size_t i = 0; i < v.len() / 2; ++i) {
        const std::size_t i0 = insert_bit(i, a, 0), i1 = i0 + (std::size_t(1) << a);
        const double x0 = re[i0], y0 = im[i0], x1 = re[i1], y1 = im[i1];
        if (g == gates::H) {
            re[i0] = (x0 + x1) * s, im[i0] = (y0 + y1) * s;
            re[i1] = (x0 - x1) * s, im[i1] = (y0 - y1) * s;
        } else if (g == gates::X) {
            re[i0] = x1, im[i0] = y1, re[i1] = x0, im[i1] = y0;
        } else if (g == gates::Z) {
            re[i1] = -x1, im[i1] = -y1;
        } else if (g == gates::S) {
            re[i1] = x1 * 0.0 - y1, im[i1] = x1 + y1 * 0.0;
        } else if (g == gates::SDG) {
            re[i1] = y1 + x1 * -0.0, im[i1] = y1 * -0.0 - x1;
        } else if (g == gates::T) {
            re[i1] = x1 * s - y1 * s, im[i1] = x1 * s + y1 * s;
        } else if (g == gates::TDG) {
            re[i1] = x1 * s + y1 * s, im[i1] = y1 * s - x1 * s;
        }
    }
}

}  // namespace

TEST(Kernels, BitwiseEqualToTheirFormulas) {
    // Every qubit placement up to six qubits: lowest qubits (single
    // amplitudes), runs of two and longer runs all take their own loops.
    // Zeros of both signs check the sign of zero results.
    const Gate16 kernel_gates[] = {gates::H, gates::X, gates::Z, gates::T, gates::TDG,
                                   gates::S, gates::SDG, gates::SWAP, gates::CX};
    auto rng = test_rng(33);
    for (unsigned n = 1; n <= 6; ++n)
        for (Gate16 g : kernel_gates)
            for (uint8_t a = 0; a < n; ++a)
                for (uint8_t b = 0; b < n; ++b) {
                    if ((g.nqargs() == 1 && b > 0) || (g.nqargs() == 2 && a == b)) continue;
                    StateVec v = raw_random(rng, n);
                    v.re[0] = 0.0, v.im[0] = -0.0, v.re[v.len() - 1] = -0.0;
                    StateVec fast = v.clone(), want = v.clone();
                    Instr32 ins = g.nqargs() == 1 ? Instr32(g, a) : Instr32(g, a, b);
                    fast.apply(ins);
                    formula_kernel(want, g, a, b);
                    ASSERT_EQ(bit_patterns(fast.re), bit_patterns(want.re)) << ins.text() << " on " << n;
                    ASSERT_EQ(bit_patterns(fast.im), bit_patterns(want.im)) << ins.text() << " on " << n;
                }
}

TEST(StateVec, RelabelIndexTable) {
    // d[i] is where relabelling moves amplitude i; positions at or above the
    // permutation's length stay.
    for (unsigned nq = 0; nq <= 5; ++nq)
        for (unsigned k : {nq, nq > 0 ? nq - 1 : 0u})
            for (Permut32 p : Permut32::all(k)) {
                uint32_t d[256];
                relabel_index_table(p, nq, d);
                for (uint32_t i = 0; i < (1u << nq); ++i) {
                    uint32_t want = 0;
                    for (unsigned j = 0; j < nq; ++j)
                        if (i >> j & 1) want |= 1u << (j < k ? p.get(j) : j);
                    ASSERT_EQ(d[i], want) << p.text() << " " << nq;
                }
            }
}

TEST(Kernels, InversesRestoreState) {
    auto rng = test_rng(22);
    StateVec v = StateVec::from_random(rng, 3);
    const std::pair<Gate16, Gate16> pairs[] = {{gates::H, gates::H},   {gates::S, gates::SDG}, {gates::T, gates::TDG},
                                               {gates::Z, gates::Z},   {gates::Y, gates::Y},   {gates::X, gates::X},
                                               {gates::CS, gates::CSDG}};
    for (auto [g, inv] : pairs) {
        StateVec w = v.clone();
        QArgs16 q = g.nqargs() == 1 ? QArgs16(2, NO_QUBIT) : QArgs16(2, 0);
        w.apply(q, g);
        w.apply(q, inv);
        EXPECT_EQ(w, v) << g.name();
    }
}

TEST(Kernels, FailuresLeaveVectorUnchanged) {
    auto rng = test_rng(23);
    const StateVec v = StateVec::from_random(rng, 3);
    struct Case {
        Instr32 instr;
        std::string message;
    };
    Gate16 scalar = Gate16::create("phase1", {}, CMatrix::from_rows({{C(0, 1)}}));
    const Case cases[] = {
        {Instr32(gates::Z, 3), "index out of bounds: the len is 8 but the index is 8"},
        {Instr32(gates::CX, 0, 5), "index out of bounds: the len is 8 but the index is 32"},
        {Instr32(gates::CZ, 4, 0), "index out of bounds: the len is 8 but the index is 16"},
        {Instr32(gates::Y, 200), "index out of bounds: qubit 200 does not exist in a state of length 8"},
        {Instr32(scalar, QArgs16()), "Unsupported number of qubits: 0"},
        {Instr32(gates::H, QArgs16()), "Gate kernel expects 1 qubit argument, got 0"},
        {Instr32(gates::CX, 1), "Gate kernel expects 2 qubit arguments, got 1"},
        {Instr32(gates::CZ, 1), "assertion failed: matrix.nrows() == 2 && matrix.ncols() == 2"},
        {Instr32(gates::Y, 0, 1), "assertion failed: matrix.nrows() == 4 && matrix.ncols() == 4"},
        {Instr32(gates::CX, 1, 1), "Qubit arguments must be unique"},
        {Instr32(gates::CZ, 2, 2), "Qubit arguments must be unique"},
    };
    for (const auto &c : cases) {
        StateVec w = v.clone();
        EXPECT_EQ(internal_error_of([&] { w.apply(c.instr); }), c.message) << c.instr.text();
        EXPECT_EQ(w.re, v.re);
        EXPECT_EQ(w.im, v.im);
    }
    StateVec w = v.clone();
    const uint8_t q4[4] = {0, 1, 2, 3};
    EXPECT_EQ(internal_error_of([&] { w.multiply(q4, 4, CMatrix(16, 16)); }), "Unsupported number of qubits: 4");
}

TEST(Kernels, ThreeQubitMatrix) {
    // Toffoli (controls first, target last) through the general path.
    CMatrix ccx(8, 8);
    for (uint32_t i = 0; i < 8; ++i) ccx.at(i, i < 6 ? i : 13 - i) = 1.0;
    const uint8_t q[3] = {2, 0, 1};
    StateVec v = basis(3, 0b101);  // qubits 0 and 2 set
    v.multiply(q, 3, ccx);
    EXPECT_EQ(v, basis(3, 0b111));
    v.multiply(q, 3, ccx);
    EXPECT_EQ(v, basis(3, 0b101));
    v = basis(3, 0b100);
    v.multiply(q, 3, ccx);
    EXPECT_EQ(v, basis(3, 0b100));
}

// ------------------------------------------------------------------- ordering

namespace {
unsigned long long factorial(unsigned n) { return n <= 1 ? 1 : n * factorial(n - 1); }
}  // namespace

TEST(OrderInfo, PatternTableOverEightPositions) {
    for (unsigned m = 0; m < EQMASK_COUNT; ++m) {
        // Runs of the pattern and the expected size, from the mask bits.
        unsigned run[8] = {0};
        for (unsigned x = 1; x < 8; ++x) run[x] = (m >> (x - 1) & 1) ? run[x - 1] : run[x - 1] + 1;
        unsigned long long expect = 1, len = 1;
        for (unsigned x = 1; x <= 8; ++x) {
            if (x < 8 && run[x] == run[x - 1]) {
                ++len;
            } else {
                expect *= factorial(unsigned(len));
                len = 1;
            }
        }
        const auto &perms = eqmask_to_perms(uint8_t(m));
        ASSERT_EQ(perms.size(), expect) << m;
        EXPECT_TRUE(perms.front().is_identity());
        // In the order of all(8), each one keeping every run.
        const auto &all = Permut32::all(8);
        std::size_t at = 0;
        for (Permut32 p : perms) {
            while (at < all.size() && all[at] != p) ++at;
            ASSERT_LT(at, all.size()) << "out of order in mask " << m;
            for (unsigned x = 0; x < 8; ++x) ASSERT_EQ(run[p.get(x)], run[x]);
        }
    }
    EXPECT_EQ(eqmask_to_perms(127).size(), 40320u);
    EXPECT_NE(internal_error_of([] { eqmask_to_perms(128); }), "");
}

TEST(OrderInfo, FivePositionRestrictionIsUnchanged) {
    // The five-position table, built directly from all(5): the first sixteen
    // entries of the eight-position table, cut to five entries, equal it.
    for (unsigned m = 0; m < 16; ++m) {
        unsigned run[5] = {0};
        for (unsigned x = 1; x < 5; ++x) run[x] = (m >> (x - 1) & 1) ? run[x - 1] : run[x - 1] + 1;
        std::vector<Permut32> five;
        for (Permut32 p : Permut32::all(5)) {
            bool keeps = true;
            for (unsigned x = 0; x < 5; ++x) keeps = keeps && run[p.get(x)] == run[x];
            if (keeps) five.push_back(p);
        }
        std::vector<Permut32> cut;
        for (Permut32 p : eqmask_to_perms(uint8_t(m))) cut.push_back(p.shrink(5));
        EXPECT_EQ(cut, five) << m;
    }
}

TEST(OrderInfo, ClassesOfStates) {
    auto rng = test_rng(31);
    // Fully symmetric: one class of all qubits, every labelling.
    StateVec s = StateVec::from_random_symmetric(rng, 3);
    OrderInfo oi = s.get_orderinfo();
    EXPECT_EQ(oi.as_bits().second, 3);
    EXPECT_TRUE(oi.has_eq());
    EXPECT_EQ(oi.first_eqclass(), 0u);
    EXPECT_EQ(oi.n_eqclasses(), 1u);
    EXPECT_EQ(oi.as_perms(), Permut32::all(3));
    // Generic: single-qubit classes, only the base.
    StateVec g = StateVec::from_random(rng, 4);
    oi = g.get_orderinfo();
    EXPECT_EQ(oi.as_bits().second, 0);
    EXPECT_FALSE(oi.has_eq());
    EXPECT_EQ(oi.first_eqclass(), std::nullopt);
    EXPECT_EQ(oi.n_eqclasses(), 4u);
    EXPECT_EQ(oi.as_perms(), std::vector<Permut32>{g.get_permutation()});
    // Two qubits where qubit 1 has the smaller key.
    StateVec t({0.1, 0.5, 0.2, 0.3}, {0, 0, 0, 0});
    oi = t.get_orderinfo();
    EXPECT_EQ(oi.as_bits().first, Permut32::from_iter(std::vector<int>{1, 0}));
    EXPECT_EQ(std::vector<unsigned>(oi.eq_classes.begin(), oi.eq_classes.end()), (std::vector<unsigned>{1, 2}));
    EXPECT_EQ(StateVec::zeros(1).get_permutation(), Permut32::identity(1));
    EXPECT_EQ(StateVec::zeros(0).get_permutation(), Permut32::identity(0));
}

TEST(OrderInfo, MixedClassesAndStableTies) {
    // Three qubits: qubits 0 and 2 share a key larger than that of qubit 1.
    StateVec v = StateVec::zeros(3);
    v.re[1] = v.re[4] = 0.5;  // singles of qubits 0 and 2
    v.re[2] = 0.25;           // single of qubit 1
    v.re[6] = v.re[3] = 0.125;  // complements of qubits 0 and 2
    OrderInfo oi = v.get_orderinfo();
    EXPECT_EQ(oi.as_bits().first, Permut32::from_iter(std::vector<int>{1, 0, 2}));
    EXPECT_EQ(oi.as_bits().second, 2);  // positions 1 and 2 share a class
    EXPECT_EQ(oi.first_eqclass(), 1u);
    EXPECT_EQ(oi.first_eqclass_after(1), 1u);
    EXPECT_EQ(oi.first_eqclass_after(2), std::nullopt);
    EXPECT_EQ(oi.as_perms(), (std::vector<Permut32>{Permut32::from_iter(std::vector<int>{1, 0, 2}),
                                                    Permut32::from_iter(std::vector<int>{1, 2, 0})}));
}

TEST(OrderInfo, OrderFollowsRelabelling) {
    auto rng = test_rng(32);
    for (unsigned n : {2u, 3u, 5u, 8u}) {
        StateVec v = StateVec::from_random(rng, n);
        Permut32 g = v.get_permutation();
        for (Permut32 p : {Permut32::all(n).back(), Permut32::all(n)[1]}) {
            StateVec w = v.clone();
            w.apply_permutation(p);
            EXPECT_EQ(w.get_permutation(), p * g) << n;
        }
        // Relabelled by the inverse, the state is in its own canonical order.
        v.apply_permutation(g.inverse());
        EXPECT_TRUE(v.get_permutation().is_identity());
    }
}

TEST(StateVec, ShortPermutationKeepsHigherQubits) {
    // A permutation shorter than the qubit count leaves the remaining qubits
    // in place instead of folding their amplitudes together.
    auto rng = test_rng(14);
    StateVec v = raw_random(rng, 3);
    StateVec w = v.clone();
    w.apply_permutation(Permut32::from_iter(std::vector<int>{1, 0}));
    StateVec x = v.clone();
    x.apply_permutation(Permut32::from_iter(std::vector<int>{1, 0, 2}));
    EXPECT_EQ(w.re, x.re);
    EXPECT_EQ(w.im, x.im);
    EXPECT_EQ(internal_error_of([&] { w.apply_permutation(Permut32::identity(4)); }), "assertion failed: p.len() <= nq");
}

TEST(Grid, FastReprEqualsPercisionRepr) {
    auto rng = test_rng(41);
    std::vector<double> xs = {0.0, -0.0, 1.0, -1.0, 0x1p-25, -0x1p-25, 3 * 0x1p-25, -3 * 0x1p-25, 1e-9, -1e-6,
                              1e12, -1e13, 0x1p38, 0x1p39, -0x1p39, 0x1p62, 1e300, -1e300, INFINITY, -INFINITY, NAN,
                              0x1p-24 * 2.5, -0x1p-24 * 2.5, 0x1p-24 * 0.49999999999999994, 0x1p28 + 0.5};
    for (int i = 0; i < 100000; ++i) {
        double u = rng.next_f64() * 2 - 1;
        xs.push_back(u);
        xs.push_back(u * 1e-7);
        xs.push_back((std::floor(u * 1e6) + 0.5) * 0x1p-24);  // exact halves on the grid
        xs.push_back(std::nextafter((std::floor(u * 1e6) + 0.5) * 0x1p-24, 0.0));
    }
    for (double x : xs) ASSERT_EQ(grid_repr(x), percision_repr(x)) << x;
}

TEST(OrderInfo, CanonicalOrderEqualsOrderInfoBits) {
    auto rng = test_rng(42);
    std::vector<StateVec> states;
    for (unsigned n = 0; n <= 8; ++n) {
        states.push_back(StateVec::from_random(rng, n));
        states.push_back(StateVec::from_random_symmetric(rng, n));
        StateVec partly = StateVec::from_random_symmetric(rng, n);  // break the symmetry of one qubit
        if (n >= 2) partly.apply(Instr32(gates::H, uint8_t(n / 2)));
        states.push_back(partly);
    }
    states.push_back(StateVec({0.1, 0.5, 0.2, 0.3}, {0, 0, 0, 0}));
    // Keys that tie on their first components and split on a later one.
    StateVec t = StateVec::zeros(3);
    t.re[1] = t.re[2] = t.re[4] = 0.5;  // every first component ties
    t.im[1] = 0.1, t.im[2] = 0.05, t.im[4] = 0.1;  // qubit 1 first; 0 and 2 tie on two
    t.re[6] = 0.3, t.re[5] = 0.3, t.re[3] = 0.3;
    t.im[6] = 0.2, t.im[5] = 0.2, t.im[3] = 0.1;  // qubit 2 (complement 3) before qubit 0
    states.push_back(t);
    EXPECT_EQ(t.canonical_order().first, Permut32::from_iter(std::vector<int>{1, 2, 0}));
    t.im[3] = 0.2;  // now qubits 0 and 2 have equal keys
    states.push_back(t);
    EXPECT_EQ(t.canonical_order(), std::make_pair(Permut32::from_iter(std::vector<int>{1, 0, 2}), uint8_t(2)));
    for (const auto &v : states) EXPECT_EQ(v.canonical_order(), v.get_orderinfo().as_bits()) << v.text();
}

TEST(StateVec, AssignRelabelledEqualsCopyThenRelabel) {
    auto rng = test_rng(15);
    StateVec target = StateVec::zeros(1);  // reused arrays of another size
    for (unsigned n : {0u, 1u, 3u, 5u}) {
        StateVec v = raw_random(rng, n);
        for (Permut32 p : Permut32::all(n)) {
            StateVec w = v.clone();
            w.apply_permutation(p);
            target.assign_relabelled(v, p);
            ASSERT_EQ(target.re, w.re);
            ASSERT_EQ(target.im, w.im);
        }
    }
}

TEST(OrderInfo, InlinePermutationHelpers) {
    for (unsigned n = 0; n <= 5; ++n)
        for (Permut32 a : Permut32::all(n)) {
            EXPECT_EQ(inverse_unchecked(a), a.inverse());
            for (Permut32 b : {Permut32::all(n).front(), Permut32::all(n).back()}) EXPECT_EQ(compose_unchecked(a, b), a * b);
        }
}
