// What vok-plot reads back from a run's files: the graph file (one record of
// seven CDF values per frame), the xy graph file (the cross-correlations of
// each frame by lag), the false alarm thresholds in the report and, when it
// is there, the frame table with the run's judgement of each frame.
//
// The files are read as vok writes them: records in fixed columns, signs
// written on every value, optional date-and-time stamps, the caption lines
// after the data and the closing stamp at the end of the graph file.
#pragma once

#include <array>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "vok/test_order.h"

namespace vok::plot {

// A file that is missing, unreadable or not laid out as vok writes it; what()
// is the whole message, naming the file (and the line when there is one).
class InputError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The names of the seven tests in the column order of a graph record (the
// order of every per-test array below).
inline constexpr std::array<std::string_view, kTestCount> kGraphNames = [] {
  std::array<std::string_view, kTestCount> names{};
  for (std::size_t t = 0; t < names.size(); ++t) names[t] = test_name(kGraphOrder[t]);
  return names;
}();

struct GraphFrame {
  int number = 0;
  std::array<float, kTestCount> cdf{};  // CDF values P, in kGraphNames order
  std::string stamp;                // start stamp of the frame, blanks trimmed; "" when none
};

struct GraphFile {
  std::vector<GraphFrame> frames;
  bool stamped = false;
  bool has_captions = false;  // false: the file ends without its caption lines
};

struct XyRecord {
  std::string stamp;     // blanks trimmed; "" when none
  std::vector<float> r;  // rxy(-lags) .. rxy(lags)
};

struct XyGraphFile {
  int lags = 0;
  bool stamped = false;
  std::vector<XyRecord> records;
};

struct Thresholds {
  std::array<float, kTestCount> value{};  // in kGraphNames order
  int resamples = 0;                  // 0: the nominal false alarm threshold for all seven
};

// The run's frame table (NAME.csv), which vok writes beside the report: per
// frame the 32-bit CDF values and the run's own judgement of significance,
// which the graph file's four decimals cannot always reproduce.
struct TableFrame {
  int number = 0;
  std::array<float, kTestCount> cdf{};         // in kGraphNames order
  std::array<bool, kTestCount> significant{};  // in kGraphNames order
};

struct FramesTable {
  std::vector<TableFrame> frames;
  // Every field as the file writes it (quotes removed): the header row's
  // column names, and one row of fields per frame.
  std::vector<std::string> columns;
  std::vector<std::vector<std::string>> fields;
};

// Parsers of the text of a file; `name` is used in messages only.
GraphFile parse_graph(std::string_view text, const std::string& name);
XyGraphFile parse_xy_graph(std::string_view text, const std::string& name);
Thresholds parse_thresholds(std::string_view text, const std::string& name);
// The columns are found by their names in the header row: frame, and cdf_T
// and significant_T ("true" or "false") for each test T; the others are
// passed over. Fields may be quoted (stamps holding a comma).
FramesTable parse_frames_table(std::string_view text, const std::string& name);

// Reads a whole file; throws InputError naming it when it cannot be read.
std::string read_file(const std::string& path);

// The run files that belong to a report name such as "dir/runA_1-_2": the
// report, the graph file, the frame table and the xy graph file, whose name
// drops the column tag ("dir/runA-xy.graph"). A tag is "-" between two column
// parts, each "_" and a digit or two or more digits. When more than one
// reading of the tag is possible (columns of 20 and over), the first whose xy
// graph file exists is taken, the shortest first. A trailing ".out" or
// ".graph" on `name` is dropped. Throws InputError when the name ends in no
// column tag.
struct RunFiles {
  std::string name;  // the report name without extension
  std::string report;
  std::string graph;
  std::string xy_graph;
  std::string table;  // the frame table, NAME.csv (it may not exist)
};
RunFiles run_files(std::string name);

}  // namespace vok::plot
