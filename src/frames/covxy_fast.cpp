#include "frames/covxy_fast.h"

#include <algorithm>
#include <cassert>
#include <cstddef>
#include <cstdint>
#include <type_traits>
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

// splat of a value in memory, for a vector of W lanes when the instruction
// set holds R lanes in a register. The compiler would otherwise build the
// vector from halves or from a register copy, one or more extra vector
// operations per value; the broadcast instruction takes the value straight
// from memory.
template <int W, int R>
[[gnu::always_inline]] inline typename Lanes<W>::Vec broadcast(const double* p) {
#if defined(__x86_64__) || defined(__i386__)
  if constexpr (W >= 4 && W <= R) {
    typename Lanes<W>::Vec v;
    // Any of the 32 AVX-512 registers, or of the 16 before it.
    if constexpr (R == 8)
      asm("vbroadcastsd %1, %0" : "=v"(v) : "m"(*p));
    else
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
// Rows of a product block handled per pass over the windows of shifts: a
// stretch small enough to stay in the processor's caches between windows.
constexpr int kRowsPerPass = 1024;

// How the kernel uses an instruction set: doubles per vector (lags side by
// side), vectors of lags per block, shifts per window. A window's running
// sums (vectors * shifts), its broadcast shifted values (shifts) and a
// vector of products per lag vector must fit the vector registers.
// Serial windows may start a quantum of lanes into a vector (see
// serial_windows), with vectors of that many lanes; `register_lanes` is the
// doubles one register holds.
struct Shape {
  int lanes, vectors, shifts, quantum, register_lanes;
};
constexpr Shape kAvx512Shape{8, 2, 8, 4, 8};  // 16 + 8 + 2 + 1 of 32 registers
constexpr Shape kAvx2Shape{4, 2, 4, 4, 4};    // 8 + 4 + 2 + 2 of 16
constexpr Shape kBaselineShape{2, 2, 4, 2, 2};
// The AVX-512 shape where a register holds four doubles (for the tests).
constexpr Shape kAvx512ShapeOnAvx2{8, 2, 8, 4, 4};

// One step at time t of an unrolled group of G steps (U = 0..G - 1): shift
// g meets the broadcast value in b[(U + g) % G], then b[U] takes the value
// of the window's last shift at time t + 1.
template <int W, int R, int V, int G, int U>
[[gnu::always_inline]] inline void rotating_steps(const double* P, std::ptrdiff_t stride, int t,
                                                  const double* S,
                                                  typename Lanes<W>::Vec (&acc)[G][V],
                                                  typename Lanes<W>::Vec (&b)[G]) {
  using Vec = typename Lanes<W>::Vec;
  if constexpr (U < G) {
    Vec p[V];
    for (int v = 0; v < V; ++v) p[v] = load<W>(P + t * stride + v * W);
#pragma GCC unroll 16
    for (int g = 0; g < G; ++g)
#pragma GCC unroll 4
      for (int v = 0; v < V; ++v) acc[g][v] += p[v] * b[(U + g) % G];
    b[U] = broadcast<W, R>(S + t + G);
    rotating_steps<W, R, V, G, U + 1>(P, stride, t + 1, S, acc, b);
  }
}

// sums[g][v] += sum over t in [begin, end) of P(t)[v] * S[t + g], g < G:
// P holds, for every t, V vectors of W lags side by side (row t at
// P + t stride); S is the shifted series from the window's first shift on;
// sums holds a window's running sums, shift g at sums + g stride. Each lane
// adds its products one after another in rising t. The G broadcast values
// S[t + g] stay in registers and rotate: moving on by one t, the value of
// shift g + 1 becomes that of shift g and one new value is loaded.
template <int W, int R, int V, int G>
[[gnu::always_inline]] inline void shift_window(const double* P, std::ptrdiff_t stride, int begin,
                                                int end, const double* S, double* sums) {
  using Vec = typename Lanes<W>::Vec;
  Vec acc[G][V];
  for (int g = 0; g < G; ++g)
    for (int v = 0; v < V; ++v) acc[g][v] = load<W>(sums + g * stride + v * W);
  int t = begin;
  if (end - begin >= G) {
    Vec b[G];
    for (int g = 0; g < G; ++g) b[g] = broadcast<W, R>(S + t + g);
    for (; t + G <= end; t += G) rotating_steps<W, R, V, G, 0>(P, stride, t, S, acc, b);
  }
  for (; t < end; ++t) {
    Vec p[V];
    for (int v = 0; v < V; ++v) p[v] = load<W>(P + t * stride + v * W);
    for (int g = 0; g < G; ++g) {
      const Vec b = broadcast<W, R>(S + t + g);
      for (int v = 0; v < V; ++v) acc[g][v] += p[v] * b;
    }
  }
  for (int g = 0; g < G; ++g)
    for (int v = 0; v < V; ++v) store<W>(sums + g * stride + v * W, acc[g][v]);
}

// Rounds up to a multiple of k.
constexpr int round_up(int v, int k) {
  return (v + k - 1) / k * k;
}

// A window: the running sums of `shifts` consecutive shifts, from offset
// `offset` on, for `vectors` vectors of `width` lanes from lane `lane` of a
// block, over the rows [begin, end). Rows outside it add only exact zeros
// to every sum of the window, so they are left out.
struct Window {
  int lane, width, vectors, offset, shifts, begin, end;
};

// The layout of a frame's lag sums for a shape: lags r in blocks of
// `lanes * vectors`; shift s of a cross sum at offset s + L (s = -L..L), of a
// serial sum at offset s - 1 (s = 1..r - 1).
struct Layout {
  int n, L;
  Shape shape;
  int block_lags() const { return shape.lanes * shape.vectors; }
  // Lags of the block from r0 that are sums of the frame (at most L).
  int used_lags(int r0) const { return std::min(block_lags(), L + 1 - r0); }
  // Lanes of the block from r0 that the kernel forms: whole vectors.
  int formed_lanes(int r0) const { return round_up(used_lags(r0), shape.lanes); }
};

// Splits `count` consecutive shifts into as few windows of at most G as
// possible, of as nearly equal sizes as possible: a short window has few
// running sums to hide the latency of the adds. Calls split(first, shifts).
template <class Split>
[[gnu::always_inline]] inline void split_shifts(int count, int G, Split&& split) {
  const int windows = (count + G - 1) / G;
  for (int i = 0, first = 0; i < windows; ++i) {
    const int shifts = (count - first) / (windows - i);
    split(first, shifts);
    first += shifts;
  }
}

// The windows of the cross sums of the block from lag r0: every shift
// -L..L for every lag. The sum (r, s) has products for t >= -s and
// t + max(r, s) < n.
template <class Visit>
[[gnu::always_inline]] inline void cross_windows(const Layout& layout, int r0, Visit&& visit) {
  const int n = layout.n, L = layout.L;
  const int vectors = layout.formed_lanes(r0) / layout.shape.lanes;
  split_shifts(2 * L + 1, layout.shape.shifts, [&](int o, int shifts) {
    const int s_first = o - L, s_last = o + shifts - 1 - L;
    const int begin = std::max(0, -s_last);
    const int end = std::max(begin, n - std::max(r0, s_first));
    visit(Window{0, layout.shape.lanes, vectors, o, shifts, begin, end});
  });
}

// The windows of the serial sums of the block from lag r0: shifts
// s = 1..r - 1 for each lag r. A shift below r0 is needed by every lag of
// the block; from r0 on, shift s only by the lags past s. A window starts
// at the first lane that needs one of its shifts, rounded down to a quantum
// of lanes, and runs to the block's last formed lane: a part vector of
// quantum-wide vectors up to a vector boundary, then whole vectors. The sum
// (r, s) has products for t + r < n.
template <class Visit>
[[gnu::always_inline]] inline void serial_windows(const Layout& layout, int r0, Visit&& visit) {
  const int n = layout.n, W = layout.shape.lanes, Q = layout.shape.quantum;
  const int lanes = layout.formed_lanes(r0);
  const int last_shift = r0 + layout.used_lags(r0) - 2;
  // First lane needed by shift s, rounded down to the quantum.
  const auto first_lane = [&](int s) { return std::max(0, s + 1 - r0) / Q * Q; };
  for (int run = 1; run <= last_shift;) {
    // The shifts from `run` on that start at the same lane.
    const int lane = first_lane(run);
    int count = 1;
    while (run + count <= last_shift && first_lane(run + count) == lane) ++count;
    const int whole = round_up(lane, W);
    split_shifts(count, layout.shape.shifts, [&](int first, int shifts) {
      const int s = run + first;
      const auto rows = [&](int from_lane) { return std::max(0, n - std::max(r0 + from_lane, s + 1)); };
      if (whole > lane) visit(Window{lane, Q, (whole - lane) / Q, s - 1, shifts, 0, rows(lane)});
      if (lanes > whole) visit(Window{whole, W, (lanes - whole) / W, s - 1, shifts, 0, rows(whole)});
    });
    run += count;
  }
}

// Runs shift_window for a window whose vector and shift counts are known
// only at run time: V and G count up to the window's.
template <int W, int R, int Vmax, int Gmax, int V = 1, int G = 1>
[[gnu::always_inline]] inline void run_window(const Window& w, const double* P, int stride,
                                              int begin, int end, const double* S, double* sums) {
  if (w.vectors == V && w.shifts == G) {
    shift_window<W, R, V, G>(P + w.lane, stride, begin, end, S + w.offset,
                             sums + static_cast<std::ptrdiff_t>(w.offset) * stride + w.lane);
  } else if constexpr (G < Gmax) {
    run_window<W, R, Vmax, Gmax, V, G + 1>(w, P, stride, begin, end, S, sums);
  } else if constexpr (V < Vmax) {
    run_window<W, R, Vmax, Gmax, V + 1, 1>(w, P, stride, begin, end, S, sums);
  } else {
    assert(false && "window larger than the shape");
  }
}

// Runs one window of a shape's kernel: whole vectors or quantum-wide ones.
template <Shape kShape>
[[gnu::always_inline]] inline void shape_window(const Window& w, const double* P, int begin,
                                                int end, const double* S, double* sums) {
  constexpr int W = kShape.lanes, Q = kShape.quantum, R = kShape.register_lanes;
  constexpr int kBlockLags = W * kShape.vectors;
  if (w.width == W)
    run_window<W, R, kShape.vectors, kShape.shifts>(w, P, kBlockLags, begin, end, S, sums);
  else if constexpr (Q < W)
    run_window<Q, R, W / Q - 1, kShape.shifts>(w, P, kBlockLags, begin, end, S, sums);
}

// A shape's window runner, compiled on its own for the shape's instruction
// set: the loop over the rows then has the vector registers to itself.
using WindowRunner = void (*)(const Window& w, const double* P, int begin, int end,
                              const double* S, double* sums);

// Lane products the sums need at (n, L): one per product of each sum, as the
// direct pass adds them.
double needed_products(int n, int L) {
  auto count = [n](int r, int s) { return n - std::max({0, r, s}) + std::min({0, r, s}); };
  double products = 0.0;
  for (int r = 1; r <= L; ++r) {
    products += 4.0 * (n - r);  // A_x, A_y, B_xy, B_yx
    for (int s = -L; s <= L; ++s) products += (s >= 1 && s < r ? 4.0 : 2.0) * count(r, s);
  }
  return products;
}

// Lane products the kernel forms at (n, L) with a shape: the serial and
// cross sums in the loop that forms a block's products, then the windows,
// each run for two kinds of sums.
double formed_products(int n, int L, Shape shape) {
  const Layout layout{n, L, shape};
  double products = 0.0;
  const auto add = [&products](const Window& w) {
    products += 2.0 * w.width * w.vectors * w.shifts * (w.end - w.begin);
  };
  for (int r0 = 1; r0 <= L; r0 += layout.block_lags()) {
    products += 4.0 * layout.formed_lanes(r0) * std::max(0, n - r0);
    cross_windows(layout, r0, add);
    serial_windows(layout, r0, add);
  }
  return products;
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
// starts at +0 is left as it is by them. The windows (cross_windows,
// serial_windows) leave out the rows where all of a window's terms are such
// zeros, and the lanes where none of a window's sums is needed.
template <Shape kShape, WindowRunner kWindow>
[[gnu::always_inline]] inline void lag_sums(const double* X, const double* Y, FrameSums& sums,
                                            std::vector<double>& scratch) {
  constexpr int W = kShape.lanes;
  constexpr int V = kShape.vectors;
  constexpr int G = kShape.shifts;
  constexpr int Q = kShape.quantum;
  constexpr int R = kShape.register_lanes;
  constexpr int kBlockLags = V * W;
  static_assert(W <= kMaxLanes && W % Q == 0);
  const int n = sums.n;
  const int L = sums.L;
  const Layout layout{n, L, kShape};

  // The lag-0 cross sum, as the direct pass forms it: over t = 1..n - 1 in
  // the pass with r = s = 1, then the last product. With a lag it rides
  // along in the loop over the rows of the first block, which are those t.
  if (L < 1) {
    double xy0 = 0.0;
    for (int t = 0; t < n - 1; ++t) xy0 += X[t] * Y[t];
    if (n >= 1) xy0 += X[n - 1] * Y[n - 1];
    sums.xy0 = xy0;
    return;
  }

  // Shifted copies: Xs[L + t] = X(t), zeros before (L of them) and after,
  // far enough for the last window's rotating loads. Shift s of a sum is
  // offset o = s + L.
  const int offsets = 2 * L + 1;
  const std::size_t shifted_length = static_cast<std::size_t>(n) + L + offsets + 2 * G + kMaxLanes;
  const std::size_t block_length = static_cast<std::size_t>(n) * kBlockLags + kMaxLanes;
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

  for (int r0 = 1; r0 <= L; r0 += kBlockLags) {
    const int lags = layout.used_lags(r0);
    const int vectors = layout.formed_lanes(r0) / W;
    const int m = n - r0;  // rows with a product for some lag of the block

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
      // The loop over the rows, with the lag-0 cross sum or without it.
      const auto rows = [&](auto with_lag_zero) [[gnu::always_inline]] {
        double lag_zero = 0.0;
        for (int t = 0; t < m; ++t) {
          if constexpr (decltype(with_lag_zero)::value) lag_zero += X[t] * Y[t];
          const Vec x = broadcast<W, R>(X + t);
          const Vec y = broadcast<W, R>(Y + t);
          double* pxx = Pxx + static_cast<std::size_t>(t) * kBlockLags;
          double* pyy = Pyy + static_cast<std::size_t>(t) * kBlockLags;
#pragma GCC unroll 4
          for (int v = 0; v < V; ++v) {
            if (v >= vectors) break;
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
        return lag_zero;
      };
      if (r0 == 1) {
        const double lag_zero = rows(std::true_type{});
        sums.xy0 = n >= 1 ? lag_zero + X[n - 1] * Y[n - 1] : lag_zero;
      } else {
        rows(std::false_type{});
      }
      // Through memory, so that the running sums stay in registers in the loop.
      double lanes[4][kBlockLags];
      for (int v = 0; v < V; ++v) {
        store<W>(lanes[0] + v * W, ax[v]);
        store<W>(lanes[1] + v * W, ay[v]);
        store<W>(lanes[2] + v * W, bxy[v]);
        store<W>(lanes[3] + v * W, byx[v]);
      }
      std::copy_n(lanes[0], lags, sums.ax.begin() + (r0 - 1));
      std::copy_n(lanes[1], lags, sums.ay.begin() + (r0 - 1));
      std::copy_n(lanes[2], lags, sums.bxy.begin() + (r0 - 1));
      std::copy_n(lanes[3], lags, sums.byx.begin() + (r0 - 1));
    }
    // Rows in passes that keep a stretch of the product blocks in the
    // caches; a sum carries over from pass to pass unchanged.
    for (int pass = 0; pass < m; pass += kRowsPerPass) {
      const int pass_end = std::min(m, pass + kRowsPerPass);
      // The part of a window's rows in this pass, for both kinds of sums.
      const auto run = [&](const double* S1, double* sums1, const double* S2, double* sums2) {
        return [=](const Window& w) {
          const int begin = std::max(w.begin, pass), end = std::min(w.end, pass_end);
          if (begin >= end) return;
          kWindow(w, Pxx, begin, end, S1, sums1);
          kWindow(w, Pyy, begin, end, S2, sums2);
        };
      };
      cross_windows(layout, r0, run(Ys, xxy, Xs, yyx));
      serial_windows(layout, r0, run(Xs + L + 1, xxx, Ys + L + 1, yyy));
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

// Each instruction set's kernel and window runner.
#define VOK_KERNEL(name, target_attribute, shape)                                               \
  target_attribute [[gnu::noinline]] void window_##name(const Window& w, const double* P,      \
                                                        int begin, int end, const double* S,   \
                                                        double* sums) {                        \
    shape_window<shape>(w, P, begin, end, S, sums);                                            \
  }                                                                                            \
  target_attribute void lag_sums_##name(const double* X, const double* Y, FrameSums& sums,     \
                                        std::vector<double>& scratch) {                        \
    lag_sums<shape, window_##name>(X, Y, sums, scratch);                                       \
  }

#if defined(__x86_64__) || defined(__i386__)
#define VOK_X86 1
VOK_KERNEL(avx512, __attribute__((target("avx512f,avx512vl"))), kAvx512Shape)
VOK_KERNEL(avx2, __attribute__((target("avx2"))), kAvx2Shape)
// The shape of the AVX-512 kernel (lanes, lag vectors, shifts) on AVX2, so
// that the tests can check it on processors without AVX-512: each vector
// takes two registers here, which only costs speed.
VOK_KERNEL(avx512_shape_on_avx2, __attribute__((target("avx2"))), kAvx512ShapeOnAvx2)
#endif
VOK_KERNEL(baseline, , kBaselineShape)
#undef VOK_KERNEL

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

LaneProducts lane_products(int n, int L, Isa isa) {
  const Shape shape = isa == Isa::avx512 ? kAvx512Shape
                      : isa == Isa::avx2 ? kAvx2Shape
                                         : kBaselineShape;
  return {formed_products(n, L, shape), needed_products(n, L)};
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
