#include "identity/idcircuit.h"

#include <optional>

#include "state/statevec.h"
#include "utils/chacha.h"
#include "utils/error.h"

namespace dravik {

namespace {

// Circuits read back from stored forms are not validated; before a circuit
// reaches the gate kernels, every instruction must match its gate's arity and
// act on distinct qubits of the state.
void check_evaluable(const Circ &c) {
    const unsigned n = c.perm.len();
    unsigned seen = 0;
    for (unsigned i = 0; i < n && n <= 8; ++i) seen |= 1u << c.perm.get(i);
    if (n > 8 || seen != (1u << n) - 1) fail("IdentityCirc: invalid permutation " + c.perm.text() + " in " + c.debug());
    for (const auto &i : c.instrs) {
        unsigned k = i.nargs();
        bool ok = k == i.gate.nqargs();
        for (unsigned a = 0; ok && a < k; ++a) ok = i.qargs.q[a] < n;
        if (ok && k == 2) ok = i.qargs.q[0] != i.qargs.q[1];
        if (!ok)
            fail("IdentityCirc: instruction " + i.text() + " cannot act on a circuit of " + std::to_string(n) +
                 " qubits");
    }
}

std::string partial_text(const std::vector<std::optional<std::size_t>> &r) {
    std::string s = "[";
    for (std::size_t i = 0; i < r.size(); ++i) {
        if (i) s += ", ";
        s += r[i] ? std::to_string(*r[i]) : "None";
    }
    return s + "]";
}

}  // namespace

IdentityCirc IdentityCirc::verified(Circ c) {
    IdentityCirc id(std::move(c));
    id.check();
    return id;
}

bool IdentityCirc::check() const {
    check_evaluable(circ);
    const std::size_t L = circ.instrs.size(), h = L / 2;
    const unsigned n = circ.perm.len();
    // The first half run forwards must meet the second half run backwards
    // from the permuted start; the two vectors are the only allocations.
    auto rng = ChaCha12Rng::from_entropy();
    StateVec a = StateVec::from_random(rng, n);
    StateVec b = a;
    for (std::size_t k = 0; k < h; ++k) a.apply(circ.instrs[k]);
    a.normalize_arg();
    reserve_state_vec_cache(n);
    b.apply_permutation(circ.perm.inverse());
    for (std::size_t k = L; k-- > h;) b.apply(circ.instrs[k].qargs, circ.instrs[k].gate.adjoint());
    b.normalize_arg();
    if (!a.loose_eq(b)) fail("IdentityCirc: circuit is not identity " + text() + " " + a.text() + " " + b.text());
    return true;
}

std::vector<std::size_t> IdentityCirc::qargs_forward(std::size_t g) const {
    const std::size_t L = circ.instrs.size();
    check_index(g, L);
    const Instr32 G = circ.instrs[g];
    std::vector<std::optional<std::size_t>> r(G.nargs());
    Circ R = circ.rotate(int64_t(g + 1));
    DRAVIK_ASSERT(R.instrs.size() == L);
    DRAVIK_ASSERT(R.instrs.back().gate == G.gate);
    DRAVIK_ASSERT(R.instrs.front().gate == circ.instrs[(g + 1) % L].gate);
    std::size_t unset = r.size();
    for (std::size_t t = 0; t < L && unset > 0; ++t) {
        const Instr32 &x = R.instrs[t];
        for (unsigned a = 0, na = x.nargs(); a < na; ++a) {
            auto j = G.position_of_qubit(x.qargs.q[a]);
            if (j && !r[*j]) {
                r[*j] = (t + g + 1) % L;
                --unset;
            }
        }
    }
    if (unset > 0)
        fail("a wire of gate " + std::to_string(g) + " meets no later gate within one cycle: partial " +
             partial_text(r) + " in " + text());
    std::vector<std::size_t> out;
    for (auto &e : r) out.push_back(*e);
    return out;
}

std::vector<std::size_t> IdentityCirc::qargs_backward(std::size_t g) const {
    const std::size_t L = circ.instrs.size();
    check_index(g, L);
    const Instr32 G = circ.instrs[g];
    std::vector<std::optional<std::size_t>> r(G.nargs());
    Circ R = circ.rotate(int64_t(g) - int64_t(L));
    DRAVIK_ASSERT(R.instrs.size() == L);
    DRAVIK_ASSERT(R.instrs.front().gate == G.gate);
    DRAVIK_ASSERT(R.instrs.back().gate == circ.instrs[(g + L - 1) % L].gate);
    std::size_t unset = r.size();
    for (std::size_t t = L; t-- > 0 && unset > 0;) {
        const Instr32 &x = R.instrs[t];
        for (unsigned a = 0, na = x.nargs(); a < na; ++a) {
            auto j = G.position_of_qubit(x.qargs.q[a]);
            if (j && !r[*j]) {
                r[*j] = (g + t) % L;
                --unset;
            }
        }
    }
    if (unset > 0)
        fail("a wire of gate " + std::to_string(g) + " meets no earlier gate within one cycle: partial " +
             partial_text(r) + " in " + text());
    std::vector<std::size_t> out;
    for (auto &e : r) out.push_back(*e);
    return out;
}

std::string IdentityCirc::text() const {
    std::string s = "Identity { ";
    for (const auto &i : circ.instrs) s += i.text() + " ";
    return s + circ.perm.text() + " }";
}

std::string IdentityCirc::debug() const { return "IdentityCirc(" + circ.debug() + ")"; }

}  // namespace dravik
