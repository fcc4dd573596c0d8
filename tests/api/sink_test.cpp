// The streaming analyse as a program calls it, through the public headers
// only: a sink of its own gets, call by call and in order, what vok::analyse
// returns in its Result, and the plan it returns holds the rest.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#include "vok/sink.h"

namespace {

// Everything a sink is handed, kept as it came.
struct Recorder : vok::AnalysisSink {
  std::string calls;  // one letter a call: d(iagnostic) s(tatistics) t(hresholds) f(rame) F(inish)
  vok::DescriptiveStats x_stats, y_stats;
  vok::PerTest<float> threshold_values;
  bool bootstrapped = false;
  std::vector<vok::Frame> frames;
  std::vector<vok::Message> messages;  // in the order raised, the frames' with them
  vok::PerTest<int> counts;
  bool summary = false;

  void diagnostic(const vok::Message& m) override {
    calls += 'd';
    messages.push_back(m);
  }
  void statistics(const vok::DescriptiveStats& x, const vok::DescriptiveStats& y) override {
    calls += 's';
    x_stats = x;
    y_stats = y;
  }
  void thresholds(const vok::PerTest<float>& values, bool from_resamples) override {
    calls += 't';
    threshold_values = values;
    bootstrapped = from_resamples;
  }
  void frame(const vok::Frame& f, std::span<const vok::Message> raised) override {
    calls += 'f';
    frames.push_back(f);
    messages.insert(messages.end(), raised.begin(), raised.end());
  }
  void finish(const vok::PerTest<int>& c, const vok::CorrelationSummary* s) override {
    calls += 'F';
    counts = c;
    summary = s != nullptr;
  }
};

// The two columns of examples/example.dat (two header lines, then rows).
void read_example(std::vector<float>& x, std::vector<float>& y) {
  std::ifstream in(std::string(VOK_SOURCE_DIR) + "/examples/example.dat");
  std::string line;
  std::getline(in, line);
  std::getline(in, line);
  float a, b;
  while (in >> a >> b) {
    x.push_back(a);
    y.push_back(b);
  }
}

// Equal to the bit, NaN included.
bool same_bits(const vok::PerTest<double>& a, const vok::PerTest<double>& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

TEST(StreamingAnalyse, TheSinkGetsWhatTheResultHolds) {
  std::vector<float> x, y;
  read_example(x, y);
  ASSERT_EQ(x.size(), 2400u);
  vok::Settings settings;
  settings.frame_length = 200;
  settings.overlap = 50;
  settings.var_lag = 1;
  settings.resamples = 40;
  settings.threads = 2;
  std::vector<std::string> stamps(x.size());
  for (std::size_t i = 0; i < stamps.size(); ++i) stamps[i] = "row " + std::to_string(i + 1);

  Recorder sink;
  const vok::FramePlan plan = vok::analyse(x, y, settings, sink, stamps);
  const vok::Result result = vok::analyse(x, y, settings, stamps);

  // The plan: what the Result has beside what the sink was handed.
  EXPECT_EQ(plan.rows, result.rows);
  EXPECT_EQ(plan.lags, result.lags);
  EXPECT_EQ(plan.covered(), result.covered);
  EXPECT_EQ(plan.frame_length, 200);
  EXPECT_EQ(plan.overlap, 50);
  ASSERT_EQ(plan.frames, 44);  // (2400 - 200 - 1) div 50 + 1
  EXPECT_EQ(plan.frames, vok::frame_count(settings, 2400));

  // The calls in their order: statistics, thresholds, every frame, finish
  // (messages where they were raised).
  std::string order = sink.calls;
  std::erase(order, 'd');
  EXPECT_EQ(order, "st" + std::string(44, 'f') + "F");

  EXPECT_EQ(sink.x_stats, result.x_stats);
  EXPECT_EQ(sink.y_stats, result.y_stats);
  EXPECT_EQ(sink.threshold_values, result.thresholds);
  EXPECT_TRUE(sink.bootstrapped);
  EXPECT_EQ(sink.counts, result.counts);
  EXPECT_EQ(sink.summary, result.summary.has_value());
  EXPECT_EQ(sink.messages, result.messages);

  ASSERT_EQ(sink.frames.size(), result.frames.size());
  std::vector<vok::PerTest<double>> pvalues;
  for (std::size_t i = 0; i < sink.frames.size(); ++i) {
    const vok::Frame& got = sink.frames[i];
    const vok::Frame& want = result.frames[i];
    SCOPED_TRACE(want.number);
    EXPECT_EQ(got.number, static_cast<int>(i) + 1);
    EXPECT_EQ(got.number, want.number);
    EXPECT_EQ(got.first_row, want.first_row);
    EXPECT_EQ(got.last_row, want.last_row);
    EXPECT_EQ(got.first_stamp, want.first_stamp);
    EXPECT_EQ(got.last_stamp, want.last_stamp);
    EXPECT_EQ(got.statistic, want.statistic);
    EXPECT_EQ(got.cdf, want.cdf);
    EXPECT_TRUE(same_bits(got.pvalue, want.pvalue));
    EXPECT_EQ(got.significant, want.significant);
    EXPECT_EQ(got.cross_correlations, want.cross_correlations);
    EXPECT_EQ(got.x_residuals, want.x_residuals);
    pvalues.push_back(got.pvalue);
  }
  EXPECT_EQ(sink.frames.front().first_stamp, "row 1");
  EXPECT_EQ(sink.frames.back().last_stamp, "row 2350");  // 43 * 50 + 200

  // The q-values need every frame: the one computation gives the Result's.
  const std::vector<vok::PerTest<double>> q = vok::qvalues(pvalues);
  ASSERT_EQ(q.size(), result.frames.size());
  for (std::size_t i = 0; i < q.size(); ++i)
    EXPECT_TRUE(same_bits(q[i], result.frames[i].qvalue)) << i;
}

// A refused setting or input, and a raised cancellation flag, reach the
// sink with nothing: the run ends before its first call, and never with
// finish.
TEST(StreamingAnalyse, ARefusedOrCancelledAnalysisCallsNothing) {
  std::vector<float> x(600), y(600);
  for (std::size_t t = 0; t < x.size(); ++t) {
    x[t] = std::sin(0.7f * static_cast<float>(t * t));
    y[t] = std::cos(0.3f * static_cast<float>(t * t));
  }
  vok::Settings settings;
  settings.frame_length = 100;

  Recorder bad_setting;
  vok::Settings too_short = settings;
  too_short.frame_length = 11;
  try {
    vok::analyse(x, y, too_short, bad_setting);
    ADD_FAILURE() << "frame_length 11 was analysed";
  } catch (const vok::Error& e) {
    EXPECT_EQ(e.setting(), vok::Setting::frame_length);
  }
  EXPECT_EQ(bad_setting.calls, "");

  Recorder unequal;
  EXPECT_THROW(vok::analyse(x, std::span<const float>(y).first(599), settings, unequal),
               vok::Error);
  EXPECT_EQ(unequal.calls, "");

  Recorder cancelled;
  const std::atomic<bool> cancel{true};
  EXPECT_THROW(vok::analyse(x, y, settings, cancelled, {}, &cancel), vok::Cancelled);
  EXPECT_EQ(cancelled.calls, "");
}

// The collector makes a Result of what it was handed, and is left empty.
TEST(StreamingAnalyse, TheCollectorGivesTheResultOnce) {
  std::vector<float> x, y;
  read_example(x, y);
  vok::Settings settings;
  settings.frame_length = 300;
  settings.var_lag = 1;

  vok::ResultCollector collector;
  const vok::FramePlan plan = vok::analyse(x, y, settings, collector);
  EXPECT_EQ(collector.result().frames.size(), 8u);
  EXPECT_EQ(collector.result().rows, 0);  // the plan's, once taken
  const vok::Result taken = collector.take(plan, settings.false_alarm);
  const vok::Result direct = vok::analyse(x, y, settings);

  EXPECT_EQ(taken.rows, 2400);
  EXPECT_EQ(taken.lags, direct.lags);
  EXPECT_EQ(taken.covered, direct.covered);
  EXPECT_EQ(taken.counts, direct.counts);
  ASSERT_EQ(taken.frames.size(), direct.frames.size());
  for (std::size_t i = 0; i < taken.frames.size(); ++i)
    EXPECT_TRUE(same_bits(taken.frames[i].qvalue, direct.frames[i].qvalue)) << i;
  EXPECT_EQ(taken.x_variance.frames, direct.x_variance.frames);
  EXPECT_EQ(taken.x_variance.significant, direct.x_variance.significant);
  EXPECT_EQ(taken.y_variance.binomial_pvalue, direct.y_variance.binomial_pvalue);
  EXPECT_TRUE(collector.result().frames.empty());
}

}  // namespace
