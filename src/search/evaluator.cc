#include "search/evaluator.h"

#include <absl/container/flat_hash_map.h>

#include <bit>
#include <string>
#include <vector>

#include "qreal.h"

#include "state/grid.h"
#include "state/kernels.h"
#include "state/order_info.h"
#include "utils/error.h"

namespace dravik {

namespace {

// The class-pattern table covers eight positions, as many as a Permut32 holds.
constexpr unsigned MAX_EVAL_QUBITS = ORDER_POSITIONS;

// One gate application, resolved once per evaluation: the kernel when the
// gate has one, the dense-matrix path otherwise.
struct Step {
    QArgs16 qargs;
    Gate16 gate;
    GateKernel kernel;

    void run(StateVec &v) const {
        if (kernel) kernel(v, qargs.q, qargs.len());
        else v.apply(qargs, gate);
    }
};

struct Plan {
    std::vector<Step> forward, backward;  // backward: adjoints, last instruction first

    void build(std::span<const Instr32> instrs) {
        forward.clear();
        backward.clear();
        for (const Instr32 &c : instrs) forward.push_back({c.qargs, c.gate, gate_kernel(c.gate)});
        for (std::size_t i = instrs.size(); i-- > 0;) {
            Gate16 adj = cached_adjoint(instrs[i].gate);
            backward.push_back({instrs[i].qargs, adj, gate_kernel(adj)});
        }
    }
};

void copy_into(StateVec &dst, const StateVec &src) {
    dst.re.assign(src.re.begin(), src.re.end());
    dst.im.assign(src.im.begin(), src.im.end());
}

// The smallest candidate so far, kept in relabelled order as doubles and as
// grid values: comparisons and the final hash read it without re-rounding.
struct Best {
    std::vector<double> re, im;
    std::vector<uint64_t> re_grid, im_grid;
    bool have = false;

    // Candidate `c` read through `src` (position j holds amplitude src[j]),
    // against the best under the StateVec order: re first, then im.
    int compare(const StateVec &c, const uint32_t *src) const {
        const std::size_t n = re.size();
        for (std::size_t j = 0; j < n; ++j) {
            const double x = c.re[src[j]];
            if (x == re[j]) continue;  // equal doubles share their grid cell
            const uint64_t g = grid_repr(x);
            if (g != re_grid[j]) return g < re_grid[j] ? -1 : 1;
        }
        for (std::size_t j = 0; j < n; ++j) {
            const double y = c.im[src[j]];
            if (y == im[j]) continue;
            const uint64_t g = grid_repr(y);
            if (g != im_grid[j]) return g < im_grid[j] ? -1 : 1;
        }
        return 0;
    }

    void take(const StateVec &c, const uint32_t *src) {
        const std::size_t n = c.len();
        re.resize(n);
        im.resize(n);
        re_grid.resize(n);
        im_grid.resize(n);
        for (std::size_t j = 0; j < n; ++j) {
            re[j] = c.re[src[j]];
            im[j] = c.im[src[j]];
            re_grid[j] = grid_repr(re[j]);
            im_grid[j] = grid_repr(im[j]);
        }
        have = true;
    }

    uint64_t hash() const { return StateVec::hash_of_grid(re_grid.data(), im_grid.data(), re.size()); }
};

// A candidate labelling already run backward. Two labellings m1, m2 whose
// quotient tau = m2 * m1^-1 only moves qubits that no instruction touches give
// bitwise the same candidate state: every gate commutes exactly with R(tau)
// (same arithmetic on moved amplitudes), normalize_arg takes amplitude 0 or
// N - 1 as its reference (both fixed by tau; the amplitude-sum fallback is
// excluded because its summation order would change), the qubit keys travel
// with the qubits, so front_perm becomes tau * front_perm and relabelling by
// its inverse lands on the same amplitudes. Such labellings reuse the result.
struct Seen {
    Permut32 labelling, front;
    uint32_t equal_epoch;  // the best-state epoch it equalled, or NEVER
};
constexpr uint32_t NEVER = UINT32_MAX;

// The labelling with every untouched qubit replaced by a wildcard: equal
// signatures differ only by a permutation of untouched qubits.
uint32_t untouched_signature(Permut32 m, uint32_t untouched) {
    uint32_t sig = 0;
    for (unsigned r = 0; r < m.len(); ++r) {
        const unsigned q = m.get(r);
        sig |= (untouched >> q & 1 ? 0xFu : q) << (4 * r);
    }
    return sig;
}

using SeenMap = absl::flat_hash_map<uint32_t, Seen>;

// The evaluation proper. `forward` receives the phase-canonical forward
// state, `best` the canonical state and `perms` every pair that produced it;
// `candidate` and `seen` are working space.
void evaluate_into(const Evaluator &e, const Plan &plan, StateVec &forward, StateVec &candidate, Best &best,
                   PermPairs &perms, SeenMap &seen) {
    copy_into(forward, e.initial_state);
    for (const Step &s : plan.forward) s.run(forward);
    forward.normalize_arg();

    const unsigned nq = forward.nqubits();
    perms.clear();
    best.have = false;
    auto [base, mask] = forward.canonical_order();

    // Untouched qubits can only be exchanged among themselves when two or
    // more of them share a class; otherwise there is nothing to reuse.
    uint32_t untouched = nq <= 8 ? (1u << nq) - 1 : 0;
    for (const Step &s : plan.forward)
        for (unsigned i = 0, k = s.qargs.len(); i < k; ++i) untouched &= ~(1u << (s.qargs.q[i] & 31));
    const bool reuse = mask != 0 && std::popcount(untouched) >= 2;
    seen.clear();
    uint32_t epoch = 0;

    for_each_labelling(base, mask, [&](Permut32 back_perm_inv) {
        uint32_t sig = 0;
        if (reuse) {
            sig = untouched_signature(back_perm_inv, untouched);
            auto it = seen.find(sig);
            if (it != seen.end()) {
                const Seen &s1 = it->second;
                // Same candidate state as s1's: equal to the best exactly when s1's was.
                if (s1.equal_epoch == epoch) {
                    Permut32 tau = compose_unchecked(back_perm_inv, inverse_unchecked(s1.labelling));
                    perms.push_back({compose_unchecked(tau, s1.front), inverse_unchecked(back_perm_inv)});
                }
                return;
            }
        }
        candidate.assign_relabelled(e.backtrack_state, back_perm_inv);
        for (const Step &s : plan.backward) s.run(candidate);
        const std::size_t last = candidate.len() - 1;
        const bool fixed_reference = !(near_zero(candidate.re[0]) && near_zero(candidate.im[0]) &&
                                       near_zero(candidate.re[last]) && near_zero(candidate.im[last]));
        candidate.normalize_arg();
        auto [front_perm, front_perm_eq] = candidate.canonical_order();
        if (front_perm_eq != 0) fail("Non-deterministic front permutation detected during evaluation");
        // Relabelling by front_perm's inverse moves amplitude i to d[i]; read
        // the relabelled state through src instead of moving amplitudes.
        uint32_t d[256], src[256];
        relabel_index_table(inverse_unchecked(front_perm), nq, d);
        for (std::size_t i = 0, n = candidate.len(); i < n; ++i) src[d[i]] = uint32_t(i);
        const int c = best.have ? best.compare(candidate, src) : -1;
        if (c < 0) {
            best.take(candidate, src);
            ++epoch;
            perms.clear();
            perms.push_back({front_perm, inverse_unchecked(back_perm_inv)});
        } else if (c == 0) {
            perms.push_back({front_perm, inverse_unchecked(back_perm_inv)});
        }
        if (reuse && fixed_reference) seen[sig] = Seen{back_perm_inv, front_perm, c <= 0 ? epoch : NEVER};
    });
}

struct KeyScratch {
    Plan plan;
    StateVec forward, candidate;
    Best best;
    SeenMap seen;
};

}  // namespace

Evaluator Evaluator::from_random(unsigned nqubits) {
    if (nqubits > MAX_EVAL_QUBITS && nqubits < 32)
        fail("Evaluator supports at most " + std::to_string(MAX_EVAL_QUBITS) + " qubits, got " +
             std::to_string(nqubits));
    ChaCha12Rng rng = ChaCha12Rng::from_entropy();
    Evaluator e;
    e.initial_state = StateVec::from_random_symmetric(rng, nqubits);
    StateVec b = StateVec::from_random(rng, nqubits);
    b.normalize_arg();
    Permut32 g = b.get_permutation();
    reserve_state_vec_cache(nqubits);
    b.apply_permutation(g.inverse());
    e.backtrack_state = std::move(b);
    return e;
}

EvalResult Evaluator::evaluate_multiple(std::span<const Instr32> instrs) const {
    Plan plan;
    plan.build(instrs);
    EvalResult r;
    StateVec candidate;
    Best best;
    SeenMap seen;
    evaluate_into(*this, plan, r.state, candidate, best, r.perms, seen);
    r.canonical = StateVec(std::move(best.re), std::move(best.im));
    return r;
}

std::tuple<StateVec, Permut32, Permut32, StateVec> Evaluator::evaluate(std::span<const Instr32> instrs) const {
    EvalResult r = evaluate_multiple(instrs);
    auto [front, back] = r.perms.front();
    return {std::move(r.canonical), front, back, std::move(r.state)};
}

uint64_t Evaluator::initial_key() const { return evaluate_multiple({}).canonical.hash_value(); }

uint64_t Evaluator::evaluate_key(std::span<const Instr32> instrs, PermPairs &perms) const {
    // Per-thread working space: after the first calls nothing is allocated.
    thread_local KeyScratch s;
    s.plan.build(instrs);
    evaluate_into(*this, s.plan, s.forward, s.candidate, s.best, perms, s.seen);
    return s.best.hash();
}

}  // namespace dravik
