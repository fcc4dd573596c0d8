// Running the whole program in-process, in a temporary working directory.
//
//   RunDir dir;
//   dir.write("Runvok.cnl", "...");
//   ProgramResult r = dir.run();
//   EXPECT_EQ(r.status, 0);
//   EXPECT_TRUE(same_lines(mask_times(dir.read("runA_1-_2.out")), golden("e2e/golden/runA.out")));
//
// The program reads and writes only in its working directory, so each test
// gets a fresh one; the previous working directory is restored afterwards.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "control/program.h"
#include "output/channel.h"

namespace vok::e2e {

struct ProgramResult {
  int status = -1;
  std::string console;
  std::string standard_error;
};

// Changes the working directory for as long as it lives.
class ScopedWorkingDirectory {
 public:
  explicit ScopedWorkingDirectory(const std::filesystem::path& dir)
      : previous_(std::filesystem::current_path()) {
    std::filesystem::current_path(dir);
  }
  ~ScopedWorkingDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
  }
  ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
  ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

 private:
  std::filesystem::path previous_;
};

// The program run in `dir` with the console and standard error captured.
inline ProgramResult run_program_at(const std::filesystem::path& dir) {
  ScopedWorkingDirectory here(dir);
  CapturedChannels captured;
  ProgramResult result;
  result.status = run_program(captured.all());
  result.console = captured.console();
  result.standard_error = captured.standard_error();
  return result;
}

// A fresh temporary directory, removed with everything in it at the end.
class RunDir {
 public:
  RunDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vok-test-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~RunDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  RunDir(const RunDir&) = delete;
  RunDir& operator=(const RunDir&) = delete;

  const std::filesystem::path& path() const { return path_; }

  // Writes `content` byte for byte (no line ends are added or changed).
  void write(const std::string& name, std::string_view content) const {
    std::filesystem::path file = path_ / name;
    if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out) throw std::runtime_error("cannot write " + file.string());
  }
  void make_directory(const std::string& name) const {
    std::filesystem::create_directories(path_ / name);
  }
  bool exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }

  // The whole file; a missing file is a test failure and reads as "".
  std::string read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    if (!in) {
      ADD_FAILURE() << "no file " << name << " in " << path_;
      return {};
    }
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  // Runs the program in this directory with the console and standard error
  // captured.
  ProgramResult run() const { return run_program_at(path_); }
  // The same on `threads` threads (0: every core) with `options`.
  ProgramResult run(int threads, const ExecutionOptions& options) const {
    CapturedChannels captured;
    ProgramResult result;
    result.status = run_program_in(captured.all(), path_.string(), threads, options);
    result.console = captured.console();
    result.standard_error = captured.standard_error();
    return result;
  }

 private:
  std::filesystem::path path_;
};

// Execution options that read the data rows in blocks of `batching`.
inline ExecutionOptions rows_in_blocks(const RowBatching& batching) {
  ExecutionOptions options;
  options.row_batching = batching;
  return options;
}

// The vok executable built beside the running test executable, or an empty
// path when there is none.
inline std::filesystem::path program_beside_tests() {
  std::error_code ec;
  const auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  const auto vok = self.parent_path() / "vok";
  return std::filesystem::exists(vok) ? vok : std::filesystem::path();
}

// The date-and-time and elapsed-time lines of a closing stamp change from one
// execution to the next; their variable parts are replaced by fixed marks.
inline std::string mask_times(std::string_view text) {
  static constexpr std::string_view kDate = " Date & Time ";
  static constexpr std::string_view kElapsed = " Elapsed time = ";
  std::string out;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    std::size_t stop = end == std::string_view::npos ? text.size() : end;
    std::string_view line = text.substr(begin, stop - begin);
    if (line.starts_with(kDate)) {
      out += kDate;
      out += "<date>";
    } else if (line.starts_with(kElapsed)) {
      out += kElapsed;
      out += "<elapsed>";
    } else {
      out += line;
    }
    if (end == std::string_view::npos) break;
    out += '\n';
    begin = end + 1;
  }
  return out;
}

inline std::vector<std::string> lines_of(std::string_view text) {
  std::vector<std::string> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    lines.emplace_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

// Line-by-line comparison that names the first line that differs.
inline ::testing::AssertionResult same_lines(std::string_view actual, std::string_view expected) {
  const std::vector<std::string> a = lines_of(actual);
  const std::vector<std::string> e = lines_of(expected);
  for (std::size_t i = 0; i < std::max(a.size(), e.size()); ++i) {
    if (i >= a.size())
      return ::testing::AssertionFailure()
             << "output ends before line " << i + 1 << ": \"" << e[i] << "\"";
    if (i >= e.size())
      return ::testing::AssertionFailure() << "extra line " << i + 1 << ": \"" << a[i] << "\"";
    if (a[i] != e[i])
      return ::testing::AssertionFailure() << "line " << i + 1 << " differs\n  actual:   \"" << a[i]
                                           << "\"\n  expected: \"" << e[i] << "\"";
  }
  if (actual.size() != expected.size())
    return ::testing::AssertionFailure() << "same lines, but the final line ends differ";
  return ::testing::AssertionSuccess();
}

// A golden file from the source tree, by its path below tests/.
inline std::string golden(const std::string& relative) {
  std::ifstream in(std::filesystem::path(VOK_TEST_DATA_DIR) / relative, std::ios::binary);
  if (!in) {
    ADD_FAILURE() << "no golden file " << relative;
    return {};
  }
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace vok::e2e
