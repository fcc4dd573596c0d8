// The names of a run's output files, from its settings alone.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace vok {

// A column in the output names: "_3" for 1 to 9, "14" for 10 to 19, and the
// column's own digits from 20 on ("20", "137").
std::string column_tag(int column);

// The run control file name up to its first "." after the last "/"
// ("./runs/runA.cnl" gives "./runs/runA"); nullopt when there is no such ".".
std::optional<std::string> output_base(std::string_view run_control_name);

// The four output files of a run with base name `base` and columns x and y.
struct OutputNames {
  std::string report;  // base, tag, ".out"
  std::string graph;   // base, tag, ".graph"
  std::string frames;  // base, "-frames.out"
  std::string xy;      // base, "-xy.graph"
};
OutputNames output_names(const std::string& base, int x_column, int y_column);

}  // namespace vok
