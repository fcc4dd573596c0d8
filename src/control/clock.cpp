#include "control/clock.h"

#include <sys/resource.h>

#include <cstdio>
#include <ctime>

namespace vok {

float processor_time() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  double seconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                   1e-6 * static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec);
  return static_cast<float>(seconds);
}

std::string local_date_time() {
  static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                        "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  const std::time_t now = std::time(nullptr);
  std::tm t{};
  localtime_r(&now, &t);
  // English names whatever the locale; the day always has two digits.
  char text[64];
  std::snprintf(text, sizeof text, "%s %s %02d %02d:%02d:%02d %04d", kDays[t.tm_wday % 7],
                kMonths[t.tm_mon % 12], t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, t.tm_year + 1900);
  return text;
}

float elapsed_time(float start_time, float now) {
  float e = now - start_time;
  if (e < 0.0f) e += 86400.0f;
  return e;
}

}  // namespace vok
