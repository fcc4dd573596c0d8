// Reading back a run's graph file, xy graph file and thresholds as vok writes
// them, and refusing files that are not laid out that way.
#include "plot_input.h"

#include <gtest/gtest.h>

#include "report/threshold_lines.h"
#include "report/frames_table.h"
#include "e2e/run_in_dir.h"
#include "plot_script.h"

namespace vok::plot {
namespace {

// Two frames as the frame engine writes them, then the captions and the
// closing stamp.
constexpr std::string_view kGraph =
    "    +1 +0.5477 +0.7446 +0.2467 +0.8151 +0.8187 +0.1826 +0.3217\n"
    "    +2 +1.0000 +0.1461 +0.9285 +0.7300 +0.0007 +0.6809 +0.0000\n"
    "\n"
    "Wind      xxy    yyx     xxx     yyy      xy      xx      yy\n"
    " Version  9- 9-2009\n"
    " Date & Time Thu Dec 10 03:15:56 2026\n"
    " Elapsed time =      0.01  secs\n";

TEST(ParseGraph, RecordsCaptionsAndClosingStamp) {
  GraphFile g = parse_graph(kGraph, "run.graph");
  ASSERT_EQ(g.frames.size(), 2u);
  EXPECT_FALSE(g.stamped);
  EXPECT_TRUE(g.has_captions);
  EXPECT_EQ(g.frames[0].number, 1);
  // Record order: Hxxy Hyyx Hxxx Hyyy Cxy Cx Cy.
  EXPECT_EQ(g.frames[0].cdf,
            (std::array<float, 7>{0.5477f, 0.7446f, 0.2467f, 0.8151f, 0.8187f, 0.1826f, 0.3217f}));
  EXPECT_EQ(g.frames[1].cdf[0], 1.0f);
  EXPECT_EQ(g.frames[1].cdf[6], 0.0f);
}

TEST(ParseGraph, StampedRecordsAndAFileWithoutCaptions) {
  const std::string text =
      "    +1 +0.5477 +0.7446 +0.2467 +0.8151 +0.8187 +0.1826 +0.3217 1997-03-01 12:00:01 \n"
      "    +2 +0.5477 +0.7446 +0.2467 +0.8151 +0.8187 +0.1826 +0.3217 1997-03-01 12:10:01 \r\n";
  GraphFile g = parse_graph(text, "run.graph");
  EXPECT_TRUE(g.stamped);
  EXPECT_FALSE(g.has_captions);
  ASSERT_EQ(g.frames.size(), 2u);
  EXPECT_EQ(g.frames[0].stamp, "1997-03-01 12:00:01");
  EXPECT_EQ(g.frames[1].stamp, "1997-03-01 12:10:01");
}

TEST(ParseGraph, MalformedFilesNameTheLine) {
  const std::string good = "    +1 +0.5477 +0.7446 +0.2467 +0.8151 +0.8187 +0.1826 +0.3217\n";
  const std::pair<std::string, std::string> cases[] = {
      {"", "run.graph: no frame records"},
      {"\nWind      xxy\n", "run.graph: no frame records"},
      {"hello\n", "run.graph, line 1: not a graph record"},
      // Six values only.
      {"    +1 +0.5477 +0.7446 +0.2467 +0.8151 +0.8187 +0.1826\n", "line 1: not a graph record"},
      {good + "    +2 +0.5477 +0.7446 +0.2467 +0.8151 +0.8187 +0.1826 +1.5000\n",
       "line 2: not a graph record"},
      {good + "    +2 +0.5477 +0.7446 +0.2467 +0.8151 +0.8187 +0.1826 *******\n",
       "line 2: not a graph record"},
      {good + "    +2 +0.5477+0.7446 +0.2467 +0.8151 +0.8187 +0.1826 +0.32170\n",
       "line 2: not a graph record"},
      {good + good, "line 2: frame 1 where frame 2 should stand"},
      {good + "    +2 +0.5477 +0.7446 +0.2467 +0.8151 +0.8187 +0.1826 +0.3217 stamp\n",
       "line 2: some records carry a date-and-time stamp, others not"},
      {good + "\nWind\n" + good, "line 4: unexpected line after the frame records"},
  };
  for (const auto& [text, want] : cases) {
    SCOPED_TRACE(text);
    try {
      parse_graph(text, "run.graph");
      ADD_FAILURE() << "accepted";
    } catch (const InputError& e) {
      EXPECT_NE(std::string(e.what()).find(want), std::string::npos) << e.what();
    }
  }
}

TEST(ParseXyGraph, PlainAndStampedRecords) {
  XyGraphFile plain = parse_xy_graph(
      "-0.129  -0.026  -0.073  \n"
      " 0.000   0.042   1.000  \n"
      "xy( -1) xy(  0) xy(  1) \n",
      "run-xy.graph");
  EXPECT_EQ(plain.lags, 1);
  EXPECT_FALSE(plain.stamped);
  ASSERT_EQ(plain.records.size(), 2u);
  EXPECT_EQ(plain.records[0].r, (std::vector<float>{-0.129f, -0.026f, -0.073f}));
  EXPECT_EQ(plain.records[1].r, (std::vector<float>{0.0f, 0.042f, 1.0f}));

  XyGraphFile stamped = parse_xy_graph(
      "1997-03-01 12:00:01  -0.129  -0.026  -0.073  \n"
      "                     xy( -1) xy(  0) xy(  1) \n",
      "run-xy.graph");
  EXPECT_TRUE(stamped.stamped);
  ASSERT_EQ(stamped.records.size(), 1u);
  EXPECT_EQ(stamped.records[0].stamp, "1997-03-01 12:00:01");
  EXPECT_EQ(stamped.records[0].r.size(), 3u);
}

// 2 lags x 2 + 1 > 700: each record goes on over further lines of 700 values
// (the stamp only on the first), and so do the captions.
TEST(ParseXyGraph, RecordsLongerThanSevenHundredValues) {
  const int lags = 400;  // 801 values: lines of 700 and 101
  auto values = [](int count, const char* v) {
    std::string s;
    for (int i = 0; i < count; ++i) s += std::string(v) + "  ";
    return s + "\n";
  };
  std::string captions;
  for (int lag = -lags; lag <= lags; ++lag) {
    char c[16];
    std::snprintf(c, sizeof c, "xy(%3d) ", lag);
    captions += c;
    if (lag == -lags + 699) captions += "\n";
  }
  const std::string text = "1997-03-01 12:00:01  " + values(700, " 0.125") + values(101, "-0.250") +
                           "1997-03-01 12:10:01  " + values(700, " 0.125") + values(101, "-0.250") +
                           std::string(21, ' ') + captions + "\n";
  XyGraphFile xy = parse_xy_graph(text, "run-xy.graph");
  EXPECT_EQ(xy.lags, lags);
  ASSERT_EQ(xy.records.size(), 2u);
  EXPECT_EQ(xy.records[1].stamp, "1997-03-01 12:10:01");
  ASSERT_EQ(xy.records[1].r.size(), 801u);
  EXPECT_EQ(xy.records[1].r[699], 0.125f);
  EXPECT_EQ(xy.records[1].r[700], -0.25f);
}

TEST(ParseXyGraph, MalformedFiles) {
  const std::string captions = "xy( -1) xy(  0) xy(  1) \n";
  const std::pair<std::string, std::string> cases[] = {
      {"", "no lag captions"},
      {"-0.129  -0.026  -0.073\n", "no lag captions"},
      {captions, "no frame records"},
      {"-0.129  -0.026\n" + captions, "line 1: 2 values where 3 should stand"},
      {"-0.129  -0.026  x.073\n" + captions, "line 1: \"x.073\" is not a cross-correlation"},
      {"-0.129  -0.026  -1.500\n" + captions, "is not a cross-correlation"},
      {"-0.129  -0.026  -0.073\nxy( -1) xy(  1) \n", "do not run from -lags to +lags"},
      {"-0.129  -0.026  -0.073\nxy( -1) xy(  0 xy(  1) \n", "not \"xy(\" I3 \")\""},
      {"-0.129  -0.026  -0.073\n   xy( -1) xy(  0) xy(  1) \n", "neither in column 1"},
  };
  for (const auto& [text, want] : cases) {
    SCOPED_TRACE(text);
    try {
      parse_xy_graph(text, "run-xy.graph");
      ADD_FAILURE() << "accepted";
    } catch (const InputError& e) {
      EXPECT_NE(std::string(e.what()).find(want), std::string::npos) << e.what();
    }
  }
}

TEST(ParseThresholds, NominalLine) {
  Thresholds t = parse_thresholds("x\n       False alarm threshold = 0.0500\n", "r.out");
  EXPECT_EQ(t.resamples, 0);
  for (float v : t.value) EXPECT_EQ(v, 0.05f);
}

TEST(ParseThresholds, BootstrappedBlockInBothGForms) {
  const std::string report =
      "         100 Bootstrapped false alarm thresholds\n"
      "\n"
      "    Hxxy Threshold = .1699E-01   Hyyx Threshold = .9500    \n"
      "\n"
      "    Hxxx Threshold = .2405E-01   Hyyy Threshold = .2870E-01\n"
      "\n"
      "    Cx Threshold = 0.0410  Cy Threshold = 0.0884  Cxy Threshold = 0.0570\n";
  Thresholds t = parse_thresholds(report, "r.out");
  EXPECT_EQ(t.resamples, 100);
  // kGraphNames order: Hxxy Hyyx Hxxx Hyyy Cxy Cx Cy.
  EXPECT_EQ(t.value,
            (std::array<float, 7>{0.01699f, 0.95f, 0.02405f, 0.0287f, 0.057f, 0.041f, 0.0884f}));
}

// What vok-plot reads from the report is what the library says the report
// shows (the values the Python package labels its plots with), also where
// four significant digits and four decimals round a 32-bit value apart.
TEST(ParseThresholds, AsTheLibraryReportsThem) {
  // kTests order: Hxxy Hyyx Hxxx Hyyy Cx Cy Cxy.
  const std::array<float, 7> cases[] = {
      {0.024052f, 0.012348f, 0.0312549f, 0.25f, 0.024052f, 0.012348f, 0.0312549f},
      {0.05f, 0.0001234f, 1.0f, 0.0f, 0.05f, 0.0f, 1.0f},
  };
  // kGraphNames order (Hxxy Hyyx Hxxx Hyyy Cxy Cx Cy) from kTests order.
  constexpr std::array<std::size_t, 7> kFrom = {kHxxy, kHyyx, kHxxx, kHyyy, kCxy, kCx, kCy};
  for (const std::array<float, 7>& t : cases) {
    for (const bool bootstrapped : {true, false}) {
      SCOPED_TRACE(std::to_string(t[0]) + (bootstrapped ? " bootstrapped" : " nominal"));
      Channel report;
      report.capture();
      if (bootstrapped)
        write_bootstrap_block(report, 100, t);
      else
        write_false_alarm_line(report, t[0]);
      const Thresholds read = parse_thresholds(report.text(), "r.out");
      const std::array<float, 7> shown = reported_thresholds(t, bootstrapped);
      for (std::size_t i = 0; i < 7; ++i)
        EXPECT_EQ(read.value[i], shown[kFrom[i]]) << kGraphNames[i];
    }
  }
  // The drift the labels had: .2405E-01 reads back below 0.02405.
  EXPECT_EQ(reported_thresholds({0.024052f, 0, 0, 0, 0, 0, 0}, true)[kHxxy], 0.02405f);
}

TEST(ParseThresholds, ReportsWithoutThresholds) {
  const std::pair<std::string, std::string> cases[] = {
      // A run refused for too few resamples writes no thresholds.
      {"       ERROR - 1/resamples > test threshold \n", "no false alarm thresholds"},
      {"         100 Bootstrapped false alarm thresholds\n\n    Hxxy Threshold = .1699E-01\n",
       "lack \"Hyyx Threshold = \""},
      {"       False alarm threshold = ******\n", "no value after"},
  };
  for (const auto& [text, want] : cases) {
    SCOPED_TRACE(text);
    try {
      parse_thresholds(text, "r.out");
      ADD_FAILURE() << "accepted";
    } catch (const InputError& e) {
      EXPECT_NE(std::string(e.what()).find(want), std::string::npos) << e.what();
    }
  }
}

// A frame of the table as the console program writes it.
Frame table_frame(int number, float cdf_hxxy, bool significant_hxxy) {
  Frame f;
  f.number = number;
  f.first_row = 100 * (number - 1) + 1;
  f.last_row = 100 * number;
  f.first_stamp = "1997-03-01, 12:00:01";  // a comma: the field is quoted
  f.last_stamp = "1997-03-01 \"late\"";
  for (Test t : vok::kTests) f.cdf[t] = 0.25f;
  f.cdf.hxxy = cdf_hxxy;
  f.cdf.cy = 0.125f;
  f.significant.hxxy = significant_hxxy;
  f.significant.cy = true;
  for (Test t : vok::kTests) f.qvalue[t] = 0.5;
  return f;
}

TEST(ParseFramesTable, TheRunsJudgementByColumnName) {
  for (const bool stamped : {false, true}) {
    SCOPED_TRACE(stamped ? "stamped" : "plain");
    const std::string text = frames_table_header(stamped) +
                             frames_table_row(table_frame(1, 0.95004f, true), stamped) +
                             frames_table_row(table_frame(2, 1.0f, false), stamped);
    const FramesTable t = parse_frames_table(text, "r.csv");
    ASSERT_EQ(t.frames.size(), 2u);
    EXPECT_EQ(t.frames[1].number, 2);
    // kGraphNames order: Hxxy Hyyx Hxxx Hyyy Cxy Cx Cy.
    EXPECT_EQ(t.frames[0].cdf,
              (std::array<float, 7>{0.95004f, 0.25f, 0.25f, 0.25f, 0.25f, 0.25f, 0.125f}));
    EXPECT_EQ(t.frames[0].significant,
              (std::array<bool, 7>{true, false, false, false, false, false, true}));
    EXPECT_EQ(t.frames[1].cdf[0], 1.0f);
    EXPECT_FALSE(t.frames[1].significant[0]);
  }
}

TEST(ParseFramesTable, MalformedTablesNameTheLine) {
  const std::string header = frames_table_header(false);
  const std::string row = frames_table_row(table_frame(1, 0.5f, false), false);
  const auto replaced = [](std::string text, std::string_view from, std::string_view to) {
    const std::size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return text.replace(at, from.size(), to);
  };
  struct Case {
    std::string text;
    std::string message;
  };
  const Case cases[] = {
      {"", "r.csv: no header row"},
      {replaced(header, "significant_Hyyx", "judged_Hyyx") + row,
       "r.csv, line 1: no column \"significant_Hyyx\""},
      {header + replaced(row, "false", "maybe"), "line 2: \"maybe\" is neither true nor false"},
      {header + replaced(row, "0.5", "1.5"), "line 2: \"1.5\" is not a CDF value"},
      {header + replaced(row, "1,1,100", "2,1,100"), "line 2: \"2\" where frame 1 should stand"},
      {header + replaced(row, ",false", ""), "line 2: 44 fields where the header row has 45"},
      {header + replaced(row, "1,1,100", "1,\"1,100"), "line 2: an unclosed quote"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    try {
      parse_frames_table(c.text, "r.csv");
      ADD_FAILURE() << "accepted";
    } catch (const InputError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
  }
}

TEST(RunFiles, NamesFromTheReportName) {
  struct Case {
    std::string name, report, graph, xy;
  };
  const Case cases[] = {
      {"runA_1-_2", "runA_1-_2.out", "runA_1-_2.graph", "runA-xy.graph"},
      {"runA_1-_2.out", "runA_1-_2.out", "runA_1-_2.graph", "runA-xy.graph"},
      {"dir/run-B12-_4.graph", "dir/run-B12-_4.out", "dir/run-B12-_4.graph", "dir/run-B-xy.graph"},
      {"r_3-137", "r_3-137.out", "r_3-137.graph", "r-xy.graph"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunFiles f = run_files(c.name);
    EXPECT_EQ(f.report, c.report);
    EXPECT_EQ(f.table, c.report.substr(0, c.report.size() - 4) + ".csv");
    EXPECT_EQ(f.graph, c.graph);
    EXPECT_EQ(f.xy_graph, c.xy);
  }
  for (const char* bad : {"runA", "runA.out", "runA_1-x2", "dir-1/runA", "_1-_2x"}) {
    SCOPED_TRACE(bad);
    EXPECT_THROW(run_files(bad), InputError);
  }
}

// Columns of 20 and over are written with all their digits, so "run120-_3"
// may be run1 with column 20 or run with column 120: the xy graph file that
// exists decides.
TEST(RunFiles, LongColumnTagsFollowTheXyGraphFileThatExists) {
  e2e::RunDir dir;
  const std::string base = (dir.path() / "run").string();
  EXPECT_EQ(run_files(base + "120-_3").xy_graph, base + "1-xy.graph");  // neither exists
  dir.write("run-xy.graph", "");
  EXPECT_EQ(run_files(base + "120-_3").xy_graph, base + "-xy.graph");
  dir.write("run1-xy.graph", "");
  EXPECT_EQ(run_files(base + "120-_3").xy_graph, base + "1-xy.graph");
}

TEST(PValues, FromTheFourDecimalsOfTheGraphFile) {
  EXPECT_EQ(p_value(0.9500f), 0.05);
  EXPECT_EQ(p_value(0.0f), 1.0);
  EXPECT_EQ(p_value(0.9999f), 0.0001);
  EXPECT_EQ(p_value(1.0f), kSmallestPValue);  // written as 1.0000: below 0.00005
}

TEST(PValues, SignificantWhenBelowTheThresholdStrictly) {
  GraphFile g = parse_graph(
      "    +1 +0.7500 +0.7500 +0.7500 +0.7500 +0.7500 +0.7500 +0.7500\n"
      "    +2 +1.0000 +1.0000 +1.0000 +1.0000 +0.0000 +1.0000 +1.0000\n",
      "run.graph");
  Thresholds t;
  t.value.fill(0.05f);
  t.value[0] = 0.25f;    // frame 1 has p = 0.25 exactly: not below
  t.value[1] = 0.2501f;  // frame 1 is below
  EXPECT_EQ(significant_counts(g, t), (std::array<int, 7>{1, 2, 1, 1, 0, 1, 1}));
}

}  // namespace
}  // namespace vok::plot
