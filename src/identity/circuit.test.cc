#include "identity/circuit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "identity/idcircuit.h"
#include "utils/test_support.h"

using namespace dravik;
using namespace dravik::test_support;

namespace {

Permut32 P(std::vector<int> v) { return Permut32::from_iter(v); }

// A random circuit on n qubits using every qubit count of gate we handle.
Circ random_circ(std::mt19937 &rng, unsigned n, unsigned len, bool with_swaps = true) {
    static const Gate16 one[] = {gates::H, gates::X, gates::S, gates::T, gates::TDG, gates::Z};
    static const Gate16 two[] = {gates::CX, gates::CZ, gates::CS, gates::SWAP};
    std::vector<Instr32> v;
    for (unsigned i = 0; i < len; ++i) {
        uint8_t a = uint8_t(rng() % n);
        if (n > 1 && rng() % 2) {
            uint8_t b = uint8_t(rng() % (n - 1));
            if (b >= a) ++b;
            Gate16 g = two[rng() % (with_swaps ? 4 : 3)];
            v.emplace_back(g, a, b);
        } else {
            v.emplace_back(one[rng() % 6], a);
        }
    }
    auto &all = Permut32::all(n);
    return Circ::new_(v, all[rng() % all.size()]);
}

}  // namespace

TEST(Circ, ConstructorsValidate) {
    EXPECT_EQ(Circ::new_no_perm({h(2)}).perm, Permut32::identity(3));
    EXPECT_EQ(Circ::new_no_perm({}).perm, Permut32());
    EXPECT_EQ(Circ::new_no_perm({Instr32(gates::H, QArgs16())}).perm, Permut32());
    EXPECT_EQ(internal_error_of([] { Circ::new_({cx(0, 3)}, Permut32::identity(3)); }),
              "Permutation length must be greater than the max qubit index.");
    EXPECT_EQ(internal_error_of([] { Circ::new_no_perm({h(8)}); }), "Permutation length must be less than or equal to 8");
    // Without any qubit argument every permutation is accepted.
    EXPECT_EQ(Circ::new_({}, P({1, 0})).perm, P({1, 0}));
}

TEST(Circ, TotalOrder) {
    // Each row is strictly smaller than the next: length, then instructions
    // (qubits before gate, absent second qubit last), then permutation code.
    std::vector<Circ> rows = {
        Circ::new_({}, Permut32()),
        Circ::new_({h(0)}, P({0})),
        Circ::new_({h(0)}, P({1, 0})),  // code 0x02000001
        Circ::new_({h(0)}, P({0, 1})),  // code 0x02000008
        Circ::new_({x(1)}, P({0, 1})),
        Circ::new_({cx(0, 1), h(0)}, P({0, 1})),
        Circ::new_({h(0), cx(0, 1)}, P({0, 1})),
        Circ::new_({h(0), x(0)}, P({0, 1})),
    };
    for (std::size_t i = 0; i < rows.size(); ++i)
        for (std::size_t j = 0; j < rows.size(); ++j) {
            EXPECT_EQ(rows[i] < rows[j], i < j) << i << " " << j;
            EXPECT_EQ(rows[i] == rows[j], i == j) << i << " " << j;
        }
}

TEST(Circ, HashByteStream) {
    // Length (4 bytes), then per instruction gate (2), constant 2 (4), the two
    // qubit bytes, then the permutation code (4), all little-endian.
    Circ c = Circ::new_({cx(1, 0), h(1)}, P({1, 0}));
    const uint8_t bytes[] = {2, 0, 0, 0,                                  //
                             9, 0, 2, 0, 0, 0, 1, 0,                      //
                             1, 0, 2, 0, 0, 0, 1, 255,                    //
                             uint8_t(P({1, 0}).raw), uint8_t(P({1, 0}).raw >> 8), 0, 2};
    SipHasher13 ref;
    ref.write(bytes, sizeof bytes);
    EXPECT_EQ(c.hash_value(), ref.finish());
    EXPECT_EQ(IdentityCirc(c).hash_value(), ref.finish());
}

TEST(Circ, TextForms) {
    Circ c = Circ::new_({h(0), cx(0, 1)}, P({1, 0}));
    EXPECT_EQ(c.text(), "Circuit { h(0) cx(0, 1) (1 0) }");
    EXPECT_EQ(c.debug(), "Circ { instrs: [h(0), cx(0, 1)], perm: (1 0) }");
    EXPECT_EQ(Circ().text(), "Circuit { () }");
    EXPECT_EQ(Circ().debug(), "Circ { instrs: [], perm: () }");
    EXPECT_EQ(IdentityCirc(c).text(), "Identity { h(0) cx(0, 1) (1 0) }");
    EXPECT_EQ(IdentityCirc(c).debug(), "IdentityCirc(Circ { instrs: [h(0), cx(0, 1)], perm: (1 0) })");
}

TEST(Circ, IndexingModuloLength) {
    Circ c = Circ::new_no_perm({h(0), x(0), t(0)});
    EXPECT_EQ(c.at(-1), t(0));
    EXPECT_EQ(c.at(3), h(0));
    EXPECT_EQ(c.at(4), x(0));
    EXPECT_EQ(c.at(-7), t(0));
    EXPECT_EQ(internal_error_of([] { Circ().at(0); }), "attempt to calculate the remainder with a divisor of zero");
}

TEST(Circ, CompactAndAffected) {
    EXPECT_EQ(Circ::new_no_perm({h(2)}).compact_qubits().perm, Permut32::identity(3));
    EXPECT_EQ(Circ::new_({h(0)}, Permut32::identity(3)).compact_qubits().perm, Permut32::identity(1));
    // A moved point counts as affected even when no instruction uses it.
    Circ c = Circ::new_({h(0)}, P({0, 2, 1, 3}));
    EXPECT_EQ(c.affected_qubits(), (std::vector<uint8_t>{0, 1, 2}));
    EXPECT_EQ(c.compact_qubits().perm, P({0, 2, 1}));
    EXPECT_EQ(Circ::new_({}, Permut32::identity(4)).compact_qubits().perm, Permut32::identity(4));
}

TEST(Circ, RemoveSwaps) {
    Circ c = Circ::new_({swp(0, 1), x(0)}, Permut32::identity(2)).remove_swaps();
    EXPECT_EQ(c, Circ::new_({x(1)}, P({1, 0})));
    // Swaps interleaved with gates, under a non-trivial permutation.
    Circ d = Circ::new_({swp(0, 2), cx(0, 1), swp(1, 2), h(2)}, P({1, 2, 0})).remove_swaps();
    EXPECT_EQ(d.instrs, (std::vector<Instr32>{cx(2, 1), h(1)}));
    EXPECT_EQ(internal_error_of([] { Circ(std::vector<Instr32>{swp(0, 3)}, Permut32::identity(2)).remove_swaps(); }),
              "Permutation length must be greater than the max qubit index.");
}

TEST(Circ, Rotate) {
    Circ c = Circ::new_({h(0), cx(0, 1), t(1)}, P({1, 0}));
    EXPECT_EQ(c.rotate(0), c);
    EXPECT_EQ(c.rotate(3).instrs, (std::vector<Instr32>{h(1), cx(1, 0), t(0)}));
    EXPECT_EQ(c.rotate(1).instrs, (std::vector<Instr32>{cx(0, 1), t(1), h(1)}));
    EXPECT_EQ(c.rotate(-1).instrs, (std::vector<Instr32>{t(0), h(0), cx(0, 1)}));
    for (int k = 1; k <= 3; ++k) EXPECT_EQ(c.rotate(k - 3), c.rotate(k).permut(c.perm)) << k;
    EXPECT_NE(internal_error_of([&] { c.rotate(4); }).find("slice index out of range"), std::string::npos);
    EXPECT_NE(internal_error_of([&] { c.rotate(-4); }).find("slice index out of range"), std::string::npos);
}

TEST(Circ, InverseAndComposition) {
    Circ c = Circ::new_({Instr32(gates::S, 0), cx(0, 1)}, P({1, 0}));
    Circ inv = c.inverse();
    EXPECT_EQ(inv, Circ::new_({cx(1, 0), Instr32(gates::SDG, 1)}, P({1, 0})));
    EXPECT_EQ(inv.inverse(), c);
    // b on more qubits than a: a's permutation grows by fixed points.
    Circ a = Circ::new_({h(0)}, P({0}));
    Circ b = Circ::new_({cx(0, 2)}, P({2, 1, 0}));
    Circ ab = Circ::new_({h(0)}, P({1, 0})) + b;
    EXPECT_EQ(ab, Circ::new_({h(0), cx(1, 2)}, P({1, 2, 0})));
    EXPECT_EQ((a + b).perm, P({2, 1, 0}));
}

TEST(Circ, ReorderInstrs) {
    struct Row {
        std::vector<Instr32> in, out;
    };
    const Row rows[] = {
        {{h(1), h(0)}, {h(0), h(1)}},                      // independent: sorted
        {{cx(0, 1), h(0)}, {cx(0, 1), h(0)}},              // shares qubit 0: stays
        {{h(2), cx(0, 1), h(0)}, {cx(0, 1), h(0), h(2)}},  // h(0) blocked by cx
        {{h(2), h(1), h(0)}, {h(0), h(1), h(2)}},
        {{x(1), cx(0, 2), h(1)}, {cx(0, 2), x(1), h(1)}},  // same qubit keeps order
        {{Instr32(gates::H, QArgs16()), h(0)}, {h(0), Instr32(gates::H, QArgs16())}},
    };
    for (const auto &r : rows) EXPECT_EQ(Circ::new_(r.in, Permut32::identity(3)).reorder_instrs().instrs, r.out);
    // The result depends only on dependencies: every order of independent
    // gates lands on the same sequence.
    std::vector<Instr32> v = {h(0), h(1), h(2), h(3)};
    std::vector<Instr32> first;
    do {
        auto got = Circ::new_(v, Permut32::identity(4)).reorder_instrs().instrs;
        if (first.empty()) first = got;
        EXPECT_EQ(got, first);
    } while (std::next_permutation(v.begin(), v.end()));
}

// Oracles built only from the elementary operations, as the canonical forms
// are defined.
static std::pair<Circ, Permut32> naive_representative_with_perm(const Circ &self) {
    Circ c = self.compact_qubits().remove_swaps();
    if (c.is_empty()) return {c, Permut32()};
    std::optional<std::pair<Circ, Permut32>> best;
    for (Permut32 p : Permut32::all(c.nqubits())) {
        std::pair<Circ, Permut32> cand{c.permut(p).reorder_instrs().compact_qubits(), p};
        if (!best || cand < *best) best = cand;
    }
    return *best;
}

static Circ naive_rotate_representative(const Circ &self) {
    Circ c = self.compact_qubits().remove_swaps();
    if (c.is_empty()) return c;
    std::optional<Circ> best;
    for (Permut32 p : Permut32::all(c.nqubits()))
        if (auto r = c.permut(p)._rotate_representative(); r && (!best || *r < *best)) best = r;
    return *best;
}

TEST(Circ, CanonicalFormsMatchDefinition) {
    std::mt19937 rng(7);
    for (int it = 0; it < 300; ++it) {
        unsigned n = 1 + rng() % 4, len = rng() % 9;
        Circ c = random_circ(rng, n, len);
        EXPECT_EQ(c.representative_with_perm(), naive_representative_with_perm(c)) << c.text();
        Circ id = c + c.inverse();
        if (id.is_empty()) continue;
        EXPECT_EQ(id.rotate_representative_circ(), naive_rotate_representative(id)) << id.text();
    }
}

TEST(Circ, RepresentativeInvariantUnderRelabelling) {
    std::mt19937 rng(11);
    for (int it = 0; it < 100; ++it) {
        Circ c = Circ::new_no_perm({cx(0, 1), h(2), cx(2, 1), t(0)}) + random_circ(rng, 3, 4);
        for (Permut32 p : Permut32::all(3)) EXPECT_EQ(c.permut(p).representative(), c.representative());
    }
}

TEST(Circ, RotateRepresentativeOfIdentity) {
    std::mt19937 rng(5);
    for (int it = 0; it < 40; ++it) {
        // Uses every qubit, so every relabelling gives the same key.
        Circ a = Circ::new_no_perm({cx(0, 1), cx(1, 2)}) + random_circ(rng, 3, 3);
        Circ id = a + a.inverse();
        IdentityCirc key = id.rotate_representative();
        for (int64_t k = 0; k <= int64_t(id.len()); ++k) EXPECT_EQ(id.rotate(k).rotate_representative(), key);
        for (Permut32 p : Permut32::all(3)) EXPECT_EQ(id.permut(p).rotate_representative(), key);
    }
    EXPECT_EQ(Circ().rotate_representative().circ, Circ());
    EXPECT_NE(internal_error_of([] { Circ::new_no_perm({x(0)}).rotate_representative(); })
                  .find("IdentityCirc: circuit is not identity "),
              std::string::npos);
    // No instruction has a qubit: nothing can start at qubit 0.
    EXPECT_EQ(internal_error_of([] { Circ::new_no_perm({Instr32(gates::H, QArgs16())}).rotate_representative_circ(); }),
              "assertion failed: have");
}

TEST(Circ, InstrsWithSwaps) {
    Circ c = Circ::new_({h(0)}, P({2, 0, 1}));
    EXPECT_EQ(c.instrs_with_swaps(), (std::vector<Instr32>{h(0), swp(0, 2), swp(0, 1)}));
    EXPECT_EQ(Circ::new_({h(0)}, P({0, 1})).instrs_with_swaps(), (std::vector<Instr32>{h(0)}));
}
