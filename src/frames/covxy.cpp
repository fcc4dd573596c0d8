#include "frames/covxy.h"

#include <algorithm>
#include <atomic>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <limits>

#include "frames/covxy_fast.h"
#include "stats/chisq.h"
#include "stats/moments.h"

namespace vok {
namespace {

// Standardised values (v - mean) * (1/sd), each formed as a 32-bit real and
// then held in double for the products. False when the series has no spread
// or a value, a moment or a standardised value is not finite.
bool standardise(std::span<const float> v, const MeanSd& moments, std::vector<double>& out) {
  if (!std::isfinite(moments.mean) || !std::isfinite(moments.sd) || !(moments.sd > 0.0f))
    return false;
  const float scale = 1.0f / moments.sd;
  if (!std::isfinite(scale)) return false;
  out.resize(v.size());
  const float mean = moments.mean;
  // Every value is formed, and tested after, so that the loop runs several
  // values side by side; the values of a series that fails are not used.
  const float* in = v.data();
  double* values = out.data();
  int not_finite = 0;
  for (std::size_t t = 0; t < v.size(); ++t) {
    const float z = (in[t] - mean) * scale;
    values[t] = z;
    not_finite |= !(std::fabs(z) <= std::numeric_limits<float>::max());
  }
  return not_finite == 0;
}

struct TripleSums {
  double xxx = 0.0, yyy = 0.0, xxy = 0.0, yyx = 0.0;
};
struct PairSums {
  double ax = 0.0, ay = 0.0, bxy = 0.0, byx = 0.0, xy0 = 0.0;
};

// One forward pass for the lag pair (r, s), s >= 1, over t = 1..count (0-based
// here). The serial triple sums are needed only for s < r; the correlation
// sums ride along in the pass with s = 1, the lag-0 cross sum in the pass with
// r = s = 1.
template <bool kSerial, bool kPairs, bool kLagZero>
void forward_pass(const double* X, const double* Y, int r, int s, int count, TripleSums& tri,
                  PairSums& pairs) {
  TripleSums a;
  PairSums b;
  for (int t = 0; t < count; ++t) {
    const double xx = X[t] * X[t + r];
    const double yy = Y[t] * Y[t + r];
    if constexpr (kSerial) {
      a.xxx += xx * X[t + s];
      a.yyy += yy * Y[t + s];
    }
    a.xxy += xx * Y[t + s];
    a.yyx += yy * X[t + s];
    if constexpr (kPairs) {
      b.ax += xx;
      b.ay += yy;
      b.bxy += X[t] * Y[t + r];
      b.byx += Y[t] * X[t + r];
    }
    if constexpr (kLagZero) b.xy0 += X[t] * Y[t];
  }
  tri = a;
  if constexpr (kPairs) pairs = b;
}

// A squared sum over its product count; an empty pair (n <= 2L) adds nothing.
double term(double sum, int count) {
  return count > 0 ? sum * sum / count : 0.0;
}

}  // namespace

FrameSums covxy_sums(std::span<const float> x, std::span<const float> y, int L, Messages& diag) {
  return covxy_sums(x, y, L, diag, SumsKernel::reference);
}

FrameSums covxy_sums(std::span<const float> x, std::span<const float> y, int L, Messages& diag,
                     SumsKernel kernel) {
  CovxyWork work;
  covxy_sums(x, y, L, diag, kernel, work);
  return std::move(work.sums);
}

const FrameSums& covxy_sums(std::span<const float> x, std::span<const float> y, int L,
                            Messages& diag, SumsKernel kernel, CovxyWork& work) {
  assert(x.size() == y.size());
  const auto [mx, my] = sigmn(x, y, diag);
  return covxy_sums(x, y, mx, my, L, kernel, work);
}

const FrameSums& covxy_sums(std::span<const float> x, std::span<const float> y, const MeanSd& mx,
                            const MeanSd& my, int L, SumsKernel kernel, CovxyWork& work) {
  assert(x.size() == y.size());
  FrameSums& sums = work.sums;
  const int n = static_cast<int>(x.size());
  sums.n = n;
  sums.L = L;
  sums.xy0 = 0.0;
  sums.sx = mx.sd;
  sums.sy = my.sd;

  std::vector<double>& X = work.X;
  std::vector<double>& Y = work.Y;
  sums.degenerate = !standardise(x, mx, X) || !standardise(y, my, Y);
  if (sums.degenerate) {
    for (auto* v :
         {&sums.ax, &sums.ay, &sums.bxy, &sums.byx, &sums.txxx, &sums.tyyy, &sums.txxy, &sums.tyyx})
      v->clear();
    return sums;
  }

  // Both kernels write every sum, so the storage is only sized here.
  const auto lags = static_cast<std::size_t>(std::max(L, 0));
  sums.ax.resize(lags);
  sums.ay.resize(lags);
  sums.bxy.resize(lags);
  sums.byx.resize(lags);
  sums.txxx.resize(lags * (lags - (lags > 0)) / 2);
  sums.tyyy.resize(sums.txxx.size());
  sums.txxy.resize(static_cast<std::size_t>(list_length(std::max(L, 0))));
  sums.tyyx.resize(sums.txxy.size());

  if (kernel == SumsKernel::fast) {
    fast_lag_sums(X, Y, sums, work.scratch);
    return sums;
  }

  const double* px = X.data();
  const double* py = Y.data();
  std::size_t serial = 0;
  std::size_t entry = 0;
  double xy0 = 0.0;
  for (int r = 1; r <= L; ++r) {
    // Forward pairs (r, s), s = 1..L.
    for (int s = 1; s <= L; ++s) {
      const int count = n - std::max(r, s);
      TripleSums tri;
      PairSums pairs;
      if (s == 1 && r == 1)
        forward_pass<false, true, true>(px, py, r, s, count, tri, pairs);
      else if (s == 1)
        forward_pass<true, true, false>(px, py, r, s, count, tri, pairs);
      else if (s < r)
        forward_pass<true, false, false>(px, py, r, s, count, tri, pairs);
      else
        forward_pass<false, false, false>(px, py, r, s, count, tri, pairs);
      if (s == 1) {
        sums.ax[r - 1] = pairs.ax;
        sums.ay[r - 1] = pairs.ay;
        sums.bxy[r - 1] = pairs.bxy;
        sums.byx[r - 1] = pairs.byx;
        if (r == 1) xy0 = pairs.xy0;
      }
      if (s < r) {
        sums.txxx[serial] = tri.xxx;
        sums.tyyy[serial] = tri.yyy;
        ++serial;
      }
      sums.txxy[entry] = tri.xxy;
      sums.tyyx[entry] = tri.yyx;
      ++entry;
    }
    // Backward pairs (r, -k), k = 0..L, counted from the earliest index u:
    // T_xxy(r, -k) = sum Y(u) X(u + k) X(u + k + r), and T_yyx likewise.
    for (int k = 0; k <= L; ++k) {
      const int count = n - r - k;
      double xxy = 0.0;
      double yyx = 0.0;
      for (int u = 0; u < count; ++u) {
        xxy += py[u] * px[u + k] * px[u + k + r];
        yyx += px[u] * py[u + k] * py[u + k + r];
      }
      sums.txxy[entry] = xxy;
      sums.tyyx[entry] = yyx;
      ++entry;
    }
  }
  // The lag-0 cross sum rode along over t = 1..n - 1; the last product is
  // added here. Without a pass (L < 1) it is formed on its own, in the same order.
  if (L < 1)
    for (int t = 0; t < n - 1; ++t) xy0 += px[t] * py[t];
  if (n >= 1) xy0 += px[n - 1] * py[n - 1];
  sums.xy0 = xy0;
  return sums;
}

namespace {

// Four doubles side by side (unaligned loads and stores through Quad4U).
typedef double Quad4 __attribute__((vector_size(32)));
typedef double Quad4U __attribute__((vector_size(32), aligned(8), may_alias));

// Terms of a run of entries in blocks of this many: the quotients of a block
// are formed four at a time (the divisions are the costly part), then added
// one by one in entry order.
constexpr int kTermBlock = 64;

// Adds, in order, term(a[i], count(i)) onto sum_a and term(b[i], count(i))
// onto sum_b for the `length` entries i of a run, where count(i) =
// n - max(r, i + offset): the product counts of one lag r's serial pairs
// (offset 0: n - r), forward pairs (offset 1: s = i + 1) and backward pairs
// (offset r: s = -i). Counts are small integers, exact in double. Compiled
// twice, for processors that divide four doubles at once and for the others.
__attribute__((target_clones("arch=x86-64-v3", "default"))) void add_terms(
    const double* a, const double* b, int length, int n, int r, int offset, double& sum_a,
    double& sum_b) {
  const double nd = n, rd = r;
  double terms_a[kTermBlock], terms_b[kTermBlock];
  for (int first = 0; first < length; first += kTermBlock) {
    const int block = std::min(kTermBlock, length - first);
    int i = 0;
    for (; i + 4 <= block; i += 4) {
      const double at = first + i + offset;
      const Quad4 position = {at, at + 1.0, at + 2.0, at + 3.0};
      const Quad4 count = nd - (position > rd ? position : rd);
      // A count that is not positive adds 0, as term() does; its lane
      // divides by 1 so that nothing divides by 0.
      const auto positive = count > 0.0;
      const Quad4 divisor = positive ? count : 1.0;
      const Quad4 va = *reinterpret_cast<const Quad4U*>(a + first + i);
      const Quad4 vb = *reinterpret_cast<const Quad4U*>(b + first + i);
      const Quad4 qa = va * va / divisor;
      const Quad4 qb = vb * vb / divisor;
      *reinterpret_cast<Quad4U*>(terms_a + i) = positive ? qa : 0.0;
      *reinterpret_cast<Quad4U*>(terms_b + i) = positive ? qb : 0.0;
    }
    for (; i < block; ++i) {
      const int count = n - std::max(r, first + i + offset);
      terms_a[i] = term(a[first + i], count);
      terms_b[i] = term(b[first + i], count);
    }
    double running_a = sum_a, running_b = sum_b;
    for (i = 0; i < block; ++i) {
      running_a += terms_a[i];
      running_b += terms_b[i];
    }
    sum_a = running_a;
    sum_b = running_b;
  }
}

}  // namespace

FrameStatistics covxy_statistics(const FrameSums& sums) {
  FrameStatistics st;
  const int n = sums.n;
  const int L = std::max(sums.L, 0);
  st.df_c = L;
  st.df_cxy = 2 * L + 1;
  st.df_h = L * (L - 1) / 2;
  st.df_list = list_length(L);
  if (sums.degenerate) return st;

  // Each statistic is accumulated in the order of the pass: r by r, and
  // within r the forward pairs before the backward ones. The product count of
  // the pair (r, s) is n - max(r, s) forward (s >= 1) and n - r - k backward
  // (s = -k).
  std::size_t serial = 0;
  std::size_t entry = 0;
  for (int r = 1; r <= L; ++r) {
    st.cx += term(sums.ax[r - 1], n - r);
    st.cy += term(sums.ay[r - 1], n - r);
    add_terms(sums.txxx.data() + serial, sums.tyyy.data() + serial, r - 1, n, r, 0, st.hxxx,
              st.hyyy);
    serial += static_cast<std::size_t>(r - 1);
    add_terms(sums.txxy.data() + entry, sums.tyyx.data() + entry, L, n, r, 1, st.hxxy, st.hyyx);
    entry += static_cast<std::size_t>(L);
    add_terms(sums.txxy.data() + entry, sums.tyyx.data() + entry, L + 1, n, r, r, st.hxxy,
              st.hyyx);
    entry += static_cast<std::size_t>(L) + 1;
    const double bxy = sums.bxy[r - 1];
    const double byx = sums.byx[r - 1];
    if (n - r > 0) st.cxy += (bxy * bxy + byx * byx) / (n - r);
  }
  return st;
}

FrameTests covxy_finish(const FrameSums& sums, std::span<float> xxy, std::span<float> yyx,
                        std::span<float> rxy, std::span<int> r_lags, std::span<int> s_lags,
                        Messages& diag) {
  const int n = sums.n;
  const int L = std::max(sums.L, 0);
  const auto entries = static_cast<std::size_t>(list_length(L));
  assert(xxy.size() >= entries && yyx.size() >= entries && r_lags.size() >= entries &&
         s_lags.size() >= entries && rxy.size() >= static_cast<std::size_t>(2 * L + 1));

  std::size_t entry = 0;
  for (int r = 1; r <= L; ++r) {
    for (int s = 1; s <= L; ++s, ++entry) {
      r_lags[entry] = r;
      s_lags[entry] = s;
    }
    for (int k = 0; k <= L; ++k, ++entry) {
      r_lags[entry] = r;
      s_lags[entry] = -k;
    }
  }

  if (sums.degenerate) {
    std::fill_n(xxy.begin(), entries, 0.0f);
    std::fill_n(yyx.begin(), entries, 0.0f);
  } else {
    // The bicorrelations divide by the frame length.
    for (std::size_t m = 0; m < entries; ++m) {
      xxy[m] = static_cast<float>(sums.txxy[m] / n);
      yyx[m] = static_cast<float>(sums.tyyx[m] / n);
    }
  }
  return covxy_tests(sums, rxy, diag);
}

FrameTests covxy_tests(const FrameSums& sums, std::span<float> rxy, Messages& diag) {
  const int n = sums.n;
  const int L = std::max(sums.L, 0);
  assert(rxy.empty() || rxy.size() >= static_cast<std::size_t>(2 * L + 1));

  FrameTests tests;
  tests.sx = sums.sx;
  tests.sy = sums.sy;
  tests.degenerate = sums.degenerate;

  if (sums.degenerate) {
    if (!rxy.empty()) std::fill_n(rxy.begin(), 2 * L + 1, 0.0f);
    tests.statistics = covxy_statistics(sums);
    return tests;
  }

  // The cross-correlations divide by their own product counts.
  if (!rxy.empty()) {
    float* lag = rxy.data() + L;  // lag[s] is rxy(s), s = -L..L
    for (int r = 1; r <= L; ++r) {
      const int count = n - r;
      lag[-r] = count > 0 ? static_cast<float>(sums.bxy[r - 1] / count) : 0.0f;
      lag[r] = count > 0 ? static_cast<float>(sums.byx[r - 1] / count) : 0.0f;
    }
    lag[0] = static_cast<float>(sums.xy0 / n);
  }

  const FrameStatistics& st = tests.statistics = covxy_statistics(sums);
  auto cdf = [&](double statistic, int df, float& p) {
    cdchi(static_cast<float>(statistic), static_cast<float>(df), p, diag);
  };
  cdf(st.cx, st.df_c, tests.cdf.cx);
  cdf(st.cy, st.df_c, tests.cdf.cy);
  cdf(st.cxy, st.df_cxy, tests.cdf.cxy);
  cdf(st.hxxx, st.df_h, tests.cdf.hxxx);
  cdf(st.hyyy, st.df_h, tests.cdf.hyyy);
  cdf(st.hxxy, st.df_list, tests.cdf.hxxy);
  cdf(st.hyyx, st.df_list, tests.cdf.hyyx);
  return tests;
}

FrameTests covxy(std::span<const float> x, std::span<const float> y, int L, std::span<float> xxy,
                 std::span<float> yyx, std::span<float> rxy, std::span<int> r_lags,
                 std::span<int> s_lags, Messages& diag, SumsKernel kernel) {
  CovxyWork work;
  return covxy_finish(covxy_sums(x, y, L, diag, kernel, work), xxy, yyx, rxy, r_lags, s_lags, diag);
}

FrameTests covxy(std::span<const float> x, std::span<const float> y, int L, std::span<float> xxy,
                 std::span<float> yyx, std::span<float> rxy, std::span<int> r_lags,
                 std::span<int> s_lags, Messages& diag, CovxyWork& work, SumsKernel kernel) {
  return covxy_finish(covxy_sums(x, y, L, diag, kernel, work), xxy, yyx, rxy, r_lags, s_lags, diag);
}

FrameTests covxy_tests(std::span<const float> x, std::span<const float> y, int L,
                       std::span<float> rxy, Messages& diag, CovxyWork& work,
                       SumsKernel kernel) {
  return covxy_tests(covxy_sums(x, y, L, diag, kernel, work), rxy, diag);
}

FrameTests constant_frame_tests(std::span<const float> x, std::span<const float> y, int L,
                                std::span<float> rxy, Messages& diag) {
  assert(x.size() == y.size());
  const auto [mx, my] = sigmn(x, y, diag);
  FrameSums sums;
  sums.n = static_cast<int>(x.size());
  sums.L = L;
  sums.sx = mx.sd;
  sums.sy = my.sd;
  sums.degenerate = true;
  return covxy_tests(sums, rxy, diag);
}

}  // namespace vok
