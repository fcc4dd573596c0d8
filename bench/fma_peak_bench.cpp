// The processor's double-precision peak, for judging the covxy kernel: long
// chains of independent vector multiply-adds with no memory traffic.
//
//   build-perf/fma_peak_bench
//
// "FLOP/s" counts 2 floating-point operations per multiply-add and lane. The
// AVX2 FMA figure is the peak one core reaches; the separate multiply and add
// figure is the same work without fusing, as the covxy kernel does it.
#include <benchmark/benchmark.h>

#include "peak.h"

namespace {

using vok_bench::fma_chains;
using vok_bench::kSteps;
using vok_bench::mul_add_chains;

void report(benchmark::State& state) {
  const double flops = vok_bench::peak_call_flops();
  state.counters["FLOP/s"] = benchmark::Counter(flops * static_cast<double>(state.iterations()),
                                                benchmark::Counter::kIsRate);
}

void BM_FmaPeak(benchmark::State& state) {
  if (!__builtin_cpu_supports("avx2") || !__builtin_cpu_supports("fma")) {
    state.SkipWithError("no AVX2 FMA on this processor");
    return;
  }
  for (auto _ : state) fma_chains(kSteps);
  report(state);
}
BENCHMARK(BM_FmaPeak)->Unit(benchmark::kMicrosecond);

void BM_MulAddPeak(benchmark::State& state) {
  if (!__builtin_cpu_supports("avx2")) {
    state.SkipWithError("no AVX2 on this processor");
    return;
  }
  for (auto _ : state) mul_add_chains(kSteps);
  report(state);
}
BENCHMARK(BM_MulAddPeak)->Unit(benchmark::kMicrosecond);

}  // namespace
