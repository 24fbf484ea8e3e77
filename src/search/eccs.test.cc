#include "search/eccs.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "utils/test_support.h"

using namespace dravik;
using namespace dravik::test_support;

namespace {
Permut32 P(std::vector<int> v) { return Permut32::from_iter(v); }
}  // namespace

TEST(ECC, CircuitsMaterialiseRelativeSwaps) {
    Permut32 sw = P({1, 0, 2});
    // Relative to the representative's permutation: the first member and one
    // with the same permutation get no swaps; the identity member needs swap(0, 1).
    ECC e{{{{cx(0, 1)}, sw}, {{cx(1, 0)}, sw}, {{h(0), h(0), cx(1, 0)}, Permut32::identity(3)}}};
    auto cs = e.circuits();
    ASSERT_EQ(cs.size(), 3u);
    EXPECT_EQ(instrs_text(cs[0]), "cx(0, 1)");
    EXPECT_EQ(instrs_text(cs[1]), "cx(1, 0)");
    EXPECT_EQ(instrs_text(cs[2]), "h(0) h(0) cx(1, 0) swap(0, 1)");
    EXPECT_EQ(e.text(), "ECC {\n\tcx(0, 1),\n\tcx(1, 0),\n\th(0) h(0) cx(1, 0) swap(0, 1),\n}");

    ECC p = e.simplify_permute();
    EXPECT_TRUE(p.members[0].second.is_identity());
    EXPECT_EQ(p.circuits(), cs);
    EXPECT_EQ(p.members[2].second, sw);

    ECC empty_rep{{{{}, Permut32::identity(2)}}};
    EXPECT_EQ(empty_rep.text(), "ECC {\n\t,\n}");
    try {
        ECC{}.circuits();
        FAIL();
    } catch (const InternalError &) {
    }
}

TEST(ECCs, TextSkipsSingletonsAndFilterKeepsOrder) {
    Permut32 id = Permut32::identity(2);
    ECC one{{{{h(0)}, id}}};
    ECC a{{{{}, id}, {{h(0), h(0)}, id}}};
    ECC b{{{{h(1)}, id}, {{h(1), h(1), h(1)}, id}}};
    ECCs all{{one, a, one, b}, 2};
    EXPECT_EQ(all.text(), a.text() + " & " + b.text());
    ECCs multi = all.filter_single();
    EXPECT_EQ(multi.nqubits, 2u);
    EXPECT_EQ(multi.eccs, (std::vector<ECC>{a, b}));
    ECCs singles{{one, one}, 3};
    EXPECT_EQ(singles.filter_single().len(), 0u);
    EXPECT_EQ(singles.text(), "");

    // Order and equality are member-wise; member order matters.
    ECC a_rev{{a.members[1], a.members[0]}};
    EXPECT_NE(a, a_rev);
    EXPECT_LT(a, b);
    EXPECT_LT(ECC{{a.members[0]}}, a);  // a proper prefix first
}

TEST(ECCs, CheckReportsClassesThatMixOperators) {
    Permut32 id = Permut32::identity(2), sw = P({1, 0});
    ECC good{{{{}, id}, {{h(0), h(0)}, id}}};
    // cx(0, 1) conjugated by swaps is cx(1, 0), another operator.
    ECC relabelled{{{{cx(0, 1)}, id}, {{Instr32(gates::SWAP, 0, 1), cx(0, 1), Instr32(gates::SWAP, 0, 1)}, id},
                    {{cx(1, 0)}, id}}};
    ECC bad{{{{h(0)}, id}, {{Instr32(gates::X, 0)}, id}}};
    ECC bad_perm{{{{cx(0, 1)}, id}, {{cx(0, 1)}, sw}}};
    ECCs eccs{{good, bad, relabelled, bad_perm}, 2};
    auto failing = eccs.check();
    EXPECT_EQ(failing, (std::vector<ECC>{bad, relabelled, bad_perm}));

    // A trailing relabelling is an explicit swap once materialised.
    ECC fixed{{{{Instr32(gates::SWAP, 0, 1)}, id}, {{}, sw}}};
    EXPECT_EQ(ECCs({{good, fixed}, 2}).check(), std::vector<ECC>{});
}
