#include "search/evaluator.h"

#include <string>
#include <vector>

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

void relabel(StateVec &v, Permut32 p) {
    if (p.is_identity()) return;  // the identity leaves every amplitude in place
    reserve_state_vec_cache(v.nqubits());
    v.apply_permutation(p);
}

void copy_into(StateVec &dst, const StateVec &src) {
    dst.re.assign(src.re.begin(), src.re.end());
    dst.im.assign(src.im.begin(), src.im.end());
}

// The evaluation proper. `forward` receives the phase-canonical forward
// state, `best` the canonical state, `perms` every pair that produced it;
// `candidate` is working space.
void evaluate_into(const Evaluator &e, const Plan &plan, StateVec &forward, StateVec &candidate, StateVec &best,
                   PermPairs &perms) {
    copy_into(forward, e.initial_state);
    for (const Step &s : plan.forward) s.run(forward);
    forward.normalize_arg();

    perms.clear();
    bool have = false;
    auto [base, mask] = forward.canonical_order();
    for_each_labelling(base, mask, [&](Permut32 back_perm_inv) {
        candidate.assign_relabelled(e.backtrack_state, back_perm_inv);
        for (const Step &s : plan.backward) s.run(candidate);
        candidate.normalize_arg();
        auto [front_perm, front_perm_eq] = candidate.canonical_order();
        if (front_perm_eq != 0) fail("Non-deterministic front permutation detected during evaluation");
        relabel(candidate, front_perm.inverse());
        const int c = have ? candidate.compare(best) : -1;
        if (c < 0) {
            std::swap(best, candidate);
            perms.clear();
            perms.push_back({front_perm, back_perm_inv.inverse()});
            have = true;
        } else if (c == 0) {
            perms.push_back({front_perm, back_perm_inv.inverse()});
        }
    });
}

struct KeyScratch {
    Plan plan;
    StateVec forward, candidate, best;
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
    evaluate_into(*this, plan, r.state, candidate, r.canonical, r.perms);
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
    evaluate_into(*this, s.plan, s.forward, s.candidate, s.best, perms);
    return s.best.hash_value();
}

}  // namespace dravik
