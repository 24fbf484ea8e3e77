#include "identity/idcircuit.h"

#include <gtest/gtest.h>

#include "utils/test_support.h"

using namespace dravik;
using namespace dravik::test_support;

namespace {


using Idx = std::vector<std::size_t>;

}  // namespace

TEST(IdentityCirc, CheckAcceptsIdentitiesOnly) {
    const Permut32 swap01 = Permut32::from_iter(std::vector<int>{1, 0});
    const Circ good[] = {
        Circ(),
        Circ::new_no_perm({x(0), x(0)}),
        Circ::new_no_perm({cx(0, 1), h(1), h(1), cx(0, 1)}),
        Circ::new_({Instr32(gates::SWAP, 0, 1)}, swap01),  // a swap undone by the relabelling
        Circ::new_({cx(0, 1), cx(1, 0), cx(0, 1)}, swap01),
        Circ::new_no_perm({Instr32(gates::T, 2), Instr32(gates::T, 2), Instr32(gates::SDG, 2)}),
    };
    for (const auto &c : good) EXPECT_TRUE(IdentityCirc::verified(c).check()) << c.text();

    const Circ bad[] = {
        Circ::new_no_perm({x(0)}),
        Circ::new_({cx(0, 1), cx(1, 0), cx(0, 1)}, Permut32::identity(2)),
        Circ::new_({}, swap01),
    };
    for (const auto &c : bad) {
        auto msg = internal_error_of([&] { IdentityCirc::verified(c); });
        EXPECT_EQ(msg.rfind("IdentityCirc: circuit is not identity " + IdentityCirc(c).text() + " [", 0), 0u) << msg;
    }
}

TEST(IdentityCirc, CheckRefusesMalformedStoredCircuits) {
    // Forms read back from Python objects or files are not validated; they
    // must fail cleanly before reaching the kernels.
    const Circ malformed[] = {
        Circ({Instr32(gates::CX, 0, NO_QUBIT)}, Permut32::identity(2)),  // arity mismatch
        Circ({h(3)}, Permut32::identity(2)),                             // qubit beyond the state
        Circ({Instr32(gates::H, QArgs16())}, Permut32()),                // no qubit at all
        Circ({Instr32(gates::CX, 1, 1)}, Permut32::identity(2)),         // repeated qubit
    };
    for (const auto &c : malformed)
        EXPECT_EQ(internal_error_of([&] { IdentityCirc(c).check(); }).rfind("IdentityCirc: instruction ", 0), 0u) << c.text();
    // A stored permutation that is not a bijection (entries (3 0) on two qubits).
    Permut32 bad(3u | 2u << 24);
    EXPECT_EQ(internal_error_of([&] { IdentityCirc(Circ({}, bad)).check(); }).rfind("IdentityCirc: invalid permutation ", 0), 0u);
}

TEST(IdentityCirc, NeighboursAlongWires) {
    IdentityCirc xx(Circ::new_no_perm({x(0), x(0)}));
    EXPECT_EQ(xx.qargs_forward(0), Idx{1});
    EXPECT_EQ(xx.qargs_forward(1), Idx{0});
    EXPECT_EQ(xx.qargs_backward(0), Idx{1});

    IdentityCirc cc(Circ::new_no_perm({cx(0, 1), cx(0, 1)}));
    EXPECT_EQ(cc.qargs_forward(0), (Idx{1, 1}));

    // Wires of a two-qubit gate reach different neighbours.
    IdentityCirc w(Circ::new_no_perm({cx(0, 1), h(1), h(1), cx(0, 1)}));
    EXPECT_EQ(w.qargs_forward(0), (Idx{3, 1}));
    EXPECT_EQ(w.qargs_backward(0), (Idx{3, 3}));
    EXPECT_EQ(w.qargs_backward(3), (Idx{0, 2}));
    EXPECT_EQ(w.qargs_forward(2), (Idx{3}));

    // Through the trailing permutation: qubit 1 at the end continues as
    // qubit 0 at the start.
    const Permut32 swap01 = Permut32::from_iter(std::vector<int>{1, 0});
    IdentityCirc p(Circ::new_({x(0), Instr32(gates::SWAP, 0, 1), x(1)}, swap01));
    EXPECT_EQ(p.qargs_forward(0), Idx{1});
    EXPECT_EQ(p.qargs_forward(2), Idx{0});
    EXPECT_EQ(p.qargs_backward(0), Idx{2});

    EXPECT_EQ(internal_error_of([&] { w.qargs_forward(4); }), "index out of bounds: the len is 4 but the index is 4");
    EXPECT_EQ(internal_error_of([&] { w.qargs_backward(4); }), "index out of bounds: the len is 4 but the index is 4");
    // A label that never appears again within the cycle.
    IdentityCirc lost(Circ({x(0), x(1)}, swap01));
    EXPECT_EQ(internal_error_of([&] { lost.qargs_forward(0); }).rfind("a ", 0), 0u);
}
