#include "report/statistics_lines.h"

#include <string>

namespace vok {

void wrstat(Channel& out, const DescriptiveStats& s) {
  static const Layout kRule = Layout::parse(R"(60("=") /)");
  static const Layout kMean = Layout::parse(R"(" Mean =" G12.3 7X "Std Dev =" G12.3 /)");
  static const Layout kShape =
      Layout::parse(R"(" Skew =" G10.3 4X "Kurtosis =" G10.3 4X "C(6) =" G10.2 /)");
  static const Layout kRange = Layout::parse(R"(" Max value =" G14.3 7X "Min value =" G14.3)");
  static const Layout kEnd = Layout::parse(R"(60("*"))");
  out.write(kRule);
  out.write(kMean, {s.mean, s.sd});
  out.write(kShape, {s.skewness, s.kurtosis, s.c6});
  out.write(kRange, {s.max, s.min});
  out.write(kEnd);
}

void write_closing_stamp(int v1, int v2, int v3, std::string_view date_time, float elapsed,
                         Channel& out, Channel& console) {
  static const Layout kVersion = Layout::parse(R"(" Version " I2 "-" I2 "-" I4)");
  static const Layout kSecondsUnit = Layout::parse(R"(" Elapsed time = " F9.2 "  secs")");
  static const Layout kSecondsConsole = Layout::parse(R"(" Elapsed time = " F9.2 " secs")");
  static const Layout kMinutesUnit = Layout::parse(R"(" Elapsed time = " F9.2 " minutes")");
  static const Layout kMinutesConsole = Layout::parse(R"(/ " Elapsed time = " F9.2 " minutes")");
  static const Layout kHoursUnit = Layout::parse(R"(" Elapsed time = " F9.2 " hours")");
  static const Layout kHoursConsole = Layout::parse(R"(/ " Elapsed time = " F9.2 " hours")");

  out.write(kVersion, {v1, v2, v3});
  out.line(std::string(" Date & Time ") + std::string(date_time));
  if (elapsed < 60.0f) {
    out.write(kSecondsUnit, {elapsed});
    console.write(kSecondsConsole, {elapsed});
  } else if (elapsed < 3600.0f) {
    const float minutes = elapsed * 0.016666668f;
    out.write(kMinutesUnit, {minutes});
    console.write(kMinutesConsole, {minutes});
  } else {
    const float hours = elapsed * 0.00027777778f;
    out.write(kHoursUnit, {hours});
    console.write(kHoursConsole, {hours});
  }
}

}  // namespace vok
