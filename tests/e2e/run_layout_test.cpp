// Names and frame layout of a run from its settings: output names, column
// tags, base names, frame count and step, statistics length, lags.
#include "control/run_layout.h"

#include <gtest/gtest.h>

#include "frames/frame_plan.h"
#include "report/frame_lines.h"
#include "frames/wind.h"

namespace vok {
namespace {

TEST(RunLayout, ColumnTags) {
  struct Case {
    int column;
    const char* tag;
  };
  const Case cases[] = {{1, "_1"},  {9, "_9"},  {10, "10"},  {14, "14"},
                        {19, "19"}, {20, "20"}, {137, "137"}};
  for (const Case& c : cases) EXPECT_EQ(column_tag(c.column), c.tag) << c.column;
}

TEST(RunLayout, OutputNames) {
  const OutputNames a = output_names("runA", 1, 2);
  EXPECT_EQ(a.report, "runA_1-_2.out");
  EXPECT_EQ(a.graph, "runA_1-_2.graph");
  EXPECT_EQ(a.frames, "runA-frames.out");
  EXPECT_EQ(a.xy, "runA-xy.graph");
  EXPECT_EQ(output_names("runA", 10, 19).report, "runA10-19.out");
  EXPECT_EQ(output_names("runA", 12, 4).graph, "runA12-_4.graph");
  EXPECT_EQ(output_names("runA", 3, 25).report, "runA_3-25.out");
  // The frames and xy graph files carry no tag.
  EXPECT_EQ(output_names("runA", 12, 4).frames, "runA-frames.out");
}

TEST(RunLayout, BaseNames) {
  struct Case {
    const char* name;
    std::optional<std::string> base;
  };
  const Case cases[] = {
      {"runA.cnl", "runA"},
      {"runA.v2.cnl", "runA"},  // up to the first "."
      {"./runs/runA.cnl", "./runs/runA"},
      {"runs.d/runA.cnl", "runs.d/runA"},
      {"../up/run.x", "../up/run"},
      {"runA.", "runA"},
      {".cnl", ""},
      {"runA", std::nullopt},
      {"runs.d/runA", std::nullopt},  // the "." stands before the last "/"
      {"./runA", std::nullopt},
      {"", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(output_base(c.name), c.base) << c.name;
}

TEST(RunLayout, FrameCountAndStep) {
  struct Case {
    int n, frame_length, overlap;
    int frames, step;
  };
  const Case cases[] = {
      {100, 30, 0, 3, 30},                          // end to end; rows 91-100 unused
      {90, 30, 0, 3, 30},                           // exactly three frames
      {20, 30, 0, 0, 30},                           // fewer rows than one frame
      {100, 30, 10, 7, 10},                         // (100 - 30 - 1) div 10 + 1
      {100, 40, 30, 2, 30},                         // 59 div 30 + 1
      {100, 100, 10, 1, 10},                        // frame_length = n: one frame
      {99, 100, 10, 0, 10},                         // frame_length > n: no frame
      {0, 30, 0, 0, 30},                            // nothing read
      {0, 30, 5, 0, 5},      {100, 30, -5, 1, 30},  // a negative overlap is refused after the count
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "n " << c.n << " frame_length " << c.frame_length
                                    << " overlap " << c.overlap);
    const FramePlan plan = FramePlan::of(c.n, c.frame_length, c.overlap, 1);
    EXPECT_EQ(plan.frames, c.frames);
    if (c.overlap >= 0) {
      EXPECT_EQ(plan.step(), c.step);
      EXPECT_EQ(plan.offset(3), 2 * c.step);
    }
  }
}

// With a positive overlap every counted frame lies inside the n rows.
TEST(RunLayout, OverlappedFramesStayInsideTheRows) {
  for (int n = 12; n <= 120; ++n)
    for (int frame_length = 12; frame_length <= n; frame_length += 7)
      for (int overlap = 1; overlap <= 50; overlap += 3) {
        const FramePlan plan = FramePlan::of(n, frame_length, overlap, 1);
        ASSERT_GE(plan.frames, 1);
        EXPECT_LE(plan.offset(plan.frames) + frame_length, n)
            << n << " " << frame_length << " " << overlap;
      }
}

TEST(RunLayout, StatisticsLength) {
  EXPECT_EQ(FramePlan::of(100, 30, 0, 1).covered(), 90);
  EXPECT_EQ(FramePlan::of(90, 30, 0, 1).covered(), 90);
  EXPECT_EQ(FramePlan::of(29, 30, 0, 1).covered(), 0);
}

TEST(RunLayout, LagsAndBicorrelationCount) {
  struct Case {
    int frame_length;
    float exponent;
    int lags, count;
  };
  const Case cases[] = {
      {64, 0.4f, 5, 55},                        // 64 ** 0.4 = 5.28
      {100, 0.5f, 10, 210}, {40, 0.4f, 4, 36},  // 4.37
      {40, 0.3f, 3, 21},                        // 3.02
      {60, 0.5f, 8, 136},                       // 7.75
      {12, 0.0101f, 1, 3},  // the smallest frame and exponent still give one lag
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "frame_length " << c.frame_length << " exponent "
                                    << c.exponent);
    EXPECT_EQ(lags_for(c.frame_length, c.exponent), c.lags);
    EXPECT_EQ(FramePlan::of(100, c.frame_length, 0, c.lags).list_length(), c.count);
  }
}

}  // namespace
}  // namespace vok
