#include "bootstrap/uniform.h"

namespace vok {

namespace {

// The inverse of kGolden modulo 2^64 (Newton's iteration doubles the
// correct low bits at each step: 3, 6, 12, 24, 48, 96).
constexpr std::uint64_t inverse(std::uint64_t a) {
  std::uint64_t x = a;
  for (int i = 0; i < 5; ++i) x *= 2 - a * x;
  return x;
}
constexpr std::uint64_t kGoldenInverse = inverse(UniformStream::kGolden);
static_assert(UniformStream::kGolden * kGoldenInverse == 1);

}  // namespace

UniformStream::UniformStream(std::uint64_t seed) : position_(seed * kGoldenInverse) {}

void UniformStream::fill(std::span<float> out) {
  for (float& u : out) u = at(position_++);
}

}  // namespace vok
