// The bootstrap on several threads: every resample draws its own block of the
// stream, so the thresholds, the stream position and everything written are
// the same for any thread count and for either lag-sum kernel.
#include "exec/parallel.h"

#include <gtest/gtest.h>

#include "message_lines.h"

#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "bootstrap/resampxy.h"
#include "bootstrap/uniform.h"
#include "frames/covxy.h"
#include "output/channel.h"
#include "stats/sort.h"

namespace vok {
namespace {

class ParallelBootstrap : public ::testing::Test {
 protected:
  static constexpr int kN = 700;
  static constexpr int kFrameLength = 60;
  static constexpr int kLags = 4;

  void SetUp() override {
    // Skewed x and a y with cross dependence on x, so that the seven
    // p-values spread out and a misplaced resample would move a threshold.
    std::mt19937 gen(41);
    std::normal_distribution<float> normal(0.0f, 1.0f);
    x.resize(kN);
    y.resize(kN);
    for (int t = 0; t < kN; ++t) {
      const float e = normal(gen);
      x[t] = e * e - 1.0f + 0.3f * (t > 0 ? x[t - 1] : 0.0f);
      y[t] = normal(gen) + (t > 1 ? 0.7f * x[t - 1] * x[t - 2] : 0.0f);
    }
  }
  void TearDown() override {
  }

  struct Outcome {
    Thresholds thresholds;
    std::uint64_t position = 0;
    std::string console, standard_error;
  };
  Outcome run(int threads, SumsKernel kernel, int B, float alpha, std::uint64_t start) {
    Messages messages(Stage::bootstrap);
    UniformStream stream;
    stream.advance(start);
    Outcome o;
    o.thresholds =
        resampxy(x, y, kFrameLength, kLags, B, alpha, stream, threads, messages, nullptr, nullptr, kernel);
    o.position = stream.position();
    o.console = lines_on(messages.list(), MessageChannel::console);
    o.standard_error = lines_on(messages.list(), MessageChannel::standard_error);
    return o;
  }

  std::vector<float> x, y;
};

TEST_F(ParallelBootstrap, ThresholdsDoNotDependOnThreadsOrKernel) {
  struct Case {
    int B;
    float alpha;
    std::uint64_t start;
  };
  const Case cases[] = {{101, 0.05f, 123}, {20, 0.05f, 0}, {7, 0.5f, 9999}, {1, 1.0f, 17}};
  for (const Case& c : cases) {
    SCOPED_TRACE("B = " + std::to_string(c.B));
    const Outcome one = run(1, SumsKernel::reference, c.B, c.alpha, c.start);
    EXPECT_EQ(one.position, c.start + 2u * kFrameLength * c.B);
    for (int threads : {1, 2, 3, 8}) {
      for (SumsKernel kernel : {SumsKernel::fast, SumsKernel::reference}) {
        SCOPED_TRACE(std::to_string(threads) + " threads, kernel " +
                     std::to_string(static_cast<int>(kernel)));
        const Outcome o = run(threads, kernel, c.B, c.alpha, c.start);
        EXPECT_EQ(o.thresholds.values, one.thresholds.values);
        EXPECT_EQ(o.thresholds.status, one.thresholds.status);
        EXPECT_EQ(o.position, one.position);
        EXPECT_EQ(o.console, one.console);
        EXPECT_EQ(o.standard_error, one.standard_error);
      }
    }
  }
}

TEST_F(ParallelBootstrap, ThresholdsAreThoseOfTheResamplesTakenOneByOne) {
  // Resample b on its own, anywhere, gives what the threads gave it.
  const int B = 41;
  const std::uint64_t start = 250;
  const Outcome parallel = run(3, SumsKernel::fast, B, 0.1f, start);
  ResampleWork work(kFrameLength, kLags);
  Messages diag(Stage::bootstrap);
  std::array<std::vector<float>, kTestCount> p;
  for (int b = B - 1; b >= 0; --b) {
    const auto one = resample_pvalues(x, y, kFrameLength, kLags, start + 2u * kFrameLength * b, work, diag);
    for (int k = 0; k < kTestCount; ++k) p[k].insert(p[k].begin(), one[k]);
  }
  EXPECT_TRUE(diag.empty());
  std::vector<int> order(B);
  const float level[1] = {0.1f};
  for (int k = 0; k < kTestCount; ++k) {
    float fractile[1] = {0.0f};
    sort(order, p[k], level, fractile, 'B', diag);
    EXPECT_EQ(parallel.thresholds.values[k], fractile[0]) << k;
  }
}

// The thresholds from the statistics, selected near the fractile's ranks,
// against the route through every p-value: each resample's seven p-values
// (1 - CDF value), then each test's ordering and fractile. Short frames run
// in batches, long ones one by one; at 101 lags the list test's 20,503
// degrees of freedom take the chi-square step in every resample. Columns of
// few values give equal statistics and constant resamples.
TEST(BootstrapThresholds, EqualTheFractilesOfEveryPValueOrdered) {
  struct Case {
    int n, L, B;
    float alpha;
    bool few_values;
  };
  const Case cases[] = {
      {18, 3, 3001, 0.05f, false}, {50, 5, 2000, 0.01f, false}, {12, 1, 500, 0.05f, false},
      {100, 6, 777, 0.1f, true},   {24, 2, 400, 0.5f, true},    {300, 17, 60, 0.05f, false},
      {203, 101, 20, 0.05f, false}, {40, 4, 2, 0.5f, false},
      // Beyond the first 16,384 resamples each test keeps only a band of
      // statistics around its fractile's ranks.
      {12, 1, 20001, 0.05f, false}, {13, 2, 17000, 0.01f, true}, {14, 2, 30000, 0.99f, false},
  };
  std::mt19937 gen(7);
  std::normal_distribution<float> normal(0.0f, 1.0f);
  for (const Case& c : cases) {
    SCOPED_TRACE("n " + std::to_string(c.n) + ", L " + std::to_string(c.L) + ", B " +
                 std::to_string(c.B));
    std::vector<float> x(5000), y(5000);
    for (std::size_t t = 0; t < x.size(); ++t) {
      const float e = normal(gen);
      x[t] = c.few_values ? static_cast<float>(gen() % 3) : e * e + (t > 0 ? 0.4f * x[t - 1] : 0.0f);
      y[t] = c.few_values ? static_cast<float>(gen() % 4) : normal(gen) + 0.5f * e;
    }
    const std::uint64_t start = 4321;

    // Every p-value, then the ordering.
    Messages want_messages(Stage::bootstrap);
    ResampleWork work(c.n, c.L);
    std::array<std::vector<float>, kTestCount> p;
    for (int b = 0; b < c.B; ++b) {
      const auto one = resample_pvalues(x, y, c.n, c.L, start + 2u * c.n * b, work, want_messages);
      for (int k = 0; k < kTestCount; ++k) p[k].push_back(one[k]);
    }
    Thresholds want;
    std::vector<int> order(static_cast<std::size_t>(c.B));
    const float level[1] = {c.alpha};
    for (int k = 0; k < kTestCount; ++k) {
      float fractile[1] = {0.0f};
      want.status = sort(order, p[k], level, fractile, 'B', want_messages);
      want.values[k] = fractile[0];
    }
    const std::vector<Message> want_list = want_messages.list();

    for (int threads : {1, 2}) {
      Messages messages(Stage::bootstrap);
      UniformStream stream;
      stream.advance(start);
      const Thresholds got = resampxy(x, y, c.n, c.L, c.B, c.alpha, stream, threads, messages);
      for (int k = 0; k < kTestCount; ++k)
        EXPECT_EQ(std::bit_cast<std::uint32_t>(got.values[k]),
                  std::bit_cast<std::uint32_t>(want.values[k]))
            << "test " << k << ", " << threads << " threads";
      EXPECT_EQ(got.status, want.status);
      EXPECT_EQ(stream.position(), start + 2u * c.n * c.B);
      EXPECT_EQ(messages.list(), want_list);
    }
  }
}

}  // namespace
}  // namespace vok
