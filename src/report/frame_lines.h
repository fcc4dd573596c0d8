// The text that describes a run's frames: the run-parameter header of the
// report (frw), the entries of the frames file (winhead, shwx), the records of
// the graph file and of the xy graph file, and the caption lines that close
// those two files.
#pragma once

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "output/channel.h"
#include "output/run_kind.h"
#include "vok/vok.h"

namespace vok {

// The stamp of row j (1-based) of a run, 20 characters: the frames-file
// header asks for the stamps of a frame's first and last rows.
using RowStampLookup = std::function<std::string_view(int row)>;

// How a frame's position is shown in its frames-file header.
struct FrameClock {
  SampleUnit unit = SampleUnit::time;
  float interval = 1.0f;  // sampling interval, or rate in kHz
  std::string time_unit;  // 7-character label of a time run
  RowStamps stamps = RowStamps::none;
};

// What the report and the plot files show of a run besides its results.
struct RunHeader {
  std::string title;        // title line of the data file (shown in 80 columns)
  std::string format;       // record format of the data file (shown in 50 columns)
  FrameClock clock;         // time or frequency run, interval or rate, unit, stamps
  Transform transform = Transform::none;  // clipped residuals, log data or neither
  float exponent = 0.0f;    // lags = frame_length ** exponent
  int first = 1;            // first datum read (IS)
  int last = 1;             // last datum read (IE)
  FramePlan plan;           // frames of the rows first..last
  int var_lag = 0;          // VAR order
  int cx = 1, cy = 2;       // data columns
  Graphing graphing = Graphing::off;  // on: the frames, graph and xy graph files are written
  // No frame has two testable series (each frame's x or y is constant or
  // holds a value that is not finite): said after the frame-count line.
  bool nothing_to_test = false;
};

// Writes the run-parameter header on `report`; with graphing on its first
// two layouts (title with its empty line, column line) also open `frames`.
// With graphing off those two lines go nowhere.
void frw(const RunHeader& header, Channel& report, Channel& frames);

// Frame header of frame k with offset s (rows s + 1 .. s + frame_length): a rule of
// 70 "*", the frame line and a rule of 70 "=".
void winhead(const FrameClock& clock, const RowStampLookup& stamps, int frame_length, int s, int k,
             Channel& frames);

// The frame's two p-value lines (1 - P of each CDF value) and an empty line.
void shwx(float p_xxy, float p_yyx, float p_xy, float p_xxx, float p_yyy, Channel& frames);

// Graph record of frame k: its seven CDF values (kGraphOrder), followed by the
// stamp of the frame's first row when the rows carry stamps.
void graph_record(Channel& graph, int k, const PerTest<float>& cdf,
                  std::optional<std::string_view> stamp = std::nullopt);
// The column captions that close the graph file.
void graph_caption(Channel& graph);

// xy graph record: the cross-correlations rxy(-lg..lg), preceded by the stamp
// of the frame's first row when the rows carry stamps. Beyond 700 values the
// record continues on further lines without the stamp.
void xy_record(Channel& xy, std::span<const float> rxy,
               std::optional<std::string_view> stamp = std::nullopt);
// The lag captions that close the xy graph file, shifted past the stamp
// column when the rows carry stamps.
void xy_caption(Channel& xy, int lg, bool stamped);

}  // namespace vok
