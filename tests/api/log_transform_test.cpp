// The log transform both the library and the console program's runs apply.
#include "analysis/log_transform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vok {
namespace {

TEST(LogTransform, TakesNaturalLogsOfBothSeries) {
  std::vector<float> x{1.0f, std::exp(1.0f), 10.0f};
  std::vector<float> y{2.0f, 0.5f, 1.0f};
  EXPECT_FALSE(take_logs(x, y).has_value());
  EXPECT_EQ(x, (std::vector<float>{0.0f, std::log(std::exp(1.0f)), std::log(10.0f)}));
  EXPECT_EQ(y, (std::vector<float>{std::log(2.0f), std::log(0.5f), 0.0f}));
}

TEST(LogTransform, RefusesTheFirstNonPositiveValueInRowOrderXBeforeY) {
  struct Case {
    const char* what;
    std::vector<float> x, y;
    std::size_t index;
    bool in_y;
    float value;
  };
  const Case cases[] = {
      // y's bad value comes in an earlier row than x's.
      {"earlier row wins", {1, 1, -2}, {1, 0, 1}, 1, true, 0.0f},
      // Both in one row: x is looked at first.
      {"x before y in a row", {1, -1}, {1, -3}, 1, false, -1.0f},
      {"negative zero", {-0.0f}, {1}, 0, false, -0.0f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<float> x = c.x, y = c.y;
    const auto bad = take_logs(x, y);
    ASSERT_TRUE(bad.has_value());
    EXPECT_EQ(bad->index, c.index);
    EXPECT_EQ(bad->in_y, c.in_y);
    EXPECT_EQ(bad->value, c.value);
  }
}

}  // namespace
}  // namespace vok
