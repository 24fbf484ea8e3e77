#include <benchmark/benchmark.h>

#include "circ/gate.h"

using namespace dravik;

static void BM_gate_nqargs(benchmark::State &state) {
    Gate16 g = gates::CX;
    for (auto _ : state) benchmark::DoNotOptimize(g.nqargs());
}
BENCHMARK(BM_gate_nqargs);

static void BM_gate_matrix_read(benchmark::State &state) {
    Gate16 g = gates::H;
    for (auto _ : state) benchmark::DoNotOptimize(g.with_matrix([](const CMatrix &m) { return m.data[3].real(); }));
}
BENCHMARK(BM_gate_matrix_read);
