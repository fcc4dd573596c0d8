// vok::analyse: the input checked, the analysis run into a sink (a
// ResultCollector for the Result).
#include "analysis/analyse.h"

#include <cmath>
#include <limits>
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
#include "vok/sink.h"
#include "vok/vok.h"

namespace vok {
namespace {

template <class... Parts>
[[noreturn]] void refuse(const Parts&... parts) {
  std::ostringstream text;
  text << "vok::analyse: ";
  (text << ... << parts);
  throw Error(text.str());
}

// Every value finite.
void check_values(std::span<const float> values, const char* series) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    const float v = values[i];
    if (!std::isfinite(v)) refuse(series, "[", i, "] = ", v, " is not a finite number");
  }
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
  if (x.size() != y.size()) refuse("x has ", x.size(), " values and y ", y.size());
  if (x.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    refuse(x.size(), " rows are more than an analysis takes");
  const int n = static_cast<int>(x.size());
  const FramePlan plan = frame_plan(n, settings);
  if (plan.frames < 1)
    refuse(n, " rows are too few for one frame of frame_length = ", settings.frame_length);
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
  if (x.size() != y.size()) refuse("x has ", x.size(), " values and y ", y.size());
  if (!stamps.empty() && stamps.size() != x.size())
    refuse(stamps.size(), " stamps for ", x.size(), " rows");
  check_values(x, "x");
  check_values(y, "y");

  std::vector<float> logs_x, logs_y;
  if (settings.transform == Transform::log) {
    logs_x.assign(x.begin(), x.end());
    logs_y.assign(y.begin(), y.end());
    if (const std::optional<NonPositiveValue> bad = take_logs(logs_x, logs_y))
      refuse(bad->in_y ? "y" : "x", "[", bad->index, "] = ", bad->value,
             ": the log transform needs positive values");
    x = logs_x;
    y = logs_y;
  }
  StampLookup lookup;
  if (!stamps.empty())
    lookup = [stamps](int row) -> std::string_view {
      return stamps[static_cast<std::size_t>(row - 1)];
    };

  UniformStream uniforms(settings.seed);
  const EngineOptions options{
      .threads = settings.threads > 0 ? settings.threads : processor_count(),
      .progress = false,
      .cancel = cancel};
  try {
    return detail::analyse(x, y, settings, lookup, uniforms, sink, options);
  } catch (const AnalysisStopped& stopped) {
    refuse(stopped.reason);
  }
}

Result analyse(std::span<const float> x, std::span<const float> y, const Settings& settings,
               std::span<const std::string> stamps, const std::atomic<bool>* cancel) {
  ResultCollector collector;
  const FramePlan plan = analyse(x, y, settings, collector, stamps, cancel);
  return collector.take(plan, settings);
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
