// vok::analyse: the input checked, the analysis run into a Result.
#include <cmath>
#include <limits>
#include <optional>
#include <sstream>
#include <vector>

#include "analysis/engine.h"
#include "analysis/log_transform.h"
#include "analysis/run_checks.h"
#include "exec/parallel.h"
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

Result analyse(std::span<const float> x, std::span<const float> y, const Settings& settings,
               std::span<const std::string> stamps, const std::atomic<bool>* cancel) {
  settings.check();
  if (x.size() != y.size()) refuse("x has ", x.size(), " values and y ", y.size());
  if (!stamps.empty() && stamps.size() != x.size())
    refuse(stamps.size(), " stamps for ", x.size(), " rows");
  if (x.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    refuse(x.size(), " rows are more than an analysis takes");
  const int n = static_cast<int>(x.size());
  const FramePlan plan = FramePlan::of(n, settings.frame_length, settings.overlap, lags(settings));
  if (plan.frames < 1)
    refuse(n, " rows are too few for one frame of frame_length = ", settings.frame_length);
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

  Result result;
  result.rows = n;
  result.lags = plan.lags;
  result.covered = plan.covered();
  result.frames.reserve(static_cast<std::size_t>(plan.frames));
  ResultCollector collector(result);
  UniformStream uniforms(settings.seed);
  const int threads = settings.threads > 0 ? settings.threads : processor_count();
  try {
    run_analysis(x, y, lookup, settings, plan, uniforms, collector,
                 EngineOptions{.threads = threads, .progress = false, .cancel = cancel});
  } catch (const AnalysisStopped& stopped) {
    refuse(stopped.reason);
  }
  complete_result(result, settings.false_alarm);
  return result;
}

}  // namespace vok
