#include "stats/prewhiten.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace vok {
namespace {

TEST(Ar2Residuals, AreTheLeastSquaresResidualsOfTheFit) {
  // x(t) = 2 + 0.5 x(t-1) - 0.3 x(t-2) + e(t), e uniform noise of a fixed
  // generator: the residuals are orthogonal to 1, x(t-1) and x(t-2), and
  // nearly the noise itself.
  std::vector<float> x = {1.0f, -1.0f}, e = {0.0f, 0.0f};
  unsigned state = 12345u;
  for (int t = 2; t < 2000; ++t) {
    state = state * 1103515245u + 12345u;
    e.push_back(static_cast<float>((state >> 8) & 0xffff) / 65536.0f - 0.5f);
    x.push_back(2.0f + 0.5f * x[t - 1] - 0.3f * x[t - 2] + e[t]);
  }
  std::vector<float> r(x.size());
  ASSERT_EQ(ar2_residuals(x, r), 1998);
  double one = 0.0, lag1 = 0.0, lag2 = 0.0, off = 0.0, noise_mean = 0.0;
  for (int t = 2; t < 2000; ++t) noise_mean += e[t] / 1998.0;
  for (int t = 2; t < 2000; ++t) {
    const double v = r[t - 2];
    one += v;
    lag1 += v * x[t - 1];
    lag2 += v * x[t - 2];
    off += (v - (e[t] - noise_mean)) * (v - (e[t] - noise_mean)) / 1998.0;
  }
  EXPECT_NEAR(one, 0.0, 1e-3);
  EXPECT_NEAR(lag1, 0.0, 1e-2);
  EXPECT_NEAR(lag2, 0.0, 1e-2);
  // Off the noise by a few percent of its spread (0.29) at most.
  EXPECT_LT(std::sqrt(off), 0.01);
}

TEST(Ar2Residuals, ConstantOrShortSeriesAreLeftUnfitted) {
  std::vector<float> r(10);
  EXPECT_EQ(ar2_residuals(std::vector<float>(10, 3.0f), r), 0);
  EXPECT_EQ(ar2_residuals(std::vector<float>{1.0f, 2.0f, 0.5f, 4.0f}, r), 0);
  // A tiny scale is no singularity.
  std::vector<float> small;
  for (int t = 0; t < 10; ++t) small.push_back(1e-9f * static_cast<float>((t * 7) % 5));
  EXPECT_EQ(ar2_residuals(small, r), 8);
}

}  // namespace
}  // namespace vok
