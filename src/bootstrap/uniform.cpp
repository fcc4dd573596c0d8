#include "bootstrap/uniform.h"

namespace vok {

namespace {

constexpr std::uint64_t kSeed = 0;
constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15ULL;

// The SplitMix64 finaliser: a bijection of the 64-bit counter whose outputs
// pass the usual statistical batteries.
constexpr std::uint64_t mix(std::uint64_t z) {
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
  return z ^ (z >> 31);
}

// The inverse of kGolden modulo 2^64 (Newton's iteration doubles the
// correct low bits at each step: 3, 6, 12, 24, 48, 96).
constexpr std::uint64_t inverse(std::uint64_t a) {
  std::uint64_t x = a;
  for (int i = 0; i < 5; ++i) x *= 2 - a * x;
  return x;
}
constexpr std::uint64_t kGoldenInverse = inverse(kGolden);
static_assert(kGolden * kGoldenInverse == 1);

}  // namespace

UniformStream::UniformStream(std::uint64_t seed) : position_(seed * kGoldenInverse) {}

float UniformStream::at(std::uint64_t i) {
  const std::uint64_t z = mix(kSeed + (i + 1) * kGolden);
  // 24 bits fit a float's significand, so the product is exact.
  return static_cast<float>(z >> 40) * 0x1p-24f;
}

void UniformStream::fill(std::span<float> out) {
  for (float& u : out) u = at(position_++);
}

}  // namespace vok
