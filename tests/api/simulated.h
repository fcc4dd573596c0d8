// Simulated series for the tests of what an analysis says across its
// frames, from the library's own uniform stream (the same on every machine).
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

#include "bootstrap/uniform.h"

namespace vok::test {

// Normal values from the uniform stream (Box-Muller), from position `at`.
inline std::vector<float> normals(std::size_t n, std::uint64_t at) {
  std::vector<float> out;
  while (out.size() < n) {
    const double u1 = (UniformStream::bits(at++) + 0.5) * 0x1p-24;
    const double u2 = UniformStream::at(at++);
    out.push_back(
        static_cast<float>(std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2)));
  }
  return out;
}

// GARCH(1,1): e(t) = sqrt(h(t)) z(t), h(t) = 0.05 + 0.1 e(t-1)^2 + 0.85 h(t-1).
inline std::vector<float> garch(std::size_t n, std::uint64_t at) {
  const std::vector<float> z = normals(n + 500, at);
  std::vector<float> out;
  double h = 1.0, e = 0.0;
  for (std::size_t t = 0; t < z.size(); ++t) {
    h = 0.05 + 0.1 * e * e + 0.85 * h;
    e = std::sqrt(h) * z[t];
    if (t >= 500) out.push_back(static_cast<float>(e));
  }
  return out;
}

}  // namespace vok::test
