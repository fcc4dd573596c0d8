// The per-frame table of a run, written beside its report as comma-separated
// values: the report's name with ".csv" in place of ".out" (runA_1-_2.csv).
//
//   frame,first_row,last_row[,start,end],cdf_Cx,pvalue_Cx,significant_Cx,...
//
// A header row, then one row per frame: the frame number, its first and last
// row (1-based rows of the run's series), the stamps of those rows when the
// rows carry stamps, then for each test (Cx, Cy, Cxy, Hxxx, Hyyy, Hxxy, Hyyx)
// its CDF value, its p-value 1 - CDF as the reports compute it, and whether
// the frame is significant for it ("true" or "false"). The columns are those
// of the Python package's Result.frames, and the numbers are the shortest
// text that reads back as the same 32-bit value, so the two agree exactly.
#pragma once

#include <string>

#include "analysis/engine.h"
#include "output/channel.h"
#include "vok/vok.h"

namespace vok {

// The table's file name for a report name ("x.out" gives "x.csv"; a name
// without ".out" gets ".csv" added).
std::string frames_table_name(const std::string& report_name);

// The header row and the row of one frame, each with its newline; `stamped`
// adds the start and end columns.
std::string frames_table_header(bool stamped);
std::string frames_table_row(const Frame& frame, bool stamped);
// The whole table of a result's frames.
std::string frames_table(const Result& result, bool stamped);

// Writes the table as the analysis hands its frames on: the file is created
// with its header when the thresholds are known (the frames follow), gets a
// row per frame, and is closed after the last. A file that cannot be created
// or written is reported as every output file is (" **** Error writing
// file" and its name on the console and the error file) and fails the
// execution. A run that stops keeps the rows of the frames before the stop,
// as its report does.
class FramesTableWriter : public AnalysisSink {
 public:
  FramesTableWriter(std::string path, bool stamped);
  void diagnostic(const Diagnostic&) override {}
  void statistics(const DescriptiveStats&, const DescriptiveStats&) override {}
  void thresholds(const PerTest<float>& values, bool bootstrapped) override;
  void frame(const Frame& frame, std::span<const Diagnostic> diagnostics) override;
  void finish(const PerTest<int>& counts, const CorrelationSummary* summary) override;

 private:
  Channel table_;
  bool stamped_;
};

}  // namespace vok
