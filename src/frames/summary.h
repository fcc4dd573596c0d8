// Cross-test correlation summary: how the tests move together across frames.
// Correlations over all frames, then over the frames with the largest Hxxy and
// the largest Hyyx CDF values when at least 9 frames were significant for that
// test.
#pragma once

#include "frames/wind.h"
#include "output/channel.h"

namespace vok {

// Writes the summary on `report` (one zero-variance message is repeated on
// `console`). Needs at least 8 frames; nxxy and nyyx are the significance
// counts of Hxxy and Hyyx.
void correlation_summary(const PerFrameSeries& series, int nxxy, int nyyx, Channel& report,
                         Channel& console);

}  // namespace vok
