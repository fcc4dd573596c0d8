#include "bootstrap/resample_batch.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>

#include "bootstrap/uniform.h"

// The vector helpers below return vectors wider than the baseline ABI passes
// in registers. They are always inlined into the kernel of one instruction
// set, so no call ever crosses that ABI.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace vok {

namespace {

// W lanes of each kind; lane j belongs to resample j of the batch.
template <int W>
struct Lanes {
  typedef double D __attribute__((vector_size(8 * W)));
  typedef float F __attribute__((vector_size(4 * W)));
  typedef std::uint64_t U __attribute__((vector_size(8 * W)));
  typedef std::int32_t Mask __attribute__((vector_size(4 * W)));  // of float comparisons
};

// The widest batch, and the most sums a window keeps in registers per series.
constexpr int kMaxLanes = 8;
constexpr int kMaxWindow = 12;
// Sums a window holds in registers per series: two series' sums and their
// operands fill AVX-512's 32 vector registers at 12, the 16 of the others at 6.
template <int W>
constexpr int window_limit = W == 8 ? kMaxWindow : 6;
// The most lags and values of a batched resample: beyond them a resample's
// sums no longer fit the first-level cache alongside those of its lanes, and
// one resample alone fills the vectors well.
constexpr int kMaxBatchLags = 16;
constexpr int kMaxBatchValues = 256;

}  // namespace

// Rows of kMaxLanes values, each row one time step of every lane (only the
// first lanes() of a row are used). Padded series hold L zero rows before and
// after the n values, written once here, so that every shifted sum runs over
// the whole product series (see lag_sums below).
struct ResampleBatch::Storage {
  Storage(int n, int L)
      : n(n), rows(static_cast<std::size_t>(n) + 2 * static_cast<std::size_t>(L) + kMaxWindow),
        buffer(static_cast<double*>(::operator new(
            sizeof(double) * kMaxLanes * (4 * rows + 2 * static_cast<std::size_t>(n)),
            std::align_val_t(64)))) {
    std::memset(buffer, 0,
                sizeof(double) * kMaxLanes * (4 * rows + 2 * static_cast<std::size_t>(n)));
  }
  ~Storage() { ::operator delete(buffer, std::align_val_t(64)); }
  double* X() const { return buffer; }
  double* Y() const { return buffer + kMaxLanes * rows; }
  double* P() const { return buffer + 2 * kMaxLanes * rows; }
  double* Q() const { return buffer + 3 * kMaxLanes * rows; }
  // The gathered values as 32-bit reals, x then y, n rows each.
  float* values() const { return reinterpret_cast<float*>(buffer + 4 * kMaxLanes * rows); }
  // The 0-based indices drawn for them, in the same rows.
  std::int32_t* indices() const {
    return reinterpret_cast<std::int32_t*>(buffer + 4 * kMaxLanes * rows) + 2 * kMaxLanes * n;
  }

  std::size_t n, rows;
  double* buffer;
};

namespace {

template <int W>
using D = typename Lanes<W>::D;
template <int W>
using F = typename Lanes<W>::F;

template <int W>
[[gnu::always_inline]] inline D<W> load(const double* p) {
  D<W> v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <int W>
[[gnu::always_inline]] inline void store(double* p, D<W> v) {
  std::memcpy(p, &v, sizeof v);
}
template <int W>
[[gnu::always_inline]] inline F<W> loadf(const float* p) {
  F<W> v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <int W>
[[gnu::always_inline]] inline void storef(float* p, F<W> v) {
  std::memcpy(p, &v, sizeof v);
}
template <int W>
[[gnu::always_inline]] inline D<W> widen(F<W> v) {
  return __builtin_convertvector(v, D<W>);
}

// The front of a batch works on both series at once: a row holds the x
// values of every lane, then their y values (V = 2W values), so each step
// is one vector operation for both series, and each lane of a row is a
// series of its own.

// The stream indices of every row: lane v draws its n uniforms from first[v]
// on, 0-based indices into rows of `index`. Number i of the stream is
// UniformStream::bits(i) 2^-24 and its index floor(N u); the counter times
// the generator's odd constant is carried from one step to the next by an
// addition.
template <int V>
[[gnu::always_inline]] inline void draw_indices(int N, typename Lanes<V>::U first, int n,
                                                std::int32_t* index) {
  using U = typename Lanes<V>::U;
  using I = typename Lanes<V>::Mask;
  U z0 = (first + 1) * UniformStream::kGolden;
  const U count = U{} + static_cast<std::uint64_t>(N);
  for (int t = 0; t < n; ++t) {
    U z = z0;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    z = z ^ (z >> 31);
    const I k = __builtin_convertvector((count * (z >> 40)) >> 24, I);
    std::memcpy(index + static_cast<std::size_t>(t) * V, &k, sizeof k);
    z0 += UniformStream::kGolden;
  }
}

// The values of the drawn indices, x from the first W lanes of each row and
// y from the others, one plain load each; then the plain sums per lane, each
// added in rising order from 0.0 as sigmn's first pass adds them (a pass of
// its own: a vector load right after the single stores would wait for them).
template <int W>
[[gnu::always_inline]] inline D<2 * W> gather(const float* x, const float* y,
                                              const std::int32_t* index, int n, float* values) {
  for (int t = 0; t < n; ++t) {
    const std::size_t row = static_cast<std::size_t>(t) * 2 * W;
    for (int j = 0; j < W; ++j) values[row + j] = x[index[row + j]];
    for (int j = W; j < 2 * W; ++j) values[row + j] = y[index[row + j]];
  }
  D<2 * W> sum = {};
  for (int t = 0; t < n; ++t)
    sum += widen<2 * W>(loadf<2 * W>(values + static_cast<std::size_t>(t) * 2 * W));
  return sum;
}

// sigmn's moments of every lane's series, from the plain sums of its first
// pass: mean and standard deviation (divisor n - 1), as sigmn forms them.
template <int V>
struct Moments {
  F<V> mean, sd;
};
template <int V>
[[gnu::always_inline]] inline Moments<V> moments(const float* values, D<V> sum, int n) {
  const D<V> mean = sum / static_cast<double>(n);
  D<V> s1 = {}, s2 = {};
  for (int t = 0; t < n; ++t) {
    const D<V> d = widen<V>(loadf<V>(values + static_cast<std::size_t>(t) * V)) - mean;
    s1 += d;
    s2 += d * d;
  }
  const D<V> variance = (s2 - s1 * s1 / static_cast<double>(n)) / static_cast<double>(n - 1);
  // Square roots two lanes at a time (an instruction every x86-64 has, and
  // the correctly rounded root like std::sqrt); a negative variance gives 0.
  typedef double Pair __attribute__((vector_size(16)));
  Pair parts[V / 2];
  std::memcpy(parts, &variance, sizeof parts);
  for (Pair& p : parts) p = __builtin_ia32_sqrtpd(p);
  D<V> root;
  std::memcpy(&root, parts, sizeof root);
  Moments<V> out;
  out.mean = __builtin_convertvector(mean, F<V>);
  out.sd = __builtin_convertvector(variance < 0.0 ? D<V>{} : root, F<V>);
  return out;
}

// Replaces each value by (value - mean) / standard deviation and returns the
// plain sums of the new values, as the resample's standardisation does.
template <int V>
[[gnu::always_inline]] inline D<V> standardise(float* values, const Moments<V>& m, int n) {
  D<V> sum = {};
  for (int t = 0; t < n; ++t) {
    float* row = values + static_cast<std::size_t>(t) * V;
    const F<V> z = (loadf<V>(row) - m.mean) / m.sd;
    storef<V>(row, z);
    sum += widen<V>(z);
  }
  return sum;
}

// The tests' own standardisation: (value - mean) * (1 / sd) as 32-bit reals,
// held in double in the padded series X (the first W lanes of each row) and Y
// (the others). The mask is true in the lanes whose moments, scale and values
// are all finite with a positive spread (the others are degenerate frames).
template <int W>
[[gnu::always_inline]] inline typename Lanes<2 * W>::Mask standardise_for_tests(
    const float* values, const Moments<2 * W>& m, int n, double* X, double* Y) {
  using Mask = typename Lanes<2 * W>::Mask;
  const F<2 * W> scale = 1.0f / m.sd;
  Mask ok = (m.mean - m.mean == 0.0f) & (m.sd - m.sd == 0.0f) & (m.sd > 0.0f) &
            (scale - scale == 0.0f);
  for (int t = 0; t < n; ++t) {
    const F<2 * W> z =
        (loadf<2 * W>(values + static_cast<std::size_t>(t) * 2 * W) - m.mean) * scale;
    ok &= (z - z == 0.0f);
    const D<2 * W> wide = widen<2 * W>(z);
    std::memcpy(X + static_cast<std::size_t>(t) * W, &wide, sizeof(double) * W);
    std::memcpy(Y + static_cast<std::size_t>(t) * W, reinterpret_cast<const double*>(&wide) + W,
                sizeof(double) * W);
  }
  return ok;
}

// out1[g] = sum over t < m of A1(t) B1(t + g), and out2 likewise, g < G:
// 2G sums side by side in registers, each added one product after another in
// rising t from 0.0.
template <int W, int G>
[[gnu::always_inline]] inline void window(const double* A1, const double* B1, const double* A2,
                                          const double* B2, int m, D<W>* out1, D<W>* out2) {
  D<W> acc1[G], acc2[G];
#pragma GCC unroll 16
  for (int g = 0; g < G; ++g) acc1[g] = acc2[g] = D<W>{};
  for (int t = 0; t < m; ++t) {
    const D<W> a1 = load<W>(A1 + static_cast<std::size_t>(t) * W);
    const D<W> a2 = load<W>(A2 + static_cast<std::size_t>(t) * W);
#pragma GCC unroll 16
    for (int g = 0; g < G; ++g) {
      acc1[g] += a1 * load<W>(B1 + static_cast<std::size_t>(t + g) * W);
      acc2[g] += a2 * load<W>(B2 + static_cast<std::size_t>(t + g) * W);
    }
  }
#pragma GCC unroll 16
  for (int g = 0; g < G; ++g) {
    out1[g] = acc1[g];
    out2[g] = acc2[g];
  }
}

// window() with the window width chosen at run time (1..window_limit).
template <int W, int G = 1>
[[gnu::always_inline]] inline void window_of(int width, const double* A1, const double* B1,
                                             const double* A2, const double* B2, int m,
                                             D<W>* out1, D<W>* out2) {
  if constexpr (G < window_limit<W>) {
    if (width != G) return window_of<W, G + 1>(width, A1, B1, A2, B2, m, out1, out2);
  }
  window<W, G>(A1, B1, A2, B2, m, out1, out2);
}

// sums of `count` shifts from shift `first` on, in windows of at most
// window_limit: out1[i] = sum_t A1(t) B1(t + first + i), and out2 likewise.
template <int W>
[[gnu::always_inline]] inline void shifted_sums(const double* A1, const double* B1,
                                                const double* A2, const double* B2, int m,
                                                int count, D<W>* out1, D<W>* out2) {
  const int windows = (count + window_limit<W> - 1) / window_limit<W>;
  for (int done = 0, w = 0; w < windows; ++w) {
    const int width = (count - done + (windows - w) - 1) / (windows - w);
    const std::size_t shift = static_cast<std::size_t>(done) * W;
    window_of<W>(width, A1, B1 + shift, A2, B2 + shift, m, out1 + done, out2 + done);
    done += width;
  }
}

// The statistics of a batch: the steps of resample_statistics, lane by lane.
//
// For the first lag r, every sum of the list and of the serial tests is a sum
// over t < n - r of a product series, P(t) = X(t) X(t + r) or Q(t) = Y(t)
// Y(t + r), times a shifted series: T_xxy(r, s) = sum P(t) Y(t + s) for s =
// -L..L. With the series padded by zeros, each sum runs over every t; the
// extra products are exact zeros, which leave a sum unchanged (a sum of +0.0
// stays +0.0), so each sum is the direct pass's. A product of two
// standardised 32-bit values is exact in double, so each triple product is
// the one rounding of the exact product whichever pair is formed first.
template <int W>
[[gnu::always_inline]] inline void batch_statistics(const float* x, const float* y, int N, int n,
                                                    int L, std::uint64_t first,
                                                    const ResampleBatch::Storage& s, int count,
                                                    ResampleStatistics* out) {
  using U = typename Lanes<2 * W>::U;
  U start;
  for (int j = 0; j < W; ++j) {
    start[j] = first + 2 * static_cast<std::uint64_t>(n) * static_cast<std::uint64_t>(j);
    start[W + j] = start[j] + static_cast<std::uint64_t>(n);
  }
  float* values = s.values();
  std::int32_t* index = s.indices();
  draw_indices<2 * W>(N, start, n, index);
  const D<2 * W> sum = gather<W>(x, y, index, n, values);

  // Each series is standardised, and the tests standardise it once more with
  // the moments of its standardised values.
  const Moments<2 * W> m = moments<2 * W>(values, sum, n);
  const D<2 * W> sum_z = standardise<2 * W>(values, m, n);
  const Moments<2 * W> mz = moments<2 * W>(values, sum_z, n);
  double* X = s.X() + static_cast<std::size_t>(L) * W;  // X(t) at X + tW, zeros around
  double* Y = s.Y() + static_cast<std::size_t>(L) * W;
  const auto both = standardise_for_tests<W>(values, mz, n, X, Y);
  bool ok[W];
  for (int j = 0; j < W; ++j) ok[j] = both[j] && both[W + j];

  double* P = s.P();
  double* Q = s.Q();
  D<W> cx = {}, cy = {}, cxy = {}, hxxx = {}, hyyy = {}, hxxy = {}, hyyx = {};
  D<W> xxy[2 * kMaxBatchLags + 1], yyx[2 * kMaxBatchLags + 1];
  D<W> xxx[kMaxBatchLags], yyy[kMaxBatchLags];
  for (int r = 1; r <= L; ++r) {
    const int m = n - r;
    const std::size_t lag = static_cast<std::size_t>(r) * W;
    D<W> ax = {}, ay = {}, bxy = {}, byx = {};
    for (int t = 0; t < m; ++t) {
      const std::size_t at = static_cast<std::size_t>(t) * W;
      const D<W> xt = load<W>(X + at), yt = load<W>(Y + at);
      const D<W> xr = load<W>(X + at + lag), yr = load<W>(Y + at + lag);
      const D<W> p = xt * xr, q = yt * yr;
      store<W>(P + at, p);
      store<W>(Q + at, q);
      ax += p;
      ay += q;
      bxy += xt * yr;
      byx += yt * xr;
    }
    // The list's shifts s = -L..L at xxy[s + L]; the serial ones, s = 1..r - 1,
    // at xxx[s - 1].
    const std::size_t back = static_cast<std::size_t>(L) * W;
    shifted_sums<W>(P, Y - back, Q, X - back, m, 2 * L + 1, xxy, yyx);
    if (r > 1) shifted_sums<W>(P, X + W, Q, Y + W, m, r - 1, xxx, yyy);

    // Each statistic adds its terms in the direct pass's order: for this r,
    // the serial pairs, the forward pairs s = 1..L (n - max(r, s) products),
    // then the backward ones s = 0, -1, ..., -L (n - r + s products).
    const double forward = m;
    cx += ax * ax / forward;
    cy += ay * ay / forward;
    for (int i = 0; i < r - 1; ++i) {
      hxxx += xxx[i] * xxx[i] / forward;
      hyyy += yyy[i] * yyy[i] / forward;
    }
    for (int s_lag = 1; s_lag <= L; ++s_lag) {
      const double products = n - std::max(r, s_lag);
      const D<W> a = xxy[s_lag + L], b = yyx[s_lag + L];
      hxxy += a * a / products;
      hyyx += b * b / products;
    }
    for (int k = 0; k <= L; ++k) {
      const double products = m - k;
      const D<W> a = xxy[L - k], b = yyx[L - k];
      hxxy += a * a / products;
      hyyx += b * b / products;
    }
    cxy += (bxy * bxy + byx * byx) / forward;
  }

  for (int j = 0; j < count; ++j) {
    if (!ok[j]) {
      out[j].fill(0.0f);
      continue;
    }
    ResampleStatistics& st = out[j];
    st[kHxxy] = static_cast<float>(hxxy[j]);
    st[kHyyx] = static_cast<float>(hyyx[j]);
    st[kHxxx] = static_cast<float>(hxxx[j]);
    st[kHyyy] = static_cast<float>(hyyy[j]);
    st[kCx] = static_cast<float>(cx[j]);
    st[kCy] = static_cast<float>(cy[j]);
    st[kCxy] = static_cast<float>(cxy[j]);
  }
}

// Each instruction set's batch.
#define VOK_BATCH(name, target_attribute, lanes)                                               \
  target_attribute [[gnu::noinline]] void batch_##name(                                         \
      const float* x, const float* y, int N, int n, int L, std::uint64_t first,                \
      const ResampleBatch::Storage& s, int count, ResampleStatistics* out) {                    \
    batch_statistics<lanes>(x, y, N, n, L, first, s, count, out);                               \
  }

#if defined(__x86_64__) || defined(__i386__)
#define VOK_X86 1
VOK_BATCH(avx512, __attribute__((target("avx512f,avx512vl,avx512dq,avx512bw"))), 8)
VOK_BATCH(avx2, __attribute__((target("avx2"))), 4)
#endif
VOK_BATCH(baseline, , 2)
#undef VOK_BATCH

}  // namespace

ResampleBatch::ResampleBatch(int n, int L, int lanes)
    : n_(n), L_(L), lanes_(lanes), storage_(std::make_unique<Storage>(n, L)) {
  assert(fits(n, L));
  if (lanes_ == 0 || !lanes_available(lanes_))
    lanes_ = lanes_available(8) ? 8 : lanes_available(4) ? 4 : 2;
}

ResampleBatch::~ResampleBatch() = default;

bool ResampleBatch::fits(int n, int L) {
  return L >= 1 && L <= kMaxBatchLags && n > 2 * L && n <= kMaxBatchValues;
}

bool ResampleBatch::lanes_available(int lanes) {
#ifdef VOK_X86
  __builtin_cpu_init();
  if (lanes == 8)
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw");
  if (lanes == 4) return __builtin_cpu_supports("avx2");
#endif
  return lanes == 2;
}

void ResampleBatch::statistics(std::span<const float> x, std::span<const float> y,
                               std::uint64_t first, int count, ResampleStatistics* out) {
  assert(x.size() == y.size() && count >= 1 && count <= lanes_);
  const int N = static_cast<int>(x.size());
  switch (lanes_) {
#ifdef VOK_X86
    case 8:
      return batch_avx512(x.data(), y.data(), N, n_, L_, first, *storage_, count, out);
    case 4:
      return batch_avx2(x.data(), y.data(), N, n_, L_, first, *storage_, count, out);
#endif
    default:
      return batch_baseline(x.data(), y.data(), N, n_, L_, first, *storage_, count, out);
  }
}

}  // namespace vok
