#include "stats/survival.h"

#include <cmath>
#include <limits>

namespace vok {
namespace {

constexpr double kEpsilon = 1e-15;
constexpr int kMaxIterations = 100000;

// ln Gamma(a) without touching the global sign variable of std::lgamma
// (a > 0 here, so the sign is always +).
double log_gamma(double a) {
  int sign = 0;
  return ::lgamma_r(a, &sign);
}

// exp(-x + a ln x - ln Gamma(a)).
double prefactor(double a, double x) { return std::exp(-x + a * std::log(x) - log_gamma(a)); }

// P(a, x) by its series; used where x < a + 1, so Q = 1 - P keeps its digits.
double lower_by_series(double a, double x) {
  double term = 1.0 / a, sum = term;
  for (int n = 1; n < kMaxIterations; ++n) {
    term *= x / (a + n);
    sum += term;
    if (std::fabs(term) < std::fabs(sum) * kEpsilon) break;
  }
  return sum * prefactor(a, x);
}

// Q(a, x) by its continued fraction (modified Lentz); used where x >= a + 1.
double upper_by_fraction(double a, double x) {
  constexpr double tiny = std::numeric_limits<double>::min() / kEpsilon;
  double b = x + 1.0 - a, c = 1.0 / tiny, d = 1.0 / b, h = d;
  for (int i = 1; i < kMaxIterations; ++i) {
    const double an = -i * (i - a);
    b += 2.0;
    d = an * d + b;
    if (std::fabs(d) < tiny) d = tiny;
    c = b + an / c;
    if (std::fabs(c) < tiny) c = tiny;
    d = 1.0 / d;
    const double delta = d * c;
    h *= delta;
    if (std::fabs(delta - 1.0) < kEpsilon) break;
  }
  return h * prefactor(a, x);
}

}  // namespace

double chi_square_survival(double x, int df) {
  if (df < 1 || std::isnan(x)) return std::numeric_limits<double>::quiet_NaN();
  if (x <= 0.0) return 1.0;
  if (std::isinf(x)) return 0.0;
  const double a = 0.5 * df, half = 0.5 * x;
  if (half < a + 1.0) return 1.0 - lower_by_series(a, half);
  return upper_by_fraction(a, half);
}

}  // namespace vok
