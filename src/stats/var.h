// VAR(p) prewhitening fit without a constant term, in uncentred lagged
// moments (its report block is the console program's: report/var_lines.h).
#pragma once

#include <optional>
#include <span>
#include <vector>

#include "stats/messages.h"
#include "vok/vok.h"

namespace vok {

// Prewhitening: fits a VAR(p) to k series of n values (n x k, stored by
// columns) and puts the residuals into `residuals` (same layout; the first p
// of each series are 0), returning the fit; with p = 0 the series are copied
// unchanged and there is no fit. `trend` says whether the fit has a constant. The fit's messages
// are raised on `messages`; its report block is left to the caller (disvar). A matrix that is not
// positive definite raises cholesky_failed, then var_fit_failed, and halts.
std::optional<VarFit> setvar(std::span<const float> series, std::span<float> residuals, int k,
                             int n, int p, Messages& messages, Trend trend = Trend::n);

// The results of one fit: vok::VarFit.

// Builds and solves the normal equations and fills residuals and fit. A
// failed factorisation raises cholesky_failed and returns status 1 with
// nothing else computed. With n <= k p there
// are no degrees of freedom left: the residual standard errors, and so every
// coefficient standard error, are 0 (disvar then reports them and writes no
// block). Running out of memory raises out_of_memory and halts.
//
// With Trend::c the slopes come from the same normal equations formed on the
// series centred on their means (each mean summed in double in rising t,
// each centred value rounded to 32 bits), and the constant of equation g is
// the mean over t = p + 1..n of x(t, g) - sum phi(g; h, u) x(t - h, u), so
// that the residuals there have mean 0. R square is then taken against the
// centred sum of squares, and the residual standard error divides by
// n - k p - 1.
VarFit fit(std::span<const float> series, std::span<float> residuals, int k, int n, int p,
           Messages& out, Trend trend = Trend::n);

}  // namespace vok
