// The frame engine on several threads: frames are computed side by side and
// written in frame order, so every channel receives the same text for any
// thread count, and a run that stops at a frame writes exactly what a
// frame-by-frame run writes: everything of the frames before it, then the
// messages of that frame alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "frames/engine_run.h"
#include "output/failure.h"
#include "output/free_format.h"
#include "exec/parallel.h"

namespace vok {
namespace {

constexpr int kThreadCounts[] = {1, 2, 3, 8};

class WindThreads : public ::testing::Test {};

// Two columns of n rows, stored by columns: x a skewed AR(1) series, y noise
// plus, in every other frame of `frame_length` rows, a product of past x
// values, so some frames are significant and fill the frames file and others
// are not.
std::vector<float> random_data(int n, int frame_length, unsigned seed) {
  std::mt19937 gen(seed);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::vector<float> m(2 * static_cast<std::size_t>(n));
  float* x = m.data();
  float* y = m.data() + n;
  for (int t = 0; t < n; ++t) {
    const float e = u(gen);
    x[t] = (t > 0 ? 0.4f * x[t - 1] : 0.0f) + e * std::abs(e);
    y[t] = u(gen);
    if ((t / frame_length) % 2 == 0 && t >= 2) y[t] += 3.0f * x[t - 1] * x[t - 2];
  }
  return m;
}

// Stamps "2020-01-01 hh:mm:ss " naming their row.
struct Stamps {
  std::vector<std::string> text;
  explicit Stamps(int n) {
    char buf[32];
    for (int row = 1; row <= n; ++row) {
      std::snprintf(buf, sizeof buf, "2020-01-01 %02d:%02d:%02d ", row / 3600 % 24, row / 60 % 60,
                    row % 60);
      text.emplace_back(buf);
    }
  }
  StampLookup lookup() const {
    return [this](int row) { return std::string_view(text.at(row - 1)); };
  }
};

// Everything one run of the engine leaves behind.
struct WindRun : EngineRun {
  bool stopped = false;
  void wind(const RunCase& p, const std::vector<float>& data, int n, const StampLookup& stamps,
            int threads) {
    RunCase on_threads = p;
    on_threads.threads = threads;
    try {
      EngineRun::wind(on_threads, data, n, 2, stamps);
    } catch (const Stop&) {
      stopped = true;
    }
  }
};

void expect_same(const WindRun& a, const WindRun& b) {
  EXPECT_EQ(a.stopped, b.stopped);
  EXPECT_EQ(a.report.text(), b.report.text());
  EXPECT_EQ(a.frames.text(), b.frames.text());
  EXPECT_EQ(a.graph.text(), b.graph.text());
  EXPECT_EQ(a.xy_graph.text(), b.xy_graph.text());
  EXPECT_EQ(a.console.text(), b.console.text());
  EXPECT_EQ(a.error_file.text(), b.error_file.text());
  EXPECT_EQ(a.counts, b.counts);
  EXPECT_EQ(a.series.xxy, b.series.xxy);
  EXPECT_EQ(a.series.vary, b.series.vary);
}

struct Case {
  const char* name;
  int var_lag;
  Transform transform;
  RowStamps stamps;
  int overlap;
};

RunCase params_for(const Case& c, int frames, int frame_length) {
  RunCase p;
  p.frame_length = frame_length;
  p.lg = 4;
  p.frames = frames;
  p.var_lag = c.var_lag;
  p.overlap = c.overlap;
  p.stamps = c.stamps;
  p.transform = c.transform;
  p.graphing = Graphing::on;
  p.time_unit = "seconds";
  p.thresholds.fill(0.05f);
  return p;
}

// More frames than the window of frames in flight for 2 or 3 threads, so
// frames wait their turn and the window wraps; enough for the correlation
// summary. Frame 7 has a constant x (without a fit, its tests are set to 0
// with a message in its text).
TEST_F(WindThreads, EveryChannelIsTheSameForAnyThreadCount) {
  const Case cases[] = {
      {"p0", 0, Transform::none, RowStamps::none, 0},
      {"p1 clipped, stamped", 1, Transform::clip, RowStamps::stamped, 0},
      {"p2 stamped", 2, Transform::none, RowStamps::stamped, 0},
      {"p2 clipped, stamped, overlapping", 2, Transform::clip, RowStamps::stamped, 60},
  };
  const int frame_length = 100, frames = 40;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const int n =
        c.overlap > 0 ? frame_length + (frames - 1) * c.overlap + 7 : frames * frame_length + 13;
    std::vector<float> data = random_data(n, frame_length, 99u);
    const int constant_from = FramePlan::of(n, frame_length, c.overlap, 4).offset(7);
    for (int t = constant_from; t < constant_from + frame_length; ++t) data[t] = 0.5f;
    const Stamps stamps(n);
    const RunCase p = params_for(c, frames, frame_length);

    WindRun first;
    first.wind(p, data, n, stamps.lookup(), 1);
    ASSERT_FALSE(first.stopped);
    // The run exercises what is to be compared.
    EXPECT_NE(first.frames.text(), "");
    EXPECT_NE(first.graph.text(), "");
    const std::string& report = first.report.text();
    if (c.var_lag == 0) {
      EXPECT_NE(report.find("Frame  7  has a constant"), std::string::npos);
    } else {
      EXPECT_NE(report.find("Statistics of x Residuals - Frame     40"), std::string::npos);
    }

    for (int threads : kThreadCounts) {
      SCOPED_TRACE(threads);
      WindRun other;
      other.wind(p, data, n, stamps.lookup(), threads);
      expect_same(other, first);
    }
  }
}

// x = +-1 and y = 2x in the given frames: collinear columns, whose VAR fit
// fails ("DCHOLDC failed") and stops the program.
std::vector<float> data_failing_in(std::initializer_list<int> failing, int n, int frame_length) {
  std::vector<float> data = random_data(n, frame_length, 5u);
  for (int k : failing) {
    for (int t = (k - 1) * frame_length; t < k * frame_length; ++t) {
      data[t] = t % 3 ? 1.0f : -1.0f;
      data[n + t] = 2.0f * data[t];
    }
  }
  return data;
}

TEST_F(WindThreads, ComputeFrameKeepsTheMessagesOfAStopAndWritesNowhere) {
  CapturedChannels program;
  const int frame_length = 100, n = 300;
  const std::vector<float> data = data_failing_in({2}, n, frame_length);
  RunCase p = params_for({"", 1, Transform::none, RowStamps::none, 0}, 3, frame_length);
  const OneFrame good = compute_and_write(p, data, n, 1);
  EXPECT_FALSE(good.outcome.stopped);
  EXPECT_EQ(good.console_text, "");
  EXPECT_EQ(good.error_text, "");

  const OneFrame bad = compute_and_write(p, data, n, 2);
  ASSERT_TRUE(bad.outcome.stopped);
  const std::string setvar = free_format({"Error in subroutine Setvar ", 1}) + "\n";
  EXPECT_EQ(bad.report_text, " DCHOLDC failed, A is not positive definite\n" + setvar);
  EXPECT_EQ(bad.console_text, setvar);
  EXPECT_EQ(bad.error_text, setvar);
  // Nothing reached the program's own channels.
  EXPECT_EQ(program.console(), "");
  EXPECT_EQ(program.standard_error(), "");
}

// Frames after the first failing one may already be computed (and may fail
// too) when it is written; none of what they wrote may appear. The expected
// output is built frame by frame from compute_frame.
TEST_F(WindThreads, OnlyTheFirstFailingFrameIsWrittenForAnyThreadCount) {
  struct Failing {
    std::initializer_list<int> frames;
    int first;
  };
  const Failing table[] = {{{3, 5}, 3}, {{1, 2}, 1}, {{12}, 12}, {{4, 5, 6, 7, 8, 9, 10}, 4}};
  const int frame_length = 100, frames = 12, n = frames * frame_length;
  const Stamps stamps(n);
  for (const Failing& f : table) {
    SCOPED_TRACE(f.first);
    const std::vector<float> data = data_failing_in(f.frames, n, frame_length);
    const RunCase p = params_for({"", 2, Transform::none, RowStamps::stamped, 0}, frames, frame_length);

    std::string report;
    OneFrame last;
    for (int k = 1; k <= f.first; ++k) {
      last = compute_and_write(p, data, n, k);
      report += last.report_text;
      ASSERT_EQ(last.outcome.stopped, k == f.first);
    }

    for (int threads : kThreadCounts) {
      SCOPED_TRACE(threads);
      CapturedChannels program;
      WindRun run;
      run.wind(p, data, n, stamps.lookup(), threads);
      EXPECT_TRUE(run.stopped);
      EXPECT_EQ(run.report.text(), report);
      EXPECT_EQ(run.console.text(), last.console_text);
      EXPECT_EQ(run.error_file.text(), last.error_text);
      // One graph and xy record per frame before the failing one, no caption.
      const auto count_lines = [](const std::string& s) {
        return static_cast<int>(std::count(s.begin(), s.end(), '\n'));
      };
      EXPECT_EQ(count_lines(run.graph.text()), f.first - 1);
      EXPECT_EQ(count_lines(run.xy_graph.text()), f.first - 1);
      EXPECT_EQ(program.console(), "");
    }
  }
}

}  // namespace
}  // namespace vok
