// The cluster scripts of examples/cluster run locally: the job-array script
// once per task with SLURM_ARRAY_TASK_ID set, as Slurm would, and GNU parallel
// over the same directories. Each directory must hold what a sequential run of
// the program there leaves (closing stamps masked), each task must end with
// the program's exit status, and the collect script must name the directory
// whose run ended early.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "e2e/e2e_files.h"
#include "e2e/run_in_dir.h"
#include "output/channel.h"

namespace vok::e2e {
namespace {

namespace fs = std::filesystem;

// Four run directories; one name has a blank in it and one execution ends a
// run early (its second run control file is missing: status 2).
struct RunDirectory {
  std::string name;
  std::vector<std::pair<std::string, std::string>> inputs;
};

std::vector<RunDirectory> run_directories() {
  TopSettings plain;
  TopSettings prewhitened;
  prewhitened.var_lag = 1;
  prewhitened.frame_length = 48;
  TopSettings resampled;
  resampled.resamples = 20;
  RunSettingsText xy;
  xy.data = "bilinear.dat";
  xy.graphing = true;
  RunSettingsText zx = xy;
  zx.x = 3;
  zx.y = 1;
  zx.graphing = false;
  const std::string data = fixture("bilinear.dat");
  return {
      {"plain", {{"Runvok.cnl", top_file(plain, {"a.cnl"})}, {"a.cnl", run_file(xy)}}},
      {"var fit",
       {{"Runvok.cnl", top_file(prewhitened, {"a.cnl", "b.cnl"})},
        {"a.cnl", run_file(xy)},
        {"b.cnl", run_file(zx)}}},
      {"resampled", {{"Runvok.cnl", top_file(resampled, {"a.cnl"})}, {"a.cnl", run_file(zx)}}},
      {"ends early",
       {{"Runvok.cnl", top_file(plain, {"a.cnl", "gone.cnl"})}, {"a.cnl", run_file(xy)}}},
  };
}

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// What an execution leaves: its status and console, and every file of its
// directory (closing stamps masked).
struct Leftovers {
  int status = -1;
  std::string console;
  std::map<std::string, std::string> files;
};

std::map<std::string, std::string> masked_files(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const std::string& name : files_in(dir)) files[name] = mask_times(read_file(dir / name));
  return files;
}

// The directories written below `base`, one per run directory, with a list
// naming them relative to base.
fs::path write_directories(const fs::path& base) {
  std::string list;
  for (const RunDirectory& d : run_directories()) {
    fs::create_directories(base / "runs" / d.name);
    for (const auto& [name, content] : d.inputs)
      std::ofstream(base / "runs" / d.name / name) << content;
    std::ofstream(base / "runs" / d.name / "bilinear.dat") << fixture("bilinear.dat");
    list += "runs/" + d.name + "\n";
  }
  std::ofstream(base / "dirs.txt") << list;
  return base / "dirs.txt";
}

// The program run in-process in each directory, one after another.
std::vector<Leftovers> sequential_runs() {
  RunDir base;
  write_directories(base.path());
  std::vector<Leftovers> runs;
  for (const RunDirectory& d : run_directories()) {
    const fs::path dir = base.path() / "runs" / d.name;
    Leftovers run;
    {
      ScopedWorkingDirectory here(dir);
      CapturedChannels captured;
      run.status = run_program(captured.all());
      run.console = mask_times(captured.console());
    }
    run.files = masked_files(dir);
    runs.push_back(std::move(run));
  }
  return runs;
}

struct Shell {
  int status = -1;
  std::string output;
};

// Runs a shell command, standard error joined to the output.
Shell shell(const std::string& command) {
  Shell result;
  FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int wait_status = ::pclose(pipe);
  result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -1;
  return result;
}

std::string script(const std::string& name) {
  return std::string(VOK_SOURCE_DIR) + "/examples/cluster/" + name;
}

std::string program_environment() {
  return std::string("VOK=") + VOK_PROGRAM + " ";
}

// Every directory holds what the sequential run left there; its recorded
// status and console are the sequential run's.
void expect_sequential_outputs(const fs::path& list) {
  static const std::vector<Leftovers> sequential = sequential_runs();
  const std::vector<RunDirectory> dirs = run_directories();
  for (std::size_t i = 0; i < dirs.size(); ++i) {
    SCOPED_TRACE(dirs[i].name);
    const std::map<std::string, std::string> files =
        masked_files(list.parent_path() / "runs" / dirs[i].name);
    ASSERT_EQ(files.size(), sequential[i].files.size());
    for (const auto& [name, text] : sequential[i].files) {
      SCOPED_TRACE(name);
      ASSERT_EQ(files.count(name), 1u);
      EXPECT_TRUE(same_lines(files.at(name), text));
    }
    const fs::path status_dir = list.string() + ".status";
    const std::string line = std::to_string(i + 1);
    EXPECT_EQ(read_file(status_dir / line),
              std::to_string(sequential[i].status) + " runs/" + dirs[i].name + "\n");
    EXPECT_TRUE(
        same_lines(mask_times(read_file(status_dir / (line + ".log"))), sequential[i].console));
  }
}

// The collect script names the run that ended early, counts the statuses and
// fails the whole.
void expect_collected(const fs::path& list, const Shell& collected) {
  EXPECT_EQ(collected.status, 1) << collected.output;
  EXPECT_EQ(collected.output,
            "2\truns/ends early\ta run ended early (see its report)\n"
            "4 directories, by exit status:\n"
            "       3  0     completed\n"
            "       1  2     a run ended early (see its report)\n");
  EXPECT_EQ(read_file(list.string() + ".redo"), "runs/ends early\n");
}

TEST(ClusterScripts, ArrayTasksLeaveWhatSequentialRunsLeave) {
  RunDir base;
  const fs::path list = write_directories(base.path());
  const int expected_status[] = {0, 0, 0, 2};
  // The list given relative to the folder it is started from.
  ScopedWorkingDirectory here(base.path());
  for (int task = 1; task <= 4; ++task) {
    SCOPED_TRACE(task);
    const Shell t = shell(program_environment() + "SLURM_ARRAY_TASK_ID=" + std::to_string(task) +
                          " " + script("vok-array.sh") + " dirs.txt");
    EXPECT_EQ(t.status, expected_status[task - 1]) << t.output;
    EXPECT_EQ(t.output, "");
  }
  expect_sequential_outputs(list);
  expect_collected(list, shell(script("vok-collect.sh") + " dirs.txt"));

  // A task past the list's end, and a killed task (no status): both told.
  const Shell past = shell(program_environment() + "SLURM_ARRAY_TASK_ID=3 " +
                           script("vok-array.sh") + " dirs.txt 2");
  EXPECT_EQ(past.status, 64);
  EXPECT_EQ(past.output, "vok-array.sh: dirs.txt has no line 5 (it has 4)\n");
  fs::remove(base.path() / "dirs.txt.status" / "1");
  const Shell collected = shell(script("vok-collect.sh") + " dirs.txt");
  EXPECT_EQ(collected.status, 1);
  EXPECT_EQ(collected.output,
            "none\truns/plain\tno status: the task never ran or was killed\n"
            "2\truns/ends early\ta run ended early (see its report)\n"
            "4 directories, by exit status:\n"
            "       2  0     completed\n"
            "       1  2     a run ended early (see its report)\n"
            "       1  none  no status: the task never ran or was killed\n");
  EXPECT_EQ(read_file(base.path() / "dirs.txt.redo"), "runs/plain\nruns/ends early\n");
}

TEST(ClusterScripts, GnuParallelLeavesWhatSequentialRunsLeave) {
  if (shell("command -v parallel").status != 0) GTEST_SKIP() << "GNU parallel is not installed";
  RunDir base;
  const fs::path list = write_directories(base.path());
  const Shell run =
      shell(program_environment() + script("vok-parallel.sh") + " " + list.string() + " -j 2");
  expect_collected(list, run);
  expect_sequential_outputs(list);
  // The job log holds one line per directory besides its heading.
  EXPECT_EQ(lines_of(read_file(list.string() + ".joblog")).size(), 5u);
}

}  // namespace
}  // namespace vok::e2e
