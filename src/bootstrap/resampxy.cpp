#include "bootstrap/resampxy.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <exception>
#include <optional>
#include <new>
#include <string>

#include "exec/parallel.h"
#include "exec/progress.h"
#include "frames/covxy.h"
#include "output/channel.h"
#include "output/failure.h"
#include "stats/moments.h"
#include "stats/sort.h"

namespace vok {

int resample_index(float u, int N) {
  if (!(u > 0.0f)) return 1;
  if (u >= 1.0f) return N;
  // Below 2^29 rows, N u has at most 29 + 24 significant bits and is exact in
  // double, so its floor is the exact one (and cheap).
  if (N < (1 << 29)) {
    const auto k = static_cast<int>(static_cast<double>(N) * static_cast<double>(u));
    return std::min(k + 1, N);
  }
  // u = m 2^(e - 24) with m a 24-bit integer, so N u = N m / 2^(24 - e)
  // exactly; N m < 2^55 fits 64 bits, and the shift takes the floor.
  int e = 0;
  const float fraction = std::frexp(u, &e);
  const auto m = static_cast<std::uint64_t>(std::ldexp(fraction, 24));
  const int shift = 24 - e;
  const std::uint64_t product = static_cast<std::uint64_t>(N) * m;
  const std::uint64_t k = shift >= 64 ? 0 : product >> shift;
  return static_cast<int>(std::min<std::uint64_t>(k + 1, static_cast<std::uint64_t>(N)));
}

ResampleWork::ResampleWork(int n, int) : x(n), y(n), index(n) {}

namespace {

// Replaces each value by (value - mean) / standard deviation of the series.
void standardise(std::span<float> v, Channel& diag) {
  const MeanSd m = sigmn(v, diag);
  for (float& value : v) value = (value - m.mean) / m.sd;
}

// The indices first, then the values: the column can be far larger than the
// caches, and a loop of plain loads keeps many of its misses in flight.
void draw(std::span<const float> column, std::uint64_t first, std::span<int> index,
          std::span<float> out) {
  const int N = static_cast<int>(column.size());
  for (std::size_t i = 0; i < out.size(); ++i)
    index[i] = resample_index(UniformStream::at(first + i), N) - 1;
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = column[index[i]];
}

}  // namespace

std::array<float, kTestCount> resample_pvalues(std::span<const float> x, std::span<const float> y,
                                               int n, int L, std::uint64_t first,
                                               ResampleWork& work, Channel& diag) {
  std::span<float> xs(work.x.data(), n);
  std::span<float> ys(work.y.data(), n);
  draw(x, first, work.index, xs);
  draw(y, first + static_cast<std::uint64_t>(n), work.index, ys);
  standardise(xs, diag);
  standardise(ys, diag);
  const FrameTests t = covxy_tests(xs, ys, L, {}, diag, work.tests);
  return {1.0f - t.hxxy, 1.0f - t.hyyx, 1.0f - t.hxxx, 1.0f - t.hyyy,
          1.0f - t.cx,   1.0f - t.cy,   1.0f - t.cxy};
}

Thresholds resampxy(std::span<const float> x, std::span<const float> y, int n, int L, int B,
                    float alpha, UniformStream& uniforms, int thread_limit, Channel& diag,
                    Channel& console, bool show_progress) {
  const std::size_t resamples = static_cast<std::size_t>(std::max(B, 0));
  const int threads = static_cast<int>(std::clamp<std::size_t>(
      static_cast<std::size_t>(std::max(thread_limit, 1)), 1, std::max<std::size_t>(resamples, 1)));
  std::array<std::vector<float>, kTestCount> pvalues;
  std::vector<int> order;
  std::deque<ResampleWork> work;  // one per thread
  try {
    for (auto& p : pvalues) p.resize(resamples);
    order.resize(std::max<std::size_t>(resamples, 1));
    for (int w = 0; w < threads; ++w) work.emplace_back(n, L);
  } catch (const std::bad_alloc&) {
    diag.write_free({"Unable to allocate work space - arrays in resampxy"});
    throw Stop{};
  }

  // Resample b owns stream positions start + (b - 1) 2n .. start + 2nb - 1,
  // so its p-values do not depend on the order the resamples are taken in.
  // Each resample keeps its messages (and a stop) until its turn comes, so
  // they reach the standard error stream in resample order.
  struct Resample {
    std::array<float, kTestCount> p{};
    std::string messages;
    std::exception_ptr stop;
  };
  const std::uint64_t start = uniforms.position();
  const std::uint64_t per_resample = 2 * static_cast<std::uint64_t>(n);
  std::optional<Progress> progress;
  if (show_progress) progress.emplace("resamples", resamples);
  ordered_map<Resample>(
      resamples,
      [&](std::size_t b, int worker) {
        Resample r;
        Channel diag;
        diag.capture();
        try {
          r.p = resample_pvalues(x, y, n, L, start + b * per_resample, work[worker], diag);
        } catch (...) {
          r.stop = std::current_exception();
        }
        r.messages = diag.text();
        if (progress) progress->advance();
        return r;
      },
      [&](std::size_t b, Resample&& r) {
        if (!r.messages.empty()) diag.append(r.messages);
        if (r.stop) std::rethrow_exception(r.stop);
        for (int t = 0; t < kTestCount; ++t) pvalues[t][b] = r.p[t];
      },
      threads);
  uniforms.advance(per_resample * resamples);

  Thresholds result;
  const float level[1] = {alpha};
  for (int t = 0; t < kTestCount; ++t) {
    float fractile[1] = {alpha};
    result.status = sort(order, pvalues[t], level, fractile, 'B', console, diag);
    result.values[t] = fractile[0];
  }
  return result;
}

}  // namespace vok
