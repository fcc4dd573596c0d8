// Time of covxy for one frame, at frame lengths and lag counts of real runs.
#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

#include "frames/covxy.h"

namespace {

void BM_Covxy(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const int L = static_cast<int>(state.range(1));
  std::mt19937 gen(5);
  std::vector<float> x(n), y(n);
  for (int t = 0; t < n; ++t) {
    x[t] = static_cast<float>(gen() / 4294967296.0 - 0.5);
    y[t] = static_cast<float>(gen() / 4294967296.0 - 0.5) + (t > 0 ? 0.5f * x[t - 1] : 0.0f);
  }
  const int M = vok::list_length(L);
  std::vector<float> xxy(M), yyx(M), rxy(2 * L + 1);
  std::vector<int> r_lags(M), s_lags(M);
  vok::Messages diag;
  for (auto _ : state) {
    vok::FrameTests t = vok::covxy(x, y, L, xxy, yyx, rxy, r_lags, s_lags, diag);
    benchmark::DoNotOptimize(t);
  }
  state.SetItemsProcessed(state.iterations());  // frames
}
BENCHMARK(BM_Covxy)
    ->Args({256, 5})
    ->Args({1000, 32})
    ->Args({4096, 64})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
