// The cautions of an analysis (vok::Caution), judged once from its frames:
// tallied frame by frame, so that a program that keeps no frame (the console
// program) gets the same cautions as a Result.
#pragma once

#include <span>
#include <vector>

#include "analysis/engine.h"
#include "analysis/run_checks.h"
#include "vok/vok.h"

namespace vok {

// Each caution's triggers, set by simulation (validation/validate.py) so
// that a caution fires on at most 1% of pairs of series without its cause
// and on at least 90% of pairs with it (frames of 250, 20 frames a pair).
struct CautionRule {
  // A check fires when at least `share` of its frames (times the false-alarm
  // level) are significant and their binomial p-value lies below `pvalue`.
  double times_level = 2.0;
  double pvalue = 1e-3;
};

// The figures of every frame of a run, and the cautions they call for with
// the run's settings.
class CautionTally {
 public:
  explicit CautionTally(const Settings& settings);
  void add(const Frame& frame);
  VarianceCheck x_variance() const { return variance_x_.check(); }
  VarianceCheck y_variance() const { return variance_y_.check(); }
  std::vector<Caution> cautions() const;

 private:
  // Frames and significant frames of one per-frame check.
  struct Count {
    int frames = 0, significant = 0;
    double sum = 0.0;  // of the figure averaged over the frames
    void add(bool significant, double figure);
  };
  Settings settings_;
  VarianceTally variance_x_, variance_y_;
  Count level_x_, level_y_, correlated_x_, correlated_y_, lag0_;
  int frames_ = 0, constant_ = 0;
};

// Result::cautions of a result, from its frames.
std::vector<Caution> cautions(const Result& result, const Settings& settings);

// Tallies the variance checks and the cautions from the frames a run hands
// on (for a program that writes its frames as they come and keeps none).
class CautionWatch : public AnalysisSink {
 public:
  explicit CautionWatch(const Settings& settings) : tally_(settings) {}
  void diagnostic(const Message&) override {}
  void statistics(const DescriptiveStats&, const DescriptiveStats&) override {}
  void thresholds(const PerTest<float>&, bool) override {}
  void frame(const Frame& frame, std::span<const Message>) override { tally_.add(frame); }
  void finish(const PerTest<int>&, const CorrelationSummary*) override {}
  const CautionTally& tally() const { return tally_; }

 private:
  CautionTally tally_;
};

}  // namespace vok
