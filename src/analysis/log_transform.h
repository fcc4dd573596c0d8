// The log transform of a pair of series: the one the library applies and the
// console program's runs apply, so that both take the same logarithms and
// refuse the same first value.
#pragma once

#include <cstddef>
#include <optional>
#include <span>

namespace vok {

// A value the log transform cannot take: its index (0 for the first row)
// and the series it is in.
struct NonPositiveValue {
  std::size_t index = 0;
  bool in_y = false;
  float value = 0.0f;
};

// Replaces every value of x and y by its natural logarithm, row by row, x
// before y in a row. The first value <= 0 stops it and is returned; the
// values before it are logarithms already, those after it untouched.
std::optional<NonPositiveValue> take_logs(std::span<float> x, std::span<float> y);

}  // namespace vok
