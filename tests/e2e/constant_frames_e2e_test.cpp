// Frames whose x or y holds one value (a stuck sensor, a holiday filled
// forward), a run in which every frame does, and the VAR fit with a
// constant (--trend c), as whole executions against their goldens.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "e2e/e2e_files.h"
#include "e2e/run_in_dir.h"

namespace vok {
namespace {

using e2e::check_goldens;
using e2e::GoldenExecution;
using e2e::run_file;
using e2e::RunDir;
using e2e::RunSettingsText;
using e2e::top_file;
using e2e::TopSettings;

// 240 rows of four columns: 1 and 2 vary; 3 varies but for rows 25-48
// (stuck at 0) and 49-72 (stuck at 1.5, as a series filled forward); 4 is
// 2.25 throughout. Frames of 24: frames 2 and 3 of column 3 are constant.
std::string stuck_data() {
  std::string s = "Stuck columns\nrows=240 columns=4 interval=1.0 format=(4f12.5)\n";
  for (int i = 1; i <= 240; ++i) {
    const double a = std::sin(0.7 * i) + 0.3 * std::sin(2.3 * i);
    const double b = std::cos(1.1 * i) + 0.2 * std::sin(0.4 * i * i);
    const double c = i >= 25 && i <= 48 ? 0.0 : i >= 49 && i <= 72 ? 1.5 : std::sin(1.9 * i * i);
    char line[64];
    std::snprintf(line, sizeof line, "%12.5f%12.5f%12.5f%12.5f", a, b, c, 2.25);
    s += std::string(line) + "\n";
  }
  return s;
}

TopSettings stuck_top() {
  TopSettings top;
  top.frame_length = 24;
  top.var_lag = 1;
  top.resamples = 20;
  return top;
}

RunSettingsText stuck_run(int x, int y) {
  RunSettingsText run;
  run.x = x;
  run.y = y;
  run.graphing = true;
  run.data = "stuck.dat";
  return run;
}

// Run "stuck" (x from column 3): its frames 2 and 3 get no VAR fit, their
// residual statistics show the constant column, their tests are 0, their
// graph and xy records are 0 and they have no frames-file entry; the others
// are fitted and bootstrapped as usual. Run "flat" (x from column 4, constant
// throughout): nothing to test, no bootstrap, the nominal threshold line.
GoldenExecution constant_frames() {
  GoldenExecution e{"constant_frames",
                    top_file(stuck_top(), {"stuck.cnl", "flat.cnl"}),
                    {{"stuck.cnl", run_file(stuck_run(3, 2))},
                     {"flat.cnl", run_file(stuck_run(4, 1))},
                     {"stuck.dat", stuck_data()}},
                    0,
                    {}};
  for (const std::string name : {"stuck_3-_2", "flat_4-_1"}) {
    const std::string base = name.substr(0, name.find('_'));
    for (const std::string& file :
         {name + ".out", name + ".graph", name + ".csv", base + "-frames.out", base + "-xy.graph"})
      e.outputs.push_back(file);
  }
  return e;
}

TEST(ConstantFrames, Golden) {
  check_goldens(constant_frames());
}

TEST(ConstantFrames, SameOnOneAndTwoThreads) {
  for (int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    check_goldens(constant_frames(), e2e::HowRun{threads, {}});
  }
}

// A run with nothing to test draws nothing from the random stream: the run
// after it gets the thresholds it gets when the flat run is not there.
TEST(ConstantFrames, FlatRunLeavesTheRandomStreamAlone) {
  const auto report_of_last = [](const std::vector<std::string>& names) {
    RunDir dir;
    dir.write("Runvok.cnl", top_file(stuck_top(), names));
    dir.write("stuck.dat", stuck_data());
    dir.write("first.cnl", run_file(stuck_run(1, 2)));
    dir.write("flat.cnl", run_file(stuck_run(4, 1)));
    dir.write("last.cnl", run_file(stuck_run(2, 1)));
    EXPECT_EQ(dir.run().status, 0);
    return e2e::mask_times(dir.read("last_2-_1.out"));
  };
  const std::string without = report_of_last({"first.cnl", "last.cnl"});
  EXPECT_NE(without.find("Bootstrapped"), std::string::npos) << without;
  EXPECT_EQ(report_of_last({"first.cnl", "flat.cnl", "last.cnl"}), without);
}

// The console's fit with a constant: every line of a run without it but the
// VAR blocks' figures and their constants' line. The time run of the
// goldens, with --trend c.
TEST(TrendConstant, Golden) {
  const TopSettings top{.exponent = "0.3", .frame_length = 40, .var_lag = 1};
  const RunSettingsText run{
      .x = 1, .y = 3, .graphing = true, .unit = "minutes", .switches = "", .data = "bilinear.dat"};
  const GoldenExecution e{
      "trend_c",
      top_file(top, {"runT.cnl"}),
      {{"runT.cnl", run_file(run)}, {"bilinear.dat", e2e::fixture("bilinear.dat")}},
      0,
      {"runT_1-_3.out", "runT_1-_3.graph", "runT-frames.out", "runT-xy.graph", "runT_1-_3.csv"}};
  ExecutionOptions options;
  options.trend = Trend::c;
  for (int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    check_goldens(e, e2e::HowRun{threads, options});
  }
}

}  // namespace
}  // namespace vok
