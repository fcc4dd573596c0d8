// The frame engine: cuts the two selected columns of the data matrix into
// frames, prewhitens each frame with its own VAR(p) fit, runs the seven tests
// on the residuals (or their signs), counts the significant frames of every
// test, writes the frame records, the counts block and the cross-test
// correlation summary.
//
// A frame is computed (compute_frame: inputs -> tests, cross-correlations and
// the text its fit, residual statistics and clipping produce) apart from
// being written, so wind computes frames side by side on every thread and
// writes them in frame order: the output is the same for any thread count.
// A frame that stops the program keeps its messages too, so only those of
// the first such frame are written, after everything the frames before it
// wrote, as in a frame-by-frame run.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "frames/covxy.h"
#include "frames/reports.h"
#include "output/channel.h"
#include "output/failure.h"

namespace vok {

// Settings of the frame engine for one run.
struct WindParams {
  int cx = 1, cy = 2;       // 1-based data-matrix columns of x and y
  int lw = 0;               // frame length
  int lg = 0;               // number of lags (lw > 2 lg)
  int frames = 0;           // frame count F
  int p = 0;                // VAR order
  int overlap = 0;          // 0: frames end to end; > 0: frame k starts at (k - 1) overlap
  char stamp_flag = 'a';    // 'm' when the rows carry stamps
  std::string clip = "no";  // a first character 'c' clips the residuals to +1/-1
  char graphing = 'n';      // 'y' writes the frames, graph and xy graph files
  char time_freq = 't';     // 't' time run, 'f' frequency run
  float interval = 1.0f;    // sampling interval (time run) or rate in kHz
  std::string time_unit;    // 7-character time unit label
  // False-alarm thresholds in the order Hxxy, Hyyx, Hxxx, Hyyy, Cx, Cy, Cxy.
  std::array<float, 7> thresholds{};
};

// The nine per-frame series, element k - 1 for frame k: the CDF values of
// Hxxx, Hyyy, Hxxy, Hyyx, Cx, Cy, Cxy and the standard deviations of the two
// test series.
struct PerFrameSeries {
  std::vector<float> xxx, yyy, xxy, yyx, xx, yy, xy, varx, vary;

  PerFrameSeries() = default;
  explicit PerFrameSeries(int frames);
  int size() const { return static_cast<int>(xxx.size()); }
};

// Where the engine writes.
struct FrameChannels {
  Channel& report;
  Channel& frames;
  Channel& graph;
  Channel& xy_graph;
  Channel& console;     // one message of the correlation summary; allocation failure
  Channel& error_file;  // allocation failure
};
// The program's own channels.
FrameChannels program_frame_channels();

// Number of data-matrix rows before frame k (1-based).
inline int frame_offset(int k, int lw, int overlap) {
  return (k - 1) * (overlap > 0 ? overlap : lw);
}

// A frame is significant for a test when its p-value 1 - P lies strictly
// below the threshold; equality and a P that is not a number are not.
bool significant(float threshold, float cdf);

// Significance of one frame's tests, in threshold order, and its
// bicorrelation hits (significant tests among Hxxy, Hyyx, Hxxx, Hyyy).
struct FrameVerdict {
  std::array<bool, 7> significant{};
  int hits = 0;
};
FrameVerdict judge(const FrameTests& tests, const std::array<float, 7>& thresholds);

// Work storage of a frame computation, obtained once and reused frame after
// frame (one per thread when frames are computed side by side).
struct FrameWork {
  explicit FrameWork(const WindParams& params);
  std::vector<float> frame;      // lw x 2: raw x and y of the frame
  std::vector<float> residuals;  // lw x 2: VAR residuals, then the test series
  std::vector<float> xxy, yyx;   // cross-bicorrelation values, M each
  std::vector<int> r_lags, s_lags;
  CovxyWork tests;  // the tests' sums and scratch
};

// One computed frame, with the lines it writes on each channel, held until
// the frame's turn comes.
struct FrameOutcome {
  FrameTests tests;
  std::vector<float> rxy;    // cross-correlations at lags -lg..lg
  std::string report_text;   // lines the frame writes on the report ahead of its records
  std::string console_text;  // lines for the console (a callee that stops writes there)
  std::string error_text;    // lines for the error file (likewise)
  std::optional<Stop> stop;  // a callee stopped the program; the texts hold what it wrote
};

// Computes frame k (1-based) from the data matrix of n rows (stored by
// columns): copy, VAR residuals, residual statistics (p >= 1), clipping,
// tests. Writes on no channel: what the frame's callees write is kept in the
// outcome. Touches nothing but its arguments, so several frames can be
// computed at once, each with its own work storage.
FrameOutcome compute_frame(const WindParams& params, std::span<const float> data, int n, int k,
                           FrameWork& work);

// Counts of significant frames, in threshold order.
struct WindResult {
  std::array<int, 7> counts{};
};

// Runs the frame engine over all frames of the n x K data matrix (stored by
// columns), computing frames on thread_count() threads and writing them in
// frame order on the calling thread. `series` receives the nine per-frame
// series (resized to F). Stamps are read only with stamp flag 'm', on the
// calling thread. Work storage that cannot be obtained writes its message on
// the console and the error file and stops.
WindResult wind(const WindParams& params, std::span<const float> data, int n, int K,
                const StampLookup& stamps, PerFrameSeries& series,
                const FrameChannels& out = program_frame_channels());

}  // namespace vok
