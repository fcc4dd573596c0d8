// The lag sums of covxy: the fast kernel on every instruction set this
// processor offers against the direct pass, at frame shapes (n, L) of real
// runs; (1000, 32) is the shape of a frame of 1000 rows with exponent 0.5.
//
//   build-perf/covxy_kernel_bench
//   build-perf/fma_peak_bench        # the peak to compare FLOP/s with
//
// "FLOP/s" counts the work of the sums themselves: for every triple sum and
// every serial or cross sum, one multiply and one add per product that enters
// it (N(r, s) products for the pair (r, s), n - r for a lag r). The pair
// products X(t) X(t + r) that the triple sums share are not counted.
// "extra" is the fraction of lane products that the kernel's layout forms
// beyond those (exact zeros of lanes and rows that a vector cannot leave out).
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "frames/covxy.h"
#include "frames/covxy_fast.h"
#include "stats/moments.h"

namespace {

using vok::Isa;

struct Frame {
  int n, L;
  std::vector<float> x, y;
  std::vector<double> X, Y;  // standardised
};

Frame make_frame(int n, int L) {
  Frame f{n, L, std::vector<float>(n), std::vector<float>(n), {}, {}};
  std::mt19937 gen(5);
  std::normal_distribution<float> normal(0.0f, 1.0f);
  for (int t = 0; t < n; ++t) {
    f.x[t] = normal(gen);
    f.y[t] = normal(gen) + (t > 1 ? 0.5f * f.x[t - 1] * f.x[t - 2] : 0.0f);
  }
  vok::Messages diag;
  const vok::MeanSd mx = vok::sigmn(f.x, diag), my = vok::sigmn(f.y, diag);
  f.X.assign(n, 0.0);
  f.Y.assign(f.X.size(), 0.0);
  for (int t = 0; t < n; ++t) {
    f.X[t] = (f.x[t] - mx.mean) * (1.0f / mx.sd);
    f.Y[t] = (f.y[t] - my.mean) * (1.0f / my.sd);
  }
  return f;
}

// Floating-point operations of the sums of one frame (see the top): a
// multiply and an add for every product the sums need.
double sum_flops(int n, int L) {
  return 2.0 * vok::lane_products(n, L, Isa::baseline).needed;
}

void set_counters(benchmark::State& state, int n, int L) {
  state.counters["FLOP/s"] = benchmark::Counter(
      sum_flops(n, L) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["frames/s"] =
      benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_FastSums(benchmark::State& state, Isa isa) {
  if (!vok::isa_available(isa)) {
    state.SkipWithError("instruction set not available on this processor");
    return;
  }
  const int n = static_cast<int>(state.range(0));
  const int L = static_cast<int>(state.range(1));
  // Lane products beyond those the sums need, as a fraction of the needed.
  const vok::LaneProducts lanes = vok::lane_products(n, L, isa);
  state.counters["extra"] = lanes.formed / lanes.needed - 1.0;
  const Frame f = make_frame(n, L);
  vok::Messages diag;
  vok::FrameSums sums = vok::covxy_sums(f.x, f.y, L, diag, vok::SumsKernel::fast);
  std::vector<double> scratch;
  for (auto _ : state) {
    vok::fast_lag_sums(f.X, f.Y, sums, scratch, isa);
    benchmark::DoNotOptimize(sums.txxy.data());
  }
  set_counters(state, n, L);
}

void BM_DirectSums(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int L = static_cast<int>(state.range(1));
  const Frame f = make_frame(n, L);
  vok::Messages diag;
  for (auto _ : state) {
    vok::FrameSums sums = vok::covxy_sums(f.x, f.y, L, diag, vok::SumsKernel::reference);
    benchmark::DoNotOptimize(sums.txxy.data());
  }
  set_counters(state, n, L);
}

// Whole covxy calls (moments, sums, statistics, chi-square) with each kernel,
// with work storage reused from call to call as the program does.
void BM_Covxy(benchmark::State& state, vok::SumsKernel kernel) {
  const int n = static_cast<int>(state.range(0));
  const int L = static_cast<int>(state.range(1));
  const Frame f = make_frame(n, L);
  const int M = vok::list_length(L);
  std::vector<float> xxy(M), yyx(M), rxy(2 * L + 1);
  std::vector<int> r_lags(M), s_lags(M);
  vok::Messages diag;
  vok::CovxyWork work;
  for (auto _ : state) {
    vok::FrameTests t = vok::covxy(f.x, f.y, L, xxy, yyx, rxy, r_lags, s_lags, diag, work, kernel);
    benchmark::DoNotOptimize(t);
  }
  set_counters(state, n, L);
}

void shapes(benchmark::internal::Benchmark* b) {
  b->Args({1000, 32})
      ->Args({256, 5})
      ->Args({200, 8})
      ->Args({4096, 64})
      ->Unit(benchmark::kMicrosecond);
}

BENCHMARK_CAPTURE(BM_FastSums, avx512, Isa::avx512)->Apply(shapes);
BENCHMARK_CAPTURE(BM_FastSums, avx2, Isa::avx2)->Apply(shapes);
BENCHMARK_CAPTURE(BM_FastSums, baseline, Isa::baseline)->Apply(shapes);
BENCHMARK(BM_DirectSums)->Apply(shapes);
BENCHMARK_CAPTURE(BM_Covxy, fast, vok::SumsKernel::fast)->Apply(shapes);
BENCHMARK_CAPTURE(BM_Covxy, reference, vok::SumsKernel::reference)->Apply(shapes);

}  // namespace
