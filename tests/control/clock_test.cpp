#include "control/clock.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>

namespace vok {
namespace {

TEST(Clock, NegativeDifferenceIsShiftedByADay) {
  EXPECT_FLOAT_EQ(elapsed_time(100.0f, 40.0f), 86340.0f);
  EXPECT_FLOAT_EQ(elapsed_time(1.0f, 3.5f), 2.5f);
  EXPECT_EQ(elapsed_time(5.0f, 5.0f), 0.0f);
}

TEST(Clock, LocalDateAndTimeText) {
  const std::string text = local_date_time();
  EXPECT_EQ(text.size(), 24u);
  EXPECT_TRUE(std::regex_match(
      text, std::regex(R"((Sun|Mon|Tue|Wed|Thu|Fri|Sat) )"
                       R"((Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) )"
                       R"((0[1-9]|[12][0-9]|3[01]) ([01][0-9]|2[0-3]):[0-5][0-9]:[0-6][0-9] )"
                       R"([0-9]{4})")))
      << text;
}

}  // namespace
}  // namespace vok
