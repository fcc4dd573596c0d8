// The per-frame table of a run, written beside its report as comma-separated
// values: the report's name with ".csv" in place of ".out" (runA_1-_2.csv).
//
//   frame,first_row,last_row[,start,end],statistic_Cx,df_Cx,cdf_Cx,pvalue_Cx,
//   significant_Cx,...,qvalue_Cx,...,qvalue_Hyyx
//
// A header row, then one row per frame: the frame number, its first and last
// row (1-based rows of the run's series), the stamps of those rows when the
// rows carry stamps, then for each test (Cx, Cy, Cxy, Hxxx, Hyyy, Hxxy, Hyyx)
// its statistic, the degrees of freedom of its chi-square reference, its CDF
// value, its p-value 1 - CDF as the reports compute it, and whether
// the frame is significant for it ("true" or "false"); last, for each test in
// the same order, its Benjamini-Hochberg q-value over the run's frames
// (Frame::qvalue, from the 64-bit p-values). The columns are those of the
// Python package's Result.frames, and the numbers are the shortest text that
// reads back as the same 32-bit value (64-bit for the q-values), so the two
// agree exactly.
#pragma once

#include <string>
#include <vector>

#include "output/channel.h"
#include "vok/sink.h"
#include "vok/vok.h"

namespace vok {

// The table's file name for a report name ("x.out" gives "x.csv"; a name
// without ".out" gets ".csv" added).
std::string frames_table_name(const std::string& report_name);

// The header row and the row of one frame, each with its newline; `stamped`
// adds the start and end columns.
std::string frames_table_header(bool stamped);
std::string frames_table_row(const Frame& frame, bool stamped);
// The row of one frame up to its q-values (no newline), and the q-value
// columns with the newline.
std::string frames_table_row_start(const Frame& frame, bool stamped);
std::string frames_table_row_end(const PerTest<double>& qvalues);
// The whole table of a result's frames.
std::string frames_table(const Result& result, bool stamped);

// Writes the table as the analysis hands its frames on: the file is created
// with its header when the thresholds are known, the frames' rows are held
// until the last (their q-values need every p-value of the run), then
// written, and the file closed. A file that cannot be created or written is
// reported as every output file is (" **** Error writing file" and its name
// on the console and the error file) and fails the execution. A run that
// stops keeps the rows of the frames before the stop, as its report does,
// with q-values over those frames. The file is staged with the run's other
// files in `program`, and its failures reported there.
class FramesTableWriter : public AnalysisSink {
 public:
  FramesTableWriter(std::string path, bool stamped, Channels& program);
  ~FramesTableWriter() override;
  FramesTableWriter(const FramesTableWriter&) = delete;
  FramesTableWriter& operator=(const FramesTableWriter&) = delete;
  void diagnostic(const Message&) override {}
  void statistics(const DescriptiveStats&, const DescriptiveStats&) override {}
  void thresholds(const PerTest<float>& values, bool bootstrapped) override;
  void frame(const Frame& frame, std::span<const Message> messages) override;
  void finish(const PerTest<int>& counts, const CorrelationSummary* summary) override;

 private:
  // The rows held, with the q-values they get over them.
  void write_rows();

  Channel table_;
  bool stamped_;
  Channels& program_;
  std::string rows_;                   // the rows held, up to their q-values
  std::vector<std::size_t> row_ends_;  // where each ends in rows_
  std::vector<PerTest<double>> pvalues_;
};

}  // namespace vok
