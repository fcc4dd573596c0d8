// vok: the analysis handed on result by result, as it goes.
//
//   #include <vok/sink.h>
//
//   struct Printer : vok::AnalysisSink {
//     void diagnostic(const vok::Message&) override {}
//     void statistics(const vok::DescriptiveStats&, const vok::DescriptiveStats&) override {}
//     void thresholds(const vok::PerTest<float>&, bool) override {}
//     void frame(const vok::Frame& f, std::span<const vok::Message>) override {
//       std::printf("%d %g\n", f.number, f.p_values().hxxy);
//     }
//     void finish(const vok::PerTest<int>&, const vok::CorrelationSummary*) override {}
//   };
//
//   Printer printer;
//   const vok::FramePlan plan = vok::analyse(x, y, settings, printer);
//
// The analysis is the one vok::analyse runs (<vok/vok.h>), with the same
// checks, errors and numbers: vok::analyse is this analysis into a
// ResultCollector. A sink sees every frame once, in order, and need keep
// none of them.
#pragma once

#include <atomic>
#include <span>
#include <string>

#include "vok.h"

namespace vok {

// What the analysis hands on, in this order:
//
//   statistics -> thresholds -> frame 1, frame 2, ..., frame F -> finish
//
// with diagnostic calls in between, each message where it was raised. The
// calls come from the thread that called analyse, one at a time. A run that
// ends early (Error, Cancelled) ends after any call: the sink has had what
// was known before the end, and no finish.
class VOK_API AnalysisSink {
 public:
  virtual ~AnalysisSink() = default;
  // A message raised outside the frames (and, for a frame whose analysis
  // cannot go on, the frame's own messages).
  virtual void diagnostic(const Message& m) = 0;
  // The descriptive statistics of the covered rows of x and y: the first
  // call after their own messages.
  virtual void statistics(const DescriptiveStats& x, const DescriptiveStats& y) = 0;
  // The false-alarm thresholds of the p-values: bootstrapped, or every one
  // the nominal level.
  virtual void thresholds(const PerTest<float>& values, bool bootstrapped) = 0;
  // Frame after frame, numbers 1, 2, ... in order, judged against the
  // thresholds, with the messages raised computing it. Frame::qvalue is not
  // known yet (it is 0): q-values need every frame's p-value (qvalues).
  // `frame` and `messages` are valid during the call only.
  virtual void frame(const Frame& frame, std::span<const Message> messages) = 0;
  // After the last frame: the significant frames per test and, when it
  // applies, the correlation summary (else null).
  virtual void finish(const PerTest<int>& counts, const CorrelationSummary* summary) = 0;
};

// Analyses x and y as vok::analyse does (the same settings, stamps,
// cancellation, checks and errors) and hands each result to `sink` as soon
// as it is known. Returns the frame plan the analysis followed: the rows,
// lags and frames a sink does not see.
VOK_API FramePlan analyse(std::span<const float> x, std::span<const float> y,
                          const Settings& settings, AnalysisSink& sink,
                          std::span<const std::string> stamps = {},
                          const std::atomic<bool>* cancel = nullptr);

// Keeps everything an analysis hands on, and makes a Result of it.
//
//   vok::ResultCollector collector;
//   const vok::FramePlan plan = vok::analyse(x, y, settings, collector);
//   const vok::Result result = collector.take(plan, settings);
class VOK_API ResultCollector : public AnalysisSink {
 public:
  void diagnostic(const Message& m) override;
  void statistics(const DescriptiveStats& x, const DescriptiveStats& y) override;
  void thresholds(const PerTest<float>& values, bool bootstrapped) override;
  void frame(const Frame& frame, std::span<const Message> messages) override;
  void finish(const PerTest<int>& counts, const CorrelationSummary* summary) override;

  // What has been handed on so far, as it came (no rows, lags, covered rows,
  // q-values or variance checks yet).
  const Result& result() const { return result_; }
  // The Result of the analysis: what was handed on, completed with the
  // plan's rows, lags and covered rows, each frame's q-values and the
  // changing-variance checks of x and y at `false_alarm` (the analysis'
  // Settings::false_alarm). Leaves the collector empty.
  Result take(const FramePlan& plan, float false_alarm);
  // The same, with Result::cautions judged for the analysis' settings.
  Result take(const FramePlan& plan, const Settings& settings);

 private:
  Result result_;
};

}  // namespace vok
