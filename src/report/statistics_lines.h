// The report's lines of descriptive statistics and the closing stamp of an
// output file.
#pragma once

#include <string_view>

#include "output/channel.h"
#include "vok/vok.h"

namespace vok {

// The statistics block of the report.
void wrstat(Channel& out, const DescriptiveStats& s);

// Closing stamp: version line, date and time, elapsed processor time (the
// elapsed-time line also goes to `console`). The console program reads the
// clock for it (control/closing_stamp.h).
void write_closing_stamp(int v1, int v2, int v3, std::string_view date_time, float elapsed,
                         Channel& out, Channel& console);

}  // namespace vok
