#include "search/evaluator.h"

#include <absl/container/flat_hash_map.h>

#include <array>
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
        for (const Instr32 &c : instrs) forward.push_back({c.qargs, c.gate, lookup(c.gate).kernel});
        for (std::size_t i = instrs.size(); i-- > 0;) {
            const Resolved &r = lookup(instrs[i].gate);
            backward.push_back({instrs[i].qargs, r.adjoint, r.adjoint_kernel});
        }
    }

   private:
    // What a gate resolves to; remembered for the low gate indices (where the
    // built-ins with kernels sit), which never change once the gate exists.
    struct Resolved {
        GateKernel kernel = nullptr, adjoint_kernel = nullptr;
        Gate16 adjoint;
        bool known = false;
    };
    std::array<Resolved, 32> low_{};
    Resolved other_;

    const Resolved &lookup(Gate16 g) {
        Resolved &r = g.idx < low_.size() ? low_[g.idx] : other_;
        if (!r.known || &r == &other_) {
            r.kernel = gate_kernel(g);
            r.adjoint = cached_adjoint(g);
            r.adjoint_kernel = gate_kernel(r.adjoint);
            r.known = true;
        }
        return r;
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

// Running the backward circuit on the relabelled backtrack state R(m) b is
// the same, amplitude for amplitude, as running it with every qubit argument
// p renamed to m^-1[p] on b itself and relabelling the result by m: each
// kernel computes every amplitude group from the same values with the same
// operations, only at permuted indices. So a candidate is worked out on
// X = (renamed circuit) b without moving amplitudes:
//  - normalize_arg takes amplitude 0 or N - 1 as its reference, and both stay
//    in place under relabelling; only the amplitude-sum fallback depends on
//    the index order, and that rare case relabels X by m and goes the long way;
//  - the qubit keys travel with the qubits, so when X's canonical order is f
//    the order of R(m) X is m * f (ties in one are ties in the other);
//  - relabelling R(m) X by (m * f)^-1 gives R(f^-1) X, read through the index
//    table of f.
//
// Two labellings m1, m2 whose quotient only moves qubits that no instruction
// touches rename the circuit identically, so X and the candidate state are
// bitwise the same; only the front permutation m * f differs. Such
// labellings reuse the first one's result.
struct Seen {
    Permut32 order;        // canonical order f of X
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

// Working space of one evaluation.
struct Scratch {
    StateVec x;           // the backtrack state run backward, unrelabelled
    StateVec relabelled;  // R(m) X, for the amplitude-sum fallback only
    Best best;
    SeenMap seen;
};

// X = the backward circuit with qubit p renamed to inv[p], run on a copy of b.
void run_renamed(const Plan &plan, const uint8_t *inv, const StateVec &b, StateVec &x) {
    x.re.assign(b.re.begin(), b.re.end());
    x.im.assign(b.im.begin(), b.im.end());
    for (const Step &s : plan.backward) {
        Step r = s;
        // The forward run has checked every argument against the qubit count.
        for (unsigned i = 0, k = s.qargs.len(); i < k; ++i) r.qargs.q[i] = inv[s.qargs.q[i]];
        r.run(x);
    }
}

// The evaluation proper. `forward` receives the phase-canonical forward
// state, `w.best` the canonical state and `perms` every pair that produced it.
void evaluate_into(const Evaluator &e, const Plan &plan, StateVec &forward, Scratch &w, PermPairs &perms) {
    copy_into(forward, e.initial_state);
    for (const Step &s : plan.forward) s.run(forward);
    forward.normalize_arg();

    const unsigned nq = forward.nqubits();
    // erase keeps a heap buffer from earlier calls (clear would free it).
    perms.erase(perms.begin(), perms.end());
    Best &best = w.best;
    best.have = false;
    auto [base, mask] = forward.canonical_order();

    // Untouched qubits can only be exchanged among themselves when two or
    // more of them share a class; otherwise there is nothing to reuse.
    uint32_t untouched = nq <= 8 ? (1u << nq) - 1 : 0;
    for (const Step &s : plan.forward)
        for (unsigned i = 0, k = s.qargs.len(); i < k; ++i) untouched &= ~(1u << (s.qargs.q[i] & 31));
    const bool reuse = mask != 0 && std::popcount(untouched) >= 2;
    if (reuse) w.seen.clear();
    uint32_t epoch = 0;

    for_each_labelling(base, mask, [&](Permut32 back_perm_inv) {
        const Permut32 back_perm = inverse_unchecked(back_perm_inv);
        uint32_t sig = 0;
        if (reuse) {
            sig = untouched_signature(back_perm_inv, untouched);
            auto it = w.seen.find(sig);
            if (it != w.seen.end()) {
                // Same candidate state: equal to the best exactly when that one's was.
                if (it->second.equal_epoch == epoch)
                    perms.push_back({compose_unchecked(back_perm_inv, it->second.order), back_perm});
                return;
            }
        }
        uint8_t inv[8];
        for (unsigned r = 0; r < nq; ++r) inv[r] = back_perm.get(r);
        StateVec &x = w.x;
        run_renamed(plan, inv, e.backtrack_state, x);
        const std::size_t last = x.len() - 1;
        const bool fixed_reference =
            !(near_zero(x.re[0]) && near_zero(x.im[0]) && near_zero(x.re[last]) && near_zero(x.im[last]));
        uint32_t src[256];
        Permut32 front_perm, order;
        const StateVec *cand = &x;
        if (fixed_reference) {
            x.normalize_arg();
            auto [f, eq] = x.canonical_order();
            if (eq != 0) fail("Non-deterministic front permutation detected during evaluation");
            order = f;
            front_perm = compose_unchecked(back_perm_inv, f);
            relabel_index_table(f, nq, src);
        } else {
            // The amplitude sum is taken in index order: relabel first.
            StateVec &y = w.relabelled;
            y.assign_relabelled(x, back_perm_inv);
            y.normalize_arg();
            auto [f, eq] = y.canonical_order();
            if (eq != 0) fail("Non-deterministic front permutation detected during evaluation");
            front_perm = f;
            relabel_index_table(f, nq, src);
            cand = &y;
        }
        const int c = best.have ? best.compare(*cand, src) : -1;
        if (c < 0) {
            best.take(*cand, src);
            ++epoch;
            perms.erase(perms.begin(), perms.end());
            perms.push_back({front_perm, back_perm});
        } else if (c == 0) {
            perms.push_back({front_perm, back_perm});
        }
        if (reuse && fixed_reference) w.seen[sig] = Seen{order, c <= 0 ? epoch : NEVER};
    });
}

struct KeyScratch {
    Plan plan;
    StateVec forward;
    Scratch w;
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
    Scratch w;
    evaluate_into(*this, plan, r.state, w, r.perms);
    r.canonical = StateVec(std::move(w.best.re), std::move(w.best.im));
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
    evaluate_into(*this, s.plan, s.forward, s.w, perms);
    return s.w.best.hash();
}

}  // namespace dravik
