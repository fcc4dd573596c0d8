// The summary line a person at a terminal sees after each completed run, and
// only there: a console written to a pseudo-terminal gets it, a console
// redirected to a file or captured in memory stays exactly as before.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "e2e/e2e_files.h"
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
  const TopSettings top{.exponent = "0.3", .lw = 40, .p = 1};
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
    channels().console.attach(pty.terminal());
    status = run_program();
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
