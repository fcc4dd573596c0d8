// The statistics of short resamples, several at a time.
//
// A short resample (tens of values, a few lags) is a few thousand
// multiply-adds, and one resample on its own leaves most of a vector idle
// and waits on its own chains of additions. Here the resamples of a batch
// sit side by side, one per vector lane: every step (drawing the indices,
// gathering the values, the two standardisations, the lag sums and the
// statistics) is the one a single resample takes, done for all lanes at
// once, so each lane's numbers are bit for bit those of the resample taken
// alone (resample_statistics). The work storage is sized once; nothing is
// allocated or cleared per batch.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <span>

#include "frames/covxy.h"

namespace vok {

// The seven statistics of a resample in kTests order, each rounded to 32
// bits as the chi-square step takes it; all 0 for a degenerate resample.
using ResampleStatistics = std::array<float, kTestCount>;

// The most resamples a batch takes.
inline constexpr int kMaxBatchLanes = 16;

class ResampleBatch {
 public:
  // Frames of n values and L lags; requires fits(n, L). `lanes` picks the
  // instruction set by the batch it takes (16: AVX-512, 8: AVX2, 4: the
  // baseline, each two vectors wide; 0: the widest the processor offers);
  // the numbers are the same for all.
  explicit ResampleBatch(int n, int L, int lanes = 0);
  ~ResampleBatch();
  ResampleBatch(const ResampleBatch&) = delete;
  ResampleBatch& operator=(const ResampleBatch&) = delete;

  // Whether batches take frames of n values and L lags: L >= 1, n > 2L, and
  // n short enough that a batch stays in the first-level cache.
  static bool fits(int n, int L);
  // Whether the processor runs batches of this width.
  static bool lanes_available(int lanes);
  // Resamples per batch.
  int lanes() const { return lanes_; }

  // The statistics of `count` (1..lanes()) resamples from the N = x.size()
  // values of x and y: resample j (from 0) draws its 2n uniforms from stream
  // position first + 2nj on, n for the x indices and then n for the y
  // indices. Writes out[0..count-1].
  void statistics(std::span<const float> x, std::span<const float> y, std::uint64_t first,
                  int count, ResampleStatistics* out);

  struct Storage;

 private:
  int n_, L_, lanes_;
  std::unique_ptr<Storage> storage_;
};

}  // namespace vok
