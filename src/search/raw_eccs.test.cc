#include "search/raw_eccs.h"

#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include <string>
#include <vector>

#include "codec/layout.h"
#include "search/quartz.h"
#include "utils/test_support.h"

using namespace dravik;
using namespace dravik::test_support;

namespace {
Permut32 P(std::vector<int> v) { return Permut32::from_iter(v); }

std::string text(const SurfaceList &l) { return instrs_text(std::vector<Instr32>(l.begin(), l.end())); }
std::string text(const GateSet &l) { return instrs_text(std::vector<Instr32>(l.begin(), l.end())); }

std::string member_text(const EccMember &m) { return instrs_text(m.first) + " " + m.second.text(); }

// A map over `n` qubits holding only the empty circuit's class under key 0.
RawECCs bare_map(unsigned n) {
    RawECCs map;
    map.nqubits = n;
    *map.try_emplace(0).first = CircuitECC::root(n);
    return map;
}
}  // namespace

TEST(Surface, FrontAndBackLayers) {
    std::vector<Instr32> c = {h(0), cx(0, 1), h(2), h(1)};
    EXPECT_EQ(text(front_surface(c)), "h(0) h(2)");
    // Back layer, last to first: cx(0, 1) is hidden behind h(1).
    EXPECT_EQ(text(back_surface(c)), "h(1) h(2)");
}

TEST(RawECCs, AddEntryRecordsOnlyMembersWithFreshSurfaces) {
    RawECCs map = bare_map(2);
    Permut32 id = Permut32::identity(2), sw = P({1, 0});

    // Opens a class: the new cell is returned and its tail is the parent list.
    std::vector<Instr32> v1 = {h(0)};
    auto parent = map.add_entry(7, id, id, InstrList(), v1);
    ASSERT_TRUE(parent);
    EXPECT_EQ(map.find(7)->size, 1u);

    std::vector<Instr32> v2 = {h(0), cx(0, 1)};
    auto cell = map.add_entry(42, id, id, *parent, v2);
    ASSERT_TRUE(cell);
    EXPECT_EQ(cell->tail(), *parent);
    const CircuitECC &cls = *map.find(42);
    EXPECT_EQ(cls.size, 2u);
    EXPECT_EQ(text(cls.front_gates), "h(0)");
    EXPECT_EQ(text(cls.back_gates), "cx(0, 1)");

    // Same key, distinct first and last layers: recorded, never returned.
    std::vector<Instr32> v3 = {t(0), cx(1, 0)};
    InstrList t0 = map.cells->cons(InstrList(), t(0));
    EXPECT_FALSE(map.add_entry(42, id, id, t0, v3));
    EXPECT_EQ(cls.circuits.size(), 2u);

    // Front layer h(1) maps back (by the inverse front permutation) onto the
    // recorded h(0): rejected although its back layer is new.
    std::vector<Instr32> v4 = {h(1), cx(0, 1)};
    EXPECT_FALSE(map.add_entry(42, sw, sw, InstrList(), v4));
    EXPECT_EQ(cls.circuits.size(), 2u);

    // Back layer cx(1, 0) mapped by the back permutation becomes cx(0, 1).
    std::vector<Instr32> v5 = {Instr32(gates::S, 1), cx(1, 0)};
    EXPECT_FALSE(map.add_entry(42, id, sw, InstrList(), v5));
    EXPECT_EQ(cls.circuits.size(), 2u);

    EXPECT_EQ(text(cls.front_gates), "h(0) t(0)");
    EXPECT_EQ(text(cls.back_gates), "cx(0, 1) cx(1, 0)");
    EXPECT_EQ(instrs_text(cls.circuits[1].instrs()), "t(0) cx(1, 0)");
    EXPECT_EQ(cls.size, 2u);
    EXPECT_EQ(cls.circuits[1].circ.tail(), t0);
    EXPECT_EQ(map.cells->cells(), 4u);  // one per stored member, plus t0
}

TEST(RawECCs, SimplifyRenumbersBySmallestMember) {
    // Members over 4 qubits; the shortest uses qubits {1, 3}.
    RawECCs map = bare_map(4);
    Permut32 id = Permut32::identity(4);
    auto &cls = *map.try_emplace(5).first;
    auto push = [&](std::vector<Instr32> instrs, Permut32 f, Permut32 b) {
        InstrList l;
        for (auto x : instrs) l = map.cells->cons(l, x);
        cls.circuits.push_back(CircTriple{f, l, b});
    };
    push({h(0), h(2), h(0)}, id, id);
    push({cx(1, 3)}, id, id);
    // Stored with front permutation swapping 1 and 3: in the class frame it is
    // cx(3, 1) with trailing permutation [0, 3, 2, 1].
    push({cx(1, 3)}, P({0, 3, 2, 1}), id);
    cls.size = 3;

    ECC e = cls.simplify();
    // uniform_inv = [1, 3, 2, 0], uniform = [3, 0, 2, 1].
    ASSERT_EQ(e.members.size(), 3u);
    EXPECT_EQ(member_text(e.members[0]), "cx(0, 1) (0 1 2 3)");
    EXPECT_EQ(member_text(e.members[1]), "cx(1, 0) (1 0 2 3)");
    EXPECT_EQ(member_text(e.members[2]), "h(3) h(2) h(3) (0 1 2 3)");
}

TEST(RawECCs, SimplifyOrdersMembersAndClasses) {
    RawECCs map = bare_map(2);
    Permut32 id = Permut32::identity(2), sw = P({1, 0});
    auto &a = *map.try_emplace(1).first;
    InstrList l0 = map.cells->cons(InstrList(), h(0));
    // Same circuit twice with different permutations: both stay, smaller packed first.
    a.circuits.push_back(CircTriple{id, l0, sw});
    a.circuits.push_back(CircTriple{id, l0, id});
    auto &b = *map.try_emplace(2).first;
    b.circuits.push_back(CircTriple{id, map.cells->cons(InstrList(), cx(0, 1)), id});

    ECCs out = map.simplify();
    EXPECT_EQ(out.nqubits, 2u);
    ASSERT_EQ(out.len(), 3u);
    EXPECT_TRUE(out.eccs[0].members[0].first.empty());  // the empty circuit's class
    EXPECT_EQ(member_text(out.eccs[1].members[0]), "cx(0, 1) (0 1)");
    // Packed values: (1 0) is 1, (0 1) is 8 (plus the length byte).
    EXPECT_EQ(member_text(out.eccs[2].members[0]), "h(0) (1 0)");
    EXPECT_EQ(member_text(out.eccs[2].members[1]), "h(0) (0 1)");
    EXPECT_EQ(map.simplify(), out);
}

TEST(RawECCs, PlacedInstructions) {
    EXPECT_EQ(instrs_text(RawECCs::placed_instructions({gates::H, gates::CX}, 3)),
              "h(0) h(1) cx(0, 1) cx(1, 0) h(2) cx(0, 2) cx(1, 2) cx(2, 0) cx(2, 1)");
    // Missing adjoints are added once, after the given gates, then everything
    // is ordered by arity and gate index.
    EXPECT_EQ(instrs_text(RawECCs::placed_instructions({gates::T, gates::T}, 1)), "t(0) t(0) tdg(0)");
    EXPECT_EQ(instrs_text(RawECCs::placed_instructions({gates::TDG, gates::T}, 1)), "t(0) tdg(0)");
    EXPECT_EQ(instrs_text(RawECCs::placed_instructions({gates::S, gates::CX, gates::H}, 2)),
              "h(0) s(0) sdg(0) h(1) s(1) sdg(1) cx(0, 1) cx(1, 0)");
}

TEST(RawECCs, SearchShapeAndCounters) {
    Evaluator ev = Evaluator::from_random(2);
    auto instrs = RawECCs::placed_instructions({gates::H, gates::T, gates::CX}, 2);
    for (std::size_t max_size : {0, 1, 3}) {
        auto [map, counters] = RawECCs::search(ev, instrs, max_size);
        EXPECT_TRUE(map.drop);
        // Only classes' first members are extended, and only while shorter
        // than max_size; the empty circuit is always explored.
        std::size_t open = 0;
        for (std::size_t i = 0; i < map.size(); ++i) {
            const CircuitECC &cls = map.class_at(i);
            EXPECT_EQ(cls.circuits[0].circ.len(), cls.size);
            for (const auto &t : cls.circuits) EXPECT_GE(t.circ.len(), cls.size);
            open += cls.size < std::max<std::size_t>(max_size, 1);
        }
        EXPECT_EQ(counters[0], open);
        EXPECT_EQ(counters[1], counters[0] * instrs.size());
        EXPECT_GE(counters[2], counters[1]);
        EXPECT_EQ(map.cells->cells(), map.member_count() - 1);  // the root has no cell
    }
    auto [naive, nc] = RawECCs::search_naive(ev, instrs, 2);
    EXPECT_EQ(nc[1], nc[2]);

    // A circuit on qubits the evaluator lacks is refused up front.
    std::vector<Instr32> bad = {h(0), h(2)};
    try {
        RawECCs::search(ev, bad, 2);
        FAIL();
    } catch (const InternalError &e) {
        EXPECT_STREQ(e.what(), "Instruction h(2) uses a qubit outside the evaluator's 2 qubits");
    }
}

namespace {
// Everything a search run makes observable, in table order.
struct SearchRecord {
    std::string progress;
    SearchCounters counters;
    std::vector<uint64_t> keys;
    std::vector<std::string> members;
    ECCs simplified;
};

SearchRecord record_search(const Evaluator &ev, std::span<const Instr32> instrs, std::size_t max_size, bool naive,
                           int threads) {
    tbb::global_control limit(tbb::global_control::max_allowed_parallelism, std::size_t(threads));
    testing::internal::CaptureStdout();
    auto [map, counters] = naive ? RawECCs::search_naive(ev, instrs, max_size) : RawECCs::search(ev, instrs, max_size);
    SearchRecord r;
    r.progress = testing::internal::GetCapturedStdout();
    r.counters = counters;
    for (std::size_t i = 0; i < map.size(); ++i) {
        r.keys.push_back(map.key_at(i));
        std::string s;
        for (const auto &t : map.class_at(i).circuits)
            s += t.front_perm.text() + " " + instrs_text(t.instrs()) + " " + t.back_perm.text() + "; ";
        r.members.push_back(s);
    }
    r.simplified = map.simplify();
    return r;
}
}  // namespace

TEST(RawECCs, ParallelSearchMatchesOneThread) {
    struct Case {
        unsigned nqubits;
        std::vector<Gate16> gates;
        std::size_t max_size;
        bool naive;
    };
    const Case cases[] = {
        {3, {gates::H, gates::CX, gates::T}, 5, false},
        {2, {gates::H, gates::S, gates::CX, gates::SWAP}, 6, false},
        {4, {gates::H, gates::CX}, 4, false},
        {3, {gates::H, gates::CX, gates::T}, 4, true},
    };
    // The first case explores more than 400 circuits, so it prints several
    // progress lines and spans several batches.
    for (const auto &c : cases) {
        Evaluator ev = Evaluator::from_random(c.nqubits);
        auto instrs = RawECCs::placed_instructions(c.gates, c.nqubits);
        SearchRecord one = record_search(ev, instrs, c.max_size, c.naive, 1);
        SearchRecord many = record_search(ev, instrs, c.max_size, c.naive, 4);
        if (&c == &cases[0]) EXPECT_GT(one.counters[0], 2 * 4096 / instrs.size());
        EXPECT_EQ(one.progress, many.progress);
        EXPECT_EQ(one.counters, many.counters);
        EXPECT_EQ(one.keys, many.keys);
        EXPECT_EQ(one.members, many.members);
        EXPECT_TRUE(one.simplified == many.simplified);
        // The exported documents follow from the classes, byte for byte.
        EXPECT_EQ(codec::encode_eccs(one.simplified), codec::encode_eccs(many.simplified));
        EXPECT_EQ(as_quartz(one.simplified).dump(), as_quartz(many.simplified).dump());
    }
}
