// Bootstrap thresholds that calibrate the frames' own tests: each resampled
// pair of frame-length series goes through what a frame goes through (the
// VAR fit of the run's order, its residuals, clipping when on, the tests),
// so that the thresholds belong to the statistics the frames compute, after
// prewhitening and clipping alike.
#pragma once

#include <atomic>
#include <span>
#include <vector>

#include "bootstrap/resampxy.h"
#include "bootstrap/uniform.h"
#include "exec/progress.h"
#include "frames/wind.h"

namespace vok {

// Work storage of one resample, for frames of n values and L lags.
struct FrameResampleWork {
  FrameResampleWork(int n, int L);
  std::vector<float> pair;  // the resampled x then y (n each)
  std::vector<int> index;   // the 0-based rows drawn (n), one for x and y alike
  FrameWork frame;          // the frame computation's storage
};

// The seven p-values (1 - CDF value in 32 bits, kTests order) of the
// resample whose block of 2n uniforms starts at stream position `first`: n
// rows drawn from its first n uniforms as resample_pvalues draws x's
// indices, each row giving the pair (x(t), y(t)) from the columns unchanged
// (x and y drawn jointly, so that their correlation at lag 0 stays in the
// resample; the block's other n uniforms are not used, so that the stream
// advances as with the data bootstrap), then the frame
// computation of `job` (its VAR order and clipping; its series and plan are
// not used) on that pair as one frame of n values and L lags. A pair whose
// VAR fit fails gives p-values of 1, as a degenerate frame does; its
// messages are raised on `diag`. `work` is scratch.
std::array<float, kTestCount> frame_resample_pvalues(std::span<const float> x,
                                                     std::span<const float> y, int n, int L,
                                                     const FrameJob& job, std::uint64_t first,
                                                     FrameResampleWork& work, Messages& diag);

// B such resamples of n values from the N = x.size() values of x and y
// (same length, after any log transform), L lags, VAR order and clipping of
// `job`, fractile level alpha: the thresholds as resampxy gives them, from
// the same blocks of the stream (resample b from 1 reads positions start +
// (b - 1) 2n onwards; the stream is left 2nB further on), the same for any
// thread count.
Thresholds frames_bootstrap(std::span<const float> x, std::span<const float> y, int n, int L,
                            const FrameJob& job, int B, float alpha, UniformStream& uniforms,
                            int threads, Messages& messages,
                            const Progress::Sink* progress = nullptr,
                            const std::atomic<bool>* cancel = nullptr);

}  // namespace vok
