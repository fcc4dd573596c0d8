// The fractile of the p-values from the statistics equals, bit for bit, the
// fractile that ordering every p-value gives (1 - CDF value of each
// statistic, then sort with control 'B').
#include "bootstrap/statistic_fractile.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "output/channel.h"
#include "stats/chisq.h"
#include "stats/sort.h"

namespace vok {
namespace {

std::uint32_t bits(float v) {
  return std::bit_cast<std::uint32_t>(v);
}

// Every p-value, 1 - CDF value, as the frame tests form them.
std::vector<float> pvalues(const std::vector<float>& statistics, float df) {
  std::vector<float> p;
  Messages diag(Stage::bootstrap);
  for (float s : statistics) {
    float cdf = 0.0f;
    cdchi(s, df, cdf, diag);
    p.push_back(1.0f - cdf);
  }
  EXPECT_TRUE(diag.empty());
  return p;
}

// The fractile by the ordering of every p-value.
float ordered_fractile(const std::vector<float>& p, float level) {
  std::vector<int> order(p.size());
  const float levels[1] = {level};
  float fractile[1] = {0.0f};
  Messages diag;
  EXPECT_EQ(sort(order, p, levels, fractile, 'B', diag), kSortOk);
  return fractile[0];
}

// Statistics of a kind that puts the selection's assumptions to the test.
enum class Kind {
  chi_square,  // the statistics' own distribution: p-values spread over [0, 1]
  few_values,  // a handful of values, every one many times
  cdf_one,     // many statistics far in the tail: CDF value 1, p-value 0
  cdf_zero,    // many statistics below 1e-4 or 0 (degenerate resamples): p-value 1
  same_cdf,    // neighbouring floats whose CDF values round to the same float
  at_switch,   // around x/2 = df/2 + 1, where the CDF changes branch
  scaled,      // chi-square values times 3: most p-values near 0
};

std::vector<float> draw(Kind kind, int B, float df, std::mt19937& random) {
  std::chi_squared_distribution<float> chi(std::max(df, 0.5f));
  std::uniform_real_distribution<float> unit(0.0f, 1.0f);
  std::vector<float> s(static_cast<std::size_t>(B));
  const float center = df + 2.0f;  // x/2 = a + 1
  for (float& v : s) {
    switch (kind) {
      case Kind::chi_square: v = chi(random); break;
      case Kind::few_values: v = static_cast<float>(random() % 5) * (1.0f + df / 4.0f); break;
      case Kind::cdf_one: v = unit(random) < 0.7f ? 1e6f + unit(random) : chi(random); break;
      case Kind::cdf_zero:
        v = unit(random) < 0.5f ? (random() % 2 ? 0.0f : 5e-5f) : chi(random);
        break;
      case Kind::same_cdf: {
        // A few float steps around a few centres: many CDF values equal.
        const float base = std::max(1e-3f, df) * (0.5f + static_cast<float>(random() % 4) / 2.0f);
        v = base;
        for (int step = static_cast<int>(random() % 64); step > 0; --step)
          v = std::nextafter(v, 1e30f);
        break;
      }
      case Kind::at_switch: {
        v = center;
        const int steps = static_cast<int>(random() % 4001) - 2000;
        for (int i = 0; i < std::abs(steps); ++i) v = std::nextafter(v, steps > 0 ? 1e30f : 0.0f);
        break;
      }
      case Kind::scaled: v = 3.0f * chi(random); break;
    }
  }
  return s;
}

TEST(PValueFractile, EqualsTheFractileOfEveryPValueOrdered) {
  // Degrees of freedom of the tests at 1..6, 10, 31 and 99 lags.
  const float dfs[] = {0.0f, 1.0f, 3.0f, 5.0f, 6.0f, 7.0f, 21.0f, 55.0f, 78.0f, 231.0f, 1953.0f, 19701.0f};
  const Kind kinds[] = {Kind::chi_square, Kind::few_values, Kind::cdf_one, Kind::cdf_zero,
                        Kind::same_cdf,   Kind::at_switch,  Kind::scaled};
  const int sizes[] = {2, 3, 20, 21, 101, 1000, 5000, 20000, 70001};
  std::mt19937 random(2712);
  int cases = 0;
  for (float df : dfs) {
    for (Kind kind : kinds) {
      for (int B : sizes) {
        if (B > 20000 && (random() % 4 != 0)) continue;  // a few large ones
        const std::vector<float> statistics = draw(kind, B, df, random);
        const std::vector<float> p = pvalues(statistics, df);
        const float rank_edge = static_cast<float>(1 + random() % B) / static_cast<float>(B + 1);
        for (float level : {0.05f, 0.01f, 0.5f, 0.9f, 1.0f, 0.0f, rank_edge}) {
          std::vector<float> work = statistics;
          const float got = pvalue_fractile(work, df, level);
          const float want = ordered_fractile(p, level);
          ++cases;
          ASSERT_EQ(bits(got), bits(want))
              << "df " << df << " kind " << static_cast<int>(kind) << " B " << B << " level "
              << level << ": " << got << " against " << want;
        }
      }
    }
  }
  EXPECT_GT(cases, 3000);
}

// Crafted ties: the k-th and (k+1)-th p-values inside a run of equal ones, a
// run that begins or ends at rank k, and statistics whose p-values tie
// although the statistics differ.
TEST(PValueFractile, TiesAtAndAroundTheRanks) {
  const float df = 21.0f;
  // B = 39 at level 0.05: position 2, so ranks 2 and 3.
  struct Case {
    std::string name;
    std::vector<float> statistics;
  };
  std::vector<Case> cases;
  {
    std::vector<float> s(39, 10.0f);  // every p-value the same
    cases.push_back({"all equal", s});
    s[0] = 50.0f;  // rank 1 alone, ranks 2 and 3 in the run
    cases.push_back({"run after rank 1", s});
    s[1] = 50.0f;
    s[2] = 40.0f;  // rank 3 alone below a pair
    cases.push_back({"run ends at rank 2", s});
  }
  {
    std::vector<float> s;
    float v = 40.0f;
    for (int i = 0; i < 39; ++i, v = std::nextafter(v, 0.0f)) s.push_back(v);  // one float apart
    cases.push_back({"neighbouring floats", s});
    for (float& x : s) x += 1000.0f;  // p-values all 0
    cases.push_back({"p-values all zero", s});
  }
  {
    std::vector<float> s(39, 0.0f);  // degenerate resamples: p-values all 1
    s[5] = 30.0f;
    cases.push_back({"zeros and one value", s});
  }
  for (const Case& c : cases) {
    for (float level : {0.05f, 0.5f, 1.0f / 40.0f, 0.95f}) {
      std::vector<float> shuffled = c.statistics;
      std::mt19937 random(5);
      for (int round = 0; round < 4; ++round) {
        std::shuffle(shuffled.begin(), shuffled.end(), random);
        std::vector<float> work = shuffled;
        EXPECT_EQ(bits(pvalue_fractile(work, df, level)),
                  bits(ordered_fractile(pvalues(shuffled, df), level)))
            << c.name << ", level " << level;
      }
    }
  }
}

// Where the p-value is not monotone in the statistic (a function made so
// here: a smooth decreasing p-value with a jitter of up to half the slack
// either way, which reorders neighbouring p-values), the ranks around the
// fractile's are ordered by their own p-values, and the result is still the
// ordering's.
TEST(PValueFractile, PValuesOutOfOrderWithinTheSlackAreOrdered) {
  const auto jittered = [](float s) {
    const auto h = std::bit_cast<std::uint32_t>(s) * 0x9E3779B1u;
    const double jitter = (static_cast<double>(h >> 8) / (1 << 24) - 0.5) * kPValueSlack;
    return static_cast<float>(1.0 / (1.0 + s / 50.0) + jitter);
  };
  std::mt19937 random(99);
  std::uniform_real_distribution<float> spread(0.0f, 500.0f);
  for (int B : {2, 40, 999, 30000, 100000}) {
    std::vector<float> statistics(static_cast<std::size_t>(B));
    for (float& s : statistics) s = spread(random);
    std::vector<float> p;
    for (float s : statistics) p.push_back(jittered(s));
    int reordered = 0;  // neighbours in statistic whose p-values are out of order
    std::vector<float> sorted = statistics;
    std::sort(sorted.begin(), sorted.end());
    for (std::size_t i = 1; i < sorted.size(); ++i)
      reordered += jittered(sorted[i]) > jittered(sorted[i - 1]);
    if (B >= 999) {
      EXPECT_GT(reordered, B / 50);
    }
    for (float level : {0.05f, 0.01f, 0.5f, 1.0f}) {
      std::vector<float> work = statistics;
      EXPECT_EQ(bits(pvalue_fractile(work, level, jittered)), bits(ordered_fractile(p, level)))
          << "B " << B << " level " << level;
    }
  }
}

// From a band of the statistics (the larger ones only counted, the smaller
// ones dropped) the fractile is the ordering's, or nothing when the band
// does not reach far enough around its ranks; a band chosen from a sample
// reaches.
TEST(PValueFractile, FromABandOfTheStatistics) {
  const float df = 5.0f;
  std::mt19937 random(31);
  std::chi_squared_distribution<float> chi(df);
  const int B = 50000;
  std::vector<float> statistics(B);
  for (float& s : statistics) s = chi(random);
  const std::vector<float> p = pvalues(statistics, df);
  const auto kept_in = [&](float lower, float upper, std::vector<float>& kept) {
    kept.clear();
    std::size_t above = 0;
    for (float s : statistics) {
      if (s > upper) ++above;
      if (s <= upper && s >= lower) kept.push_back(s);
    }
    return above;
  };
  std::vector<float> sorted = statistics;
  std::sort(sorted.begin(), sorted.end(), std::greater<float>());
  std::vector<float> kept;
  for (float level : {0.05f, 0.5f, 0.99f}) {
    const float want = ordered_fractile(p, level);
    // Bands from a sample of the first resamples.
    std::vector<float> sample(statistics.begin(), statistics.begin() + 4000);
    const StatisticBand band = band_to_keep(sample, B, level);
    std::size_t above = kept_in(band.lower, band.upper, kept);
    EXPECT_LT(kept.size(), B / 10);
    std::optional<float> got = pvalue_fractile(KeptStatistics{kept, above, B}, df, level);
    ASSERT_TRUE(got.has_value()) << level;
    EXPECT_EQ(bits(*got), bits(want)) << level;
    // Bands cut at or just beside the fractile's rank.
    const auto k = static_cast<std::size_t>(fractile_position(level, B).k);
    for (std::size_t cut : {k - 1, k, k + 1, k + 5, k + 500}) {
      for (bool cut_above : {true, false}) {
        const float lower = cut_above ? 0.0f : sorted[std::min<std::size_t>(cut, B) - 1];
        const float upper = cut_above ? sorted[cut - 1] : sorted[0];
        above = kept_in(lower, upper, kept);
        got = pvalue_fractile(KeptStatistics{kept, above, B}, df, level);
        if (got) {
          EXPECT_EQ(bits(*got), bits(want)) << level << " cut " << cut;
        }
      }
    }
    // A band holding every statistic always gives it.
    above = kept_in(-1.0f, 1e30f, kept);
    got = pvalue_fractile(KeptStatistics{kept, above, B}, df, level);
    ASSERT_TRUE(got.has_value());
    EXPECT_EQ(bits(*got), bits(want));
  }
  // A band that ends right at rank k cannot show what lies beyond.
  const auto k = static_cast<std::size_t>(fractile_position(0.05f, B).k);
  const std::size_t above = kept_in(0.0f, sorted[k - 1], kept);
  EXPECT_FALSE(pvalue_fractile(KeptStatistics{kept, above, B}, df, 0.05f).has_value());
}

// The premise of the selection: a p-value never exceeds that of a smaller
// statistic by more than the slack. Every float statistic in stretches
// around the CDF's change of branch and elsewhere, for the degrees of
// freedom of 1 to 99 lags' tests: the largest step backwards found must lie
// far below the slack (none was found: the p-values are nonincreasing).
TEST(PValueFractile, PValuesNeverRiseByTheSlackWithTheStatistic) {
  const float dfs[] = {0.0f, 1.0f, 2.0f, 3.0f, 5.0f, 11.0f, 21.0f, 45.0f, 55.0f, 465.0f, 2080.0f, 19701.0f};
  double worst = 0.0;
  for (float df : dfs) {
    const float center = df + 2.0f;
    for (float start : {center * 0.999f, df * 0.25f + 1e-3f, df * 3.0f + 10.0f, 1e-4f}) {
      float s = start;
      float lowest = 2.0f;  // the least p-value of the smaller statistics so far
      for (int i = 0; i < (1 << 15); ++i, s = std::nextafter(s, 1e30f)) {
        const float p = pvalue_of(s, df);
        worst = std::max(worst, static_cast<double>(p) - lowest);
        lowest = std::min(lowest, p);
      }
    }
  }
  EXPECT_LE(worst, kPValueSlack / 64) << "largest rise " << worst;
}

// Up to 2 10^4 degrees of freedom the CDF writes nothing for any finite
// statistic, also where its series and continued fraction take the most
// terms (next to the change of branch).
TEST(PValueFractile, QuietDegreesOfFreedomWriteNoMessage) {
  EXPECT_TRUE(cdf_is_quiet(0.0f));
  EXPECT_TRUE(cdf_is_quiet(20000.0f));
  EXPECT_FALSE(cdf_is_quiet(20100.0f));
  EXPECT_FALSE(cdf_is_quiet(-1.0f));
  Messages diag(Stage::bootstrap);
  for (float df : {0.0f, 1.0f, 3.0f, 21.0f, 2080.0f, 9999.0f, 20000.0f}) {
    const float center = df + 2.0f;
    std::vector<float> statistics = {0.0f, 1e-4f, 1.0f, 1e30f, 3.4e38f};
    for (float scale : {0.5f, 0.9f, 0.99f, 0.999f, 1.0f, 1.001f, 1.01f, 1.1f, 2.0f})
      statistics.push_back(center * scale);
    for (float s : statistics) {
      float cdf = 0.0f;
      cdchi(s, df, cdf, diag);
    }
  }
  EXPECT_TRUE(diag.empty());
}

}  // namespace
}  // namespace vok
