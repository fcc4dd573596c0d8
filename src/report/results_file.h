// A run's results as a machine-readable file (JSON) beside its report: the
// report's name with ".json" in place of ".out" (runA_1-_2.json). Written by
// the console program with --results, for each run that went through its
// frames; vok.run of the Python package builds its Results from them.
//
//   {"report": ..., "settings": {...}, "rows": ..., "lags": ..., "covered": ...,
//    "x_stats": {...}, "y_stats": {...}, "thresholds": {"Hxxy": ..., ...},
//    "bootstrapped": ..., "frames": [{...}, ...], "counts": {...},
//    "summary": null | {...}, "x_variance": {...}, "y_variance": {...},
//    "cautions": [{"kind": ..., "series": ..., "frames": ..., "count": ...,
//                  "figure": ..., "binomial_pvalue": ..., "advice": ..., "message": ...}],
//    "messages": [{"kind": ..., "stage": ..., "frame": ..., "numbers": [...], ...}]}
//
// Per-test values are objects keyed by test name, in kTests order. Every
// number reads back as the same value: a 64-bit value is the shortest text
// that reads back as it, and a 32-bit value the shortest text that reads
// back as its exact 64-bit widening (so a reader that parses numbers as
// doubles, as JSON readers do, gets the 32-bit value to the bit). NaN is
// null; an infinity is 1e999 or -1e999 (read as infinity).
#pragma once

#include <string>
#include <vector>

#include "output/channel.h"
#include "vok/sink.h"
#include "vok/vok.h"

namespace vok {

// The results file's name for a report name ("x.out" gives "x.json"; a name
// without ".out" gets ".json" added).
std::string results_file_name(const std::string& report_name);

// The whole file: the report's name, the run's settings and its result.
std::string results_json(const std::string& report_name, const Settings& settings,
                         const Result& result);

// The execution's list of the results files its runs wrote, in run order,
// written with them at the end of the execution (also one that stopped):
// {"results": ["runA_1-_2.json", ...]}. A reader finds the files of this
// execution there, and knows a file is missing when one it names is.
inline constexpr const char* kResultsIndexName = "Vok-results.json";
std::string results_index_json(const std::vector<std::string>& results_files);

// Keeps what the analysis hands on (a ResultCollector) and, once the run is
// complete, writes the file whole through a channel of its own (staged with
// the run's other files in `program`). A file that cannot be created or
// written is reported as every output file is and fails the execution; a
// run that stops before its end writes none.
class ResultsFileWriter : public AnalysisSink {
 public:
  ResultsFileWriter(std::string report_name, const Settings& settings, Channels& program);
  void diagnostic(const Message& d) override { collector_.diagnostic(d); }
  void statistics(const DescriptiveStats& x, const DescriptiveStats& y) override {
    collector_.statistics(x, y);
  }
  void thresholds(const PerTest<float>& values, bool bootstrapped) override {
    collector_.thresholds(values, bootstrapped);
  }
  void frame(const Frame& frame, std::span<const Message> diagnostics) override {
    collector_.frame(frame, diagnostics);
  }
  void finish(const PerTest<int>& counts, const CorrelationSummary* summary) override {
    collector_.finish(counts, summary);
  }
  // Completes the result with the frame plan the analysis followed (rows,
  // lags, covered rows) and writes the file.
  void write(const FramePlan& plan);

 private:
  std::string report_name_;
  Settings settings_;
  Channels& program_;
  ResultCollector collector_;
};

}  // namespace vok
