// The clock of the closing stamp: the console program's, not the library's
// (the library reads no clock for its results).
#pragma once

#include <string>

namespace vok {

// Processor time used by the process so far (user plus system), in seconds.
float processor_time();

// The local date and time as 24 characters ("Tue Mar 03 09:05:07 2015").
std::string local_date_time();
// The processor time between start_time and now, shifted up by 86400 s when
// the difference is negative.
float elapsed_time(float start_time, float now);

}  // namespace vok
