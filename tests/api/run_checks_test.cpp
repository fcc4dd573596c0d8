// What an analysis says across its frames: the q-values of each test over
// the frames, the check for changing variance, and the bootstrap that
// calibrates the frames' own tests, as vok::analyse returns them.
#include "analysis/run_checks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "bootstrap/uniform.h"
#include "simulated.h"
#include "vok/vok.h"

namespace vok {
namespace {

using test::garch;
using test::normals;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Benjamini-Hochberg from its definition: with m p-values that are not NaN,
// q(i) = min over j with p(j) >= p(i) of min(1, m p(j) / #{k : p(k) <= p(j)}).
std::vector<double> direct_qvalues(const std::vector<double>& p) {
  double m = 0;
  for (double v : p) m += std::isnan(v) ? 0 : 1;
  std::vector<double> q(p.size(), kNaN);
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (std::isnan(p[i])) continue;
    q[i] = 1.0;
    for (double pj : p) {
      if (std::isnan(pj) || pj < p[i]) continue;
      double rank = 0;
      for (double pk : p) rank += !std::isnan(pk) && pk <= pj ? 1 : 0;
      q[i] = std::min(q[i], pj * m / rank);
    }
  }
  return q;
}

void expect_same(const std::vector<double>& got, const std::vector<double>& want) {
  ASSERT_EQ(got.size(), want.size());
  for (std::size_t i = 0; i < got.size(); ++i) {
    SCOPED_TRACE(i);
    if (std::isnan(want[i])) {
      EXPECT_TRUE(std::isnan(got[i]));
    } else {
      EXPECT_EQ(got[i], want[i]);
    }
  }
}

TEST(QValues, AgreeWithTheirDefinition) {
  const std::vector<std::vector<double>> cases = {
      {},
      {0.3},
      {0.01, 0.04, 0.03, 0.005, 0.9, 0.2},
      {0.02, 0.02, 0.02, 0.5, 0.5, 1e-40, 0.0},        // ties, a tail, a zero
      {kNaN, 0.01, 0.7, kNaN, 0.049, 0.001, 1.0, kNaN},  // NaN does not count in m
      {0.9, 0.95, 0.99, 0.97},                           // no q below the largest p
  };
  for (const auto& p : cases) {
    SCOPED_TRACE(p.size());
    expect_same(qvalues(p), direct_qvalues(p));
  }
  // A longer case, the p-values of a scrambled sequence.
  std::vector<double> p;
  for (int i = 0; i < 300; ++i) p.push_back(UniformStream::at(static_cast<std::uint64_t>(i)) *
                                            (i % 3 == 0 ? 0.01 : 1.0));
  expect_same(qvalues(p), direct_qvalues(p));
}

TEST(BinomialTail, KnownValues) {
  EXPECT_EQ(binomial_upper_tail(0, 10, 0.05), 1.0);
  EXPECT_EQ(binomial_upper_tail(11, 10, 0.05), 0.0);
  EXPECT_NEAR(binomial_upper_tail(1, 10, 0.05), 1.0 - std::pow(0.95, 10), 1e-14);
  EXPECT_NEAR(binomial_upper_tail(10, 10, 0.05), std::pow(0.05, 10), 1e-25);
  // P(X >= 3) for n = 20, p = 0.05: 1 - 0.95^20 - 20 0.05 0.95^19 - 190 0.05^2 0.95^18.
  const double want = 1.0 - std::pow(0.95, 20) - 20 * 0.05 * std::pow(0.95, 19) -
                      190 * 0.0025 * std::pow(0.95, 18);
  EXPECT_NEAR(binomial_upper_tail(3, 20, 0.05), want, 1e-13);
}

Settings frames_of(int length) {
  Settings s;
  s.frame_length = length;
  s.var_lag = 1;
  s.threads = 2;
  return s;
}

TEST(VarianceCheck, StrongOnGarchNotOnIndependentValues) {
  const Settings s = frames_of(250);
  const Result volatile_x = analyse(garch(10000, 1), normals(10000, 900000), s);
  EXPECT_EQ(volatile_x.x_variance.frames, 40);
  EXPECT_GT(volatile_x.x_variance.significant, 12);
  EXPECT_LT(volatile_x.x_variance.binomial_pvalue, 1e-6);
  EXPECT_TRUE(volatile_x.x_variance.strong);
  EXPECT_FALSE(volatile_x.y_variance.strong);

  const Result calm = analyse(normals(10000, 5000000), normals(10000, 7000000), s);
  for (const VarianceCheck& c : {calm.x_variance, calm.y_variance}) {
    EXPECT_EQ(c.frames, 40);
    EXPECT_LT(c.significant, 6);
    EXPECT_FALSE(c.strong);
  }
  // Each frame's p-value is the McLeod-Li test of its VAR residuals.
  for (const Frame& f : volatile_x.frames) {
    EXPECT_GE(f.variance_pvalue_x, 0.0);
    EXPECT_LE(f.variance_pvalue_x, 1.0);
  }
}

TEST(VarianceCheck, TheShareAndTheBinomialBothDecide) {
  struct Case {
    std::vector<double> p;
    float alpha;
    bool strong;
  };
  const std::vector<double> few(40, 0.5);
  std::vector<double> six = few, half = few, all_of_three = {0.001, 0.001, 0.001};
  for (int i = 0; i < 6; ++i) six[i] = 0.01;   // 15% of 40 at 0.05: binomial p 0.014
  for (int i = 0; i < 20; ++i) half[i] = 0.01;
  const Case cases[] = {{few, 0.05f, false},
                        {six, 0.05f, false},
                        {half, 0.05f, true},
                        {half, 0.3f, false},  // 50% against 30%: below twice the level
                        {all_of_three, 0.05f, true},
                        {{kNaN, kNaN}, 0.05f, false}};
  for (const Case& c : cases) {
    VarianceTally tally(c.alpha);
    for (double p : c.p) tally.add(p);
    EXPECT_EQ(tally.check().strong, c.strong) << c.p.size() << " at " << c.alpha;
  }
}

TEST(QValues, EveryFrameOfAnAnalysisHasThoseOfItsPValues) {
  const Result r = analyse(garch(6000, 3), normals(6000, 40000), frames_of(100));
  std::vector<double> p, q;
  for (vok::Test t : kTests) {
    p.clear();
    q.clear();
    for (const Frame& f : r.frames) {
      p.push_back(f.pvalue[t]);
      q.push_back(f.qvalue[t]);
    }
    expect_same(q, direct_qvalues(p));
  }
}

// The frames bootstrap through vok::analyse: after a VAR fit the frames' own
// resamples give the correlation tests higher thresholds than the data's.
TEST(FramesBootstrap, CalibratesTheCorrelationTestsAfterTheFit) {
  Settings s = frames_of(100);
  s.resamples = 200;
  const std::vector<float> x = normals(3000, 11), y = normals(3000, 20000);
  const Result data = analyse(x, y, s);
  s.bootstrap = Bootstrap::frames;
  const Result frames = analyse(x, y, s);
  EXPECT_GT(frames.thresholds.cx, data.thresholds.cx);
  EXPECT_GT(frames.thresholds.cy, data.thresholds.cy);
  EXPECT_EQ(frames.frames[5].cdf, data.frames[5].cdf);  // the frames themselves are the same
}

}  // namespace
}  // namespace vok
