// What leaving out missing rows costs: vok::analyse of a series without
// missing values against vok::analyse_with_missing of the same series with
// a gap of 50 rows every 10,000 (each policy), 10^6 rows, frames of 1000 rows
// and 32 lags, one thread.
#include <benchmark/benchmark.h>

#include <limits>
#include <random>
#include <vector>

#include "vok/missing.h"
#include "vok/vok.h"

namespace {

constexpr int kRows = 1000000;

struct Series {
  std::vector<float> x, y;
};

const Series& series(bool gaps) {
  static const Series plain = [] {
    std::mt19937 gen(9);
    std::normal_distribution<float> normal;
    Series s{std::vector<float>(kRows), std::vector<float>(kRows)};
    for (int t = 0; t < kRows; ++t) {
      s.x[t] = normal(gen);
      s.y[t] = normal(gen) + (t > 1 ? 0.4f * s.x[t - 1] * s.x[t - 2] : 0.0f);
    }
    return s;
  }();
  static const Series gapped = [] {
    Series s = plain;
    for (int t = 0; t < kRows; ++t)
      if (t % 10000 >= 9950) s.x[t] = std::numeric_limits<float>::quiet_NaN();
    return s;
  }();
  return gaps ? gapped : plain;
}

vok::Settings settings() {
  vok::Settings s;
  s.frame_length = 1000;
  s.exponent = 0.5f;
  s.threads = 1;
  return s;
}

void BM_Analyse(benchmark::State& state) {
  const Series& s = series(false);
  for (auto _ : state) benchmark::DoNotOptimize(vok::analyse(s.x, s.y, settings()));
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_Analyse)->Unit(benchmark::kMillisecond);

void BM_AnalyseWithMissing(benchmark::State& state) {
  const Series& s = series(true);
  const auto policy = static_cast<vok::Missing>(state.range(0));
  for (auto _ : state)
    benchmark::DoNotOptimize(vok::analyse_with_missing(s.x, s.y, settings(), policy));
  state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_AnalyseWithMissing)
    ->Arg(static_cast<int>(vok::Missing::drop))
    ->Arg(static_cast<int>(vok::Missing::split))
    ->ArgName("split")
    ->Unit(benchmark::kMillisecond);

}  // namespace
