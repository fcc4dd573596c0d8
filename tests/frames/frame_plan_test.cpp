// The frame plan: how many frames n rows give, where each one starts and what
// whole frames cover. The expected counts are worked out by hand from the
// frames' placement, not from the formula.
#include "frames/frame_plan.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

struct PlanCase {
  const char* what;
  int rows, frame_length, overlap;
  int frames;    // frames the plan must give
  int covered;   // rows whole frames cover
  int last_end;  // the last row of the last frame (0 without one)
};

TEST(FramePlan, CountsPlacesAndCoversFrames) {
  const PlanCase cases[] = {
      // End to end: whole frames only, the rows left over belong to none.
      {"end to end, rows left over", 100, 40, 0, 2, 80, 80},
      {"end to end, exact fit", 120, 40, 0, 3, 120, 120},
      {"end to end, fewer rows than a frame", 39, 40, 0, 0, 0, 0},
      {"end to end, no rows", 0, 40, 0, 0, 0, 0},
      // Overlapping frames start every `overlap` rows; the count is
      // (n - frame_length - 1) div overlap + 1, so a frame that would end on the last row
      // is not started (offset 60 of 100 rows in frames of 40 below).
      {"overlap, frames every 10 rows", 100, 40, 10, 6, 80, 90},
      {"overlap, frames every 20 rows", 100, 40, 20, 3, 80, 80},
      {"overlap, one frame of every row", 40, 40, 10, 1, 40, 40},
      {"overlap, a frame longer than the rows", 39, 40, 10, 0, 0, 0},
      {"overlap, no rows", 0, 40, 10, 0, 0, 0},
      {"overlap wider than a frame", 200, 40, 50, 4, 200, 190},
  };
  for (const PlanCase& c : cases) {
    SCOPED_TRACE(c.what);
    const FramePlan plan = FramePlan::of(c.rows, c.frame_length, c.overlap, 3);
    EXPECT_EQ(plan.frames, c.frames);
    EXPECT_EQ(plan.covered(), c.covered);
    const int last_end = plan.frames > 0 ? plan.offset(plan.frames) + c.frame_length : 0;
    EXPECT_EQ(last_end, c.last_end);
    EXPECT_LE(last_end, c.rows) << "a frame reaches past the rows";
    EXPECT_EQ(plan.offset(1), 0);
  }
}

TEST(FramePlan, ListHoldsEveryLagPairOfTheFrame) {
  // Lags 1..lg against -lg..lg: lg (2 lg + 1) entries.
  EXPECT_EQ(FramePlan::of(100, 40, 0, 1).list_length(), 3);
  EXPECT_EQ(FramePlan::of(100, 40, 0, 3).list_length(), 21);
}

TEST(Lags, NearestIntegerOfThePower) {
  EXPECT_EQ(lags_for(64, 0.4f), 5);  // 5.28
  EXPECT_EQ(lags_for(100, 0.5f), 10);
  EXPECT_EQ(lags_for(300, 0.4f), 10);  // 9.79
  EXPECT_EQ(lags_for(12, 0.01f), 1);
}

}  // namespace
}  // namespace vok
