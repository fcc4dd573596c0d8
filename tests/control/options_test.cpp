#include "control/options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "e2e/run_in_dir.h"
#include "frames/covxy.h"
#include "output/channel.h"
#include "exec/parallel.h"

namespace vok {
namespace {

using Action = Options::Action;

TEST(Options, CommandLines) {
  struct Case {
    std::vector<std::string_view> args;
    Action action;
    int threads;
    bool reference_kernel;
    std::string_view error;  // for refusals
    std::string_view directory = "";
  };
  const Case cases[] = {
      {{}, Action::run, 0, false, ""},
      {{"--threads", "2"}, Action::run, 2, false, ""},
      {{"--threads=16"}, Action::run, 16, false, ""},
      {{"--threads", "1", "--threads", "3"}, Action::run, 3, false, ""},
      {{"--threads", "1024"}, Action::run, 1024, false, ""},
      {{"--reference-kernel"}, Action::run, 0, true, ""},
      {{"--reference-kernel", "--threads=1"}, Action::run, 1, true, ""},
      {{"--help"}, Action::help, 0, false, ""},
      {{"-h"}, Action::help, 0, false, ""},
      {{"--version"}, Action::version, 0, false, ""},
      // Help wins over anything after it, as the first thing asked for.
      {{"--help", "--bogus"}, Action::help, 0, false, ""},
      {{"--threads"}, Action::refuse, 0, false, "option --threads needs a number of threads"},
      {{"--threads", "0"},
       Action::refuse,
       0,
       false,
       "--threads 0: the number of threads must be 1 to 1024"},
      {{"--threads", "1025"},
       Action::refuse,
       0,
       false,
       "--threads 1025: the number of threads must be 1 to 1024"},
      {{"--threads=-2"},
       Action::refuse,
       0,
       false,
       "--threads -2: the number of threads must be 1 to 1024"},
      {{"--threads=2x"},
       Action::refuse,
       0,
       false,
       "--threads 2x: the number of threads must be 1 to 1024"},
      {{"--threads="},
       Action::refuse,
       0,
       false,
       "--threads : the number of threads must be 1 to 1024"},
      {{"--threads", " 2"},
       Action::refuse,
       0,
       false,
       "--threads  2: the number of threads must be 1 to 1024"},
      {{"-C", "runs"}, Action::run, 0, false, "", "runs"},
      {{"--directory=runs", "--threads", "2"}, Action::run, 2, false, "", "runs"},
      {{"--directory", "/data/runs"}, Action::run, 0, false, "", "/data/runs"},
      // As cd twice: a relative directory is inside the one before, an
      // absolute one replaces it.
      {{"-C", "runs", "-C", "r1"}, Action::run, 0, false, "", "runs/r1"},
      {{"-C", "runs", "-C", "/tmp/r1"}, Action::run, 0, false, "", "/tmp/r1"},
      {{"-C", "--threads"}, Action::run, 0, false, "", "--threads"},
      {{"-C"}, Action::refuse, 0, false, "option -C needs a directory"},
      {{"-C", ""}, Action::refuse, 0, false, "option -C needs a directory"},
      {{"--directory="}, Action::refuse, 0, false, "option --directory needs a directory"},
      {{"-Cruns"}, Action::refuse, 0, false, "unknown option -Cruns"},
      {{"--thread=2"}, Action::refuse, 0, false, "unknown option --thread=2"},
      {{"-j2"}, Action::refuse, 0, false, "unknown option -j2"},
      {{"Runvok.cnl"},
       Action::refuse,
       0,
       false,
       "unexpected argument Runvok.cnl (the runs are named in Runvok.cnl)"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (std::string_view a : c.args) line += std::string(a) + " ";
    SCOPED_TRACE(line);
    const Options o = parse_options(c.args);
    EXPECT_EQ(o.action, c.action);
    EXPECT_EQ(o.error, c.error);
    if (c.action == Action::run) {
      EXPECT_EQ(o.threads, c.threads);
      EXPECT_EQ(o.reference_kernel, c.reference_kernel);
      EXPECT_EQ(o.directory, c.directory);
    }
  }
}

TEST(Options, Seeds) {
  struct Case {
    std::vector<std::string_view> args;
    std::uint64_t seed;
    std::string_view error;  // for refusals
  };
  const Case cases[] = {
      {{}, 0, ""},
      {{"--seed", "17"}, 17, ""},
      {{"--seed=18446744073709551615"}, 18446744073709551615ull, ""},
      {{"--threads", "2", "--seed", "5"}, 5, ""},
      {{"--seed"}, 0, "option --seed needs a number"},
      {{"--seed", "18446744073709551616"},
       0,
       "--seed 18446744073709551616: the seed must be a whole number from 0 to "
       "18446744073709551615"},
      {{"--seed=-1"},
       0,
       "--seed -1: the seed must be a whole number from 0 to 18446744073709551615"},
      {{"--seed", "0x10"},
       0,
       "--seed 0x10: the seed must be a whole number from 0 to 18446744073709551615"},
      {{"--seeds=3"}, 0, "unknown option --seeds=3"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (std::string_view a : c.args) line += std::string(a) + " ";
    SCOPED_TRACE(line);
    const Options o = parse_options(c.args);
    EXPECT_EQ(o.error, c.error);
    if (c.error.empty()) {
      EXPECT_EQ(o.seed, c.seed);
    }
  }
}

class CommandLine : public ::testing::Test {
 protected:
  void TearDown() override {
  }
  int run(std::vector<std::string_view> args) { return run_command_line(cap.all(), args); }
  CapturedChannels cap;
};

TEST_F(CommandLine, HelpAndVersionGoToTheConsole) {
  EXPECT_EQ(run({"--help"}), 0);
  EXPECT_EQ(cap.console(), usage_text());
  EXPECT_NE(usage_text().find("--threads N"), std::string::npos);
  EXPECT_NE(usage_text().find("-C DIR"), std::string::npos);
  EXPECT_EQ(usage_text().find("reference"), std::string::npos);  // hidden
  EXPECT_EQ(cap.standard_error(), "");

  cap.all().console.clear_text();
  EXPECT_EQ(run({"--version"}), 0);
  EXPECT_EQ(cap.console(), "vok 1.0.0\n");
}

TEST_F(CommandLine, AnOptionNotUnderstoodIsRefusedWithStatus64) {
  EXPECT_EQ(run({"--fast"}), 64);
  EXPECT_EQ(cap.standard_error(),
            "vok: unknown option --fast\n"
            "Try 'vok --help' for the options.\n");
  EXPECT_EQ(cap.console(), "");
}

TEST(Options, BootstrapAndTrend) {
  struct Case {
    std::vector<std::string_view> args;
    Bootstrap bootstrap;
    Trend trend;
    std::string_view error;  // for refusals
  };
  const Case cases[] = {
      {{}, Bootstrap::data, Trend::n, ""},
      {{"--bootstrap", "frames"}, Bootstrap::frames, Trend::n, ""},
      {{"--bootstrap=frames", "--bootstrap", "data"}, Bootstrap::data, Trend::n, ""},
      {{"--seed", "3", "--bootstrap=frames"}, Bootstrap::frames, Trend::n, ""},
      {{"--bootstrap"}, Bootstrap::data, Trend::n, "option --bootstrap needs data or frames"},
      {{"--bootstrap", "Frames"}, Bootstrap::data, Trend::n,
       "--bootstrap Frames: must be data or frames"},
      {{"--bootstrap="}, Bootstrap::data, Trend::n, "--bootstrap : must be data or frames"},
      {{"--trend", "c"}, Bootstrap::data, Trend::c, ""},
      {{"--trend=c", "--bootstrap", "frames"}, Bootstrap::frames, Trend::c, ""},
      {{"--trend", "c", "--trend=n"}, Bootstrap::data, Trend::n, ""},
      {{"--trend"}, Bootstrap::data, Trend::n, "option --trend needs n or c"},
      {{"--trend", "ct"}, Bootstrap::data, Trend::n, "--trend ct: must be n or c"},
      {{"--trend="}, Bootstrap::data, Trend::n, "--trend : must be n or c"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (std::string_view a : c.args) line += std::string(a) + " ";
    SCOPED_TRACE(line);
    const Options o = parse_options(c.args);
    EXPECT_EQ(o.error, c.error);
    if (c.error.empty()) {
      EXPECT_EQ(o.bootstrap, c.bootstrap);
      EXPECT_EQ(o.trend, c.trend);
    }
  }
  EXPECT_NE(usage_text().find("--bootstrap frames"), std::string::npos);
  EXPECT_NE(usage_text().find("--trend c"), std::string::npos);
}

// The execution gets the thread count, seed and bootstrap the command line
// sets, and keeps what it does not (here, how the rows are read); no thread
// count leaves the choice to the execution (every core).
TEST(Options, ReachTheExecution) {
  ExecutionOptions base;
  base.row_batching.bytes = 7;
  const ExecutionOptions set = execution_options(
      parse_options(std::vector<std::string_view>{"--threads", "3", "--seed", "11", "--bootstrap",
                                                  "frames", "--trend", "c"}),
      base);
  EXPECT_EQ(set.threads, 3);
  EXPECT_EQ(set.seed, 11u);
  EXPECT_EQ(set.bootstrap, Bootstrap::frames);
  EXPECT_EQ(set.trend, Trend::c);
  EXPECT_EQ(set.row_batching.bytes, 7u);

  const ExecutionOptions unset = execution_options(parse_options({}), base);
  EXPECT_EQ(unset.threads, 0);
  EXPECT_EQ(unset.seed, 0u);
  EXPECT_EQ(unset.bootstrap, Bootstrap::data);
  EXPECT_EQ(unset.trend, Trend::n);
}

TEST(Options, SyncIsAskedFor) {
  EXPECT_FALSE(parse_options(std::vector<std::string_view>{}).sync);
  EXPECT_TRUE(parse_options(std::vector<std::string_view>{"--threads", "2", "--sync"}).sync);
}

TEST_F(CommandLine, SettingsReachTheProgramBeforeItRuns) {
  // An empty directory: the execution stops for want of Runvok.cnl, after the
  // settings took hold.
  e2e::RunDir dir;
  e2e::ScopedWorkingDirectory here(dir.path());
  EXPECT_EQ(run({"--threads", "3", "--reference-kernel", "--sync"}), 1);
  EXPECT_TRUE(cap.all().sync_outputs);
  EXPECT_TRUE(dir.exists("Vok-error.out"));

  EXPECT_EQ(run({}), 1);
  EXPECT_FALSE(cap.all().sync_outputs);
}

TEST_F(CommandLine, ADirectoryThatCannotBeEnteredStopsWithNothingWritten) {
  e2e::RunDir dir;
  dir.write("a-file", "not a directory\n");
  e2e::ScopedWorkingDirectory here(dir.path());
  struct Case {
    std::vector<std::string_view> args;
    std::string_view message;
  };
  const Case cases[] = {
      {{"-C", "missing"}, "vok: cannot change to directory missing: No such file or directory\n"},
      {{"--directory=a-file"}, "vok: cannot change to directory a-file: Not a directory\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    cap.all().standard_error.clear_text();
    EXPECT_EQ(run(c.args), 1);
    EXPECT_EQ(cap.standard_error(), c.message);
    EXPECT_EQ(cap.console(), "");
    EXPECT_EQ(std::filesystem::current_path(), dir.path());
    EXPECT_FALSE(dir.exists("Vok-error.out"));
  }
}

}  // namespace
}  // namespace vok
