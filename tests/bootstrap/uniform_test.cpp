// The uniform stream and the resampling index drawn from it.
#include "bootstrap/uniform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "bootstrap/resampxy.h"

namespace vok {
namespace {

constexpr float kStep = 0x1p-24f;

// Expected k with u(i) = k 2^-24, from a reference SplitMix64 in Python:
//   M = (1 << 64) - 1
//   def sm(i):
//       z = ((i + 1) * 0x9E3779B97F4A7C15) & M
//       z = ((z ^ (z >> 30)) * 0xBF58476D1CE4E5B9) & M
//       z = ((z ^ (z >> 27)) * 0x94D049BB133111EB) & M
//       return (z ^ (z >> 31)) >> 40
TEST(UniformStream, KnownValues) {
  struct Case {
    std::uint64_t i;
    std::uint32_t k;
  };
  const Case cases[] = {
      {0, 14819496},
      {1, 7239838},
      {2, 443485},
      {3, 16288696},
      {1000, 2947631},
      {123456789, 997276},
      {4294967296ULL, 4589884},
      {9223372036854775808ULL, 4726464},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.i);
    EXPECT_EQ(UniformStream::at(c.i), static_cast<float>(c.k) * kStep);
  }
}

TEST(UniformStream, FillContinuesFromItsPositionAndMatchesAt) {
  UniformStream a;
  std::vector<float> first(5), second(7);
  a.fill(first);
  EXPECT_EQ(a.position(), 5u);
  a.advance(3);
  a.fill(second);
  EXPECT_EQ(a.position(), 15u);
  for (std::size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i], UniformStream::at(i));
  for (std::size_t i = 0; i < second.size(); ++i) EXPECT_EQ(second[i], UniformStream::at(8 + i));

  // A fresh stream starts at the same fixed state.
  UniformStream b;
  std::vector<float> again(5);
  b.fill(again);
  EXPECT_EQ(again, first);
}

// A seeded stream draws mix(seed + (i + 1) 0x9E3779B97F4A7C15): the
// reference above with the seed added before mixing.
TEST(UniformStream, SeedsGiveTheirOwnStreams) {
  struct Case {
    std::uint64_t seed;
    std::uint32_t k[3];
  };
  const Case cases[] = {
      {0, {14819496, 7239838, 443485}},
      {1, {9505325, 12512141, 16290722}},
      {12345, {2232706, 3436252, 2005591}},
      {0xFFFFFFFFFFFFFFFFULL, {14997873, 15310840, 3682296}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.seed);
    UniformStream stream(c.seed);
    std::vector<float> u(3);
    stream.fill(u);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(u[i], static_cast<float>(c.k[i]) * kStep) << i;
  }
}

TEST(UniformStream, NumbersAreExactMultiplesOfTwoToMinus24InUnitInterval) {
  for (std::uint64_t i = 0; i < 100000; ++i) {
    const float u = UniformStream::at(i);
    ASSERT_GE(u, 0.0f);
    ASSERT_LT(u, 1.0f);
    const float scaled = u * 16777216.0f;
    ASSERT_EQ(scaled, std::floor(scaled)) << i;
  }
}

TEST(ResampleIndex, Table) {
  struct Case {
    float u;
    int N;
    int want;
  };
  const Case cases[] = {
      {0.0f, 10, 1},
      {0.06f, 10, 1},
      {0.12f, 10, 2},   // a nearest-integer rule would give 1
      {0.94f, 10, 10},  // a nearest-integer rule would give 9
      {1.0f - kStep, 10, 10},
      {0.5f, 2, 2},
      {0.4999999f, 2, 1},
      {0.3f, 1, 1},
      {1.0f - kStep, 1, 1},
      {1e-30f, 1000, 1},
      {1.0f - kStep, 2147483647, 2147483520},
      // N u = 1431655805.99999994: a product rounded to a double would
      // reach the next integer.
      {11184811.0f * kStep, 2147483645, 1431655806},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "u=" << c.u << " N=" << c.N);
    EXPECT_EQ(resample_index(c.u, c.N), c.want);
  }
}

// The indices of a resample, formed side by side in integers, are those of
// resample_index on each number of the stream, on either of its paths (N
// below and from 2^29 on), for block lengths that leave vector tails.
TEST(ResampleIndices, AgreeWithResampleIndexOnTheStream) {
  for (int N : {1, 2, 7, 1000, (1 << 29) - 1, 1 << 29, 2147483645, 2147483647}) {
    for (std::uint64_t first : {std::uint64_t{0}, std::uint64_t{12345}, std::uint64_t{1} << 40}) {
      for (std::size_t size : {std::size_t{1}, std::size_t{7}, std::size_t{1003}}) {
        SCOPED_TRACE(testing::Message() << "N=" << N << " first=" << first << " size=" << size);
        std::vector<int> index(size, -1);
        resample_indices(first, N, index);
        for (std::size_t i = 0; i < size; ++i)
          ASSERT_EQ(index[i], resample_index(UniformStream::at(first + i), N) - 1) << i;
      }
    }
  }
}

// Every 24-bit uniform the stream can produce, counted by index: each index
// takes either floor or ceil of 2^24 / N of them, the first and last alike.
TEST(ResampleIndex, EveryIndexIsEquallyLikelyOverAllUniforms) {
  for (int N : {3, 7, 10}) {
    SCOPED_TRACE(N);
    std::vector<std::int64_t> count(N + 1, 0);
    for (std::uint32_t k = 0; k < (1u << 24); ++k) {
      ++count[resample_index(static_cast<float>(k) * kStep, N)];
    }
    EXPECT_EQ(count[0], 0);
    const std::int64_t low = (1 << 24) / N;
    for (int i = 1; i <= N; ++i) {
      EXPECT_GE(count[i], low) << "index " << i;
      EXPECT_LE(count[i], low + 1) << "index " << i;
    }
  }
}

// Indices drawn from the stream itself: chi-square with N - 1 = 6 degrees of
// freedom below its 0.001 critical value 22.458, and index 1 within four
// standard deviations of its expected count (a rounding rule that doubles
// up on index 1 would put it 50% over).
TEST(ResampleIndex, StreamDrawsPassChiSquare) {
  constexpr int N = 7;
  constexpr int draws = 700000;
  std::vector<int> count(N + 1, 0);
  for (std::uint64_t i = 0; i < draws; ++i) ++count[resample_index(UniformStream::at(i), N)];
  const double expected = static_cast<double>(draws) / N;
  double chi2 = 0.0;
  for (int i = 1; i <= N; ++i) chi2 += (count[i] - expected) * (count[i] - expected) / expected;
  EXPECT_LT(chi2, 22.458);
  const double sd = std::sqrt(expected * (1.0 - 1.0 / N));
  EXPECT_LT(std::abs(count[1] - expected), 4 * sd);
  EXPECT_LT(std::abs(count[N] - expected), 4 * sd);
}

}  // namespace
}  // namespace vok
