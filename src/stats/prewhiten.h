// Prewhitening of one series by an AR(2) fit with a constant, for the
// checks that must not take linear autocorrelation for something else.
#pragma once

#include <span>

namespace vok {

// Least-squares residuals of x(t) on 1, x(t-1), x(t-2) for t = 2..n-1, into
// `residuals` (n - 2 values; sums in double in a fixed order). Returns the
// number of residuals written: 0 when n < 5 or the fit's normal equations
// are singular (a constant series), when the series is left unfitted.
int ar2_residuals(std::span<const float> x, std::span<float> residuals);

}  // namespace vok
