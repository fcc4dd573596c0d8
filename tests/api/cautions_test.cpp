// The cautions of an analysis: which the frames call for with which
// settings, what each says, and that a program that keeps no frame (the
// console program) gets the same as a Result.
#include "analysis/cautions.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "simulated.h"
#include "vok/sink.h"
#include "vok/vok.h"

namespace vok {
namespace {

using test::garch;
using test::normals;

constexpr std::size_t kRows = 5000;  // 20 frames of 250

std::vector<float> ar1(std::uint64_t at, double phi = 0.5) {
  std::vector<float> e = normals(kRows + 200, at), out;
  double v = 0.0;
  for (std::size_t t = 0; t < e.size(); ++t) {
    v = phi * v + e[t];
    if (t >= 200) out.push_back(static_cast<float>(v));
  }
  return out;
}

std::vector<float> plus(std::vector<float> v, float level) {
  for (float& f : v) f += level;
  return v;
}

// y = r x + sqrt(1 - r^2) u: correlated with x at lag 0 only.
std::vector<float> correlated(const std::vector<float>& x, double r, std::uint64_t at) {
  std::vector<float> u = normals(x.size(), at);
  for (std::size_t t = 0; t < x.size(); ++t)
    u[t] = static_cast<float>(r * x[t] + std::sqrt(1.0 - r * r) * u[t]);
  return u;
}

// The third frame of x stuck at one value.
std::vector<float> stuck(std::vector<float> x) {
  std::fill(x.begin() + 500, x.begin() + 750, x[500]);
  return x;
}

std::string kinds(const std::vector<Caution>& cautions) {
  std::string out;
  for (const Caution& c : cautions)
    out += std::string(out.empty() ? "" : " ") + name(c.kind) +
           (c.series.empty() ? "" : "(" + c.series + ")");
  return out;
}

TEST(Cautions, EachNamesItsOwnCauseAndNoOther) {
  const std::vector<float> x = normals(kRows, 1), y = normals(kRows, 2000000);
  struct Case {
    const char* name;
    std::vector<float> x, y;
    std::function<void(Settings&)> set;
    const char* want;
  };
  const auto fit = [](int p) { return [p](Settings& s) { s.var_lag = p; }; };
  const Case cases[] = {
      {"independent values, VAR(1)", x, y, fit(1), ""},
      {"independent values, no fit", x, y, fit(0), ""},
      {"a level, VAR(1) without a constant", plus(x, 1.0f), plus(y, 1.0f), fit(1),
       "level(x) level(y)"},
      // A fit with a constant takes the level out of the residuals.
      {"a level, VAR(1) with a constant", plus(x, 1.0f), plus(y, 1.0f),
       [](Settings& s) {
         s.var_lag = 1;
         s.trend = Trend::c;
       },
       ""},
      // Without a fit the tests do not see the level.
      {"a level, no fit", plus(x, 1.0f), y, fit(0), ""},
      {"changing variance in x", garch(kRows, 3), y, fit(1), "changing_variance(x)"},
      {"changing variance, clipped", garch(kRows, 3), y,
       [](Settings& s) {
         s.var_lag = 1;
         s.transform = Transform::clip;
       },
       ""},
      // Judged on the prewhitened series: autocorrelation is not changing
      // variance.
      {"AR(1) without a fit", x, ar1(4000000), fit(0), "autocorrelation(y)"},
      {"AR(1) with a fit", x, ar1(4000000), fit(1), ""},
      {"lag-0 correlation, nominal", x, correlated(x, 0.5, 6000000), fit(1), "lag0_correlation"},
      {"lag-0 correlation, frames bootstrap", x, correlated(x, 0.5, 6000000),
       [](Settings& s) {
         s.var_lag = 1;
         s.resamples = 20;
         s.bootstrap = Bootstrap::frames;
       },
       ""},
      {"clipped with the data bootstrap", x, y,
       [](Settings& s) {
         s.var_lag = 1;
         s.resamples = 20;
         s.transform = Transform::clip;
       },
       "clip_data_bootstrap"},
      {"a constant frame", stuck(x), y, fit(0), "constant_frames"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Settings s;
    s.frame_length = 250;
    s.threads = 2;
    c.set(s);
    const Result r = analyse(c.x, c.y, s);
    EXPECT_EQ(kinds(r.cautions), c.want);
    // What a streaming program tallies is what the Result holds.
    CautionWatch watch(s);
    analyse(c.x, c.y, s, watch);
    EXPECT_EQ(kinds(watch.tally().cautions()), c.want);
  }
}

TEST(Cautions, CarryTheirFigureAndAdvice) {
  Settings s;
  s.frame_length = 250;
  s.var_lag = 1;
  s.threads = 2;
  // Frame 3 of x is stuck at one value: without a fit, it is counted too.
  const std::vector<float> x = stuck(garch(kRows, 3));
  const Result r = analyse(x, correlated(x, 0.6, 8000000), s);
  ASSERT_EQ(kinds(r.cautions), "changing_variance(x) lag0_correlation constant_frames");
  const Caution& variance = r.cautions[0];
  EXPECT_EQ(variance.frames, r.x_variance.frames);
  EXPECT_EQ(variance.count, r.x_variance.significant);
  EXPECT_DOUBLE_EQ(variance.binomial_pvalue, r.x_variance.binomial_pvalue);
  EXPECT_EQ(variance.advice, "transform=clip");
  EXPECT_NE(variance.message.find("x changes its variance"), std::string::npos);
  const Caution& lag0 = r.cautions[1];
  EXPECT_EQ(lag0.advice, "bootstrap=frames");
  EXPECT_GT(lag0.figure, 0.45);
  EXPECT_LT(lag0.figure, 0.75);
  EXPECT_EQ(lag0.frames, 19);  // the stuck frame has no test
  // No caution calls a count spurious: each names the other cause and the
  // setting that tells the two apart.
  for (const Caution& c : r.cautions) {
    EXPECT_EQ(c.message.find("spurious"), std::string::npos);
    EXPECT_EQ(c.message.find("need not"), std::string::npos);
    if (!c.advice.empty())
      EXPECT_NE(c.message.find("(" + c.advice + ")"), std::string::npos) << c.message;
  }
}

TEST(Cautions, ConstantFramesAreCountedAndTheOthersJudgedWithoutThem) {
  Settings s;
  s.frame_length = 250;
  s.threads = 2;
  std::vector<float> x = stuck(ar1(9000000));
  std::fill(x.begin() + 1000, x.begin() + 1250, 0.0f);
  const Result r = analyse(x, normals(kRows, 2000000), s);
  ASSERT_EQ(kinds(r.cautions), "autocorrelation(x) constant_frames");
  EXPECT_EQ(r.cautions[0].frames, 18);
  EXPECT_EQ(r.cautions[1].count, 2);
  EXPECT_EQ(r.cautions[1].frames, 20);
  EXPECT_EQ(r.cautions[1].message,
            "2 of 20 frames have a constant x or y: no test is computed in them and none is "
            "significant");
}

}  // namespace
}  // namespace vok
