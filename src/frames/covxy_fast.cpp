#include "frames/covxy_fast.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

// The vector helpers below return vectors wider than the baseline ABI
// passes in registers. They are always inlined into the kernel of one
// instruction set, so no call ever crosses that ABI.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace vok {
namespace {

// W doubles: the running sums of W lags r side by side. The unaligned variant
// is for loads and stores at any double boundary. Each lane is a sum of its
// own, so the width changes nothing in the results.
template <int W>
struct Lanes {
  typedef double Vec __attribute__((vector_size(8 * W)));
  typedef double VecU __attribute__((vector_size(8 * W), aligned(8), may_alias));
};

template <int W>
[[gnu::always_inline]] inline typename Lanes<W>::Vec splat(double v) {
  if constexpr (W == 2)
    return typename Lanes<W>::Vec{v, v};
  else if constexpr (W == 4)
    return typename Lanes<W>::Vec{v, v, v, v};
  else
    return typename Lanes<W>::Vec{v, v, v, v, v, v, v, v};
}

// splat of a value in memory. With four lanes the compiler would otherwise
// build the vector from two halves, an extra vector operation per value; the
// broadcast instruction takes the value straight from memory.
template <int W>
[[gnu::always_inline]] inline typename Lanes<W>::Vec broadcast(const double* p) {
#if defined(__x86_64__) || defined(__i386__)
  if constexpr (W == 4) {
    typename Lanes<W>::Vec v;
    asm("vbroadcastsd %1, %0" : "=x"(v) : "m"(*p));
    return v;
  }
#endif
  return splat<W>(*p);
}

template <int W>
[[gnu::always_inline]] inline typename Lanes<W>::Vec load(const double* p) {
  return *reinterpret_cast<const typename Lanes<W>::VecU*>(p);
}

template <int W>
[[gnu::always_inline]] inline void store(double* p, typename Lanes<W>::Vec v) {
  *reinterpret_cast<typename Lanes<W>::VecU*>(p) = v;
}

// The widest vector of any instruction set.
constexpr int kMaxLanes = 8;
// Rows of a product block handled per pass over a window of shifts: a block
// small enough for the first-level cache.
constexpr int kRowsPerPass = 256;

// How the kernel uses an instruction set: doubles per vector (lags side by
// side), vectors of lags per block, shifts per window. A window's running
// sums (vectors * shifts), its broadcast shifted values (shifts) and a
// vector of products per lag vector must fit the vector registers.
struct Shape {
  int lanes, vectors, shifts;
};
constexpr Shape kAvx512Shape{8, 2, 8};  // 16 + 8 + 2 + 1 of 32 registers
constexpr Shape kAvx2Shape{4, 2, 3};    // 6 + 3 + 2 + 1 of 16
constexpr Shape kBaselineShape{2, 2, 4};

// One step at time t of an unrolled group of G steps (U = 0..G - 1): shift
// g meets the broadcast value in b[(U + g) % G], then b[U] takes the value
// of the window's last shift at time t + 1.
template <int W, int V, int G, int U>
[[gnu::always_inline]] inline void rotating_steps(const double* P, int t, const double* S,
                                                  typename Lanes<W>::Vec (&acc)[G][V],
                                                  typename Lanes<W>::Vec (&b)[G]) {
  using Vec = typename Lanes<W>::Vec;
  if constexpr (U < G) {
    Vec p[V];
    for (int v = 0; v < V; ++v) p[v] = load<W>(P + static_cast<std::ptrdiff_t>(t) * V * W + v * W);
#pragma GCC unroll 16
    for (int g = 0; g < G; ++g)
#pragma GCC unroll 4
      for (int v = 0; v < V; ++v) acc[g][v] += p[v] * b[(U + g) % G];
    b[U] = broadcast<W>(S + t + G);
    rotating_steps<W, V, G, U + 1>(P, t + 1, S, acc, b);
  }
}

// sums[g][v] += sum over t in [begin, end) of P(t)[v] * S[t + g], g < G:
// the product block P holds, for every t, V vectors of W lags (row t at
// P + t V W); S is the shifted series from the window's first shift on. Each
// lane adds its products one after another in rising t. The G broadcast
// values S[t + g] stay in registers and rotate: moving on by one t, the
// value of shift g + 1 becomes that of shift g and one new value is loaded.
template <int W, int V, int G>
[[gnu::always_inline]] inline void shift_window(const double* P, int begin, int end,
                                                const double* S, double* sums) {
  using Vec = typename Lanes<W>::Vec;
  Vec acc[G][V];
  for (int g = 0; g < G; ++g)
    for (int v = 0; v < V; ++v) acc[g][v] = load<W>(sums + (g * V + v) * W);
  int t = begin;
  if (end - begin >= G) {
    Vec b[G];
    for (int g = 0; g < G; ++g) b[g] = broadcast<W>(S + t + g);
    for (; t + G <= end; t += G) rotating_steps<W, V, G, 0>(P, t, S, acc, b);
  }
  for (; t < end; ++t) {
    Vec p[V];
    for (int v = 0; v < V; ++v) p[v] = load<W>(P + static_cast<std::ptrdiff_t>(t) * V * W + v * W);
    for (int g = 0; g < G; ++g) {
      const Vec b = splat<W>(S[t + g]);
      for (int v = 0; v < V; ++v) acc[g][v] += p[v] * b;
    }
  }
  for (int g = 0; g < G; ++g)
    for (int v = 0; v < V; ++v) store<W>(sums + (g * V + v) * W, acc[g][v]);
}

// Rounds up to a multiple of k.
constexpr int round_up(int v, int k) {
  return (v + k - 1) / k * k;
}

// Carves 64-byte aligned stretches out of a scratch vector that is grown
// once and reused: nothing is allocated frame after frame, and nothing is
// cleared that the kernel writes before it reads.
class ScratchCarver {
 public:
  ScratchCarver(std::vector<double>& storage, std::size_t doubles) {
    if (storage.size() < doubles + kMaxLanes) storage.resize(doubles + kMaxLanes);
    auto address = reinterpret_cast<std::uintptr_t>(storage.data());
    const std::uintptr_t aligned = (address + 63) & ~std::uintptr_t{63};
    next_ = storage.data() + (aligned - address) / sizeof(double);
  }
  // The next `doubles` values (not cleared), at a 64-byte boundary.
  double* take(std::size_t doubles) {
    double* p = next_;
    next_ += room(doubles);
    return p;
  }
  // Room that `take` needs for a stretch of `doubles` values.
  static std::size_t room(std::size_t doubles) {
    return static_cast<std::size_t>(round_up(static_cast<int>(doubles), kMaxLanes));
  }

 private:
  double* next_ = nullptr;
};

// Every lag sum of the frame.
//
// Lags r go in blocks of V W. For a block and each kind of product series,
// P_xx(t) = X(t) X(t + r) and P_yy(t) = Y(t) Y(t + r), the block holds the
// products of every lag of the block row by row; a product whose t + r lies
// past the frame, or whose lag lies past L, is an exact zero. Every triple
// sum of the pair (r, s), forward (s >= 1) or backward (s <= 0), is then
//
//   T_xxy(r, s) = sum_t P_xx(t) Y(t + s),   T_yyx(r, s) = sum_t P_yy(t) X(t + s),
//   T_xxx(r, s) = sum_t P_xx(t) X(t + s),   T_yyy(r, s) = sum_t P_yy(t) Y(t + s),
//
// over the copies of X and Y that read zeros before and after the frame.
// The direct pass forms a backward product as Y(u) X(u + k) X(u + k + r);
// both pair products of two standardised 32-bit values are exact in double,
// so either grouping gives the one rounding of the exact triple product. The
// extra terms outside a sum's range are exact zeros: a running sum that
// starts at +0 is left as it is by them.
template <Shape kShape>
[[gnu::always_inline]] inline void lag_sums(const double* X, const double* Y, FrameSums& sums,
                                            std::vector<double>& scratch) {
  constexpr int W = kShape.lanes;
  constexpr int V = kShape.vectors;
  constexpr int G = kShape.shifts;
  constexpr int kBlockLags = V * W;
  static_assert(W <= kMaxLanes);
  const int n = sums.n;
  const int L = sums.L;

  // The lag-0 cross sum, as the direct pass forms it: over t = 1..n - 1 in
  // the pass with r = s = 1, then the last product.
  double xy0 = 0.0;
  for (int t = 0; t < n - 1; ++t) xy0 += X[t] * Y[t];
  if (n >= 1) xy0 += X[n - 1] * Y[n - 1];
  sums.xy0 = xy0;
  if (L < 1) return;

  // Shifted copies: Xs[L + t] = X(t), zeros before (L of them) and after,
  // far enough for the last window's rotating loads. Shift s of a sum is
  // offset o = s + L.
  const int offsets = round_up(2 * L + 1, G);
  const std::size_t shifted_length = static_cast<std::size_t>(n) + L + offsets + 2 * G + kMaxLanes;
  const int lag_blocks = (L + kBlockLags - 1) / kBlockLags;
  const std::size_t block_length = static_cast<std::size_t>(n) * kBlockLags;
  const std::size_t window_sums = static_cast<std::size_t>(offsets) * kBlockLags;
  ScratchCarver carve(scratch, 2 * ScratchCarver::room(shifted_length) +
                                   2 * ScratchCarver::room(block_length) +
                                   4 * ScratchCarver::room(window_sums));
  double* Xs = carve.take(shifted_length);
  double* Ys = carve.take(shifted_length);
  for (double* copy : {Xs, Ys}) {
    std::fill_n(copy, L, 0.0);
    std::fill(copy + L + n, copy + shifted_length, 0.0);
  }
  std::copy_n(X, n, Xs + L);
  std::copy_n(Y, n, Ys + L);
  // Product blocks: row t holds the products of time t for the lags of a block.
  double* Pxx = carve.take(block_length);
  double* Pyy = carve.take(block_length);
  // Running sums of a block, [offset][lag of the block].
  double* xxy = carve.take(window_sums);
  double* yyx = carve.take(window_sums);
  double* xxx = carve.take(window_sums);
  double* yyy = carve.take(window_sums);

  const std::size_t list_row = 2 * static_cast<std::size_t>(L) + 1;
  // Entry of the pair (r, s) in the list: s = 1..L, then s = 0, -1, ..., -L.
  const auto list_entry = [list_row, L](int r, int s) {
    return (r - 1) * list_row + static_cast<std::size_t>(s >= 1 ? s - 1 : L - s);
  };
  // Entry of the serial pair (r, s), s < r: r by r, s rising.
  const auto serial_entry = [](int r, int s) {
    return static_cast<std::size_t>(r - 1) * (r - 2) / 2 + static_cast<std::size_t>(s - 1);
  };

  for (int block = 0; block < lag_blocks; ++block) {
    const int r0 = 1 + block * kBlockLags;  // first lag of the block
    const int lags = std::min(kBlockLags, L + 1 - r0);
    const int m = n - r0;  // rows with a product for some lag of the block

    // Offsets of the serial sums: s = 1 .. r - 1, at most the block's last
    // lag less one.
    const int serial_first = L + 1;
    const int serial_offsets = round_up(std::max(r0 + lags - 2, 0), G);
    std::fill_n(xxy, window_sums, 0.0);
    std::fill_n(yyx, window_sums, 0.0);
    std::fill_n(xxx, window_sums, 0.0);
    std::fill_n(yyy, window_sums, 0.0);
    // The product blocks, row t holding the lags r0 .. r0 + V W - 1. The
    // shifted copies read zeros past the frame, so a product whose t + r
    // lies past it is a zero; the lanes of lags past L are never read back.
    // The serial and cross sums ride along: A_x(r) = sum X(t) X(t + r) adds
    // the very products of the block, B_xy(r) = sum X(t) Y(t + r),
    // B_yx(r) = sum Y(t) X(t + r), A_y likewise, over t = 1..n - r, in
    // rising t.
    {
      using Vec = typename Lanes<W>::Vec;
      Vec ax[V] = {}, ay[V] = {}, bxy[V] = {}, byx[V] = {};
      for (int t = 0; t < m; ++t) {
        const Vec x = splat<W>(X[t]);
        const Vec y = splat<W>(Y[t]);
        double* pxx = Pxx + static_cast<std::size_t>(t) * kBlockLags;
        double* pyy = Pyy + static_cast<std::size_t>(t) * kBlockLags;
        for (int v = 0; v < V; ++v) {
          const Vec xr = load<W>(Xs + L + t + r0 + v * W);
          const Vec yr = load<W>(Ys + L + t + r0 + v * W);
          const Vec xx = x * xr;
          const Vec yy = y * yr;
          store<W>(pxx + v * W, xx);
          store<W>(pyy + v * W, yy);
          ax[v] += xx;
          ay[v] += yy;
          bxy[v] += x * yr;
          byx[v] += y * xr;
        }
      }
      for (int i = 0; i < lags; ++i) {
        const int v = i / W, j = i % W;
        sums.ax[r0 - 1 + i] = ax[v][j];
        sums.ay[r0 - 1 + i] = ay[v][j];
        sums.bxy[r0 - 1 + i] = bxy[v][j];
        sums.byx[r0 - 1 + i] = byx[v][j];
      }
    }
    // Rows in passes that keep a stretch of the product blocks in the
    // first-level cache; a sum carries over from pass to pass unchanged.
    for (int begin = 0; begin < m; begin += kRowsPerPass) {
      const int end = std::min(m, begin + kRowsPerPass);
      for (int o = 0; o < offsets; o += G) {
        shift_window<W, V, G>(Pxx, begin, end, Ys + o, xxy + o * kBlockLags);
        shift_window<W, V, G>(Pyy, begin, end, Xs + o, yyx + o * kBlockLags);
      }
      for (int o = 0; o < serial_offsets; o += G) {
        shift_window<W, V, G>(Pxx, begin, end, Xs + serial_first + o, xxx + o * kBlockLags);
        shift_window<W, V, G>(Pyy, begin, end, Ys + serial_first + o, yyy + o * kBlockLags);
      }
    }

    for (int i = 0; i < lags; ++i) {
      const int r = r0 + i;
      for (int s = -L; s <= L; ++s) {
        const std::size_t at = static_cast<std::size_t>(s + L) * kBlockLags + i;
        sums.txxy[list_entry(r, s)] = xxy[at];
        sums.tyyx[list_entry(r, s)] = yyx[at];
      }
      for (int s = 1; s < r; ++s) {
        const std::size_t at = static_cast<std::size_t>(s - 1) * kBlockLags + i;
        sums.txxx[serial_entry(r, s)] = xxx[at];
        sums.tyyy[serial_entry(r, s)] = yyy[at];
      }
    }
  }
}

#if defined(__x86_64__) || defined(__i386__)
#define VOK_X86 1
__attribute__((target("avx512f,avx512vl"))) void lag_sums_avx512(const double* X, const double* Y,
                                                                 FrameSums& sums,
                                                                 std::vector<double>& scratch) {
  lag_sums<kAvx512Shape>(X, Y, sums, scratch);
}
__attribute__((target("avx2"))) void lag_sums_avx2(const double* X, const double* Y,
                                                   FrameSums& sums, std::vector<double>& scratch) {
  lag_sums<kAvx2Shape>(X, Y, sums, scratch);
}
// The shape of the AVX-512 kernel (lanes, lag vectors, shifts) on AVX2, so
// that the tests can check it on processors without AVX-512: each vector
// takes two registers here, which only costs speed.
__attribute__((target("avx2"))) void lag_sums_avx512_shape_on_avx2(const double* X, const double* Y,
                                                                   FrameSums& sums,
                                                                   std::vector<double>& scratch) {
  lag_sums<kAvx512Shape>(X, Y, sums, scratch);
}
#endif
void lag_sums_baseline(const double* X, const double* Y, FrameSums& sums,
                       std::vector<double>& scratch) {
  lag_sums<kBaselineShape>(X, Y, sums, scratch);
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

bool fast_lag_sums_wide_shape(std::span<const double> X, std::span<const double> Y, FrameSums& sums,
                              std::vector<double>& scratch) {
  assert(X.size() >= static_cast<std::size_t>(sums.n) &&
         Y.size() >= static_cast<std::size_t>(sums.n));
#ifdef VOK_X86
  if (!isa_available(Isa::avx2)) return false;
  lag_sums_avx512_shape_on_avx2(X.data(), Y.data(), sums, scratch);
  return true;
#else
  (void)scratch;
  return false;
#endif
}

void fast_lag_sums(std::span<const double> X, std::span<const double> Y, FrameSums& sums,
                   std::vector<double>& scratch, Isa isa) {
  assert(X.size() >= static_cast<std::size_t>(sums.n) &&
         Y.size() >= static_cast<std::size_t>(sums.n));
  if (!isa_available(isa)) isa = Isa::baseline;
  switch (isa) {
#ifdef VOK_X86
    case Isa::avx512:
      lag_sums_avx512(X.data(), Y.data(), sums, scratch);
      return;
    case Isa::avx2:
      lag_sums_avx2(X.data(), Y.data(), sums, scratch);
      return;
#endif
    default:
      lag_sums_baseline(X.data(), Y.data(), sums, scratch);
      return;
  }
}

}  // namespace vok
