// Mean and standard deviation of a series, and the correlation of two series
// over a set of positions.
#pragma once

#include <array>
#include <span>

#include "stats/messages.h"

namespace vok {

struct MeanSd {
  float mean = 0.0f;
  float sd = 0.0f;  // divisor n - 1; 0 for a constant series; NaN for n = 1
};

// Corrected two-pass mean and standard deviation. An empty series raises
// sigmn_empty on `diag` and halts.
MeanSd sigmn(std::span<const float> x, Messages& diag);

// sigmn of x and of y (of one length) in the same two passes: each sum is
// formed as sigmn forms it, the two series' sums side by side. An empty pair
// raises sigmn's message once and halts.
std::array<MeanSd, 2> sigmn(std::span<const float> x, std::span<const float> y,
                            Messages& diag);
// The same for a caller that has formed the plain sums of x and y (each in
// rising order from 0.0, as sigmn's first pass does) in a pass of its own.
std::array<MeanSd, 2> sigmn_from_sums(std::span<const float> x, std::span<const float> y,
                                      double sum_x, double sum_y, Messages& diag);

// Whether each series of cor varies over the positions: false when its sum
// of squared deviations is exactly 0.
struct CorFlags {
  bool x_varies = true;
  bool y_varies = true;
};

// Correlation of x and y (arrays of length n) over the first nf positions of
// `positions` (1-based). When nf == n the positions are overwritten with
// 1..n. `r` is updated only when a correlation is formed (a zero-variance
// series gives 0); for nf > n or nf < 3 a message is raised on `diag` and r
// keeps its value.
CorFlags cor(int n, int nf, std::span<const float> x, std::span<const float> y,
             std::span<int> positions, float& r, Messages& diag);

}  // namespace vok
