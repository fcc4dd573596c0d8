// The summary line a person at a terminal sees after each completed run, and
// only there: a console written to a pseudo-terminal gets it, a console
// redirected to a file or captured in memory stays exactly as before.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "e2e/e2e_files.h"
#include "bootstrap/uniform.h"
#include "e2e/run_in_dir.h"

namespace vok {
namespace {

using e2e::fixture;
using e2e::golden;
using e2e::mask_times;
using e2e::RunDir;
using e2e::RunSettingsText;
using e2e::same_lines;
using e2e::top_file;
using e2e::TopSettings;

// Two runs on the same data: "runT.cnl" completes (the time_run execution of
// the goldens), "runX" has no extension and ends early, so it gets no line.
void write_two_runs(const RunDir& dir) {
  const TopSettings top{.exponent = "0.3", .frame_length = 40, .var_lag = 1};
  const RunSettingsText run{
      .x = 1, .y = 3, .graphing = true, .unit = "minutes", .switches = "", .data = "bilinear.dat"};
  dir.write("Runvok.cnl", top_file(top, {"runT.cnl", "runX"}));
  dir.write("runT.cnl", e2e::run_file(run));
  dir.write("runX", e2e::run_file(run));
  dir.write("bilinear.dat", fixture("bilinear.dat"));
}

// A pseudo-terminal in raw mode (no "\r" added to line ends): the console is
// attached to its terminal side, and what was written is read back from the
// other side.
class PseudoTerminal {
 public:
  PseudoTerminal() {
    int master = -1, slave = -1;
    if (::openpty(&master, &slave, nullptr, nullptr, nullptr) != 0) return;
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave, TCSANOW, &raw);
    master_ = master;
    terminal_ = ::fdopen(slave, "w");
  }
  ~PseudoTerminal() {
    if (terminal_ != nullptr) std::fclose(terminal_);
    if (master_ >= 0) ::close(master_);
  }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;

  std::FILE* terminal() const { return terminal_; }

  // Everything written so far.
  std::string read_all() const {
    std::fflush(terminal_);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(master_, buffer, sizeof buffer)) > 0;) text.append(buffer, n);
    return text;
  }

 private:
  int master_ = -1;
  std::FILE* terminal_ = nullptr;
};

TEST(TerminalLine, OnlyAStreamThatIsATerminalCounts) {
  PseudoTerminal pty;
  if (pty.terminal() == nullptr) GTEST_SKIP() << "no pseudo-terminal here (is /dev/pts mounted?)";
  Channel channel;
  channel.attach(pty.terminal());
  EXPECT_TRUE(channel.is_terminal());

  std::FILE* file = std::tmpfile();
  channel.attach(file);
  EXPECT_FALSE(channel.is_terminal());
  int pipe_ends[2];
  ASSERT_EQ(::pipe(pipe_ends), 0);
  std::FILE* pipe = ::fdopen(pipe_ends[1], "w");
  channel.attach(pipe);
  EXPECT_FALSE(channel.is_terminal());
  channel.capture();
  EXPECT_FALSE(channel.is_terminal());
  channel.close();
  std::fclose(pipe);
  ::close(pipe_ends[0]);
  std::fclose(file);
}

// The console of the two runs captured in memory, as the goldens see it.
std::string console_in_memory() {
  RunDir dir;
  write_two_runs(dir);
  return dir.run().console;
}

TEST(TerminalLine, EachCompletedRunNamesItsReportAndCounts) {
  RunDir dir;
  write_two_runs(dir);
  PseudoTerminal pty;
  if (pty.terminal() == nullptr) GTEST_SKIP() << "no pseudo-terminal here (is /dev/pts mounted?)";
  int status = -1;
  {
    e2e::ScopedWorkingDirectory here(dir.path());
    CapturedChannels captured;
    captured.all().console.attach(pty.terminal());
    status = run_program(captured.all());
  }
  EXPECT_EQ(status, 2);
  // The counts are those of the report's counts block.
  const std::string summary =
      "Report written: runT_1-_3.out; significant frames of 12 by test: "
      "Cx 1, Cy 0, Cxy 0, Hxxx 0, Hyyy 2, Hxxy 9, Hyyx 8\n";
  std::string expected = mask_times(console_in_memory());
  const std::string run_t_lines = golden("e2e/golden/time_run/console");
  ASSERT_TRUE(expected.starts_with(run_t_lines));
  expected.insert(run_t_lines.size(), summary);
  EXPECT_TRUE(same_lines(mask_times(pty.read_all()), expected));
}

// The lines a terminal shows after the summary line when the thresholds
// cannot be trusted, and only then.
std::string terminal_console(const RunDir& dir, const ExecutionOptions& options) {
  e2e::ScopedWorkingDirectory here(dir.path());
  PseudoTerminal pty;  // outlives the channels written to it
  CapturedChannels captured;
  if (pty.terminal() == nullptr) return "no terminal";
  captured.all().console.attach(pty.terminal());
  run_program(captured.all(), options);
  return pty.read_all();
}

// x: GARCH(1,1) (volatility clusters), y: independent values of constant
// variance; 5000 rows in frames of 250.
std::string garch_data() {
  std::string text = "GARCH x, calm y\nrows=5000 columns=2 interval=1.0 format=(2f12.5)\n";
  double h = 1.0, e = 0.0;
  std::uint64_t at = 0;
  auto normal = [&at] {
    const double u1 = (UniformStream::bits(at++) + 0.5) * 0x1p-24;
    const double u2 = UniformStream::at(at++);
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  };
  for (int t = -300; t < 5000; ++t) {
    h = 0.05 + 0.1 * e * e + 0.85 * h;
    e = std::sqrt(h) * normal();
    const double y = normal();
    char row[40];
    std::snprintf(row, sizeof row, "%12.5f%12.5f\n", e, y);
    if (t >= 0) text += row;
  }
  return text;
}

TEST(TerminalLine, ChangingVarianceWithoutClippingPointsToClipping) {
  RunDir dir;
  const TopSettings top{.frame_length = 250, .var_lag = 1};
  RunSettingsText run;
  run.data = "garch.dat";
  dir.write("Runvok.cnl", top_file(top, {"g.cnl"}));
  dir.write("g.cnl", e2e::run_file(run));
  dir.write("garch.dat", garch_data());
  const std::string seen = terminal_console(dir, {});
  if (seen == "no terminal") GTEST_SKIP() << "no pseudo-terminal here";
  const std::string line =
      "\nChanging variance: McLeod-Li significant in ";
  const auto at = seen.find(line);
  ASSERT_NE(at, std::string::npos) << seen;
  EXPECT_NE(seen.find("% of the frames of x; the bicorrelation tests fire on changing variance "
                      "alone: clip the series to tell (a line clip data in the run control "
                      "file)\n"),
            std::string::npos)
      << seen;
  EXPECT_EQ(seen.find("frames of y"), std::string::npos) << seen;
  EXPECT_LT(seen.find("Report written: g_1-_2.out"), at);

  // Clipped: no such line.
  run.switches = "clip data";
  dir.write("g.cnl", e2e::run_file(run));
  EXPECT_EQ(terminal_console(dir, {}).find("Changing variance"), std::string::npos);
  // Redirected, the console has none of it.
  EXPECT_EQ(dir.run().console.find("Changing variance"), std::string::npos);
}

// x: AR(1) with coefficient 0.8, y: independent values; 5000 rows.
std::string autocorrelated_data() {
  std::string text = "AR(1) x, calm y\nrows=5000 columns=2 interval=1.0 format=(2f12.5)\n";
  double x = 0.0;
  for (int t = -200; t < 5000; ++t) {
    const std::uint64_t at = static_cast<std::uint64_t>(t + 200) * 3;
    x = 0.8 * x + (UniformStream::at(at) - 0.5);
    char row[40];
    std::snprintf(row, sizeof row, "%12.5f%12.5f\n", x, UniformStream::at(at + 1) - 0.5);
    if (t >= 0) text += row;
  }
  return text;
}

// A caution of the library's own wording: one line after the run's, and in
// the results file.
TEST(TerminalLine, OtherCautionsInTheLibrarysWordsAndInTheResultsFile) {
  RunDir dir;
  const TopSettings top{.frame_length = 250};
  RunSettingsText run;
  run.data = "ar.dat";
  dir.write("Runvok.cnl", top_file(top, {"a.cnl"}));
  dir.write("a.cnl", e2e::run_file(run));
  dir.write("ar.dat", autocorrelated_data());
  ExecutionOptions results;
  results.results_file = true;
  const std::string seen = terminal_console(dir, results);
  if (seen == "no terminal") GTEST_SKIP() << "no pseudo-terminal here";
  const std::string line =
      "\nCaution: x is autocorrelated: Cx significant in 100.0% of 20 frames without a VAR fit "
      "(var_lag=0); linear autocorrelation makes the bicorrelation tests fire as nonlinear "
      "dependence does: prewhiten with a VAR fit (var_lag=1 or more) to tell the two apart\n";
  const auto at = seen.find(line);
  ASSERT_NE(at, std::string::npos) << seen;
  EXPECT_LT(seen.find("Report written: a_1-_2.out"), at);
  // Judged on the prewhitened series, the autocorrelation is no changing variance.
  EXPECT_EQ(seen.find("Changing variance"), std::string::npos) << seen;
  const std::string json = dir.read("a_1-_2.json");
  EXPECT_NE(json.find("\"cautions\":[{\"kind\":\"autocorrelation\",\"series\":\"x\""),
            std::string::npos)
      << json;
  // Redirected, the console has none of it.
  EXPECT_EQ(dir.run().console.find("Caution"), std::string::npos);
}

TEST(TerminalLine, ClippingWithTheDataBootstrapPointsToTheFramesBootstrap) {
  RunDir dir;
  const TopSettings top{.exponent = "0.3", .frame_length = 40, .var_lag = 1, .resamples = 20};
  const RunSettingsText run{.x = 1, .y = 3, .switches = "clip data", .data = "bilinear.dat"};
  dir.write("Runvok.cnl", top_file(top, {"c.cnl"}));
  dir.write("c.cnl", e2e::run_file(run));
  dir.write("bilinear.dat", fixture("bilinear.dat"));
  const std::string seen = terminal_console(dir, {});
  if (seen == "no terminal") GTEST_SKIP() << "no pseudo-terminal here";
  EXPECT_NE(seen.find("\nClipped series with a bootstrap of the unclipped data: its thresholds "
                      "belong to other statistics; run with --bootstrap frames\n"),
            std::string::npos)
      << seen;
  ExecutionOptions frames;
  frames.bootstrap = Bootstrap::frames;
  EXPECT_EQ(terminal_console(dir, frames).find("Clipped series"), std::string::npos);
}

// The program as a process of its own with its console redirected to a file:
// the console is the golden one, without the summary line.
TEST(TerminalLine, RedirectedConsoleIsUnchanged) {
  const std::filesystem::path vok = e2e::program_beside_tests();
  if (vok.empty()) GTEST_SKIP() << "vok is not built beside the tests";
  RunDir dir;
  write_two_runs(dir);
  const std::string command =
      "cd '" + dir.path().string() + "' && '" + vok.string() + "' > console.txt 2> stderr.txt";
  const int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 2);
  EXPECT_TRUE(same_lines(mask_times(dir.read("console.txt")), mask_times(console_in_memory())));
  EXPECT_EQ(dir.read("stderr.txt"), "");
}

}  // namespace
}  // namespace vok
