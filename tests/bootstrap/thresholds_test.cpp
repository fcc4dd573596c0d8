// Bootstrap thresholds and the threshold block of the report.

#include <gtest/gtest.h>

#include "report/messages.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/engine.h"
#include "analysis/setting_bounds.h"
#include "bootstrap/resampxy.h"
#include "report/run_writer.h"
#include "report/threshold_lines.h"
#include "frames/covxy.h"
#include "output/channel.h"
#include "output/failure.h"
#include "exec/parallel.h"
#include "stats/moments.h"
#include "stats/sort.h"

namespace vok {
namespace {

using Seven = std::array<float, kTestCount>;

int occurrences(const std::string& text, const std::string& what) {
  int count = 0;
  for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
  return count;
}

// The p-values of B resamples, built here from the stream, the moments and the
// frame tests alone: resample b takes 2n numbers from start + 2nb, the first n
// for x and the next n for y, each as index 1 + floor(N u).
std::array<std::vector<float>, kTestCount> independent_pvalues(const std::vector<float>& x,
                                                               const std::vector<float>& y, int n,
                                                               int L, int B, std::uint64_t start) {
  const int N = static_cast<int>(x.size());
  const int M = L * (2 * L + 1);
  std::array<std::vector<float>, kTestCount> p;
  Messages messages;
  for (int b = 0; b < B; ++b) {
    std::vector<float> xs(n), ys(n);
    const std::uint64_t first = start + 2ull * n * b;
    for (int i = 0; i < n; ++i) {
      xs[i] = x[static_cast<int>(std::floor(N * double(UniformStream::at(first + i))))];
      ys[i] = y[static_cast<int>(std::floor(N * double(UniformStream::at(first + n + i))))];
    }
    for (auto* s : {&xs, &ys}) {
      const MeanSd m = sigmn(*s, messages);
      for (float& v : *s) v = (v - m.mean) / m.sd;
    }
    std::vector<float> xxy(M), yyx(M), rxy(2 * L + 1);
    std::vector<int> r(M), s(M);
    const FrameTests t = covxy(xs, ys, L, xxy, yyx, rxy, r, s, messages);
    for (vok::Test test : kTests) p[test_index(test)].push_back(1.0f - t.cdf[test]);
  }
  return p;
}

// Frame length and lags of the fixture's bootstrap.
constexpr int kFrameLength = 24, kLags = 3;

// resampxy with frames of kFrameLength and kLags lags, on every core, its
// messages written on `c` as the console program writes them.
Thresholds resample(std::span<const float> x, std::span<const float> y, int B, float alpha,
                    UniformStream& stream, Channels& c) {
  Messages messages(Stage::bootstrap);
  const Thresholds t = resampxy(x, y, kFrameLength, kLags, B, alpha, stream, processor_count(), messages);
  for (const Message& m : messages.list())
    write_message(m, {c.report, c.console, c.error_file, c.standard_error});
  return t;
}

// The threshold step of a run (B resamples at level alpha) as the console
// program takes it: the analysis's step, written on `c` by the run writer.
Seven threshold_block(std::span<const float> x, std::span<const float> y, int B, float alpha,
                      UniformStream& stream, Channels& c) {
  Settings settings;
  settings.resamples = B;
  settings.false_alarm = alpha;
  RunHeader header;
  header.plan = FramePlan::of(static_cast<int>(x.size()), kFrameLength, 0, kLags);
  RunWriter writer(header, settings, program_run_channels(c));
  const PerTest<float> t = analysis_thresholds(x, y, settings, header.plan, stream, writer,
                                               EngineOptions{.threads = processor_count()});
  return {t.hxxy, t.hyyx, t.hxxx, t.hyyy, t.cx, t.cy, t.cxy};
}

Seven fractiles_of(std::array<std::vector<float>, kTestCount>& p, float alpha) {
  Seven out{};
  std::vector<int> order(p[0].size());
  const float level[1] = {alpha};
  Messages messages;
  for (int k = 0; k < kTestCount; ++k) {
    float q[1] = {0.0f};
    sort(order, p[k], level, q, 'B', messages);
    out[k] = q[0];
  }
  return out;
}

class ThresholdStep : public testing::Test {
 protected:
  static constexpr int kN = 60;

  void SetUp() override {
    cap.all().report.capture();
    cap.all().error_file.capture();
    for (int i = 1; i <= kN; ++i) {
      x.push_back(std::sin(0.9f * i) + 0.3f * std::cos(2.3f * i) + 0.01f * (i % 7) * (i % 7));
      y.push_back(std::cos(0.37f * i * i) + (i % 5 == 0 ? 2.0f : 0.0f));
    }
  }

  std::string report() { return cap.all().report.text(); }

  CapturedChannels cap;
  std::vector<float> x, y;
  UniformStream stream;
};

TEST(ResamplesRefused, ComparesOneOverBWithAlphaIn32Bits) {
  struct Case {
    int B;
    float alpha;
    bool refused;
  };
  const Case cases[] = {
      {19, 0.05f, true},    {20, 0.05f, false},  {1, 1.0f, false},
      {1, 0.99f, true},     {0, 0.05f, false},   {99, 0.01f, true},
      {1000, 0.01f, false}, {100, 0.01f, false},  // 1/100 and 0.01 round to the same 32-bit real
      {3, 0.3f, true},      {5, 0.0f, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "B=" << c.B << " alpha=" << c.alpha);
    Settings settings;
    settings.resamples = c.B;
    settings.false_alarm = c.alpha;
    EXPECT_EQ(detail::outside(settings, detail::Bound::resamples_for_level), c.refused);
  }
}

// The refusal lines themselves are the console program's (its end-to-end
// golden files show them on the three channels).
TEST_F(ThresholdStep, TooFewResamplesAreRefusedBeforeAnythingIsDrawnOrWritten) {
  stream.advance(11);
  EXPECT_THROW(threshold_block(x, y, 19, 0.05f, stream, cap.all()), ResamplesRefused);
  EXPECT_EQ(report(), "");
  EXPECT_EQ(cap.console(), "");
  EXPECT_EQ(cap.all().error_file.text(), "");
  EXPECT_EQ(cap.standard_error(), "");
  EXPECT_EQ(stream.position(), 11u);  // nothing drawn
}

TEST_F(ThresholdStep, NoResamplesKeepsTheNominalLevel) {
  const Seven t = threshold_block(x, y, 0, 0.05f, stream, cap.all());
  for (float v : t) EXPECT_EQ(v, 0.05f);
  EXPECT_EQ(report(), "       False alarm threshold = 0.0500\n");
  EXPECT_EQ(stream.position(), 0u);
  EXPECT_EQ(cap.console(), "");
}

// 20 resamples at 0.05: the fractile position 0.05 x 21 = 1.05 lies between
// the smallest and second smallest p-value of each test.
TEST_F(ThresholdStep, TwentyResamplesInterpolateTheTwoSmallestPValues) {
  stream.advance(100);
  const Seven t = threshold_block(x, y, 20, 0.05f, stream, cap.all());
  EXPECT_EQ(stream.position(), 100u + 2u * kFrameLength * 20u);

  auto p = independent_pvalues(x, y, kFrameLength, kLags, 20, 100);
  for (int k = 0; k < kTestCount; ++k) {
    SCOPED_TRACE(k);
    std::vector<float> s = p[k];
    std::sort(s.begin(), s.end());
    EXPECT_LT(s[0], s[1]);  // the data give distinct p-values
    EXPECT_NEAR(t[k], 0.95 * s[0] + 0.05 * s[1], 1e-6);
  }

  Channel expected;
  expected.capture();
  write_bootstrap_block(expected, 20, t);
  EXPECT_EQ(report(), expected.text());
  EXPECT_EQ(cap.console(), "");
  EXPECT_EQ(cap.standard_error(), "");
}

TEST_F(ThresholdStep, OneResampleGivesItsOwnPValuesAndStatusFour) {
  stream.advance(5);
  const Thresholds t = resample(x, y, 1, 1.0f, stream, cap.all());
  EXPECT_EQ(t.status, kSortSingleValue);
  auto p = independent_pvalues(x, y, kFrameLength, kLags, 1, 5);
  for (int k = 0; k < kTestCount; ++k) EXPECT_EQ(t.values[k], p[k][0]) << k;
  EXPECT_EQ(occurrences(cap.console(), "fractiles set to x since n=1"), kTestCount);
  EXPECT_EQ(occurrences(cap.standard_error(), "fractiles set to x since n=1"), kTestCount);
}

TEST_F(ThresholdStep, OneResampleAtLevelOneIsAcceptedAndReported) {
  const Seven t = threshold_block(x, y, 1, 1.0f, stream, cap.all());
  EXPECT_EQ(report().rfind("           1 Bootstrapped false alarm thresholds\n\n", 0), 0u);
  auto p = independent_pvalues(x, y, kFrameLength, kLags, 1, 0);
  for (int k = 0; k < kTestCount; ++k) EXPECT_EQ(t[k], p[k][0]) << k;
}

TEST_F(ThresholdStep, SameStreamPositionGivesIdenticalThresholdsAndTheStreamContinues) {
  UniformStream a, b;
  a.advance(777);
  b.advance(777);
  const Thresholds first = resample(x, y, 30, 0.1f, a, cap.all());
  const Thresholds same = resample(x, y, 30, 0.1f, b, cap.all());
  EXPECT_EQ(first.values, same.values);
  EXPECT_EQ(first.status, kSortOk);
  EXPECT_EQ(a.position(), 777u + 2u * kFrameLength * 30u);

  // A later run of the same execution draws further numbers.
  const Thresholds later = resample(x, y, 30, 0.1f, a, cap.all());
  EXPECT_NE(later.values, first.values);
  UniformStream c;
  c.advance(777u + 2u * kFrameLength * 30u);
  EXPECT_EQ(resample(x, y, 30, 0.1f, c, cap.all()).values, later.values);
}

TEST_F(ThresholdStep, ResamplesTakenInAnyOrderGiveIdenticalThresholds) {
  constexpr int B = 40;
  constexpr std::uint64_t start = 500;
  ResampleWork work(kFrameLength, kLags);
  Messages diag;
  std::vector<Seven> forward(B), backward(B);
  for (int b = 0; b < B; ++b) {
    forward[b] = resample_pvalues(x, y, kFrameLength, kLags, start + 2u * kFrameLength * b, work, diag);
  }
  for (int b = B - 1; b >= 0; --b) {
    backward[b] = resample_pvalues(x, y, kFrameLength, kLags, start + 2u * kFrameLength * b, work, diag);
  }
  EXPECT_EQ(forward, backward);

  std::array<std::vector<float>, kTestCount> p;
  for (int k = 0; k < kTestCount; ++k) {
    for (int b = 0; b < B; ++b) p[k].push_back(backward[b][k]);
  }
  EXPECT_EQ(p, independent_pvalues(x, y, kFrameLength, kLags, B, start));

  stream.advance(start);
  EXPECT_EQ(resample(x, y, B, 0.1f, stream, cap.all()).values, fractiles_of(p, 0.1f));
}

// A column of repeated values gives constant resamples; their tests are set
// to 0, so every p-value and every threshold is 1.
TEST_F(ThresholdStep, ARaisedCancellationFlagStopsTheResamplesAndTheFrames) {
  std::atomic<bool> cancel{true};
  Messages messages;
  EXPECT_THROW(resampxy(x, y, kFrameLength, kLags, 50, 0.05f, stream, 2, messages, nullptr, &cancel),
               Cancelled);
  Settings settings;
  settings.frame_length = kFrameLength;
  const FrameJob job = FrameJob::of(x, y, FramePlan::of(kN, kFrameLength, 0, kLags), settings,
                                    {0.05f, 0.05f, 0.05f, 0.05f, 0.05f, 0.05f, 0.05f});
  ResultCollector collector;
  EXPECT_THROW(analyse_frames(job, {}, collector, EngineOptions{.threads = 2, .cancel = &cancel}),
               Cancelled);
  EXPECT_TRUE(collector.result().frames.empty());
}

// Resamples of a column of repeated values are constant: their tests are set
// to 0, so every p-value and every threshold of the resamples is 1. The
// threshold step runs no bootstrap for such a run, whose every frame is
// constant too: its thresholds are the level, and the stream stays where it
// stood for the next run.
TEST_F(ThresholdStep, ConstantColumnGivesThresholdsOfOneAndNoBootstrapIsRun) {
  std::fill(x.begin(), x.end(), 3.5f);
  Messages messages;
  const Thresholds resampled = resampxy(x, y, kFrameLength, kLags, 20, 0.05f, stream, 2, messages);
  for (float v : resampled.values) EXPECT_FLOAT_EQ(v, 1.0f);

  const std::uint64_t before = stream.position();
  const Seven t = threshold_block(x, y, 20, 0.05f, stream, cap.all());
  for (float v : t) EXPECT_EQ(v, 0.05f);
  EXPECT_EQ(stream.position(), before);
  EXPECT_EQ(report(), "       False alarm threshold = 0.0500\n");
}

}  // namespace
}  // namespace vok
