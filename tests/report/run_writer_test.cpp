// The run writer formats a batch of frames side by side: every file must
// receive what one frame after the other writes, whatever the threads, with
// the lines of messages and of the blocks around the frames in their place.
#include "report/run_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "vok/vok.h"

namespace vok {
namespace {

struct Written {
  Channel report{"report"}, frames{"frames"}, graph{"graph"}, xy_graph{"xy"}, console{"console"},
      error_file{"error"}, standard_error{"stderr"};
  Written() {
    for (Channel* c : {&report, &frames, &graph, &xy_graph, &console, &error_file, &standard_error})
      c->capture();
  }
  RunChannels run_channels() {
    return {report, frames, graph, xy_graph, console, error_file, standard_error};
  }
  std::vector<std::string> texts() const {
    return {report.text(),  frames.text(),     graph.text(),          xy_graph.text(),
            console.text(), error_file.text(), standard_error.text()};
  }
};

// A message of kind `kind` raised in frame k's `stage`, with k among its
// numbers so that each frame's lines differ.
Message message(int k, Stage stage, MessageKind kind) {
  return {kind, stage, k, {static_cast<double>(k), 3.0}};
}

class RunWriterBatches : public testing::Test {
 protected:
  void SetUp() override {
    std::vector<float> x, y;
    for (int i = 1; i <= 40 * 150; ++i) {
      x.push_back(std::sin(0.9f * i) + 0.3f * std::cos(2.3f * i * i));
      y.push_back(std::cos(0.37f * i * i) + 0.2f * x.back() * (i % 3 == 0 ? x.back() : 1.0f));
    }
    settings.frame_length = 40;
    settings.var_lag = 1;
    settings.threads = 1;
    result = analyse(x, y, settings);
    header.plan = FramePlan::of(static_cast<int>(x.size()), 40, 0, result.lags);
    header.var_lag = 1;
    header.graphing = Graphing::on;
  }

  // Everything a run hands on, with messages of several frames and one of
  // the run between frames `between` and `between + 1`. With `stop_after`,
  // the writer goes out of scope after that frame, as when an exception
  // ends the analysis.
  std::vector<std::string> write(int threads, int between, int stop_after = 0) {
    Written out;
    {
      RunWriter writer(header, settings, out.run_channels(), threads);
      writer.statistics(result.x_stats, result.y_stats);
      writer.thresholds(result.thresholds, false);
      for (const Frame& f : result.frames) {
        std::vector<Message> raised;
        if (f.number % 7 == 0) {
          raised.push_back(message(f.number, Stage::tests, MessageKind::cdchi_x_not_positive));
          raised.push_back(
              message(f.number, Stage::var_fit, MessageKind::cholesky_failed));
          raised.push_back(
              message(f.number, Stage::y_residuals, MessageKind::stat_no_variance));
        }
        writer.frame(f, raised);
        if (f.number == between)
          writer.diagnostic({MessageKind::sort_single_value, Stage::run, 0, {1.0, 0.0}});
        if (f.number == stop_after) break;
      }
      if (stop_after == 0)
        writer.finish(result.counts, result.summary ? &*result.summary : nullptr);
    }
    return out.texts();
  }

  Settings settings;
  Result result;
  RunHeader header;
};

TEST_F(RunWriterBatches, EveryFileAsFrameByFrameForAnyThreads) {
  ASSERT_EQ(result.frames.size(), 150u);
  const std::vector<std::string> one = write(1, 101);
  ASSERT_NE((one[1] + one[4] + one[6]).find("fractiles set to x since n=1"), std::string::npos);
  ASSERT_NE(one[2].size(), 0u);  // the graph file has its records
  for (int threads : {2, 3, 8}) {
    SCOPED_TRACE(threads);
    EXPECT_EQ(write(threads, 101), one);
  }
}

TEST_F(RunWriterBatches, FramesHandedOnAreWrittenWhenTheAnalysisEndsEarly) {
  // The writer is destroyed with frames 1..70 handed on and no finish.
  const std::vector<std::string> one = write(1, 0, 70);
  ASSERT_NE(one[0].find("Frame     70"), std::string::npos) << one[0].substr(0, 2000);
  EXPECT_EQ(write(3, 0, 70), one);
}

}  // namespace
}  // namespace vok
