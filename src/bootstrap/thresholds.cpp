#include "bootstrap/thresholds.h"

namespace vok {

bool resamples_refused(int B, float alpha) {
  return B >= 1 && 1.0f / static_cast<float>(B) > alpha;
}

}  // namespace vok
