// The bootstrap on short frames: the time per resample of the whole
// threshold step (resampxy) at frame lengths 18, 50 and 100 (exponent 0.4:
// 3, 5 and 6 lags) with 10^4 to 10^6 resamples on 1 and 2 threads, against
// its floor.
//
//   build-perf/short_frames_bench
//   build-perf/short_frames_bench --benchmark_filter='/50/100000/'
//
// Counters, each the best of the iterations:
//   per_resample  wall time of the step over B;
//   floor         the lag sums' multiply-adds of one resample (a multiply and
//                 an add per product the sums need, as covxy_kernel_bench
//                 counts them) at one core's measured multiply-and-add peak
//                 (fma_peak_bench's chains), plus the fractile's selection
//                 (the seven tests' selection from the resamples' statistics,
//                 measured here on its own), both over the threads;
//   ratio         per_resample over floor.
// The columns are 20,000 values of a skewed AR(1) x and a y driven by it.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "bootstrap/resample_batch.h"
#include "bootstrap/resampxy.h"
#include "bootstrap/statistic_fractile.h"
#include "bootstrap/uniform.h"
#include "exec/parallel.h"
#include "frames/covxy_fast.h"
#include "frames/frame_plan.h"
#include "output/channel.h"
#include "peak.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRows = 20000;
constexpr float kExponent = 0.4f;
constexpr float kAlpha = 0.05f;

struct Columns {
  std::vector<float> x, y;
};

const Columns& columns() {
  static const Columns c = [] {
    Columns out{std::vector<float>(kRows), std::vector<float>(kRows)};
    std::mt19937 gen(27);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    float x = 0.0f;
    for (int t = 0; t < kRows; ++t) {
      const float e = normal(gen);
      const float previous = x;
      x = 0.5f * x + e * e - 1.0f;
      out.x[t] = x;
      out.y[t] = 0.4f * previous + 0.2f * previous * previous + normal(gen);
    }
    return out;
  }();
  return c;
}

double seconds_since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// One core's multiply-and-add peak in FLOP/s, the best of several runs of
// the chains (measured once).
double peak_flops() {
  static const double peak = [] {
    if (!__builtin_cpu_supports("avx2")) return std::numeric_limits<double>::quiet_NaN();
    double best = 0.0;
    for (int round = 0; round < 20; ++round) {
      const auto start = Clock::now();
      for (int i = 0; i < 50; ++i) vok_bench::mul_add_chains(vok_bench::kSteps);
      best = std::max(best, 50 * vok_bench::peak_call_flops() / seconds_since(start));
    }
    return best;
  }();
  return peak;
}

// Seconds per resample of the seven tests' selection, on `threads` threads,
// from the statistics of B resamples (the best of three).
double selection_seconds(int n, int L, int B, int threads) {
  std::array<std::vector<float>, vok::kTestCount> statistics;
  for (auto& s : statistics) s.resize(static_cast<std::size_t>(B));
  vok::ResampleBatch batch(n, L);
  vok::ResampleStatistics out[vok::kMaxBatchLanes];
  const auto per_resample = 2 * static_cast<std::uint64_t>(n);
  for (int b = 0; b < B; b += batch.lanes()) {
    const int count = std::min(batch.lanes(), B - b);
    batch.statistics(columns().x, columns().y, static_cast<std::uint64_t>(b) * per_resample, count,
                     out);
    for (int j = 0; j < count; ++j)
      for (int t = 0; t < vok::kTestCount; ++t) statistics[t][b + j] = out[j][t];
  }
  const float df[vok::kTestCount] = {
      static_cast<float>(L * (2 * L + 1)), static_cast<float>(L * (2 * L + 1)),
      static_cast<float>(L * (L - 1) / 2), static_cast<float>(L * (L - 1) / 2),
      static_cast<float>(L),               static_cast<float>(L),
      static_cast<float>(2 * L + 1)};
  double best = std::numeric_limits<double>::infinity();
  for (int round = 0; round < 3; ++round) {
    auto work = statistics;
    const auto start = Clock::now();
    vok::parallel_for(
        vok::kTestCount,
        [&](std::size_t t, int) { benchmark::DoNotOptimize(vok::pvalue_fractile(work[t], df[t], kAlpha)); },
        threads);
    best = std::min(best, seconds_since(start));
  }
  return best / B;
}

void BM_ShortFrames(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int B = static_cast<int>(state.range(1));
  const int threads = static_cast<int>(state.range(2));
  const int L = vok::lags_for(n, kExponent);
  vok::Messages quiet;
  double best = std::numeric_limits<double>::infinity();
  for (auto _ : state) {
    vok::UniformStream stream;
    const auto start = Clock::now();
    const vok::Thresholds t =
        vok::resampxy(columns().x, columns().y, n, L, B, kAlpha, stream, threads, quiet);
    best = std::min(best, seconds_since(start));
    benchmark::DoNotOptimize(t);
  }
  const double products = vok::lane_products(n, L, vok::Isa::baseline).needed;
  const double floor =
      (2.0 * products / peak_flops() + selection_seconds(n, L, B, 1)) / threads;
  state.counters["lags"] = L;
  state.counters["per_resample"] = best / B * 1e9;
  state.counters["floor"] = floor * 1e9;
  state.counters["ratio"] = best / B / floor;
}

void short_frame_cases(benchmark::internal::Benchmark* b) {
  b->ArgNames({"n", "B", "threads"});
  for (int n : {18, 50, 100})
    for (int B : {10000, 100000, 1000000})
      for (int threads : {1, 2}) b->Args({n, B, threads});
}
BENCHMARK(BM_ShortFrames)->Apply(short_frame_cases)->Unit(benchmark::kMillisecond)->MinTime(0.5);

}  // namespace
