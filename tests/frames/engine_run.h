// A run of the frame engine through the console program's writers, as the
// frame tests describe it, with everything it writes captured.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <span>
#include <string>
#include <vector>

#include "analysis/engine.h"
#include "report/run_writer.h"
#include "frames/summary.h"
#include "frames/wind.h"
#include "output/failure.h"
#include "exec/parallel.h"

namespace vok {

// A run of the frame engine as these tests describe it: the matrix columns of
// x and y, the frames, the settings that shape a frame and the writers'.
struct RunCase {
  int cx = 1, cy = 2;       // 1-based data-matrix columns of x and y
  int frame_length = 0;
  int lg = 0;               // lags
  int frames = 0;           // frame count the plan must give
  int var_lag = 0;          // VAR order
  int overlap = 0;
  RowStamps stamps = RowStamps::none;
  Transform transform = Transform::none;
  Graphing graphing = Graphing::off;
  SampleUnit unit = SampleUnit::time;
  float interval = 1.0f;
  std::string time_unit;
  std::array<float, 7> thresholds{};  // Hxxy, Hyyx, Hxxx, Hyyy, Cx, Cy, Cxy
  int threads = 1;                    // threads the frames are computed on

  // The plan of n rows; its frame count must be the one given.
  FramePlan plan(int n) const {
    FramePlan plan = FramePlan::of(n, frame_length, overlap, lg);
    EXPECT_EQ(plan.frames, frames) << "the test's frame count disagrees with the plan";
    return plan;
  }
  FrameJob job(const std::vector<float>& data, int n) const {
    const auto& t = thresholds;
    return FrameJob::of(
        std::span<const float>(data).subspan(static_cast<std::size_t>(cx - 1) * n, n),
        std::span<const float>(data).subspan(static_cast<std::size_t>(cy - 1) * n, n), plan(n),
        settings(), {t[0], t[1], t[2], t[3], t[4], t[5], t[6]});
  }
  RunHeader header(int n) const {
    RunHeader h;
    h.clock = {unit, interval, time_unit, stamps};
    h.transform = transform;
    h.plan = plan(n);
    h.var_lag = var_lag;
    h.cx = cx;
    h.cy = cy;
    h.graphing = graphing;
    return h;
  }
  Settings settings() const {
    Settings s;
    s.frame_length = frame_length;
    s.var_lag = var_lag;
    s.overlap = overlap;
    s.transform = transform;
    return s;
  }
};

// Captured output of one run of the frame engine through the writers, with
// the per-frame series and the counts.
struct EngineRun : RunWriter {
  Channel report, frames, graph, xy_graph, console, error_file, standard_error;
  RunHeader run_header;
  Settings run_settings;
  PerFrameSeries series;
  PerTest<int> counts;

  EngineRun() : RunWriter(run_header, run_settings, {report, frames, graph, xy_graph, console,
                                                      error_file, standard_error}) {
    for (Channel* c : {&report, &frames, &graph, &xy_graph, &console, &error_file}) c->capture();
  }
  void frame(const Frame& f, std::span<const Message> messages) override {
    series.set(f.number, f);
    RunWriter::frame(f, messages);
  }
  void finish(const PerTest<int>& c, const CorrelationSummary* summary) override {
    counts = c;
    RunWriter::finish(c, summary);
  }
  void wind(const RunCase& p, const std::vector<float>& data, int n, int K,
            const StampLookup& stamps = nullptr) {
    (void)K;
    run_header = p.header(n);
    run_settings = p.settings();
    series = PerFrameSeries(p.frames);
    try {
      analyse_frames(p.job(data, n), stamps, *this, EngineOptions{.threads = p.threads});
    } catch (const AnalysisStopped&) {
      throw Stop{};
    }
  }
};

// Frame k computed alone, and the lines the writers give it (for a frame
// that stops, its messages, as the engine hands them on).
struct OneFrame {
  FrameOutcome outcome;
  std::string report_text, console_text, error_text;
};
inline OneFrame compute_and_write(const RunCase& p, const std::vector<float>& data, int n, int k) {
  const FrameJob job = p.job(data, n);
  FrameWork work(job.plan);
  OneFrame out{compute_frame(job, k, work), "", "", ""};
  out.outcome.frame.significant = judge(out.outcome.frame.cdf, job.thresholds);
  EngineRun run;
  run.run_header = p.header(n);
  run.run_header.graphing = Graphing::off;
  run.run_settings = p.settings();
  if (out.outcome.stopped) {
    for (const Message& m : out.outcome.messages) run.diagnostic(m);
  } else {
    run.RunWriter::frame(out.outcome.frame, out.outcome.messages);
  }
  out.report_text = run.report.text();
  out.console_text = run.console.text();
  out.error_text = run.error_file.text();
  return out;
}

}  // namespace vok
