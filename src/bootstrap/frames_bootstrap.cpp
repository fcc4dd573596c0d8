#include "bootstrap/frames_bootstrap.h"

#include <deque>
#include <new>
#include <vector>

#include "frames/frame_plan.h"

namespace vok {

FrameResampleWork::FrameResampleWork(int n, int L)
    : pair(2 * static_cast<std::size_t>(n)),
      index(static_cast<std::size_t>(n)),
      frame(FramePlan::of(n, n, 0, L)) {}

std::array<float, kTestCount> frame_resample_pvalues(std::span<const float> x,
                                                     std::span<const float> y, int n, int L,
                                                     const FrameJob& job, std::uint64_t first,
                                                     FrameResampleWork& work, Messages& diag) {
  const std::size_t len = static_cast<std::size_t>(n);
  const std::span<int> index(work.index);
  const std::span<float> frame(work.pair);
  // One index a row: x(t) and y(t) are drawn together, so that what ties
  // them at lag 0 stays in the resample.
  resample_indices(first, static_cast<int>(x.size()), index.first(len));
  for (std::size_t t = 0; t < len; ++t) {
    const auto row = static_cast<std::size_t>(index[t]);
    frame[t] = x[row];
    frame[len + t] = y[row];
  }
  const FrameOutcome outcome =
      compute_frame(job.for_resample(frame.first(len), frame.subspan(len, len), L), 1, work.frame);
  // The frame's messages belong to the bootstrap.
  for (Message m : outcome.messages) {
    m.stage = Stage::bootstrap;
    m.frame = 0;
    diag.append({&m, 1});
  }
  if (outcome.stopped) return {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
  // 1 - CDF in 32 bits, as the frames are judged.
  const PerTest<float>& c = outcome.frame.cdf;
  std::array<float, kTestCount> p{};
  for (Test t : kTests) p[test_index(t)] = 1.0f - c[t];
  return p;
}

Thresholds frames_bootstrap(std::span<const float> x, std::span<const float> y, int n, int L,
                            const FrameJob& job, int B, float alpha, UniformStream& uniforms,
                            int thread_limit, Messages& diag, const Progress::Sink* progress,
                            const std::atomic<bool>* cancel) {
  const int threads = bootstrap_threads(thread_limit, B);
  std::deque<FrameResampleWork> work;  // one per thread
  try {
    for (int w = 0; w < threads; ++w) work.emplace_back(n, L);
  } catch (const std::bad_alloc&) {
    bootstrap_allocation_failed(diag);
  }
  return bootstrap_thresholds(
      B, 2 * static_cast<std::uint64_t>(n), alpha, uniforms, threads, diag, progress, cancel,
      [&](std::uint64_t first, int worker, Messages& resample_diag) {
        return frame_resample_pvalues(x, y, n, L, job, first, work[worker], resample_diag);
      });
}

}  // namespace vok
