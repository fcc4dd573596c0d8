#include "bootstrap/resample_batch.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

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

// The widest vector (doubles), the most groups of lanes a batch interleaves,
// and the most sums a window keeps in registers per series.
constexpr int kWidestVector = 8;
constexpr int kMaxGroups = 2;
constexpr int kMaxLanes = kWidestVector * kMaxGroups;
static_assert(kMaxLanes == kMaxBatchLanes);
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

// The work storage of a batch, in rows: a row holds one time step of every
// lane, kMaxLanes values (of which a narrower batch uses the first). Each
// group of lanes has its padded series X and Y: L zero rows before and after
// the n values, written once here, so that every shifted sum runs over the
// whole product series (see batch_statistics below).
struct ResampleBatch::Storage {
  Storage(int n, int L)
      : n(static_cast<std::size_t>(n)),
        rows(static_cast<std::size_t>(n) + 2 * static_cast<std::size_t>(L)),
        size(kMaxLanes * 2 * rows + 2 * kWidestVector * this->n + 4 * kMaxLanes * this->n),
        buffer(static_cast<double*>(::operator new(sizeof(double) * size, std::align_val_t(64)))) {
    std::memset(buffer, 0, sizeof(double) * size);
  }
  ~Storage() { ::operator delete(buffer, std::align_val_t(64)); }
  // The padded series of group g, rows of the group's lanes.
  double* X(int g) const { return buffer + (2 * g) * kWidestVector * rows; }
  double* Y(int g) const { return buffer + (2 * g + 1) * kWidestVector * rows; }
  // The product series of the lag in hand, of one group.
  double* P() const { return buffer + 2 * kMaxLanes * rows; }
  double* Q() const { return P() + kWidestVector * n; }
  // The drawn values as 32-bit reals, then their 0-based indices: n rows of
  // x and y of every lane.
  float* values() const { return reinterpret_cast<float*>(Q() + kWidestVector * n); }
  std::int32_t* indices() const {
    return reinterpret_cast<std::int32_t*>(values() + 2 * kMaxLanes * n);
  }
  // The drawn, then the standardised values held in double.
  double* wide() const { return reinterpret_cast<double*>(indices() + 2 * kMaxLanes * n); }

  std::size_t n, rows, size;
  double* buffer;
};

namespace {

template <int W>
using D = typename Lanes<W>::D;
template <int W>
using F = typename Lanes<W>::F;
template <int W>
using U = typename Lanes<W>::U;
template <int W>
using I = typename Lanes<W>::Mask;

// A vector from memory at any alignment, and back.
template <class Vector, class T>
[[gnu::always_inline]] inline Vector load_vector(const T* p) {
  Vector v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
template <class Vector, class T>
[[gnu::always_inline]] inline void store_vector(T* p, Vector v) {
  std::memcpy(p, &v, sizeof v);
}
template <int W>
[[gnu::always_inline]] inline D<W> load(const double* p) {
  return load_vector<D<W>>(p);
}
template <int W>
[[gnu::always_inline]] inline void store(double* p, D<W> v) {
  store_vector(p, v);
}
template <int W>
[[gnu::always_inline]] inline F<W> loadf(const float* p) {
  return load_vector<F<W>>(p);
}
template <int W>
[[gnu::always_inline]] inline void storef(float* p, F<W> v) {
  store_vector(p, v);
}
template <int W>
[[gnu::always_inline]] inline D<W> widen(F<W> v) {
  return __builtin_convertvector(v, D<W>);
}

// The front of a batch (drawing, gathering and the two standardisations)
// works on rows of H = 2K vectors of W lanes: the x values of the first
// group's lanes, their y values, then those of the next group, and so on.
// Every vector of a row is a series of its own and its additions a chain of
// their own, so the K groups' chains run side by side.
template <int W, int H>
using Row = std::array<D<W>, H>;
template <int W, int H>
using RowF = std::array<F<W>, H>;

template <int W, int H>
[[gnu::always_inline]] inline F<W> load_part(const float* values, int t, int h) {
  return loadf<W>(values + (static_cast<std::size_t>(t) * H + h) * W);
}
template <int W, int H>
[[gnu::always_inline]] inline D<W> load_wide(const double* wide, int t, int h) {
  return load<W>(wide + (static_cast<std::size_t>(t) * H + h) * W);
}

// The 32-bit steps take a row's x and y parts of a group as one vector of 2W
// lanes (one register: W doubles fill one as 2W floats do).
template <int W, std::size_t... j>
[[gnu::always_inline]] inline F<2 * W> join(F<W> a, F<W> b, std::index_sequence<j...>) {
  return __builtin_shufflevector(a, b, static_cast<int>(j)...);
}
template <int W>
[[gnu::always_inline]] inline F<2 * W> join(F<W> a, F<W> b) {
  return join<W>(a, b, std::make_index_sequence<2 * W>());
}
template <int W, int part>
[[gnu::always_inline]] inline F<W> half(F<2 * W> v) {
  if constexpr (part == 0)
    return []<std::size_t... j>(F<2 * W> u, std::index_sequence<j...>) {
      return __builtin_shufflevector(u, u, static_cast<int>(j)...);
    }(v, std::make_index_sequence<W>());
  else
    return []<std::size_t... j>(F<2 * W> u, std::index_sequence<j...>) {
      return __builtin_shufflevector(u, u, static_cast<int>(W + j)...);
    }(v, std::make_index_sequence<W>());
}

// The stream indices of every row: lane j of part h draws its n uniforms from
// first[h][j] on, 0-based indices into rows of `index`. Number i of the
// stream is UniformStream::bits(i) 2^-24 and its index floor(N u), formed as
// N times the 24-bit integer shifted right by 24 (both factors below 2^32);
// the counter times the generator's odd constant is carried from one step to
// the next by an addition.
template <int W, int H>
[[gnu::always_inline]] inline void draw_indices(int N, const std::array<U<W>, H>& first, int n,
                                                std::int32_t* index) {
  std::array<U<W>, H> z0;
#pragma GCC unroll 4
  for (int h = 0; h < H; ++h) z0[h] = (first[h] + 1) * UniformStream::kGolden;
  const U<W> count = U<W>{} + static_cast<std::uint32_t>(N);
  for (int t = 0; t < n; ++t) {
#pragma GCC unroll 4
    for (int h = 0; h < H; ++h) {
      U<W> z = z0[h];
      z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
      z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
      z = z ^ (z >> 31);
      const I<W> k = __builtin_convertvector((count * (z >> 40)) >> 24, I<W>);
      std::memcpy(index + (static_cast<std::size_t>(t) * H + h) * W, &k, sizeof k);
      z0[h] += UniformStream::kGolden;
    }
  }
}

// The values of W indices of `column`, gathered into a register (a vector
// load right after single stores would wait for them).
template <int W>
[[gnu::always_inline]] inline F<W> gather_values(const float* column, const std::int32_t* index) {
  F<W> v;
  for (int j = 0; j < W; ++j) v[j] = column[index[j]];
  return v;
}

// The values of the drawn indices (x for the even parts of a row, y for the
// odd ones) and their plain sums per lane, each added in rising order from
// 0.0 as sigmn's first pass adds them.
template <int W, int H>
[[gnu::always_inline]] inline Row<W, H> gather(const float* x, const float* y,
                                               const std::int32_t* index, int n, float* values,
                                               double* wide) {
  Row<W, H> sum = {};
  for (int t = 0; t < n; ++t) {
#pragma GCC unroll 4
    for (int h = 0; h < H; ++h) {
      const std::size_t at = (static_cast<std::size_t>(t) * H + h) * W;
      const F<W> v = gather_values<W>(h % 2 == 0 ? x : y, index + at);
      storef<W>(values + at, v);
      const D<W> d = widen<W>(v);
      store<W>(wide + at, d);
      sum[h] += d;
    }
  }
  return sum;
}

// The correctly rounded square root of every lane, as std::sqrt gives it:
// one instruction of the batch's own instruction set (W = 8 runs only with
// AVX-512, W = 4 only with AVX2), two lanes at a time without.
template <int W>
[[gnu::always_inline]] inline D<W> square_root(D<W> v) {
#if defined(__x86_64__) || defined(__i386__)
  if constexpr (W == 8) {
    asm("vsqrtpd %1, %0" : "=v"(v) : "v"(v));
    return v;
  } else if constexpr (W == 4) {
    asm("vsqrtpd %1, %0" : "=x"(v) : "x"(v));
    return v;
  }
#endif
  typedef double Pair __attribute__((vector_size(16)));
  Pair parts[W / 2];
  std::memcpy(parts, &v, sizeof parts);
  for (Pair& p : parts) p = __builtin_ia32_sqrtpd(p);
  std::memcpy(&v, parts, sizeof v);
  return v;
}

// sigmn's moments of every lane's series, from the plain sums of its first
// pass: mean and standard deviation (divisor n - 1), as sigmn forms them.
template <int W, int H>
struct Moments {
  RowF<W, H> mean, sd;
};
template <int W, int H>
[[gnu::always_inline]] inline Moments<W, H> moments(const double* wide, const Row<W, H>& sum,
                                                    int n) {
  Row<W, H> mean, s1 = {}, s2 = {};
#pragma GCC unroll 4
  for (int h = 0; h < H; ++h) mean[h] = sum[h] / static_cast<double>(n);
  for (int t = 0; t < n; ++t) {
#pragma GCC unroll 4
    for (int h = 0; h < H; ++h) {
      const D<W> d = load_wide<W, H>(wide, t, h) - mean[h];
      s1[h] += d;
      s2[h] += d * d;
    }
  }
  Moments<W, H> out;
#pragma GCC unroll 4
  for (int h = 0; h < H; ++h) {
    const D<W> variance =
        (s2[h] - s1[h] * s1[h] / static_cast<double>(n)) / static_cast<double>(n - 1);
    const D<W> root = square_root<W>(variance);
    out.mean[h] = __builtin_convertvector(mean[h], F<W>);
    out.sd[h] = __builtin_convertvector(variance < 0.0 ? D<W>{} : root, F<W>);
  }
  return out;
}

// Replaces each value by (value - mean) / standard deviation and returns the
// plain sums of the new values, as the resample's standardisation does.
template <int W, int H>
[[gnu::always_inline]] inline Row<W, H> standardise(float* values, double* wide,
                                                    const Moments<W, H>& m, int n) {
  std::array<F<2 * W>, H / 2> mean, sd;
  for (int g = 0; g < H / 2; ++g) {
    mean[g] = join<W>(m.mean[2 * g], m.mean[2 * g + 1]);
    sd[g] = join<W>(m.sd[2 * g], m.sd[2 * g + 1]);
  }
  Row<W, H> sum = {};
  for (int t = 0; t < n; ++t) {
#pragma GCC unroll 4
    for (int g = 0; g < H / 2; ++g) {
      const std::size_t at = (static_cast<std::size_t>(t) * H + 2 * g) * W;
      const F<2 * W> z = (loadf<2 * W>(values + at) - mean[g]) / sd[g];
      storef<2 * W>(values + at, z);
      const D<W> x = widen<W>(half<W, 0>(z)), y = widen<W>(half<W, 1>(z));
      store<W>(wide + at, x);
      store<W>(wide + at + W, y);
      sum[2 * g] += x;
      sum[2 * g + 1] += y;
    }
  }
  return sum;
}

// The tests' own standardisation: (value - mean) * (1 / sd) as 32-bit reals,
// held in double in the padded series of each group (X from the even parts,
// Y from the odd ones). A lane of a group is true when its two series'
// moments, scales and values are all finite with a positive spread (the
// others are degenerate frames).
template <int W, int H>
[[gnu::always_inline]] inline std::array<I<W>, H / 2> standardise_for_tests(
    const float* values, const Moments<W, H>& m, int n, const ResampleBatch::Storage& s, int L) {
  constexpr int K = H / 2;
  std::array<I<2 * W>, K> ok;
  std::array<F<2 * W>, K> mean, scale;
  std::array<double*, K> X, Y;
#pragma GCC unroll 4
  for (int g = 0; g < K; ++g) {
    mean[g] = join<W>(m.mean[2 * g], m.mean[2 * g + 1]);
    const F<2 * W> sd = join<W>(m.sd[2 * g], m.sd[2 * g + 1]);
    scale[g] = 1.0f / sd;
    ok[g] = (mean[g] - mean[g] == 0.0f) & (sd - sd == 0.0f) & (sd > 0.0f) &
            (scale[g] - scale[g] == 0.0f);
    X[g] = s.X(g) + static_cast<std::size_t>(L) * W;
    Y[g] = s.Y(g) + static_cast<std::size_t>(L) * W;
  }
  for (int t = 0; t < n; ++t) {
#pragma GCC unroll 4
    for (int g = 0; g < K; ++g) {
      const std::size_t at = (static_cast<std::size_t>(t) * H + 2 * g) * W;
      const F<2 * W> z = (loadf<2 * W>(values + at) - mean[g]) * scale[g];
      ok[g] &= (z - z == 0.0f);
      store<W>(X[g] + static_cast<std::size_t>(t) * W, widen<W>(half<W, 0>(z)));
      store<W>(Y[g] + static_cast<std::size_t>(t) * W, widen<W>(half<W, 1>(z)));
    }
  }
  std::array<I<W>, K> group_ok;
  for (int g = 0; g < K; ++g)
    for (int j = 0; j < W; ++j) group_ok[g][j] = ok[g][j] & ok[g][W + j];
  return group_ok;
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
[[gnu::always_inline]] inline void group_statistics(int n, int L, const ResampleBatch::Storage& s,
                                                    int group, I<W> ok, int count,
                                                    ResampleStatistics* out) {
  double* P = s.P();
  double* Q = s.Q();
  const double* X = s.X(group) + static_cast<std::size_t>(L) * W;  // X(t) at X + tW
  const double* Y = s.Y(group) + static_cast<std::size_t>(L) * W;
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

// A batch of K groups of W lanes: the front for all groups at once, then the
// sums group by group. Lane j of group g is resample gW + j of the batch.
template <int W, int K>
[[gnu::always_inline]] inline void batch_statistics(const float* x, const float* y, int N, int n,
                                                    int L, std::uint64_t first,
                                                    const ResampleBatch::Storage& s, int count,
                                                    ResampleStatistics* out) {
  constexpr int H = 2 * K;
  std::array<U<W>, H> start;
  const auto per_resample = 2 * static_cast<std::uint64_t>(n);
  for (int g = 0; g < K; ++g) {
    for (int j = 0; j < W; ++j) {
      start[2 * g][j] = first + per_resample * static_cast<std::uint64_t>(g * W + j);
      start[2 * g + 1][j] = start[2 * g][j] + static_cast<std::uint64_t>(n);
    }
  }
  float* values = s.values();
  double* wide = s.wide();
  draw_indices<W, H>(N, start, n, s.indices());
  const Row<W, H> sum = gather<W, H>(x, y, s.indices(), n, values, wide);

  // Each series is standardised, and the tests standardise it once more with
  // the moments of its standardised values.
  const Moments<W, H> m = moments<W, H>(wide, sum, n);
  const Moments<W, H> mz = moments<W, H>(wide, standardise<W, H>(values, wide, m, n), n);
  const std::array<I<W>, K> ok = standardise_for_tests<W, H>(values, mz, n, s, L);
  for (int g = 0; g < K && g * W < count; ++g)
    group_statistics<W>(n, L, s, g, ok[g], std::min(W, count - g * W), out + g * W);
}

// Each instruction set's batch.
#define VOK_BATCH(name, target_attribute, width, groups)                                       \
  target_attribute [[gnu::noinline]] void batch_##name(                                         \
      const float* x, const float* y, int N, int n, int L, std::uint64_t first,                \
      const ResampleBatch::Storage& s, int count, ResampleStatistics* out) {                    \
    batch_statistics<width, groups>(x, y, N, n, L, first, s, count, out);                       \
  }

#if defined(__x86_64__) || defined(__i386__)
#define VOK_X86 1
VOK_BATCH(avx512, __attribute__((target("avx512f,avx512vl,avx512dq,avx512bw"))), 8, 2)
VOK_BATCH(avx2, __attribute__((target("avx2"))), 4, 2)
#endif
VOK_BATCH(baseline, , 2, 2)
#undef VOK_BATCH

}  // namespace

ResampleBatch::ResampleBatch(int n, int L, int lanes)
    : n_(n), L_(L), lanes_(lanes), storage_(std::make_unique<Storage>(n, L)) {
  assert(fits(n, L));
  if (lanes_ == 0 || !lanes_available(lanes_))
    lanes_ = lanes_available(16) ? 16 : lanes_available(8) ? 8 : 4;
}

ResampleBatch::~ResampleBatch() = default;

bool ResampleBatch::fits(int n, int L) {
  return L >= 1 && L <= kMaxBatchLags && n > 2 * L && n <= kMaxBatchValues;
}

bool ResampleBatch::lanes_available(int lanes) {
#ifdef VOK_X86
  __builtin_cpu_init();
  if (lanes == 16)
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw");
  if (lanes == 8) return __builtin_cpu_supports("avx2");
#endif
  return lanes == 4;
}

void ResampleBatch::statistics(std::span<const float> x, std::span<const float> y,
                               std::uint64_t first, int count, ResampleStatistics* out) {
  assert(x.size() == y.size() && count >= 1 && count <= lanes_);
  const int N = static_cast<int>(x.size());
  switch (lanes_) {
#ifdef VOK_X86
    case 16:
      return batch_avx512(x.data(), y.data(), N, n_, L_, first, *storage_, count, out);
    case 8:
      return batch_avx2(x.data(), y.data(), N, n_, L_, first, *storage_, count, out);
#endif
    default:
      return batch_baseline(x.data(), y.data(), N, n_, L_, first, *storage_, count, out);
  }
}

}  // namespace vok
