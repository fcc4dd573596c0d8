// The seven portmanteau tests of one frame: correlation tests Cx, Cy, Cxy and
// bicorrelation tests Hxxx, Hyyy, Hxxy, Hyyx, returned as chi-square CDF
// values, with the cross-bicorrelation list and the cross-correlations.
#pragma once

#include <span>

#include "output/channel.h"

namespace vok {

struct FrameTests {
  // CDF values.
  float hxxx = 0.0f, hyyy = 0.0f, hxxy = 0.0f, hyyx = 0.0f, cx = 0.0f, cy = 0.0f, cxy = 0.0f;
  float sx = 0.0f, sy = 0.0f;  // standard deviations of x and y
  // True when x or y has no spread or holds a value that is not finite: every
  // CDF value, list value and cross-correlation is then 0.
  bool degenerate = false;
};

// x and y hold the frame (n = x.size() = y.size() > 2L values each), L >= 1.
// Outputs (caller-owned): xxy, yyx, r_lags, s_lags of length M = L(2L + 1);
// rxy of length 2L + 1 holding lags -L..L. Messages of the moments and
// chi-square routines go to `diag`.
FrameTests covxy(std::span<const float> x, std::span<const float> y, int L, std::span<float> xxy,
                 std::span<float> yyx, std::span<float> rxy, std::span<int> r_lags,
                 std::span<int> s_lags, Channel& diag);

}  // namespace vok
