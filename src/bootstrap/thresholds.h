// Whether a run's resample count is enough for its false-alarm level (the
// report's lines of the thresholds are the console program's:
// report/threshold_lines.h).
#pragma once

namespace vok {

// True when B >= 1 resamples are too few for the level alpha (1/B > alpha,
// compared in 32-bit reals).
bool resamples_refused(int B, float alpha);

}  // namespace vok
