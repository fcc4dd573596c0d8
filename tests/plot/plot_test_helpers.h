// What the tests of vok-plot share: the environment's PATH, the shipped files,
// a count of a text's occurrences and vok-plot run in the test's process.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "vok_plot.h"

namespace vok::plot::testing {

inline std::string environment_path() {
  const char* path = std::getenv("PATH");
  return path == nullptr ? "" : path;
}

// A file of the source tree (e.g. "examples/runA.cnl"); a missing file is a
// test failure and reads as "".
inline std::string source_file(const std::string& relative) {
  std::ifstream in(std::filesystem::path(VOK_SOURCE_DIR) / relative, std::ios::binary);
  if (!in) ADD_FAILURE() << "no file " << relative;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::size_t count(const std::string& text, std::string_view what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

struct PlotResult {
  int status = -1;
  std::string out;
  std::string err;
};

// vok-plot with `args`, gnuplot looked for in `path`.
inline PlotResult plot(const std::vector<std::string>& args,
                       const std::string& path = environment_path()) {
  std::ostringstream out, err;
  PlotResult r;
  r.status = run_vok_plot(args, out, err, path);
  r.out = out.str();
  r.err = err.str();
  return r;
}

}  // namespace vok::plot::testing
