#include "frames/covxy_fast.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <vector>

namespace vok {
namespace {

// W doubles: the running sums of W consecutive shifts. The unaligned variant
// is for loads and stores at any double boundary. Each lane is a sum of its
// own, so the width changes nothing in the results.
template <int W>
struct Lanes {
  typedef double Vec __attribute__((vector_size(8 * W)));
  typedef double VecU __attribute__((vector_size(8 * W), aligned(8), may_alias));
};

// The widest vector of any instruction set; padding and result rows allow
// for it.
constexpr int kMaxLanes = 8;
// Product series that share one pass over a shifted series.
constexpr int kMaxSeries = 4;

// out[i][W g + j] = sum over t < m of P[i][t] S[t + W g + j], for R series
// and G groups of W shifts, the R G running sums held in registers. Each sum
// adds its products in rising t, one product at a time.
template <int W, int R, int G>
[[gnu::always_inline]] inline void correlate_block(const double* const* P, int m, const double* S,
                                                   double* const* out) {
  using Vec = typename Lanes<W>::Vec;
  using VecU = typename Lanes<W>::VecU;
  Vec acc[R][G];
  for (auto& row : acc)
    for (auto& a : row) a = Vec{};
  for (int t = 0; t < m; ++t) {
    double p[R];
    for (int i = 0; i < R; ++i) p[i] = P[i][t];
    const double* s = S + t;
    for (int g = 0; g < G; ++g) {
      const Vec v = *reinterpret_cast<const VecU*>(s + W * g);
      for (int i = 0; i < R; ++i) acc[i][g] += p[i] * v;
    }
  }
  for (int i = 0; i < R; ++i)
    for (int g = 0; g < G; ++g) *reinterpret_cast<VecU*>(out[i] + W * g) = acc[i][g];
}

// correlate_block with the group count chosen at run time, 1 <= groups <= Gmax.
template <int W, int R, int G, int Gmax>
[[gnu::always_inline]] inline void correlate_groups(int groups, const double* const* P, int m,
                                                    const double* S, double* const* out) {
  if constexpr (G < Gmax) {
    if (groups != G) {
      correlate_groups<W, R, G + 1, Gmax>(groups, P, m, S, out);
      return;
    }
  }
  correlate_block<W, R, G>(P, m, S, out);
}

// Groups of shifts in chunks small enough to keep every running sum, the R
// broadcast products and a product in kRegs vector registers (the shifted
// values go from memory straight into the multiplies).
template <int W, int R, int kRegs>
[[gnu::always_inline]] inline void correlate_series(const double* const* P, int m, const double* S,
                                                    int groups, double* const* out) {
  constexpr int kMaxGroups = std::clamp((kRegs - 1 - R) / R, 1, 6);
  const int chunks = (groups + kMaxGroups - 1) / kMaxGroups;
  int done = 0;
  for (int c = 0; c < chunks; ++c) {
    const int left = chunks - c;
    const int g = (groups - done + left - 1) / left;  // chunks as even as they come
    double* o[R];
    for (int i = 0; i < R; ++i) o[i] = out[i] + W * done;
    correlate_groups<W, R, 1, kMaxGroups>(g, P, m, S + W * done, o);
    done += g;
  }
}

// out[i][w] = sum over t < m of P[i][t] S[t + first + w] for w = 0..width - 1
// and the `count` series P[0..count - 1]. Each row of `out` has room for
// width rounded up to a multiple of W; S reads zeros far enough past its end.
// At most kMaxR series.
template <int W, int kRegs, int kMaxR, int R = 1>
[[gnu::always_inline]] inline void correlate(const double* const* P, int count, int m,
                                             const double* S, int first, int width,
                                             double* const* out) {
  if constexpr (R < kMaxR) {
    if (count > R) {
      correlate<W, kRegs, kMaxR, R + 1>(P, count, m, S, first, width, out);
      return;
    }
  }
  assert(count == R);
  if (width <= 0) return;
  correlate_series<W, R, kRegs>(P, m, S + first, (width + W - 1) / W, out);
}

// How the kernel uses an instruction set: doubles per vector, vector
// registers, product series sharing a pass. The registers bound the running
// sums a pass keeps (see correlate_series).
struct Shape {
  int lanes, registers, block;
};
constexpr Shape kAvx512Shape{8, 32, 4};
constexpr Shape kAvx2Shape{4, 16, 3};
// Sixteen 16-byte registers; SSE2 multiplies take no unaligned memory
// operand, so a loaded vector needs a register of its own.
constexpr Shape kBaselineShape{2, 14, 3};

// Every lag sum of the frame.
template <Shape kShape>
[[gnu::always_inline]] inline void lag_sums(const double* X, const double* Y, FrameSums& sums) {
  constexpr int W = kShape.lanes;
  constexpr int kRegs = kShape.registers;
  constexpr int kBlock = kShape.block;
  static_assert(kBlock >= 2 && kBlock <= kMaxSeries && W <= kMaxLanes);
  const int n = sums.n;
  const int L = sums.L;

  // The lag-0 cross sum, as the direct pass forms it: over t = 1..n - 1 in
  // the pass with r = s = 1, then the last product.
  double xy0 = 0.0;
  for (int t = 0; t < n - 1; ++t) xy0 += X[t] * Y[t];
  if (n >= 1) xy0 += X[n - 1] * Y[n - 1];
  sums.xy0 = xy0;
  if (L < 1) return;

  // Product series (two kinds, kBlock of each) and result rows.
  const std::size_t length = static_cast<std::size_t>(n) + kMaxLanes;
  std::vector<double> storage(2 * kBlock * length, 0.0);
  const double* first_kind[kBlock];
  const double* second_kind[kBlock];
  double* first_values[kBlock];
  double* second_values[kBlock];
  for (int i = 0; i < kBlock; ++i) {
    first_values[i] = storage.data() + i * length;
    second_values[i] = storage.data() + (kBlock + i) * length;
    first_kind[i] = first_values[i];
    second_kind[i] = second_values[i];
  }
  const std::size_t row_length = static_cast<std::size_t>(L) + kBlock + 2 * kMaxLanes;
  std::vector<double> row_storage(kBlock * row_length, 0.0);
  double* rows[kBlock];
  for (int i = 0; i < kBlock; ++i) rows[i] = row_storage.data() + i * row_length;

  // Serial and cross sums, lags 1..L: A_x(r) = sum X(t) X(t + r),
  // B_yx(r) = sum Y(t) X(t + r), B_xy(r) = sum X(t) Y(t + r), A_y likewise.
  {
    const double* series[2] = {X, Y};
    correlate<W, kRegs, kBlock>(series, 2, n - 1, X, 1, L, rows);
    std::copy_n(rows[0], L, sums.ax.begin());
    std::copy_n(rows[1], L, sums.byx.begin());
    correlate<W, kRegs, kBlock>(series, 2, n - 1, Y, 1, L, rows);
    std::copy_n(rows[0], L, sums.bxy.begin());
    std::copy_n(rows[1], L, sums.ay.begin());
  }

  // Product series a(u) b(u + lag), u = 1..n - lag, zero from there to n.
  auto products = [n](const double* a, const double* b, int lag, double* out) {
    const int count = std::max(n - lag, 0);
    for (int u = 0; u < count; ++u) out[u] = a[u] * b[u + lag];
    std::fill(out + count, out + n, 0.0);
  };

  const std::size_t list_row = 2 * static_cast<std::size_t>(L) + 1;
  // Forward pairs (r, s), s = 1..L, from P_xx(t) = X(t) X(t + r) and
  // P_yy(t) = Y(t) Y(t + r), t = 1..n - r, for kBlock values of r at a time.
  for (int r0 = 1; r0 <= L; r0 += kBlock) {
    const int block = std::min(kBlock, L + 1 - r0);
    const int m = std::max(n - r0, 0);
    for (int i = 0; i < block; ++i) {
      products(X, X, r0 + i, first_values[i]);
      products(Y, Y, r0 + i, second_values[i]);
    }
    // The serial sums T_xxx(r, s), T_yyy(r, s) have s < r.
    const int serial_width = r0 + block - 2;
    auto serial_index = [](int r) { return static_cast<std::size_t>(r - 1) * (r - 2) / 2; };

    // Against Y: T_xxy(r, s) = sum P_xx(t) Y(t + s), T_yyy(r, s) = sum P_yy(t) Y(t + s).
    correlate<W, kRegs, kBlock>(first_kind, block, m, Y, 1, L, rows);
    for (int i = 0; i < block; ++i)
      std::copy_n(rows[i], L, sums.txxy.begin() + (r0 + i - 1) * list_row);
    correlate<W, kRegs, kBlock>(second_kind, block, m, Y, 1, serial_width, rows);
    for (int i = 0; i < block; ++i)
      std::copy_n(rows[i], r0 + i - 1, sums.tyyy.begin() + serial_index(r0 + i));

    // Against X: T_yyx(r, s) = sum P_yy(t) X(t + s), T_xxx(r, s) = sum P_xx(t) X(t + s).
    correlate<W, kRegs, kBlock>(second_kind, block, m, X, 1, L, rows);
    for (int i = 0; i < block; ++i)
      std::copy_n(rows[i], L, sums.tyyx.begin() + (r0 + i - 1) * list_row);
    correlate<W, kRegs, kBlock>(first_kind, block, m, X, 1, serial_width, rows);
    for (int i = 0; i < block; ++i)
      std::copy_n(rows[i], r0 + i - 1, sums.txxx.begin() + serial_index(r0 + i));
  }

  // Backward pairs (r, -k): T_xxy(r, -k) = sum Y(u) X(u + k) X(u + k + r)
  // from Q_yx(u) = Y(u) X(u + k), and T_yyx(r, -k) from Q_xy(u) = X(u) Y(u + k),
  // u = 1..n - k, for kBlock values of k at a time. The series of k0 + i
  // meets X or Y at the shifts k0 + i + r; the shifts k0 + 1 .. k0 + L +
  // block - 1 cover r = 1..L for every k of the block.
  for (int k0 = 0; k0 <= L; k0 += kBlock) {
    const int block = std::min(kBlock, L + 1 - k0);
    const int m = std::max(n - k0, 0);
    for (int i = 0; i < block; ++i) {
      products(Y, X, k0 + i, first_values[i]);
      products(X, Y, k0 + i, second_values[i]);
    }
    const int width = L + block - 1;
    correlate<W, kRegs, kBlock>(first_kind, block, m, X, k0 + 1, width, rows);
    for (int i = 0; i < block; ++i)
      for (int r = 1; r <= L; ++r) sums.txxy[(r - 1) * list_row + L + k0 + i] = rows[i][r - 1 + i];
    correlate<W, kRegs, kBlock>(second_kind, block, m, Y, k0 + 1, width, rows);
    for (int i = 0; i < block; ++i)
      for (int r = 1; r <= L; ++r) sums.tyyx[(r - 1) * list_row + L + k0 + i] = rows[i][r - 1 + i];
  }
}

#if defined(__x86_64__) || defined(__i386__)
#define VOK_X86 1
__attribute__((target("avx512f,avx512vl"))) void lag_sums_avx512(const double* X, const double* Y,
                                                                 FrameSums& sums) {
  lag_sums<kAvx512Shape>(X, Y, sums);
}
__attribute__((target("avx2"))) void lag_sums_avx2(const double* X, const double* Y,
                                                   FrameSums& sums) {
  lag_sums<kAvx2Shape>(X, Y, sums);
}
// The lanes and series per pass of the AVX-512 kernel on AVX2, so that the
// tests can check that shape on processors without AVX-512. Few registers
// keep the passes short to compile; the sums are the same.
__attribute__((target("avx2"))) void lag_sums_avx512_shape_on_avx2(const double* X, const double* Y,
                                                                   FrameSums& sums) {
  lag_sums<Shape{kAvx512Shape.lanes, 8, kAvx512Shape.block}>(X, Y, sums);
}
#endif
void lag_sums_baseline(const double* X, const double* Y, FrameSums& sums) {
  lag_sums<kBaselineShape>(X, Y, sums);
}

}  // namespace

std::string_view isa_name(Isa isa) {
  switch (isa) {
    case Isa::avx512:
      return "avx512";
    case Isa::avx2:
      return "avx2";
    case Isa::baseline:
      break;
  }
  return "baseline";
}

bool isa_available(Isa isa) {
#ifdef VOK_X86
  __builtin_cpu_init();
  switch (isa) {
    case Isa::avx512:
      return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl");
    case Isa::avx2:
      return __builtin_cpu_supports("avx2");
    case Isa::baseline:
      return true;
  }
  return false;
#else
  return isa == Isa::baseline;
#endif
}

Isa best_isa() {
  static const Isa best = [] {
    for (Isa isa : {Isa::avx512, Isa::avx2})
      if (isa_available(isa)) return isa;
    return Isa::baseline;
  }();
  return best;
}

std::size_t lag_sum_padding(int L) {
  return static_cast<std::size_t>(std::max(L, 0)) + 2 * kMaxLanes;
}

bool fast_lag_sums_wide_shape(std::span<const double> X, std::span<const double> Y,
                              FrameSums& sums) {
  assert(X.size() >= static_cast<std::size_t>(sums.n) + lag_sum_padding(sums.L));
  assert(Y.size() >= static_cast<std::size_t>(sums.n) + lag_sum_padding(sums.L));
#ifdef VOK_X86
  if (!isa_available(Isa::avx2)) return false;
  lag_sums_avx512_shape_on_avx2(X.data(), Y.data(), sums);
  return true;
#else
  return false;
#endif
}

void fast_lag_sums(std::span<const double> X, std::span<const double> Y, FrameSums& sums, Isa isa) {
  const std::size_t padded = static_cast<std::size_t>(sums.n) + lag_sum_padding(sums.L);
  assert(X.size() >= padded && Y.size() >= padded);
  (void)padded;
  if (!isa_available(isa)) isa = Isa::baseline;
  switch (isa) {
#ifdef VOK_X86
    case Isa::avx512:
      lag_sums_avx512(X.data(), Y.data(), sums);
      return;
    case Isa::avx2:
      lag_sums_avx2(X.data(), Y.data(), sums);
      return;
#endif
    default:
      lag_sums_baseline(X.data(), Y.data(), sums);
      return;
  }
}

}  // namespace vok
