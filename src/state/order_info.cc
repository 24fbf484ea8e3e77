#include "state/order_info.h"

#include <mutex>

#include "utils/error.h"

namespace dravik {

OrderInfo::OrderInfo(unsigned n) {
    for (unsigned i = 0; i < n; ++i) permut.push_back(i);
    eq_classes.push_back(n);
}

std::optional<unsigned> OrderInfo::first_eqclass_after(unsigned idx) const {
    for (unsigned c = idx; c < eq_classes.size(); ++c) {
        auto [start, end] = get_eqclass_range(c);
        if (end - start >= 2) return c;
    }
    return std::nullopt;
}

std::pair<Permut32, uint8_t> OrderInfo::as_bits() const {
    const unsigned k = unsigned(permut.size());
    DRAVIK_ASSERT(k <= ORDER_POSITIONS);
    uint8_t mask = 0;
    if (k >= 2) {
        mask = uint8_t((1u << (k & 7)) - 2);  // bits 1..k-1
        for (unsigned e : eq_classes) mask = uint8_t(mask & ~(1u << (e & 7)));
        mask = uint8_t(mask >> 1);
    }
    return {Permut32::from_iter_unchecked(permut), mask};
}

namespace {

std::vector<std::vector<Permut32>> build_eqmask_table() {
    std::vector<std::vector<Permut32>> table(EQMASK_COUNT);
    const auto &all = Permut32::all(ORDER_POSITIONS);
    for (unsigned m = 0; m < EQMASK_COUNT; ++m) {
        uint8_t run[ORDER_POSITIONS] = {0};
        for (unsigned x = 1; x < ORDER_POSITIONS; ++x) run[x] = uint8_t((m >> (x - 1) & 1) ? run[x - 1] : run[x - 1] + 1);
        for (Permut32 p : all) {
            bool keeps = true;
            for (unsigned x = 0; x < ORDER_POSITIONS && keeps; ++x) keeps = run[p.get(x)] == run[x];
            if (keeps) table[m].push_back(p);
        }
    }
    return table;
}

}  // namespace

const std::vector<Permut32> &eqmask_to_perms(uint8_t mask) {
    static const std::vector<std::vector<Permut32>> EQMASK_TO_PERMS = build_eqmask_table();
    check_index(mask, EQMASK_TO_PERMS.size());
    return EQMASK_TO_PERMS[mask];
}

}  // namespace dravik
