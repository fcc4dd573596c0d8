// The same execution on 1, 2 or 3 threads, with either lag-sum kernel and
// with the rows read in blocks of any size (small blocks: frames computed
// while the rows are read) writes the same files, line for line (closing
// stamps masked), on the shipped example and on random data, and stops at
// the same frame with the same messages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "control/options.h"
#include "e2e/e2e_files.h"
#include "frames/covxy.h"
#include "output/failure.h"
#include "output/free_format.h"
#include "output/layout.h"
#include "exec/parallel.h"

namespace vok::e2e {
namespace {

// Everything an execution leaves: its status, console, standard error and
// every file in its directory (stamps masked).
struct Execution {
  int status = -1;
  std::map<std::string, std::string> texts;
};

using Inputs = std::vector<std::pair<std::string, std::string>>;

// Where the program starts: in the run directory, or in an empty directory
// beside it with -C naming the run directory by its absolute path or
// relative to where it starts.
enum class Start { inside, elsewhere_absolute, elsewhere_relative };

Execution execute(const Inputs& inputs, std::vector<std::string_view> args,
                  Start start = Start::inside, const RowBatching& batching = {}) {
  RunDir dir;
  dir.make_directory("run");
  dir.make_directory("elsewhere");
  const std::filesystem::path run = dir.path() / "run";
  const std::filesystem::path elsewhere = dir.path() / "elsewhere";
  for (const auto& [name, content] : inputs) dir.write("run/" + name, content);
  const std::string absolute = run.string();
  if (start == Start::elsewhere_absolute) args.insert(args.begin(), {"-C", absolute});
  if (start == Start::elsewhere_relative) args.insert(args.begin(), {"-C", "../run"});
  Execution e;
  {
    ScopedWorkingDirectory here(start == Start::inside ? run : elsewhere);
    CapturedChannels captured;
    e.status = run_command_line(captured.all(), args, rows_in_blocks(batching));
    e.texts["<console>"] = mask_times(captured.console());
    e.texts["<standard error>"] = mask_times(captured.standard_error());
  }
  for (const std::string& name : files_in(run)) e.texts[name] = mask_times(dir.read("run/" + name));
  // Nothing may be left where the program started.
  for (const std::string& name : files_in(elsewhere)) e.texts["<where started>/" + name] = "";
  return e;
}

void expect_same_texts(const Execution& other, const Execution& first) {
  EXPECT_EQ(other.status, first.status);
  ASSERT_EQ(other.texts.size(), first.texts.size());
  for (const auto& [name, text] : first.texts) {
    SCOPED_TRACE(name);
    ASSERT_EQ(other.texts.count(name), 1u);
    EXPECT_TRUE(same_lines(other.texts.at(name), text));
  }
}

void expect_same_output_for_any_threads_and_kernel(const Inputs& inputs) {
  const Execution first = execute(inputs, {"--threads", "1"});
  // The inputs, the error file and at least one report.
  ASSERT_GE(first.texts.size(), inputs.size() + 3);
  // Rows read in blocks of a few rows (or of one row each: blocks of a
  // byte), so that frames are computed while the rows are still being read.
  const RowBatching few_rows{.bytes = 200, .slice_bytes = 50};
  const RowBatching one_row{.bytes = 1, .slice_bytes = 1};
  struct Variant {
    std::vector<std::string_view> args;
    RowBatching batching;
    const char* blocks;
  };
  const std::vector<Variant> variants = {
      {{}, {}, ""},
      {{"--threads", "2"}, {}, ""},
      {{"--threads=3"}, {}, ""},
      {{"--reference-kernel", "--threads", "1"}, {}, ""},
      {{"--reference-kernel", "--threads", "2"}, {}, ""},
      {{"--threads", "1"}, few_rows, " (blocks of a few rows)"},
      {{"--threads", "2"}, few_rows, " (blocks of a few rows)"},
      {{"--threads", "2"}, one_row, " (blocks of a row)"},
  };
  for (const Variant& v : variants) {
    std::string line;
    for (std::string_view a : v.args) line += std::string(a) + " ";
    SCOPED_TRACE("vok " + line + v.blocks);
    expect_same_texts(execute(inputs, v.args, Start::inside, v.batching), first);
  }
}

std::string source_file(const std::string& relative) {
  std::ifstream in(std::filesystem::path(VOK_SOURCE_DIR) / relative, std::ios::binary);
  EXPECT_TRUE(in) << relative;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Inputs shipped_example() {
  Inputs inputs;
  for (const char* name : {"Runvok.cnl", "runA.cnl", "runB.cnl", "example.dat"})
    inputs.emplace_back(name, source_file(std::string("examples/") + name));
  return inputs;
}

TEST(SameOutput, ShippedExample) {
  const Inputs inputs = shipped_example();
  expect_same_output_for_any_threads_and_kernel(inputs);
}

// `vok -C DIR` started elsewhere writes in DIR what `vok` started in DIR
// writes, and nothing where it started.
TEST(SameOutput, ShippedExampleRunFromAnotherDirectory) {
  const Inputs inputs = shipped_example();
  const Execution inside = execute(inputs, {"--threads", "2"});
  ASSERT_GE(inside.texts.size(), inputs.size() + 3);
  for (Start start : {Start::elsewhere_absolute, Start::elsewhere_relative}) {
    SCOPED_TRACE(start == Start::elsewhere_absolute ? "absolute" : "relative");
    expect_same_texts(execute(inputs, {"--threads", "2"}, start), inside);
  }
}

// Stamped rows of three columns: a skewed AR(1) x, a y with a bilinear term
// in past x (so frames light up and the frames file fills), and a z on a
// coarse grid with many ties.
std::string random_data(int rows, unsigned seed) {
  std::mt19937 gen(seed);
  std::normal_distribution<double> normal(0.0, 1.0);
  std::string s = "Random series for the thread and kernel comparison\n";
  s += "rows=" + std::to_string(rows) + " columns=3 interval=1.0 format=(a19,1x,3f12.5)\n";
  double x1 = 0.0, x2 = 0.0, y1 = 0.0;
  char line[96];
  for (int t = 0; t < rows; ++t) {
    const double e = normal(gen);
    const double x = 0.4 * x1 + e * std::abs(e) * 0.7;
    const double y = 0.2 * y1 + (t % 600 < 300 ? 0.9 * x1 * x2 : 0.0) + normal(gen);
    const double z = std::round(2.0 * normal(gen)) * 0.5;
    std::snprintf(line, sizeof line, "2001-02-%02d %02d:%02d:%02d %12.5f%12.5f%12.5f\n",
                  1 + t / 86400, t / 3600 % 24, t / 60 % 60, t % 60, x, y, z);
    s += line;
    x2 = x1;
    x1 = x;
    y1 = y;
  }
  return s;
}

TEST(SameOutput, RandomDataWithBootstrapVarFitsAndClipping) {
  TopSettings top;
  top.exponent = "0.5";
  top.frame_length = 100;
  top.var_lag = 2;
  top.resamples = 40;
  RunSettingsText r1, r2, r3;
  r1.graphing = true;
  r1.data = r2.data = r3.data = "random.dat";
  r2.x = 3;
  r2.y = 1;
  r2.graphing = true;
  r2.switches = "clip data";
  r3.x = 2;
  r3.y = 3;
  r3.start = 101;
  r3.end = 1150;
  expect_same_output_for_any_threads_and_kernel({
      {"Runvok.cnl", top_file(top, {"r1.cnl", "r2.cnl", "r3.cnl"})},
      {"r1.cnl", run_file(r1)},
      {"r2.cnl", run_file(r2)},
      {"r3.cnl", run_file(r3)},
      {"random.dat", random_data(1200, 2024)},
  });
}

TEST(SameOutput, RandomDataWithOverlappingFramesAndNoPrewhitening) {
  TopSettings top;
  top.exponent = "0.45";
  top.frame_length = 64;
  top.overlap = 24;
  top.var_lag = 0;
  top.resamples = 25;
  RunSettingsText r;
  r.graphing = true;
  r.data = "random.dat";
  expect_same_output_for_any_threads_and_kernel({
      {"Runvok.cnl", top_file(top, {"r.cnl"})},
      {"r.cnl", run_file(r)},
      {"random.dat", random_data(700, 7)},
  });
}

// x is +-1 and y = 2x all through frames 3 and 5 (rows 201-300 and
// 401-500): collinear columns, whose VAR fits fail. Frames computed ahead of frame 3 may fail too, but the program
// stops at frame 3 with its messages alone, after the text of frames 1 and 2
// (their rows of the table included).
TEST(SameOutput, StopAtTheFirstFrameWhoseFitFails) {
  std::string data = random_data(1000, 31);
  // Row t begins after the two header lines; x is columns 21-32, y 33-44.
  std::size_t line = 0;
  for (int skip = 0; skip < 2; ++skip) line = data.find('\n', line) + 1;
  for (int row = 1; row <= 1000; ++row) {
    if ((row >= 201 && row <= 300) || (row >= 401 && row <= 500))
      data.replace(line + 20, 24, row % 3 ? "     1.00000     2.00000" : "    -1.00000    -2.00000");
    line = data.find('\n', line) + 1;
  }
  TopSettings top;
  top.exponent = "0.4";
  top.frame_length = 100;
  top.var_lag = 1;
  RunSettingsText r;
  r.graphing = true;
  r.data = "random.dat";
  const Inputs inputs = {
      {"Runvok.cnl", top_file(top, {"r.cnl"})},
      {"r.cnl", run_file(r)},
      {"random.dat", data},
  };
  expect_same_output_for_any_threads_and_kernel(inputs);

  const Execution e = execute(inputs, {"--threads", "2"});
  EXPECT_EQ(e.status, kExitStopped);
  const std::string setvar = free_format({"Error in subroutine Setvar ", 1}) + "\n";
  EXPECT_EQ(e.texts.at("Vok-error.out"), setvar);
  const std::string& console = e.texts.at("<console>");
  ASSERT_NE(console.find(setvar), std::string::npos);
  EXPECT_EQ(console.find(setvar), console.rfind(setvar));
  const std::string& report = e.texts.at("r_1-_2.out");
  EXPECT_NE(report.find("Statistics of x Residuals - Frame      2"), std::string::npos);
  EXPECT_EQ(report.find("Statistics of x Residuals - Frame      3"), std::string::npos);
  EXPECT_EQ(report.find("DCHOLDC failed"), report.rfind("DCHOLDC failed"));
  // The table holds the frames before the stop.
  const std::vector<std::string> table = lines_of(e.texts.at("r_1-_2.csv"));
  ASSERT_EQ(table.size(), 3u);
  EXPECT_TRUE(table[0].starts_with("frame,first_row,last_row,")) << table[0];
  EXPECT_TRUE(table[1].starts_with("1,1,100,"));
  EXPECT_TRUE(table[2].starts_with("2,101,200,"));
}

}  // namespace
}  // namespace vok::e2e
