#include "report/threshold_lines.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

namespace vok {
namespace {

TEST(ThresholdLines, BootstrappedBlockAndNominalLine) {
  Channel report;
  report.capture();
  write_bootstrap_block(report, 20, {0.95f, 0.05f, 0.0123f, 0.5f, 0.05f, 0.0049f, 0.123f});
  write_false_alarm_line(report, 0.05f);
  EXPECT_EQ(report.text(),
            "          20 Bootstrapped false alarm thresholds\n"
            "\n"
            "    Hxxy Threshold = .9500       Hyyx Threshold = .5000E-01\n"
            "\n"
            "    Hxxx Threshold = .1230E-01   Hyyy Threshold = .5000    \n"
            "\n"
            "    Cx Threshold = 0.0500  Cy Threshold = 0.0049  Cxy Threshold = 0.1230\n"
            "\n"
            "       False alarm threshold = 0.0500\n");
}

// The refusal names the level it cannot reach without a value: the error
// line stops where F7.5 would stand, and so does its closing empty line.
TEST(ThresholdLines, RefusalOnEveryChannelOfTheGroup) {
  Channel report, console;
  report.capture();
  console.capture();
  write_refusal({&report, &console}, 19, 3);
  const std::string expected =
      "\n"
      "       ERROR - 1/resamples > test threshold \n"
      "       Resample number =    19\n"
      "\n"
      "       Increase number of resamples in Run =  3\n"
      "\n";
  EXPECT_EQ(report.text(), expected);
  EXPECT_EQ(console.text(), expected);
}

// What a reader of the report takes the thresholds to be: four significant
// digits of the bicorrelation thresholds (G9.4), four decimals of the
// correlation ones (F6.4) and of the nominal level.
TEST(ThresholdLines, ReportedThresholdsAreTheShownValuesReadBack) {
  struct Case {
    std::array<float, kTestCount> thresholds;
    bool bootstrapped;
    std::array<float, kTestCount> shown;
  };
  const Case cases[] = {
      {{0.024052f, 0.95f, 0.0123456f, 0.5f, 0.049999f, 0.00049f, 0.12345f},
       true,
       {0.02405f, 0.95f, 0.01235f, 0.5f, 0.05f, 0.0005f, 0.1235f}},
      {{0.012345f, 9, 9, 9, 9, 9, 9},
       false,
       {0.0123f, 0.0123f, 0.0123f, 0.0123f, 0.0123f, 0.0123f, 0.0123f}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.bootstrapped);
    const std::array<float, kTestCount> got = reported_thresholds(c.thresholds, c.bootstrapped);
    for (int i = 0; i < kTestCount; ++i) EXPECT_EQ(got[i], c.shown[i]) << "test " << i;
  }
}

}  // namespace
}  // namespace vok
