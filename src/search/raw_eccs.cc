#include "search/raw_eccs.h"

#include <algorithm>
#include <array>
#include <cinttypes>
#include <climits>
#include <cstdio>
#include <deque>
#include <string>

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>
#include <tbb/parallel_sort.h>
#include <tbb/task_group.h>

#include "state/statevec.h"
#include "utils/error.h"

namespace dravik {

// ------------------------------------------------------------ members

std::vector<Instr32> CircTriple::instrs() const {
    std::vector<Instr32> v;
    circ.to_vec_rev(v);
    return v;
}

EccMember CircTriple::simplify() const {
    Permut32 inv = front_perm.inverse();
    absl::InlinedVector<Instr32, 16> buf;
    for (const Instr32 &x : circ) buf.push_back(x.apply_permutation(inv));
    return {std::vector<Instr32>(buf.rbegin(), buf.rend()), back_perm * front_perm};
}

CircuitECC CircuitECC::root(unsigned nqubits) {
    CircuitECC c;
    Permut32 id = Permut32::identity(nqubits);
    c.circuits.push_back(CircTriple{id, InstrList(), id});
    c.size = 0;
    return c;
}

namespace {

// Member order inside a class: shorter first, then the instructions
// lexicographically, then the packed permutation.
bool member_less(const EccMember &a, const EccMember &b) {
    if (a.first.size() != b.first.size()) return a.first.size() < b.first.size();
    if (a.first != b.first) return a.first < b.first;
    return a.second.raw < b.second.raw;
}

template <typename Scan>
SurfaceList surface(Scan &&scan) {
    SurfaceList out;
    uint32_t touched = 0;
    scan([&](const Instr32 &x) {
        uint32_t m = 0;
        for (unsigned i = 0, n = x.nargs(); i < n; ++i) m |= 1u << (x.qargs.q[i] & 31);
        if ((touched & m) == 0) out.push_back(x);
        touched |= m;
    });
    return out;
}

bool contains(const GateSet &set, const Instr32 &x) { return std::find(set.begin(), set.end(), x) != set.end(); }

}  // namespace

SurfaceList front_surface(std::span<const Instr32> instrs) {
    return surface([&](auto &&visit) {
        for (const Instr32 &x : instrs) visit(x);
    });
}

SurfaceList back_surface(std::span<const Instr32> instrs) {
    return surface([&](auto &&visit) {
        for (auto it = instrs.rbegin(); it != instrs.rend(); ++it) visit(*it);
    });
}

ECC CircuitECC::simplify() const {
    DRAVIK_ASSERT(!circuits.empty());
    std::vector<EccMember> result;
    result.reserve(circuits.size());
    for (const CircTriple &t : circuits) result.push_back(t.simplify());
    std::stable_sort(result.begin(), result.end(), member_less);

    // Renumber so that the smallest member's qubits become 0, 1, ... in order.
    uint32_t used = 0;
    for (const Instr32 &x : result[0].first)
        for (unsigned i = 0, n = x.nargs(); i < n; ++i) used |= 1u << (x.qargs.q[i] & 31);
    std::vector<unsigned> set;
    for (unsigned q = 0; q < 32; ++q)
        if (used >> q & 1) set.push_back(q);
    unsigned n = result[0].second.len();
    Permut32 uniform_inv = Permut32::from_iter_with_ext(n, set);
    Permut32 uniform = uniform_inv.inverse();
    for (auto &[instrs, p] : result) {
        for (Instr32 &x : instrs) x = x.apply_permutation(uniform);
        p = uniform * p * uniform_inv;
    }
    return ECC{std::move(result)};
}

// ------------------------------------------------------------------ map

RawECCs::RawECCs(const Evaluator &evaluator) : nqubits(evaluator.nqubits()) {
    uint64_t key = std::get<0>(evaluator.evaluate(std::span<const Instr32>())).hash_value();
    CircuitECC root = CircuitECC::root(unsigned(nqubits));
    *try_emplace(key).first = std::move(root);
}

const CircuitECC *RawECCs::find(uint64_t key) const {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &store_[it->second].cls;
}

CircuitECC *RawECCs::find(uint64_t key) {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : &store_[it->second].cls;
}

std::pair<CircuitECC *, bool> RawECCs::try_emplace(uint64_t key) {
    auto [it, fresh] = index_.try_emplace(key, uint32_t(store_.size()));
    if (!fresh) return {&store_[it->second].cls, false};
    DRAVIK_ASSERT(store_.size() < UINT32_MAX);
    return {&store_.push(key), true};
}

std::size_t RawECCs::member_count() const {
    std::size_t n = 0;
    for (std::size_t i = 0; i < size(); ++i) n += class_at(i).circuits.size();
    return n;
}

std::size_t RawECCs::table_bytes() const {
    std::size_t b = index_.capacity() * (sizeof(std::pair<uint64_t, uint32_t>) + 1) + store_.bytes();
    for (std::size_t i = 0; i < size(); ++i) {
        // Inlined vectors that outgrew their inline space.
        const CircuitECC &c = class_at(i);
        if (c.circuits.size() > 1) b += c.circuits.capacity() * sizeof(CircTriple);
        if (c.front_gates.size() > 4) b += c.front_gates.capacity() * sizeof(Instr32);
        if (c.back_gates.size() > 4) b += c.back_gates.capacity() * sizeof(Instr32);
    }
    return b;
}

namespace {

// The surface gates of a candidate expressed in its class frame for one
// permutation pair: front gates through the inverse of front_perm, back gates
// through back_perm. Pure, so the workers compute it beside the evaluation.
struct FramedSurface {
    SurfaceList front, back;
};

FramedSurface frame_surface(const SurfaceList &front, const SurfaceList &back, Permut32 front_perm,
                            Permut32 back_perm) {
    FramedSurface out;
    Permut32 front_inv = front_perm.inverse();
    for (const Instr32 &x : front) out.front.push_back(x.apply_permutation(front_inv));
    for (const Instr32 &x : back) out.back.push_back(x.apply_permutation(back_perm));
    return out;
}

// Files the circuit `circ` + `instr` (of length `len`) under `key` with its
// framed surface gates. `known` is the class already looked up under `key` by
// the caller, if any.
std::optional<InstrList> file_entry(RawECCs &map, uint64_t key, Permut32 front_perm, Permut32 back_perm,
                                    InstrList circ, Instr32 instr, std::size_t len, const FramedSurface &framed,
                                    CircuitECC *known = nullptr) {
    const SurfaceList &f = framed.front, &b = framed.back;
    auto [slot, fresh] = known ? std::pair<CircuitECC *, bool>{known, false} : map.try_emplace(key);
    CircuitECC &entry = *slot;
    if (fresh) {
        for (const Instr32 &x : f)
            if (!contains(entry.front_gates, x)) entry.front_gates.push_back(x);
        for (const Instr32 &x : b)
            if (!contains(entry.back_gates, x)) entry.back_gates.push_back(x);
        InstrList cell = map.cells->cons(circ, instr);
        entry.circuits.push_back(CircTriple{front_perm, cell, back_perm});
        entry.size = len;
        return cell;
    }
    for (const Instr32 &x : f)
        if (contains(entry.front_gates, x)) return std::nullopt;
    for (const Instr32 &x : b)
        if (contains(entry.back_gates, x)) return std::nullopt;
    for (const Instr32 &x : f)
        if (!contains(entry.front_gates, x)) entry.front_gates.push_back(x);
    for (const Instr32 &x : b)
        if (!contains(entry.back_gates, x)) entry.back_gates.push_back(x);
    entry.circuits.push_back(CircTriple{front_perm, map.cells->cons(circ, instr), back_perm});
    return std::nullopt;
}

void print_progress(const SearchCounters &counters, const std::vector<Instr32> &instr_vec, std::size_t queued,
                    std::size_t classes) {
    std::string text = instrs_text(instr_vec);
    // The process's own stdout, flushed per line so it interleaves in order
    // with other writers when stdout is a pipe.
    std::fprintf(stdout, "#%" PRIu64 " Exploring %s (%zu queued, %zu ECCs, %" PRIu64 " circs, %" PRIu64 " circs perm)\n",
                 counters[0], text.c_str(), queued, classes, counters[1], counters[2]);
    std::fflush(stdout);
}

// The instructions must fit the evaluator: one or two distinct qubits below
// its qubit count, as many as the gate takes.
void check_instructions(std::span<const Instr32> instrs, unsigned nqubits) {
    for (const Instr32 &x : instrs) {
        unsigned k = x.nargs();
        if (k != 1 && k != 2) fail("Only 1 and 2 qubit instructions are supported");
        if (k != x.gate.nqargs())
            fail("Instruction " + x.text() + " does not match the arity of its gate");
        for (unsigned i = 0; i < k; ++i)
            if (x.qargs.q[i] >= nqubits)
                fail("Instruction " + x.text() + " uses a qubit outside the evaluator's " + std::to_string(nqubits) +
                     " qubits");
    }
}

// One evaluated extension of a queued circuit, with the surface gates of the
// extended circuit (shared by all its permutation pairs).
struct Extension {
    uint64_t key = 0;
    PermPairs perms;
    absl::InlinedVector<FramedSurface, 1> framed;  // one per permutation pair
};

// At most this many extensions are evaluated ahead of filing: a batch holds
// keys, permutation pairs and surface gates, never whole states.
constexpr std::size_t kBatchEvaluations = 4096;

// Queued circuits whose extensions are evaluated together, one slot per
// (circuit, instruction) in circuit-major order.
struct Batch {
    std::vector<InstrList> circuits;
    std::vector<std::size_t> lengths;  // of the circuits
    std::vector<Extension> exts;
};

// Breadth-first search shared by both variants. `evaluate(circuit, ext)`
// fills the key and permutation pairs of one candidate and must be safe to
// call from several threads.
//
// The queue is FIFO, so the circuits to be explored next are exactly the
// ones at its front. They are taken in batches whose extensions are evaluated
// on the worker pool, and the results are filed strictly in the one-thread
// order (circuit by circuit, instruction by instruction, permutation pair by
// pair): classes, members, counters and progress lines are the same whatever
// the number of threads. While the calling thread files one batch, the pool
// already evaluates the next one when it is queued, so filing (which must be
// sequential) overlaps with evaluation.
template <typename Evaluate>
std::pair<RawECCs, SearchCounters> run_search(const Evaluator &evaluator, std::span<const Instr32> instrs,
                                              std::size_t max_size, Evaluate &&evaluate) {
    RawECCs map(evaluator);
    check_instructions(instrs, unsigned(map.nqubits));
    SearchCounters counters{0, 0, 0};
    std::deque<InstrList> queue{InstrList()};
    std::vector<Instr32> instr_vec;
    const std::size_t m = instrs.size();
    const std::size_t batch_limit = std::max<std::size_t>(1, kBatchEvaluations / std::max<std::size_t>(1, m));

    // The next batch: up to batch_limit queued circuits after the first `skip`.
    auto take = [&](Batch &b, std::size_t skip) {
        std::size_t n = std::min(queue.size() - std::min(skip, queue.size()), batch_limit);
        b.circuits.assign(queue.begin() + std::ptrdiff_t(skip), queue.begin() + std::ptrdiff_t(skip + n));
    };
    auto evaluate_batch = [&](Batch &b) {
        b.exts.resize(b.circuits.size() * m);
        b.lengths.resize(b.circuits.size());
        tbb::parallel_for(tbb::blocked_range<std::size_t>(0, b.circuits.size()),
                          [&](const tbb::blocked_range<std::size_t> &r) {
                              std::vector<Instr32> local;
                              for (std::size_t k = r.begin(); k != r.end(); ++k) {
                                  b.circuits[k].to_vec_rev(local);
                                  b.lengths[k] = local.size();
                                  for (std::size_t i = 0; i < m; ++i) {
                                      local.push_back(instrs[i]);
                                      Extension &ext = b.exts[k * m + i];
                                      evaluate(std::span<const Instr32>(local), ext);
                                      SurfaceList front = front_surface(local), back = back_surface(local);
                                      ext.framed.clear();
                                      for (const auto &[f, bp] : ext.perms)
                                          ext.framed.push_back(frame_surface(front, back, f, bp));
                                      local.pop_back();
                                  }
                              }
                          });
    };
    // Filing is bound by memory latency (the index and the class entries are
    // far larger than the caches), so it runs a short pipeline over the
    // circuits of a batch: index slots two circuits ahead are prefetched, the
    // classes of the next circuit are looked up and prefetched, and the
    // current circuit is filed. A class opened meanwhile under a key looked up
    // as missing is found again when it is filed, so the result is unchanged.
    std::vector<CircuitECC *> known(m), known_next(m);
    auto look_up = [&](const Extension *exts, std::vector<CircuitECC *> &out) {
        for (std::size_t i = 0; i < m; ++i) {
            out[i] = map.find(exts[i].key);
            if (out[i]) __builtin_prefetch(out[i]);
        }
    };
    auto file_batch = [&](const Batch &b) {
        const std::size_t nb = b.circuits.size();
        for (std::size_t i = 0; i < std::min(nb, std::size_t(2)) * m; ++i) map.prefetch(b.exts[i].key);
        if (nb > 0) look_up(b.exts.data(), known_next);
        for (std::size_t k = 0; k < nb; ++k) {
            std::swap(known, known_next);
            const Extension *exts = b.exts.data() + k * m;
            if (k + 2 < nb)
                for (std::size_t i = 0; i < m; ++i) map.prefetch(exts[2 * m + i].key);
            if (k + 1 < nb) look_up(exts + m, known_next);

            InstrList circ = queue.front();
            DRAVIK_ASSERT(circ.cell() == b.circuits[k].cell());
            queue.pop_front();
            if (counters[0] % 400 == 0) {
                circ.to_vec_rev(instr_vec);
                print_progress(counters, instr_vec, queue.size(), map.size());
            }
            const std::size_t len = b.lengths[k] + 1;
            for (std::size_t i = 0; i < m; ++i) {
                const Extension &ext = exts[i];
                for (std::size_t j = 0; j < ext.perms.size(); ++j) {
                    const auto &[f, bp] = ext.perms[j];
                    auto cell = file_entry(map, ext.key, f, bp, circ, instrs[i], len, ext.framed[j], known[i]);
                    if (cell && len < max_size) queue.push_back(*cell);
                    ++counters[2];
                }
                ++counters[1];
            }
            ++counters[0];
        }
    };

    Batch cur, next;
    take(cur, 0);
    evaluate_batch(cur);
    while (!cur.circuits.empty()) {
        // Circuits already queued behind the current batch are evaluated
        // while it is filed; `next` holds its own copies of their lists.
        take(next, cur.circuits.size());
        tbb::task_group ahead;
        if (!next.circuits.empty()) ahead.run([&] { evaluate_batch(next); });
        try {
            file_batch(cur);
        } catch (...) {
            ahead.cancel();
            try {
                ahead.wait();
            } catch (...) {
            }
            throw;
        }
        ahead.wait();
        if (next.circuits.empty()) {
            take(next, 0);
            evaluate_batch(next);
        }
        std::swap(cur, next);
    }
    map.drop = true;
    return {std::move(map), counters};
}

}  // namespace

std::optional<InstrList> RawECCs::add_entry(uint64_t key, Permut32 front_perm, Permut32 back_perm, InstrList circ,
                                            std::span<const Instr32> instr_vec) {
    DRAVIK_ASSERT(!instr_vec.empty());
    return file_entry(*this, key, front_perm, back_perm, circ, instr_vec.back(), instr_vec.size(),
                      frame_surface(front_surface(instr_vec), back_surface(instr_vec), front_perm, back_perm));
}

std::pair<RawECCs, SearchCounters> RawECCs::search(const Evaluator &evaluator, std::span<const Instr32> instrs,
                                                   std::size_t max_size) {
    return run_search(evaluator, instrs, max_size, [&](std::span<const Instr32> circuit, Extension &ext) {
        ext.key = evaluator.evaluate_key(circuit, ext.perms);
    });
}

std::pair<RawECCs, SearchCounters> RawECCs::search_naive(const Evaluator &evaluator, std::span<const Instr32> instrs,
                                                         std::size_t max_size) {
    Permut32 id = Permut32::identity(evaluator.nqubits());
    return run_search(evaluator, instrs, max_size, [&](std::span<const Instr32> circuit, Extension &ext) {
        StateVec state = evaluator.backtrack_state;
        for (const Instr32 &x : circuit) state.apply(x);
        state.normalize_arg();
        ext.key = state.hash_value();
        ext.perms.assign(1, PermPair{id, id});
    });
}

std::vector<Instr32> RawECCs::placed_instructions(std::vector<Gate16> gates, unsigned nqubits) {
    std::vector<Gate16> adjoints;
    adjoints.reserve(gates.size());
    for (Gate16 g : gates) adjoints.push_back(g.adjoint());
    for (Gate16 a : adjoints)
        if (std::find(gates.begin(), gates.end(), a) == gates.end()) gates.push_back(a);

    std::vector<std::pair<unsigned, Gate16>> keyed;
    for (Gate16 g : gates) keyed.emplace_back(g.nqargs(), g);
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto &a, const auto &b) {
        return a.first != b.first ? a.first < b.first : a.second.idx < b.second.idx;
    });

    std::vector<Instr32> out;
    for (auto [k, g] : keyed) {
        if (k == 1) {
            for (unsigned i = 0; i < nqubits; ++i) out.emplace_back(g, uint8_t(i));
        } else if (k == 2) {
            for (unsigned i = 0; i < nqubits; ++i)
                for (unsigned j = 0; j < nqubits; ++j)
                    if (j != i) out.emplace_back(g, uint8_t(i), uint8_t(j));
        } else {
            fail("Only 1 and 2 qubit instructions are supported");
        }
    }
    std::stable_sort(out.begin(), out.end(),
                     [](const Instr32 &a, const Instr32 &b) { return a.largest_qubit() < b.largest_qubit(); });
    return out;
}

std::pair<RawECCs, SearchCounters> RawECCs::generate(const Evaluator &evaluator, std::vector<Gate16> gates,
                                                     std::size_t max_size) {
    auto instrs = placed_instructions(std::move(gates), evaluator.nqubits());
    return search(evaluator, instrs, max_size);
}

std::pair<RawECCs, SearchCounters> RawECCs::generate_naive(const Evaluator &evaluator, std::vector<Gate16> gates,
                                                           std::size_t max_size) {
    auto instrs = placed_instructions(std::move(gates), evaluator.nqubits());
    return search_naive(evaluator, instrs, max_size);
}

ECCs RawECCs::simplify() const {
    ECCs out;
    out.nqubits = nqubits;
    out.eccs.reserve(size());
    // Classes simplify independently: one slot each, filled on the pool.
    std::vector<ECC> eccs(size());
    tbb::parallel_for(std::size_t(0), size(), [&](std::size_t i) { eccs[i] = class_at(i).simplify(); });

    // Sort by the class order through compact keys holding the first member
    // (distinct classes practically never share it); only ties look further.
    // Equal classes keep table order, as a stable sort would.
    struct Key {
        std::array<uint32_t, 8> instrs;
        uint32_t len, perm, idx;
    };
    std::vector<Key> keys(eccs.size());
    tbb::parallel_for(uint32_t(0), uint32_t(eccs.size()), [&](uint32_t i) {
        const EccMember &m = eccs[i].members[0];
        Key &k = keys[i];
        k.instrs.fill(0);
        for (std::size_t j = 0; j < m.first.size() && j < k.instrs.size(); ++j) k.instrs[j] = m.first[j].order_key();
        k.len = uint32_t(std::min<std::size_t>(m.first.size(), UINT32_MAX));
        k.perm = m.second.raw;
        k.idx = i;
    });
    // The comparison is a total order (ties end at the table position), so
    // the parallel sort gives the one result a stable sort would.
    tbb::parallel_sort(keys.begin(), keys.end(), [&](const Key &a, const Key &b) {
        std::size_t n = std::min<std::size_t>({a.len, b.len, a.instrs.size()});
        for (std::size_t j = 0; j < n; ++j)
            if (a.instrs[j] != b.instrs[j]) return a.instrs[j] < b.instrs[j];
        if (a.len <= a.instrs.size() && b.len <= b.instrs.size()) {
            if (a.len != b.len) return a.len < b.len;
            if (a.perm != b.perm) return a.perm < b.perm;
        }
        auto c = eccs[a.idx] <=> eccs[b.idx];
        return c != 0 ? c < 0 : a.idx < b.idx;
    });
    for (const Key &k : keys) out.eccs.push_back(std::move(eccs[k.idx]));
    return out;
}

}  // namespace dravik
