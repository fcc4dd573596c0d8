// Nothing lost: when a later run stops the program, every file of the runs
// before it is complete, the stopping run's report holds every line written
// before the stop, and "Vok-error.out" holds the stop's messages; all of it is
// on disk when the program has ended. Checked in-process and, when the vok
// executable was built beside this test, in a process of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e/e2e_files.h"
#include "e2e/run_in_dir.h"

namespace vok {
namespace {

using e2e::files_in;
using e2e::mask_times;
using e2e::ProgramResult;
using e2e::run_file;
using e2e::RunDir;
using e2e::RunSettingsText;
using e2e::top_file;
using e2e::TopSettings;

constexpr int kRows = 120;

// Deterministic rows in (2f12.5); with `flat_x` rows 41 to 80 (the second
// frame of 40) hold x = +-1 and y = 2x, collinear columns whose VAR fit
// cannot be done.
std::string data_file(bool flat_x) {
  std::string s = "Series\nrows=120 columns=2 interval=1.0 format=(2f12.5)\n";
  unsigned state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return static_cast<double>((state >> 8) & 0xffff) / 65536.0 - 0.5;
  };
  double x = 0.0;
  double y = 0.0;
  for (int i = 1; i <= kRows; ++i) {
    x = 0.4 * x + next();
    y = 0.3 * y + 0.5 * x * next() + next();
    char line[40];
    const bool singular = flat_x && i > 40 && i <= 80;
    const double sign = i % 3 == 0 ? -1.0 : 1.0;
    std::snprintf(line, sizeof line, "%12.5f%12.5f\n", singular ? sign : x,
                  singular ? 2.0 * sign : y);
    s += line;
  }
  return s;
}

TopSettings settings() {
  TopSettings t;
  t.frame_length = 40;
  t.var_lag = 1;
  return t;
}

struct Inputs {
  std::vector<std::string> runs;  // run control files, in run order
  std::map<std::string, std::string> files;
};

// Run "a" completes (with plot files); run "b" stops the program inside its
// frame engine, after its first frame; run "c" would complete but never runs.
Inputs three_runs() {
  RunSettingsText good;
  good.graphing = true;
  good.data = "good.dat";
  RunSettingsText stopping = good;
  stopping.data = "flat.dat";
  Inputs l;
  l.runs = {"a.cnl", "b.cnl", "c.cnl"};
  l.files = {{"Runvok.cnl", top_file(settings(), l.runs)},
             {"a.cnl", run_file(good)},
             {"b.cnl", run_file(stopping)},
             {"c.cnl", run_file(good)},
             {"good.dat", data_file(false)},
             {"flat.dat", data_file(true)}};
  return l;
}

// Run "a" alone: the files it must leave, complete.
std::map<std::string, std::string> first_run_alone() {
  RunDir dir;
  Inputs l = three_runs();
  l.files["Runvok.cnl"] = top_file(settings(), {"a.cnl"});
  for (const auto& [name, content] : l.files) dir.write(name, content);
  const ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 0);
  std::map<std::string, std::string> texts;
  for (const std::string name : {"a_1-_2.out", "a_1-_2.graph", "a-frames.out", "a-xy.graph"})
    texts[name] = mask_times(dir.read(name));
  return texts;
}

const std::string kSetvar = " Error in subroutine Setvar  1\n";

void expect_nothing_lost(const RunDir& dir, const std::map<std::string, std::string>& alone) {
  // Run "a": every file as complete as when it ran alone.
  for (const auto& [name, text] : alone) EXPECT_EQ(mask_times(dir.read(name)), text) << name;
  // Run "b": its report up to the stop, in whole lines; its plot files exist.
  const std::string report = dir.read("b_1-_2.out");
  EXPECT_NE(report.find("Statistics of x Residuals - Frame      1"), std::string::npos);
  EXPECT_EQ(report.find("Statistics of x Residuals - Frame      2"), std::string::npos);
  EXPECT_TRUE(report.ends_with("\n"));
  EXPECT_EQ(report.find(" Elapsed time = "), std::string::npos);
  for (const std::string name : {"b_1-_2.graph", "b-frames.out", "b-xy.graph"})
    EXPECT_TRUE(dir.exists(name)) << name;
  // Run "c" never started.
  EXPECT_FALSE(dir.exists("c_1-_2.out"));
  EXPECT_EQ(dir.read("Vok-error.out"), kSetvar);
}

TEST(NothingLost, InProcess) {
  const auto alone = first_run_alone();
  RunDir dir;
  for (const auto& [name, content] : three_runs().files) dir.write(name, content);
  const ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.console.find(kSetvar), std::string::npos);
  expect_nothing_lost(dir, alone);
}

// The same as a process of its own, whose standard output is a file: what
// the files hold once the process has exited is what it wrote.
TEST(NothingLost, InItsOwnProcess) {
  const std::filesystem::path vok = e2e::program_beside_tests();
  if (vok.empty()) GTEST_SKIP() << "vok is not built beside the tests";
  const auto alone = first_run_alone();
  for (const char* threads : {"1", "2"}) {
    SCOPED_TRACE(threads);
    RunDir dir;
    for (const auto& [name, content] : three_runs().files) dir.write(name, content);
    const std::string command = "cd '" + dir.path().string() + "' && '" + vok.string() +
                                "' --threads " + threads + " > console.txt 2> stderr.txt";
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_NE(dir.read("console.txt").find(kSetvar), std::string::npos);
    EXPECT_EQ(dir.read("stderr.txt"), "");
    expect_nothing_lost(dir, alone);
  }
}

}  // namespace
}  // namespace vok
