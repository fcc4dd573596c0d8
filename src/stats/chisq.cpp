#include "stats/chisq.h"

#include <cmath>

namespace vok {

namespace {

// Arguments below this are treated as zero, and CDF values below it as 0.
constexpr float kLowerLimit = 1e-4f;
// With zero degrees of freedom, exp(-x/2) is negligible once x/2 exceeds this.
constexpr float kExpCutoff = 11.0f;
constexpr int kMaxIterations = 1000;
// The tolerance and the guard are single-precision constants widened to
// double, so convergence stops at exactly the same iteration everywhere.
constexpr double kTolerance = static_cast<double>(3e-7f);
constexpr double kTiny = static_cast<double>(1e-30f);

// exp(-x + a ln x - ln Gamma(a)), the factor shared by the series and the
// continued fraction.
double gamma_prefactor(double a, double x, double log_gamma_a) {
  return std::exp(-x + a * std::log(x) - log_gamma_a);
}

}  // namespace

double gammln(double a) {
  static constexpr double kCoefficients[6] = {
      76.18009172947146,  -86.50532032941677,    24.01409824083091,
      -1.231739572450155, 0.1208650973866179e-2, -0.5395239384953e-5,
  };
  double t = a + 5.5;
  t = (a + 0.5) * std::log(t) - t;
  double s = 1.000000000190015;
  double y = a;
  for (double c : kCoefficients) {
    y = y + 1.0;
    s = s + c / y;
  }
  return t + std::log(2.5066282746310005 * s / a);
}

GammaSeries gser(double a, double x, Messages& diag) {
  GammaSeries out;
  if (x <= 0.0) {
    if (x < 0.0) diag.raise(MessageKind::gser_negative_x);
    return out;
  }
  out.log_gamma_a = gammln(a);
  double w = a;
  double total = 1.0 / a;
  double term = total;
  for (int i = 1; i <= kMaxIterations; ++i) {
    w = w + 1.0;
    term = term * x / w;
    total = total + term;
    if (std::fabs(term) < std::fabs(total) * kTolerance) {
      out.value = total * gamma_prefactor(a, x, out.log_gamma_a);
      return out;
    }
  }
  diag.raise(MessageKind::gser_too_many_iterations, a);
  // The partial sum reached so far is the best value there is.
  out.value = total * gamma_prefactor(a, x, out.log_gamma_a);
  return out;
}

GammaSeries gcf(double a, double x, Messages& diag) {
  GammaSeries out;
  out.log_gamma_a = gammln(a);
  // Modified Lentz evaluation of the continued fraction for Q(a, x).
  double b = x + 1.0 - a;
  double g = 1.0 / kTiny;
  double d = 1.0 / b;
  double h = d;
  for (int i = 1; i <= kMaxIterations; ++i) {
    double e = -i * (i - a);
    b = b + 2.0;
    d = e * d + b;
    if (std::fabs(d) < kTiny) d = kTiny;
    g = b + e / g;
    if (std::fabs(g) < kTiny) g = kTiny;
    d = 1.0 / d;
    double f = d * g;
    h = h * f;
    if (std::fabs(f - 1.0) < kTolerance) {
      out.value = gamma_prefactor(a, x, out.log_gamma_a) * h;
      return out;
    }
  }
  diag.raise(MessageKind::gcf_too_many_iterations, a);
  out.value = gamma_prefactor(a, x, out.log_gamma_a) * h;
  return out;
}

float gammp(float a, float x, Messages& diag) {
  if (x < 0.0f || a <= 0.0f) {
    diag.raise(MessageKind::gammp_bad_argument);
    return 0.0f;
  }
  if (x < a + 1.0f) return static_cast<float>(gser(a, x, diag).value);
  return static_cast<float>(1.0 - gcf(a, x, diag).value);
}

void cdchi(float x, float df, float& p, Messages& diag) {
  if (x < 0.0f) {
    diag.raise(MessageKind::cdchi_x_not_positive, x);
    return;
  }
  if (x < kLowerLimit) {
    p = 0.0f;
    return;
  }
  if (df < 0.0f) {
    diag.raise(MessageKind::cdchi_df_not_positive, df);
    return;
  }
  const float half_x = x / 2.0f;
  if (df < kLowerLimit) {
    if (half_x > kExpCutoff) {
      p = 1.0f;
    } else {
      // The exponential is a single-precision value before the subtraction.
      const float tail = static_cast<float>(std::exp(-static_cast<double>(half_x)));
      p = 1.0f - tail;
    }
    return;
  }
  const float value = gammp(df / 2.0f, half_x, diag);
  p = value < kLowerLimit ? 0.0f : value;
}

}  // namespace vok
