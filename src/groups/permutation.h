#pragma once
// Permut32: a permutation of at most 8 qubits packed in one word. Entry i
// (the image of position i) sits in bits 3i..3i+2, the length in bits 24..31.
// Composition: (a * b)[i] = a[b[i]], i.e. apply b first, then a.
#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "utils/error.h"
#include "utils/siphash.h"

namespace dravik {

struct Permut32 {
    uint32_t raw = 0;

    constexpr Permut32() = default;
    constexpr explicit Permut32(uint32_t r) : raw(r) {}

    constexpr uint8_t len() const { return uint8_t(raw >> 24); }
    constexpr void set_len(uint8_t n) { raw = (raw & 0x00ffffffu) | (uint32_t(n) << 24); }
    uint8_t at(uint8_t i) const {
        if (i >= 8) fail("assertion failed: idx < 8");
        return uint8_t((raw >> (3 * i)) & 7);
    }
    constexpr uint8_t get(unsigned i) const { return uint8_t((raw >> (3 * i)) & 7); }  // i < 8, unchecked
    constexpr void set(unsigned i, unsigned v) { raw = (raw & ~(7u << (3 * i))) | (uint32_t(v & 7) << (3 * i)); }

    static Permut32 identity(unsigned n);
    bool is_identity() const;
    Permut32 inverse() const;
    Permut32 inv() const { return inverse(); }
    Permut32 operator*(Permut32 other) const;
    // Pads the shorter of the two with fixed points up to the longer length.
    std::pair<Permut32, Permut32> coordinate_permute(Permut32 other) const;
    Permut32 shrink(unsigned n) const;
    void swap_inputs(unsigned a, unsigned b) {
        auto x = get(a), y = get(b);
        set(a, y);
        set(b, x);
    }
    // Bit set mapped through the permutation: bit p[i] for every set bit i < len.
    uint32_t permut_bv(uint32_t x) const {
        uint32_t r = 0;
        for (unsigned i = 0, n = len(); i < n; ++i)
            if (x >> i & 1) r |= 1u << get(i);
        return r;
    }

    // The swaps that sort the permutation by a fixed sorting network; yields
    // nothing for the identity.
    class Swaps;
    Swaps generate_swaps() const;
    std::vector<std::pair<uint8_t, uint8_t>> swap_list() const;

    // All permutations of length n (n <= 8) in Heap order, built once and shared.
    static const std::vector<Permut32> &all(unsigned n);
    static std::vector<Permut32> all_permutation(unsigned n);

    // Validating: values below 8 and distinct.
    template <typename Range>
    static Permut32 from_iter(const Range &values);
    template <typename Range>
    static Permut32 from_iter_unchecked(const Range &values);
    // Completes a partial assignment to a permutation of length n.
    template <typename Range>
    static Permut32 from_iter_with_ext(unsigned n, const Range &values);

    std::vector<uint8_t> entries() const;
    std::string text() const;  // "(1 0 2)"
    void hash_feed(SipHasher13 &h) const { h.write_u32(raw); }

    friend constexpr bool operator==(Permut32 a, Permut32 b) { return a.raw == b.raw; }
    friend constexpr auto operator<=>(Permut32 a, Permut32 b) { return a.raw <=> b.raw; }
};

class Permut32::Swaps {
   public:
    explicit Swaps(Permut32 p);
    std::optional<std::pair<uint8_t, uint8_t>> next();

   private:
    Permut32 w_;
    const uint8_t (*net_)[2];
    unsigned n_, pos_ = 0;
};

inline Permut32::Swaps Permut32::generate_swaps() const { return Swaps(*this); }

template <typename Range>
Permut32 Permut32::from_iter(const Range &values) {
    Permut32 p;
    unsigned used = 0, i = 0;
    for (auto v : values) {
        if (unsigned(v) > 7) fail("Permutation values must be less than 8");
        if (used >> unsigned(v) & 1) fail("Permutation values must be unique");
        used |= 1u << unsigned(v);
        p.set(i++, unsigned(v));
    }
    p.set_len(uint8_t(i));
    return p;
}

template <typename Range>
Permut32 Permut32::from_iter_unchecked(const Range &values) {
    Permut32 p;
    unsigned i = 0;
    for (auto v : values) p.set(i++, unsigned(v));
    p.set_len(uint8_t(i));
    return p;
}

template <typename Range>
Permut32 Permut32::from_iter_with_ext(unsigned n, const Range &values) {
    Permut32 p;
    unsigned taken = 0;
    auto it = std::begin(values);
    auto end = std::end(values);
    for (unsigned i = 0; i < n; ++i) {
        unsigned v;
        if (it != end) {
            v = unsigned(*it);
            ++it;
        } else if (!(taken >> i & 1)) {
            v = i;
        } else {
            v = 0;
            while (taken >> v & 1) ++v;
        }
        if (taken >> v & 1) fail("Permutation values must be unique");
        taken |= 1u << v;
        p.set(i, v);
    }
    p.set_len(uint8_t(n));
    return p;
}

}  // namespace dravik
