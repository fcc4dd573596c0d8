#include "stats/moments.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "message_lines.h"

namespace vok {
namespace {

TEST(Sigmn, MeanAndSampleStandardDeviation) {
  Messages diag(Stage::tests);
  const std::vector<float> x = {2, 4, 4, 4, 5, 5, 7, 9};
  const MeanSd m = sigmn(x, diag);
  EXPECT_EQ(m.mean, 5.0f);
  EXPECT_FLOAT_EQ(m.sd, static_cast<float>(std::sqrt(32.0 / 7.0)));  // 2.13809, divisor n - 1
  EXPECT_EQ(report_lines(diag), "");
}

TEST(Sigmn, ConstantSeriesHasZeroSpread) {
  Messages diag(Stage::tests);
  const std::vector<float> x(9, 0.1f);
  const MeanSd m = sigmn(x, diag);
  EXPECT_EQ(m.mean, 0.1f);
  EXPECT_EQ(m.sd, 0.0f);
}

// Values far from zero: the mean carries a rounding error that the sum of the
// deviations corrects, so the spread comes out right.
TEST(Sigmn, LargeOffsetKeepsTheSpread) {
  Messages diag(Stage::tests);
  std::vector<float> x;
  for (int i = 0; i < 100; ++i) x.push_back(1.0e6f + 0.0625f * static_cast<float>(i % 3));
  const MeanSd m = sigmn(x, diag);
  double sum = 0.0;
  for (float v : x) sum += v;
  const double mean = sum / 100;
  double ss = 0.0;
  for (float v : x) ss += (v - mean) * (v - mean);
  EXPECT_FLOAT_EQ(m.sd, static_cast<float>(std::sqrt(ss / 99)));
}

TEST(Sigmn, SingleValueGivesNan) {
  Messages diag(Stage::tests);
  const std::vector<float> x = {3.5f};
  const MeanSd m = sigmn(x, diag);
  EXPECT_EQ(m.mean, 3.5f);
  EXPECT_TRUE(std::isnan(m.sd));
}

TEST(Sigmn, EmptySeriesHaltsAfterItsMessage) {
  Messages diag(Stage::tests);
  try {
    sigmn(std::span<const float>(), diag);
    ADD_FAILURE() << "an empty series must halt";
  } catch (const ComputationHalted& halted) {
    EXPECT_EQ(halted.cause().kind, MessageKind::sigmn_empty);
  }
  EXPECT_EQ(report_lines(diag), "\n  n in dsigmn < 1\n");
}

// The pair forms each series' moments bit for bit as sigmn does alone, and
// so does the pair from sums formed elsewhere in sigmn's order.
TEST(SigmnPair, EachSeriesAsSigmnGivesItAlone) {
  struct Case {
    const char* name;
    std::vector<float> x, y;
  };
  const Case cases[] = {
      {"one value each", {3.5f}, {-1.0f}},
      {"constant and varying", std::vector<float>(9, 0.1f), {2, 4, 4, 4, 5, 5, 7, 9, 1e-3f}},
      {"large offset", {1e6f + 0.25f, 1e6f - 0.5f, 1e6f + 0.125f, 1e6f}, {0.3f, -0.7f, 0.1f, 1.9f}},
      {"thirds", {1.0f / 3, 2.0f / 3, 1.0f / 7, 5.0f / 7, 0.9f}, {0.1f, 0.2f, 0.3f, 0.7f, 0.11f}},
  };
  auto same = [](const MeanSd& got, const MeanSd& want) {
    EXPECT_EQ(got.mean, want.mean);
    EXPECT_TRUE(got.sd == want.sd || (std::isnan(got.sd) && std::isnan(want.sd)));
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Messages diag;
    const MeanSd mx = sigmn(c.x, diag), my = sigmn(c.y, diag);
    const auto [px, py] = sigmn(c.x, c.y, diag);
    same(px, mx);
    same(py, my);
    double sum_x = 0.0, sum_y = 0.0;
    for (float v : c.x) sum_x += v;
    for (float v : c.y) sum_y += v;
    const auto [sx, sy] = sigmn_from_sums(c.x, c.y, sum_x, sum_y, diag);
    same(sx, mx);
    same(sy, my);
  }
}

TEST(SigmnPair, EmptyPairStopsAfterOneMessage) {
  Messages diag(Stage::tests);
  const std::span<const float> none;
  EXPECT_THROW(sigmn(none, none, diag), ComputationHalted);
  EXPECT_THROW(sigmn_from_sums(none, none, 0.0, 0.0, diag), ComputationHalted);
  EXPECT_EQ(report_lines(diag), "\n  n in dsigmn < 1\n\n  n in dsigmn < 1\n");
}

struct CorResult {
  CorFlags flags;
  float r;
  std::string messages;
};

CorResult run_cor(int n, int nf, const std::vector<float>& x, const std::vector<float>& y,
                  std::vector<int>& positions, float r_before = -9.0f) {
  Messages diag(Stage::tests);
  CorResult out{{}, r_before, {}};
  out.flags = cor(n, nf, x, y, positions, out.r, diag);
  out.messages = report_lines(diag);
  return out;
}

TEST(Cor, WorkedExample) {
  // Sxx = 2, Syy = 12.6667, Sxy = 5; the product 25.333334 and its square
  // root are 32-bit values before the division.
  std::vector<int> positions(3);
  const CorResult c = run_cor(3, 3, {1, 2, 3}, {2, 4, 7}, positions);
  EXPECT_FLOAT_EQ(c.r, 5.0f / std::sqrt(25.333334f));
  EXPECT_NEAR(c.r, 0.99340f, 5e-6f);
  EXPECT_TRUE(c.flags.x_varies);
  EXPECT_TRUE(c.flags.y_varies);
  EXPECT_EQ(c.messages, "");
}

TEST(Cor, WholeSeriesOverwritesThePositions) {
  std::vector<int> positions = {3, 3, 1};
  const CorResult c = run_cor(3, 3, {1, 2, 3}, {2, 4, 7}, positions);
  EXPECT_EQ(positions, (std::vector<int>{1, 2, 3}));
  EXPECT_NEAR(c.r, 0.99340f, 5e-6f);
}

TEST(Cor, SelectedPositionsOnly) {
  // Positions 4, 1, 2 of the arrays hold the worked example; position 3 is
  // left out and the list stays as the caller gave it.
  std::vector<int> positions = {4, 1, 2, 3, 3};
  const CorResult c = run_cor(5, 3, {2, 3, -40, 1, 77}, {4, 7, 90, 2, -6}, positions);
  EXPECT_NEAR(c.r, 0.99340f, 5e-6f);
  EXPECT_EQ(positions, (std::vector<int>{4, 1, 2, 3, 3}));
}

TEST(Cor, RefusedCountsLeaveTheCorrelation) {
  std::vector<int> positions = {1, 2, 3};
  CorResult c = run_cor(3, 5, {1, 2, 3}, {2, 4, 7}, positions, 0.5f);
  EXPECT_EQ(c.messages, " nf  5  in sub COR is > n =  3\n");
  EXPECT_EQ(c.r, 0.5f);
  EXPECT_TRUE(c.flags.x_varies);
  EXPECT_TRUE(c.flags.y_varies);

  c = run_cor(3, 2, {1, 2, 3}, {2, 4, 7}, positions, 0.5f);
  EXPECT_EQ(c.messages, " nf  2  < 3 in sub COR\n");
  EXPECT_EQ(c.r, 0.5f);
}

TEST(Cor, SeriesWithoutVariation) {
  std::vector<int> positions(4);
  CorResult c = run_cor(4, 4, {2, 2, 2, 2}, {1, 5, 2, 8}, positions);
  EXPECT_FALSE(c.flags.x_varies);
  EXPECT_TRUE(c.flags.y_varies);
  EXPECT_EQ(c.r, 0.0f);

  c = run_cor(4, 4, {1, 5, 2, 8}, {-3, -3, -3, -3}, positions);
  EXPECT_TRUE(c.flags.x_varies);
  EXPECT_FALSE(c.flags.y_varies);
  EXPECT_EQ(c.r, 0.0f);

  // Both constant: only the x flag says so.
  c = run_cor(4, 4, {2, 2, 2, 2}, {-3, -3, -3, -3}, positions);
  EXPECT_FALSE(c.flags.x_varies);
  EXPECT_TRUE(c.flags.y_varies);
  EXPECT_EQ(c.r, 0.0f);
  EXPECT_EQ(c.messages, "");
}

TEST(Cor, PerfectNegativeCorrelation) {
  std::vector<int> positions(5);
  const CorResult c = run_cor(5, 5, {1, 2, 3, 4, 5}, {10, 8, 6, 4, 2}, positions);
  EXPECT_FLOAT_EQ(c.r, -1.0f);
}

}  // namespace
}  // namespace vok
