// Mean and standard deviation of a series, and the correlation of two series
// over a set of positions.
#pragma once

#include <array>
#include <span>

#include "output/channel.h"

namespace vok {

struct MeanSd {
  float mean = 0.0f;
  float sd = 0.0f;  // divisor n - 1; 0 for a constant series; NaN for n = 1
};

// Corrected two-pass mean and standard deviation. An empty series writes its
// message on each channel of `diag` and stops the program.
MeanSd sigmn(std::span<const float> x, const ChannelGroup& diag);

// sigmn of x and of y (of one length) in the same two passes: each sum is
// formed as sigmn forms it, the two series' sums side by side. An empty pair
// writes sigmn's message once and stops.
std::array<MeanSd, 2> sigmn(std::span<const float> x, std::span<const float> y,
                            const ChannelGroup& diag);
// The same for a caller that has formed the plain sums of x and y (each in
// rising order from 0.0, as sigmn's first pass does) in a pass of its own.
std::array<MeanSd, 2> sigmn_from_sums(std::span<const float> x, std::span<const float> y,
                                      double sum_x, double sum_y, const ChannelGroup& diag);

// Validity flags of cor: 'y' when the series varies over the positions, 'n'
// when its sum of squared deviations is exactly 0.
struct CorFlags {
  char x = 'y';
  char y = 'y';
};

// Correlation of x and y (arrays of length n) over the first nf positions of
// `positions` (1-based). When nf == n the positions are overwritten with
// 1..n. `r` is updated only when a correlation is formed (a zero-variance
// series gives 0); for nf > n or nf < 3 a message goes to `diag` and r keeps
// its value.
CorFlags cor(int n, int nf, std::span<const float> x, std::span<const float> y,
             std::span<int> positions, float& r, Channel& diag);

}  // namespace vok
