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
// error in files of `logs`.
class Process {
 public:
  Process(const fs::path& dir, const fs::path& logs, const std::string& name) {
    out_ = logs / (name + ".out");
    err_ = logs / (name + ".err");
    pid_ = ::fork();
    if (pid_ == 0) {
      if (::chdir(dir.c_str()) != 0) ::_exit(99);
      if (!std::freopen(out_.c_str(), "w", stdout) || !std::freopen(err_.c_str(), "w", stderr))
        ::_exit(98);
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
// the run's report: it is then in the middle of the run.
bool wait_for_report_in_progress(const fs::path& dir) {
  for (int i = 0; i < 6000; ++i) {
    for (const std::string& name : temporaries(dir))
      if (name.starts_with("run_1-_2.out.")) return true;
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
// with its reason, the exit status says output was lost, and the earlier
// complete outputs stay as they were.
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
  EXPECT_EQ(r.status, 1);
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

}  // namespace
}  // namespace vok
