// The analysis of one run, step by step, handing each result to a sink
// (vok/sink.h) as soon as it is known: the console program's writers are
// one sink (they write the report and the plot files as the run goes, as a
// run always has), vok::analyse's ResultCollector is another (it keeps
// everything in a Result).
//
//   descriptive statistics -> thresholds -> frames, in order -> counts and
//   correlation summary
//
// The engine writes nothing itself: every message its steps raise reaches
// the sink as a Message value, in the order raised.
#pragma once

#include <atomic>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bootstrap/uniform.h"
#include "data/stamp_array.h"
#include "exec/progress.h"
#include "frames/frame_plan.h"
#include "frames/wind.h"
#include "vok/sink.h"
#include "vok/vok.h"

namespace vok {

// Hands everything on to several sinks, in the order given.
class SinkList : public AnalysisSink {
 public:
  explicit SinkList(std::vector<AnalysisSink*> sinks) : sinks_(std::move(sinks)) {}
  void diagnostic(const Message& m) override;
  void statistics(const DescriptiveStats& x, const DescriptiveStats& y) override;
  void thresholds(const PerTest<float>& values, bool bootstrapped) override;
  void frame(const Frame& frame, std::span<const Message> messages) override;
  void finish(const PerTest<int>& counts, const CorrelationSummary* summary) override;

 private:
  std::vector<AnalysisSink*> sinks_;
};

// The run cannot go on: the sink has had the messages that say why.
struct AnalysisStopped {
  std::string reason;
};
// Resamples too few for the false-alarm level (1/resamples above it): thrown
// after the statistics, before any threshold.
struct ResamplesRefused {};

struct EngineOptions {
  int threads = 1;  // threads of the bootstrap and the frames
  // Where a progress line goes during long steps (the console program's
  // terminal); empty: nowhere. The engine itself writes nothing.
  Progress::Sink progress;
  // Polled between frames and between resamples: once it holds true the
  // analysis throws Cancelled.
  const std::atomic<bool>* cancel = nullptr;
  // The kernel of the tests' lag sums (the results are the same with either).
  SumsKernel kernel = SumsKernel::fast;
};

// Throws Cancelled when `cancel` is given and raised.
void throw_if_cancelled(const std::atomic<bool>* cancel);

// Analyses the series x and y (n = plan.rows values each, transformed
// already) with the settings' VAR order, clipping, resamples and false-alarm
// level. `stamps` (may be empty) gives each frame its first and last stamp.
// The bootstrap draws from `uniforms` and leaves it after its last draw.
// `computed` holds frames 1, 2, ... computed already by compute_frame with
// the same series and plan (before the thresholds were known; those beyond
// the plan's frames are dropped): they are judged and handed on in their
// place (moved from), and only the others are computed. `places`, when
// given, holds where each of the plan's frames lies (FrameJob::places).
void run_analysis(std::span<const float> x, std::span<const float> y, const StampLookup& stamps,
                  const Settings& settings, const FramePlan& plan, UniformStream& uniforms,
                  AnalysisSink& sink, const EngineOptions& options,
                  std::span<FrameOutcome> computed = {}, std::span<const FramePlace> places = {});

// The thresholds step of run_analysis: the nominal level, or bootstrapped
// from the series (the settings' bootstrap: the data's resamples tested as
// they are, or put through the frames' VAR fit and clipping first);
// ResamplesRefused when there are too few resamples. When no frame can be
// tested (nothing_to_test) the thresholds are the nominal level and the
// stream is not drawn from.
PerTest<float> analysis_thresholds(std::span<const float> x, std::span<const float> y,
                                   const Settings& settings, const FramePlan& plan,
                                   UniformStream& uniforms, AnalysisSink& sink,
                                   const EngineOptions& options);

// The frames of a run with their thresholds fixed, and what follows them
// (counts, summary): run_analysis after its thresholds step.
void analyse_frames(const FrameJob& job, const StampLookup& stamps, AnalysisSink& sink,
                    const EngineOptions& options, std::span<FrameOutcome> computed = {});

}  // namespace vok
