#include "stats/mcleod_li.h"

#include <cmath>
#include <limits>
#include <vector>

#include "stats/survival.h"

namespace vok {

McLeodLi mcleod_li(std::span<const float> x, int lags) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const std::size_t n = x.size();
  if (lags < 1 || static_cast<std::size_t>(lags) >= n) return {kNaN, kNaN};
  double mean = 0.0;
  for (float v : x) mean += v;
  mean /= static_cast<double>(n);
  std::vector<double> e(n);
  double mean_e = 0.0;
  for (std::size_t t = 0; t < n; ++t) {
    const double d = static_cast<double>(x[t]) - mean;
    e[t] = d * d;
    mean_e += e[t];
  }
  mean_e /= static_cast<double>(n);
  double total = 0.0;
  for (double& v : e) {
    v -= mean_e;
    total += v * v;
  }
  if (!(total > 0.0) || !std::isfinite(total)) return {kNaN, kNaN};
  double sum = 0.0;
  for (int k = 1; k <= lags; ++k) {
    double c = 0.0;
    for (std::size_t t = 0; t + static_cast<std::size_t>(k) < n; ++t) c += e[t] * e[t + k];
    const double r = c / total;
    sum += r * r / static_cast<double>(n - static_cast<std::size_t>(k));
  }
  const double q = static_cast<double>(n) * static_cast<double>(n + 2) * sum;
  return {q, chi_square_survival(q, lags)};
}

}  // namespace vok
