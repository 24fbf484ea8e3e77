#include "search/evaluator.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <complex>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

#include "state/order_info.h"
#include "utils/chacha.h"
#include "utils/error.h"
#include "utils/test_support.h"

using namespace dravik;
using namespace dravik::test_support;

// Heap allocations made by the current thread while counting is on.
namespace {
thread_local bool count_allocations = false;
thread_local std::size_t allocations = 0;
}  // namespace

void *operator new(std::size_t n) {
    if (count_allocations) ++allocations;
    if (void *p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }

namespace {

// A deterministic random circuit over {h, x, s, t, tdg, cx} on n qubits.
std::vector<Instr32> random_circuit(ChaCha12Rng &rng, unsigned n, unsigned len) {
    const Gate16 one[] = {gates::H, gates::X, gates::S, gates::T, gates::TDG};
    std::vector<Instr32> c;
    for (unsigned i = 0; i < len; ++i) {
        uint8_t a = uint8_t(rng.next_u32() % n);
        if (n >= 2 && rng.next_u32() % 3 == 0) {
            uint8_t b = uint8_t((a + 1 + rng.next_u32() % (n - 1)) % n);
            c.push_back(Instr32(gates::CX, a, b));
        } else {
            c.push_back(Instr32(one[rng.next_u32() % 5], a));
        }
    }
    return c;
}

std::vector<Instr32> renamed(const std::vector<Instr32> &c, Permut32 p) {
    std::vector<Instr32> out;
    for (auto &i : c) out.push_back(i.apply_permutation(p));
    return out;
}

// SWAP gates that act as the relabelling R(p) (qubit j moves to p[j]):
// right-multiplying p by transpositions t_1, t_2, ... until it is the identity
// gives p = t_m * ... * t_1, and R(p) applies t_1 first.
std::vector<Instr32> relabel_gates(Permut32 p) {
    std::vector<Instr32> out;
    Permut32 w = p;
    for (unsigned i = 0; i < p.len(); ++i) {
        if (w.get(i) == i) continue;
        unsigned j = i + 1;
        while (w.get(j) != i) ++j;
        Permut32 t = Permut32::identity(p.len());
        t.swap_inputs(i, j);
        w = w * t;  // now fixes 0..i
        out.push_back(Instr32(gates::SWAP, uint8_t(i), uint8_t(j)));
    }
    return out;
}

std::vector<PermPair> sorted_pairs(const PermPairs &p) {
    std::vector<PermPair> v(p.begin(), p.end());
    std::sort(v.begin(), v.end());
    return v;
}

// The evaluation written out step by step, with no shortcuts: every
// candidate labelling is run, relabelled through the scratch cache and
// compared as a whole state.
EvalResult reference_evaluation(const Evaluator &e, const std::vector<Instr32> &c) {
    const unsigned n = e.nqubits();
    EvalResult r;
    r.state = e.initial_state;
    for (const Instr32 &i : c) r.state.apply(i.qargs, i.gate);
    r.state.normalize_arg();
    bool have = false;
    for (Permut32 back_perm_inv : r.state.get_orderinfo().as_perms()) {
        StateVec bs = e.backtrack_state;
        reserve_state_vec_cache(n);
        bs.apply_permutation(back_perm_inv);
        for (auto it = c.rbegin(); it != c.rend(); ++it) bs.apply(it->qargs, it->gate.adjoint());
        bs.normalize_arg();
        auto [front, eq] = bs.get_orderinfo().as_bits();
        if (eq != 0) fail("Non-deterministic front permutation detected during evaluation");
        reserve_state_vec_cache(n);
        bs.apply_permutation(front.inverse());
        const int cmp = have ? bs.compare(r.canonical) : -1;
        if (cmp < 0) {
            r.canonical = bs;
            r.perms.clear();
            r.perms.push_back({front, back_perm_inv.inverse()});
            have = true;
        } else if (cmp == 0) {
            r.perms.push_back({front, back_perm_inv.inverse()});
        }
    }
    return r;
}

// Both evaluation paths agree bit for bit with the written-out reference.
void expect_matches_reference(const Evaluator &e, const std::vector<Instr32> &c) {
    EvalResult got = e.evaluate_multiple(c), want = reference_evaluation(e, c);
    const std::string where = std::to_string(e.nqubits()) + ": " + instrs_text(c);
    ASSERT_EQ(got.canonical.re, want.canonical.re) << where;
    ASSERT_EQ(got.canonical.im, want.canonical.im) << where;
    ASSERT_EQ(got.state.re, want.state.re) << where;
    ASSERT_EQ(std::vector<PermPair>(got.perms.begin(), got.perms.end()),
              std::vector<PermPair>(want.perms.begin(), want.perms.end()))
        << where;
    PermPairs perms;
    ASSERT_EQ(e.evaluate_key(c, perms), want.canonical.hash_value()) << where;
    ASSERT_EQ(std::vector<PermPair>(perms.begin(), perms.end()),
              std::vector<PermPair>(want.perms.begin(), want.perms.end()))
        << where;
}

}  // namespace

TEST(Evaluator, RelabelGatesHelperIsTheRelabelling) {
    ChaCha12Rng rng({5, 5, 5, 5, 5, 5, 5, 5});
    StateVec v = StateVec::from_random(rng, 4);
    for (Permut32 p : Permut32::all(4)) {
        StateVec a = v.clone(), b = v.clone();
        for (auto &g : relabel_gates(p)) a.apply(g);
        b.apply_permutation(p);
        ASSERT_EQ(a, b) << p.text();
    }
}

TEST(Evaluator, ConstructionAndLimits) {
    for (unsigned n = 0; n <= 8; ++n) {
        Evaluator e = Evaluator::from_random(n);
        EXPECT_EQ(e.nqubits(), n);
        EXPECT_TRUE(e.initial_state.check());
        EXPECT_TRUE(e.backtrack_state.check());
        // The backtrack state sits in its own canonical qubit order.
        EXPECT_TRUE(e.backtrack_state.get_permutation().is_identity());
    }
    EXPECT_EQ(internal_error_of([] { Evaluator::from_random(9); }), "Evaluator supports at most 8 qubits, got 9");
    EXPECT_EQ(internal_error_of([] { Evaluator::from_random(32); }),
              "Number of qubits too large, resulting in overflow for state vector size.");
    EXPECT_TRUE(Evaluator::from_random(0) == Evaluator::from_random(0));
    EXPECT_FALSE(Evaluator::from_random(1) == Evaluator::from_random(1));
}

TEST(Evaluator, EmptyCircuitListsEveryLabelling) {
    for (unsigned n : {0u, 1u, 3u, 4u}) {
        Evaluator e = Evaluator::from_random(n);
        EvalResult r = e.evaluate_multiple({});
        EXPECT_EQ(r.canonical.hash_value(), e.initial_key());
        EXPECT_EQ(r.state, e.initial_state);
        std::size_t fact = 1;
        for (unsigned i = 2; i <= n; ++i) fact *= i;
        ASSERT_EQ(r.perms.size(), fact);
        // The canonical state is the backtrack state itself: every labelling
        // of the symmetric state leads back to it.
        EXPECT_EQ(r.canonical, e.backtrack_state);
        for (auto [front, back] : r.perms) EXPECT_EQ(front, back.inverse()) << n;
        if (n == 0) EXPECT_EQ(r.perms[0], PermPair(Permut32(), Permut32()));
    }
}

TEST(Evaluator, SmallInvariances) {
    Evaluator e = Evaluator::from_random(2);
    auto key = [&](std::vector<Instr32> c) { return std::get<0>(e.evaluate(c)).hash_value(); };
    EXPECT_EQ(key({Instr32(gates::X, 0)}), key({Instr32(gates::X, 1)}));
    EXPECT_EQ(key({Instr32(gates::CX, 0, 1)}), key({Instr32(gates::CX, 1, 0)}));
    EXPECT_NE(key({Instr32(gates::CX, 0, 1)}), key({Instr32(gates::X, 1)}));
    std::vector<Instr32> c = {Instr32(gates::H, 0), Instr32(gates::CX, 0, 1), Instr32(gates::T, 1)};
    auto zz = c;
    zz.push_back(Instr32(gates::Z, 0));
    zz.push_back(Instr32(gates::Z, 0));
    EXPECT_EQ(key(c), key(zz));
    // A gate that only multiplies every state by a global phase.
    const std::complex<double> u = std::polar(1.0, 0.7);
    Gate16 phase = Gate16::create("gphase", {}, CMatrix::from_rows({{u, 0}, {0, u}}));
    auto ph = c;
    ph.push_back(Instr32(phase, 1));
    EXPECT_EQ(key(c), key(ph));
    // A swap at the end is a relabelling of the output: same key.
    auto sw = c;
    sw.push_back(Instr32(gates::SWAP, 0, 1));
    EXPECT_EQ(key(c), key(sw));
}

TEST(Evaluator, RelabelledCircuitsShareKeyAndRelatedPerms) {
    // V = R(sigma) U R(tau): same key; U's pair (f, b) becomes
    // (tau^-1 * f, b * sigma^-1).
    ChaCha12Rng rng({9, 8, 7, 6, 5, 4, 3, 2});
    for (unsigned n : {2u, 3u, 4u, 5u, 6u, 8u}) {
        Evaluator e = Evaluator::from_random(n);
        const auto &all = Permut32::all(n);
        for (int trial = 0; trial < 6; ++trial) {
            auto u = random_circuit(rng, n, 4 + trial);
            Permut32 sigma = all[rng.next_u32() % all.size()], tau = all[rng.next_u32() % all.size()];
            std::vector<Instr32> v = relabel_gates(tau);
            v.insert(v.end(), u.begin(), u.end());
            for (auto &g : relabel_gates(sigma)) v.push_back(g);
            EvalResult ru = e.evaluate_multiple(u), rv = e.evaluate_multiple(v);
            ASSERT_EQ(ru.canonical.hash_value(), rv.canonical.hash_value()) << n;
            PermPairs expect;
            for (auto [f, b] : ru.perms) expect.push_back({tau.inverse() * f, b * sigma.inverse()});
            EXPECT_EQ(sorted_pairs(rv.perms), sorted_pairs(expect)) << n;
            // Renaming every qubit argument by pi: sigma = pi, tau = pi^-1.
            Permut32 pi = all[rng.next_u32() % all.size()];
            EvalResult rr = e.evaluate_multiple(renamed(u, pi));
            EXPECT_EQ(rr.canonical.hash_value(), ru.canonical.hash_value());
            PermPairs expect2;
            for (auto [f, b] : ru.perms) expect2.push_back({pi * f, b * pi.inverse()});
            EXPECT_EQ(sorted_pairs(rr.perms), sorted_pairs(expect2)) << n;
        }
    }
}

TEST(Evaluator, DifferentCircuitsDifferentKeys) {
    Evaluator e = Evaluator::from_random(3);
    std::vector<std::vector<Instr32>> cs = {
        {}, {Instr32(gates::H, 0)}, {Instr32(gates::T, 0)}, {Instr32(gates::CX, 0, 1)},
        {Instr32(gates::H, 0), Instr32(gates::H, 1)}, {Instr32(gates::H, 0), Instr32(gates::CX, 0, 1)},
        {Instr32(gates::H, 0), Instr32(gates::CX, 1, 0)},
    };
    std::vector<uint64_t> keys;
    for (auto &c : cs) keys.push_back(std::get<0>(e.evaluate(c)).hash_value());
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end());
}

TEST(Evaluator, EvaluateKeyMatchesEvaluateMultiple) {
    ChaCha12Rng rng({1, 2, 3, 4, 5, 6, 7, 8});
    for (unsigned n = 1; n <= 8; ++n) {
        Evaluator e = Evaluator::from_random(n);
        PermPairs perms;
        for (int trial = 0; trial < 20; ++trial) {
            // Short circuits leave many qubits symmetric: n! labellings at most,
            // so keep them to the smaller counts.
            auto c = random_circuit(rng, n, unsigned(trial % 7) + (n > 5 ? 8 : 0));
            EvalResult r = e.evaluate_multiple(c);
            uint64_t k = e.evaluate_key(c, perms);
            ASSERT_EQ(k, r.canonical.hash_value());
            ASSERT_EQ(std::vector<PermPair>(perms.begin(), perms.end()),
                      std::vector<PermPair>(r.perms.begin(), r.perms.end()));
            auto [canon, front, back, fwd] = e.evaluate(c);
            EXPECT_EQ(canon, r.canonical);
            EXPECT_EQ(PermPair(front, back), r.perms.front());
            EXPECT_EQ(fwd, r.state);
        }
        if (n <= 5) EXPECT_EQ(e.evaluate_key({}, perms), e.initial_key());
    }
}

TEST(Evaluator, EvaluateKeyFromManyThreads) {
    Evaluator e = Evaluator::from_random(4);
    ChaCha12Rng rng({4, 4, 4, 4, 4, 4, 4, 4});
    std::vector<std::vector<Instr32>> cs;
    for (int i = 0; i < 64; ++i) cs.push_back(random_circuit(rng, 4, unsigned(i % 6)));
    std::vector<uint64_t> expect;
    for (auto &c : cs) expect.push_back(e.evaluate_multiple(c).canonical.hash_value());
    std::vector<std::vector<uint64_t>> got(4);
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            PermPairs perms;
            for (int rep = 0; rep < 20; ++rep)
                for (std::size_t i = 0; i < cs.size(); ++i) {
                    std::size_t j = (i + std::size_t(t) * 13) % cs.size();
                    if (rep == 0) got[t].resize(cs.size());
                    got[t][j] = e.evaluate_key(cs[j], perms);
                }
        });
    for (auto &th : threads) th.join();
    for (auto &g : got) EXPECT_EQ(g, expect);
}

TEST(Evaluator, FailuresAreClean) {
    Evaluator e = Evaluator::from_random(2);
    PermPairs perms;
    std::vector<Instr32> bad = {Instr32(gates::H, 0), Instr32(gates::CX, 0, 2)};
    EXPECT_EQ(internal_error_of([&] { e.evaluate_multiple(bad); }), "index out of bounds: the len is 4 but the index is 4");
    EXPECT_EQ(internal_error_of([&] { e.evaluate_key(bad, perms); }), "index out of bounds: the len is 4 but the index is 4");
    // A symmetric backtrack state cannot fix a front labelling.
    Evaluator sym = e;
    sym.backtrack_state = sym.initial_state;
    EXPECT_EQ(internal_error_of([&] { sym.evaluate_multiple({}); }),
              "Non-deterministic front permutation detected during evaluation");
    EXPECT_EQ(internal_error_of([&] { sym.evaluate_key({}, perms); }),
              "Non-deterministic front permutation detected during evaluation");
}

TEST(Evaluator, EvaluateKeyDoesNotAllocateOnceWarm) {
    for (unsigned n : {3u, 5u}) {
        Evaluator e = Evaluator::from_random(n);
        ChaCha12Rng rng({3, 1, 4, 1, 5, 9, 2, 6});
        std::vector<std::vector<Instr32>> cs;
        for (int i = 0; i < 32; ++i) cs.push_back(random_circuit(rng, n, 6));
        PermPairs perms;
        // Warm the per-thread scratch and the caller's pair buffer.
        for (auto &c : cs) e.evaluate_key(c, perms);
        std::size_t single = 0, several = 0;
        for (auto &c : cs) {
            allocations = 0;
            count_allocations = true;
            e.evaluate_key(c, perms);
            count_allocations = false;
            EXPECT_EQ(allocations, 0u) << instrs_text(c);
            ++(perms.size() == 1 ? single : several);
        }
        EXPECT_GT(single, 0u);
        EXPECT_GT(several, 0u);
    }
}

TEST(Evaluator, MatchesStepByStepEvaluation) {
    // Circuits on a subset of the qubits leave classes of untouched qubits:
    // many labellings, equal candidate states, several pairs.
    ChaCha12Rng rng({2, 7, 1, 8, 2, 8, 1, 8});
    for (unsigned n = 0; n <= 6; ++n) {
        Evaluator e = Evaluator::from_random(n);
        for (int trial = 0; trial < 24; ++trial) {
            // A circuit on qubits 0..used-1, its qubits then renamed at random.
            std::vector<Instr32> c;
            if (n > 0) {
                const unsigned used = 1 + rng.next_u32() % n;
                const auto &all = Permut32::all(n);
                c = renamed(random_circuit(rng, used, unsigned(trial % 7)), all[rng.next_u32() % all.size()]);
            }
            ASSERT_NO_FATAL_FAILURE(expect_matches_reference(e, c));
        }
    }
}

TEST(Evaluator, ZeroReferenceAmplitudesMatchStepByStep) {
    // A backtrack state whose first and last amplitudes are zero makes
    // normalize_arg fall back to the amplitude sum, whose summation order
    // follows the relabelling; with the sum cancelled too, to the first
    // non-zero amplitude. Diagonal gates keep those amplitudes zero, x, h and
    // cx move them; circuits on some qubits give many labellings.
    ChaCha12Rng rng({6, 0, 2, 2, 1, 4, 0, 8});
    const Gate16 one[] = {gates::T, gates::TDG, gates::S, gates::Z, gates::X, gates::H};
    for (unsigned n = 2; n <= 5; ++n)
        for (bool cancel_sum : {false, true}) {
            Evaluator e = Evaluator::from_random(n);
            StateVec &b = e.backtrack_state;
            const std::size_t last = b.len() - 1;
            b.re[0] = b.im[0] = b.re[last] = b.im[last] = 0.0;
            if (cancel_sum) {
                double sr = 0, si = 0;
                for (std::size_t i = 1; i < last; ++i) sr += b.re[i], si += b.im[i];
                for (std::size_t i = 1; i < last; ++i) b.re[i] -= sr / double(last - 1), b.im[i] -= si / double(last - 1);
            }
            for (int trial = 0; trial < 40; ++trial) {
                const unsigned used = 1 + rng.next_u32() % n, len = rng.next_u32() % 6;
                std::vector<Instr32> c;
                for (unsigned i = 0; i < len; ++i) {
                    const uint8_t a = uint8_t(rng.next_u32() % used);
                    if (used >= 2 && rng.next_u32() % 5 == 0)
                        c.push_back(Instr32(gates::CX, a, uint8_t((a + 1 + rng.next_u32() % (used - 1)) % used)));
                    else
                        c.push_back(Instr32(one[rng.next_u32() % (trial % 2 ? 4 : 6)], a));
                }
                const std::string want_error = internal_error_of([&] { reference_evaluation(e, c); });
                if (!want_error.empty()) {
                    EXPECT_EQ(internal_error_of([&] { e.evaluate_multiple(c); }), want_error);
                    continue;
                }
                ASSERT_NO_FATAL_FAILURE(expect_matches_reference(e, c));
            }
        }
}
