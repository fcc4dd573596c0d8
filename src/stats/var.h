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
// unchanged and there is no fit. The fit's messages are raised on
// `messages`; its report block is left to the caller (disvar). A matrix that
// is not positive definite raises cholesky_failed, then var_fit_failed, and
// halts.
std::optional<VarFit> setvar(std::span<const float> series, std::span<float> residuals, int k,
                             int n, int p, Messages& messages);

// The results of one fit: vok::VarFit.

// Builds and solves the normal equations and fills residuals and fit. A
// failed factorisation raises cholesky_failed and returns status 1 with
// nothing else computed. With n <= k p there
// are no degrees of freedom left: the residual standard errors, and so every
// coefficient standard error, are 0 (disvar then reports them and writes no
// block). Running out of memory raises out_of_memory and halts.
VarFit fit(std::span<const float> series, std::span<float> residuals, int k, int n, int p,
           Messages& out);

}  // namespace vok
