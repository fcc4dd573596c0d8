// The names of the files written beside a run's report: the report's name
// with another extension in place of ".out" (runA_1-_2.out gives
// runA_1-_2.csv), or added to a name without ".out".
#pragma once

#include <string>
#include <string_view>

namespace vok {

// `report_name` with `extension` (".csv", ".json") in place of ".out".
inline std::string beside_report(std::string_view report_name, std::string_view extension) {
  constexpr std::string_view kOut = ".out";
  if (report_name.ends_with(kOut)) report_name.remove_suffix(kOut.size());
  return std::string(report_name) + std::string(extension);
}

}  // namespace vok
