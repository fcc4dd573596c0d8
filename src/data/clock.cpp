#include <sys/resource.h>

#include "data/descriptive.h"

namespace vok {

float processor_time() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  double seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  return static_cast<float>(seconds);
}

}  // namespace vok
