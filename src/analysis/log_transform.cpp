#include "analysis/log_transform.h"

#include <cmath>

namespace vok {

std::optional<NonPositiveValue> take_logs(std::span<float> x, std::span<float> y) {
  for (std::size_t i = 0; i < x.size(); ++i) {
    for (const bool in_y : {false, true}) {
      float& v = in_y ? y[i] : x[i];
      if (v <= 0.0f) return NonPositiveValue{i, in_y, v};
      v = std::log(v);
    }
  }
  return std::nullopt;
}

}  // namespace vok
