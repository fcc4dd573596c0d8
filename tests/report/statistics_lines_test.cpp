#include "report/statistics_lines.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/clock.h"
#include "control/closing_stamp.h"
#include "data/descriptive.h"

namespace vok {
namespace {

DescriptiveStats stat_of(const std::vector<float>& x) {
  Messages messages(Stage::statistics);
  return stat(x, messages);
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
