#pragma once
// Qubit-symmetry ordering: qubits sorted by a key of four amplitudes that
// travel with the qubit under relabelling; runs of equal keys form classes
// whose internal order the state does not determine.
#include <absl/container/inlined_vector.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "groups/permutation.h"

namespace dravik {

// Positions covered by the class-pattern table (a Permut32 holds eight).
inline constexpr unsigned ORDER_POSITIONS = 8;

struct OrderInfo {
    // permut[r] is the qubit of rank r.
    absl::InlinedVector<unsigned, ORDER_POSITIONS> permut;
    // Strictly increasing class end positions (exclusive); the last is permut.size().
    absl::InlinedVector<unsigned, ORDER_POSITIONS> eq_classes;

    // One class holding qubits 0..n-1 in order.
    explicit OrderInfo(unsigned n = 0);

    std::pair<unsigned, unsigned> get_eqclass_range(unsigned c) const {
        return {c == 0 ? 0u : eq_classes[c - 1], eq_classes[c]};
    }
    unsigned n_eqclasses() const { return unsigned(eq_classes.size()); }
    bool has_eq() const { return first_eqclass().has_value(); }
    std::optional<unsigned> first_eqclass() const { return first_eqclass_after(0); }
    std::optional<unsigned> first_eqclass_after(unsigned idx) const;

    // Stably sorts class c by key(qubit) and splits it at every change of key.
    // `key` returns a value ordered by operator<, equal by operator==.
    template <typename Key>
    void sort_eqclass_by_key(unsigned c, Key &&key);

    // (permutation whose entry r is permut[r], class mask): bit j of the mask
    // is set when positions j and j + 1 share a class.
    std::pair<Permut32, uint8_t> as_bits() const;

    // Every labelling consistent with the classes: base * pi' for each pi of
    // EQMASK_TO_PERMS[mask], in table order.
    template <typename F>
    void for_each_perm(F &&f) const;
    std::vector<Permut32> as_perms() const {
        std::vector<Permut32> out;
        for_each_perm([&](Permut32 p) { out.push_back(p); });
        return out;
    }
};

// Entry m lists the permutations of eight positions that map every run of the
// pattern m onto itself (position j + 1 joins the run of j when bit j of m is
// set), in the order of Permut32::all(8). Restricted to masks below 16 and
// cut to five positions it is the five-position table, entry by entry.
const std::vector<Permut32> &eqmask_to_perms(uint8_t mask);
inline constexpr unsigned EQMASK_COUNT = 1u << (ORDER_POSITIONS - 1);

// ------------------------------------------------------------ templates

template <typename Key>
void OrderInfo::sort_eqclass_by_key(unsigned c, Key &&key) {
    auto [start, end] = get_eqclass_range(c);
    // Insertion sort: stable, and classes hold at most eight qubits.
    for (unsigned i = start + 1; i < end; ++i) {
        unsigned q = permut[i];
        auto kq = key(q);
        unsigned j = i;
        while (j > start && kq < key(permut[j - 1])) {
            permut[j] = permut[j - 1];
            --j;
        }
        permut[j] = q;
    }
    unsigned at = c;
    for (unsigned j = start; j + 1 < end; ++j) {
        if (!(key(permut[j]) == key(permut[j + 1]))) {
            eq_classes.insert(eq_classes.begin() + at, j + 1);
            ++at;
        }
    }
}

// Inline composition and inverse for the evaluation loop (same results as
// Permut32's operator* and inverse, which check lengths and live out of line).
inline Permut32 compose_unchecked(Permut32 a, Permut32 b) {
    uint32_t raw = b.raw & 0xff000000u;
    for (unsigned i = 0, n = b.len(); i < n; ++i) raw |= uint32_t(a.get(b.get(i))) << (3 * i);
    return Permut32(raw);
}
inline Permut32 inverse_unchecked(Permut32 p) {
    uint32_t raw = p.raw & 0xff000000u;
    for (unsigned i = 0, n = p.len(); i < n; ++i) raw |= uint32_t(i) << (3 * p.get(i));
    return Permut32(raw);
}

// The labellings of a class pattern: base * pi' for every pi of
// EQMASK_TO_PERMS[mask] cut to the length of base. Mask 0 has the identity
// alone, so base itself is the only labelling.
template <typename F>
void for_each_labelling(Permut32 base, uint8_t mask, F &&f) {
    if (mask == 0) {
        f(base);
        return;
    }
    // pi' = pi cut to the length of base; positions from there on are fixed
    // points of pi (they are singletons of the pattern), so composing with
    // the length set to k reads only entries below k.
    const uint32_t len = uint32_t(base.len()) << 24, keep = (1u << (3 * base.len())) - 1;
    for (Permut32 pi : eqmask_to_perms(mask)) f(compose_unchecked(base, Permut32((pi.raw & keep) | len)));
}

template <typename F>
void OrderInfo::for_each_perm(F &&f) const {
    auto [base, mask] = as_bits();
    for_each_labelling(base, mask, f);
}

}  // namespace dravik
