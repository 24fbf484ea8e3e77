#include "identity/circuit.h"

#include <absl/container/inlined_vector.h>

#include <algorithm>
#include <cstring>

#include "identity/idcircuit.h"
#include "utils/error.h"

namespace dravik {

namespace {

constexpr const char *PERM_TOO_SHORT = "Permutation length must be greater than the max qubit index.";

// Largest present qubit argument over all instructions, or -1 without any.
int max_qubit(const std::vector<Instr32> &instrs) {
    int m = -1;
    for (const auto &i : instrs)
        for (unsigned k = 0, n = i.nargs(); k < n; ++k) m = std::max(m, int(i.qargs.q[k]));
    return m;
}

// Relabels the present arguments through a lookup table of 8 entries; the
// caller guarantees every argument is below 8.
inline Instr32 relabel(Instr32 x, const uint8_t *map) {
    if (x.qargs.q[0] != NO_QUBIT) {
        x.qargs.q[0] = map[x.qargs.q[0]];
        if (x.qargs.q[1] != NO_QUBIT) x.qargs.q[1] = map[x.qargs.q[1]];
    }
    return x;
}

void perm_table(Permut32 p, uint8_t *map) {
    for (unsigned i = 0; i < 8; ++i) map[i] = p.get(i);
}

// Lexicographic three-way compare of equally long instruction runs, stopping
// at the first difference.
inline int compare_instrs(const Instr32 *a, const Instr32 *b, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        uint32_t x = a[i].order_key(), y = b[i].order_key();
        if (x != y) return x < y ? -1 : 1;
    }
    return 0;
}

// Bit set of the qubits the circuit affects: instruction arguments and the
// points the permutation moves.
uint32_t affected_mask(const Circ &c) {
    uint32_t m = 0;
    for (const auto &i : c.instrs)
        for (unsigned k = 0, n = i.nargs(); k < n; ++k) m |= 1u << (i.qargs.q[k] & 7);
    for (unsigned i = 0, n = c.perm.len(); i < n; ++i)
        if (c.perm.get(i) != i) m |= 1u << i;
    return m;
}

// The compaction of a permutation of length n whose circuit affects `mask`.
Permut32 compact_perm(Permut32 p, uint32_t mask) {
    if (mask == 0) return p;
    unsigned m = 32 - unsigned(__builtin_clz(mask));
    return p.len() > m ? p.shrink(m) : p;
}

using Buf = absl::InlinedVector<Instr32, 32>;

// Prepares a circuit for the canonical-form searches: compacted, swaps folded
// into the permutation, and small enough for the 8-entry lookup tables.
Circ canonical_input(const Circ &self) {
    Circ c = self.compact_qubits().remove_swaps();
    DRAVIK_ASSERT(c.perm.len() <= 8);
    return c;
}

}  // namespace

Circ Circ::new_(std::vector<Instr32> instrs, Permut32 perm) {
    int m = max_qubit(instrs);
    if (m >= 0 && unsigned(m) >= perm.len()) fail(PERM_TOO_SHORT);
    return Circ(std::move(instrs), perm);
}

Circ Circ::new_no_perm(std::vector<Instr32> instrs) {
    int m = max_qubit(instrs);
    Permut32 p = m >= 0 ? Permut32::identity(unsigned(m) + 1) : Permut32();
    return Circ(std::move(instrs), p);
}

const Instr32 &Circ::at(int64_t i) const {
    if (instrs.empty()) fail("attempt to calculate the remainder with a divisor of zero");
    auto n = int64_t(instrs.size());
    int64_t r = i % n;
    if (r < 0) r += n;
    return instrs[std::size_t(r)];
}

std::vector<uint8_t> Circ::affected_qubits() const {
    std::vector<uint8_t> out;
    for (const auto &i : instrs)
        for (unsigned k = 0, n = i.nargs(); k < n; ++k) out.push_back(i.qargs.q[k]);
    for (unsigned i = 0, n = perm.len(); i < n; ++i)
        if (perm.at(uint8_t(i)) != i) out.push_back(uint8_t(i));
    return out;
}

Circ Circ::compact_qubits() const {
    auto qs = affected_qubits();
    if (qs.empty()) return *this;
    unsigned m = 1u + *std::max_element(qs.begin(), qs.end());
    // Every argument is below m, so the invariant still holds.
    return Circ(instrs, perm.len() > m ? perm.shrink(m) : perm);
}

Circ Circ::remove_swaps() const {
    const unsigned n = perm.len();
    DRAVIK_ASSERT(n <= 8);
    uint8_t w[8];
    for (unsigned i = 0; i < 8; ++i) w[i] = uint8_t(i);
    std::vector<Instr32> out;
    out.reserve(instrs.size());
    for (const auto &ins : instrs) {
        if (ins.gate == gates::SWAP && ins.nargs() == 2) {
            uint8_t a = ins.qargs.q[0], b = ins.qargs.q[1];
            if (a >= n || b >= n) fail(PERM_TOO_SHORT);
            std::swap(w[a], w[b]);
            continue;
        }
        Instr32 r = ins;
        // A qubit beyond the permutation stays as it is; new_ reports it.
        for (unsigned k = 0, na = r.nargs(); k < na; ++k)
            if (r.qargs.q[k] < n) r.qargs.q[k] = w[r.qargs.q[k]];
        out.push_back(r);
    }
    Permut32 p;
    for (unsigned i = 0; i < n; ++i) p.set(i, w[i]);
    p.set_len(uint8_t(n));
    return new_(std::move(out), perm * p.inverse());
}

Circ Circ::permut(Permut32 o) const {
    auto [pp, oo] = perm.coordinate_permute(o);
    std::vector<Instr32> out;
    out.reserve(instrs.size());
    for (const auto &i : instrs) out.push_back(i.apply_permutation(oo));
    return new_(std::move(out), oo * pp * oo.inverse());
}

Circ Circ::rotate(int64_t k) const {
    const auto L = int64_t(instrs.size());
    std::vector<Instr32> out;
    out.reserve(instrs.size());
    auto out_of_range = [&] {
        fail("slice index out of range: cannot rotate " + std::to_string(L) + " instructions by " +
             std::to_string(k));
    };
    if (k == 0) {
        out = instrs;
    } else if (k > 0) {
        if (k > L) out_of_range();
        Permut32 inv = perm.inverse();
        out.insert(out.end(), instrs.begin() + k, instrs.end());
        for (int64_t i = 0; i < k; ++i) out.push_back(instrs[std::size_t(i)].apply_permutation(inv));
    } else {
        int64_t m = L + k;
        if (m < 0) out_of_range();
        for (int64_t i = m; i < L; ++i) out.push_back(instrs[std::size_t(i)].apply_permutation(perm));
        out.insert(out.end(), instrs.begin(), instrs.begin() + m);
    }
    return new_(std::move(out), perm);
}

Circ Circ::inverse() const {
    std::vector<Instr32> out;
    out.reserve(instrs.size());
    for (auto it = instrs.rbegin(); it != instrs.rend(); ++it) out.push_back(it->adjoint().apply_permutation(perm));
    return new_(std::move(out), perm.inverse());
}

Circ operator+(const Circ &a, const Circ &b) {
    auto [pa, pb] = a.perm.coordinate_permute(b.perm);
    Permut32 pa_inv = pa.inverse();
    std::vector<Instr32> out;
    out.reserve(a.instrs.size() + b.instrs.size());
    out.insert(out.end(), a.instrs.begin(), a.instrs.end());
    for (const auto &i : b.instrs) out.push_back(i.apply_permutation(pa_inv));
    return Circ::new_(std::move(out), pb * pa);
}

void reorder_instrs_in_place(Instr32 *ins, std::size_t n) {
    for (std::size_t j = 1; j < n; ++j) {
        for (std::size_t k = j; k >= 1; --k) {
            const Instr32 prev = ins[k - 1], cur = ins[k];
            // An instruction moves left only past instructions on other qubits
            // (or without qubits) that sort after it.
            if ((prev.arg_mask() & cur.arg_mask()) != 0) break;
            if (!(cur < prev)) break;
            ins[k - 1] = cur;
            ins[k] = prev;
        }
    }
}

Circ Circ::reorder_instrs() const {
    Circ r = *this;
    reorder_instrs_in_place(r.instrs.data(), r.instrs.size());
    return r;
}

std::pair<Circ, Permut32> Circ::representative_with_perm() const {
    Circ c = canonical_input(*this);
    const std::size_t L = c.instrs.size();
    if (L == 0) return {std::move(c), Permut32()};
    const unsigned n = c.perm.len();
    const uint32_t amask = affected_mask(c);

    Buf cand(L), best(L);
    Permut32 best_perm, best_p;
    bool have = false;
    uint8_t map[8];
    for (Permut32 p : Permut32::all(n)) {
        perm_table(p, map);
        for (std::size_t k = 0; k < L; ++k) cand[k] = relabel(c.instrs[k], map);
        reorder_instrs_in_place(cand.data(), L);
        int cmp = have ? compare_instrs(cand.data(), best.data(), L) : -1;
        if (cmp > 0) continue;
        Permut32 cp = compact_perm(p * c.perm * p.inverse(), p.permut_bv(amask));
        if (cmp == 0 && std::pair(cp.raw, p.raw) >= std::pair(best_perm.raw, best_p.raw)) continue;
        std::copy(cand.begin(), cand.end(), best.begin());
        best_perm = cp;
        best_p = p;
        have = true;
    }
    return {Circ(std::vector<Instr32>(best.begin(), best.end()), best_perm), best_p};
}

Circ Circ::representative() const { return representative_with_perm().first; }

std::optional<Circ> Circ::_rotate_representative() const {
    std::optional<Circ> best;
    for (std::size_t i = 0; i < instrs.size(); ++i) {
        if (!instrs[i].qargs.contains(0)) continue;
        Circ cand = rotate(int64_t(i)).reorder_instrs().compact_qubits();
        if (!best || cand < *best) best = std::move(cand);
    }
    return best;
}

// The minimum over every relabelling p and every rotation that starts at an
// instruction on qubit 0 (after relabelling). Candidates are assembled in one
// reused buffer from two pre-relabelled copies of the circuit and compared
// with the best so far, stopping at the first differing instruction; the
// permutation is only consulted on a tie.
Circ Circ::rotate_representative_circ() const {
    Circ c = canonical_input(*this);
    const std::size_t L = c.instrs.size();
    if (L == 0) return c;
    const unsigned n = c.perm.len();
    const uint32_t amask = affected_mask(c);
    const Permut32 perm_inv = c.perm.inverse();

    // front[k]: instruction k relabelled by p (it stays in place);
    // wrapped[k]: relabelled by p after the inverse permutation (it moved past
    // the end of the cycle).
    Buf front(L), wrapped(L), cand(L), best(L);
    Permut32 best_perm;
    bool have = false;
    uint8_t map[8], wmap[8];
    for (Permut32 p : Permut32::all(n)) {
        const uint8_t zero = p.inverse().get(0);  // the qubit p sends to 0
        perm_table(p, map);
        for (unsigned q = 0; q < 8; ++q) wmap[q] = q < n ? p.get(perm_inv.get(q)) : uint8_t(q);
        for (std::size_t k = 0; k < L; ++k) {
            front[k] = relabel(c.instrs[k], map);
            wrapped[k] = relabel(c.instrs[k], wmap);
        }
        Permut32 cp;
        bool cp_ready = false;
        for (std::size_t i = 0; i < L; ++i) {
            if (!c.instrs[i].qargs.contains(zero)) continue;
            std::copy(front.begin() + i, front.end(), cand.begin());
            std::copy(wrapped.begin(), wrapped.begin() + i, cand.begin() + (L - i));
            reorder_instrs_in_place(cand.data(), L);
            int cmp = have ? compare_instrs(cand.data(), best.data(), L) : -1;
            if (cmp > 0) continue;
            if (!cp_ready) {
                cp = compact_perm(p * c.perm * p.inverse(), p.permut_bv(amask));
                cp_ready = true;
            }
            if (cmp == 0 && cp.raw >= best_perm.raw) continue;
            std::copy(cand.begin(), cand.end(), best.begin());
            best_perm = cp;
            have = true;
        }
    }
    // Every qubit in use can be sent to 0, so some rotation always exists
    // unless no instruction has a qubit at all.
    DRAVIK_ASSERT(have);
    return Circ(std::vector<Instr32>(best.begin(), best.end()), best_perm);
}

IdentityCirc Circ::rotate_representative() const { return IdentityCirc::verified(rotate_representative_circ()); }

std::vector<Instr32> Circ::instrs_with_swaps() const {
    std::vector<Instr32> out = instrs;
    auto swaps = perm.generate_swaps();
    while (auto ab = swaps.next()) out.emplace_back(gates::SWAP, ab->first, ab->second);
    return out;
}

std::string Circ::text() const {
    std::string s = "Circuit { ";
    for (const auto &i : instrs) s += i.text() + " ";
    return s + perm.text() + " }";
}

std::string Circ::debug() const { return "Circ { instrs: [" + instrs_text(instrs, ", ") + "], perm: " + perm.text() + " }"; }

void Circ::hash_feed(SipHasher13 &h) const {
    h.write_len(instrs.size());
    for (const auto &i : instrs) i.hash_feed(h);
    perm.hash_feed(h);
}

std::strong_ordering operator<=>(const Circ &a, const Circ &b) {
    if (auto c = a.instrs.size() <=> b.instrs.size(); c != 0) return c;
    int r = compare_instrs(a.instrs.data(), b.instrs.data(), a.instrs.size());
    if (r != 0) return r < 0 ? std::strong_ordering::less : std::strong_ordering::greater;
    return a.perm.raw <=> b.perm.raw;
}

}  // namespace dravik
