// What the library computes once for every client: the per-test summary, the
// names of the settings' choices, the interruptible analysis and the frames
// within the rows read.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "vok/vok.h"

namespace {

// A result of `frames` frames with the counts and q-values given (Hxxy's;
// every other test none significant, q-value 1).
vok::Result result_of(int frames, int hxxy_count, const std::vector<double>& hxxy_q,
                      float false_alarm) {
  vok::Result r;
  r.false_alarm = false_alarm;
  r.frames.resize(static_cast<std::size_t>(frames));
  for (std::size_t f = 0; f < r.frames.size(); ++f) {
    for (vok::Test t : vok::kTests) r.frames[f].qvalue[t] = 1.0;
    r.frames[f].qvalue.hxxy = f < hxxy_q.size() ? hxxy_q[f] : 1.0;
  }
  r.counts.hxxy = hxxy_count;
  return r;
}

TEST(Summarise, PercentShareBinomialAndDiscoveries) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  // 7 of 30 frames: the report's percentage is computed in 32 bits (23.333334).
  const vok::Result r = result_of(30, 7, {0.01, 0.049, 0.05, nan, 0.2, 0.0}, 0.05f);
  const vok::PerTest<vok::TestSummary> s = vok::summarise(r);
  EXPECT_EQ(s.hxxy.significant, 7);
  EXPECT_EQ(s.hxxy.frames, 30);
  EXPECT_EQ(s.hxxy.percent, 100.0f * 7.0f / 30.0f);
  EXPECT_EQ(s.hxxy.share, 7.0 / 30.0);
  EXPECT_EQ(s.hxxy.binomial_p, vok::binomial_upper_tail(7, 30, 0.05f));
  // Strictly below the level (0.05 in 32 bits); NaN does not count.
  EXPECT_EQ(s.hxxy.discoveries, 4);
  EXPECT_EQ(s.cx.significant, 0);
  EXPECT_EQ(s.cx.binomial_p, 1.0);
  EXPECT_EQ(s.cx.discoveries, 0);
}

TEST(Summarise, NoFramesGiveNoShare) {
  const vok::PerTest<vok::TestSummary> s = vok::summarise(result_of(0, 0, {}, 0.05f));
  EXPECT_EQ(s.hyyx.frames, 0);
  EXPECT_EQ(s.hyyx.percent, 0.0f);
  EXPECT_TRUE(std::isnan(s.hyyx.share));
  EXPECT_EQ(s.hyyx.binomial_p, 1.0);
}

// An analysis' own summary: its counts at its level, which it keeps.
TEST(Summarise, AnAnalysisKeepsItsLevel) {
  std::vector<float> x(400), y(400);
  for (int i = 0; i < 400; ++i) {
    x[i] = std::sin(0.37f * i) + 0.3f * std::sin(2.9f * i * i);
    y[i] = std::cos(0.21f * i) * x[i];
  }
  vok::Settings s;
  s.frame_length = 40;
  s.false_alarm = 0.1f;
  const vok::Result r = vok::analyse(x, y, s);
  EXPECT_EQ(r.false_alarm, 0.1f);
  const vok::PerTest<vok::TestSummary> summary = vok::summarise(r);
  for (vok::Test t : vok::kTests) {
    SCOPED_TRACE(vok::name(t));
    EXPECT_EQ(summary[t].significant, r.counts[t]);
    EXPECT_EQ(summary[t].frames, 10);
    EXPECT_EQ(summary[t].percent, vok::percent_of(r.counts[t], 10));
    EXPECT_EQ(summary[t].binomial_p, vok::binomial_upper_tail(r.counts[t], 10, 0.1f));
  }
}

TEST(SettingNames, EachChoiceByItsNameAndNoOtherName) {
  for (vok::Transform t : {vok::Transform::none, vok::Transform::clip, vok::Transform::log}) {
    vok::Transform back = vok::Transform::none;
    EXPECT_TRUE(vok::parse(vok::to_string(t), back)) << vok::to_string(t);
    EXPECT_EQ(back, t);
  }
  for (vok::Bootstrap b : {vok::Bootstrap::data, vok::Bootstrap::frames}) {
    vok::Bootstrap back = vok::Bootstrap::data;
    EXPECT_TRUE(vok::parse(vok::to_string(b), back)) << vok::to_string(b);
    EXPECT_EQ(back, b);
  }
  EXPECT_EQ(vok::to_string(vok::Transform::clip), "clip");
  EXPECT_EQ(vok::to_string(vok::Bootstrap::frames), "frames");
  // Names of no choice are refused, and what was there stays.
  for (const char* name : {"", "cl", "lg", "Clip", "clip ", "blocks", "none\n"}) {
    vok::Transform t = vok::Transform::log;
    EXPECT_FALSE(vok::parse(name, t)) << name;
    EXPECT_EQ(t, vok::Transform::log);
    vok::Bootstrap b = vok::Bootstrap::frames;
    EXPECT_FALSE(vok::parse(name, b)) << name;
    EXPECT_EQ(b, vok::Bootstrap::frames);
  }
}

struct Data {
  std::vector<float> x, y;
};

Data long_series() {
  Data d{std::vector<float>(4000), std::vector<float>(4000)};
  for (int i = 0; i < 4000; ++i) {
    d.x[i] = std::sin(0.37f * i) + 0.2f * std::cos(1.9f * i);
    d.y[i] = std::cos(0.21f * i) + 0.1f * d.x[i];
  }
  return d;
}

TEST(AnalyseInterruptibly, PollsUntilTheEndAndGivesTheResultOfAnalyse) {
  const Data d = long_series();
  vok::Settings s;
  s.frame_length = 100;
  s.resamples = 40;
  std::atomic<int> polls{0};
  const vok::Result r = vok::analyse_interruptibly(
      d.x, d.y, s, {}, [&] { return ++polls, false; }, std::chrono::milliseconds(1));
  const vok::Result plain = vok::analyse(d.x, d.y, s);
  ASSERT_EQ(r.frames.size(), plain.frames.size());
  for (std::size_t f = 0; f < r.frames.size(); ++f) EXPECT_EQ(r.frames[f].cdf, plain.frames[f].cdf);
  EXPECT_EQ(r.thresholds, plain.thresholds);
}

TEST(AnalyseInterruptibly, AnInterruptCancelsAndIsAskedNoMore) {
  const Data d = long_series();
  vok::Settings s;
  s.frame_length = 100;
  // Seconds uninterrupted, even on an idle machine: the polls always come first.
  s.resamples = 400000;
  int polls = 0;
  EXPECT_THROW(vok::analyse_interruptibly(
                   d.x, d.y, s, {}, [&] { return ++polls >= 2; }, std::chrono::milliseconds(1)),
               vok::Cancelled);
  EXPECT_EQ(polls, 2);
}

TEST(AnalyseInterruptibly, ErrorsOfTheAnalysisComeThrough) {
  const std::vector<float> x(100, 1.0f), y(99, 1.0f);
  vok::Settings s;
  s.frame_length = 40;
  try {
    vok::analyse_interruptibly(x, y, s, {}, [] { return false; });
    ADD_FAILURE() << "accepted";
  } catch (const vok::Error& e) {
    EXPECT_EQ(e.series(), vok::Series::both);
  }
}

// Frames wholly inside the first rows: end to end and overlapping, never
// more than the plan's.
TEST(FramePlan, FramesWithinTheRowsRead) {
  struct Case {
    int rows, frame_length, overlap, read, within;
  };
  const Case cases[] = {
      {1000, 100, 0, 0, 0},    {1000, 100, 0, 99, 0},     {1000, 100, 0, 100, 1},
      {1000, 100, 0, 250, 2},  {1000, 100, 0, 1000, 10},  {1000, 100, 50, 149, 1},
      {1000, 100, 50, 150, 2}, {1000, 100, 50, 1000, 18}, {1050, 100, 0, 5000, 10},
  };
  for (const Case& c : cases) {
    const vok::FramePlan plan = vok::FramePlan::of(c.rows, c.frame_length, c.overlap, 3);
    EXPECT_EQ(plan.frames_within(c.read), c.within)
        << c.rows << " rows, " << c.frame_length << "/" << c.overlap << ", " << c.read << " read";
    // Each frame counted lies in the rows read.
    const int within = plan.frames_within(c.read);
    if (within > 0) EXPECT_LE(plan.offset(within) + plan.frame_length, c.read);
  }
}

}  // namespace
