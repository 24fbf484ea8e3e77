// Canonical identity keys: rotate_representative is paid on every rule
// application of the prover (n! relabellings x rotations, then one
// state-vector check). Arguments: instruction count, qubit count.
#include <benchmark/benchmark.h>

#include <random>

#include "identity/circuit.h"
#include "identity/idcircuit.h"

using namespace dravik;

namespace {

// A fixed identity of `len` instructions on `n` qubits that uses every qubit:
// a random half followed by its inverse, then rotated and relabelled so that
// it is not already in canonical form.
Circ bench_identity(unsigned len, unsigned n) {
    std::mt19937 rng(len * 31 + n);
    static const Gate16 one[] = {gates::H, gates::S, gates::T, gates::X};
    static const Gate16 two[] = {gates::CX, gates::CZ, gates::SWAP};
    std::vector<Instr32> half;
    for (unsigned q = 0; q + 1 < n && half.size() < len / 2; ++q) half.emplace_back(gates::CX, q, q + 1);
    while (half.size() < len / 2) {
        uint8_t a = uint8_t(rng() % n), b = uint8_t((a + 1 + rng() % (n - 1)) % n);
        if (rng() % 2)
            half.emplace_back(two[rng() % 3], a, b);
        else
            half.emplace_back(one[rng() % 4], a);
    }
    Circ a = Circ::new_no_perm(half);
    a = Circ::new_(a.instrs, Permut32::identity(n));
    Circ id = a + a.inverse();
    auto &perms = Permut32::all(n);
    return id.rotate(int64_t(len / 3)).permut(perms[perms.size() / 2]);
}

void args(benchmark::internal::Benchmark *b) {
    for (int n : {3, 4})
        for (int len : {6, 8, 10, 12}) b->Args({len, n});
}

}  // namespace

static void BM_rotate_representative(benchmark::State &state) {
    Circ id = bench_identity(unsigned(state.range(0)), unsigned(state.range(1)));
    for (auto _ : state) benchmark::DoNotOptimize(id.rotate_representative());
}
BENCHMARK(BM_rotate_representative)->Apply(args)->Unit(benchmark::kMicrosecond);

// The two halves of the above: the search alone and the identity check alone.
static void BM_rotate_representative_search(benchmark::State &state) {
    Circ id = bench_identity(unsigned(state.range(0)), unsigned(state.range(1)));
    for (auto _ : state) benchmark::DoNotOptimize(id.rotate_representative_circ());
}
BENCHMARK(BM_rotate_representative_search)->Apply(args)->Unit(benchmark::kMicrosecond);

static void BM_identity_check(benchmark::State &state) {
    IdentityCirc id(bench_identity(unsigned(state.range(0)), unsigned(state.range(1))));
    for (auto _ : state) benchmark::DoNotOptimize(id.check());
}
BENCHMARK(BM_identity_check)->Apply(args)->Unit(benchmark::kMicrosecond);

static void BM_representative(benchmark::State &state) {
    Circ id = bench_identity(unsigned(state.range(0)), unsigned(state.range(1)));
    for (auto _ : state) benchmark::DoNotOptimize(id.representative());
}
BENCHMARK(BM_representative)->Apply(args)->Unit(benchmark::kMicrosecond);
