#include <benchmark/benchmark.h>

#include <random>

#include "codec/layout.h"
#include "search/quartz.h"

using namespace dravik;

namespace {
// A synthetic collection of the size a 3-qubit search at length 6 produces:
// classes of 1 to 6 members, circuits of up to 6 instructions.
const ECCs &synthetic() {
    static const ECCs e = [] {
        std::mt19937 rng(7);
        const Gate16 one[] = {gates::H, gates::T, gates::TDG};
        ECCs out;
        out.nqubits = 3;
        const auto &perms = Permut32::all(3);
        for (int k = 0; k < 20000; ++k) {
            ECC ecc;
            int members = 1 + int(rng() % 6);
            for (int m = 0; m < members; ++m) {
                std::vector<Instr32> c;
                int len = 1 + int(rng() % 6);
                for (int i = 0; i < len; ++i) {
                    uint8_t a = uint8_t(rng() % 3);
                    if (rng() % 3 == 0) c.emplace_back(gates::CX, a, uint8_t((a + 1 + rng() % 2) % 3));
                    else c.emplace_back(one[rng() % 3], a);
                }
                ecc.members.emplace_back(std::move(c), perms[rng() % perms.size()]);
            }
            out.eccs.push_back(std::move(ecc));
        }
        return out;
    }();
    return e;
}
}  // namespace

static void BM_encode_eccs(benchmark::State &state) {
    const ECCs &e = synthetic();
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto b = codec::encode_eccs(e);
        bytes = b.size();
        benchmark::DoNotOptimize(b.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations() * bytes));
}
BENCHMARK(BM_encode_eccs)->Unit(benchmark::kMillisecond);

static void BM_decode_eccs(benchmark::State &state) {
    auto b = codec::encode_eccs(synthetic());
    for (auto _ : state) benchmark::DoNotOptimize(codec::decode_eccs(b).eccs.size());
    state.SetBytesProcessed(int64_t(state.iterations() * b.size()));
}
BENCHMARK(BM_decode_eccs)->Unit(benchmark::kMillisecond);

static void BM_as_quartz(benchmark::State &state) {
    const ECCs &e = synthetic();
    for (auto _ : state) benchmark::DoNotOptimize(as_quartz(e).size());
}
BENCHMARK(BM_as_quartz)->Unit(benchmark::kMillisecond);

static void BM_quartz_serialise(benchmark::State &state) {
    auto doc = as_quartz(synthetic());
    std::size_t bytes = 0;
    for (auto _ : state) {
        auto text = doc.dump();
        bytes = text.size();
        benchmark::DoNotOptimize(text.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations() * bytes));
}
BENCHMARK(BM_quartz_serialise)->Unit(benchmark::kMillisecond);
