#include "frames/frame_plan.h"

#include <cmath>

namespace vok {

FramePlan FramePlan::of(int rows, int frame_length, int overlap, int lags) {
  FramePlan plan;
  plan.rows = rows;
  plan.frame_length = frame_length;
  plan.overlap = overlap;
  plan.lags = lags;
  plan.frames = frame_count(rows, frame_length, overlap);
  return plan;
}

int frame_count(int n, int lw, int ov) {
  if (ov == 0) return n / lw;
  if (ov > 0) {
    if (lw > n) return 0;
    if (lw < n) return (n - lw - 1) / ov + 1;
  }
  return 1;
}

int lags_for(int lw, float exponent) {
  const float lags = std::pow(static_cast<float>(lw), exponent);
  return static_cast<int>(std::lround(lags));
}

}  // namespace vok
