#include "frames/wind.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "data/descriptive.h"
#include "frames/summary.h"
#include "stats/mcleod_li.h"
#include "stats/prewhiten.h"
#include "stats/survival.h"
#include "stats/var.h"

namespace vok {

bool significant(float threshold, float cdf) {
  // The p-value in 32-bit arithmetic; a NaN fails the comparison.
  return threshold > 1.0f - cdf;
}

PerTest<bool> judge(const PerTest<float>& cdf, const PerTest<float>& thresholds) {
  PerTest<bool> out;
  for (Test t : kTests) out[t] = significant(thresholds[t], cdf[t]);
  return out;
}

bool all_equal(std::span<const float> values) {
  if (values.empty()) return false;
  const float first = values.front();
  bool equal = true;
  for (float v : values) equal &= v == first;
  return equal;
}

namespace {

bool all_finite(std::span<const float> values) {
  bool finite = true;
  for (float v : values) finite &= std::isfinite(v);
  return finite;
}

}  // namespace

bool testable(std::span<const float> x, std::span<const float> y, const FramePlan& plan, int k) {
  const auto s = static_cast<std::size_t>(plan.offset(k));
  const auto len = static_cast<std::size_t>(plan.frame_length);
  const std::span<const float> fx = x.subspan(s, len), fy = y.subspan(s, len);
  return !all_equal(fx) && !all_equal(fy) && all_finite(fx) && all_finite(fy);
}

bool nothing_to_test(std::span<const float> x, std::span<const float> y, const FramePlan& plan) {
  if (plan.frames < 1) return false;
  for (int k = 1; k <= plan.frames; ++k)
    if (testable(x, y, plan, k)) return false;
  return true;
}

FrameWork::FrameWork(const FramePlan& plan) {
  const std::size_t len = static_cast<std::size_t>(plan.frame_length);
  frame.resize(2 * len);
  residuals.resize(2 * len);
}

namespace {

// Hard clipping to the signs: >= 0 gives +1, anything else (NaN included) -1.
void clip_to_signs(std::span<float> values) {
  for (float& v : values) v = v >= 0.0f ? 1.0f : -1.0f;
}

}  // namespace

FrameJob FrameJob::of(std::span<const float> x, std::span<const float> y,
                      const FramePlan& plan, const Settings& settings,
                      const PerTest<float>& thresholds) {
  FrameJob job;
  job.x = x;
  job.y = y;
  job.plan = plan;
  job.var_lag = settings.var_lag;
  job.trend = settings.trend;
  job.clip = settings.transform == Transform::clip;
  job.thresholds = thresholds;
  return job;
}

FrameJob FrameJob::for_resample(std::span<const float> pair_x, std::span<const float> pair_y,
                                int lags) const {
  const int n = static_cast<int>(pair_x.size());
  FrameJob one = *this;
  one.x = pair_x;
  one.y = pair_y;
  one.plan = FramePlan::of(n, n, 0, lags);
  one.describe = false;
  one.places = {};
  return one;
}

std::uint64_t computed_frame_bytes(const FramePlan& plan, int var_lag) {
  constexpr std::uint64_t kHeapBlock = 16;
  const std::uint64_t lags = static_cast<std::uint64_t>(2 * plan.lags + 1);
  const std::uint64_t coefficients = 4ull * static_cast<std::uint64_t>(std::max(var_lag, 0));
  return sizeof(FrameOutcome) + lags * sizeof(float) + kHeapBlock +
         coefficients * (sizeof(double) + sizeof(float)) + 2 * sizeof(float) + 3 * kHeapBlock;
}

FrameOutcome compute_frame(const FrameJob& job, int k, FrameWork& work) {
  const FramePlan& plan = job.plan;
  const int frame_length = plan.frame_length;
  const FramePlace* place =
      job.places.empty() ? nullptr : &job.places[static_cast<std::size_t>(k - 1)];
  const std::size_t s = static_cast<std::size_t>(place ? place->start : plan.offset(k));
  const std::size_t len = static_cast<std::size_t>(frame_length);

  FrameOutcome out;
  Frame& f = out.frame;
  f.number = k;
  f.first_row = place ? place->first_row : static_cast<int>(s) + 1;
  f.last_row = place ? place->last_row : static_cast<int>(s) + frame_length;
  f.rows_dropped = place ? place->rows_dropped : 0;
  f.cross_correlations.assign(2 * plan.lags + 1, 0.0f);
  Messages messages(Stage::var_fit, k);
  try {
    std::vector<float>& frame = work.frame;
    std::vector<float>& residuals = work.residuals;
    std::copy_n(job.x.begin() + s, len, frame.begin());
    std::copy_n(job.y.begin() + s, len, frame.begin() + len);

    const bool constant = all_equal(std::span<const float>(frame.data(), len)) ||
                          all_equal(std::span<const float>(frame.data() + len, len));
    f.var_fit = setvar(frame, residuals, 2, frame_length, constant ? 0 : job.var_lag, messages,
                       job.trend);
    const std::span<float> x(residuals.data(), len);
    const std::span<float> y(residuals.data() + len, len);
    if (job.var_lag >= 1 && job.describe) {
      messages.set_stage(Stage::x_residuals);
      f.x_residuals = stat(x, messages);
      messages.set_stage(Stage::y_residuals);
      f.y_residuals = stat(y, messages);
    }
    if (job.describe) {
      // The check of changing variance sees prewhitened series: the VAR
      // residuals, or without a fit each series' AR(2) residuals (in the
      // frame's copy, which the tests no longer need).
      auto variance_pvalue = [&](std::span<const float> series, std::span<float> scratch) {
        if (job.var_lag == 0) {
          const int n = ar2_residuals(series, scratch);
          if (n > 0) return mcleod_li(scratch.first(static_cast<std::size_t>(n)), plan.lags).pvalue;
        }
        return mcleod_li(series, plan.lags).pvalue;
      };
      f.variance_pvalue_x = variance_pvalue(x, std::span<float>(frame.data(), len));
      f.variance_pvalue_y = variance_pvalue(y, std::span<float>(frame.data() + len, len));
    }
    if (job.clip) {
      clip_to_signs(x);
      clip_to_signs(y);
    }
    messages.set_stage(Stage::tests);
    const FrameTests t = constant ? constant_frame_tests(x, y, plan.lags, f.cross_correlations,
                                                        messages)
                                  : covxy_tests(x, y, plan.lags, f.cross_correlations, messages,
                                                work.tests, job.kernel);
    f.cdf = t.cdf;
    f.sd_x = t.sx;
    f.sd_y = t.sy;
    f.degenerate = t.degenerate;
    const FrameStatistics& st = t.statistics;
    f.df = {st.df_list, st.df_list, st.df_h, st.df_h, st.df_c, st.df_c, st.df_cxy};
    if (!t.degenerate) {
      f.statistic = {static_cast<float>(st.hxxy), static_cast<float>(st.hyyx),
                     static_cast<float>(st.hxxx), static_cast<float>(st.hyyy),
                     static_cast<float>(st.cx),   static_cast<float>(st.cy),
                     static_cast<float>(st.cxy)};
    }
    // From the statistic as the 32-bit CDF takes it, so that the two agree
    // but for the CDF's own rounding.
    for (Test test : kTests)
      f.pvalue[test] = t.degenerate ? std::numeric_limits<double>::quiet_NaN()
                                    : chi_square_survival(f.statistic[test], f.df[test]);
  } catch (const ComputationHalted&) {
    out.stopped = true;
  }
  out.messages = messages.take();
  return out;
}

}  // namespace vok
