// What an analysis says across its frames, beside each frame's own tests:
// Benjamini-Hochberg q-values of each test over the frames (vok::qvalues),
// and how often the frames show changing variance.
#pragma once

#include <span>
#include <vector>

#include "analysis/engine.h"
#include "vok/vok.h"

namespace vok {

// Frame::qvalue of every frame, test by test, from Frame::pvalue.
void set_qvalues(std::span<Frame> frames);

// P(X >= k) for X binomial with n draws of probability p (1 for k <= 0),
// summed in log space.
double binomial_upper_tail(int k, int n, double p);

// The changing-variance check of one series, frame by frame: a frame counts
// when its McLeod-Li p-value is not NaN, and is significant when it lies
// strictly below the false-alarm level.
class VarianceTally {
 public:
  explicit VarianceTally(float false_alarm) : alpha_(false_alarm) {}
  void add(double pvalue);
  VarianceCheck check() const;

 private:
  float alpha_;
  int frames_ = 0, significant_ = 0;
};

// The checks of a result's frames: their q-values and the variance checks
// of x and y at the false-alarm level.
void complete_result(Result& result, float false_alarm);

}  // namespace vok
