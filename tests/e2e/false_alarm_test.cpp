// On independent Gaussian noise every frame is free of serial and cross
// dependence, so each test should flag about the false-alarm level alpha of
// the frames, with the nominal threshold and with bootstrap thresholds.
//
// noise.dat: 2 columns x 20000 rows from tests/e2e/fixtures/make_noise.py.
// Frames of 200 with VAR(1) prewhitening: 100 frames, so a single test's
// fraction has a binomial spread of about 0.022 around alpha = 0.05; the
// bounds below are loose (about three spreads), and the mean over the seven
// tests must lie near alpha.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <regex>
#include <string>

#include "e2e/e2e_files.h"
#include "e2e/run_in_dir.h"

namespace vok {
namespace {

using e2e::RunDir;

constexpr const char* kLabels[] = {"xxy", "yyx", "xxx", "yyy", "xx", "yy", "xy"};

// The seven counts of the report's counts block, in its order.
std::array<int, 7> significance_counts(const std::string& report) {
  std::array<int, 7> counts{};
  for (int i = 0; i < 7; ++i) {
    const std::regex line(std::string(R"(\n  ( *\d+)  \(.{5}%\) significant )") + kLabels[i] +
                          " frames\n");
    std::smatch m;
    if (!std::regex_search(report, m, line)) {
      ADD_FAILURE() << "no count line for " << kLabels[i];
      continue;
    }
    counts[static_cast<std::size_t>(i)] = std::stoi(m[1].str());
  }
  return counts;
}

void expect_near_false_alarm_level(int resamples) {
  e2e::TopSettings top;
  top.frame_length = 200;
  top.var_lag = 1;
  top.resamples = resamples;
  e2e::RunSettingsText run;
  run.data = "noise.dat";
  RunDir dir;
  dir.write("Runvok.cnl", e2e::top_file(top, {"noise.cnl"}));
  dir.write("noise.cnl", e2e::run_file(run));
  dir.write("noise.dat", e2e::fixture("noise.dat"));
  ASSERT_EQ(dir.run().status, 0);
  const std::string report = dir.read("noise_1-_2.out");
  ASSERT_NE(report.find("No. of frames =     100"), std::string::npos);
  const std::array<int, 7> counts = significance_counts(report);

  constexpr double kFrames = 100.0;
  double total = 0.0;
  std::string measured;
  for (int i = 0; i < 7; ++i) {
    const double fraction = counts[static_cast<std::size_t>(i)] / kFrames;
    total += fraction;
    EXPECT_LE(fraction, 0.12) << kLabels[i];
    char item[32];
    std::snprintf(item, sizeof item, "%s %.2f ", kLabels[i], fraction);
    measured += item;
  }
  const double mean = total / 7.0;
  EXPECT_GE(mean, 0.02);
  EXPECT_LE(mean, 0.08);
  char summary[32];
  std::snprintf(summary, sizeof summary, "mean %.3f", mean);
  measured += summary;
  ::testing::Test::RecordProperty("significant_fractions", measured);
  std::printf("resamples %d: %s\n", resamples, measured.c_str());
}

TEST(FalseAlarm, NominalThresholdOnIndependentNoise) {
  expect_near_false_alarm_level(0);
}

TEST(FalseAlarm, BootstrapThresholdsOnIndependentNoise) {
  expect_near_false_alarm_level(200);
}

}  // namespace
}  // namespace vok
