// The run-parameter header, the frames-file entries, and the records and
// captions of the graph and xy graph files. Expected lines are written out
// column by column from the layouts of the reports.
#include "report/frame_lines.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "frames/frame_plan.h"

namespace vok {
namespace {

std::string pad(std::string_view text, std::size_t width) {
  std::string s(text);
  s.resize(width, ' ');
  return s;
}

std::string lines(std::initializer_list<std::string> list) {
  std::string out;
  for (const std::string& l : list) out += l + "\n";
  return out;
}

struct Captured {
  Channel report, frames;
  Captured() {
    report.capture();
    frames.capture();
  }
};

// The frames of the header's rows, in frames of frame_length rows with `overlap`.
void plan(RunHeader& h, int frame_length, int overlap) {
  h.plan = FramePlan::of(h.last - h.first + 1, frame_length, overlap,
                         lags_for(frame_length, h.exponent));
}

RunHeader time_run() {
  RunHeader h;
  h.title = "Two related series";
  h.format = "(2f12.5)";
  h.clock.time_unit = "seconds";
  h.clock.unit = SampleUnit::time;
  h.transform = Transform::none;
  h.clock.interval = 1.0f;
  h.exponent = 0.4f;
  h.first = 1;
  h.last = 2000;
  plan(h, 120, 0);
  EXPECT_EQ(h.plan.frames, 16);
  h.var_lag = 0;
  h.cx = 1;
  h.cy = 2;
  h.graphing = Graphing::on;
  return h;
}

TEST(Frw, TimeRunWithoutFitOverlapOrClipping) {
  Captured c;
  frw(time_run(), c.report, c.frames);
  const std::string title = pad("Two related series", 80);
  const std::string columns = "       x-Data Column =   1     y-Data Column =   2";
  // 120 ** 0.4 = 6.79: 7 lags, 7 * 15 = 105 cross bicorrelations; 2000 rows
  // hold 16 whole frames of 120, a sample of 1920.
  EXPECT_EQ(c.report.text(),
            lines({title, "", columns, "", "       Windows are not overlapped", "",
                   " Window Length  120  No. of frames =      16", "",
                   " First datum read in file       1    Last datum read    2000", "",
                   " Sample size =     1920", "", " Sampling interval =     1.000000  seconds", "",
                   "       No. of lags =     7    No cross bicorrelations used =       105", "",
                   "                 Exponent =  0.40", "",
                   "            Data format: " + pad("(2f12.5)", 50)}));
  EXPECT_EQ(c.frames.text(), lines({title, "", columns}));
}

TEST(Frw, FitOverlapClippingAndFrequency) {
  Captured c;
  RunHeader h = time_run();
  h.var_lag = 2;
  h.transform = Transform::clip;
  h.clock.unit = SampleUnit::frequency;
  h.clock.interval = 10.0f;
  h.exponent = 0.5f;
  h.first = 11;
  h.last = 260;  // 250 rows: 2 whole frames of 100
  plan(h, 100, 10);
  EXPECT_EQ(h.plan.frames, 15);
  frw(h, c.report, c.frames);
  EXPECT_EQ(c.report.text(),
            lines({pad("Two related series", 80),
                   "",
                   "       x-Data Column =   1     y-Data Column =   2",
                   "",
                   "  Statistics are computed from the residuals from a VAR( 2) fit",
                   "   to the selected two columns",
                   "",
                   "       Windows are overlapped by   10 observations",
                   "",
                   " Window Length  100  No. of frames =      15",
                   "",
                   "          Data is Hard Clipped to +1/-1",
                   "",
                   " First datum read in file      11    Last datum read     260",
                   "",
                   " Sample size =      200",
                   "",
                   " Sampling rate =    10.0000 KHz",
                   "",
                   "       No. of lags =    10    No cross bicorrelations used =       210",
                   "",
                   "                 Exponent =  0.50",
                   "",
                   "            Data format: " + pad("(2f12.5)", 50)}));
}

TEST(Frw, LogDataLineStandsWhereTheClippingLineWould) {
  Captured c;
  RunHeader h = time_run();
  h.transform = Transform::log;
  frw(h, c.report, c.frames);
  const std::string& text = c.report.text();
  EXPECT_NE(text.find(" Window Length  120  No. of frames =      16\n"
                      "\n"
                      "          Data is Log Transformed\n"
                      "\n"
                      " First datum read"),
            std::string::npos);
  EXPECT_EQ(text.find("Clipped"), std::string::npos);
}

TEST(Frw, GraphingOffLeavesTheFramesFileAlone) {
  Captured c;
  RunHeader h = time_run();
  h.graphing = Graphing::off;
  frw(h, c.report, c.frames);
  EXPECT_EQ(c.frames.text(), "");
  EXPECT_EQ(c.report.text().substr(0, 81), pad("Two related series", 80) + "\n");
}

const std::string kStars(70, '*');
const std::string kRule(70, '=');

std::string_view stamp_of_row(int row) {
  static std::vector<std::string> stamps = [] {
    std::vector<std::string> s;
    for (int j = 1; j <= 3000; ++j) s.push_back("2015-03-03 09:" + std::to_string(10000 + j));
    return s;
  }();
  return stamps[row - 1];
}

TEST(Winhead, FrameLinesByKindOfRun) {
  struct Case {
    const char* what;
    SampleUnit unit;
    float interval;
    const char* time_unit;
    RowStamps stamps;
    int frame_length, s, k;
    const char* frame_line;
  };
  constexpr SampleUnit kTime = SampleUnit::time, kFrequency = SampleUnit::frequency;
  constexpr RowStamps kPlain = RowStamps::none, kStamped = RowStamps::stamped;
  const Case cases[] = {
      {"time run, frame 1, interval 1", kTime, 1.0f, "seconds", kPlain, 300, 0, 1,
       " Frame    1  Start =     0.0000 seconds   End  =   300.0000 seconds"},
      // Offsets are shown in the labelled unit: s * interval, (s + frame_length) * interval.
      {"time run, interval 0.5", kTime, 0.5f, "minutes", kPlain, 300, 600, 3,
       " Frame    3  Start =   300.0000 minutes   End  =   450.0000 minutes"},
      {"time run, short unit label", kTime, 2.0f, "s", kPlain, 12, 12, 2,
       " Frame    2  Start =    24.0000 s         End  =    48.0000 s      "},
      // Rate 10 kHz: 1000 * 0.001 / 10 = 0.1 s and 0.2 s in G14.4.
      {"frequency run, frame 2", kFrequency, 10.0f, "", kPlain, 1000, 1000, 2,
       " Frame    2  Start =    0.1000      sec  End =    0.2000     sec"},
      {"frequency run, frame 1 starts at zero", kFrequency, 10.0f, "", kPlain, 1000, 0, 1,
       " Frame    1  Start =     0.000      sec  End =    0.1000     sec"},
      // Stamps of the first and the last row of the frame, each in 20 columns.
      {"stamped rows", kTime, 1.0f, "seconds", kStamped, 300, 300, 2,
       " Frame    2  Start = 2015-03-03 09:10301    End = 2015-03-03 09:10600 "},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Channel frames;
    frames.capture();
    const FrameClock clock{c.unit, c.interval, c.time_unit, c.stamps};
    winhead(clock, stamp_of_row, c.frame_length, c.s, c.k, frames);
    EXPECT_EQ(frames.text(), lines({kStars, c.frame_line, kRule}));
  }
}

TEST(Shwx, PValueLinesAlignAndAPValueOfOnePrintsInFull) {
  Channel frames;
  frames.capture();
  // CDF values 0.99, 0 (p-value exactly 1), 0.5, 0.25, 0.9999999.
  shwx(0.99f, 0.0f, 0.5f, 0.25f, 0.9999999f, frames);
  EXPECT_EQ(
      frames.text(),
      lines({"    p-values for tests: xxy =  0.0100000    yyx =  1.0000000    xy =  0.5000000",
             "                        xxx =  0.7500000    yyy =  0.0000001", ""}));
  const std::string& t = frames.text();
  const std::size_t second = t.find('\n') + 1;
  EXPECT_EQ(t.find("xxy ="), t.find("xxx =", second) - second);  // both in column 25
}

TEST(GraphRecord, SignedFieldsAndOptionalStamp) {
  Channel graph;
  graph.capture();
  const PerTest<float> t{.hxxy = 0.25f,
                         .hyyx = 0.5f,
                         .hxxx = 0.0f,
                         .hyyy = 1.0f,
                         .cx = 0.75f,
                         .cy = 0.99999f,
                         .cxy = 0.125f};
  graph_record(graph, 1, t);
  graph_record(graph, 12, t, "2015-03-03 09:05:07");
  // Record order: xxy, yyx, xxx, yyy, xy, xx, yy.
  EXPECT_EQ(graph.text(), lines({"    +1 +0.2500 +0.5000 +0.0000 +1.0000 +0.1250 +0.7500 +1.0000",
                                 "   +12 +0.2500 +0.5000 +0.0000 +1.0000 +0.1250 +0.7500 +1.0000 "
                                 "2015-03-03 09:05:07 "}));
}

TEST(XyRecord, SevenLagsWithAndWithoutStamp) {
  Channel xy;
  xy.capture();
  const std::array<float, 7> rxy{-0.5f, 0.25f, 0.0f, 1.0f, -1.0f, 0.0625f, -0.0004f};
  xy_record(xy, rxy);
  xy_record(xy, rxy, "2015-03-03 09:05:07 ");
  EXPECT_EQ(
      xy.text(),
      lines({"-0.500   0.250   0.000   1.000  -1.000   0.062   0.000  ",
             "2015-03-03 09:05:07  -0.500   0.250   0.000   1.000  -1.000   0.062   0.000  "}));
}

TEST(XyRecord, MoreThan700ValuesContinueWithoutTheStamp) {
  Channel xy;
  xy.capture();
  std::vector<float> rxy(703, 0.5f);  // lg = 351
  rxy[700] = -0.25f;
  xy_record(xy, rxy, "stamp");
  const std::string& t = xy.text();
  const std::size_t end_first = t.find('\n');
  ASSERT_NE(end_first, std::string::npos);
  EXPECT_EQ(end_first, 20u + 1 + 700 * 8);
  EXPECT_EQ(t.substr(0, 29), "stamp                 0.500  ");
  EXPECT_EQ(t.substr(end_first + 1), "-0.250   0.500   0.500  \n");
}

TEST(XyCaption, ThreeLagsWithAndWithoutStamps) {
  Channel xy;
  xy.capture();
  xy_caption(xy, 3, false);
  xy_caption(xy, 3, true);
  const std::string captions = "xy( -3) xy( -2) xy( -1) xy(  0) xy(  1) xy(  2) xy(  3) ";
  EXPECT_EQ(xy.text(), lines({captions, std::string(21, ' ') + captions}));
}

}  // namespace
}  // namespace vok
