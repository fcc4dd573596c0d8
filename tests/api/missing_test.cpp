// Series with missing rows: where plan_rows puts the frames under each
// policy, and analyse_with_missing against vok::analyse of the rows kept.
#include "vok/missing.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "vok/vok.h"

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// A mask of `rows` rows, true inside each [first, last] (0-based) range.
std::unique_ptr<bool[]> mask_of(int rows, std::initializer_list<std::pair<int, int>> ranges) {
  std::unique_ptr<bool[]> mask(new bool[static_cast<std::size_t>(rows)]());
  for (const auto& [first, last] : ranges)
    for (int i = first; i <= last; ++i) mask[static_cast<std::size_t>(i)] = true;
  return mask;
}

TEST(PlanRows, PlacesFramesUnderEachPolicy) {
  // 57 rows: 3 missing at the start, 30 kept (rows 4-33), 4 missing, 20 kept
  // (rows 38-57).
  const auto mask = mask_of(57, {{0, 2}, {33, 36}});
  struct Case {
    vok::Missing policy;
    int overlap;
    std::vector<vok::FramePlace> frames;  // start, first_row, last_row, rows_dropped
  };
  const Case cases[] = {
      // The 50 kept rows as one series: frame 3 spans the gap.
      {vok::Missing::drop, 0, {{0, 4, 15, 0}, {12, 16, 27, 0}, {24, 28, 43, 4}, {36, 44, 55, 0}}},
      // Each run on its own: 30 rows give 2 frames (6 rows left), 20 rows 1.
      {vok::Missing::split, 0, {{0, 4, 15, 0}, {12, 16, 27, 0}, {30, 38, 49, 0}}},
      // A new frame every 6 rows, restarting at the second run.
      {vok::Missing::split,
       6,
       {{0, 4, 15, 0}, {6, 10, 21, 0}, {12, 16, 27, 0}, {30, 38, 49, 0}, {36, 44, 55, 0}}},
  };
  for (const Case& c : cases) {
    vok::Settings s;
    s.frame_length = 12;
    s.exponent = 0.5f;
    s.overlap = c.overlap;
    const vok::RowPlan plan = vok::plan_rows({mask.get(), 57}, c.policy, s);
    ASSERT_EQ(plan.kept.size(), 50u);
    EXPECT_EQ(plan.kept.front(), 3);
    EXPECT_EQ(plan.kept[30], 37);
    EXPECT_EQ(plan.lags, 3);
    EXPECT_EQ(plan.frames, c.frames)
        << "policy " << static_cast<int>(c.policy) << " overlap " << c.overlap;
  }
}

TEST(PlanRows, EdgesOfTheMask) {
  vok::Settings s;
  s.frame_length = 12;
  // No missing row: the plan of the whole series.
  const auto none = mask_of(30, {});
  for (vok::Missing policy : {vok::Missing::drop, vok::Missing::split}) {
    const vok::RowPlan plan = vok::plan_rows({none.get(), 30}, policy, s);
    EXPECT_EQ(plan.kept.size(), 30u);
    EXPECT_EQ(plan.frames, (std::vector<vok::FramePlace>{{0, 1, 12, 0}, {12, 13, 24, 0}}));
  }
  // Every row missing, or runs each shorter than a frame: no frame, no error.
  const auto all = mask_of(30, {{0, 29}});
  EXPECT_TRUE(vok::plan_rows({all.get(), 30}, vok::Missing::drop, s).frames.empty());
  const auto every_tenth = mask_of(40, {{9, 9}, {19, 19}, {29, 29}});
  EXPECT_TRUE(vok::plan_rows({every_tenth.get(), 40}, vok::Missing::split, s).frames.empty());
  EXPECT_EQ(vok::plan_rows({every_tenth.get(), 40}, vok::Missing::drop, s).frames.size(), 3u);
  // A bad setting is refused as Settings::check refuses it.
  s.frame_length = 5;
  EXPECT_THROW(vok::plan_rows({none.get(), 30}, vok::Missing::drop, s), vok::Error);
}

struct Series {
  std::vector<float> x, y;
};

Series example_data() {
  std::ifstream in(std::string(VOK_SOURCE_DIR) + "/examples/example.dat");
  std::string line;
  std::getline(in, line);
  std::getline(in, line);
  Series s;
  float x, y;
  while (in >> x >> y) {
    s.x.push_back(x);
    s.y.push_back(y);
  }
  return s;
}

// The example's rows with x missing in its first 50 rows (a late start) and
// y in rows 1000-1119 (a gap).
Series with_gaps(const Series& data) {
  Series s = data;
  for (int i = 0; i < 50; ++i) s.x[static_cast<std::size_t>(i)] = kNaN;
  for (int i = 1000; i < 1120; ++i) s.y[static_cast<std::size_t>(i)] = kNaN;
  return s;
}

// The rows [first, last) of a series.
std::vector<float> rows(const std::vector<float>& v, std::size_t first, std::size_t last) {
  return {v.begin() + static_cast<std::ptrdiff_t>(first),
          v.begin() + static_cast<std::ptrdiff_t>(last)};
}

std::vector<float> joined(const std::vector<float>& v) {
  std::vector<float> out = rows(v, 50, 1000);
  const std::vector<float> rest = rows(v, 1120, v.size());
  out.insert(out.end(), rest.begin(), rest.end());
  return out;
}

vok::Settings example_settings() {
  vok::Settings s;
  s.frame_length = 200;
  s.var_lag = 1;
  s.resamples = 40;
  s.threads = 2;
  return s;
}

// Everything a frame's tests give.
void expect_same_tests(const vok::Frame& a, const vok::Frame& b) {
  EXPECT_EQ(a.statistic, b.statistic);
  EXPECT_EQ(a.df, b.df);
  EXPECT_EQ(a.cdf, b.cdf);
  EXPECT_EQ(a.significant, b.significant);
  EXPECT_EQ(a.cross_correlations, b.cross_correlations);
  EXPECT_EQ(a.sd_x, b.sd_x);
  EXPECT_EQ(a.variance_pvalue_x, b.variance_pvalue_x);
}

TEST(AnalyseWithMissing, WithoutMissingRowsItIsTheAnalysis) {
  const Series data = example_data();
  const vok::Result plain = vok::analyse(data.x, data.y, example_settings());
  for (vok::Missing policy : {vok::Missing::drop, vok::Missing::split}) {
    const vok::Result r = vok::analyse_with_missing(data.x, data.y, example_settings(), policy);
    ASSERT_EQ(r.frames.size(), plain.frames.size());
    EXPECT_EQ(r.thresholds, plain.thresholds);
    EXPECT_EQ(r.x_stats, plain.x_stats);
    EXPECT_EQ(r.counts, plain.counts);
    EXPECT_EQ(r.rows, plain.rows);
    for (std::size_t k = 0; k < r.frames.size(); ++k) {
      expect_same_tests(r.frames[k], plain.frames[k]);
      EXPECT_EQ(r.frames[k].first_row, plain.frames[k].first_row);
      EXPECT_EQ(r.frames[k].last_row, plain.frames[k].last_row);
      EXPECT_EQ(r.frames[k].rows_dropped, 0);
      EXPECT_EQ(r.frames[k].qvalue, plain.frames[k].qvalue);
    }
  }
}

TEST(AnalyseWithMissing, DropAnalysesTheKeptRowsJoinedUp) {
  const Series gapped = with_gaps(example_data());
  const Series kept{joined(gapped.x), joined(gapped.y)};
  const vok::Result plain = vok::analyse(kept.x, kept.y, example_settings());
  const vok::Result r =
      vok::analyse_with_missing(gapped.x, gapped.y, example_settings(), vok::Missing::drop);
  EXPECT_EQ(r.rows, 2230);
  EXPECT_EQ(r.thresholds, plain.thresholds);
  EXPECT_EQ(r.x_stats, plain.x_stats);
  ASSERT_EQ(r.frames.size(), 11u);
  for (std::size_t k = 0; k < r.frames.size(); ++k) expect_same_tests(r.frames[k], plain.frames[k]);
  // Rows of the series as given: frame 5 holds kept rows 801-1000, rows
  // 851-1000 and 1121-1170, the 120 missing rows inside it.
  EXPECT_EQ(r.frames[0].first_row, 51);
  EXPECT_EQ(r.frames[0].rows_dropped, 0);
  EXPECT_EQ(r.frames[4].first_row, 851);
  EXPECT_EQ(r.frames[4].last_row, 1170);
  EXPECT_EQ(r.frames[4].rows_dropped, 120);
  EXPECT_EQ(r.frames[10].last_row, 2370);
}

TEST(AnalyseWithMissing, SplitRestartsTheFramesAfterAGap) {
  const Series gapped = with_gaps(example_data());
  const vok::Result split =
      vok::analyse_with_missing(gapped.x, gapped.y, example_settings(), vok::Missing::split);
  const vok::Result drop =
      vok::analyse_with_missing(gapped.x, gapped.y, example_settings(), vok::Missing::drop);
  // Rows 51-1000 give 4 frames (150 rows left), rows 1121-2400 give 6.
  ASSERT_EQ(split.frames.size(), 10u);
  const int first_rows[] = {51, 251, 451, 651, 1121, 1321, 1521, 1721, 1921, 2121};
  for (std::size_t k = 0; k < 10; ++k) {
    const vok::Frame& f = split.frames[k];
    EXPECT_EQ(f.number, static_cast<int>(k) + 1);
    EXPECT_EQ(f.first_row, first_rows[k]);
    EXPECT_EQ(f.last_row, first_rows[k] + 199);
    EXPECT_EQ(f.rows_dropped, 0);
  }
  // The statistics and the thresholds are those of the rows kept, as drop's.
  EXPECT_EQ(split.rows, drop.rows);
  EXPECT_EQ(split.thresholds, drop.thresholds);
  EXPECT_EQ(split.x_stats, drop.x_stats);
  EXPECT_EQ(split.y_stats, drop.y_stats);
  // A frame's tests are those of its own rows: frame 5 is the analysis of
  // rows 1121-1320 alone, judged against the same thresholds.
  vok::Settings alone = example_settings();
  alone.resamples = 0;
  alone.false_alarm = split.thresholds.hxxy;
  const vok::Result rows_alone =
      vok::analyse(rows(gapped.x, 1120, 1320), rows(gapped.y, 1120, 1320), alone);
  EXPECT_EQ(split.frames[4].statistic, rows_alone.frames[0].statistic);
  EXPECT_EQ(split.frames[4].cdf, rows_alone.frames[0].cdf);
  EXPECT_EQ(split.frames[4].cross_correlations, rows_alone.frames[0].cross_correlations);
}

TEST(AnalyseWithMissing, StampsAreThoseOfTheRowsAsGiven) {
  const Series gapped = with_gaps(example_data());
  std::vector<std::string> stamps;
  for (std::size_t i = 0; i < gapped.x.size(); ++i) stamps.push_back("t" + std::to_string(i + 1));
  vok::Settings s = example_settings();
  s.resamples = 0;
  const vok::Result r =
      vok::analyse_with_missing(gapped.x, gapped.y, s, vok::Missing::drop, stamps);
  EXPECT_EQ(r.frames[4].first_stamp, "t851");
  EXPECT_EQ(r.frames[4].last_stamp, "t1170");
}

TEST(AnalyseWithMissing, RefusalsNameTheRowsAsGiven) {
  const Series gapped = with_gaps(example_data());
  vok::Settings s = example_settings();
  s.resamples = 0;
  struct Case {
    const char* what;
    std::vector<float> x, y;
    vok::Settings settings;
    vok::Missing policy;
    std::vector<std::string> stamps;
    std::string message;
  };
  Series infinite = gapped;
  infinite.y[1500] = std::numeric_limits<float>::infinity();
  Series negative = gapped;
  for (float& v : negative.x) v = std::isnan(v) ? v : std::fabs(v) + 1.0f;
  for (float& v : negative.y) v = std::isnan(v) ? v : std::fabs(v) + 1.0f;
  negative.x[1200] = -2.0f;
  vok::Settings logs = s;
  logs.transform = vok::Transform::log;
  vok::Settings long_frames = s;
  long_frames.frame_length = 1300;
  vok::Settings longer_frames = s;
  longer_frames.frame_length = 2300;
  const Case cases[] = {
      {"infinite",
       infinite.x,
       infinite.y,
       s,
       vok::Missing::drop,
       {},
       "y[1500] = inf is not a finite number"},
      {"log",
       negative.x,
       negative.y,
       logs,
       vok::Missing::split,
       {},
       "x[1200] = -2: the log transform needs positive values"},
      {"split, runs too short",
       gapped.x,
       gapped.y,
       long_frames,
       vok::Missing::split,
       {},
       "no run of rows between missing values holds a frame of frame_length = 1300 (the longest "
       "run has 1280 rows)"},
      {"drop, rows too few",
       gapped.x,
       gapped.y,
       longer_frames,
       vok::Missing::drop,
       {},
       "2230 rows without a missing value are too few for one frame of frame_length = 2300"},
      {"stamps", gapped.x, gapped.y, s, vok::Missing::drop, {"a", "b"}, "2 stamps for 2400 rows"},
      {"lengths",
       gapped.x,
       rows(gapped.y, 0, 10),
       s,
       vok::Missing::drop,
       {},
       "x has 2400 values and y 10"},
  };
  for (const Case& c : cases) {
    try {
      vok::analyse_with_missing(c.x, c.y, c.settings, c.policy, c.stamps);
      ADD_FAILURE() << c.what << ": accepted";
    } catch (const vok::Error& e) {
      EXPECT_EQ(std::string(e.what()), "vok::analyse: " + c.message) << c.what;
    }
  }
}

}  // namespace
