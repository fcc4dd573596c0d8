#include "analysis/run_checks.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>

namespace vok {

std::vector<double> qvalues(std::span<const double> p) {
  std::vector<double> q(p.size(), std::numeric_limits<double>::quiet_NaN());
  std::vector<std::size_t> order;
  order.reserve(p.size());
  for (std::size_t i = 0; i < p.size(); ++i)
    if (!std::isnan(p[i])) order.push_back(i);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return p[a] < p[b]; });
  const double m = static_cast<double>(order.size());
  double running = 1.0;
  for (std::size_t j = order.size(); j-- > 0;) {
    running = std::min(running, p[order[j]] * m / static_cast<double>(j + 1));
    q[order[j]] = running;
  }
  return q;
}

std::vector<PerTest<double>> qvalues(std::span<const PerTest<double>> pvalues) {
  std::vector<PerTest<double>> q(pvalues.size());
  std::vector<double> p(pvalues.size());
  for (Test t : kTests) {
    for (std::size_t i = 0; i < p.size(); ++i) p[i] = pvalues[i][t];
    const std::vector<double> column = qvalues(p);
    for (std::size_t i = 0; i < p.size(); ++i) q[i][t] = column[i];
  }
  return q;
}

void set_qvalues(std::span<Frame> frames) {
  std::vector<PerTest<double>> p(frames.size());
  for (std::size_t i = 0; i < frames.size(); ++i) p[i] = frames[i].pvalue;
  const std::vector<PerTest<double>> q = qvalues(p);
  for (std::size_t i = 0; i < frames.size(); ++i) frames[i].qvalue = q[i];
}

double binomial_upper_tail(int k, int n, double p) {
  if (k <= 0) return 1.0;
  if (k > n || p <= 0.0) return 0.0;
  if (p >= 1.0) return 1.0;
  // log of each term C(n, i) p^i (1 - p)^(n - i), i = k..n, summed from the
  // largest.
  auto log_term = [&](int i) {
    return std::lgamma(n + 1.0) - std::lgamma(i + 1.0) - std::lgamma(n - i + 1.0) +
           i * std::log(p) + (n - i) * std::log1p(-p);
  };
  double top = -std::numeric_limits<double>::infinity();
  for (int i = k; i <= n; ++i) top = std::max(top, log_term(i));
  double sum = 0.0;
  for (int i = k; i <= n; ++i) sum += std::exp(log_term(i) - top);
  return std::min(1.0, std::exp(top) * sum);
}

void VarianceTally::add(double pvalue) {
  if (std::isnan(pvalue)) return;
  ++frames_;
  if (pvalue < static_cast<double>(alpha_)) ++significant_;
}

VarianceCheck VarianceTally::check() const {
  VarianceCheck c;
  c.frames = frames_;
  c.significant = significant_;
  c.binomial_pvalue = binomial_upper_tail(significant_, frames_, alpha_);
  c.strong = frames_ > 0 &&
             static_cast<double>(significant_) >= 2.0 * static_cast<double>(alpha_) * frames_ &&
             c.binomial_pvalue < 1e-3;
  return c;
}

void complete_result(Result& result, float false_alarm) {
  set_qvalues(result.frames);
  VarianceTally x(false_alarm), y(false_alarm);
  for (const Frame& f : result.frames) {
    x.add(f.variance_pvalue_x);
    y.add(f.variance_pvalue_y);
  }
  result.x_variance = x.check();
  result.y_variance = y.check();
  result.false_alarm = false_alarm;
}

}  // namespace vok
