#include "groups/permutation.h"

#include <array>

namespace dravik {

Permut32 Permut32::identity(unsigned n) {
    if (n > 8) fail("Permutation length must be less than or equal to 8");
    Permut32 p;
    for (unsigned i = 0; i < n; ++i) p.set(i, i);
    p.set_len(uint8_t(n));
    return p;
}

bool Permut32::is_identity() const {
    for (unsigned i = 0, n = len(); i < n; ++i)
        if (get(i) != i) return false;
    return true;
}

Permut32 Permut32::inverse() const {
    Permut32 r;
    for (unsigned i = 0, n = len(); i < n; ++i) r.set(get(i), i);
    r.set_len(len());
    return r;
}

Permut32 Permut32::operator*(Permut32 other) const {
    if (len() != other.len()) fail("assertion failed: self.len() == other.len()");
    Permut32 r;
    for (unsigned i = 0, n = len(); i < n; ++i) r.set(i, get(other.get(i)));
    r.set_len(len());
    return r;
}

std::pair<Permut32, Permut32> Permut32::coordinate_permute(Permut32 other) const {
    unsigned a = len(), b = other.len();
    auto extend = [](Permut32 p, unsigned from, unsigned to) {
        for (unsigned i = from; i < to; ++i) p.set(i, i);
        p.set_len(uint8_t(to));
        return p;
    };
    if (a == b) return {*this, other};
    if (a < b) return {extend(*this, a, b), other};
    return {*this, extend(other, b, a)};
}

Permut32 Permut32::shrink(unsigned n) const {
    Permut32 r;
    for (unsigned i = 0; i < n && i < 8; ++i) r.set(i, get(i));
    r.set_len(uint8_t(n));
    return r;
}

namespace {
const uint8_t NET2[][2] = {{0, 1}};
const uint8_t NET3[][2] = {{0, 2}, {0, 1}, {1, 2}};
const uint8_t NET4[][2] = {{0, 2}, {1, 3}, {0, 1}, {2, 3}, {1, 2}};
const uint8_t NET5[][2] = {{0, 3}, {1, 4}, {0, 2}, {1, 3}, {0, 1}, {2, 4}, {1, 2}, {3, 4}, {2, 3}};
const uint8_t NET6[][2] = {{0, 5}, {1, 3}, {2, 4}, {1, 2}, {3, 4}, {0, 3}, {2, 5}, {0, 1}, {2, 3}, {4, 5}, {1, 2}, {3, 4}};
const uint8_t NET7[][2] = {{0, 6}, {2, 3}, {4, 5}, {0, 2}, {1, 4}, {3, 6}, {0, 1}, {2, 5},
                           {3, 4}, {1, 2}, {4, 6}, {2, 3}, {4, 5}, {1, 2}, {3, 4}, {5, 6}};
const uint8_t NET8[][2] = {{0, 2}, {1, 3}, {4, 6}, {5, 7}, {0, 4}, {1, 5}, {2, 6}, {3, 7}, {0, 1}, {2, 3},
                           {4, 5}, {6, 7}, {2, 4}, {3, 5}, {1, 4}, {3, 6}, {1, 2}, {3, 4}, {5, 6}};
struct Net {
    const uint8_t (*c)[2];
    unsigned n;
};
Net network(unsigned len) {
    switch (len) {
        case 2: return {NET2, 1};
        case 3: return {NET3, 3};
        case 4: return {NET4, 5};
        case 5: return {NET5, 9};
        case 6: return {NET6, 12};
        case 7: return {NET7, 16};
        case 8: return {NET8, 19};
        default: return {nullptr, 0};
    }
}
}  // namespace

Permut32::Swaps::Swaps(Permut32 p) : w_(p) {
    auto net = network(p.len());
    net_ = net.c;
    n_ = net.n;
}

std::optional<std::pair<uint8_t, uint8_t>> Permut32::Swaps::next() {
    while (pos_ < n_) {
        uint8_t a = net_[pos_][0], b = net_[pos_][1];
        ++pos_;
        if (w_.get(a) > w_.get(b)) {
            w_.swap_inputs(a, b);
            return std::make_pair(a, b);
        }
    }
    return std::nullopt;
}

std::vector<std::pair<uint8_t, uint8_t>> Permut32::swap_list() const {
    std::vector<std::pair<uint8_t, uint8_t>> out;
    auto s = generate_swaps();
    while (auto ab = s.next()) out.push_back(*ab);
    return out;
}

std::vector<Permut32> Permut32::all_permutation(unsigned n) {
    std::vector<Permut32> out;
    uint8_t d[8];
    for (unsigned i = 0; i < n; ++i) d[i] = uint8_t(i);
    auto emit = [&] {
        Permut32 p;
        for (unsigned i = 0; i < n; ++i) p.set(i, d[i]);
        p.set_len(uint8_t(n));
        out.push_back(p);
    };
    emit();
    unsigned c[15] = {};
    unsigned k = 0;
    while (k + 1 < n) {
        if (c[k] <= k) {
            unsigned j = (k % 2 == 0) ? c[k] : 0;
            std::swap(d[j], d[k + 1]);
            c[k] += 1;
            k = 0;
            emit();
        } else {
            c[k] = 0;
            k += 1;
        }
    }
    return out;
}

const std::vector<Permut32> &Permut32::all(unsigned n) {
    static const std::array<std::vector<Permut32>, 9> table = [] {
        std::array<std::vector<Permut32>, 9> t;
        for (unsigned i = 0; i <= 8; ++i) t[i] = all_permutation(i);
        return t;
    }();
    if (n > 8) fail("Permutation length must be less than or equal to 8");
    return table[n];
}

std::vector<uint8_t> Permut32::entries() const {
    std::vector<uint8_t> out;
    for (unsigned i = 0, n = len(); i < n; ++i) out.push_back(get(i));
    return out;
}

std::string Permut32::text() const {
    std::string s = "(";
    for (unsigned i = 0, n = len(); i < n; ++i) {
        if (i) s += ' ';
        s += char('0' + get(i));
    }
    return s + ")";
}

}  // namespace dravik
