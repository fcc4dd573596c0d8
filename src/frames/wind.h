// The frame computation: one frame of a run's two series is copied out,
// prewhitened with its own VAR(p) fit, described by the statistics of its
// residuals, clipped when asked and tested with the seven tests.
//
// compute_frame touches nothing but its arguments and writes nothing: the
// messages its callees raise (the fit's, the residual statistics', the
// tests') come back with the frame, tagged with their stage, so frames can be
// computed side by side on every thread and handed on later in frame order,
// the same for any thread count.
#pragma once

#include <cstdint>

#include <span>
#include <vector>

#include "frames/covxy.h"
#include "frames/frame_plan.h"
#include "vok/missing.h"
#include "vok/vok.h"

namespace vok {

// What every frame of a run shares.
struct FrameJob {
  std::span<const float> x, y;  // the run's two series (n values each)
  FramePlan plan;
  int var_lag = 0;    // VAR order p
  Trend trend = Trend::n;  // the VAR fit's constant
  bool clip = false;  // the residuals are clipped to +1/-1
  // The residuals' statistics and the McLeod-Li check are computed (a
  // bootstrap resample, tested like a frame, needs neither).
  bool describe = true;
  SumsKernel kernel = SumsKernel::fast;  // of the tests' lag sums
  PerTest<float> thresholds;  // what the frames' outcomes are judged against
  // Where each frame lies, when not where the plan puts it (series with
  // missing rows left out): frame k starts at places[k - 1].start of x and
  // y and shows that place's rows of the series as given.
  std::span<const FramePlace> places;

  // The job of a run's frames, shaped by `settings`, judged against
  // `thresholds` (frames computed before the thresholds are known are
  // judged later, by whoever knows them).
  static FrameJob of(std::span<const float> x, std::span<const float> y, const FramePlan& plan,
                     const Settings& settings, const PerTest<float>& thresholds = {});

  // The job of a bootstrap resample: the pair (x, y) of n values each,
  // computed as the one frame of a run of n rows with `lags` lags, with this
  // job's VAR order, clipping and kernel, and without the residuals'
  // description (a resample is tested only; its outcome is not judged).
  FrameJob for_resample(std::span<const float> pair_x, std::span<const float> pair_y,
                        int lags) const;
};

// Whether the values are all exactly equal (as 32-bit reals: +0 and -0 are
// equal, a NaN equals nothing). An empty series is not.
bool all_equal(std::span<const float> values);

// Whether frame k of the plan can be tested: false when its x or its y holds
// one value throughout, or a value that is not finite.
bool testable(std::span<const float> x, std::span<const float> y, const FramePlan& plan, int k);

// Whether no frame of the plan can be tested (and there is at least one frame).
bool nothing_to_test(std::span<const float> x, std::span<const float> y, const FramePlan& plan);

// A frame is significant for a test when its p-value 1 - P lies strictly
// below the threshold; equality and a P that is not a number are not.
bool significant(float threshold, float cdf);
// Significance of each test of a frame.
PerTest<bool> judge(const PerTest<float>& cdf, const PerTest<float>& thresholds);

// Work storage of a frame computation, obtained once and reused frame after
// frame (one per thread when frames are computed side by side).
struct FrameWork {
  explicit FrameWork(const FramePlan& plan);
  std::vector<float> frame;      // frame_length x 2: raw x and y of the frame
  std::vector<float> residuals;  // frame_length x 2: VAR residuals, then the test series
  CovxyWork tests;               // the tests' sums and scratch
};

// One computed frame and the messages raised computing it, in the order
// raised. `stopped`: the frame cannot be completed (its VAR fit failed); its
// messages say why and the run goes no further.
struct FrameOutcome {
  Frame frame;
  std::vector<Message> messages;
  bool stopped = false;
};

// Computes frame k (1-based): copy, VAR residuals (p >= 1) and their
// statistics, the McLeod-Li check of the residuals, clipping, tests. A frame
// whose x or y holds one value throughout gets no VAR fit (a fit on a
// constant column fails, or leaves rounding noise the tests would
// standardise): its residuals are its two series, described as usual, and
// its tests are those of a degenerate frame. The
// thresholds are not used: judging the frame's significance (judge) and its
// stamps are left to the caller, so a frame can be computed before the
// thresholds are known.
FrameOutcome compute_frame(const FrameJob& job, int k, FrameWork& work);

// Bytes a computed frame of `plan` holds, about: its outcome, its
// cross-correlations and its VAR fit of order var_lag, each heap block with
// the allocator's overhead (what a client holding computed frames budgets).
std::uint64_t computed_frame_bytes(const FramePlan& plan, int var_lag);

}  // namespace vok
