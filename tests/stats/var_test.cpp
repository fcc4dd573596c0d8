#include "stats/var.h"

#include <gtest/gtest.h>

#include "message_lines.h"

#include <cmath>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <vector>

#include "output/failure.h"
#include "output/free_format.h"
#include "report/var_lines.h"

namespace vok {
namespace {

std::string lines(std::initializer_list<std::string> ls) {
  std::string out;
  for (const std::string& l : ls) out += l + "\n";
  return out;
}

// The fit, then its report block whatever the fit's status: a frame's VAR
// fit as the report shows it.
VarFit var(std::span<const float> series, std::span<float> residuals, int k, int n, int p,
           Messages& messages, Channel& out, Trend trend = Trend::n) {
  VarFit result = fit(series, residuals, k, n, p, messages, trend);
  disvar(result, k, p, out);
  return result;
}

class VarTest : public ::testing::Test {
 protected:
  VarTest() { out.capture(); }
  Channel out;            // the report block
  Messages messages{Stage::var_fit};  // what the fit raises
};

// k = 1, p = 1 on 1, 2, 3, 4: M0 = 30/4, M1 = 20/4, phi = 2/3; residuals 0,
// 4/3, 5/3, 2; SSR = 77/9; s = sqrt(SSR / 3); R square = 1 - SSR/30; the
// standard error of phi is s * sqrt((1/M0) / n) = 0.3083 and t = 2.16.
TEST_F(VarTest, WorkedExampleOneSeriesOneLag) {
  const std::vector<float> x = {1, 2, 3, 4};
  std::vector<float> e(4, -1.0f);
  const VarFit f = var(x, e, 1, 4, 1, messages, out);
  ASSERT_EQ(f.status, 0);
  EXPECT_NEAR(f.phi[0], 2.0 / 3.0, 1e-12);
  EXPECT_EQ(e[0], 0.0f);
  EXPECT_FLOAT_EQ(e[1], 4.0f / 3.0f);
  EXPECT_FLOAT_EQ(e[2], 5.0f / 3.0f);
  EXPECT_FLOAT_EQ(e[3], 2.0f);
  EXPECT_NEAR(f.resid_se[0], 1.68874, 5e-6);  // sqrt(77/27); 1.6888 from a rounded SSR
  EXPECT_NEAR(f.r_square, 0.71481, 5e-6);
  EXPECT_NEAR(f.se[0], 0.3083, 5e-5);
  EXPECT_EQ(out.text(), lines({"", "                    R Square =  0.715", "",
                               "                 VAR(  1) parameters / t values",
                               "          ==============================================", "", "",
                               "       Equation  1    Lag  1", "", " c( 1) =   0.667  ", "",
                               "    t  =    2.16   "}));
}

// Standard normal deviates by Box-Muller from a fixed engine, so the frame is
// the same with every standard library.
class Normal {
 public:
  explicit Normal(unsigned seed) : gen_(seed) {}
  double operator()() {
    const double u1 = (gen_() + 1.0) / 4294967297.0;
    const double u2 = gen_() / 4294967296.0;
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }

 private:
  std::mt19937 gen_;
};

// The same series with a constant: centred 1, 2, 3, 4 is -1.5, -0.5, 0.5,
// 1.5; M0 = 5/4, M1 = 1.25/4, phi = 1/4; the constant is the mean of
// x(t) - x(t-1)/4 over t = 2..4, (1.75 + 2.5 + 3.25)/3 = 2.5; residuals 0,
// -0.75, 0, 0.75; SSR = 1.125 over n - k p - 1 = 2 degrees of freedom, s =
// 0.75; R square against the centred 5 is 0.775; the standard error of phi
// is 0.75 sqrt((4/5) / 4) = 0.3354. The block ends with the constants' line.
TEST_F(VarTest, WorkedExampleWithAConstant) {
  const std::vector<float> x = {1, 2, 3, 4};
  std::vector<float> e(4, -1.0f);
  const VarFit f = var(x, e, 1, 4, 1, messages, out, Trend::c);
  ASSERT_EQ(f.status, 0);
  EXPECT_NEAR(f.phi[0], 0.25, 1e-12);
  ASSERT_EQ(f.constant.size(), 1u);
  EXPECT_NEAR(f.constant[0], 2.5, 1e-12);
  EXPECT_EQ(e, (std::vector<float>{0.0f, -0.75f, 0.0f, 0.75f}));
  EXPECT_NEAR(f.resid_se[0], 0.75, 1e-7);
  EXPECT_NEAR(f.r_square, 0.775, 1e-6);
  EXPECT_NEAR(f.se[0], 0.335410, 1e-6);
  EXPECT_EQ(out.text(), lines({"", "                    R Square =  0.775", "",
                               "                 VAR(  1) parameters / t values",
                               "          ==============================================", "", "",
                               "       Equation  1    Lag  1", "", " c( 1) =   0.250  ", "",
                               "    t  =    0.75   ", "",
                               "       Constants  c0( 1) =    2.500    "}));
}

// Without a constant a level stays in the residuals and pulls the slopes
// towards 1; with one, the residuals have mean 0 and neither the slopes nor
// the residuals depend on the level (but for the rounding of the values).
TEST_F(VarTest, AConstantTakesTheLevelOut) {
  const int n = 400;
  Normal normal(7);
  std::vector<float> xy(2 * n), raised(2 * n);
  for (int i = 0; i < 2 * n; ++i) {
    xy[i] = static_cast<float>(normal());
    raised[i] = xy[i] + 8.0f;
  }
  std::vector<float> e(2 * n), e_raised(2 * n), e_none(2 * n);
  const VarFit with = fit(xy, e, 2, n, 2, messages, Trend::c);
  const VarFit with_raised = fit(raised, e_raised, 2, n, 2, messages, Trend::c);
  const VarFit none_raised = fit(raised, e_none, 2, n, 2, messages, Trend::n);
  ASSERT_TRUE(messages.empty());
  for (std::size_t j = 0; j < with.phi.size(); ++j) {
    EXPECT_NEAR(with_raised.phi[j], with.phi[j], 1e-5) << j;
    EXPECT_LT(std::fabs(with.phi[j]), 0.2) << j;  // iid: slopes near 0
  }
  EXPECT_GT(none_raised.phi[0] + none_raised.phi[1] + none_raised.phi[2] + none_raised.phi[3],
            0.9);  // the level taken for persistence
  EXPECT_TRUE(none_raised.constant.empty());
  for (int g = 0; g < 2; ++g) {
    EXPECT_NEAR(with_raised.constant[g] - with.constant[g], 8.0 * (1.0 - with.phi[g * 4] -
                with.phi[g * 4 + 1] - with.phi[g * 4 + 2] - with.phi[g * 4 + 3]), 1e-3);
    double sum = 0.0, sum_none = 0.0;
    for (int t = 2; t < n; ++t) {
      sum += e_raised[g * n + t];
      sum_none += e_none[g * n + t];
      EXPECT_NEAR(e_raised[g * n + t], e[g * n + t], 2e-5);
    }
    EXPECT_NEAR(sum / (n - 2), 0.0, 1e-6);
    EXPECT_GT(std::fabs(sum_none / (n - 2)), 0.02);
  }
}

TEST_F(VarTest, OrderZeroCopiesTheSeriesAndWritesNothing) {
  const std::vector<float> x = {1.5f, -2.25f, 3e-7f, 4e9f, 7, -0.0f};  // k = 2, n = 3
  std::vector<float> e(6, 99.0f);
  EXPECT_FALSE(setvar(x, e, 2, 3, 0, messages).has_value());
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_EQ(e[i], x[i]) << i;
  EXPECT_TRUE(messages.empty());
}

TEST_F(VarTest, ExactFitOfTheFirstEquationIsReportedNotDisplayed) {
  // x is 1 then 0s: the lagged moments on the right-hand side of equation 1
  // are all 0, so its coefficients and residuals are exactly 0.
  const int n = 8;
  std::vector<float> xy(2 * n, 0.0f);
  xy[0] = 1.0f;
  const float y[n] = {0.3f, -1.2f, 0.7f, 2.0f, -0.4f, 1.1f, -0.9f, 0.5f};
  for (int t = 0; t < n; ++t) xy[n + t] = y[t];
  std::vector<float> e(2 * n);
  const VarFit f = var(xy, e, 2, n, 2, messages, out);
  ASSERT_EQ(f.status, 0);
  EXPECT_EQ(f.resid_se[0], 0.0f);
  EXPECT_EQ(out.text(),
            free_format({"Standard error ", 0.0f, " k = ", 1, " < 0 in disvar"}) + "\n" +
                free_format({"Standard error ", 0.0f, " k = ", 2, " < 0 in disvar"}) + "\n");
}

TEST_F(VarTest, NoDegreesOfFreedomGiveZeroStandardErrorsNotNaN) {
  // k = 1, p = 2, n = 2: the moment matrix (2.5, 1; 1, 2.5) is regular but
  // n - k p = 0.
  const std::vector<float> x = {1, 2};
  std::vector<float> e(2, 7.0f);
  const VarFit f = var(x, e, 1, 2, 2, messages, out);
  ASSERT_EQ(f.status, 0);
  EXPECT_EQ(e, (std::vector<float>{0, 0}));
  EXPECT_EQ(f.resid_se[0], 0.0f);
  for (float se : f.se) EXPECT_EQ(se, 0.0f);
  for (double phi : f.phi) EXPECT_TRUE(std::isfinite(phi));
  EXPECT_TRUE(std::isfinite(f.r_square));
  EXPECT_EQ(out.text(),
            free_format({"Standard error ", 0.0f, " k = ", 1, " < 0 in disvar"}) + "\n" +
                free_format({"Standard error ", 0.0f, " k = ", 2, " < 0 in disvar"}) + "\n");
}

TEST_F(VarTest, FailedFactorisationWritesNoBlockAndSetvarHalts) {
  // y identically 0: the lag-0 moment of y is a zero pivot.
  const std::vector<float> xy = {1, -2, 3, 0.5f, 2, 0, 0, 0, 0, 0};
  std::vector<float> e(10);
  const std::string failed = " DCHOLDC failed, A is not positive definite\n";

  const VarFit f = var(xy, e, 2, 5, 1, messages, out);
  EXPECT_EQ(f.status, 1);
  EXPECT_EQ(report_lines(messages), failed);
  EXPECT_EQ(out.text(), "");  // disvar adds nothing

  messages.clear();
  try {
    setvar(xy, e, 2, 5, 1, messages);
    ADD_FAILURE() << "setvar must halt";
  } catch (const ComputationHalted& halted) {
    EXPECT_EQ(halted.cause().kind, MessageKind::var_fit_failed);
    EXPECT_EQ(halted.cause().numbers[0], 1.0);
  }
  const std::string error = free_format({"Error in subroutine Setvar ", 1}) + "\n";
  EXPECT_EQ(report_lines(messages), failed + error);
  EXPECT_EQ(lines_on(messages.list(), MessageChannel::console), error);
  EXPECT_EQ(lines_on(messages.list(), MessageChannel::error_file), error);
}

TEST_F(VarTest, NonFiniteValueIsNotAFailedFactorisation) {
  // The frame goes on to the tests, which set it aside; the program must not stop.
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const std::vector<float> xy = {1, -2, 3, 0.5f, 2, 0.3f, nan, -1, 0.8f, 2};
  std::vector<float> e(10);
  EXPECT_NO_THROW(setvar(xy, e, 2, 5, 1, messages));
  EXPECT_TRUE(std::isnan(e[5 + 2]));
  EXPECT_TRUE(messages.empty());
}

TEST_F(VarTest, RecoversAKnownVarOneAndAgreesWithLeastSquares) {
  const int n = 2000;
  const double A[2][2] = {{0.5, 0.2}, {-0.3, 0.4}};  // x_t = 0.5 x + 0.2 y; y_t = -0.3 x + 0.4 y
  Normal normal(2024);
  std::vector<float> xy(2 * n);
  double px = 0.0, py = 0.0;
  for (int t = -200; t < n; ++t) {
    const double nx = A[0][0] * px + A[0][1] * py + normal();
    const double ny = A[1][0] * px + A[1][1] * py + normal();
    px = nx;
    py = ny;
    if (t >= 0) {
      xy[t] = static_cast<float>(px);
      xy[n + t] = static_cast<float>(py);
    }
  }
  std::vector<float> e(2 * n);
  const VarFit f = var(xy, e, 2, n, 1, messages, out);
  ASSERT_EQ(f.status, 0);
  EXPECT_NE(out.text().find("VAR(  1) parameters / t values"), std::string::npos);

  for (int g = 0; g < 2; ++g) {
    // Ordinary least squares of series g on both series lagged once, t = 2..n.
    double zz[2][2] = {{0, 0}, {0, 0}}, zw[2] = {0, 0};
    for (int t = 1; t < n; ++t) {
      const double z[2] = {xy[t - 1], xy[n + t - 1]};
      const double w = xy[g * n + t];
      for (int i = 0; i < 2; ++i) {
        zw[i] += z[i] * w;
        for (int j = 0; j < 2; ++j) zz[i][j] += z[i] * z[j];
      }
    }
    const double det = zz[0][0] * zz[1][1] - zz[0][1] * zz[1][0];
    const double inv[2][2] = {{zz[1][1] / det, -zz[0][1] / det}, {-zz[1][0] / det, zz[0][0] / det}};
    const double beta[2] = {inv[0][0] * zw[0] + inv[0][1] * zw[1],
                            inv[1][0] * zw[0] + inv[1][1] * zw[1]};
    double ssr = 0.0;
    for (int t = 1; t < n; ++t) {
      const double r = xy[g * n + t] - beta[0] * xy[t - 1] - beta[1] * xy[n + t - 1];
      ssr += r * r;
    }
    const double s2 = ssr / (n - 1 - 2);
    for (int u = 0; u < 2; ++u) {
      SCOPED_TRACE(testing::Message() << "equation " << g + 1 << " regressor " << u + 1);
      const double phi = f.phi[g * 2 + u];
      const double se = f.se[g * 2 + u];
      EXPECT_LT(std::fabs(phi - A[g][u]), 4.0 * se);
      EXPECT_NEAR(phi, beta[u], 0.01);
      const double t_ols = beta[u] / std::sqrt(s2 * inv[u][u]);
      EXPECT_NEAR(phi / se, t_ols, 0.02 * std::fabs(t_ols));
    }
    // Residuals are those of the fitted coefficients.
    EXPECT_EQ(e[g * n], 0.0f);
    for (int t : {1, 500, n - 1}) {
      const double want =
          xy[g * n + t] - f.phi[g * 2] * xy[t - 1] - f.phi[g * 2 + 1] * xy[n + t - 1];
      EXPECT_NEAR(e[g * n + t], want, 1e-5);
    }
  }
}

}  // namespace
}  // namespace vok
