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

int frame_count(int n, int frame_length, int overlap) {
  if (overlap == 0) return n / frame_length;
  if (overlap > 0) {
    if (frame_length > n) return 0;
    if (frame_length < n) return (n - frame_length - 1) / overlap + 1;
  }
  return 1;
}

int lags_for(int frame_length, float exponent) {
  const float lags = std::pow(static_cast<float>(frame_length), exponent);
  return static_cast<int>(std::lround(lags));
}

}  // namespace vok
