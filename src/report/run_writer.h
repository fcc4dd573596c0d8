// The console program's writers of a run's analysis: the report's blocks
// from the descriptive statistics on, the frames file, the graph file and
// the xy graph file, each written as the analysis hands its results on, in
// the order and layout the files have always had.
#pragma once

#include <memory>
#include <vector>

#include "output/channel.h"
#include "report/frame_lines.h"
#include "vok/sink.h"

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
// The channels of a run of the program that `program` holds.
RunChannels program_run_channels(Channels& program);

// A frame's lines are formatted apart from the writing: frames handed on
// are kept in a batch, formatted side by side on `threads` threads into
// memory and written in frame order, each frame as soon as it and those
// before it are formatted, once the batch is full or anything else is to be
// written. Every file receives what one frame after the other would have
// written.
class RunWriter : public AnalysisSink {
 public:
  RunWriter(const RunHeader& header, const Settings& settings, const RunChannels& out,
            int threads = 1);
  ~RunWriter() override;
  RunWriter(const RunWriter&) = delete;
  RunWriter& operator=(const RunWriter&) = delete;

  void diagnostic(const Message& m) override;
  void statistics(const DescriptiveStats& x, const DescriptiveStats& y) override;
  void thresholds(const PerTest<float>& values, bool bootstrapped) override;
  void frame(const Frame& frame, std::span<const Message> diagnostics) override;
  void finish(const PerTest<int>& counts, const CorrelationSummary* summary) override;

  // The counts once the run has finished.
  const PerTest<int>& counts() const { return counts_; }

 private:
  struct Formatted;  // one frame's lines, per channel
  struct Pending {
    Frame frame;
    std::vector<Message> diagnostics;
  };

  // Writes the frame's lines on `out`.
  void write_frame(const Frame& f, std::span<const Message> diagnostics,
                   const RunChannels& out) const;
  // Formats the frames kept and writes them, in order.
  void write_pending();

  const RunHeader& header_;
  const Settings& settings_;
  RunChannels out_;
  int threads_;
  PerTest<int> counts_;
  std::vector<Pending> pending_;
  std::vector<std::unique_ptr<Formatted>> formatted_;  // reused from batch to batch
};

}  // namespace vok
