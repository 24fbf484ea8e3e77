// Evaluation throughput: circuits of 4-6 instructions over {h, cx, t, tdg},
// the shape the search evaluates. Items/s is evaluations per second.
#include <benchmark/benchmark.h>

#include <vector>

#include "search/evaluator.h"
#include "state/order_info.h"
#include "utils/chacha.h"

using namespace dravik;

namespace {

// A fixed pool of circuits; each names every qubit so that most evaluations
// have the usual single candidate labelling.
std::vector<std::vector<Instr32>> circuit_pool(unsigned n) {
    ChaCha12Rng rng({42, 0, 0, 0, 0, 0, 0, static_cast<uint32_t>(n)});
    const Gate16 one[] = {gates::H, gates::T, gates::TDG};
    std::vector<std::vector<Instr32>> pool;
    for (int i = 0; i < 256; ++i) {
        std::vector<Instr32> c;
        unsigned len = 4 + rng.next_u32() % 3;
        for (unsigned j = 0; j < len; ++j) {
            uint8_t a = uint8_t(rng.next_u32() % n);
            if (rng.next_u32() % 4 == 0) {
                uint8_t b = uint8_t((a + 1 + rng.next_u32() % (n - 1)) % n);
                c.push_back(Instr32(gates::CX, a, b));
            } else {
                c.push_back(Instr32(one[rng.next_u32() % 3], a));
            }
        }
        pool.push_back(std::move(c));
    }
    return pool;
}

// Candidate labellings per evaluation, averaged over the pool: each costs one
// backward run.
double mean_labellings(const Evaluator &e, const std::vector<std::vector<Instr32>> &pool) {
    double total = 0;
    for (auto &c : pool) total += double(e.evaluate_multiple(c).state.get_orderinfo().as_perms().size());
    return total / double(pool.size());
}

void BM_evaluate_key(benchmark::State &state) {
    const unsigned n = unsigned(state.range(0));
    Evaluator e = Evaluator::from_random(n);
    auto pool = circuit_pool(n);
    state.counters["labellings"] = mean_labellings(e, pool);
    PermPairs perms;
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(e.evaluate_key(pool[i++ & 255], perms));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_evaluate_key)->Arg(3)->Arg(5);

void BM_evaluate_multiple(benchmark::State &state) {
    const unsigned n = unsigned(state.range(0));
    Evaluator e = Evaluator::from_random(n);
    auto pool = circuit_pool(n);
    std::size_t i = 0;
    for (auto _ : state) {
        EvalResult r = e.evaluate_multiple(pool[i++ & 255]);
        benchmark::DoNotOptimize(r.canonical.re.data());
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_evaluate_multiple)->Arg(3)->Arg(5);

void BM_statevec_hash(benchmark::State &state) {
    ChaCha12Rng rng({1, 2, 3, 4, 5, 6, 7, 8});
    StateVec v = StateVec::from_random(rng, unsigned(state.range(0)));
    for (auto _ : state) benchmark::DoNotOptimize(v.hash_value());
}
BENCHMARK(BM_statevec_hash)->Arg(3)->Arg(5);

}  // namespace
