// What a run's outputs promise when things go wrong: each is whole or absent,
// never cut, never written through a planted link, never mixed with an
// earlier execution's files; an interruption leaves the earlier files as they
// were and no temporary file; one execution at a time per folder.
//
// The fault table runs the program as a process (signals, a second
// execution) or in process; a full or read-only file system is a small tmpfs,
// which needs root: without it those cases are skipped with a message.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "control/interruption.h"
#include "e2e/e2e_files.h"
#include "e2e/run_in_dir.h"

namespace vok {
namespace {

namespace fs = std::filesystem;
using e2e::ProgramResult;
using e2e::run_file;
using e2e::RunDir;
using e2e::RunSettingsText;
using e2e::top_file;
using e2e::TopSettings;

// Every file of a folder by name, with its bytes.
using Snapshot = std::map<std::string, std::string>;

Snapshot snapshot(const fs::path& dir) {
  Snapshot files;
  for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
    std::ifstream in(e.path(), std::ios::binary);
    files[e.path().filename().string()] =
        std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  return files;
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::vector<std::string> temporaries(const fs::path& dir) {
  std::vector<std::string> names;
  for (const fs::directory_entry& e : fs::directory_iterator(dir)) {
    const std::string name = e.path().filename().string();
    if (name.find(".vok-") != std::string::npos && name.ends_with(".tmp")) names.push_back(name);
  }
  return names;
}

// 240 rows of two columns, and a run of frames of 24 with its plot files.
std::string data(int rows = 240, int bad_row = 0) {
  std::string s = "Test series\nrows=" + std::to_string(rows) +
                  " columns=2 interval=1.0 format=(2f12.5)\n";
  for (int i = 1; i <= rows; ++i) {
    char line[64];
    std::snprintf(line, sizeof line, "%12.5f%12.5f", std::sin(0.7 * i) + 0.3 * std::sin(2.3 * i),
                  std::cos(1.1 * i) + 0.2 * std::sin(0.4 * i * i));
    s += (i == bad_row ? std::string("         NaN     0.50000") : std::string(line)) + "\n";
  }
  return s;
}

void lay_out(const fs::path& dir, int resamples = 0, int bad_row = 0) {
  TopSettings top;
  top.frame_length = 24;
  top.var_lag = 1;
  top.resamples = resamples;
  RunSettingsText run;
  run.graphing = true;
  std::ofstream(dir / "Runvok.cnl") << top_file(top, {"run.cnl"});
  std::ofstream(dir / "run.cnl") << run_file(run);
  std::ofstream(dir / "data.dat") << data(240, bad_row);
}

// The run's output set.
const char* const kRunOutputs[] = {"run_1-_2.out", "run_1-_2.graph", "run-frames.out",
                                   "run-xy.graph", "run_1-_2.csv"};

// The program as a process of its own in `dir`, its console and standard
// error in files of `logs`; `in_child` runs in the new process before the
// program starts (a limit, a standard output of its own).
class Process {
 public:
  Process(const fs::path& dir, const fs::path& logs, const std::string& name,
          const std::function<void()>& in_child = {}) {
    out_ = logs / (name + ".out");
    err_ = logs / (name + ".err");
    pid_ = ::fork();
    if (pid_ == 0) {
      if (::chdir(dir.c_str()) != 0) ::_exit(99);
      if (!std::freopen(out_.c_str(), "w", stdout) || !std::freopen(err_.c_str(), "w", stderr))
        ::_exit(98);
      if (in_child) in_child();
      ::execl(VOK_PROGRAM, VOK_PROGRAM, "--threads", "1", static_cast<char*>(nullptr));
      ::_exit(97);
    }
  }
  ~Process() {
    if (pid_ > 0 && !waited_) {
      ::kill(pid_, SIGKILL);
      wait();
    }
  }
  void signal(int s) const { ::kill(pid_, s); }
  // The exit status (or 1000 + the signal that ended it).
  int wait() {
    int raw = 0;
    ::waitpid(pid_, &raw, 0);
    waited_ = true;
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : 1000 + WTERMSIG(raw);
  }
  std::string console() const { return read(out_); }
  std::string standard_error() const { return read(err_); }

 private:
  static std::string read(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  pid_t pid_ = -1;
  bool waited_ = false;
  fs::path out_, err_;
};

// Waits (up to a minute) until the program has created the temporary file of
// a run's report (`report`): it is then in the middle of that run.
bool wait_for_report_in_progress(const fs::path& dir, const std::string& report = "run_1-_2.out") {
  for (int i = 0; i < 6000; ++i) {
    for (const std::string& name : temporaries(dir))
      if (name.starts_with(report + ".")) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

// A tmpfs of `bytes` at a fresh folder; mounted() is false where mounting is
// not allowed.
class Tmpfs {
 public:
  explicit Tmpfs(std::size_t bytes) {
    const std::string options = "size=" + std::to_string(bytes);
    mounted_ = ::mount("tmpfs", dir_.path().c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~Tmpfs() {
    if (mounted_) ::umount2(dir_.path().c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }
  bool make_read_only() const {
    return ::mount(nullptr, dir_.path().c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
  }
  const fs::path& path() const { return dir_.path(); }

 private:
  RunDir dir_;
  bool mounted_ = false;
};

// ---------------------------------------------------------------------------

TEST(WholeOutputs, APlantedLinkIsReplacedByTheFileNeverWrittenThrough) {
  std::vector<std::string> names(std::begin(kRunOutputs), std::end(kRunOutputs));
  names.push_back("Vok-error.out");
  for (const std::string& name : names) {
    SCOPED_TRACE(name);
    RunDir dir, elsewhere;
    lay_out(dir.path());
    elsewhere.write("precious.txt", "precious\n");
    fs::create_symlink(elsewhere.path() / "precious.txt", dir.path() / name);
    const ProgramResult r = e2e::run_program_at(dir.path());
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(elsewhere.read("precious.txt"), "precious\n");
    EXPECT_FALSE(fs::is_symlink(dir.path() / name));
    EXPECT_TRUE(fs::is_regular_file(dir.path() / name));
    EXPECT_TRUE(temporaries(dir.path()).empty());
  }
}

// An execution on many resamples, ended by `signal` in the middle of its run.
std::function<bool(const fs::path&, std::string&)> interrupted_by(int signal, int status) {
  return [signal, status](const fs::path& dir, std::string&) {
    lay_out(dir, 2'000'000);
    RunDir logs;
    Process vok(dir, logs.path(), "vok");
    EXPECT_TRUE(wait_for_report_in_progress(dir));
    vok.signal(signal);
    EXPECT_EQ(vok.wait(), status);
    EXPECT_EQ(vok.standard_error(), "vok: interrupted; the outputs of run 1 were not written\n");
    return true;
  };
}

// An earlier execution's complete outputs, then a second execution that meets
// a fault: what the folder holds afterwards.
TEST(WholeOutputs, FaultsAfterACompleteExecution) {
  struct Case {
    std::string what;
    // Makes the fault and runs the second execution; false: skipped (why in
    // `skip`).
    std::function<bool(const fs::path& dir, std::string& skip)> second;
    // The run's outputs afterwards: the earlier ones, or none of the
    // earlier execution's but the report of the second.
    bool earlier_kept;
  };
  const Case cases[] = {
      {"interrupted by SIGTERM while the run is in progress", interrupted_by(SIGTERM, 143), true},
      {"interrupted by SIGINT", interrupted_by(SIGINT, 130), true},
      {"interrupted by SIGHUP", interrupted_by(SIGHUP, 129), true},
      {"a second execution while the first runs",
       [](const fs::path& dir, std::string&) {
         lay_out(dir, 2'000'000);
         RunDir logs;
         Process first(dir, logs.path(), "first");
         EXPECT_TRUE(wait_for_report_in_progress(dir));
         Process second(dir, logs.path(), "second");
         EXPECT_EQ(second.wait(), 1);
         const std::string refusal =
             "Another vok is running in " + fs::canonical(dir).string() + "\n";
         EXPECT_EQ(second.console(), refusal);
         EXPECT_EQ(second.standard_error(), refusal);
         first.signal(SIGHUP);
         EXPECT_EQ(first.wait(), 129);
         return true;
       },
       true},
      {"a run that stops on a bad row",
       [](const fs::path& dir, std::string&) {
         lay_out(dir, 0, 100);
         EXPECT_EQ(e2e::run_program_at(dir).status, 1);
         return true;
       },
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunDir dir;
    lay_out(dir.path());
    ASSERT_EQ(e2e::run_program_at(dir.path()).status, 0);
    const Snapshot earlier = snapshot(dir.path());
    for (const char* name : kRunOutputs) ASSERT_TRUE(earlier.contains(name)) << name;
    std::string skip;
    if (!c.second(dir.path(), skip)) {
      std::printf("skipped: %s\n", skip.c_str());
      continue;
    }
    EXPECT_TRUE(temporaries(dir.path()).empty());
    const Snapshot after = snapshot(dir.path());
    for (const char* name : kRunOutputs) {
      SCOPED_TRACE(name);
      if (c.earlier_kept) {
        ASSERT_TRUE(after.contains(name));
        EXPECT_EQ(after.at(name), earlier.at(name));
      } else if (std::string(name) == "run_1-_2.csv") {
        EXPECT_FALSE(after.contains(name));  // not written: the earlier execution's went
      } else {
        // Written by the stopped run (its report holds the message).
        ASSERT_TRUE(after.contains(name));
        EXPECT_NE(after.at(name), earlier.at(name));
      }
    }
    if (c.earlier_kept) {
      EXPECT_EQ(after.at("Vok-error.out"), earlier.at("Vok-error.out"));
    }
  }
}

// A file system that fills while the run writes: the failure is reported
// with its reason, the run ends as one that ends early (status 2), and the
// earlier complete outputs stay as they were.
TEST(WholeOutputs, AFullFileSystemKeepsTheEarlierOutputs) {
  // Room for the inputs and the earlier outputs, and for half of the new
  // outputs beside them.
  RunDir probe;
  lay_out(probe.path());
  const Snapshot inputs = snapshot(probe.path());
  ASSERT_EQ(e2e::run_program_at(probe.path()).status, 0);
  std::size_t pages = 0;
  for (const auto& [name, bytes] : snapshot(probe.path())) {
    const std::size_t file_pages = (bytes.size() + 4095) / 4096;
    pages += inputs.contains(name) ? file_pages : file_pages + file_pages / 2;
  }
  Tmpfs fs(pages * 4096);
  if (!fs.mounted()) GTEST_SKIP() << "a tmpfs cannot be mounted here (not root?)";
  lay_out(fs.path());
  ASSERT_EQ(e2e::run_program_at(fs.path()).status, 0);
  const Snapshot earlier = snapshot(fs.path());

  const ProgramResult r = e2e::run_program_at(fs.path());
  EXPECT_EQ(r.status, 2);
  EXPECT_NE(r.console.find(" **** Error writing file"), std::string::npos) << r.console;
  EXPECT_NE(r.console.find(": No space left on device\n"), std::string::npos) << r.console;
  EXPECT_TRUE(temporaries(fs.path()).empty());
  const Snapshot after = snapshot(fs.path());
  for (const char* name : kRunOutputs) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(after.contains(name));
    EXPECT_EQ(after.at(name), earlier.at(name));
  }
}

TEST(WholeOutputs, AReadOnlyFolderIsToldWithItsReason) {
  Tmpfs fs(1 << 20);
  if (!fs.mounted()) GTEST_SKIP() << "a tmpfs cannot be mounted here (not root?)";
  lay_out(fs.path());
  if (!fs.make_read_only()) GTEST_SKIP() << "the tmpfs cannot be made read-only";
  const ProgramResult r = e2e::run_program_at(fs.path());
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console,
            " **** Error on creating the error file Vok-error.out  30\n"
            " at Vok-error.out: Read-only file system\n");
}

// Every signal that would end the program, sent at one fixed point (the
// run's report in progress): the signal's status, the one line on standard
// error, no temporary file, the earlier execution's files as they were.
TEST(WholeOutputs, EverySignalThatEndsTheProgramLeavesTheEarlierFiles) {
  for (const int signal : interrupting_signals()) {
    SCOPED_TRACE(::strsignal(signal));
    RunDir dir;
    lay_out(dir.path());
    ASSERT_EQ(e2e::run_program_at(dir.path()).status, 0);
    const Snapshot earlier = snapshot(dir.path());
    std::string unused;
    interrupted_by(signal, 128 + signal)(dir.path(), unused);
    EXPECT_TRUE(temporaries(dir.path()).empty());
    const Snapshot after = snapshot(dir.path());
    for (const std::string name : {"run_1-_2.out", "run_1-_2.graph", "run-frames.out",
                                   "run-xy.graph", "run_1-_2.csv", "Vok-error.out"})
      EXPECT_TRUE(after.at(name) == earlier.at(name)) << name;
  }
}

// Two runs, "a" and "b", of one execution on the same data; `stall_b`: run
// "b" takes many resamples (so that it can be caught in progress).
void lay_out_two_runs(const fs::path& dir, bool stall_b) {
  TopSettings top;
  top.frame_length = 24;
  top.var_lag = 1;
  top.resamples = stall_b ? 2'000'000 : 0;
  RunSettingsText a;
  a.graphing = true;
  RunSettingsText b = a;
  b.y = 1;
  b.x = 2;
  std::ofstream(dir / "Runvok.cnl") << top_file(top, {"a.cnl", "b.cnl"});
  std::ofstream(dir / "a.cnl") << run_file(a);
  std::ofstream(dir / "b.cnl") << run_file(b);
  std::ofstream(dir / "data.dat") << data();
}

// An execution whose error file tells of a missing data file, then one
// interrupted after its first run: the error file beside that run's files
// is the second execution's, and says which run was not written.
TEST(WholeOutputs, AnInterruptedExecutionsErrorFileIsItsOwn) {
  RunDir dir, logs;
  lay_out_two_runs(dir.path(), false);
  RunSettingsText missing;
  missing.data = "missing.dat";
  std::ofstream(dir.path() / "a.cnl") << run_file(missing);
  ASSERT_EQ(e2e::run_program_at(dir.path()).status, 1);
  ASSERT_NE(read_file(dir.path() / "Vok-error.out").find("does not exist"),
            std::string::npos);

  lay_out_two_runs(dir.path(), true);
  RunSettingsText graphing;
  graphing.graphing = true;
  std::ofstream(dir.path() / "a.cnl") << run_file(graphing);
  {
    Process vok(dir.path(), logs.path(), "vok");
    ASSERT_TRUE(wait_for_report_in_progress(dir.path(), "b_2-_1.out"));
    vok.signal(SIGTERM);
    EXPECT_EQ(vok.wait(), 143);
  }
  const std::string line = "vok: interrupted; the outputs of run 2 were not written\n";
  EXPECT_EQ(read_file(dir.path() / "Vok-error.out"), line);
  EXPECT_TRUE(fs::exists(dir.path() / "a_1-_2.out"));
  EXPECT_FALSE(fs::exists(dir.path() / "b_2-_1.out"));
  EXPECT_TRUE(temporaries(dir.path()).empty());
}

// Two runs of one execution share the stem "site" (site.1.cnl, site.2.cnl);
// the first writes plot files, the second does not: the first run's plot
// files stay, since this execution wrote them.
TEST(WholeOutputs, FilesOfAnEarlierRunOfTheSameExecutionStay) {
  RunDir dir;
  TopSettings top;
  top.frame_length = 24;
  RunSettingsText first;
  first.graphing = true;
  RunSettingsText second;
  second.x = 2;
  second.y = 1;
  dir.write("Runvok.cnl", top_file(top, {"site.1.cnl", "site.2.cnl"}));
  dir.write("site.1.cnl", run_file(first));
  dir.write("site.2.cnl", run_file(second));
  dir.write("data.dat", data());
  ASSERT_EQ(e2e::run_program_at(dir.path()).status, 0);
  for (const char* name : {"site_1-_2.out", "site_1-_2.graph", "site-frames.out", "site-xy.graph",
                           "site_2-_1.out"})
    EXPECT_TRUE(dir.exists(name)) << name;
  EXPECT_NE(dir.read("site-frames.out").find("x-Data Column =   1"), std::string::npos);
}

// The per-run results file and the list of them belong to the run's set: a
// later execution without --results leaves neither beside its report.
TEST(WholeOutputs, ResultsFilesOfAnEarlierExecutionGo) {
  RunDir dir;
  lay_out(dir.path());
  ExecutionOptions with_results;
  with_results.results_file = true;
  ASSERT_EQ(dir.run(1, with_results).status, 0);
  ASSERT_TRUE(dir.exists("run_1-_2.json"));
  ASSERT_TRUE(dir.exists("Vok-results.json"));
  ASSERT_EQ(dir.run(1, ExecutionOptions{}).status, 0);
  EXPECT_FALSE(dir.exists("run_1-_2.json"));
  EXPECT_FALSE(dir.exists("Vok-results.json"));
  EXPECT_TRUE(dir.exists("run_1-_2.out"));
}

// Two executions in two folders whose runs write into one shared folder: the
// second stops before it writes there, naming the folder, and the shared
// folder holds the first execution's files alone.
TEST(WholeOutputs, TheLockCoversEveryFolderAnExecutionWritesInto) {
  RunDir root, logs;
  const fs::path shared = root.path() / "shared";
  for (const char* folder : {"one", "two", "shared"}) fs::create_directories(root.path() / folder);
  TopSettings top;
  top.frame_length = 24;
  top.var_lag = 1;
  top.resamples = 2'000'000;
  RunSettingsText run;
  run.graphing = true;
  run.data = "../one/data.dat";
  std::ofstream(shared / "r0.cnl") << run_file(run);
  std::ofstream(root.path() / "one" / "data.dat") << data();
  for (const char* folder : {"one", "two"})
    std::ofstream(root.path() / folder / "Runvok.cnl") << top_file(top, {"../shared/r0.cnl"});

  Process first(root.path() / "one", logs.path(), "first");
  ASSERT_TRUE(wait_for_report_in_progress(shared, "r0_1-_2.out"));
  Process second(root.path() / "two", logs.path(), "second");
  EXPECT_EQ(second.wait(), 1);
  const std::string refusal = "Another vok is running in " + fs::canonical(shared).string() + "\n";
  EXPECT_EQ(second.console(), refusal);
  EXPECT_EQ(second.standard_error(), refusal);
  first.signal(SIGTERM);
  EXPECT_EQ(first.wait(), 143);
  // Nothing but the run control file: the first execution was interrupted in
  // its run, the second wrote nothing there.
  std::vector<std::string> names;
  for (const auto& [name, bytes] : snapshot(shared)) names.push_back(name);
  EXPECT_EQ(names, std::vector<std::string>{"r0.cnl"});
}

// Outputs that cannot be written, one rule for all: the message and its
// reason line (console and error file), none of the run's files replaces an
// earlier one, the next run follows, and the execution ends with status 2.
TEST(WholeOutputs, AFailedOutputEndsItsRunAndTheNextRunFollows) {
  struct Case {
    std::string blocked;  // a folder stands at this name
    std::string message;
  };
  const std::string is_dir = ": Is a directory\n";
  const Case cases[] = {
      {"a_1-_2.out",
       " **** Error on opening output file  21\n at a_1-_2.out" + is_dir},
      {"a_1-_2.graph", " **** Error on opening graph file  21\n at a_1-_2.graph" + is_dir},
      {"a-frames.out", " **** Error on opening frames file  21\n at a-frames.out" + is_dir},
      {"a-xy.graph", " **** Error on opening xy file  21\n at a-xy.graph" + is_dir},
      {"a_1-_2.csv", " **** Error writing file a_1-_2.csv\n at a_1-_2.csv" + is_dir},
      {"a_1-_2.json", " **** Error writing file a_1-_2.json\n at a_1-_2.json" + is_dir},
      {"Vok-results.json",
       " **** Error writing file Vok-results.json\n at Vok-results.json" + is_dir},
  };
  ExecutionOptions with_results;
  with_results.results_file = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.blocked);
    RunDir dir;
    lay_out_two_runs(dir.path(), false);
    fs::create_directory(dir.path() / c.blocked);
    const ProgramResult r = dir.run(1, with_results);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.console.find(c.message), std::string::npos) << r.console;
    EXPECT_NE(dir.read("Vok-error.out").find(c.message), std::string::npos);
    const bool index_only = c.blocked == "Vok-results.json";
    // The blocked run wrote nothing; the next run is complete.
    EXPECT_EQ(fs::is_regular_file(dir.path() / "a_1-_2.out"), index_only);
    EXPECT_NE(dir.read("b_2-_1.out").find(" Elapsed time = "), std::string::npos);
    EXPECT_TRUE(temporaries(dir.path()).empty());
  }
}

// A file-size limit (ulimit -f) and a closed pipe on standard output: the
// failed write is a write error with its reason, never a signal; nothing
// committed is lost and no temporary file is left.
TEST(WholeOutputs, AFileSizeLimitAndAClosedPipeAreWriteErrors) {
  {
    SCOPED_TRACE("RLIMIT_FSIZE");
    RunDir dir, logs;
    lay_out(dir.path());
    ASSERT_EQ(e2e::run_program_at(dir.path()).status, 0);
    const Snapshot earlier = snapshot(dir.path());
    Process vok(dir.path(), logs.path(), "vok", [] {
      const rlimit eight_blocks{8 * 1024, 8 * 1024};
      ::setrlimit(RLIMIT_FSIZE, &eight_blocks);
    });
    EXPECT_EQ(vok.wait(), 2);
    EXPECT_NE(vok.console().find(" at run_1-_2.out: File too large\n"), std::string::npos)
        << vok.console();
    EXPECT_TRUE(temporaries(dir.path()).empty());
    const Snapshot after = snapshot(dir.path());
    for (const char* name : kRunOutputs) EXPECT_EQ(after.at(name), earlier.at(name)) << name;
  }
  {
    SCOPED_TRACE("closed pipe");
    RunDir dir, logs;
    lay_out(dir.path());
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0);
    ::close(pipe_ends[0]);
    Process vok(dir.path(), logs.path(), "vok", [&] { ::dup2(pipe_ends[1], STDOUT_FILENO); });
    ::close(pipe_ends[1]);
    EXPECT_EQ(vok.wait(), 1);
    EXPECT_EQ(dir.read("Vok-error.out"), " **** Error writing console\n at console: Broken pipe\n");
    EXPECT_NE(dir.read("run_1-_2.out").find(" Elapsed time = "), std::string::npos);
    EXPECT_TRUE(temporaries(dir.path()).empty());
  }
}

}  // namespace
}  // namespace vok
