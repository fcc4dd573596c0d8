// The settings of an analysis and their bounds: those the control files
// impose, so that a setting the console program refuses is refused here too.
#include <cmath>
#include <sstream>
#include <string>

#include "frames/frame_plan.h"
#include "vok/vok.h"

namespace vok {
namespace {

template <class V>
[[noreturn]] void refuse(Setting code, const char* setting, V value, const std::string& why) {
  std::ostringstream text;
  text << "vok::Settings::" << setting << " = " << value << ": " << why;
  throw Error(text.str(), code);
}

}  // namespace

int lags(const Settings& s) {
  return lags_for(s.frame_length, s.exponent);
}

int frame_count(const Settings& s, int rows) {
  s.check();
  if (rows < 0)
    throw Error("vok::frame_count: rows = " + std::to_string(rows) + ": must be 0 or more");
  return FramePlan::of(rows, s.frame_length, s.overlap, lags(s)).frames;
}

void Settings::check() const {
  if (frame_length < 12)
    refuse(Setting::frame_length, "frame_length", frame_length, "must be at least 12");
  // The bounds are the 32-bit reals nearest 0.01 and 0.5.
  if (!(exponent > 0.01f && exponent <= 0.5f))
    refuse(Setting::exponent, "exponent", exponent, "must lie above 0.01 and at most 0.5");
  if (overlap < 0) refuse(Setting::overlap, "overlap", overlap, "must be 0 or more");
  if (var_lag < 0) refuse(Setting::var_lag, "var_lag", var_lag, "must be 0 or more");
  if (var_lag > frame_length / 2 || frame_length - 2 * var_lag < 1)
    refuse(Setting::var_lag, "var_lag", var_lag,
           "leaves no degrees of freedom in frames of " + std::to_string(frame_length));
  if (!(false_alarm > 0.0f && false_alarm <= 1.0f))
    refuse(Setting::false_alarm, "false_alarm", false_alarm, "must lie above 0 and at most 1");
  if (resamples < 0) refuse(Setting::resamples, "resamples", resamples, "must be 0 or more");
  if (resamples >= 1 && 1.0f / static_cast<float>(resamples) > false_alarm)
    refuse(Setting::resamples, "resamples", resamples,
           "too few for false_alarm = " + std::to_string(false_alarm) +
               " (1/resamples must not exceed it)");
  if (transform != Transform::none && transform != Transform::clip && transform != Transform::log)
    refuse(Setting::transform, "transform", static_cast<int>(transform),
           "is not none, clip or log");
  if (bootstrap != Bootstrap::data && bootstrap != Bootstrap::frames)
    refuse(Setting::bootstrap, "bootstrap", static_cast<int>(bootstrap), "is not data or frames");
  if (threads < 0) refuse(Setting::threads, "threads", threads, "must be 0 (every core) or more");
  if (lags(*this) < 1)
    refuse(Setting::exponent, "exponent", exponent, "gives no lag in frames of this length");
}

const char* name(Test test) {
  // The names are literals: each view ends where its text's terminating zero stands.
  return test_name(test).data();
}

PerTest<float> Frame::p_values() const {
  PerTest<float> p;
  // 1 - P in double precision, rounded to 32 bits, as the frames file shows.
  for (Test t : kTests) p[t] = static_cast<float>(1.0 - static_cast<double>(cdf[t]));
  return p;
}

int Frame::hits() const {
  return (significant.hxxy ? 1 : 0) + (significant.hyyx ? 1 : 0) + (significant.hxxx ? 1 : 0) +
         (significant.hyyy ? 1 : 0);
}

}  // namespace vok
