// The closing stamp of an output file with the clock read: the report's
// lines of it (report/statistics_lines.h) for the date and time now and the
// processor time the execution has used.
#pragma once

#include "output/channel.h"

namespace vok {

// The date of the program's version the closing stamp's version line names
// (its three numbers, in the order the line shows them).
struct VersionDate {
  int first, second, year;
};
inline constexpr VersionDate kVersionDate{9, 9, 2009};

// Closing stamp: version line, date and time, elapsed processor time since
// `start_time` (also on `console`). Returns the elapsed time.
float head(int v1, int v2, int v3, float start_time, Channel& out, Channel& console);

}  // namespace vok
