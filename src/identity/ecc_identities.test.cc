#include "identity/ecc_identities.h"

#include <gtest/gtest.h>

#include "utils/test_support.h"

using namespace dravik;
using namespace dravik::test_support;

namespace {
const Permut32 ID2 = Permut32::identity(2);
const Permut32 SWAP01(Permut32::from_iter(std::vector<int>{1, 0}));
}  // namespace

TEST(EccIdentities, OneTriplePerFurtherMemberSorted) {
    ECCs eccs;
    eccs.nqubits = 2;
    eccs.eccs.push_back(ECC{{{{}, ID2}, {{h(0), h(0)}, ID2}, {{x(1), x(1)}, ID2}}});
    eccs.eccs.push_back(ECC{{{{x(0)}, ID2}}});  // a single member gives nothing
    eccs.eccs.push_back(ECC{{{{Instr32(gates::SWAP, 0, 1)}, ID2}, {{}, SWAP01}}});
    auto out = to_identity_circuits(eccs);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_TRUE(std::is_sorted(out.begin(), out.end()));
    for (const auto &[id, initial, member] : out) EXPECT_EQ(id, (initial + member).rotate_representative());
    std::size_t with_empty_inverse = 0;
    for (const auto &t : out) with_empty_inverse += std::get<1>(t) == Circ({}, ID2);
    EXPECT_EQ(with_empty_inverse, 2u);
}

TEST(EccIdentities, BadClassesFail) {
    ECCs mixed{{ECC{{{{}, ID2}, {{x(0)}, ID2}}}}, 2};
    EXPECT_THROW(to_identity_circuits(mixed), InternalError);
    ECCs empty_class{{ECC{}}, 2};
    EXPECT_THROW(to_identity_circuits(empty_class), InternalError);
}
