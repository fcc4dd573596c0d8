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

}  // namespace

float UniformStream::at(std::uint64_t i) {
  const std::uint64_t z = mix(kSeed + (i + 1) * kGolden);
  // 24 bits fit a float's significand, so the product is exact.
  return static_cast<float>(z >> 40) * 0x1p-24f;
}

void UniformStream::fill(std::span<float> out) {
  for (float& u : out) u = at(position_++);
}

}  // namespace vok
