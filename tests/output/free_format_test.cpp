// Free-format lines: items separated by blanks, reals in their shortest form.
#include "output/free_format.h"

#include <gtest/gtest.h>

namespace vok {
namespace {

TEST(FreeFormat, ItemsSeparatedByBlanks) {
  EXPECT_EQ(free_format({"Frame length ", 11, " < 12. Increase lw"}),
            " Frame length  11  < 12. Increase lw");
  EXPECT_EQ(free_format({"exponent =", 0.51f, " is out of bounds"}),
            " exponent = 0.51  is out of bounds");
  EXPECT_EQ(free_format({"Variance ", 0.0, " in STAT"}), " Variance  0  in STAT");
  EXPECT_EQ(free_format({}), " ");
}

}  // namespace
}  // namespace vok
