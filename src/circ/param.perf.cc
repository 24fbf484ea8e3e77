#include <benchmark/benchmark.h>

#include <string>

#include "circ/param.h"

using namespace dravik;

static void BM_param_evaluate(benchmark::State &state, const char *text) {
    for (auto _ : state) benchmark::DoNotOptimize(evaluate_with_pi(text));
}
BENCHMARK_CAPTURE(BM_param_evaluate, simple, "pi/3");
BENCHMARK_CAPTURE(BM_param_evaluate, nested, "2*sin(pi/5)^2 - (1 + sqrt(3)) / -4");
BENCHMARK_CAPTURE(BM_param_evaluate, parse_error, "(pi + 2");

static void BM_param_too_deep(benchmark::State &state) {
    std::string deep(100000, '(');
    for (auto _ : state) benchmark::DoNotOptimize(evaluate_with_pi(deep));
}
BENCHMARK(BM_param_too_deep);
