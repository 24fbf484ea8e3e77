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

// Follows each wire of gate G around the cycle: the first instruction met on
// a wire gives that wire's entry.
struct WireScan {
    Instr32 G;
    std::vector<std::optional<std::size_t>> r;
    std::size_t unset;

    explicit WireScan(Instr32 g) : G(g), r(g.nargs()), unset(r.size()) {}

    bool done() const { return unset == 0; }
    void visit(const Instr32 &x, std::size_t index) {
        for (unsigned a = 0, na = x.nargs(); a < na; ++a) {
            auto j = G.position_of_qubit(x.qargs.q[a]);
            if (j && !r[*j]) {
                r[*j] = index;
                --unset;
            }
        }
    }
    std::vector<std::size_t> result(std::size_t g, const char *direction, const std::string &identity) const {
        if (unset > 0) {
            std::string partial = "[";
            for (std::size_t i = 0; i < r.size(); ++i) {
                if (i) partial += ", ";
                partial += r[i] ? std::to_string(*r[i]) : "None";
            }
            fail("a wire of gate " + std::to_string(g) + " meets no " + direction +
                 " gate within one cycle: partial " + partial + "] in " + identity);
        }
        std::vector<std::size_t> out;
        for (auto &e : r) out.push_back(*e);
        return out;
    }
};

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
    Circ R = circ.rotate(int64_t(g + 1));
    DRAVIK_ASSERT(R.instrs.size() == L);
    DRAVIK_ASSERT(R.instrs.back().gate == G.gate);
    DRAVIK_ASSERT(R.instrs.front().gate == circ.instrs[(g + 1) % L].gate);
    WireScan scan(G);
    for (std::size_t t = 0; t < L && !scan.done(); ++t) scan.visit(R.instrs[t], (t + g + 1) % L);
    return scan.result(g, "later", text());
}

std::vector<std::size_t> IdentityCirc::qargs_backward(std::size_t g) const {
    const std::size_t L = circ.instrs.size();
    check_index(g, L);
    const Instr32 G = circ.instrs[g];
    Circ R = circ.rotate(int64_t(g) - int64_t(L));
    DRAVIK_ASSERT(R.instrs.size() == L);
    DRAVIK_ASSERT(R.instrs.front().gate == G.gate);
    DRAVIK_ASSERT(R.instrs.back().gate == circ.instrs[(g + L - 1) % L].gate);
    WireScan scan(G);
    for (std::size_t t = L; t-- > 0 && !scan.done();) scan.visit(R.instrs[t], (g + t) % L);
    return scan.result(g, "earlier", text());
}

std::string IdentityCirc::text() const {
    std::string s = "Identity { ";
    for (const auto &i : circ.instrs) s += i.text() + " ";
    return s + circ.perm.text() + " }";
}

std::string IdentityCirc::debug() const { return "IdentityCirc(" + circ.debug() + ")"; }

}  // namespace dravik
