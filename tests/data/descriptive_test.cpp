#include "data/descriptive.h"

#include <gtest/gtest.h>

#include "message_lines.h"

#include <cmath>
#include <regex>
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

TEST(Wrstat, Block) {
  Channel out;
  out.capture();
  wrstat(out, stat_of({1, 2, 3, 4, 5}));
  EXPECT_EQ(out.text(),
            "============================================================\n"
            "\n"
            " Mean =    3.00           Std Dev =    1.58    \n"
            "\n"
            " Skew =  0.00        Kurtosis = -1.91        C(6) =   15.    \n"
            "\n"
            " Max value =      5.00           Min value =      1.00    \n"
            "************************************************************\n");
}

TEST(Wrstat, ZeroSpreadBlock) {
  Channel out;
  out.capture();
  wrstat(out, stat_of({2, 2, 2}));
  EXPECT_EQ(out.text(),
            "============================================================\n"
            "\n"
            " Mean =    2.00           Std Dev =   -1.00    \n"
            "\n"
            " Skew =  0.00        Kurtosis =  0.00        C(6) =   0.0    \n"
            "\n"
            " Max value =      2.00           Min value =      2.00    \n"
            "************************************************************\n");
}

TEST(Wrstat, LargeAndSmallValuesInExponentForm) {
  DescriptiveStats s;
  s.mean = 123456.0f;
  s.sd = 0.05f;
  s.skewness = -0.004f;
  s.kurtosis = 2500.0f;
  s.c6 = 0.5f;
  s.max = 1.0e7f;
  s.min = -0.001f;
  Channel out;
  out.capture();
  wrstat(out, s);
  EXPECT_EQ(out.text(),
            "============================================================\n"
            "\n"
            " Mean =   0.123E+06       Std Dev =   0.500E-01\n"
            "\n"
            " Skew =-0.400E-02    Kurtosis = 0.250E+04    C(6) =  0.50    \n"
            "\n"
            " Max value =     0.100E+08       Min value =    -0.100E-02\n"
            "************************************************************\n");
}

struct StampCase {
  float elapsed;
  const char* unit_line;
  const char* console;
};

TEST(ClosingStamp, ElapsedTimeUnits) {
  const StampCase cases[] = {
      {0.0f, " Elapsed time =      0.00  secs", " Elapsed time =      0.00 secs\n"},
      {59.99f, " Elapsed time =     59.99  secs", " Elapsed time =     59.99 secs\n"},
      {60.0f, " Elapsed time =      1.00 minutes", "\n Elapsed time =      1.00 minutes\n"},
      {3599.0f, " Elapsed time =     59.98 minutes", "\n Elapsed time =     59.98 minutes\n"},
      {3600.0f, " Elapsed time =      1.00 hours", "\n Elapsed time =      1.00 hours\n"},
      {86399.0f, " Elapsed time =     24.00 hours", "\n Elapsed time =     24.00 hours\n"},
  };
  for (const StampCase& c : cases) {
    SCOPED_TRACE(c.elapsed);
    Channel out, console;
    out.capture();
    console.capture();
    write_closing_stamp(9, 9, 2009, "Tue Mar 03 09:05:07 2015", c.elapsed, out, console);
    EXPECT_EQ(out.text(), std::string(" Version  9- 9-2009\n"
                                      " Date & Time Tue Mar 03 09:05:07 2015\n") +
                              c.unit_line + "\n");
    EXPECT_EQ(console.text(), c.console);
  }
}

TEST(ClosingStamp, NegativeDifferenceIsShiftedByADay) {
  EXPECT_FLOAT_EQ(elapsed_time(100.0f, 40.0f), 86340.0f);
  EXPECT_FLOAT_EQ(elapsed_time(1.0f, 3.5f), 2.5f);
  EXPECT_EQ(elapsed_time(5.0f, 5.0f), 0.0f);
}

TEST(ClosingStamp, LocalDateAndTimeText) {
  const std::string text = local_date_time();
  EXPECT_EQ(text.size(), 24u);
  EXPECT_TRUE(std::regex_match(
      text, std::regex(R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat) )"
                       R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) )"
                       R"((0[1-9]|[12][0-9]|3[01]) ([01][0-9]|2[0-3]):[0-5][0-9]:[0-6][0-9] )"
                       R"([0-9]{4})")))
      << text;
}

TEST(ClosingStamp, HeadCountsFromTheStartValue) {
  Channel out, console;
  out.capture();
  console.capture();
  const float start = processor_time();
  const float e = head(9, 9, 2009, start, out, console);
  EXPECT_GE(e, 0.0f);
  EXPECT_LT(e, 60.0f);
  const std::string text = out.text();
  EXPECT_EQ(text.rfind(" Version  9- 9-2009\n Date & Time ", 0), 0u) << text;
  EXPECT_NE(text.find("  secs\n"), std::string::npos) << text;
  EXPECT_EQ(console.text().rfind(" Elapsed time = ", 0), 0u);
}

}  // namespace
}  // namespace vok
