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

void relabel(StateVec &v, Permut32 p) {
    if (p.is_identity()) return;  // the identity leaves every amplitude in place
    reserve_state_vec_cache(v.nqubits());
    v.apply_permutation(p);
}

// Runs the adjoint circuit (last instruction first) on `state`.
void run_backward(StateVec &state, std::span<const Instr32> instrs, const Gate16 *adjoints) {
    for (std::size_t i = instrs.size(); i-- > 0;) state.apply(instrs[i].qargs, adjoints[i]);
}

// Phase-canonical backward state of one candidate labelling, brought into its
// own canonical qubit order; returns front_perm.
Permut32 canonical_backward(StateVec &backstate, std::span<const Instr32> instrs, const Gate16 *adjoints,
                            Permut32 back_perm_inv) {
    relabel(backstate, back_perm_inv);
    run_backward(backstate, instrs, adjoints);
    backstate.normalize_arg();
    auto [front_perm, front_perm_eq] = backstate.get_orderinfo().as_bits();
    if (front_perm_eq != 0) fail("Non-deterministic front permutation detected during evaluation");
    relabel(backstate, front_perm.inverse());
    return front_perm;
}

void run_forward(StateVec &state, std::span<const Instr32> instrs) {
    for (const Instr32 &c : instrs) state.apply(c.qargs, c.gate);
    state.normalize_arg();
}

struct KeyScratch {
    StateVec forward, candidate, best;
    std::vector<Gate16> adjoints;
};

void copy_into(StateVec &dst, const StateVec &src) {
    dst.re.assign(src.re.begin(), src.re.end());
    dst.im.assign(src.im.begin(), src.im.end());
}

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
    std::vector<Gate16> adjoints;
    adjoints.reserve(instrs.size());
    for (const Instr32 &c : instrs) adjoints.push_back(cached_adjoint(c.gate));

    EvalResult r;
    r.state = initial_state;
    run_forward(r.state, instrs);
    bool have = false;
    r.state.get_orderinfo().for_each_perm([&](Permut32 back_perm_inv) {
        StateVec backstate = backtrack_state;
        Permut32 front_perm = canonical_backward(backstate, instrs, adjoints.data(), back_perm_inv);
        PermPair pair{front_perm, back_perm_inv.inverse()};
        int c = have ? backstate.compare(r.canonical) : -1;
        if (c < 0) {
            r.canonical = std::move(backstate);
            r.perms.clear();
            r.perms.push_back(pair);
            have = true;
        } else if (c == 0) {
            r.perms.push_back(pair);
        }
    });
    return r;
}

std::tuple<StateVec, Permut32, Permut32, StateVec> Evaluator::evaluate(std::span<const Instr32> instrs) const {
    EvalResult r = evaluate_multiple(instrs);
    auto [front, back] = r.perms.front();
    return {std::move(r.canonical), front, back, std::move(r.state)};
}

uint64_t Evaluator::initial_key() const { return evaluate_multiple({}).canonical.hash_value(); }

uint64_t Evaluator::evaluate_key(std::span<const Instr32> instrs, PermPairs &perms) const {
    thread_local KeyScratch s;
    s.adjoints.clear();
    for (const Instr32 &c : instrs) s.adjoints.push_back(cached_adjoint(c.gate));

    copy_into(s.forward, initial_state);
    run_forward(s.forward, instrs);
    perms.clear();
    bool have = false;
    s.forward.get_orderinfo().for_each_perm([&](Permut32 back_perm_inv) {
        copy_into(s.candidate, backtrack_state);
        Permut32 front_perm = canonical_backward(s.candidate, instrs, s.adjoints.data(), back_perm_inv);
        PermPair pair{front_perm, back_perm_inv.inverse()};
        int c = have ? s.candidate.compare(s.best) : -1;
        if (c < 0) {
            std::swap(s.best, s.candidate);
            perms.clear();
            perms.push_back(pair);
            have = true;
        } else if (c == 0) {
            perms.push_back(pair);
        }
    });
    return s.best.hash_value();
}

}  // namespace dravik
