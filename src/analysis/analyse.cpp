// vok::analyse: the input checked, the analysis run into a sink (a
// ResultCollector for the Result).
#include "analysis/analyse.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <optional>
#include <sstream>
#include <utility>
#include <vector>

#include "analysis/cautions.h"
#include "analysis/engine.h"
#include "analysis/log_transform.h"
#include "analysis/run_checks.h"
#include "analysis/setting_bounds.h"
#include "exec/parallel.h"
#include "vok/missing.h"
#include "vok/sink.h"
#include "vok/vok.h"

namespace vok {
namespace {

// Refuses the input: `series` (and the value at `index`) as values, the
// parts as the message.
template <class... Parts>
[[noreturn]] void refuse(Series series, std::optional<std::size_t> index, const Parts&... parts) {
  std::ostringstream text;
  text << "vok::analyse: ";
  (text << ... << parts);
  throw Error(text.str(), series, index);
}

// Every value finite.
void check_values(std::span<const float> values, Series series) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    const float v = values[i];
    if (!std::isfinite(v))
      refuse(series, i, series == Series::x ? "x" : "y", "[", i, "] = ", v,
             " is not a finite number");
  }
}

// x and y of one length, and one stamp a row when there are stamps.
void check_lengths(std::span<const float> x, std::span<const float> y,
                   std::span<const std::string> stamps) {
  if (x.size() != y.size())
    refuse(Series::both, std::nullopt, "x has ", x.size(), " values and y ", y.size());
  if (!stamps.empty() && stamps.size() != x.size())
    refuse(Series::stamps, std::nullopt, stamps.size(), " stamps for ", x.size(), " rows");
}

// The stamp of a 1-based row (none without stamps).
StampLookup lookup_of(std::span<const std::string> stamps) {
  if (stamps.empty()) return {};
  return
      [stamps](int row) -> std::string_view { return stamps[static_cast<std::size_t>(row - 1)]; };
}

EngineOptions options_of(const Settings& settings, const std::atomic<bool>* cancel) {
  return {.threads = settings.threads > 0 ? settings.threads : processor_count(),
          .progress = {},  // a program of its own draws no progress line
          .cancel = cancel};
}

}  // namespace

namespace detail {

FramePlan frame_plan(int rows, const Settings& settings) {
  return FramePlan::of(rows, settings.frame_length, settings.overlap, lags(settings));
}

FramePlan analyse(std::span<const float> x, std::span<const float> y, const Settings& settings,
                  const StampLookup& stamps, UniformStream& uniforms, AnalysisSink& sink,
                  const EngineOptions& options, std::span<FrameOutcome> computed) {
  for (Bound bound : kBounds)
    if (bound != Bound::resamples_for_level) check_bound(settings, bound);
  if (x.size() != y.size())
    refuse(Series::both, std::nullopt, "x has ", x.size(), " values and y ", y.size());
  if (x.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    refuse(Series::both, std::nullopt, x.size(), " rows are more than an analysis takes");
  const int n = static_cast<int>(x.size());
  const FramePlan plan = frame_plan(n, settings);
  if (plan.frames < 1)
    refuse(Series::both, std::nullopt, n,
           " rows are too few for one frame of frame_length = ", settings.frame_length);
  run_analysis(x, y, stamps, settings, plan, uniforms, sink, options, computed);
  return plan;
}

}  // namespace detail

FramePlan analyse(std::span<const float> x, std::span<const float> y, const Settings& settings,
                  AnalysisSink& sink, std::span<const std::string> stamps,
                  const std::atomic<bool>* cancel) {
  // A setting out of its bounds is refused before anything else, the
  // resamples the level needs among them.
  settings.check();
  check_lengths(x, y, stamps);
  check_values(x, Series::x);
  check_values(y, Series::y);

  std::vector<float> logs_x, logs_y;
  if (settings.transform == Transform::log) {
    logs_x.assign(x.begin(), x.end());
    logs_y.assign(y.begin(), y.end());
    if (const std::optional<NonPositiveValue> bad = take_logs(logs_x, logs_y))
      refuse(bad->in_y ? Series::y : Series::x, static_cast<std::size_t>(bad->index),
             bad->in_y ? "y" : "x", "[", bad->index, "] = ", bad->value,
             ": the log transform needs positive values");
    x = logs_x;
    y = logs_y;
  }
  const StampLookup lookup = lookup_of(stamps);

  UniformStream uniforms(settings.seed);
  const EngineOptions options = options_of(settings, cancel);
  try {
    return detail::analyse(x, y, settings, lookup, uniforms, sink, options);
  } catch (const AnalysisStopped& stopped) {
    throw Error("vok::analyse: " + stopped.reason);
  }
}

Result analyse(std::span<const float> x, std::span<const float> y, const Settings& settings,
               std::span<const std::string> stamps, const std::atomic<bool>* cancel) {
  ResultCollector collector;
  const FramePlan plan = analyse(x, y, settings, collector, stamps, cancel);
  return collector.take(plan, settings);
}

Result analyse_with_missing(std::span<const float> x, std::span<const float> y,
                            const Settings& settings, Missing policy,
                            std::span<const std::string> stamps, const std::atomic<bool>* cancel) {
  settings.check();
  check_lengths(x, y, stamps);
  const std::size_t n = x.size();
  const std::unique_ptr<bool[]> missing(new bool[n]);
  for (std::size_t i = 0; i < n; ++i) {
    missing[i] = std::isnan(x[i]) || std::isnan(y[i]);
    if (missing[i]) continue;
    if (!std::isfinite(x[i]))
      refuse(Series::x, i, "x[", i, "] = ", x[i], " is not a finite number");
    if (!std::isfinite(y[i]))
      refuse(Series::y, i, "y[", i, "] = ", y[i], " is not a finite number");
  }
  const RowPlan rows = plan_rows(std::span<const bool>(missing.get(), n), policy, settings);
  const std::size_t kept = rows.kept.size();
  if (rows.frames.empty()) {
    if (policy == Missing::drop || kept == 0)
      refuse(Series::both, std::nullopt, kept,
             " rows without a missing value are too few for one frame of frame_length = ",
             settings.frame_length);
    std::size_t longest = 0, run = 0;
    for (std::size_t i = 0; i < kept; ++i) {
      run = i > 0 && rows.kept[i] == rows.kept[i - 1] + 1 ? run + 1 : 1;
      longest = std::max(longest, run);
    }
    refuse(Series::both, std::nullopt,
           "no run of rows between missing values holds a frame of frame_length = ",
           settings.frame_length, " (the longest run has ", longest, " rows)");
  }

  std::vector<float> kept_x(kept), kept_y(kept);
  for (std::size_t i = 0; i < kept; ++i) {
    kept_x[i] = x[static_cast<std::size_t>(rows.kept[i])];
    kept_y[i] = y[static_cast<std::size_t>(rows.kept[i])];
  }
  if (settings.transform == Transform::log)
    if (const std::optional<NonPositiveValue> bad = take_logs(kept_x, kept_y))
      refuse(bad->in_y ? Series::y : Series::x, static_cast<std::size_t>(rows.kept[bad->index]),
             bad->in_y ? "y" : "x", "[", rows.kept[bad->index], "] = ", bad->value,
             ": the log transform needs positive values");
  const StampLookup lookup = lookup_of(stamps);

  FramePlan plan = detail::frame_plan(static_cast<int>(kept), settings);
  plan.frames = static_cast<int>(rows.frames.size());
  UniformStream uniforms(settings.seed);
  const EngineOptions options = options_of(settings, cancel);
  ResultCollector collector;
  try {
    run_analysis(kept_x, kept_y, lookup, settings, plan, uniforms, collector, options, {},
                 rows.frames);
  } catch (const AnalysisStopped& stopped) {
    throw Error("vok::analyse: " + stopped.reason);
  }
  return collector.take(plan, settings.false_alarm);
}

void ResultCollector::diagnostic(const Message& m) {
  result_.messages.push_back(m);
}
void ResultCollector::statistics(const DescriptiveStats& x, const DescriptiveStats& y) {
  result_.x_stats = x;
  result_.y_stats = y;
}
void ResultCollector::thresholds(const PerTest<float>& values, bool bootstrapped) {
  result_.thresholds = values;
  result_.bootstrapped = bootstrapped;
}
void ResultCollector::frame(const Frame& frame, std::span<const Message> messages) {
  result_.frames.push_back(frame);
  result_.messages.insert(result_.messages.end(), messages.begin(), messages.end());
}
void ResultCollector::finish(const PerTest<int>& counts, const CorrelationSummary* summary) {
  result_.counts = counts;
  if (summary) result_.summary = *summary;
}

Result ResultCollector::take(const FramePlan& plan, float false_alarm) {
  Result result = std::exchange(result_, {});
  result.rows = plan.rows;
  result.lags = plan.lags;
  result.covered = plan.covered();
  complete_result(result, false_alarm);
  return result;
}

Result ResultCollector::take(const FramePlan& plan, const Settings& settings) {
  Result result = take(plan, settings.false_alarm);
  result.cautions = cautions(result, settings);
  return result;
}

}  // namespace vok
