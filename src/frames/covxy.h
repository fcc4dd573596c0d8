// The seven portmanteau tests of one frame: correlation tests Cx, Cy, Cxy and
// bicorrelation tests Hxxx, Hyyy, Hxxy, Hyyx, returned as chi-square CDF
// values, with the cross-bicorrelation list and the cross-correlations.
//
// The work is split in two: covxy_sums forms every lag sum of the
// standardised frame, and covxy_finish turns those sums into the statistics,
// the list, the cross-correlations and the CDF values. covxy does both.
//
// The lag sums have two kernels with bit-identical results: the direct pass
// over the lag pairs (the reference, simple enough to check by eye) and the
// fast kernel of covxy_fast.h, which forms the same products and adds them in
// the same order, vectorised across lags.
#pragma once

#include <span>
#include <vector>

#include "stats/moments.h"
#include "vok/test_order.h"
#include "vok/vok.h"

namespace vok {

// Positions of the tests in arrays held in kTests order (the thresholds, the
// bootstrap's p-values and statistics).
inline constexpr std::size_t kHxxy = test_index(Test::hxxy), kHyyx = test_index(Test::hyyx),
                             kHxxx = test_index(Test::hxxx), kHyyy = test_index(Test::hyyy),
                             kCx = test_index(Test::cx), kCy = test_index(Test::cy),
                             kCxy = test_index(Test::cxy);

// The seven statistics before the chi-square step, as accumulated in double
// (the chi-square step takes each rounded to 32 bits), and their degrees of
// freedom.
struct FrameStatistics {
  double hxxx = 0.0, hyyy = 0.0, hxxy = 0.0, hyyx = 0.0, cx = 0.0, cy = 0.0, cxy = 0.0;
  int df_c = 0;     // Cx and Cy: L
  int df_cxy = 0;   // Cxy: 2L + 1 (the lag-0 product is not in the sum)
  int df_h = 0;     // Hxxx and Hyyy: L(L - 1)/2
  int df_list = 0;  // Hxxy and Hyyx: M = L(2L + 1)
};

struct FrameTests {
  PerTest<float> cdf;          // CDF values
  float sx = 0.0f, sy = 0.0f;  // standard deviations of x and y
  // True when x or y has no spread or holds a value that is not finite: every
  // CDF value, list value and cross-correlation is then 0.
  bool degenerate = false;
  // The statistics the CDF values come from (all 0 for a degenerate frame).
  FrameStatistics statistics{};
};

// Every lag sum of one frame, over the standardised values X and Y (products
// and sums in double). For a degenerate frame only n, L, sx, sy and the flag
// are set.
struct FrameSums {
  int n = 0;
  int L = 0;
  float sx = 0.0f, sy = 0.0f;
  bool degenerate = false;
  // Serial and cross sums A_x(r), A_y(r), B_xy(r), B_yx(r) at index r - 1.
  std::vector<double> ax, ay, bxy, byx;
  // Sum of X(t) Y(t) over t = 1..n (formed over 1..n - 1, then the last product).
  double xy0 = 0.0;
  // T_xxx(r, s) and T_yyy(r, s) for 1 <= s < r <= L, r by r, s rising within r.
  std::vector<double> txxx, tyyy;
  // T_xxy(r, s) and T_yyx(r, s) for the M = L(2L + 1) entries of the list, in
  // list order: for each r, s = 1..L, then s = 0, -1, ..., -L.
  std::vector<double> txxy, tyyx;
};

// Number of entries of the cross-bicorrelation list, L(2L + 1).
constexpr int list_length(int L) {
  return L * (2 * L + 1);
}

enum class SumsKernel { fast, reference };

// Where no kernel is named, the fast one is used; the console program runs
// the reference when told to (for benchmarks).

// Storage that covxy reuses from frame to frame: the lag sums, the
// standardised series and the fast kernel's scratch. A caller that runs
// many frames keeps one (one per thread) and nothing is allocated per frame.
struct CovxyWork {
  FrameSums sums;
  std::vector<double> X, Y;
  std::vector<double> scratch;
};

// Means and standard deviations (sigmn on x, then on y; its messages are
// raised on `diag`, an empty frame halts), then every lag sum by the direct
// pass.
FrameSums covxy_sums(std::span<const float> x, std::span<const float> y, int L, Messages& diag);
// The same with the lag sums formed by the given kernel.
FrameSums covxy_sums(std::span<const float> x, std::span<const float> y, int L, Messages& diag,
                     SumsKernel kernel);
// The same into work.sums, with the work's storage.
const FrameSums& covxy_sums(std::span<const float> x, std::span<const float> y, int L,
                            Messages& diag, SumsKernel kernel, CovxyWork& work);
// The same for a caller that has the moments of x and y as sigmn gives them.
const FrameSums& covxy_sums(std::span<const float> x, std::span<const float> y, const MeanSd& mx,
                            const MeanSd& my, int L, SumsKernel kernel, CovxyWork& work);

// The statistics of a frame's sums; all 0 for a degenerate frame. A term
// whose product count is not positive (n <= 2L, which callers must avoid)
// adds 0 rather than a quotient by 0.
FrameStatistics covxy_statistics(const FrameSums& sums);

// Fills the list, its lags and the cross-correlations, and calls cdchi for Cx,
// Cy, Cxy, Hxxx, Hyyy, Hxxy, Hyyx in that order (messages raised on `diag`). A
// degenerate frame gets its lags, zero values and zero CDF values.
FrameTests covxy_finish(const FrameSums& sums, std::span<float> xxy, std::span<float> yyx,
                        std::span<float> rxy, std::span<int> r_lags, std::span<int> s_lags,
                        Messages& diag);
// The same without the list: the tests, and the cross-correlations when rxy
// is not empty (2L + 1 values, lags -L..L).
FrameTests covxy_tests(const FrameSums& sums, std::span<float> rxy, Messages& diag);

// x and y hold the frame (n = x.size() = y.size() > 2L values each), L >= 1.
// Outputs (caller-owned): xxy, yyx, r_lags, s_lags of length M = L(2L + 1);
// rxy of length 2L + 1 holding lags -L..L. Messages of the moments and
// chi-square routines are raised on `diag`. The lag sums come from the kernel
// named.
FrameTests covxy(std::span<const float> x, std::span<const float> y, int L, std::span<float> xxy,
                 std::span<float> yyx, std::span<float> rxy, std::span<int> r_lags,
                 std::span<int> s_lags, Messages& diag, SumsKernel kernel = SumsKernel::fast);
// The same with the caller's work storage, reused from call to call.
FrameTests covxy(std::span<const float> x, std::span<const float> y, int L, std::span<float> xxy,
                 std::span<float> yyx, std::span<float> rxy, std::span<int> r_lags,
                 std::span<int> s_lags, Messages& diag, CovxyWork& work,
                 SumsKernel kernel = SumsKernel::fast);
// The tests (and the cross-correlations when rxy is not empty) without the
// list, for callers that need no more: the frames of a run, the resamples.
FrameTests covxy_tests(std::span<const float> x, std::span<const float> y, int L,
                       std::span<float> rxy, Messages& diag, CovxyWork& work,
                       SumsKernel kernel = SumsKernel::fast);

// The tests of a frame whose x or y holds one value: a degenerate frame
// (every CDF value, statistic and cross-correlation 0) with sx and sy as the
// moments routine gives them, however the rounding of its mean falls.
FrameTests constant_frame_tests(std::span<const float> x, std::span<const float> y, int L,
                                std::span<float> rxy, Messages& diag);

}  // namespace vok
