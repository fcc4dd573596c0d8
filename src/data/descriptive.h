// Descriptive statistics of a series, and the clock of the closing stamp
// (the lines of both are the console program's: report/statistics_lines.h).
#pragma once

#include <span>
#include <string>

#include "stats/messages.h"
#include "vok/vok.h"

namespace vok {

// Statistics of x (n >= 1). Zero spread raises stat_no_variance on `diag`,
// sets sd to -1 and leaves skewness, kurtosis and C(6) at 0.
DescriptiveStats stat(std::span<const float> x, Messages& diag);

// Processor time used by the process so far (user plus system), in seconds.
float processor_time();

// The local date and time as 24 characters ("Tue Mar 03 09:05:07 2015").
std::string local_date_time();
// The processor time between start_time and now, shifted up by 86400 s when
// the difference is negative.
float elapsed_time(float start_time, float now);

}  // namespace vok
