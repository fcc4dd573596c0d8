// Control files, fixtures and golden-file checks shared by the end-to-end
// tests of whole runs.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "e2e/run_in_dir.h"

namespace vok::e2e {

// Settings of "Runvok.cnl" shared by the runs of an execution.
struct TopSettings {
  std::string exponent = "0.4";
  std::string alarm = "0.05";
  int frame_length = 40;
  int overlap = 0;
  int var_lag = 0;
  int resamples = 0;
};

// "Runvok.cnl" with one name line per run.
inline std::string top_file(const TopSettings& t, const std::vector<std::string>& runs) {
  std::string s = "Number of runs = " + std::to_string(runs.size()) + "       * name lines below\n";
  s += "lag exponent = " + t.exponent + "       * lags = lw ** exponent\n";
  s += "false alarm = " + t.alarm + "       * alpha\n";
  s += "frame length = " + std::to_string(t.frame_length) + "       * lw\n";
  s += "overlap = " + std::to_string(t.overlap) + "       * 0: frames end to end\n";
  s += "VAR lag = " + std::to_string(t.var_lag) + "       * order of the prewhitening fit\n";
  s += "resamples = " + std::to_string(t.resamples) + "  #  * bootstrap resamples\n";
  for (const std::string& name : runs) s += name + " * run control file\n";
  return s;
}

// Settings of one run control file.
struct RunSettingsText {
  int x = 1;
  int y = 2;
  bool graphing = false;
  std::string unit = "seconds";
  std::string switches;  // "clip data", "log data" or nothing
  std::string data = "data.dat";
  int start = 1;
  int end = 0;
};

inline std::string run_file(const RunSettingsText& r) {
  std::string s = "column-x = " + std::to_string(r.x) + "     * x-data column\n";
  s += "column-y = " + std::to_string(r.y) + "     * y-data column\n";
  s += std::string("graphing =") + (r.graphing ? "yes" : "no") + "   * plot files\n";
  s += "unit =" + r.unit + "   * sampling unit\n";
  if (!r.switches.empty()) s += r.switches + "   * switch\n";
  s += "data file name =" + r.data + " * the data\n";
  s += "start datum = " + std::to_string(r.start) + "   * first row\n";
  s += "end datum = " + std::to_string(r.end) + "   * last row, 0 for the last of the file\n";
  s += "#\n";
  return s;
}

// A data file of tests/e2e/fixtures (made by the scripts in that folder).
inline std::string fixture(const std::string& name) {
  return golden("e2e/fixtures/" + name);
}

// Every regular file below the directory, by its path relative to it.
inline std::set<std::string> files_in(const std::filesystem::path& dir) {
  std::set<std::string> names;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(dir))
    if (entry.is_regular_file())
      names.insert(std::filesystem::relative(entry.path(), dir).generic_string());
  return names;
}

// With VOK_UPDATE_GOLDEN set in the environment, the comparisons rewrite the
// golden files from this build instead of comparing; read every change
// against the line layouts before committing it.
inline bool updating_goldens() {
  return std::getenv("VOK_UPDATE_GOLDEN") != nullptr;
}

// Compares a text (its stamp lines masked) with golden file
// e2e/golden/<folder>/<name>.
inline ::testing::AssertionResult matches_golden(const std::string& folder, const std::string& name,
                                                 const std::string& text) {
  const std::string relative = "e2e/golden/" + folder + "/" + name;
  const std::string masked = mask_times(text);
  if (updating_goldens()) {
    const std::filesystem::path path = std::filesystem::path(VOK_TEST_DATA_DIR) / relative;
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << masked;
    return ::testing::AssertionSuccess();
  }
  ::testing::AssertionResult same = same_lines(masked, golden(relative));
  if (!same) same << " (" << relative << ")";
  return same;
}

// One execution of the program checked against its goldens: the console, the
// error file and every output file, and that nothing else was written.
struct GoldenExecution {
  std::string folder;                                       // below e2e/golden
  std::string top;                                          // "Runvok.cnl"
  std::vector<std::pair<std::string, std::string>> inputs;  // run control and data files
  int status = 0;
  std::vector<std::string> outputs;  // output files besides "Vok-error.out"
};

// An execution run on `threads` threads with `options` (not as the process
// stands).
struct HowRun {
  int threads = 0;  // 0: every core
  ExecutionOptions options;
};

inline void check_goldens(const GoldenExecution& e, const std::optional<HowRun>& how = {}) {
  SCOPED_TRACE(e.folder);
  RunDir dir;
  dir.write("Runvok.cnl", e.top);
  std::set<std::string> expected_files = {"Runvok.cnl", "Vok-error.out"};
  for (const auto& [name, content] : e.inputs) {
    dir.write(name, content);
    expected_files.insert(name);
  }
  const ProgramResult r = how ? dir.run(how->threads, how->options) : dir.run();
  EXPECT_EQ(r.status, e.status);
  EXPECT_EQ(r.standard_error, "");
  EXPECT_TRUE(matches_golden(e.folder, "console", r.console));
  EXPECT_TRUE(matches_golden(e.folder, "Vok-error.out", dir.read("Vok-error.out")));
  for (const std::string& name : e.outputs) {
    EXPECT_TRUE(matches_golden(e.folder, name, dir.read(name)));
    expected_files.insert(name);
  }
  EXPECT_EQ(files_in(dir.path()), expected_files);
}

}  // namespace vok::e2e
