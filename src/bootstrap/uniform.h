// The uniform random stream of the bootstrap: 32-bit reals on [0, 1) from a
// counter-based generator with a fixed seed, identical on every machine. The
// stream continues across the runs of one execution; number i of the stream
// can be computed directly, so a resample can draw its own block of the
// stream in any order (or on any thread) with the same result.
//
// The generator, so that anyone can reproduce the numbers:
//
//   seed  = 0
//   z     = seed + (i + 1) * 0x9E3779B97F4A7C15          (mod 2^64)
//   z     = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9         (mod 2^64)
//   z     = (z ^ (z >> 27)) * 0x94D049BB133111EB         (mod 2^64)
//   z     = z ^ (z >> 31)
//   u(i)  = (z >> 40) * 2^-24
//
// that is, output i (from 0) of the SplitMix64 generator started from state
// 0, keeping its top 24 bits. Every u is a multiple of 2^-24 and therefore an
// exact 32-bit real with 0 <= u <= 1 - 2^-24. The first numbers of the stream
// are 14819496, 7239838, 443485 and 16288696 times 2^-24 (the first
// SplitMix64 output from state 0 is 0xE220A8397B1DCDAF).
//
// Another seed s gives z = s + (i + 1) * 0x9E3779B97F4A7C15 in place of the
// first line. As the multiplier is odd, that is the seed-0 stream read from
// position s / 0x9E3779B97F4A7C15 (mod 2^64) on: a seeded stream simply
// starts elsewhere in the one stream.
#pragma once

#include <cstdint>
#include <span>

namespace vok {

class UniformStream {
 public:
  // The generator's seed and counter step (see above).
  static constexpr std::uint64_t kSeed = 0;
  static constexpr std::uint64_t kGolden = 0x9E3779B97F4A7C15ULL;

  // The stream of the given seed, at its first number.
  explicit UniformStream(std::uint64_t seed = 0);
  // Uniform number i (0-based) of the stream: bits(i) 2^-24 (24 bits fit a
  // float's significand, so the product is exact).
  static float at(std::uint64_t i) { return static_cast<float>(bits(i)) * 0x1p-24f; }
  // The 24-bit integer m of number i, which is m 2^-24: the top bits of the
  // SplitMix64 finaliser, a bijection of the 64-bit counter whose outputs
  // pass the usual statistical batteries.
  static std::uint32_t bits(std::uint64_t i) {
    std::uint64_t z = kSeed + (i + 1) * kGolden;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z = z ^ (z >> 31);
    return static_cast<std::uint32_t>(z >> 40);
  }
  // Fills `out` with the next out.size() numbers and advances the position.
  void fill(std::span<float> out);
  // Position of the next number to be drawn.
  std::uint64_t position() const { return position_; }
  void advance(std::uint64_t count) { position_ += count; }

 private:
  std::uint64_t position_ = 0;
};

}  // namespace vok
