#include "identity/ecc_identities.h"

#include <algorithm>

#include "utils/error.h"

namespace dravik {

std::vector<IdentityWitness> to_identity_circuits(const ECCs &eccs) {
    std::vector<IdentityWitness> out;
    for (const auto &ecc : eccs.eccs) {
        DRAVIK_ASSERT(!ecc.members.empty());
        const auto &[c0, p0] = ecc.members.front();
        const Circ initial = Circ::new_(c0, p0).inverse();
        for (std::size_t k = 1; k < ecc.members.size(); ++k) {
            const auto &[ck, pk] = ecc.members[k];
            Circ c = Circ::new_(ck, pk);
            IdentityCirc id = (initial + c).rotate_representative();
            out.emplace_back(std::move(id), initial, std::move(c));
        }
    }
    std::stable_sort(out.begin(), out.end());
    return out;
}

}  // namespace dravik
