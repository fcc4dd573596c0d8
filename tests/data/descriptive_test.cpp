#include "data/descriptive.h"

#include <gtest/gtest.h>

#include "message_lines.h"

#include <cmath>
#include <string>
#include <vector>

namespace vok {
namespace {

DescriptiveStats stat_of(const std::vector<float>& x, std::string* messages = nullptr) {
  Messages diag(Stage::tests);
  const DescriptiveStats s = stat(x, diag);
  if (messages != nullptr) *messages = report_lines(diag);
  return s;
}

TEST(Stat, OneToFive) {
  std::string messages;
  const DescriptiveStats s = stat_of({3, 5, 1, 4, 2}, &messages);
  EXPECT_EQ(s.mean, 3.0f);
  EXPECT_FLOAT_EQ(s.sd, std::sqrt(2.5f));  // divisor n - 1
  EXPECT_EQ(s.skewness, 0.0f);
  EXPECT_FLOAT_EQ(s.kurtosis, 34.0f / (5 * 6.25f) - 3.0f);                    // -1.912
  EXPECT_FLOAT_EQ(s.c6, 130.0f / (5 * 15.625f) - 15.0f * (-1.912f) - 15.0f);  // 15.344
  EXPECT_EQ(s.max, 5.0f);
  EXPECT_EQ(s.min, 1.0f);
  EXPECT_EQ(messages, "");
}

TEST(Stat, SkewedSeries) {
  // Deviations -3, -2, -1, 6 from the mean 4: sums of powers 2, 3, 4 and 6
  // are 50, 180, 1394 and 47450; s^2 = 50/3 (divisor n - 1), moments over n.
  const DescriptiveStats s = stat_of({1, 2, 10, 3});
  const double var = 50.0 / 3.0;
  const double skew = 180.0 / (4 * std::pow(var, 1.5));
  const double kurt = 1394.0 / (4 * var * var) - 3.0;
  const double c6 = 47450.0 / (4 * var * var * var) - 15 * kurt - 10 * skew * skew - 15;
  EXPECT_EQ(s.mean, 4.0f);
  EXPECT_FLOAT_EQ(s.sd, static_cast<float>(std::sqrt(var)));
  EXPECT_FLOAT_EQ(s.skewness, static_cast<float>(skew));
  EXPECT_FLOAT_EQ(s.kurtosis, static_cast<float>(kurt));
  EXPECT_FLOAT_EQ(s.c6, static_cast<float>(c6));
  EXPECT_EQ(s.max, 10.0f);
  EXPECT_EQ(s.min, 1.0f);
}

// A later value replaces the maximum when it is at least as large, the
// minimum only when strictly smaller; signed zeros show which one is kept.
TEST(Stat, MaximumTakesLaterTiesMinimumKeepsEarlier) {
  const DescriptiveStats s = stat_of({0.0f, -0.0f, -0.0f});
  EXPECT_TRUE(std::signbit(s.max));
  EXPECT_FALSE(std::signbit(s.min));
  const DescriptiveStats t = stat_of({-0.0f, 0.0f});
  EXPECT_FALSE(std::signbit(t.max));
  EXPECT_TRUE(std::signbit(t.min));
}

TEST(Stat, ZeroSpreadSetsMinusOneAndZeroShape) {
  for (const std::vector<float>& x : {std::vector<float>{2, 2, 2}, std::vector<float>{7.5f}}) {
    SCOPED_TRACE(testing::PrintToString(x));
    std::string messages;
    const DescriptiveStats s = stat_of(x, &messages);
    EXPECT_EQ(messages, " Variance  0  in STAT = 0 & is set = -1\n");
    EXPECT_EQ(s.sd, -1.0f);
    EXPECT_EQ(s.skewness, 0.0f);
    EXPECT_EQ(s.kurtosis, 0.0f);
    EXPECT_EQ(s.c6, 0.0f);
    EXPECT_EQ(s.mean, x[0]);
    EXPECT_EQ(s.max, x[0]);
    EXPECT_EQ(s.min, x[0]);
  }
}

// 217 values of 10000, one of them a single 32-bit step (2^-10) lower. The
// exact sum of squared deviations is d^2 (n - 1) / n, so s = d / sqrt(n);
// the one-pass value sum x^2 - m sum x loses it to cancellation (it comes out
// four times too large) and the second pass over the deviations restores it.
// (At an offset of 1e6 the 32-bit step is 1/16 and the spread can never fall
// to the 1e-5 where the second pass starts.)
TEST(Stat, TinySpreadOnLargeOffsetUsesTheSecondPass) {
  const int n = 217;
  const float d = 1.0f / 1024.0f;
  std::vector<float> x(n, 10000.0f);
  x[126] = 10000.0f - d;
  ASSERT_EQ(x[126] + d, 10000.0f);

  double sum = 0.0;
  double sum_sq = 0.0;
  for (float v : x) {
    sum += v;
    sum_sq += static_cast<double>(v) * v;
  }
  const double one_pass = sum_sq - sum / n * sum;
  const float exact_sd = d / std::sqrt(static_cast<float>(n));
  ASSERT_GT(one_pass, 0.0);
  ASSERT_LE(one_pass, 1e-5);
  ASSERT_GT(std::sqrt(one_pass / (n - 1)), 1.5 * exact_sd);  // the case bites

  const DescriptiveStats s = stat_of(x);
  EXPECT_FLOAT_EQ(s.sd, exact_sd);
  EXPECT_NEAR(s.mean, 10000.0f, 1e-3f);
  EXPECT_EQ(s.min, 10000.0f - d);
  // One low value among equal ones: skewness -(n - 1)(n - 2) / n^1.5.
  EXPECT_FLOAT_EQ(s.skewness, static_cast<float>(-(n - 1.0) * (n - 2.0) / std::pow(n, 1.5)));
}

}  // namespace
}  // namespace vok
