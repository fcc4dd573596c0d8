// Cross-test correlation summary: how the tests move together across frames.
// Correlations over all frames, then over the frames with the largest Hxxy and
// the largest Hyyx CDF values when at least 9 frames were significant for that
// test. The pairs are recorded in the order the report shows them
// (report/summary_lines.h writes them).
#pragma once

#include <vector>

#include "stats/messages.h"
#include "vok/vok.h"

namespace vok {

// The nine per-frame series, element k - 1 for frame k: the CDF values of
// Hxxx, Hyyy, Hxxy, Hyyx, Cx, Cy, Cxy and the standard deviations of the two
// test series.
struct PerFrameSeries {
  std::vector<float> xxx, yyy, xxy, yyx, xx, yy, xy, varx, vary;

  PerFrameSeries() = default;
  explicit PerFrameSeries(int frames);
  int size() const { return static_cast<int>(xxx.size()); }
  // Frame k's values (1-based).
  void set(int k, const Frame& frame);
};

// The summary of the series (at least 8 frames); nxxy and nyyx are the
// significance counts of Hxxy and Hyyx. Messages of the correlation routine
// go to `diag`.
CorrelationSummary summarise(const PerFrameSeries& series, int nxxy, int nyyx, Messages& diag);

}  // namespace vok
