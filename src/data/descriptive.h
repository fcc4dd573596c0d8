// Descriptive statistics of a series, their report block, and the closing
// stamp of an output file.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "output/channel.h"
#include "stats/messages.h"
#include "vok/vok.h"

namespace vok {

// Statistics of x (n >= 1). Zero spread raises stat_no_variance on `diag`,
// sets sd to -1 and leaves skewness, kurtosis and C(6) at 0.
DescriptiveStats stat(std::span<const float> x, Messages& diag);

// The statistics block of the report.
void wrstat(Channel& out, const DescriptiveStats& s);

// Processor time used by the process so far (user plus system), in seconds.
float processor_time();

// Closing stamp: version line, date and time, elapsed processor time since
// `start_time` (also on `console`). Returns the elapsed time.
float head(int v1, int v2, int v3, float start_time, Channel& out, Channel& console);

// The pieces of head, apart so they can be checked without a clock:
// the local date and time as 24 characters ("Tue Mar 03 09:05:07 2015"),
// the processor time between start_time and now (shifted up by 86400 s when
// the difference is negative), and the stamp's lines for a given date text
// and elapsed time (the elapsed-time line also goes to `console`).
std::string local_date_time();
float elapsed_time(float start_time, float now);
void write_closing_stamp(int v1, int v2, int v3, std::string_view date_time, float elapsed,
                         Channel& out, Channel& console);

}  // namespace vok
