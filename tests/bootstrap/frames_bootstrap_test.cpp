// The bootstrap of the frames' own computation: each resample put through
// the VAR fit, clipping and the tests, built here again from the stream, the
// fit, the signs and the frame tests alone.
#include "bootstrap/frames_bootstrap.h"

#include <gtest/gtest.h>

#include "message_lines.h"

#include <array>
#include <cmath>
#include <string>
#include <vector>

#include "analysis/engine.h"
#include "exec/parallel.h"
#include "frames/covxy.h"
#include "output/channel.h"
#include "stats/sort.h"
#include "stats/var.h"

namespace vok {
namespace {

constexpr int kFrameLength = 24, kLags = 3, kN = 90;

struct Case {
  int p;
  bool clip;
  Trend trend = Trend::n;
};

// The p-values of B resamples: resample b owns 2n numbers from start + 2nb,
// the first n giving the rows (1 + floor(N u)) whose x and y it takes; the
// pair is fitted with a VAR(p) of the case's trend, its residuals clipped to
// their signs when asked, and tested.
std::array<std::vector<float>, kTestCount> direct_pvalues(const std::vector<float>& x,
                                                          const std::vector<float>& y, Case c,
                                                          int B, std::uint64_t start) {
  const int N = static_cast<int>(x.size());
  const int M = kLags * (2 * kLags + 1);
  Messages quiet;
  std::array<std::vector<float>, kTestCount> out;
  for (int b = 0; b < B; ++b) {
    std::vector<float> pair(2 * kFrameLength), residuals(2 * kFrameLength);
    const std::uint64_t first = start + 2ull * kFrameLength * b;
    for (int i = 0; i < kFrameLength; ++i) {
      const int row = static_cast<int>(std::floor(N * double(UniformStream::at(first + i))));
      pair[i] = x[row];
      pair[kFrameLength + i] = y[row];
    }
    setvar(pair, residuals, 2, kFrameLength, c.p, quiet, c.trend);
    if (c.clip)
      for (float& v : residuals) v = v >= 0.0f ? 1.0f : -1.0f;
    std::vector<float> xxy(M), yyx(M), rxy(2 * kLags + 1);
    std::vector<int> r(M), s(M);
    const std::span<const float> rx(residuals.data(), kFrameLength), ry(residuals.data() + kFrameLength, kFrameLength);
    const FrameTests t = covxy(rx, ry, kLags, xxy, yyx, rxy, r, s, quiet);
    for (vok::Test test : kTests) out[test_index(test)].push_back(1.0f - t.cdf[test]);
  }
  return out;
}

std::array<float, kTestCount> fractiles(std::array<std::vector<float>, kTestCount>& p,
                                        float alpha) {
  std::array<float, kTestCount> out{};
  std::vector<int> order(p[0].size());
  const float level[1] = {alpha};
  Messages quiet;
  for (int k = 0; k < kTestCount; ++k) {
    float q[1] = {0.0f};
    sort(order, p[k], level, q, 'B', quiet);
    out[k] = q[0];
  }
  return out;
}

class FramesBootstrap : public testing::Test {
 protected:
  void SetUp() override {
    // Skewed, with a level far from 0 (the VAR fit has no constant term, so
    // the level shows in its residuals) and serial dependence (which the
    // resampling removes).
    float state = 0.0f;
    for (int i = 1; i <= kN; ++i) {
      state = 0.6f * state + std::sin(1.7f * i * i);
      x.push_back(2.0f + state + 0.2f * (i % 4));
      y.push_back(std::exp(0.8f * std::cos(0.37f * i * i)) - 0.5f);
    }
  }

  Thresholds run(Case c, int B, float alpha, UniformStream& stream, int threads,
                 Messages& diag) const {
    Settings settings;
    settings.var_lag = c.p;
    settings.transform = c.clip ? Transform::clip : Transform::none;
    settings.trend = c.trend;
    const FrameJob job = FrameJob::of(x, y, FramePlan::of(kN, kFrameLength, 0, kLags), settings);
    return frames_bootstrap(x, y, kFrameLength, kLags, job, B, alpha, stream, threads, diag);
  }

  std::vector<float> x, y;
};

TEST_F(FramesBootstrap, ThresholdsAreTheFractilesOfResamplesFittedClippedAndTested) {
  const Case cases[] = {{0, false},          {1, false}, {2, false},         {1, true},
                        {3, true},           {1, false, Trend::c}, {2, true, Trend::c}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "p=" << c.p << " clip=" << c.clip
                                    << " trend=" << name(c.trend));
    for (int threads : {1, 3}) {
      UniformStream stream;
      stream.advance(321);
      Messages diag(Stage::bootstrap);
      const Thresholds t = run(c, 40, 0.1f, stream, threads, diag);
      EXPECT_EQ(stream.position(), 321u + 2u * kFrameLength * 40u);
      auto p = direct_pvalues(x, y, c, 40, 321);
      EXPECT_EQ(t.values, fractiles(p, 0.1f)) << threads << " threads";
      EXPECT_TRUE(diag.empty());
    }
  }
}

// The fit changes the thresholds (here the fit without a constant term
// leaves x's level in its residuals), from the same blocks of the stream.
TEST_F(FramesBootstrap, DiffersFromTheResamplesTestedAsDrawn) {
  Messages diag(Stage::bootstrap);
  UniformStream a, b;
  const Thresholds fitted = run({2, false}, 200, 0.05f, a, 2, diag);
  const Thresholds drawn = resampxy(x, y, kFrameLength, kLags, 200, 0.05f, b, 2, diag);
  EXPECT_EQ(a.position(), b.position());
  EXPECT_NE(fitted.values[kCx], drawn.values[kCx]);
  EXPECT_NE(fitted.values[kCy], drawn.values[kCy]);
}

// A column of one value (zeros, or a level) gives resamples with a constant
// x: no VAR fit is tried (it would fail on zeros, or leave rounding noise
// on a level), each resample is never significant (p-values of 1), as a
// degenerate frame, and nothing is said.
TEST_F(FramesBootstrap, AConstantColumnGivesPValuesOfOneWithoutAFit) {
  for (float value : {0.0f, 2.7f}) {
    SCOPED_TRACE(value);
    std::fill(x.begin(), x.end(), value);
    Messages diag(Stage::bootstrap);
    UniformStream stream;
    const Thresholds t = run({1, false}, 20, 0.05f, stream, 2, diag);
    for (float v : t.values) EXPECT_EQ(v, 1.0f);
    EXPECT_EQ(lines_on(diag.list(), MessageChannel::standard_error), "");
  }
}

// Each resampled row takes x and y from one row of the columns, so what ties
// them at lag 0 survives: with y = x + 1 every resample has y = x + 1.
TEST_F(FramesBootstrap, DrawsXAndYFromOneRow) {
  for (std::size_t i = 0; i < x.size(); ++i) y[i] = x[i] + 1.0f;
  Settings settings;
  settings.var_lag = 1;
  const FrameJob job = FrameJob::of(x, y, FramePlan::of(kN, kFrameLength, 0, kLags), settings);
  FrameResampleWork work(kFrameLength, kLags);
  Messages diag(Stage::bootstrap);
  for (std::uint64_t first : {0ull, 2ull * kFrameLength * 7}) {
    frame_resample_pvalues(x, y, kFrameLength, kLags, job, first, work, diag);
    std::vector<float> xs(work.pair.begin(), work.pair.begin() + kFrameLength);
    for (int i = 0; i < kFrameLength; ++i) EXPECT_EQ(work.pair[kFrameLength + i], xs[i] + 1.0f);
    // Not a copy of a stretch of x: the rows are drawn.
    EXPECT_FALSE(std::equal(xs.begin(), xs.end(), x.begin()));
  }
}

// The engine's threshold step takes the settings' bootstrap.
TEST_F(FramesBootstrap, TheSettingsChooseIt) {
  Settings settings;
  settings.resamples = 40;
  settings.false_alarm = 0.1f;
  settings.var_lag = 1;
  settings.transform = Transform::clip;
  settings.bootstrap = Bootstrap::frames;
  const FramePlan plan = FramePlan::of(kN, kFrameLength, 0, kLags);
  ResultCollector collector;
  UniformStream stream;
  const PerTest<float> t = analysis_thresholds(x, y, settings, plan, stream, collector,
                                               EngineOptions{.threads = 2});
  EXPECT_TRUE(collector.result().bootstrapped);
  auto p = direct_pvalues(x, y, {1, true}, 40, 0);
  const std::array<float, kTestCount> want = fractiles(p, 0.1f);
  EXPECT_EQ((std::array<float, kTestCount>{t.hxxy, t.hyyx, t.hxxx, t.hyyy, t.cx, t.cy, t.cxy}),
            want);
}

}  // namespace
}  // namespace vok
