#include "frames/covxy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>
#include <utility>
#include <vector>

#include "stats/chisq.h"
#include "stats/moments.h"

namespace vok {
namespace {

// A frame's outputs, with the output arrays sized for L and filled with a
// marker so that anything left unwritten shows.
struct FrameRun {
  FrameRun(std::vector<float> x_, std::vector<float> y_, int L_)
      : x(std::move(x_)),
        y(std::move(y_)),
        L(L_),
        xxy(list_length(L), 99.0f),
        yyx(list_length(L), 99.0f),
        rxy(2 * L + 1, 99.0f),
        r_lags(list_length(L), -99),
        s_lags(list_length(L), -99) {
    tests = covxy(x, y, L, xxy, yyx, rxy, r_lags, s_lags, diag);
    sums = covxy_sums(x, y, L, diag);
    stats = covxy_statistics(sums);
  }
  float rxy_at(int s) const { return rxy[s + L]; }

  std::vector<float> x, y;
  int L;
  std::vector<float> xxy, yyx, rxy;
  std::vector<int> r_lags, s_lags;
  Messages diag{Stage::tests};
  FrameTests tests;
  FrameSums sums;
  FrameStatistics stats;
};

TEST(Covxy, WorkedExample) {
  const FrameRun run({1, -1, 2, 0, -2, 1, 3, -1}, {0, 1, -1, 2, 1, -3, 0, 2}, 2);
  const FrameTests& t = run.tests;
  const FrameStatistics& st = run.stats;
  EXPECT_FALSE(t.degenerate);
  EXPECT_NEAR(t.sx, 1.685018, 1e-6);
  EXPECT_NEAR(t.sy, 1.669046, 1e-6);

  struct Case {
    const char* name;
    double statistic, want_statistic;
    float cdf, want_cdf;
  };
  const Case cases[] = {
      {"Cx", st.cx, 2.623421, t.cdf.cx, 0.7306f},
      {"Cy", st.cy, 2.843822, t.cdf.cy, 0.7587f},
      {"Cxy", st.cxy, 8.959978, t.cdf.cxy, 0.8893f},
      {"Hxxx", st.hxxx, 0.161330, t.cdf.hxxx, 0.3121f},
      {"Hyyy", st.hyyy, 0.215037, t.cdf.hyyy, 0.3572f},
      {"Hxxy", st.hxxy, 4.782725, t.cdf.hxxy, 0.0948f},
      {"Hyyx", st.hyyx, 2.250052, t.cdf.hyyx, 0.0060f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_NEAR(c.statistic, c.want_statistic, 2e-6);
    EXPECT_NEAR(c.cdf, c.want_cdf, 5e-5);
  }
  EXPECT_EQ(st.df_c, 2);
  EXPECT_EQ(st.df_cxy, 5);
  EXPECT_EQ(st.df_h, 1);
  EXPECT_EQ(st.df_list, 10);

  EXPECT_NEAR(run.xxy[0], -0.004018, 1e-6);
  EXPECT_NEAR(run.yyx[0], -0.062622, 1e-6);
  EXPECT_NEAR(run.xxy[2], -0.123541, 1e-6);
  EXPECT_NEAR(run.yyx[2], 0.060541, 1e-6);
  const double want_rxy[] = {0.055558, 0.858769, -0.477799, -0.500023, 0.581508};
  for (int s = -2; s <= 2; ++s) EXPECT_NEAR(run.rxy_at(s), want_rxy[s + 2], 1e-6) << s;
  EXPECT_TRUE(run.diag.empty());
}

TEST(Covxy, ListOrder) {
  struct Case {
    int L;
    std::vector<std::pair<int, int>> lags;
  };
  const Case cases[] = {
      {1, {{1, 1}, {1, 0}, {1, -1}}},
      {2, {{1, 1}, {1, 2}, {1, 0}, {1, -1}, {1, -2}, {2, 1}, {2, 2}, {2, 0}, {2, -1}, {2, -2}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.L);
    const FrameRun run({0.5f, -1, 2, 0, -2, 1, 3, -1}, {0, 1, -1, 2, 1, -3, 0.25f, 2}, c.L);
    ASSERT_EQ(run.r_lags.size(), c.lags.size());
    for (std::size_t m = 0; m < c.lags.size(); ++m) {
      EXPECT_EQ(run.r_lags[m], c.lags[m].first) << m;
      EXPECT_EQ(run.s_lags[m], c.lags[m].second) << m;
    }
  }
}

TEST(Covxy, OneLagHasNoSerialBicorrelation) {
  const FrameRun run({0.5f, -1, 2, 0, -2, 1, 3, -1, 4}, {0, 1, -1, 2, 1, -3, 0.25f, 2, -1}, 1);
  EXPECT_EQ(run.stats.df_h, 0);
  EXPECT_EQ(run.stats.hxxx, 0.0);
  EXPECT_EQ(run.tests.cdf.hxxx, 0.0f);
  EXPECT_EQ(run.tests.cdf.hyyy, 0.0f);
  EXPECT_EQ(run.stats.df_cxy, 3);
  EXPECT_EQ(run.stats.df_list, 3);
}

// The statistics straight from their definitions: every sum runs over all t
// in 1..n with values outside 1..n taken as 0, and every term is divided by
// the product count N(a, b) = n - max(0, a, b) + min(0, a, b).
struct Reference {
  double cx = 0, cy = 0, cxy = 0, hxxx = 0, hyyy = 0, hxxy = 0, hyyx = 0;
  std::vector<double> xxy, yyx, rxy;  // list values in list order; rxy from -L
};

Reference reference(const std::vector<float>& x, const std::vector<float>& y, int L) {
  const int n = static_cast<int>(x.size());
  Messages diag;
  const MeanSd mx = sigmn(x, diag), my = sigmn(y, diag);
  std::vector<double> X(n), Y(n), one(n, 1.0);
  for (int t = 0; t < n; ++t) {
    X[t] = static_cast<float>((x[t] - mx.mean) * (1.0f / mx.sd));
    Y[t] = static_cast<float>((y[t] - my.mean) * (1.0f / my.sd));
  }
  auto at = [n](const std::vector<double>& v, int t) { return t >= 1 && t <= n ? v[t - 1] : 0.0; };
  auto sum3 = [&](const std::vector<double>& a, const std::vector<double>& b,
                  const std::vector<double>& c, int r, int s) {
    double sum = 0;
    for (int t = 1; t <= n; ++t) sum += at(a, t) * at(b, t + r) * at(c, t + s);
    return sum;
  };
  auto count = [n](int a, int b) { return n - std::max({0, a, b}) + std::min({0, a, b}); };

  Reference ref;
  ref.rxy.assign(2 * L + 1, 0.0);
  for (int r = 1; r <= L; ++r) {
    ref.cx += std::pow(sum3(X, X, one, r, 0), 2) / (n - r);
    ref.cy += std::pow(sum3(Y, Y, one, r, 0), 2) / (n - r);
    const double bxy = sum3(X, Y, one, r, 0), byx = sum3(Y, X, one, r, 0);
    ref.cxy += (bxy * bxy + byx * byx) / (n - r);
    ref.rxy[L - r] = bxy / (n - r);
    ref.rxy[L + r] = byx / (n - r);
    for (int s = 1; s < r; ++s) {
      ref.hxxx += std::pow(sum3(X, X, X, r, s), 2) / (n - r);
      ref.hyyy += std::pow(sum3(Y, Y, Y, r, s), 2) / (n - r);
    }
    std::vector<int> seconds;
    for (int s = 1; s <= L; ++s) seconds.push_back(s);
    for (int s = 0; s >= -L; --s) seconds.push_back(s);
    for (int s : seconds) {
      const double txxy = sum3(X, X, Y, r, s), tyyx = sum3(Y, Y, X, r, s);
      ref.hxxy += txxy * txxy / count(r, s);
      ref.hyyx += tyyx * tyyx / count(r, s);
      ref.xxy.push_back(txxy / n);
      ref.yyx.push_back(tyyx / n);
    }
  }
  ref.rxy[L] = sum3(X, Y, one, 0, 0) / n;
  return ref;
}

TEST(Covxy, AgreesWithTheDefinitions) {
  std::mt19937 gen(11);
  auto uniform = [&gen] { return static_cast<float>(gen() / 4294967296.0 * 4.0 - 2.0); };
  for (int L = 1; L <= 8; ++L) {
    for (int n : {2 * L + 1, 2 * L + 2, 3 * L + 5, 64, 301}) {
      for (bool signs : {false, true}) {  // also frames of signs +1 / -1
        SCOPED_TRACE(testing::Message() << "L = " << L << ", n = " << n << ", signs " << signs);
        std::vector<float> x(n), y(n);
        for (int t = 0; t < n; ++t) {
          x[t] = uniform();
          // y leans on earlier x, so the cross terms are not all noise.
          y[t] = uniform() + (t > 0 ? 0.8f * x[t - 1] * x[t - 1] : 0.0f);
          if (signs) {
            x[t] = x[t] >= 0 ? 1.0f : -1.0f;
            y[t] = y[t] >= 1 ? 1.0f : -1.0f;
          }
        }
        const FrameRun run(x, y, L);
        if (run.tests.degenerate) continue;  // a sign frame of one sign only
        const Reference ref = reference(x, y, L);
        const FrameStatistics& st = run.stats;
        auto close = [](double got, double want) {
          EXPECT_NEAR(got, want, 1e-10 * (1.0 + std::fabs(want)));
        };
        close(st.cx, ref.cx);
        close(st.cy, ref.cy);
        close(st.cxy, ref.cxy);
        close(st.hxxx, ref.hxxx);
        close(st.hyyy, ref.hyyy);
        close(st.hxxy, ref.hxxy);
        close(st.hyyx, ref.hyyx);
        for (std::size_t m = 0; m < ref.xxy.size(); ++m) {
          EXPECT_NEAR(run.xxy[m], ref.xxy[m], 1e-6 * (1.0 + std::fabs(ref.xxy[m]))) << m;
          EXPECT_NEAR(run.yyx[m], ref.yyx[m], 1e-6 * (1.0 + std::fabs(ref.yyx[m]))) << m;
        }
        for (int s = -L; s <= L; ++s) EXPECT_NEAR(run.rxy_at(s), ref.rxy[s + L], 1e-6) << s;

        // CDF values are the chi-square of the statistics.
        Messages diag;
        const std::pair<double, int> chi[] = {{ref.cx, L},
                                              {ref.cy, L},
                                              {ref.cxy, 2 * L + 1},
                                              {ref.hxxx, st.df_h},
                                              {ref.hyyy, st.df_h},
                                              {ref.hxxy, list_length(L)},
                                              {ref.hyyx, list_length(L)}};
        const PerTest<float>& c = run.tests.cdf;
        const float got[] = {c.cx, c.cy, c.cxy, c.hxxx, c.hyyy, c.hxxy, c.hyyx};
        for (int i = 0; i < 7; ++i) {
          float want = 0.0f;
          cdchi(static_cast<float>(chi[i].first), static_cast<float>(chi[i].second), want, diag);
          EXPECT_NEAR(got[i], want, 1e-5) << "test " << i;
        }
      }
    }
  }
}

std::vector<float> wavy(int n, float phase) {
  std::vector<float> v(n);
  for (int t = 0; t < n; ++t)
    v[t] = std::sin(0.7f * t + phase) + 0.3f * std::cos(2.3f * t * t + phase);
  return v;
}

TEST(Covxy, AffineChangeOfXChangesOnlySx) {
  const int L = 4, n = 60;
  const std::vector<float> x = wavy(n, 0.0f), y = wavy(n, 1.0f);
  std::vector<float> moved(n);
  for (int t = 0; t < n; ++t) moved[t] = 2.5f * x[t] + 7.0f;
  const FrameRun a(x, y, L), b(moved, y, L);
  EXPECT_NEAR(b.tests.sx, 2.5f * a.tests.sx, 1e-5);
  EXPECT_EQ(b.tests.sy, a.tests.sy);
  for (vok::Test t : kTests) EXPECT_NEAR(b.tests.cdf[t], a.tests.cdf[t], 1e-4) << name(t);
  EXPECT_NEAR(b.stats.hxxy, a.stats.hxxy, 1e-4 * a.stats.hxxy);
  for (std::size_t m = 0; m < a.xxy.size(); ++m) {
    EXPECT_NEAR(b.xxy[m], a.xxy[m], 1e-5) << m;
    EXPECT_NEAR(b.yyx[m], a.yyx[m], 1e-5) << m;
  }
  for (int s = -L; s <= L; ++s) EXPECT_NEAR(b.rxy_at(s), a.rxy_at(s), 1e-5) << s;
}

TEST(Covxy, ExchangingXAndYMirrorsEveryOutput) {
  const int L = 5, n = 40;
  const std::vector<float> x = wavy(n, 0.3f), y = wavy(n, 2.0f);
  const FrameRun a(x, y, L), b(y, x, L);
  // The products are formed in matching orders, so the mirror is exact.
  EXPECT_EQ(b.tests.sx, a.tests.sy);
  EXPECT_EQ(b.tests.sy, a.tests.sx);
  EXPECT_EQ(b.tests.cdf.cx, a.tests.cdf.cy);
  EXPECT_EQ(b.tests.cdf.cy, a.tests.cdf.cx);
  EXPECT_EQ(b.tests.cdf.cxy, a.tests.cdf.cxy);
  EXPECT_EQ(b.tests.cdf.hxxx, a.tests.cdf.hyyy);
  EXPECT_EQ(b.tests.cdf.hyyy, a.tests.cdf.hxxx);
  EXPECT_EQ(b.tests.cdf.hxxy, a.tests.cdf.hyyx);
  EXPECT_EQ(b.tests.cdf.hyyx, a.tests.cdf.hxxy);
  EXPECT_EQ(b.xxy, a.yyx);
  EXPECT_EQ(b.yyx, a.xxy);
  for (int s = -L; s <= L; ++s) EXPECT_EQ(b.rxy_at(s), a.rxy_at(-s)) << s;
}

TEST(Covxy, ConstantOrNonFiniteSeriesSetsTheFrameAside) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  const std::vector<float> varying = {0.5f, -1, 2, 0, -2, 1, 3, -1, 4};
  struct Case {
    const char* name;
    std::vector<float> x, y;
  };
  const Case cases[] = {
      {"constant x", std::vector<float>(9, 3.25f), varying},
      {"constant y", varying, std::vector<float>(9, -1.0f)},
      {"NaN in y", varying, {0, 1, -1, nan, 1, -3, 0.25f, 2, -1}},
      {"infinity in x", {0, 1, -1, 2, inf, -3, 0.25f, 2, -1}, varying},
      {"spread too small to standardise", {0, 1e-44f, 0, 1e-44f, 0, 0, 1e-44f, 0, 0}, varying},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int L = 2;
    const FrameRun run(c.x, c.y, L);
    Messages diag;
    const MeanSd mx = sigmn(c.x, diag), my = sigmn(c.y, diag);
    EXPECT_TRUE(run.tests.degenerate);
    EXPECT_TRUE(run.sums.degenerate);
    // sx and sy as the moments routine gives them (NaN compares through bits).
    EXPECT_EQ(std::isnan(run.tests.sx), std::isnan(mx.sd));
    EXPECT_EQ(std::isnan(run.tests.sy), std::isnan(my.sd));
    if (!std::isnan(mx.sd)) {
      EXPECT_EQ(run.tests.sx, mx.sd);
    }
    if (!std::isnan(my.sd)) {
      EXPECT_EQ(run.tests.sy, my.sd);
    }
    EXPECT_EQ(run.tests.cdf, PerTest<float>{});
    for (float v : run.xxy) EXPECT_EQ(v, 0.0f);
    for (float v : run.yyx) EXPECT_EQ(v, 0.0f);
    for (float v : run.rxy) EXPECT_EQ(v, 0.0f);
    EXPECT_EQ(run.r_lags, (std::vector<int>{1, 1, 1, 1, 1, 2, 2, 2, 2, 2}));
    EXPECT_EQ(run.s_lags, (std::vector<int>{1, 2, 0, -1, -2, 1, 2, 0, -1, -2}));
    EXPECT_EQ(run.stats.cx, 0.0);
    EXPECT_EQ(run.stats.hxxy, 0.0);
    EXPECT_TRUE(run.diag.empty());  // no chi-square message either
  }
}

// The tests without the list give what covxy gives, with the
// cross-correlations or without them, for a frame and a degenerate one, and
// carry the statistics the CDF values come from.
TEST(CovxyTests, AgreeWithCovxyWithOrWithoutCrossCorrelations) {
  const std::vector<float> varying = {0.5f, -1, 2, 0, -2, 1, 3, -1, 4, 0.25f, -0.5f};
  const std::vector<float> other = {0, 1, -1, 2, 1, -3, 0.25f, 2, -1, 1.5f, 0.75f};
  struct Case {
    const char* name;
    std::vector<float> x, y;
  };
  const Case cases[] = {
      {"varying", varying, other},
      {"constant y", varying, std::vector<float>(11, 2.0f)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int L = 3;
    const FrameRun want(c.x, c.y, L);
    for (bool with_rxy : {true, false}) {
      SCOPED_TRACE(with_rxy);
      Messages diag(Stage::tests);
      CovxyWork work;
      std::vector<float> rxy(with_rxy ? 2 * L + 1 : 0, 99.0f);
      const FrameTests got = covxy_tests(c.x, c.y, L, rxy, diag, work);
      for (vok::Test t : kTests) EXPECT_EQ(got.cdf[t], want.tests.cdf[t]) << name(t);
      EXPECT_EQ(got.degenerate, want.tests.degenerate);
      EXPECT_EQ(got.statistics.hxxy, want.stats.hxxy);
      EXPECT_EQ(got.statistics.hxxx, want.stats.hxxx);
      EXPECT_EQ(got.statistics.cxy, want.stats.cxy);
      EXPECT_EQ(got.statistics.df_list, want.stats.df_list);
      if (with_rxy) {
        EXPECT_EQ(rxy, want.rxy);
      }
      EXPECT_EQ(diag.list(), want.diag.list());
    }
  }
}

TEST(Covxy, TooShortAFrameGivesFiniteValues) {
  // n = 2L: the backward pair (L, -L) has no product; callers must avoid
  // this, but nothing divides by zero.
  const FrameRun run({0.5f, -1, 2, 0, -2, 1}, {0, 1, -1, 2, 1, -3}, 3);
  const double stats[] = {run.stats.cx,   run.stats.cy,   run.stats.cxy, run.stats.hxxx,
                          run.stats.hyyy, run.stats.hxxy, run.stats.hyyx};
  for (double s : stats) EXPECT_TRUE(std::isfinite(s));
  for (float v : run.rxy) EXPECT_TRUE(std::isfinite(v));
  EXPECT_EQ(run.xxy.back(), 0.0f);
}

}  // namespace
}  // namespace vok
