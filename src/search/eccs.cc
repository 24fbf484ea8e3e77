#include "search/eccs.h"

#include <algorithm>

#include "state/statevec.h"
#include "utils/chacha.h"
#include "utils/error.h"

namespace dravik {

std::vector<std::vector<Instr32>> ECC::circuits() const {
    DRAVIK_ASSERT(!members.empty());
    Permut32 unit = members[0].second.inverse();
    std::vector<std::vector<Instr32>> out;
    out.reserve(members.size());
    for (const auto &[instrs, p] : members) {
        std::vector<Instr32> c = instrs;
        auto swaps = (unit * p).generate_swaps();
        while (auto s = swaps.next()) c.emplace_back(gates::SWAP, s->first, s->second);
        out.push_back(std::move(c));
    }
    return out;
}

ECC ECC::simplify_permute() const {
    DRAVIK_ASSERT(!members.empty());
    Permut32 unit = members[0].second.inverse();
    ECC out = *this;
    for (auto &m : out.members) m.second = unit * m.second;
    return out;
}

std::string ECC::text() const {
    std::string s = "ECC {\n";
    for (const auto &c : circuits()) {
        s += '\t';
        s += instrs_text(c);
        s += ",\n";
    }
    s += '}';
    return s;
}

ECCs ECCs::filter_single() const {
    ECCs out;
    out.nqubits = nqubits;
    for (const ECC &e : eccs)
        if (e.members.size() > 1) out.eccs.push_back(e);
    return out;
}

std::vector<ECC> ECCs::check() const {
    auto rng = ChaCha12Rng::from_entropy();
    // Counts that do not fit an unsigned still get the state vector's own refusal.
    StateVec state = StateVec::from_random(rng, unsigned(std::min<std::size_t>(nqubits, 32)));
    std::vector<ECC> failing;
    for (const ECC &e : eccs) {
        bool first = true, pass = true;
        uint64_t want = 0;
        for (const auto &c : e.circuits()) {
            StateVec s = state;
            for (const Instr32 &x : c) s.apply(x);
            s.normalize_arg();
            uint64_t h = s.hash_value();
            if (first) want = h, first = false;
            else if (h != want) pass = false;
        }
        if (!pass) failing.push_back(e);
    }
    return failing;
}

std::string ECCs::text() const {
    std::string s;
    bool any = false;
    for (const ECC &e : eccs) {
        if (e.members.size() < 2) continue;
        if (any) s += " & ";
        s += e.text();
        any = true;
    }
    return s;
}

}  // namespace dravik
