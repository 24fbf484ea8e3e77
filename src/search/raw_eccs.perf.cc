// Search + simplification for gate set {h, cx, t, tdg} on three qubits; the
// targets are about 0.25 s at max size 6 and 2 s at max size 7, single thread.
// Counters: classes and stored members, the map's bytes per class and per
// member (table slots plus cells, nothing else is allocated per member), and
// the process's peak resident size so far.
#include <benchmark/benchmark.h>
#include <sys/resource.h>

#include <cstdio>

#include "search/raw_eccs.h"

using namespace dravik;

namespace {

double peak_rss_mb() {
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    return double(r.ru_maxrss) / 1024.0;  // kB on Linux
}

std::size_t map_bytes(const RawECCs &map) { return map.table_bytes() + map.cells->bytes(); }

void BM_generate_simplify(benchmark::State &state) {
    auto max_size = std::size_t(state.range(0));
    Evaluator ev = Evaluator::from_random(3);
    std::vector<Gate16> gates = {gates::H, gates::CX, gates::T, gates::TDG};
    // The search prints progress to stdout; keep it out of the report.
    std::fflush(stdout);
    FILE *saved = stdout;
    stdout = std::fopen("/dev/null", "w");
    std::size_t classes = 0, members = 0, bytes = 0, simplified = 0;
    for (auto _ : state) {
        auto [map, counters] = RawECCs::generate(ev, gates, max_size);
        ECCs eccs = map.simplify();
        benchmark::DoNotOptimize(eccs);
        // Statistics and freeing are not part of the measured work.
        state.PauseTiming();
        classes = map.size();
        members = map.member_count();
        bytes = map_bytes(map);
        simplified = eccs.filter_single().len();
        {
            [[maybe_unused]] auto drop_map = std::move(map);
            [[maybe_unused]] auto drop_eccs = std::move(eccs);
        }
        state.ResumeTiming();
    }
    std::fclose(stdout);
    stdout = saved;
    state.counters["classes"] = double(classes);
    state.counters["members"] = double(members);
    state.counters["multi_classes"] = double(simplified);
    state.counters["map_MB"] = double(bytes) / 1e6;
    state.counters["B/class"] = double(bytes) / double(classes);
    state.counters["B/member"] = double(bytes) / double(members);
    state.counters["peak_MB"] = peak_rss_mb();
}

}  // namespace

BENCHMARK(BM_generate_simplify)->Arg(5)->Arg(6)->Arg(7)->Unit(benchmark::kMillisecond)->Iterations(1);
