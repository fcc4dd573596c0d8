// The McLeod-Li test for changing variance: the Ljung-Box portmanteau test
// applied to the squared deviations of a series from its mean.
#pragma once

#include <span>

namespace vok {

struct McLeodLi {
  double statistic = 0.0;  // Q = n (n + 2) sum over k = 1..lags of r(k)^2 / (n - k)
  double pvalue = 0.0;     // chi-square survival function of Q with `lags` degrees of freedom
};

// With e(t) = (x(t) - mean)^2 and r(k) the lag-k autocorrelation of e (sums
// of products of deviations from the mean of e over t = 1..n - k, divided by
// the sum of squares over t = 1..n), as the Ljung-Box test of statistical
// packages forms it. Statistic and p-value are NaN when e does not vary (a
// constant series, or one of two values symmetric about its mean), when
// lags < 1 or lags >= n, or when a value is not finite. Sums in double, in
// a fixed order (the same on every machine).
McLeodLi mcleod_li(std::span<const float> x, int lags);

}  // namespace vok
