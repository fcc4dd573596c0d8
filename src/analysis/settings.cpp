// The settings of an analysis and their bounds: those the control files
// impose, so that a setting the console program refuses is refused here too.
#include <cmath>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

#include "analysis/setting_bounds.h"
#include "frames/frame_plan.h"
#include "vok/vok.h"

namespace vok {
namespace {

template <class V>
[[noreturn]] void refuse(Setting code, Bound bound, const char* setting, V value,
                         const std::string& why) {
  std::ostringstream text;
  text << "vok::Settings::" << setting << " = " << value << ": " << why;
  throw Error(text.str(), code, bound);
}

}  // namespace

int lags(const Settings& s) {
  return lags_for(s.frame_length, s.exponent);
}

int frame_count(const Settings& s, int rows) {
  s.check();
  if (rows < 0)
    throw Error("vok::frame_count: rows = " + std::to_string(rows) + ": must be 0 or more",
                Series::both);
  return FramePlan::of(rows, s.frame_length, s.overlap, lags(s)).frames;
}

void Settings::check() const {
  for (detail::Bound bound : detail::kBounds) detail::check_bound(*this, bound);
}

namespace detail {

void check_bound(const Settings& s, Bound bound) {
  switch (bound) {
    case Bound::frame_length:
      if (s.frame_length < 12)
        refuse(Setting::frame_length, bound, "frame_length", s.frame_length, "must be at least 12");
      return;
    case Bound::exponent:
      if (!(s.exponent > 0.01f && s.exponent <= 0.5f))
        refuse(Setting::exponent, bound, "exponent", s.exponent, "must lie above 0.01 and at most 0.5");
      return;
    case Bound::overlap:
      if (s.overlap < 0) refuse(Setting::overlap, bound, "overlap", s.overlap, "must be 0 or more");
      return;
    case Bound::var_lag:
      if (s.var_lag < 0) refuse(Setting::var_lag, bound, "var_lag", s.var_lag, "must be 0 or more");
      if (s.var_lag > s.frame_length / 2 || s.frame_length - 2 * s.var_lag < 1)
        refuse(Setting::var_lag, bound, "var_lag", s.var_lag,
               "leaves no degrees of freedom in frames of " + std::to_string(s.frame_length));
      return;
    case Bound::false_alarm:
      if (!(s.false_alarm > 0.0f && s.false_alarm <= 1.0f))
        refuse(Setting::false_alarm, bound, "false_alarm", s.false_alarm,
               "must lie above 0 and at most 1");
      return;
    case Bound::resamples:
      if (s.resamples < 0)
        refuse(Setting::resamples, bound, "resamples", s.resamples, "must be 0 or more");
      return;
    case Bound::resamples_for_level:
      if (s.resamples >= 1 && 1.0f / static_cast<float>(s.resamples) > s.false_alarm)
        refuse(Setting::resamples, bound, "resamples", s.resamples,
               "too few for false_alarm = " + std::to_string(s.false_alarm) +
                   " (1/resamples must not exceed it)");
      return;
    case Bound::transform:
      if (s.transform != Transform::none && s.transform != Transform::clip &&
          s.transform != Transform::log)
        refuse(Setting::transform, bound, "transform", static_cast<int>(s.transform),
               "is not none, clip or log");
      return;
    case Bound::bootstrap:
      if (s.bootstrap != Bootstrap::data && s.bootstrap != Bootstrap::frames)
        refuse(Setting::bootstrap, bound, "bootstrap", static_cast<int>(s.bootstrap),
               "is not data or frames");
      return;
    case Bound::trend:
      if (s.trend != Trend::n && s.trend != Trend::c)
        refuse(Setting::trend, bound, "trend", static_cast<int>(s.trend), "is not n or c");
      return;
    case Bound::threads:
      if (s.threads < 0)
        refuse(Setting::threads, bound, "threads", s.threads, "must be 0 (every core) or more");
      return;
    case Bound::lags:
      if (lags(s) < 1)
        refuse(Setting::exponent, bound, "exponent", s.exponent,
               "gives no lag in frames of this length");
      return;
  }
}

bool outside(const Settings& settings, Bound bound) {
  try {
    check_bound(settings, bound);
  } catch (const Error&) {
    return true;
  }
  return false;
}

}  // namespace detail

std::string Error::reason() const {
  std::string_view text = what();
  for (std::string_view prefix : {"vok::Settings::", "vok::analyse: ", "vok::frame_count: "})
    if (text.starts_with(prefix)) {
      text.remove_prefix(prefix.size());
      break;
    }
  return std::string(text);
}

std::optional<Bound> violation(const Settings& settings) {
  for (Bound bound : detail::kBounds)
    if (detail::outside(settings, bound)) return bound;
  return std::nullopt;
}

const char* name(Test test) {
  // The names are literals: each view ends where its text's terminating zero stands.
  return test_name(test).data();
}

const char* name(Trend trend) {
  return trend == Trend::c ? "c" : "n";
}

Trend parse_trend(std::string_view name) {
  if (name == "n") return Trend::n;
  if (name == "c") return Trend::c;
  throw Error("vok::Settings::trend = \"" + std::string(name) + "\": must be \"n\" or \"c\"",
              Setting::trend);
}

PerTest<float> Frame::p_values() const {
  PerTest<float> p;
  // 1 - P in double precision, rounded to 32 bits, as the frames file shows.
  for (Test t : kTests) p[t] = static_cast<float>(1.0 - static_cast<double>(cdf[t]));
  return p;
}

int Frame::hits() const {
  int hits = 0;
  for (Test t : kBicorrelationTests) hits += significant[t] ? 1 : 0;
  return hits;
}

}  // namespace vok
