#include "report/threshold_lines.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <string>
#include <string_view>

#include "vok/summary.h"

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

// The value the report shows after `label`, read into a double, then into 32 bits.
float value_after(std::string_view text, std::string_view label) {
  const std::size_t at = text.find(label);
  if (at == std::string_view::npos) return -1.0f;
  const std::string rest(text.substr(at + label.size()));
  return static_cast<float>(std::strtod(rest.c_str(), nullptr));
}

// The library's rounding is the report's: over thresholds of every size a
// run gives, the values it returns are those the report's lines show.
TEST(ThresholdLines, LibraryRoundingIsTheReportLinesRounding) {
  static constexpr std::array<std::string_view, kTestCount> kLabels = {
      "Hxxy Threshold = ", "Hyyx Threshold = ", "Hxxx Threshold = ", "Hyyy Threshold = ",
      "Cx Threshold = ",   "Cy Threshold = ",   "Cxy Threshold = "};
  const float values[] = {1.0f,      0.99995f, 0.95f,      0.5f,      0.123456f, 0.1f,
                          0.099996f, 0.05f,    0.0499995f, 0.024052f, 0.01f,     0.0012345f,
                          0.00049f,  0.0001f,  0.0000123f, 0.0f};
  for (float v : values) {
    const std::array<float, kTestCount> t = {v, v, v, v, v, v, v};
    Channel block;
    block.capture();
    write_bootstrap_block(block, 1, t);
    const std::array<float, kTestCount> got = reported_thresholds(t, true);
    for (std::size_t i = 0; i < kTestCount; ++i)
      EXPECT_EQ(got[i], value_after(block.text(), kLabels[i])) << v << " " << kLabels[i];
    Channel line;
    line.capture();
    write_false_alarm_line(line, v);
    EXPECT_EQ(reported_thresholds(t, false)[0],
              value_after(line.text(), "False alarm threshold = "))
        << v;
  }
}

}  // namespace
}  // namespace vok
