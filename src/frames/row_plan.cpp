// vok::plan_rows (public, <vok/missing.h>): the rows kept of a series with
// missing rows, and where its frames lie under each policy.
#include <cstddef>
#include <limits>
#include <string>

#include "frames/frame_plan.h"
#include "vok/missing.h"

namespace vok {
namespace {

// The frames of the kept rows kept[first .. first + count - 1], cut as a
// series of `count` rows is.
void place_frames(const std::vector<int>& kept, int first, int count, const Settings& settings,
                  int lags, std::vector<FramePlace>& out) {
  const FramePlan plan = FramePlan::of(count, settings.frame_length, settings.overlap, lags);
  for (int k = 1; k <= plan.frames; ++k) {
    FramePlace place;
    place.start = first + plan.offset(k);
    place.first_row = kept[static_cast<std::size_t>(place.start)] + 1;
    place.last_row = kept[static_cast<std::size_t>(place.start + plan.frame_length - 1)] + 1;
    place.rows_dropped = place.last_row - place.first_row + 1 - plan.frame_length;
    out.push_back(place);
  }
}

}  // namespace

RowPlan plan_rows(std::span<const bool> missing, Missing policy, const Settings& settings) {
  settings.check();
  if (missing.size() > static_cast<std::size_t>(std::numeric_limits<int>::max()))
    throw Error("vok::plan_rows: " + std::to_string(missing.size()) +
                " rows are more than an analysis takes");
  RowPlan plan;
  plan.lags = lags(settings);
  for (std::size_t i = 0; i < missing.size(); ++i)
    if (!missing[i]) plan.kept.push_back(static_cast<int>(i));
  const int kept = static_cast<int>(plan.kept.size());
  if (policy == Missing::drop) {
    place_frames(plan.kept, 0, kept, settings, plan.lags, plan.frames);
    return plan;
  }
  // Runs of consecutive rows, each cut into frames of its own.
  for (int first = 0; first < kept;) {
    int end = first + 1;
    while (end < kept && plan.kept[static_cast<std::size_t>(end)] ==
                             plan.kept[static_cast<std::size_t>(end - 1)] + 1)
      ++end;
    place_frames(plan.kept, first, end - first, settings, plan.lags, plan.frames);
    first = end;
  }
  return plan;
}

}  // namespace vok
