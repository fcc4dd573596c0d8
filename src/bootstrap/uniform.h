// The uniform random stream of the bootstrap: 32-bit reals on [0, 1) from a
// counter-based generator with a fixed seed, identical on every machine. The
// stream continues across the runs of one execution; number i of the stream
// can be computed directly, so a resample can draw its own block of the
// stream in any order (or on any thread) with the same result.
#pragma once

#include <cstdint>
#include <span>

namespace vok {

class UniformStream {
 public:
  // Uniform number i (0-based) of the stream.
  static float at(std::uint64_t i);
  // Fills `out` with the next out.size() numbers and advances the position.
  void fill(std::span<float> out);
  // Position of the next number to be drawn.
  std::uint64_t position() const { return position_; }
  void advance(std::uint64_t count) { position_ += count; }

 private:
  std::uint64_t position_ = 0;
};

}  // namespace vok
