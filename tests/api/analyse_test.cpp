// vok::analyse as a program calls it: the shipped example's numbers, the
// same result on any number of threads, the seed, input refused with its
// position, and not a byte written on standard output or error.
#include <gtest/gtest.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "vok/vok.h"

namespace {

struct Series {
  std::vector<float> x, y;
};

// The two columns of examples/example.dat (two header lines, then rows).
Series example_data() {
  std::ifstream in(std::string(VOK_SOURCE_DIR) + "/examples/example.dat");
  std::string line;
  std::getline(in, line);
  std::getline(in, line);
  Series s;
  float x, y;
  while (in >> x >> y) {
    s.x.push_back(x);
    s.y.push_back(y);
  }
  return s;
}

// The settings of the example's first run (examples/Runvok.cnl, runA.cnl).
vok::Settings example_settings() {
  vok::Settings s;
  s.frame_length = 200;
  s.exponent = 0.4f;
  s.false_alarm = 0.05f;
  s.overlap = 0;
  s.var_lag = 1;
  s.resamples = 100;
  return s;
}

// A frame as a record of the graph file shows it.
std::string graph_record(const vok::Frame& f) {
  char text[128];
  std::snprintf(text, sizeof text, "%+6d %+7.4f %+7.4f %+7.4f %+7.4f %+7.4f %+7.4f %+7.4f",
                f.number, f.cdf.hxxy, f.cdf.hyyx, f.cdf.hxxx, f.cdf.hyyy, f.cdf.cxy, f.cdf.cx,
                f.cdf.cy);
  return text;
}

TEST(Analyse, ExampleGivesTheNumbersOfItsGraphFile) {
  const Series data = example_data();
  ASSERT_EQ(data.x.size(), 2400u);
  const vok::Result r = vok::analyse(data.x, data.y, example_settings());

  // The graph file the console program writes for the example's first run.
  std::ifstream golden(std::string(VOK_TEST_DATA_DIR) + "/api/golden/example_runA_1-_2.graph");
  std::vector<std::string> records;
  for (std::string line; std::getline(golden, line);) records.push_back(line);
  ASSERT_EQ(r.frames.size(), records.size());
  for (std::size_t i = 0; i < records.size(); ++i) {
    EXPECT_EQ(graph_record(r.frames[i]), records[i]);
    EXPECT_EQ(r.frames[i].first_row, static_cast<int>(200 * i + 1));
    EXPECT_EQ(r.frames[i].last_row, static_cast<int>(200 * i + 200));
  }

  // The report's threshold block and counts.
  EXPECT_TRUE(r.bootstrapped);
  EXPECT_NEAR(r.thresholds.hxxy, 0.01699f, 5e-6f);  // .1699E-01
  EXPECT_NEAR(r.thresholds.hyyx, 0.01118f, 5e-6f);
  EXPECT_NEAR(r.thresholds.cy, 0.0884f, 5e-5f);
  EXPECT_EQ(r.counts, (vok::PerTest<int>{6, 1, 0, 0, 1, 1, 0}));
  EXPECT_EQ(r.rows, 2400);
  EXPECT_EQ(r.lags, 8);  // 200 ** 0.4 = 8.3
  EXPECT_EQ(r.covered, 2400);
  ASSERT_TRUE(r.frames[0].var_fit.has_value());
  EXPECT_EQ(r.frames[0].var_fit->phi.size(), 4u);
  EXPECT_EQ(r.frames[0].cross_correlations.size(), 17u);
  EXPECT_TRUE(r.summary.has_value());  // 12 frames, significant xxy frames

  // Nothing reached the program's channels.
}

void expect_same_frame(const vok::Frame& a, const vok::Frame& b) {
  SCOPED_TRACE(a.number);
  EXPECT_EQ(a.number, b.number);
  EXPECT_EQ(a.first_row, b.first_row);
  EXPECT_EQ(a.cdf, b.cdf);
  EXPECT_EQ(a.statistic, b.statistic);
  EXPECT_EQ(a.significant, b.significant);
  EXPECT_EQ(a.qvalue, b.qvalue);
  EXPECT_EQ(a.variance_pvalue_x, b.variance_pvalue_x);
  EXPECT_EQ(a.variance_pvalue_y, b.variance_pvalue_y);
  EXPECT_EQ(a.sd_x, b.sd_x);
  EXPECT_EQ(a.sd_y, b.sd_y);
  EXPECT_EQ(a.cross_correlations, b.cross_correlations);
  ASSERT_EQ(a.var_fit.has_value(), b.var_fit.has_value());
  if (a.var_fit) {
    EXPECT_EQ(a.var_fit->phi, b.var_fit->phi);
    EXPECT_EQ(a.var_fit->constant, b.var_fit->constant);
  }
  EXPECT_EQ(a.x_residuals, b.x_residuals);
  EXPECT_EQ(a.y_residuals, b.y_residuals);
}

TEST(Analyse, OneAndTwoThreadsGiveTheSameResult) {
  for (vok::Trend trend : {vok::Trend::n, vok::Trend::c})
  for (vok::Bootstrap bootstrap : {vok::Bootstrap::data, vok::Bootstrap::frames}) {
  SCOPED_TRACE(static_cast<int>(bootstrap));
  SCOPED_TRACE(vok::name(trend));
  const Series data = example_data();
  vok::Settings s = example_settings();
  s.trend = trend;
  s.var_lag = 2;
  s.overlap = 50;
  s.resamples = 40;
  s.transform = vok::Transform::clip;
  s.bootstrap = bootstrap;
  s.threads = 1;
  const vok::Result one = vok::analyse(data.x, data.y, s);
  s.threads = 2;
  const vok::Result two = vok::analyse(data.x, data.y, s);

  ASSERT_EQ(one.frames.size(), 44u);  // (2400 - 200 - 1) div 50 + 1
  ASSERT_EQ(two.frames.size(), one.frames.size());
  for (std::size_t i = 0; i < one.frames.size(); ++i) expect_same_frame(one.frames[i], two.frames[i]);
  EXPECT_EQ(one.thresholds, two.thresholds);
  EXPECT_EQ(one.counts, two.counts);
  EXPECT_EQ(one.x_stats, two.x_stats);
  ASSERT_EQ(one.summary.has_value(), two.summary.has_value());
  if (one.summary) {
    ASSERT_EQ(one.summary->all_frames.pairs.size(), two.summary->all_frames.pairs.size());
    for (std::size_t i = 0; i < one.summary->all_frames.pairs.size(); ++i)
      EXPECT_EQ(one.summary->all_frames.pairs[i].r, two.summary->all_frames.pairs[i].r);
  }
  EXPECT_EQ(one.messages, two.messages);
  EXPECT_EQ(one.x_variance.significant, two.x_variance.significant);
  }
}

TEST(Analyse, TheSeedChoosesTheBootstrapStream) {
  const Series data = example_data();
  vok::Settings s = example_settings();
  s.resamples = 20;
  const vok::Result first = vok::analyse(data.x, data.y, s);
  EXPECT_EQ(vok::analyse(data.x, data.y, s).thresholds, first.thresholds);
  s.seed = 12345;
  const vok::Result other = vok::analyse(data.x, data.y, s);
  EXPECT_NE(other.thresholds, first.thresholds);
  // The frames' own tests do not depend on the stream.
  EXPECT_EQ(other.frames[3].cdf, first.frames[3].cdf);
}

TEST(Analyse, MessagesComeBackWithTheirKindPlaceAndNumbers) {
  // x constant: the descriptive statistics report no spread, and every
  // frame is degenerate.
  vok::Settings s;
  s.frame_length = 40;
  const std::vector<float> x(200, 2.5f);
  std::vector<float> y(200);
  for (int i = 0; i < 200; ++i) y[i] = std::sin(0.7f * i) + 0.01f * (i % 7);
  const vok::Result r = vok::analyse(x, y, s);
  ASSERT_EQ(r.frames.size(), 5u);
  for (const vok::Frame& f : r.frames) EXPECT_TRUE(f.degenerate);
  EXPECT_EQ(r.x_stats.sd, -1.0f);
  ASSERT_FALSE(r.messages.empty());
  const vok::Message& m = r.messages.front();
  EXPECT_EQ(m.kind, vok::MessageKind::stat_no_variance);
  EXPECT_EQ(m.stage, vok::Stage::statistics);
  EXPECT_EQ(m.frame, 0);
  EXPECT_EQ(m.numbers[0], 0.0);  // the sum of squares of x
  EXPECT_EQ(std::string(vok::name(m.kind)), "stat_no_variance");
  EXPECT_NE(vok::describe(m).find("without spread"), std::string::npos) << vok::describe(m);
}

// One resample: its fractiles are its own p-values, which the sorting
// routine remarks on; the remarks come back as messages, not as lines.
TEST(Analyse, MessagesOfTheBootstrapAreValuesNotLines) {
  const Series data = example_data();
  vok::Settings s = example_settings();
  s.resamples = 1;
  s.false_alarm = 1.0f;
  const vok::Result r = vok::analyse(data.x, data.y, s);
  int single = 0;
  for (const vok::Message& m : r.messages) {
    if (m.kind != vok::MessageKind::sort_single_value) continue;
    EXPECT_EQ(m.stage, vok::Stage::bootstrap);
    EXPECT_EQ(m.numbers[0], 1.0);  // one value
    ++single;
  }
  EXPECT_EQ(single, vok::kTestCount);  // one for each test's fractile
}

TEST(Analyse, AFrameWhoseFitFailsIsAnErrorNamingIt) {
  vok::Settings s;
  s.frame_length = 50;
  s.var_lag = 1;
  std::vector<float> x(150), y(150);
  for (int i = 0; i < 150; ++i) {
    // Frame 2: x = +-1 and y = 2x, collinear: the fit's matrix is singular.
    const bool singular = i >= 50 && i < 100;
    x[i] = singular ? (i % 3 ? 1.0f : -1.0f) : std::sin(1.3f * i);
    y[i] = singular ? 2.0f * x[i] : std::cos(0.9f * i) + 0.1f * (i % 5);
  }
  try {
    vok::analyse(x, y, s);
    ADD_FAILURE() << "accepted";
  } catch (const vok::Error& e) {
    const vok::Message failed{vok::MessageKind::cholesky_failed, vok::Stage::var_fit, 2};
    EXPECT_NE(std::string(e.what()).find("frame 2 cannot be completed: " + vok::describe(failed)),
              std::string::npos)
        << e.what();
  }
}

// File descriptors 1 and 2 (standard output and error) sent to a file of
// their own while alive: whatever the process writes there, by any means
// (stdio, iostreams, write(2)), is held in it. written() flushes every stream,
// puts the descriptors back and says how many bytes came.
class Descriptors12 {
 public:
  Descriptors12() {
    std::fflush(nullptr);
    file_ = std::tmpfile();
    for (int fd : {1, 2}) {
      saved_[fd - 1] = ::dup(fd);
      ::dup2(::fileno(file_), fd);
    }
  }
  ~Descriptors12() {
    restore();
    std::fclose(file_);
  }
  Descriptors12(const Descriptors12&) = delete;
  Descriptors12& operator=(const Descriptors12&) = delete;

  // The bytes written on 1 and 2 since the start, the descriptors put back.
  std::string written() {
    restore();
    std::string text;
    std::rewind(file_);
    for (int c; (c = std::fgetc(file_)) != EOF;) text += static_cast<char>(c);
    return text;
  }

 private:
  void restore() {
    if (saved_[0] < 0) return;
    std::cout.flush();
    std::cerr.flush();
    std::fflush(nullptr);
    for (int fd : {1, 2}) {
      ::dup2(saved_[fd - 1], fd);
      ::close(saved_[fd - 1]);
      saved_[fd - 1] = -1;
    }
  }
  std::FILE* file_ = nullptr;
  std::array<int, 2> saved_{-1, -1};
};

// The library keeps to its result: on whatever path the analysis takes,
// those that raise messages included, not one byte reaches the process's
// standard output or error.
TEST(Analyse, NoPathWritesOnStandardOutputOrError) {
  const Series example = example_data();
  std::vector<float> sine(200), constant(200, 2.5f), broken(150), other(150);
  for (int i = 0; i < 200; ++i) sine[i] = std::sin(0.7f * i) + 0.01f * (i % 7);
  for (int i = 0; i < 150; ++i) {
    // Frame 2: x = +-1 and y = 2x, collinear: the fit's matrix is singular.
    const bool singular = i >= 50 && i < 100;
    broken[i] = singular ? (i % 3 ? 1.0f : -1.0f) : std::sin(1.3f * i);
    other[i] = singular ? 2.0f * broken[i] : std::cos(0.9f * i) + 0.1f * (i % 5);
  }
  vok::Settings frames_of_40;
  frames_of_40.frame_length = 40;
  vok::Settings constant_fitted = frames_of_40;
  constant_fitted.var_lag = 2;
  constant_fitted.resamples = 40;
  constant_fitted.bootstrap = vok::Bootstrap::frames;
  vok::Settings fit_of_50;
  fit_of_50.frame_length = 50;
  fit_of_50.var_lag = 1;
  const vok::Settings example_run = example_settings();
  vok::Settings one_resample = example_settings();
  one_resample.resamples = 1;
  one_resample.false_alarm = 1.0f;
  struct Case {
    const char* what;
    const std::vector<float>& x;
    const std::vector<float>& y;
    const vok::Settings& settings;
    bool refused;
  };
  const Case cases[] = {
      {"the example, bootstrapped, with its summary", example.x, example.y, example_run, false},
      {"x constant: no spread, every frame degenerate", constant, sine, frames_of_40, false},
      {"a frame whose VAR fit fails", broken, other, fit_of_50, true},
      {"x constant with a fit and resamples: no fit, nothing to test", constant, sine,
       constant_fitted, false},
      {"one resample: the fractile routine's remarks", example.x, example.y, one_resample, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    bool refused = false;
    std::size_t frames = 0;
    Descriptors12 descriptors;
    try {
      frames = vok::analyse(c.x, c.y, c.settings).frames.size();
    } catch (const vok::Error&) {
      refused = true;
    }
    // Checked once the descriptors are back, so that a failure is seen.
    const std::string written = descriptors.written();
    EXPECT_EQ(written, "");
    EXPECT_EQ(refused, c.refused);
    if (!refused) {
      EXPECT_GT(frames, 0u);
    }
  }
}

// Frames stuck at one value (a sensor stuck at 0, a series filled forward)
// are degenerate without a fit, and the others are analysed as without them;
// a run whose every frame is stuck runs no bootstrap and finds nothing.
TEST(Analyse, StuckFramesAreDegenerateAndTheRunGoesOn) {
  const Series data = example_data();
  for (vok::Bootstrap bootstrap : {vok::Bootstrap::data, vok::Bootstrap::frames}) {
    SCOPED_TRACE(static_cast<int>(bootstrap));
    vok::Settings s = example_settings();
    s.var_lag = 1;
    s.resamples = 40;
    s.bootstrap = bootstrap;
    std::vector<float> x = data.x;
    std::fill(x.begin() + 200, x.begin() + 400, 0.0f);     // frame 2
    std::fill(x.begin() + 1000, x.begin() + 1200, 3.25f);  // frame 6
    const vok::Result r = vok::analyse(x, data.y, s);
    ASSERT_EQ(r.frames.size(), 12u);
    for (const vok::Frame& f : r.frames) {
      SCOPED_TRACE(f.number);
      const bool stuck = f.number == 2 || f.number == 6;
      EXPECT_EQ(f.degenerate, stuck);
      EXPECT_EQ(f.var_fit.has_value(), !stuck);
      if (stuck) {
        EXPECT_EQ(f.significant, vok::PerTest<bool>{});
        EXPECT_TRUE(std::isnan(f.pvalue.cxy) && std::isnan(f.qvalue.cxy));
      }
    }
    EXPECT_TRUE(r.bootstrapped);

    std::vector<float> flat(data.x.size(), 0.0f);
    const vok::Result none = vok::analyse(flat, data.y, s);
    EXPECT_FALSE(none.bootstrapped);
    EXPECT_EQ(none.thresholds.hxxy, s.false_alarm);
    EXPECT_EQ(none.counts, vok::PerTest<int>{});
    for (const vok::Frame& f : none.frames) EXPECT_TRUE(f.degenerate);
  }
}

TEST(Analyse, BadInputIsRefusedSayingWhatAndWhere) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* what;
    std::vector<float> x, y;
    vok::Transform transform;
    std::vector<std::string> stamps;
    const char* named;
    vok::Series series;  // what the error carries as values
    std::optional<std::size_t> index;
  };
  std::vector<float> ok(100);
  for (int i = 0; i < 100; ++i) ok[i] = 1.0f + 0.5f * std::sin(0.3f * i);
  auto with = [&ok](int at, float v) {
    std::vector<float> s = ok;
    s[at] = v;
    return s;
  };
  const Case cases[] = {
      {"unequal lengths", ok, std::vector<float>(ok.begin(), ok.end() - 1),
       vok::Transform::none, {}, "x has 100 values and y 99", vok::Series::both, std::nullopt},
      {"too short", std::vector<float>(ok.begin(), ok.begin() + 30),
       std::vector<float>(ok.begin(), ok.begin() + 30), vok::Transform::none, {},
       "30 rows are too few for one frame of frame_length = 40", vok::Series::both, std::nullopt},
      {"NaN in x", with(17, nan), ok, vok::Transform::none, {}, "x[17] = nan", vok::Series::x, 17},
      {"infinity in y", ok, with(5, inf), vok::Transform::none, {}, "y[5] = inf", vok::Series::y,
       5},
      {"zero for the log", ok, with(3, 0.0f), vok::Transform::log, {}, "y[3] = 0",
       vok::Series::y, 3},
      {"stamps of the wrong count", ok, ok, vok::Transform::none, {"a", "b"},
       "2 stamps for 100 rows", vok::Series::stamps, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    vok::Settings s;
    s.frame_length = 40;
    s.transform = c.transform;
    try {
      vok::analyse(c.x, c.y, s, c.stamps);
      ADD_FAILURE() << "accepted";
    } catch (const vok::Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
      EXPECT_TRUE(e.reason().starts_with(c.named)) << e.reason();
      EXPECT_EQ(e.series(), c.series);
      EXPECT_EQ(e.index(), c.index);
      EXPECT_EQ(e.bound(), std::nullopt);
    }
  }
  // A bad setting is refused before the data are looked at.
  vok::Settings s;
  s.frame_length = 8;
  EXPECT_THROW(vok::analyse(ok, ok, s), vok::Error);
}

TEST(Analyse, StampsAndLogDataReachTheFrames) {
  std::vector<float> x(120), y(120);
  std::vector<std::string> stamps;
  for (int i = 0; i < 120; ++i) {
    x[i] = std::exp(0.5f * std::sin(0.37f * i));
    y[i] = std::exp(0.5f * std::cos(0.23f * i + 0.1f * (i % 3)));
    stamps.push_back("row " + std::to_string(i + 1));
  }
  vok::Settings s;
  s.frame_length = 40;
  const vok::Result raw = vok::analyse(x, y, s, stamps);
  ASSERT_EQ(raw.frames.size(), 3u);
  EXPECT_EQ(raw.frames[1].first_stamp, "row 41");
  EXPECT_EQ(raw.frames[1].last_stamp, "row 80");

  // The log transform analyses the logarithms.
  s.transform = vok::Transform::log;
  const vok::Result logged = vok::analyse(x, y, s);
  std::vector<float> lx, ly;
  for (float v : x) lx.push_back(std::log(v));
  for (float v : y) ly.push_back(std::log(v));
  s.transform = vok::Transform::none;
  const vok::Result direct = vok::analyse(lx, ly, s);
  EXPECT_EQ(logged.frames[2].cdf, direct.frames[2].cdf);
  EXPECT_EQ(logged.x_stats, direct.x_stats);
}

TEST(Analyse, PValuesIn64BitsAgreeWithTheReportsAndKeepTheirTail) {
  const Series data = example_data();
  const vok::Result r = vok::analyse(data.x, data.y, example_settings());
  // 200 ** 0.4 rounds to 8 lags: Cx, Cy L; Cxy 2L + 1; Hxxx, Hyyy L(L - 1)/2;
  // Hxxy, Hyyx L(2L + 1).
  const vok::PerTest<int> df{136, 136, 28, 28, 8, 8, 17};
  for (const vok::Frame& f : r.frames) {
    EXPECT_EQ(f.df, df);
    const vok::PerTest<float> reported = f.p_values();
    for (vok::Test t : vok::kTests) {
      SCOPED_TRACE(testing::Message() << "frame " << f.number << ' ' << vok::name(t));
      // 1 - cdf in 32 bits carries the CDF's absolute error of a few units in
      // the 7th digit; the 64-bit value is the same p-value without it.
      EXPECT_NEAR(f.pvalue[t], reported[t], 2e-6);
      EXPECT_GT(f.pvalue[t], 0.0);
    }
  }
}

TEST(Analyse, TestsThatCannotBeComputedHaveNoPValue) {
  // Frame 2 of x is constant (degenerate: every test NaN). A single lag
  // leaves the serial bicorrelation tests no degrees of freedom (L(L - 1)/2).
  std::vector<float> x(60), y(60);
  for (int i = 0; i < 60; ++i) {
    x[i] = i >= 20 && i < 40 ? 1.0f : std::sin(1.3f * i) + 0.1f * (i % 7);
    y[i] = std::cos(0.7f * i) + 0.05f * (i % 5);
  }
  vok::Settings s;
  s.frame_length = 20;
  const vok::Result r = vok::analyse(x, y, s);
  ASSERT_EQ(r.frames.size(), 3u);
  EXPECT_TRUE(r.frames[1].degenerate);
  for (vok::Test t : vok::kTests) {
    EXPECT_TRUE(std::isnan(r.frames[1].pvalue[t])) << vok::name(t);
    EXPECT_FALSE(std::isnan(r.frames[0].pvalue[t])) << vok::name(t);
  }
  s.frame_length = 12;
  s.exponent = 0.011f;  // 12 ** 0.011 rounds to 1 lag
  const vok::Result one_lag = vok::analyse(x, y, s);
  EXPECT_EQ(one_lag.frames[0].df.hxxx, 0);
  EXPECT_TRUE(std::isnan(one_lag.frames[0].pvalue.hxxx));
  EXPECT_FALSE(std::isnan(one_lag.frames[0].pvalue.cx));
}

TEST(Analyse, ARaisedCancellationFlagStopsItAndALoweredOneChangesNothing) {
  const Series data = example_data();
  std::atomic<bool> cancel{false};
  const vok::Result plain = vok::analyse(data.x, data.y, example_settings());
  const vok::Result polled = vok::analyse(data.x, data.y, example_settings(), {}, &cancel);
  EXPECT_EQ(polled.thresholds, plain.thresholds);
  EXPECT_EQ(polled.counts, plain.counts);
  cancel = true;
  for (int resamples : {0, 100}) {
    vok::Settings s = example_settings();
    s.resamples = resamples;
    EXPECT_THROW(vok::analyse(data.x, data.y, s, {}, &cancel), vok::Cancelled) << resamples;
  }
}

}  // namespace
