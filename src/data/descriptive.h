// Descriptive statistics of a series (their lines are the console
// program's: report/statistics_lines.h).
#pragma once

#include <span>

#include "stats/messages.h"
#include "vok/vok.h"

namespace vok {

// Statistics of x (n >= 1). Zero spread raises stat_no_variance on `diag`,
// sets sd to -1 and leaves skewness, kurtosis and C(6) at 0.
DescriptiveStats stat(std::span<const float> x, Messages& diag);

}  // namespace vok
