#include "analysis/engine.h"

#include <algorithm>
#include <array>
#include <new>
#include <optional>
#include <vector>

#include "analysis/setting_bounds.h"
#include "bootstrap/frames_bootstrap.h"
#include "bootstrap/resampxy.h"
#include "data/descriptive.h"
#include "frames/summary.h"
#include "frames/wind.h"
#include "stats/messages.h"
#include "exec/parallel.h"
#include "exec/progress.h"

namespace vok {
namespace {

// Hands the messages on to the sink, in the order raised.
void send(std::span<const Message> messages, AnalysisSink& sink) {
  for (const Message& m : messages) sink.diagnostic(m);
}

// The statistics of the two columns, side by side on two threads when there
// are two; their messages are handed on x's first, as one after the other.
void describe_columns(std::span<const float> x, std::span<const float> y, const FramePlan& plan,
                      AnalysisSink& sink, int threads) {
  const auto covered = static_cast<std::size_t>(plan.covered());
  const std::span<const float> columns[2] = {x.first(covered), y.first(covered)};
  DescriptiveStats stats[2];
  Messages messages[2] = {Messages(Stage::statistics), Messages(Stage::statistics)};
  parallel_for(
      2, [&](std::size_t i, int) { stats[i] = stat(columns[i], messages[i]); },
      std::min(threads, 2));
  for (const Messages& m : messages) send(m.list(), sink);
  sink.statistics(stats[0], stats[1]);
}

PerTest<int> frames(const FrameJob& job, std::span<FrameOutcome> computed,
                    const StampLookup& stamps, AnalysisSink& sink, const EngineOptions& options,
                    PerFrameSeries& series) {
  const FramePlan& plan = job.plan;
  const int count = std::max(plan.frames, 0);
  const std::size_t ready = std::min(computed.size(), static_cast<std::size_t>(count));
  const std::size_t missing = static_cast<std::size_t>(count) - ready;
  const int threads = std::clamp(options.threads, 1, std::max(static_cast<int>(missing), 1));
  std::vector<FrameWork> work;  // one per thread
  try {
    series = PerFrameSeries(plan.frames);
    work.reserve(static_cast<std::size_t>(threads));
    for (int w = 0; w < threads; ++w) work.emplace_back(plan);
  } catch (const std::bad_alloc&) {
    Message m{MessageKind::out_of_memory, Stage::run, 0, {}, Arrays::frames};
    sink.diagnostic(m);
    throw AnalysisStopped{describe(m)};
  }

  // Frame k is handed on once the frames before it are: first those computed
  // already, then the others, which wait in ordered_map's window when
  // computed ahead. A frame that stops ends the loop: its messages follow
  // once the progress line is gone, and the frames computed after it are
  // dropped.
  struct FrameStopped {};
  std::optional<FrameOutcome> stopped;
  PerTest<int> counts;
  auto hand_on = [&](FrameOutcome&& outcome) {
    if (outcome.stopped) {
      stopped = std::move(outcome);
      throw FrameStopped{};
    }
    Frame& f = outcome.frame;
    f.significant = judge(f.cdf, job.thresholds);
    if (stamps) {
      f.first_stamp = stamps(f.first_row);
      f.last_stamp = stamps(f.last_row);
    }
    for (Test t : kTests) counts[t] += f.significant[t] ? 1 : 0;
    series.set(f.number, f);
    sink.frame(f, outcome.messages);
  };
  // The frames computed already are handed on first, with the pool's
  // threads free for the sink (which may format them side by side), then
  // the others as the threads compute them. Those are computed well ahead
  // (32 a thread): a sink that formats frames on the pool's threads while
  // this thread hands them on finds the threads done computing and free,
  // where a narrow window would keep them waiting for this thread.
  try {
    for (FrameOutcome& outcome : computed.first(ready)) hand_on(std::move(outcome));
    std::optional<Progress> progress;
    if (options.progress) progress.emplace("frames", missing, options.progress);
    ordered_map<FrameOutcome>(
        missing,
        [&](std::size_t i, int worker) {
          throw_if_cancelled(options.cancel);
          FrameOutcome outcome = compute_frame(job, static_cast<int>(ready + i) + 1, work[worker]);
          if (progress) progress->advance();
          return outcome;
        },
        [&](std::size_t, FrameOutcome&& outcome) { hand_on(std::move(outcome)); }, threads,
        32 * static_cast<std::size_t>(threads));
  } catch (const FrameStopped&) {
    std::string reason = "frame " + std::to_string(stopped->frame.number) + " cannot be completed";
    for (const Message& m : stopped->messages) {
      sink.diagnostic(m);
      reason += ": " + describe(m);
    }
    throw AnalysisStopped{reason};
  }
  return counts;
}

}  // namespace

void throw_if_cancelled(const std::atomic<bool>* cancel) {
  if (cancel && cancel->load(std::memory_order_relaxed)) throw Cancelled("the analysis was cancelled");
}

PerTest<float> analysis_thresholds(std::span<const float> x, std::span<const float> y,
                                   const Settings& settings, const FramePlan& plan,
                                   UniformStream& uniforms, AnalysisSink& sink,
                                   const EngineOptions& options) {
  const int B = settings.resamples;
  const float alpha = settings.false_alarm;
  if (detail::outside(settings, detail::Bound::resamples_for_level)) throw ResamplesRefused{};
  PerTest<float> out{alpha, alpha, alpha, alpha, alpha, alpha, alpha};
  // With no frame to test there is nothing to calibrate: the stream is left
  // where it stands.
  if (B <= 0 || nothing_to_test(x, y, plan)) {
    sink.thresholds(out, false);
    return out;
  }
  Messages messages(Stage::bootstrap);
  try {
    Thresholds t;
    if (settings.bootstrap == Bootstrap::frames) {
      FrameJob job = FrameJob::of(x, y, plan, settings);
      job.kernel = options.kernel;
      t = frames_bootstrap(x, y, plan.frame_length, plan.lags, job, B, alpha, uniforms,
                           options.threads, messages, &options.progress, options.cancel);
    } else {
      t = resampxy(x, y, plan.frame_length, plan.lags, B, alpha, uniforms, options.threads,
                   messages, &options.progress, options.cancel, options.kernel);
    }
    const auto& v = t.values;
    for (Test test : kTests) out[test] = v[test_index(test)];
  } catch (const ComputationHalted& halted) {
    send(messages.list(), sink);
    throw AnalysisStopped{"the bootstrap could not be completed: " + describe(halted.cause())};
  }
  send(messages.list(), sink);
  sink.thresholds(out, true);
  return out;
}

void run_analysis(std::span<const float> x, std::span<const float> y, const StampLookup& stamps,
                  const Settings& settings, const FramePlan& plan, UniformStream& uniforms,
                  AnalysisSink& sink, const EngineOptions& options,
                  std::span<FrameOutcome> computed, std::span<const FramePlace> places) {
  throw_if_cancelled(options.cancel);
  describe_columns(x, y, plan, sink, options.threads);

  const PerTest<float> thresholds =
      analysis_thresholds(x, y, settings, plan, uniforms, sink, options);
  FrameJob job = FrameJob::of(x, y, plan, settings, thresholds);
  job.kernel = options.kernel;
  job.places = places;
  analyse_frames(job, stamps, sink, options, computed);
}

void analyse_frames(const FrameJob& job, const StampLookup& stamps, AnalysisSink& sink,
                    const EngineOptions& options, std::span<FrameOutcome> computed) {
  PerFrameSeries series;
  const PerTest<int> counts = frames(job, computed, stamps, sink, options, series);

  // The summary needs a significant bicorrelation frame and at least 8 frames.
  const bool hits = counts.hxxy > 0 || counts.hyyx > 0 || counts.hxxx > 0 || counts.hyyy > 0;
  if (!hits || job.plan.frames < 8) {
    sink.finish(counts, nullptr);
    return;
  }
  Messages messages(Stage::summary);
  const CorrelationSummary summary = summarise(series, counts.hxxy, counts.hyyx, messages);
  send(messages.list(), sink);
  sink.finish(counts, &summary);
}

void SinkList::diagnostic(const Message& m) {
  for (AnalysisSink* s : sinks_) s->diagnostic(m);
}
void SinkList::statistics(const DescriptiveStats& x, const DescriptiveStats& y) {
  for (AnalysisSink* s : sinks_) s->statistics(x, y);
}
void SinkList::thresholds(const PerTest<float>& values, bool bootstrapped) {
  for (AnalysisSink* s : sinks_) s->thresholds(values, bootstrapped);
}
void SinkList::frame(const Frame& frame, std::span<const Message> messages) {
  for (AnalysisSink* s : sinks_) s->frame(frame, messages);
}
void SinkList::finish(const PerTest<int>& counts, const CorrelationSummary* summary) {
  for (AnalysisSink* s : sinks_) s->finish(counts, summary);
}

}  // namespace vok
