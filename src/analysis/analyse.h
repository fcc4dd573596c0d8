// The one way into the analysis: vok::analyse and the console program both
// run a pair of series through detail::analyse, each with its own sinks.
#pragma once

#include <span>

#include "analysis/engine.h"
#include "bootstrap/uniform.h"
#include "data/stamp_array.h"
#include "frames/frame_plan.h"
#include "frames/wind.h"
#include "vok/vok.h"

namespace vok::detail {

// The frame plan of `rows` rows under `settings`.
FramePlan frame_plan(int rows, const Settings& settings);

// Checks what the analysis needs, then analyses x and y into `sink`:
//
//   - every bound of the settings but the resamples the level needs, which
//     the analysis refuses after the descriptive statistics (ResamplesRefused:
//     the console program tells it after them);
//   - x and y of one length, with at least one frame in them.
//
// x and y are the series as they are tested: a client of Transform::log has
// taken their logs (take_logs), and reports a value it cannot take in its
// own words. `stamps` (may be empty) gives each frame its first and last
// stamp; the bootstrap draws from `uniforms`. `computed` holds frames 1, 2,
// ... computed already while the rows were read (see run_analysis). Returns
// the frame plan analysed. Throws Error for a refused check, and what
// run_analysis throws (AnalysisStopped, ResamplesRefused, Cancelled).
FramePlan analyse(std::span<const float> x, std::span<const float> y, const Settings& settings,
                  const StampLookup& stamps, UniformStream& uniforms, AnalysisSink& sink,
                  const EngineOptions& options, std::span<FrameOutcome> computed = {});

}  // namespace vok::detail
