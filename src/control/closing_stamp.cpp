#include "control/closing_stamp.h"

#include "control/clock.h"
#include "report/statistics_lines.h"

namespace vok {

float head(int v1, int v2, int v3, float start_time, Channel& out, Channel& console) {
  const float e = elapsed_time(start_time, processor_time());
  write_closing_stamp(v1, v2, v3, local_date_time(), e, out, console);
  return e;
}

}  // namespace vok
