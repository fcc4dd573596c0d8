// The console program's writers of a run's analysis: the report's blocks
// from the descriptive statistics on, the frames file, the graph file and
// the xy graph file, each written as the analysis hands its results on, in
// the order and layout the files have always had.
#pragma once

#include "analysis/engine.h"
#include "frames/reports.h"
#include "output/channel.h"

namespace vok {

// Where a run is written.
struct RunChannels {
  Channel& report;
  Channel& frames;
  Channel& graph;
  Channel& xy_graph;
  Channel& console;
  Channel& error_file;
  Channel& standard_error;
};
// The program's own channels.
RunChannels program_run_channels();

class RunWriter : public AnalysisSink {
 public:
  RunWriter(const RunHeader& header, const Settings& settings, const RunChannels& out)
      : header_(header), settings_(settings), out_(out) {}

  void diagnostic(const Message& m) override;
  void statistics(const DescriptiveStats& x, const DescriptiveStats& y) override;
  void thresholds(const PerTest<float>& values, bool bootstrapped) override;
  void frame(const Frame& frame, std::span<const Message> messages) override;
  void finish(const PerTest<int>& counts, const CorrelationSummary* summary) override;

  // The counts once the run has finished.
  const PerTest<int>& counts() const { return counts_; }

 private:
  // The frame's messages raised in `stage`, in order.
  void raised(std::span<const Message> messages, Stage stage) const;

  const RunHeader& header_;
  const Settings& settings_;
  RunChannels out_;
  PerTest<int> counts_;
};

}  // namespace vok
