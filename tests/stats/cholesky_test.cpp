#include "stats/cholesky.h"

#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace vok {
namespace {

constexpr double kUnset = -12345.0;  // marks a diagonal element never written

// Element (i, j), 1-based, of an n x n column-major matrix.
double& at(std::vector<double>& a, int n, int i, int j) {
  return a[(j - 1) * n + (i - 1)];
}

TEST(Cholesky, TwoByTwoFactorSolveInverse) {
  // Rows (4, 2) and (2, 3), stored by columns.
  std::vector<double> a = {4, 2, 2, 3};
  std::vector<double> p(2, kUnset);
  ASSERT_EQ(dcholdc(a, 2, p), 0);
  EXPECT_DOUBLE_EQ(p[0], 2.0);
  EXPECT_DOUBLE_EQ(p[1], std::sqrt(2.0));
  EXPECT_DOUBLE_EQ(at(a, 2, 2, 1), 1.0);
  // The upper triangle still holds the input.
  EXPECT_EQ(at(a, 2, 1, 1), 4.0);
  EXPECT_EQ(at(a, 2, 1, 2), 2.0);
  EXPECT_EQ(at(a, 2, 2, 2), 3.0);

  const std::vector<double> b = {2, 1};
  std::vector<double> x(2, kUnset);
  dcholsl(a, 2, p, b, x);
  EXPECT_DOUBLE_EQ(x[0], 0.5);
  EXPECT_NEAR(x[1], 0.0, 1e-15);
  EXPECT_EQ(b, (std::vector<double>{2, 1}));  // right-hand side left alone

  dinverse(a, 2, p);
  EXPECT_DOUBLE_EQ(at(a, 2, 1, 1), 0.375);
  EXPECT_DOUBLE_EQ(at(a, 2, 1, 2), -0.25);
  EXPECT_DOUBLE_EQ(at(a, 2, 2, 1), -0.25);
  EXPECT_DOUBLE_EQ(at(a, 2, 2, 2), 0.5);
}

TEST(Cholesky, PivotNotPositiveStopsAtOnce) {
  struct Case {
    const char* name;
    std::vector<double> a;  // 2 x 2, by columns
  };
  const Case cases[] = {
      {"negative pivot", {1, 2, 2, 1}},  // 1 - 2 * 2 = -3
      {"zero pivot", {1, 1, 1, 1}},      // 1 - 1 * 1 = 0 exactly
  };
  for (Case c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<double> p(2, kUnset);
    EXPECT_EQ(dcholdc(c.a, 2, p), 1);
    EXPECT_EQ(p[0], 1.0);
    EXPECT_EQ(p[1], kUnset);
  }
  std::vector<double> a = {0.0};
  std::vector<double> p(1, kUnset);
  EXPECT_EQ(dcholdc(a, 1, p), 1);
  EXPECT_EQ(p[0], kUnset);
}

TEST(Cholesky, OrderOne) {
  std::vector<double> a = {5.0};
  std::vector<double> p(1);
  ASSERT_EQ(dcholdc(a, 1, p), 0);
  EXPECT_DOUBLE_EQ(p[0], std::sqrt(5.0));
  std::vector<double> x(1);
  dcholsl(a, 1, p, std::vector<double>{3.0}, x);
  EXPECT_DOUBLE_EQ(x[0], 0.6);
  dinverse(a, 1, p);
  EXPECT_DOUBLE_EQ(a[0], 0.2);
}

// A random symmetric positive definite matrix B^T B + n I, by columns.
std::vector<double> random_spd(int n, std::mt19937& gen) {
  std::vector<double> b(n * n);
  for (double& v : b) v = static_cast<int>(gen() % 19) - 9;
  std::vector<double> a(n * n, 0.0);
  for (int i = 1; i <= n; ++i)
    for (int j = 1; j <= n; ++j) {
      double s = i == j ? n : 0.0;
      for (int k = 1; k <= n; ++k) s += at(b, n, k, i) * at(b, n, k, j);
      at(a, n, i, j) = s;
    }
  return a;
}

TEST(Cholesky, SolvesAndInvertsRandomMatrices) {
  std::mt19937 gen(7);
  for (int n : {2, 3, 6, 11}) {
    SCOPED_TRACE(n);
    const std::vector<double> original = random_spd(n, gen);
    std::vector<double> a = original;
    // Garbage in the strict lower triangle must not matter.
    for (int j = 1; j <= n; ++j)
      for (int i = j + 1; i <= n; ++i) at(a, n, i, j) = 1e6 * (i + j);
    std::vector<double> p(n);
    ASSERT_EQ(dcholdc(a, n, p), 0);

    // L L^T reproduces the matrix.
    auto factor = [&](int i, int j) { return i == j ? p[i - 1] : (i > j ? at(a, n, i, j) : 0.0); };
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j) {
        double s = 0.0;
        for (int k = 1; k <= n; ++k) s += factor(i, k) * factor(j, k);
        EXPECT_NEAR(s, original[(j - 1) * n + (i - 1)], 1e-9 * n * n);
      }

    std::vector<double> b(n), x(n);
    for (int i = 0; i < n; ++i) b[i] = i + 1;
    dcholsl(a, n, p, b, x);
    for (int i = 1; i <= n; ++i) {
      double s = 0.0;
      for (int j = 1; j <= n; ++j) s += original[(j - 1) * n + (i - 1)] * x[j - 1];
      EXPECT_NEAR(s, b[i - 1], 1e-10 * n);
    }

    dinverse(a, n, p);
    for (int i = 1; i <= n; ++i)
      for (int j = 1; j <= n; ++j) {
        EXPECT_EQ(at(a, n, i, j), at(a, n, j, i));  // mirrored exactly
        double s = 0.0;
        for (int k = 1; k <= n; ++k) s += original[(k - 1) * n + (i - 1)] * at(a, n, k, j);
        EXPECT_NEAR(s, i == j ? 1.0 : 0.0, 1e-12 * n);
      }
  }
}

}  // namespace
}  // namespace vok
