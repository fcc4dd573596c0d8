// The McLeod-Li test: the Ljung-Box statistic of the squared deviations.
#include "stats/mcleod_li.h"

#include <gtest/gtest.h>

#include <cmath>
#include <utility>
#include <vector>

#include "bootstrap/uniform.h"

namespace vok {
namespace {

// The Ljung-Box test of statistical packages on e = (x - mean)^2 gives Q =
// 1.2765672001499393 and p = 0.7347048040481345 at 3 lags for this series.
TEST(McLeodLi, AgreesWithTheLjungBoxTestOfTheSquares) {
  const std::vector<float> x = {0.5f, -1.25f, 2.0f,  0.25f, -0.75f, 3.0f, -2.5f,  0.0f,
                                1.5f, -0.5f,  0.75f, -3.5f, 1.0f,   2.25f, -1.0f, 0.125f};
  const McLeodLi m = mcleod_li(x, 3);
  EXPECT_NEAR(m.statistic, 1.2765672001499393, 1e-12);
  EXPECT_NEAR(m.pvalue, 0.7347048040481345, 1e-12);
}

TEST(McLeodLi, NoAnswerWithoutVariationOfTheSquaresOrLags) {
  const std::vector<float> constant(20, 3.0f);
  std::vector<float> two_values;
  for (int i = 0; i < 20; ++i) two_values.push_back(i % 3 == 0 ? 1.0f : -1.0f);
  const std::vector<float> symmetric = {1, -1, 1, -1, -1, 1, 1, -1, 1, -1};
  EXPECT_TRUE(std::isnan(mcleod_li(constant, 2).pvalue));
  EXPECT_TRUE(std::isnan(mcleod_li(symmetric, 2).pvalue));  // every square is 1
  EXPECT_FALSE(std::isnan(mcleod_li(two_values, 2).pvalue));  // not symmetric about the mean
  EXPECT_TRUE(std::isnan(mcleod_li(two_values, 0).pvalue));
  EXPECT_TRUE(std::isnan(mcleod_li(two_values, 20).pvalue));
}

// Bursts of large values (changing variance) against the same values in a
// scrambled order.
TEST(McLeodLi, SeesVolatilityClusters) {
  std::vector<float> clustered, scrambled;
  for (int i = 0; i < 400; ++i) {
    const float scale = (i / 50) % 2 == 0 ? 0.2f : 3.0f;
    clustered.push_back(scale * std::sin(2.1f * i * i));
  }
  scrambled = clustered;
  for (std::uint64_t i = 399; i > 0; --i)  // Fisher-Yates with the bootstrap's stream
    std::swap(scrambled[i], scrambled[(i + 1) * UniformStream::bits(i) >> 24]);
  EXPECT_LT(mcleod_li(clustered, 5).pvalue, 1e-10);
  EXPECT_GT(mcleod_li(scrambled, 5).pvalue, 0.01);
}

}  // namespace
}  // namespace vok
