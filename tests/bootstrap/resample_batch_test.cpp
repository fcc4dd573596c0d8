// Batched resamples give each resample's statistics bit for bit as the
// resample taken alone does, for every batch width the processor runs.
#include "bootstrap/resample_batch.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bootstrap/resampxy.h"
#include "output/channel.h"

namespace vok {
namespace {

std::uint32_t bits(float v) {
  return std::bit_cast<std::uint32_t>(v);
}

// Columns of N values of a kind that a batch must get right.
enum class Kind { normal, skewed_large, few_levels, constant_x, tiny_spread };

std::vector<float> column(Kind kind, int N, std::mt19937& random, bool is_y) {
  std::normal_distribution<float> normal(0.0f, 1.0f);
  std::vector<float> v(static_cast<std::size_t>(N));
  for (float& value : v) {
    const float e = normal(random);
    switch (kind) {
      case Kind::normal: value = e; break;
      case Kind::skewed_large: value = 1e30f * std::exp(2.0f * e); break;
      case Kind::few_levels: value = static_cast<float>(random() % 3); break;  // constant resamples too
      case Kind::constant_x: value = is_y ? e : 7.25f; break;
      case Kind::tiny_spread: value = 1000.0f + 1e-4f * static_cast<float>(random() % 5); break;
    }
  }
  return v;
}

TEST(ResampleBatch, EachLaneIsTheResampleTakenAlone) {
  struct Case {
    int n, L, N;
    Kind kind;
  };
  const Case cases[] = {
      {18, 3, 20000, Kind::normal},      {50, 5, 20000, Kind::normal},
      {100, 6, 977, Kind::skewed_large}, {12, 1, 40, Kind::few_levels},
      {13, 6, 3, Kind::few_levels},      {30, 2, 1, Kind::normal},
      {64, 8, 500, Kind::constant_x},    {256, 16, 4000, Kind::normal},
      {33, 16, 100, Kind::normal},       {25, 12, 300, Kind::tiny_spread},
      {40, 4, 2, Kind::normal},          {200, 14, 10000, Kind::skewed_large},
  };
  std::mt19937 random(27);
  for (const Case& c : cases) {
    ASSERT_TRUE(ResampleBatch::fits(c.n, c.L));
    const std::vector<float> x = column(c.kind, c.N, random, false);
    const std::vector<float> y = column(c.kind, c.N, random, true);
    ResampleWork work(c.n, c.L);
    Messages diag(Stage::bootstrap);
    for (int lanes : {4, 8, 16}) {
      if (!ResampleBatch::lanes_available(lanes)) continue;
      ResampleBatch batch(c.n, c.L, lanes);
      ASSERT_EQ(batch.lanes(), lanes);
      int degenerate = 0;
      for (std::uint64_t first : {std::uint64_t{0}, std::uint64_t{987654321}}) {
        for (int count : {lanes, 1, lanes / 2 + 1}) {
          std::vector<ResampleStatistics> got(static_cast<std::size_t>(lanes));
          batch.statistics(x, y, first, count, got.data());
          for (int j = 0; j < count; ++j) {
            const std::uint64_t at = first + 2u * static_cast<std::uint64_t>(c.n) * j;
            const ResampleStatistics want = resample_statistics(x, y, c.n, c.L, at, work, diag);
            degenerate += want[kCx] == 0.0f && want[kHxxy] == 0.0f;
            for (int t = 0; t < kTestCount; ++t) {
              ASSERT_EQ(bits(got[j][t]), bits(want[t]))
                  << "n " << c.n << " L " << c.L << " N " << c.N << " lanes " << lanes
                  << " resample " << j << " of " << count << " test " << t << ": " << got[j][t]
                  << " against " << want[t];
            }
          }
        }
      }
      // The columns of one value, or of one row, give constant resamples.
      if (c.N == 1 || c.kind == Kind::constant_x) {
        EXPECT_GT(degenerate, 0);
      }
    }
    EXPECT_TRUE(diag.empty());
  }
}

TEST(ResampleBatch, FitsShortFramesWithRoomForTheirLags) {
  EXPECT_TRUE(ResampleBatch::fits(12, 1));
  EXPECT_TRUE(ResampleBatch::fits(18, 3));
  EXPECT_FALSE(ResampleBatch::fits(6, 3));   // n <= 2L
  EXPECT_FALSE(ResampleBatch::fits(50, 0));  // no lags
  EXPECT_FALSE(ResampleBatch::fits(1000, 32));
}

}  // namespace
}  // namespace vok
