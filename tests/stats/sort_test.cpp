#include "stats/sort.h"

#include <gtest/gtest.h>

#include "message_lines.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <numeric>
#include <vector>

#include "output/channel.h"

namespace vok {
namespace {

std::vector<int> index_of(const std::vector<float>& x) {
  std::vector<int> p(x.size(), -1);
  indexx(x, p);
  return p;
}

TEST(Indexx, OrderIncludingTies) {
  struct Case {
    std::vector<float> x;
    std::vector<int> want;
  };
  const Case cases[] = {
      {{5.0f}, {1}},
      {{3, 1, 2}, {2, 3, 1}},
      {{2, 2, 1, 2}, {3, 2, 4, 1}},  // the heap's order among equal values
      {{1, 1, 1}, {2, 3, 1}},
      {{4, 3, 2, 1}, {4, 3, 2, 1}},
      {{1, 2, 3, 4, 5}, {1, 2, 3, 4, 5}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.x));
    EXPECT_EQ(index_of(c.x), c.want);
  }
}

TEST(Indexx, PermutationInAscendingOrder) {
  std::vector<float> x;
  unsigned state = 12345;
  for (int i = 0; i < 257; ++i) {
    state = state * 1103515245u + 12345u;
    x.push_back(static_cast<float>((state >> 16) % 40) - 20.0f);  // many ties
  }
  const std::vector<float> copy = x;
  const std::vector<int> p = index_of(x);
  EXPECT_EQ(x, copy);
  std::vector<int> sorted = p;
  std::sort(sorted.begin(), sorted.end());
  std::vector<int> identity(x.size());
  std::iota(identity.begin(), identity.end(), 1);
  EXPECT_EQ(sorted, identity);
  for (std::size_t i = 1; i < p.size(); ++i) EXPECT_LE(x[p[i - 1] - 1], x[p[i] - 1]);
}

// The values k (k = 1..n) in scrambled order, so that fractiles need the order.
std::vector<float> scrambled(int n) {
  std::vector<float> x(n);
  for (int i = 0; i < n; ++i)
    x[i] = static_cast<float>((i * 11) % n + 1);  // 11 is prime to every n used
  return x;
}

TEST(Sort, FractilePositions) {
  struct Case {
    int n;
    float level;
    float want;
  };
  const Case cases[] = {
      {4, 0.5f, 2.5f},     // z = 2.5: mean of the 2nd and 3rd smallest
      {5, 0.1f, 1.0f},     // z = 0.6: the smallest
      {10, 0.95f, 10.0f},  // z = 10.45: the largest
      {20, 0.05f, 1.05f},  // z = 1.05: 0.95 x(1) + 0.05 x(2)
      {7, 0.25f, 2.0f},    // z = 2 exactly
      {7, 1.0f, 7.0f},    {7, 1.5f, 7.0f}, {7, 0.0f, 1.0f}, {7, -0.2f, 1.0f}, {2, 0.5f, 1.5f},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "n = " << c.n << ", level = " << c.level);
    Messages messages(Stage::bootstrap);
    const std::vector<float> x = scrambled(c.n);
    std::vector<int> p(c.n);
    const float levels[] = {c.level};
    float q[] = {-99.0f};
    EXPECT_EQ(sort(p, x, levels, q, 'B', messages), kSortOk);
    EXPECT_NEAR(q[0], c.want, 2e-6f);
    EXPECT_EQ(lines_on(messages.list(), MessageChannel::console), "");
  }
}

// Selection gives the ordering's fractile to the last bit: random values
// with many ties (drawn from a few levels), distinct values, p-values near 0
// and 1, levels at and between the ranks' edges, n from 2 up.
TEST(SelectFractile, EqualsTheOrderingsFractileBitForBit) {
  std::mt19937 random(20261210);
  const float levels[] = {0.05f, 0.01f, 0.5f, 0.999f, 0.1f, 1e-6f, 0.9999f, 1.0f, 0.0f};
  for (int trial = 0; trial < 3000; ++trial) {
    const int n = 2 + static_cast<int>(random() % (trial < 2000 ? 60 : 3000));
    const int distinct = 1 + static_cast<int>(random() % 8);  // few values: many ties
    std::vector<float> x(static_cast<std::size_t>(n));
    for (float& v : x) {
      switch (trial % 3) {
        case 0: v = static_cast<float>(random() % distinct) / 8.0f; break;
        case 1: v = std::ldexp(static_cast<float>(random() % 1000), -30); break;  // tiny p
        default: v = std::generate_canonical<float, 24>(random); break;
      }
    }
    for (float level : levels) {
      const float at_rank_edge = static_cast<float>(1 + random() % n) / static_cast<float>(n + 1);
      for (float f : {level, at_rank_edge}) {
        std::vector<int> p(x.size());
        const float fl[] = {f};
        float want[] = {0.0f};
        Messages messages(Stage::bootstrap);
        sort(p, x, fl, want, 'B', messages);
        std::vector<float> work = x;
        const float got = select_fractile(work, f);
        ASSERT_EQ(std::bit_cast<std::uint32_t>(got), std::bit_cast<std::uint32_t>(want[0]))
            << "n = " << n << ", level = " << f << ", trial " << trial;
      }
    }
  }
}

TEST(Sort, FractilesAfterAnEarlierOrderingMatchBoth) {
  Messages messages(Stage::bootstrap);
  const std::vector<float> x = {0.3f, -1.5f, 2.25f, 8.0f, 0.0f, 4.5f, -0.75f, 1.0f, 3.0f};
  const float levels[] = {0.05f, 0.1f, 0.33f, 0.5f, 0.9f, 0.99f};
  std::vector<int> p_both(x.size()), p_order(x.size());
  float q_both[6], q_later[6];
  ASSERT_EQ(sort(p_both, x, levels, q_both, 'B', messages),
            kSortOk);
  ASSERT_EQ(sort(p_order, x, {}, {}, 'S', messages),
            kSortOk);  // ordering alone accepts m = 0
  ASSERT_EQ(sort(p_order, x, levels, q_later, 'F', messages),
            kSortOk);
  EXPECT_EQ(p_order, p_both);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(q_later[i], q_both[i]) << i;
  EXPECT_EQ(q_both[3], 1.0f);  // z = 5: the fifth smallest
  EXPECT_EQ(lines_on(messages.list(), MessageChannel::console), "");
}

TEST(Sort, StatusCodesAndMessages) {
  struct Case {
    const char* what;
    int n;
    int m;
    char control;
    int want;
    const char* console;
    const char* standard_error;
    bool index_touched;
    bool fractiles_touched;
  };
  const Case cases[] = {
      {"empty", 0, 2, 'B', kSortEmpty, " n in x(n) < 1  0\n", "", false, false},
      {"bad control", 5, 2, 'X', kSortBadControl, " Isrt control character in SORT is wrong  X\n",
       "", false, false},
      {"no fractiles", 5, 0, 'B', kSortNoFractiles, " Number of fractiles in SORT <= 0:  0\n", "",
       false, false},
      {"no fractiles, bad control", 5, 0, 's', kSortNoFractiles,
       " Isrt control character in SORT is wrong  s\n"
       " Number of fractiles in SORT <= 0:  0\n",
       "", false, false},
      {"single value", 1, 2, 'F', kSortSingleValue, " fractiles set to x since n=1 1\n",
       " fractiles set to x since n=1 1\n", false, true},
      {"single value, bad control", 1, 2, 'Q', kSortSingleValue,
       " Isrt control character in SORT is wrong  Q\n fractiles set to x since n=1 1\n",
       " fractiles set to x since n=1 1\n", false, true},
      {"single value, order only", 1, 0, 'S', kSortOk, "", "", true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Messages messages(Stage::bootstrap);
    const std::vector<float> all = {4.0f, 2.0f, 5.0f, 1.0f, 3.0f};
    const std::vector<float> x(all.begin(), all.begin() + c.n);
    std::vector<int> p(5, -1);
    const std::vector<float> levels(c.m, 0.5f);
    std::vector<float> q(c.m, -99.0f);
    EXPECT_EQ(sort(p, x, levels, q, c.control, messages),
              c.want);
    EXPECT_EQ(lines_on(messages.list(), MessageChannel::console), c.console);
    EXPECT_EQ(lines_on(messages.list(), MessageChannel::standard_error), c.standard_error);
    EXPECT_EQ(p[0] != -1, c.index_touched);
    for (float v : q) EXPECT_EQ(v, c.fractiles_touched ? 4.0f : -99.0f);
  }
}

}  // namespace
}  // namespace vok
