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
#include "output/channel.h"
#include "output/failure.h"
#include "exec/parallel.h"
#include "exec/progress.h"

namespace vok {
namespace {

using Where = Diagnostic::Channel;

// A channel whose lines become one run-level diagnostic.
class Captured {
 public:
  explicit Captured(Where where) : where_(where) { channel.capture(); }
  void send(AnalysisSink& sink) {
    if (channel.text().empty()) return;
    sink.diagnostic({where_, Diagnostic::Stage::run, 0, channel.text()});
    channel.clear_text();
  }
  Channel channel;

 private:
  Where where_;
};

// The free-format line `text` on each channel, then the end of the run.
[[noreturn]] void stop(AnalysisSink& sink, std::initializer_list<Where> where,
                       const std::string& text) {
  const std::string line = free_format({text}) + "\n";
  for (Where w : where) sink.diagnostic({w, Diagnostic::Stage::run, 0, line});
  throw AnalysisStopped{text};
}

// The statistics of the two columns, side by side on two threads when there
// are two; their messages are written x's first, as one after the other.
void describe(std::span<const float> x, std::span<const float> y, const FramePlan& plan,
              AnalysisSink& sink, int threads) {
  const auto covered = static_cast<std::size_t>(plan.covered());
  const std::span<const float> columns[2] = {x.first(covered), y.first(covered)};
  DescriptiveStats stats[2];
  Channel messages[2];
  for (Channel& m : messages) m.capture();
  parallel_for(
      2, [&](std::size_t i, int) { stats[i] = stat(columns[i], messages[i]); },
      std::min(threads, 2));
  Captured diag(Where::error_file);
  for (const Channel& m : messages) diag.channel.append(m.text());
  diag.send(sink);
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
    stop(sink, {Where::console, Where::error_file},
         "Unable to allocate work space for arrays in wind");
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
    sink.frame(f, outcome.diagnostics);
  };
  // The frames computed already are handed on first, with the pool's
  // threads free for the sink (which may format them side by side), then
  // the others as the threads compute them.
  try {
    for (FrameOutcome& outcome : computed.first(ready)) hand_on(std::move(outcome));
    std::optional<Progress> progress;
    if (options.progress) progress.emplace("frames", missing);
    ordered_map<FrameOutcome>(
        missing,
        [&](std::size_t i, int worker) {
          throw_if_cancelled(options.cancel);
          FrameOutcome outcome = compute_frame(job, static_cast<int>(ready + i) + 1, work[worker]);
          if (progress) progress->advance();
          return outcome;
        },
        [&](std::size_t, FrameOutcome&& outcome) { hand_on(std::move(outcome)); }, threads);
  } catch (const FrameStopped&) {
    std::string reason = "frame " + std::to_string(stopped->frame.number) + " cannot be completed";
    for (const Diagnostic& d : stopped->diagnostics) {
      sink.diagnostic(d);
      if (d.channel == Where::report) reason += ":" + d.text.substr(0, d.text.find('\n'));
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
  if (B <= 0) {
    sink.thresholds(out, false);
    return out;
  }
  Captured diag(Where::standard_error), console(Where::console);
  try {
    Thresholds t;
    if (settings.bootstrap == Bootstrap::frames) {
      const FrameJob job = FrameJob::of(x, y, plan, settings);
      t = frames_bootstrap(x, y, plan.frame_length, plan.lags, job, B, alpha, uniforms,
                           options.threads, diag.channel, console.channel, options.progress,
                           options.cancel);
    } else {
      t = resampxy(x, y, plan.frame_length, plan.lags, B, alpha, uniforms, options.threads,
                   diag.channel, console.channel, options.progress, options.cancel);
    }
    const auto& v = t.values;
    for (Test test : kTests) out[test] = v[test_index(test)];
  } catch (const Stop&) {
    diag.send(sink);
    console.send(sink);
    throw AnalysisStopped{"the bootstrap could not be completed"};
  }
  diag.send(sink);
  console.send(sink);
  sink.thresholds(out, true);
  return out;
}

void run_analysis(std::span<const float> x, std::span<const float> y, const StampLookup& stamps,
                  const Settings& settings, const FramePlan& plan, UniformStream& uniforms,
                  AnalysisSink& sink, const EngineOptions& options,
                  std::span<FrameOutcome> computed) {
  throw_if_cancelled(options.cancel);
  describe(x, y, plan, sink, options.threads);

  const PerTest<float> thresholds =
      analysis_thresholds(x, y, settings, plan, uniforms, sink, options);
  analyse_frames(FrameJob::of(x, y, plan, settings, thresholds), stamps, sink, options, computed);
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
  Captured diag(Where::report);
  const CorrelationSummary summary = summarise(series, counts.hxxy, counts.hyyx, diag.channel);
  diag.send(sink);
  sink.finish(counts, &summary);
}

void ResultCollector::diagnostic(const Diagnostic& d) {
  r_.diagnostics.push_back(d);
}
void ResultCollector::statistics(const DescriptiveStats& x, const DescriptiveStats& y) {
  r_.x_stats = x;
  r_.y_stats = y;
}
void ResultCollector::thresholds(const PerTest<float>& values, bool bootstrapped) {
  r_.thresholds = values;
  r_.bootstrapped = bootstrapped;
}
void ResultCollector::frame(const Frame& frame, std::span<const Diagnostic> diagnostics) {
  r_.frames.push_back(frame);
  r_.diagnostics.insert(r_.diagnostics.end(), diagnostics.begin(), diagnostics.end());
}
void ResultCollector::finish(const PerTest<int>& counts, const CorrelationSummary* summary) {
  r_.counts = counts;
  if (summary) r_.summary = *summary;
}

void SinkList::diagnostic(const Diagnostic& d) {
  for (AnalysisSink* s : sinks_) s->diagnostic(d);
}
void SinkList::statistics(const DescriptiveStats& x, const DescriptiveStats& y) {
  for (AnalysisSink* s : sinks_) s->statistics(x, y);
}
void SinkList::thresholds(const PerTest<float>& values, bool bootstrapped) {
  for (AnalysisSink* s : sinks_) s->thresholds(values, bootstrapped);
}
void SinkList::frame(const Frame& frame, std::span<const Diagnostic> diagnostics) {
  for (AnalysisSink* s : sinks_) s->frame(frame, diagnostics);
}
void SinkList::finish(const PerTest<int>& counts, const CorrelationSummary* summary) {
  for (AnalysisSink* s : sinks_) s->finish(counts, summary);
}

}  // namespace vok
