#include "stats/mcleod_li.h"

#include <cmath>
#include <limits>
#include <vector>

#include "stats/survival.h"

namespace vok {
namespace {

// The sum of a(t) b(t) over t < m, in eight interleaved partial sums (lane j
// takes t = j, j + 8, ...) added in lane order, then the last m mod 8
// products: a fixed order the compiler keeps, and one it vectorises.
double dot(const double* a, const double* b, std::size_t m) {
  double lane[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  std::size_t t = 0;
  for (; t + 8 <= m; t += 8)
    for (int j = 0; j < 8; ++j) lane[j] += a[t + j] * b[t + j];
  double sum = 0.0;
  for (double v : lane) sum += v;
  for (; t < m; ++t) sum += a[t] * b[t];
  return sum;
}

// The sum of a(t) over t < m, in the order dot adds its products.
double sum_of(const double* a, std::size_t m) {
  double lane[8] = {0, 0, 0, 0, 0, 0, 0, 0};
  std::size_t t = 0;
  for (; t + 8 <= m; t += 8)
    for (int j = 0; j < 8; ++j) lane[j] += a[t + j];
  double sum = 0.0;
  for (double v : lane) sum += v;
  for (; t < m; ++t) sum += a[t];
  return sum;
}

}  // namespace

McLeodLi mcleod_li(std::span<const float> x, int lags) {
  constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
  const std::size_t n = x.size();
  if (lags < 1 || static_cast<std::size_t>(lags) >= n) return {kNaN, kNaN};
  std::vector<double> e(x.begin(), x.end());
  const double mean = sum_of(e.data(), n) / static_cast<double>(n);
  for (double& v : e) v = (v - mean) * (v - mean);
  const double mean_e = sum_of(e.data(), n) / static_cast<double>(n);
  for (double& v : e) v -= mean_e;
  const double total = dot(e.data(), e.data(), n);
  if (!(total > 0.0) || !std::isfinite(total)) return {kNaN, kNaN};
  double sum = 0.0;
  for (int k = 1; k <= lags; ++k) {
    const std::size_t m = n - static_cast<std::size_t>(k);
    const double r = dot(e.data(), e.data() + k, m) / total;
    sum += r * r / static_cast<double>(m);
  }
  const double q = static_cast<double>(n) * static_cast<double>(n + 2) * sum;
  return {q, chi_square_survival(q, lags)};
}

}  // namespace vok
