// vok-plot NAME: pictures of a run's graph files, drawn by gnuplot.
//
// NAME is a report name without ".out" (e.g. runA_1-_2). The program reads
// NAME.graph, the run's xy graph file (runA-xy.graph) and the thresholds in
// NAME.out, and writes beside the graph file:
//   NAME-pvalues.png, NAME-pvalues.svg  the p-values of the seven tests by frame
//   NAME-xy.png, NAME-xy.svg            the cross-correlations by frame and lag
// The significant frames are the run's own judgement from its frame table
// NAME.csv when it is there; otherwise they are judged from the graph file's
// four decimals.
#pragma once

#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vok::plot {

// Exit statuses.
inline constexpr int kDone = 0;
inline constexpr int kBadInput = 1;   // an input file is missing or malformed
inline constexpr int kUsage = 2;      // wrong arguments
inline constexpr int kNoGnuplot = 3;  // gnuplot is not installed, or it failed

// The full path of an executable `name` in the directories of `path` (a
// PATH value, directories separated by ":"), or "" when there is none.
std::string find_program(std::string_view name, std::string_view path);

// The text of --version: "vok-plot", the version of vok and a newline.
std::string version_text();

// Runs the program with `args` (without the program name): NAME, --help or
// --version. `path` is where gnuplot is looked for (the PATH of the
// environment). Messages go to `err`; the names of the files written, the
// usage text and the version go to `out`.
int run_vok_plot(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                 std::string_view path);

}  // namespace vok::plot
