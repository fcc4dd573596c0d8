#include "analysis/cautions.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>

#include "stats/survival.h"

namespace vok {

const char* name(CautionKind kind) {
  switch (kind) {
    case CautionKind::level:
      return "level";
    case CautionKind::changing_variance:
      return "changing_variance";
    case CautionKind::autocorrelation:
      return "autocorrelation";
    case CautionKind::lag0_correlation:
      return "lag0_correlation";
    case CautionKind::clip_data_bootstrap:
      return "clip_data_bootstrap";
    case CautionKind::constant_frames:
      break;
  }
  return "constant_frames";
}

namespace {

// The triggers. A frame's check is judged at the false-alarm level; a
// caution asks for a share of significant frames well above it and a
// binomial p-value that so many would rarely come by chance.
constexpr CautionRule kVarianceRule{2.0, 1e-3};
constexpr CautionRule kLevelRule{2.0, 1e-3};
constexpr CautionRule kLag0Rule{2.0, 1e-3};
// "Far above their level": the correlation tests also run somewhat above
// their level on changing variance and heavy tails, which a VAR fit does
// not cure.
constexpr CautionRule kAutocorrelationRule{4.0, 1e-3};
// Lag-0 correlations smaller than this move the cross tests' rejection
// rates little; the caution is for those that matter.
constexpr double kLag0Smallest = 0.2;

bool fires(const CautionRule& rule, int significant, int frames, float false_alarm) {
  if (frames <= 0) return false;
  const double alpha = false_alarm;
  // The share asked for, at most halfway from the level to every frame.
  const double share = std::min(rule.times_level * alpha, alpha + (1.0 - alpha) / 2.0);
  return significant >= share * frames &&
         binomial_upper_tail(significant, frames, alpha) < rule.pvalue;
}

// A value with `digits` significant digits ("%.*g").
std::string number(double value, int digits) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*g", digits, value);
  return text;
}

// "77.5%": a share as a percent to one decimal.
std::string percent(int count, int frames) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f%%", frames > 0 ? 100.0 * count / frames : 0.0);
  return text;
}

std::string of_frames(int count, int frames) {
  return percent(count, frames) + " of " + std::to_string(frames) + " frames";
}

Caution counted(CautionKind kind, std::string series, int frames, int count, double figure,
                float false_alarm, std::string advice) {
  Caution c;
  c.kind = kind;
  c.series = std::move(series);
  c.frames = frames;
  c.count = count;
  c.figure = figure;
  c.binomial_pvalue = binomial_upper_tail(count, frames, false_alarm);
  c.advice = std::move(advice);
  return c;
}

// Significant at the false-alarm level as a standard normal score.
bool normal_significant(double z, float false_alarm) {
  return std::isfinite(z) && chi_square_survival(z * z, 1) < static_cast<double>(false_alarm);
}

}  // namespace

void CautionTally::Count::add(bool is_significant, double figure) {
  ++frames;
  significant += is_significant ? 1 : 0;
  sum += figure;
}

CautionTally::CautionTally(const Settings& settings)
    : settings_(settings), variance_x_(settings.false_alarm), variance_y_(settings.false_alarm) {}

void CautionTally::add(const Frame& f) {
  ++frames_;
  variance_x_.add(f.variance_pvalue_x);
  variance_y_.add(f.variance_pvalue_y);
  if (f.degenerate) {
    ++constant_;
    return;
  }
  const float alpha = settings_.false_alarm;
  const double n = f.last_row - f.first_row + 1;
  // The level of the residuals in their own standard deviations, and its
  // score against a mean of zero.
  auto level = [&](const std::optional<DescriptiveStats>& r, Count& count) {
    if (!r || !(r->sd > 0.0f)) return;
    const double in_sd = static_cast<double>(r->mean) / r->sd;
    count.add(normal_significant(in_sd * std::sqrt(n), alpha), in_sd);
  };
  level(f.x_residuals, level_x_);
  level(f.y_residuals, level_y_);
  correlated_x_.add(f.significant.cx, 0.0);
  correlated_y_.add(f.significant.cy, 0.0);
  if (!f.cross_correlations.empty()) {
    const double r0 = f.cross_correlations[f.cross_correlations.size() / 2];
    lag0_.add(normal_significant(r0 * std::sqrt(n), alpha), r0);
  }
}

std::vector<Caution> CautionTally::cautions() const {
  const Settings& s = settings_;
  const float alpha = s.false_alarm;
  const bool clipped = s.transform == Transform::clip;
  const bool frames_bootstrap = s.resamples > 0 && s.bootstrap == Bootstrap::frames;
  std::vector<Caution> out;
  struct Series {
    const char* name;
    const char* test;
    const Count& level;
    VarianceCheck variance;
    const Count& correlated;
  };
  for (const Series& x : {Series{"x", "Cx", level_x_, variance_x_.check(), correlated_x_},
                          Series{"y", "Cy", level_y_, variance_y_.check(), correlated_y_}}) {
    const std::string series = x.name;
    if (s.var_lag >= 1 && s.trend == Trend::n &&
        fires(kLevelRule, x.level.significant, x.level.frames, alpha)) {
      Caution c = counted(CautionKind::level, series, x.level.frames, x.level.significant,
                          x.level.sum / x.level.frames, alpha, "trend=c");
      c.message = series +
                  " keeps a level in its VAR residuals (a fit without a constant): " + "mean " +
                  number(c.figure, 2) + " residual standard deviations, away from 0 in " +
                  of_frames(c.count, c.frames) + "; a level makes the correlation tests fire " +
                  "as dependence would: fit with a constant (trend=c) to tell the two apart";
      out.push_back(c);
    }
    const VarianceCheck& v = x.variance;
    if (!clipped && fires(kVarianceRule, v.significant, v.frames, alpha)) {
      Caution c = counted(CautionKind::changing_variance, series, v.frames, v.significant,
                          v.frames > 0 ? static_cast<double>(v.significant) / v.frames : 0.0, alpha,
                          "transform=clip");
      c.message = series + " changes its variance: McLeod-Li of the prewhitened series " +
                  "significant in " + of_frames(c.count, c.frames) + " (binomial p " +
                  number(c.binomial_pvalue, 2) + "); changing variance (volatility clustering) " +
                  "makes the bicorrelation tests fire as nonlinear dependence does: counts " +
                  "that stay with clipped series (transform=clip) point to dependence, counts " +
                  "that go with clipping to the changing variance";
      out.push_back(c);
    }
    const Count& r = x.correlated;
    if (s.var_lag == 0 && fires(kAutocorrelationRule, r.significant, r.frames, alpha)) {
      Caution c = counted(CautionKind::autocorrelation, series, r.frames, r.significant,
                          r.frames > 0 ? static_cast<double>(r.significant) / r.frames : 0.0, alpha,
                          "var_lag=1");
      c.message = series + " is autocorrelated: " + x.test + " significant in " +
                  of_frames(c.count, c.frames) + " without a VAR fit (var_lag=0); linear " +
                  "autocorrelation makes the bicorrelation tests fire as nonlinear dependence " +
                  "does: prewhiten with a VAR fit (var_lag=1 or more) to tell the two apart";
      out.push_back(c);
    }
  }
  if (!frames_bootstrap && lag0_.frames > 0 &&
      std::fabs(lag0_.sum / lag0_.frames) >= kLag0Smallest &&
      fires(kLag0Rule, lag0_.significant, lag0_.frames, alpha)) {
    Caution c = counted(CautionKind::lag0_correlation, "", lag0_.frames, lag0_.significant,
                        lag0_.sum / lag0_.frames, alpha, "bootstrap=frames");
    c.message = "x and y are correlated at lag 0: r " + number(c.figure, 2) +
                " on average, significant in " + of_frames(c.count, c.frames) +
                "; judged against thresholds that take x and y apart (" +
                (s.resamples > 0 ? "the data bootstrap" : "nominal") +
                "), the cross tests fire on lag-0 correlation as on lagged dependence: " +
                "bootstrap the frames (bootstrap=frames), whose resamples keep it, to tell the " +
                "two apart";
    out.push_back(c);
  }
  if (clipped && s.resamples > 0 && s.bootstrap == Bootstrap::data) {
    Caution c;
    c.kind = CautionKind::clip_data_bootstrap;
    c.advice = "bootstrap=frames";
    c.message =
        "clipped series with the data bootstrap: its thresholds come from unclipped "
        "resamples and belong to another statistic (the cross tests then hardly ever "
        "reject): bootstrap the frames (bootstrap=frames)";
    out.push_back(c);
  }
  if (constant_ > 0) {
    Caution c;
    c.kind = CautionKind::constant_frames;
    c.frames = frames_;
    c.count = constant_;
    c.figure = static_cast<double>(constant_) / frames_;
    c.message = std::to_string(constant_) + " of " + std::to_string(frames_) +
                " frames have a constant x or y: no test is computed in them and none is " +
                "significant";
    out.push_back(c);
  }
  return out;
}

std::vector<Caution> cautions(const Result& result, const Settings& settings) {
  CautionTally tally(settings);
  for (const Frame& f : result.frames) tally.add(f);
  return tally.cautions();
}

}  // namespace vok
