// The frame engine and its writers: significance decisions, frame
// placement, the frame computation (clipping, constant frames, stops inside
// the fit), and whole runs compared with golden files of the report section,
// the frames file, the graph file and the xy graph file.
//
// Set VOK_UPDATE_GOLDEN=1 to rewrite the golden files from the current
// output; every rewritten file must be read and checked against the layouts
// before it is committed.
#include "frames/wind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

#include "frames/engine_run.h"
#include "output/failure.h"
#include "exec/parallel.h"

namespace vok {
namespace {

// ---------------------------------------------------------------------------
// Significance

TEST(Significance, StrictlyBelowTheThresholdOnly) {
  EXPECT_FALSE(significant(0.25f, 0.75f));        // p-value equals the threshold
  EXPECT_TRUE(significant(0.25f, 0.75000006f));   // next float up
  EXPECT_FALSE(significant(0.25f, 0.74999994f));  // next float down
  EXPECT_FALSE(significant(0.05f, 0.0f));         // p-value 1
  EXPECT_TRUE(significant(1.0f, 0.0001f));
  EXPECT_FALSE(significant(0.05f, std::numeric_limits<float>::quiet_NaN()));
}

TEST(Significance, HitsCountTheBicorrelationTestsOnly) {
  Frame f;
  f.cdf = {0.99f, 0.5f, 0.999f, 0.2f, 0.999f, 0.999f, 0.999f};
  const PerTest<float> alpha{0.05f, 0.05f, 0.05f, 0.05f, 0.05f, 0.05f, 0.05f};
  f.significant = judge(f.cdf, alpha);
  EXPECT_EQ(f.significant, (PerTest<bool>{true, false, true, false, true, true, true}));
  EXPECT_EQ(f.hits(), 2);

  f.cdf.hxxy = f.cdf.hxxx = 0.5f;  // only the correlation tests remain
  f.significant = judge(f.cdf, alpha);
  EXPECT_EQ(f.hits(), 0);
  EXPECT_TRUE(f.significant.cx && f.significant.cy && f.significant.cxy);

  // Each test is compared with its own threshold, in the fixed order.
  const PerTest<float> only_yyy{0.0f, 0.0f, 0.0f, 0.9f, 0.0f, 0.0f, 0.0f};
  f.significant = judge(f.cdf, only_yyy);
  EXPECT_EQ(f.significant, (PerTest<bool>{false, false, false, true, false, false, false}));
  EXPECT_EQ(f.hits(), 1);
}

// ---------------------------------------------------------------------------
// Data for the runs

// Uniform numbers on [-0.5, 0.5) from a fixed linear congruential sequence.
class Noise {
 public:
  explicit Noise(std::uint32_t seed) : state_(seed) {}
  float next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<float>(state_ >> 8) * (1.0f / 16777216.0f) - 0.5f;
  }

 private:
  std::uint32_t state_;
};

// How row t (1-based) of the y column depends on x.
enum class Link {
  none,     // y independent noise
  product,  // y(t) = 4 x(t-1) x(t-2) + 0.3 e(t): third-order cross dependence
  ar,       // x and y autoregressive (0.8), no cross dependence
};

// An n x K data matrix (stored by columns), x in column cx and y in column cy,
// the other columns noise; link(t) chooses the dependence of row t.
std::vector<float> make_data(int n, int K, int cx, int cy, std::uint32_t seed,
                             const std::function<Link(int)>& link) {
  Noise noise(seed);
  std::vector<float> m(static_cast<std::size_t>(n) * K);
  for (float& v : m) v = noise.next();
  float* x = m.data() + static_cast<std::size_t>(cx - 1) * n;
  float* y = m.data() + static_cast<std::size_t>(cy - 1) * n;
  for (int t = 1; t <= n; ++t) {
    switch (link(t)) {
      case Link::none:
        break;
      case Link::product:
        if (t > 2) y[t - 1] = 4.0f * x[t - 2] * x[t - 3] + 0.3f * y[t - 1];
        break;
      case Link::ar:
        if (t > 1) {
          x[t - 1] = 0.8f * x[t - 2] + x[t - 1];
          y[t - 1] = 0.8f * y[t - 2] + y[t - 1];
        }
        break;
    }
  }
  return m;
}

// Stamps that name their row: "2015-03-03 hh:mm:ss" with one second per row.
std::string stamp_text(int row) {
  char buf[32];
  const int s = 9 * 3600 + row;
  std::snprintf(buf, sizeof buf, "2015-03-03 %02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
  return buf;
}

struct StampTable {
  std::vector<std::string> stamps;
  explicit StampTable(int n) {
    for (int row = 1; row <= n; ++row) stamps.push_back(stamp_text(row) + " ");  // 20 chars
  }
  StampLookup lookup() const {
    return [this](int row) { return std::string_view(stamps.at(row - 1)); };
  }
};

// Every threshold at the nominal 5 %.
constexpr std::array<float, 7> kNominal{0.05f, 0.05f, 0.05f, 0.05f, 0.05f, 0.05f, 0.05f};

// A time run in frames of 120 with 5 lags, no fit, graphing on.
RunCase base_params() {
  return {.frame_length = 120,
          .lg = 5,
          .graphing = Graphing::on,
          .time_unit = "seconds",
          .thresholds = kNominal};
}

// ---------------------------------------------------------------------------
// Golden files

std::string golden_path(const std::string& name) {
  return std::string(VOK_TEST_DATA_DIR) + "/frames/golden/" + name;
}

void expect_golden(const std::string& name, const std::string& actual) {
  const std::string path = golden_path(name);
  if (const char* update = std::getenv("VOK_UPDATE_GOLDEN"); update && *update == '1') {
    std::ofstream(path, std::ios::binary) << actual;
    return;
  }
  std::ifstream in(path, std::ios::binary);
  ASSERT_TRUE(in) << "missing golden file " << path;
  std::stringstream want;
  want << in.rdbuf();
  EXPECT_EQ(actual, want.str()) << "differs from " << path;
}

void expect_goldens(const std::string& stem, const EngineRun& run) {
  expect_golden(stem + ".report", run.report.text());
  expect_golden(stem + ".frames", run.frames.text());
  expect_golden(stem + ".graph", run.graph.text());
  expect_golden(stem + ".xy", run.xy_graph.text());
}

// Time run without stamps, no VAR fit, 5 frames (too few for the summary).
// Frames 1 and 4 carry cross dependence, frame 3 has a constant x series
// (its tests are set to 0 with a message), frames 2 and 5 are noise. The
// last 20 rows belong to no frame. Interval 0.5: the frame lines show
// seconds.
TEST(WindGolden, TimeRunWithoutStampsOrFit) {
  const int n = 620, K = 2;
  std::vector<float> data = make_data(n, K, 1, 2, 11u, [](int t) {
    const int frame = (t - 1) / 120 + 1;
    return frame == 1 || frame == 4 ? Link::product : Link::none;
  });
  for (int t = 241; t <= 360; ++t) data[t - 1] = 0.25f;  // frame 3: x constant
  RunCase p = base_params();
  p.frames = 5;
  p.interval = 0.5f;
  EngineRun run;
  run.wind(p, data, n, K);
  expect_goldens("time_p0", run);
  EXPECT_EQ(run.series.size(), 5);
  EXPECT_EQ(run.series.xxy[2], 0.0f);
  EXPECT_EQ(run.console.text(), "");
}

// Stamped rows, VAR(2) fit with its residual statistics, residuals clipped to
// their signs; x and y from columns 3 and 1 of a three-column matrix.
TEST(WindGolden, StampedRunWithFitAndClipping) {
  const int n = 300, K = 3;
  const std::vector<float> data =
      make_data(n, K, 3, 1, 23u, [](int t) { return t <= 200 ? Link::product : Link::ar; });
  const StampTable stamps(n);
  const RunCase p{.cx = 3,
                  .cy = 1,
                  .frame_length = 100,
                  .lg = 4,
                  .frames = 3,
                  .var_lag = 2,
                  .stamps = RowStamps::stamped,
                  .transform = Transform::clip,
                  .graphing = Graphing::on,
                  .time_unit = "seconds",
                  .thresholds = kNominal};
  EngineRun run;
  run.wind(p, data, n, K, stamps.lookup());
  expect_goldens("stamped_p2_clip", run);
}

// Frequency run (rate 10 kHz), VAR(1), twelve frames of which ten carry
// cross dependence, with a strict Hxxy threshold of 0.001: ten significant
// Hxxy frames (more than 9), so the summary has its largest-xxy block over a
// true subset of the frames.
TEST(WindGolden, FrequencyRunWithSummary) {
  const int n = 1450, K = 2;
  const std::vector<float> data = make_data(n, K, 1, 2, 5u, [](int t) {
    const int frame = (t - 1) / 120 + 1;
    return frame == 4 || frame == 9 ? Link::none : Link::product;
  });
  RunCase p = base_params();
  p.frames = 12;
  p.var_lag = 1;
  p.unit = SampleUnit::frequency;
  p.interval = 10.0f;
  p.time_unit = "";
  p.thresholds[kHxxy] = 0.001f;
  EngineRun run;
  run.wind(p, data, n, K);
  expect_goldens("frequency_summary", run);
  EXPECT_EQ(run.counts.hxxy, 10);
  EXPECT_NE(run.report.text().find("Correlations for  10 largest xxy Statistics"),
            std::string::npos);
}

// Autoregressive series without cross dependence, bicorrelation thresholds
// of 0: frames significant only for correlation tests are counted but leave
// the frames file empty, and the report ends with the no-cross-stat line
// (no correlation summary, although there are 8 frames).
TEST(WindGolden, SignificantOnlyForCorrelationTests) {
  const int n = 960, K = 2;
  const std::vector<float> data = make_data(n, K, 1, 2, 7u, [](int) { return Link::ar; });
  RunCase p = base_params();
  p.frames = 8;  // enough frames for a summary, which is still not written
  p.thresholds = {0.0f, 0.0f, 0.0f, 0.0f, 0.05f, 0.05f, 0.05f};
  EngineRun run;
  run.wind(p, data, n, K);
  expect_goldens("correlation_only", run);
  EXPECT_GE(run.counts.cx, 1);
  EXPECT_EQ(run.frames.text(), "");
}

// ---------------------------------------------------------------------------
// Frame placement

// The stamps of the graph records name the first row of every frame.
std::vector<std::string> first_rows_in_graph(const std::string& graph) {
  std::vector<std::string> rows;
  std::istringstream in(graph);
  for (std::string line; std::getline(in, line);) {
    // SP I6 7(1X F7.4) 1X A20: the stamp starts in column 64.
    if (line.size() == 83) rows.push_back(line.substr(63, 19));
  }
  return rows;
}

// A stamped run of 1000 rows in frames of 300 rows with 10 lags, stepped by
// the overlap (0: end to end).
struct PlacedRun {
  static constexpr int n = 1000, K = 2;
  const std::vector<float> data = make_data(n, K, 1, 2, 3u, [](int) { return Link::product; });
  const StampTable stamps{n};
  RunCase params = base_params();
  EngineRun run;

  PlacedRun(int overlap, int frames) {
    params.frame_length = 300;
    params.lg = 10;
    params.frames = frames;
    params.overlap = overlap;
    params.stamps = RowStamps::stamped;
    run.wind(params, data, n, K, stamps.lookup());
  }
};

// The frame plan places frame k at row (k - 1) * step + 1 (step: the overlap,
// or the frame length when frames go end to end), and the graph records
// carry the stamps of those rows.
TEST(WindPlacement, FramesStartWhereThePlanPlacesThem) {
  struct Case {
    const char* name;
    int overlap;
    int frames;  // as the plan counts them
    int step;
  };
  const Case cases[] = {
      // Rows 1-300, 301-600, 601-900; the tail is unused.
      {"end to end", 0, 3, 300},
      // (1000 - 300 - 1) div 100 + 1 = 7 frames, the last ending at row 900.
      {"overlap 100", 100, 7, 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const FramePlan plan = FramePlan::of(1000, 300, c.overlap, 10);
    EXPECT_EQ(plan.frames, c.frames);
    std::vector<std::string> want;
    for (int k = 1; k <= c.frames; ++k) {
      EXPECT_EQ(plan.offset(k), (k - 1) * c.step);
      want.push_back(stamp_text((k - 1) * c.step + 1));
    }
    const PlacedRun placed(c.overlap, c.frames);
    EXPECT_EQ(first_rows_in_graph(placed.run.graph.text()), want);
  }
}

TEST(WindPlacement, FramesEndToEndLeaveTheTailUnused) {
  const PlacedRun placed(0, 3);
  // Every frame carries cross dependence: each has an entry whose frame line
  // shows its first and last row.
  const std::string& f = placed.run.frames.text();
  for (int k = 1; k <= 3; ++k) {
    const std::string line = " Frame    " + std::to_string(k) +
                             "  Start = " + stamp_text((k - 1) * 300 + 1) +
                             "    End = " + stamp_text(k * 300) + " \n";
    EXPECT_NE(f.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(f.find(stamp_text(901)), std::string::npos);
}

TEST(WindPlacement, AnOverlappingFrameIsTheFirstFrameOfShiftedRows) {
  const PlacedRun placed(100, 7);
  // Frame 2 holds rows 101-400: the same tests as the first frame of a data
  // matrix that starts at row 101.
  const int n = PlacedRun::n;
  const int rest = n - 100;
  std::vector<float> shifted(2 * rest);
  std::copy(placed.data.begin() + 100, placed.data.begin() + n, shifted.begin());
  std::copy(placed.data.begin() + n + 100, placed.data.end(), shifted.begin() + rest);
  RunCase single = placed.params;
  single.overlap = 0;
  single.frames = 3;
  const FrameOutcome first = compute_and_write(single, shifted, rest, 1).outcome;
  EXPECT_EQ(first.frame.cdf.hxxy, placed.run.series.xxy[1]);
  EXPECT_EQ(first.frame.cdf.cxy, placed.run.series.xy[1]);
  EXPECT_EQ(first.frame.sd_y, placed.run.series.vary[1]);
}

// ---------------------------------------------------------------------------

TEST(WindGraphing, OffLeavesThePlotFilesEmpty) {
  const int n = 480, K = 2;
  const std::vector<float> data = make_data(n, K, 1, 2, 11u, [](int) { return Link::product; });
  RunCase p = base_params();
  p.frames = 4;
  p.graphing = Graphing::off;
  EngineRun run;
  run.wind(p, data, n, K);
  EXPECT_EQ(run.frames.text(), "");
  EXPECT_EQ(run.graph.text(), "");
  EXPECT_EQ(run.xy_graph.text(), "");
  EXPECT_GE(run.counts.hxxy, 1);
  EXPECT_NE(run.report.text().find(" significant xxy frames"), std::string::npos);
}

// ---------------------------------------------------------------------------
// One frame

std::string lines(std::initializer_list<std::string> list) {
  std::string out;
  for (const std::string& l : list) out += l + "\n";
  return out;
}

RunCase one_frame(int frame_length, Transform transform) {
  RunCase p = base_params();
  p.frame_length = frame_length;
  p.lg = 2;
  p.frames = 1;
  p.transform = transform;
  return p;
}

// Rows first..last (1-based) of x and y (columns 1 and 2 of n rows) made
// collinear: x = +-1, y = 2x. The lag-0 moment matrix of a VAR(1) is then
// exactly (1, 2; 2, 4): its factorisation meets a zero pivot and the fit
// fails.
void make_singular(std::vector<float>& data, int n, int first, int last) {
  for (int t = first; t <= last; ++t) {
    data[t - 1] = (t * 7) % 3 == 0 ? -1.0f : 1.0f;
    data[n + t - 1] = 2.0f * data[t - 1];
  }
}

TEST(ComputeFrame, ClippingSendsZeroToPlusOneAndNaNToMinusOne) {
  const int n = 24;
  // x: zeros and negatives only, y: NaN and positives only. Clipped, both
  // alternate between +1 and -1; any other sign rule leaves one constant.
  std::vector<float> data(2 * n);
  Noise noise(9u);
  for (int t = 0; t < n; ++t) {
    data[t] = t % 3 == 0 ? 0.0f : -1.0f - noise.next();
    data[n + t] = t % 4 == 1 ? std::numeric_limits<float>::quiet_NaN() : 2.0f + noise.next();
  }
  RunCase p = one_frame(n, Transform::clip);
  const OneFrame out = compute_and_write(p, data, n, 1);
  EXPECT_FALSE(out.outcome.frame.degenerate);
  EXPECT_EQ(out.report_text, lines({"", "          Data is Hard Clipped to +1/-1"}));
  // Standard deviation of 8 values +1 and 16 values -1 (divisor 23).
  EXPECT_NEAR(out.outcome.frame.sd_x, std::sqrt(8.0f * 16.0f / 24.0f / 23.0f * 4.0f), 1e-6f);
  EXPECT_FALSE(std::isnan(out.outcome.frame.sd_y));

  // Unclipped, the NaN makes the frame degenerate.
  RunCase raw = one_frame(n, Transform::none);
  EXPECT_TRUE(compute_and_write(raw, data, n, 1).outcome.frame.degenerate);
}

TEST(ComputeFrame, ConstantSeriesMessageFollowsTheClippingLines) {
  const int n = 24;
  std::vector<float> data(2 * n);
  Noise noise(4u);
  for (int t = 0; t < n; ++t) {
    data[t] = 1.0f + noise.next();  // all positive: clipped to a constant +1
    data[n + t] = noise.next();
  }
  RunCase p = one_frame(n, Transform::clip);
  const OneFrame out = compute_and_write(p, data, n, 1);
  EXPECT_TRUE(out.outcome.frame.degenerate);
  EXPECT_EQ(out.outcome.frame.cdf.hxxy, 0.0f);
  EXPECT_EQ(out.report_text,
            lines({"", "          Data is Hard Clipped to +1/-1",
                   " Frame  1  has a constant or non-finite series; its tests are set to 0"}));
  EXPECT_EQ(out.outcome.frame.cross_correlations, std::vector<float>(5, 0.0f));
}

TEST(ComputeFrame, ResidualStatisticsFollowTheFitDisplay) {
  const int n = 240, K = 2;
  const std::vector<float> data = make_data(n, K, 1, 2, 17u, [](int) { return Link::ar; });
  RunCase p = base_params();
  p.var_lag = 1;
  p.frames = 2;
  const OneFrame out = compute_and_write(p, data, n, 2);
  const std::string& t = out.report_text;
  const std::size_t fit = t.find("R Square = ");
  const std::size_t x_heading = t.find("       Statistics of x Residuals - Frame      2\n");
  const std::size_t y_heading = t.find("       Statistics of y Residuals\n");
  ASSERT_NE(fit, std::string::npos);
  ASSERT_NE(x_heading, std::string::npos);
  ASSERT_NE(y_heading, std::string::npos);
  EXPECT_LT(fit, x_heading);
  EXPECT_LT(x_heading, y_heading);
  // The rule of 60 "=" stands right before the x heading.
  EXPECT_EQ(t.substr(x_heading - 61, 61), std::string(60, '=') + "\n");
}

// A frame whose x or y holds one value gets no VAR fit (which would fail on
// zeros, or standardise rounding noise on any other value): its residuals are
// its own values, described as usual (the constant column with its
// zero-variance line and a standard deviation of -1), and it is degenerate,
// never significant, whatever the VAR order, the value or clipping.
TEST(ComputeFrame, AConstantFrameGetsNoFitAndIsDegenerate) {
  const int n = 240, K = 2;
  struct Case {
    const char* what;
    int column;   // 1: x, 2: y
    float value;  // of rows 121-240 (frame 2)
    int var_lag;
    Transform transform;
  };
  const Case cases[] = {
      {"x stuck at 0, VAR(1)", 1, 0.0f, 1, Transform::none},
      {"x stuck at 0.1, VAR(2)", 1, 0.1f, 2, Transform::none},
      {"y stuck at -3.7, VAR(1)", 2, -3.7f, 1, Transform::none},
      {"x stuck at 1e6, VAR(1), clipped", 1, 1e6f, 1, Transform::clip},
      {"x stuck at 0.1, no VAR", 1, 0.1f, 0, Transform::none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<float> data = make_data(n, K, 1, 2, 17u, [](int) { return Link::product; });
    for (int t = 121; t <= 240; ++t) data[(c.column - 1) * n + t - 1] = c.value;
    RunCase p = base_params();
    p.var_lag = c.var_lag;
    p.transform = c.transform;
    p.frames = 2;
    p.thresholds = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f, 1.0f};  // all but p = 1 significant
    const OneFrame out = compute_and_write(p, data, n, 2);
    const Frame& f = out.outcome.frame;
    EXPECT_FALSE(out.outcome.stopped);
    EXPECT_FALSE(f.var_fit.has_value());
    EXPECT_TRUE(f.degenerate);
    EXPECT_EQ(f.cdf, PerTest<float>{});
    EXPECT_EQ(f.hits(), 0);
    for (vok::Test t : kTests) EXPECT_TRUE(std::isnan(f.pvalue[t]));
    EXPECT_EQ(f.cross_correlations, std::vector<float>(2 * p.lg + 1, 0.0f));
    EXPECT_EQ(out.report_text.find("R Square"), std::string::npos);
    EXPECT_NE(out.report_text.find(
                  " Frame  2  has a constant or non-finite series; its tests are set to 0"),
              std::string::npos);
    if (c.var_lag >= 1) {
      const std::optional<DescriptiveStats>& stuck = c.column == 1 ? f.x_residuals : f.y_residuals;
      ASSERT_TRUE(stuck.has_value());
      EXPECT_EQ(stuck->sd, -1.0f);
      EXPECT_EQ(stuck->mean, c.value);
      EXPECT_NE(out.report_text.find("Statistics of x Residuals - Frame      2"),
                std::string::npos);
    }
    // The frame before it is fitted and tested as usual.
    const OneFrame first = compute_and_write(p, data, n, 1);
    EXPECT_FALSE(first.outcome.frame.degenerate);
    EXPECT_EQ(first.outcome.frame.var_fit.has_value(), c.var_lag >= 1);
  }
}

// Values that are equal but for their sign (+0 and -0) are one value; a
// stretch that is stuck for part of a frame leaves the frame to its fit.
TEST(ComputeFrame, OnlyAFrameStuckThroughoutIsConstant) {
  const int n = 240, K = 2;
  std::vector<float> data = make_data(n, K, 1, 2, 17u, [](int) { return Link::none; });
  for (int t = 121; t <= 240; ++t) data[t - 1] = t % 2 ? 0.0f : -0.0f;
  for (int t = 1; t <= 100; ++t) data[t - 1] = 0.0f;  // frame 1: stuck for 100 of 120 rows
  RunCase p = base_params();
  p.var_lag = 1;
  p.frames = 2;
  const FrameJob job = p.job(data, n);
  FrameWork work(job.plan);
  const FrameOutcome first = compute_frame(job, 1, work);
  EXPECT_TRUE(first.frame.var_fit.has_value());
  EXPECT_FALSE(first.frame.degenerate);
  const FrameOutcome second = compute_frame(job, 2, work);
  EXPECT_FALSE(second.frame.var_fit.has_value());
  EXPECT_TRUE(second.frame.degenerate);
  EXPECT_TRUE(second.messages.empty() ||
              std::none_of(second.messages.begin(), second.messages.end(),
                           [](const Message& m) { return m.stage == Stage::var_fit; }));
  EXPECT_TRUE(testable(job.x, job.y, job.plan, 1));
  EXPECT_FALSE(testable(job.x, job.y, job.plan, 2));
}

// Whether any frame of a run can be tested: not when every frame has a
// constant series or a value that is not finite.
TEST(NothingToTest, EveryFrameConstantOrNotFinite) {
  const int n = 90, frame_length = 30;
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const float inf = std::numeric_limits<float>::infinity();
  struct Case {
    const char* what;
    std::function<void(std::vector<float>&, std::vector<float>&)> shape;
    bool nothing;
  };
  const Case cases[] = {
      {"every frame varies", [](auto&, auto&) {}, false},
      {"x constant throughout", [](auto& x, auto&) { std::fill(x.begin(), x.end(), 4.0f); }, true},
      {"x constant in frames 1, 2; y in 3",
       [](auto& x, auto& y) {
         std::fill(x.begin(), x.begin() + 60, 0.0f);
         std::fill(y.begin() + 60, y.end(), 2.0f);
       },
       true},
      {"frame 3 varies",
       [](auto& x, auto&) { std::fill(x.begin(), x.begin() + 60, 1.0f); }, false},
      {"a NaN in frame 1, an infinity in 2, x constant in 3",
       [nan, inf](auto& x, auto& y) {
         x[5] = nan;
         y[40] = inf;
         std::fill(x.begin() + 60, x.end(), -1.0f);
       },
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<float> x(n), y(n);
    for (int t = 0; t < n; ++t) {
      x[t] = std::sin(1.3f * t);
      y[t] = std::cos(0.7f * t * t);
    }
    c.shape(x, y);
    EXPECT_EQ(nothing_to_test(x, y, FramePlan::of(n, frame_length, 0, 3)), c.nothing);
  }
  EXPECT_FALSE(nothing_to_test({}, {}, FramePlan::of(0, frame_length, 0, 3)));  // no frame
}

// A frame whose fit fails keeps the fit's messages, tagged with the frame and
// its stage, and goes no further; the frame before it raised nothing.
TEST(ComputeFrame, AFailedFitComesBackAsTheFramesMessagesAndAStop) {
  const int n = 240, K = 2;
  std::vector<float> data = make_data(n, K, 1, 2, 17u, [](int) { return Link::none; });
  make_singular(data, n, 121, 240);
  RunCase p = base_params();
  p.var_lag = 1;
  p.frames = 2;
  const FrameJob job = p.job(data, n);
  FrameWork work(job.plan);
  const FrameOutcome first = compute_frame(job, 1, work);
  EXPECT_FALSE(first.stopped);
  EXPECT_TRUE(first.messages.empty());
  const FrameOutcome second = compute_frame(job, 2, work);
  EXPECT_TRUE(second.stopped);
  const std::vector<Message> want = {
      {MessageKind::cholesky_failed, Stage::var_fit, 2, {0, 0}},
      {MessageKind::var_fit_failed, Stage::var_fit, 2, {1, 0}},
  };
  EXPECT_EQ(second.messages, want);
  EXPECT_FALSE(second.frame.x_residuals.has_value());  // no statistics after the fit
}

TEST(WindStop, AFailedFitKeepsWhatTheFrameWroteAndStops) {
  CapturedChannels captured;
  const int n = 240, K = 2;
  std::vector<float> data = make_data(n, K, 1, 2, 17u, [](int) { return Link::none; });
  make_singular(data, n, 121, 240);
  RunCase p = base_params();
  p.var_lag = 1;
  p.frames = 2;
  EngineRun run;
  EXPECT_THROW(run.wind(p, data, n, K), Stop);
  const std::string& report = run.report.text();
  EXPECT_NE(report.find("Statistics of x Residuals - Frame      1"), std::string::npos);
  EXPECT_NE(report.find("DCHOLDC failed, A is not positive definite"), std::string::npos);
  EXPECT_NE(report.find("Error in subroutine Setvar"), std::string::npos);
  EXPECT_EQ(report.find("Statistics of x Residuals - Frame      2"), std::string::npos);
  EXPECT_EQ(report.find("#####"), std::string::npos);  // no counts block
}

}  // namespace
}  // namespace vok
