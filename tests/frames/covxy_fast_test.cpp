#include "frames/covxy_fast.h"

#include <gtest/gtest.h>

#include "message_lines.h"

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "frames/covxy.h"
#include "stats/moments.h"

namespace vok {
namespace {

// Bitwise equality: the fast kernel must give the very doubles of the direct
// pass, so that nothing printed can differ.
bool same_bits(double a, double b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

::testing::AssertionResult same_sums(const std::vector<double>& fast,
                                     const std::vector<double>& direct, const char* what) {
  if (fast.size() != direct.size())
    return ::testing::AssertionFailure()
           << what << ": " << fast.size() << " sums, want " << direct.size();
  for (std::size_t i = 0; i < fast.size(); ++i)
    if (!same_bits(fast[i], direct[i]))
      return ::testing::AssertionFailure()
             << what << "[" << i << "] = " << fast[i] << ", direct pass " << direct[i];
  return ::testing::AssertionSuccess();
}

void expect_same_sums(const FrameSums& fast, const FrameSums& direct) {
  EXPECT_EQ(fast.degenerate, direct.degenerate);
  EXPECT_TRUE(same_sums(fast.ax, direct.ax, "A_x"));
  EXPECT_TRUE(same_sums(fast.ay, direct.ay, "A_y"));
  EXPECT_TRUE(same_sums(fast.bxy, direct.bxy, "B_xy"));
  EXPECT_TRUE(same_sums(fast.byx, direct.byx, "B_yx"));
  EXPECT_TRUE(same_sums({fast.xy0}, {direct.xy0}, "lag-0 cross sum"));
  EXPECT_TRUE(same_sums(fast.txxx, direct.txxx, "T_xxx"));
  EXPECT_TRUE(same_sums(fast.tyyy, direct.tyyy, "T_yyy"));
  EXPECT_TRUE(same_sums(fast.txxy, direct.txxy, "T_xxy"));
  EXPECT_TRUE(same_sums(fast.tyyx, direct.tyyx, "T_yyx"));
}

enum class Kind { gaussian, dependent, signs, ties };

// A frame of the given kind: independent normals; y driven by products of
// past x (large bicorrelations); +1/-1 values as the clipped frames have,
// where many products are equal and sums can cancel exactly; values on a
// coarse grid with many repeats.
void make_frame(Kind kind, int n, unsigned seed, std::vector<float>& x, std::vector<float>& y) {
  std::mt19937 gen(seed);
  std::normal_distribution<float> normal(0.0f, 1.0f);
  x.assign(n, 0.0f);
  y.assign(n, 0.0f);
  for (int t = 0; t < n; ++t) {
    x[t] = normal(gen);
    y[t] = normal(gen);
    switch (kind) {
      case Kind::gaussian:
        break;
      case Kind::dependent:
        if (t >= 2) y[t] += 0.8f * x[t - 1] * x[t - 2];
        break;
      case Kind::signs:
        x[t] = x[t] >= 0.0f ? 1.0f : -1.0f;
        y[t] = y[t] >= 0.0f ? 1.0f : -1.0f;
        break;
      case Kind::ties:
        x[t] = std::round(2.0f * x[t]) * 0.5f;
        y[t] = std::round(2.0f * y[t]) * 0.5f;
        break;
    }
  }
}

// Frame shapes that reach every path of the kernel: one and two lags, odd
// and even lag counts (the backward pairs go two at a time), lag counts whose
// shifts fill several windows with a shorter last one, last lag blocks of
// one lag or of a part of a vector, serial windows that start in the middle
// of a vector, frames barely longer than 2L (windows without rows) and too
// short (n <= 2L), a frame of several passes over the rows, and a long frame.
struct Shape {
  int n, L;
};
const Shape kShapes[] = {{3, 1},     {8, 2},    {7, 3},    {12, 5},    {60, 7},   {61, 8},
                         {200, 9},   {100, 13}, {33, 16},  {257, 16},  {1000, 32}, {4, 2},
                         {10, 6},    {2000, 45}, {513, 33}, {90, 20},  {49, 24},  {300, 40},
                         {2100, 12}};

TEST(CovxyFast, EveryKernelGivesTheDirectSumsBitForBit) {
  Messages diag(Stage::tests);
  std::vector<Isa> kernels;
  for (Isa isa : {Isa::baseline, Isa::avx2, Isa::avx512})
    if (isa_available(isa)) kernels.push_back(isa);
  ASSERT_FALSE(kernels.empty());

  unsigned seed = 11;
  int compared = 0;
  for (Kind kind : {Kind::gaussian, Kind::dependent, Kind::signs, Kind::ties}) {
    for (const Shape& shape : kShapes) {
      std::vector<float> x, y;
      make_frame(kind, shape.n, ++seed, x, y);
      const FrameSums direct = covxy_sums(x, y, shape.L, diag, SumsKernel::reference);
      if (direct.degenerate) continue;  // a short frame of signs can come out constant
      ++compared;
      // The same standardised series the direct pass sees.
      std::vector<double> X(shape.n, 0.0);
      std::vector<double> Y(X.size(), 0.0);
      const MeanSd mx = sigmn(x, diag), my = sigmn(y, diag);
      for (int t = 0; t < shape.n; ++t) {
        X[t] = (x[t] - mx.mean) * (1.0f / mx.sd);
        Y[t] = (y[t] - my.mean) * (1.0f / my.sd);
      }
      auto blank = [&] {
        FrameSums s = direct;
        for (auto* v : {&s.ax, &s.ay, &s.bxy, &s.byx, &s.txxx, &s.tyyy, &s.txxy, &s.tyyx})
          std::fill(v->begin(), v->end(), -7.0);
        s.xy0 = -7.0;
        return s;
      };
      const std::string where = " kind " + std::to_string(static_cast<int>(kind)) + " n " +
                                std::to_string(shape.n) + " L " + std::to_string(shape.L);
      for (Isa isa : kernels) {
        SCOPED_TRACE(std::string(isa_name(isa)) + where);
        FrameSums fast = blank();
        // Scratch left over from a larger frame must not matter.
        std::vector<double> scratch(50000, 1e300);
        fast_lag_sums(X, Y, fast, scratch, isa);
        expect_same_sums(fast, direct);
      }
      // The AVX-512 kernel's vector shape on AVX2, for processors without it.
      FrameSums wide = blank();
      std::vector<double> scratch;
      if (fast_lag_sums_wide_shape(X, Y, wide, scratch)) {
        SCOPED_TRACE("AVX-512 shape" + where);
        expect_same_sums(wide, direct);
      }
    }
  }
  EXPECT_GE(compared, 70);
  EXPECT_EQ(report_lines(diag), "");
}

// The frame engine and the bootstrap keep one work storage per thread and
// pass frames of any shape through it: what an earlier frame left there,
// larger or degenerate, must not reach a later one.
TEST(CovxyFast, ReusedWorkGivesTheSumsOfAFreshCall) {
  Messages diag(Stage::tests);
  const Shape sequence[] = {{2000, 45}, {61, 8}, {40, 3}, {1000, 32}, {12, 5}, {300, 6}};
  for (SumsKernel kernel : {SumsKernel::fast, SumsKernel::reference}) {
    CovxyWork work;
    unsigned seed = 70;
    for (const Shape& shape : sequence) {
      std::vector<float> x, y;
      make_frame(Kind::dependent, shape.n, ++seed, x, y);
      if (shape.n == 40) std::fill(x.begin(), x.end(), 3.0f);  // a degenerate frame between
      SCOPED_TRACE("n " + std::to_string(shape.n) + " L " + std::to_string(shape.L) +
                   (kernel == SumsKernel::fast ? " fast" : " reference"));
      const FrameSums fresh = covxy_sums(x, y, shape.L, diag, SumsKernel::reference);
      const FrameSums& reused = covxy_sums(x, y, shape.L, diag, kernel, work);
      EXPECT_EQ(reused.n, shape.n);
      EXPECT_EQ(reused.L, shape.L);
      expect_same_sums(reused, fresh);
    }
  }
}

TEST(CovxyFast, CovxyOutputsAgreeWithTheReferenceKernel) {
  Messages diag(Stage::tests);
  std::vector<float> x, y;
  make_frame(Kind::dependent, 300, 5, x, y);
  const int L = 6;
  const int M = list_length(L);
  struct Outputs {
    std::vector<float> xxy, yyx, rxy;
    std::vector<int> r, s;
    FrameTests tests;
  };
  auto run = [&](SumsKernel kernel) {
    Outputs o{std::vector<float>(M), std::vector<float>(M), std::vector<float>(2 * L + 1),
              std::vector<int>(M),   std::vector<int>(M),   {}};
    o.tests = covxy(x, y, L, o.xxy, o.yyx, o.rxy, o.r, o.s, diag, kernel);
    return o;
  };
  const Outputs fast = run(SumsKernel::fast);
  const Outputs direct = run(SumsKernel::reference);
  EXPECT_EQ(fast.xxy, direct.xxy);
  EXPECT_EQ(fast.yyx, direct.yyx);
  EXPECT_EQ(fast.rxy, direct.rxy);
  EXPECT_EQ(fast.r, direct.r);
  EXPECT_EQ(fast.s, direct.s);
  for (vok::Test t : kTests) EXPECT_EQ(fast.tests.cdf[t], direct.tests.cdf[t]) << name(t);
  // The dependence is strong enough for the cross bicorrelation to show.
  EXPECT_GT(direct.tests.cdf.hxxy, 0.99f);
}

// The vector layouts form products that the sums do not need (lanes of
// lags a window does not need, rows outside a sum's range): exact zeros that
// cost time. At the frame shapes of real runs they stay within 5% of the
// products the sums need, on every instruction set's layout.
TEST(CovxyFast, LayoutsFormFewProductsBeyondThoseTheSumsNeed) {
  // n = 4, L = 1: A_x, A_y, B_xy, B_yx 3 products each; T_xxy and T_yyx at
  // (1, 1) and (1, 0) 3 each, at (1, -1) 2 each.
  EXPECT_EQ(lane_products(4, 1, Isa::avx2).needed, 4 * 3 + 2 * (3 + 3 + 2));
  const struct {
    int n, L;
  } shapes[] = {{1000, 32}, {4096, 64}};
  for (Isa isa : {Isa::baseline, Isa::avx2, Isa::avx512}) {
    for (const auto& shape : shapes) {
      SCOPED_TRACE(std::string(isa_name(isa)) + " n " + std::to_string(shape.n) + " L " +
                   std::to_string(shape.L));
      const LaneProducts products = lane_products(shape.n, shape.L, isa);
      EXPECT_GE(products.formed, products.needed);
      EXPECT_LE(products.formed, 1.05 * products.needed);
    }
  }
}

TEST(CovxyFast, DegenerateFrameIsSetAsideByEitherKernel) {
  Messages diag(Stage::tests);
  const std::vector<float> x(40, 2.0f);
  std::vector<float> y(40);
  for (int t = 0; t < 40; ++t) y[t] = static_cast<float>(t % 7);
  const FrameSums fast = covxy_sums(x, y, 3, diag, SumsKernel::fast);
  EXPECT_TRUE(fast.degenerate);
  EXPECT_TRUE(fast.txxy.empty());
}

TEST(CovxyFast, TheKernelNamedIsTheOneCovxyUses) {
  // Both kernels give the same sums, so the work storage tells them apart:
  // only the fast kernel carves its scratch out of it.
  std::vector<float> x, y;
  make_frame(Kind::gaussian, 64, 7, x, y);
  const int L = 4;
  std::vector<float> xxy(list_length(L)), yyx(list_length(L)), rxy(2 * L + 1);
  std::vector<int> r_lags(list_length(L)), s_lags(list_length(L));
  Messages diag(Stage::tests);
  for (SumsKernel kernel : {SumsKernel::reference, SumsKernel::fast}) {
    SCOPED_TRACE(kernel == SumsKernel::fast ? "fast" : "reference");
    CovxyWork work;
    covxy(x, y, L, xxy, yyx, rxy, r_lags, s_lags, diag, work, kernel);
    EXPECT_EQ(!work.scratch.empty(), kernel == SumsKernel::fast);
  }
  CovxyWork work;  // none named: the fast one
  covxy(x, y, L, xxy, yyx, rxy, r_lags, s_lags, diag, work);
  EXPECT_FALSE(work.scratch.empty());
  EXPECT_EQ(report_lines(diag), "");
}

}  // namespace
}  // namespace vok
