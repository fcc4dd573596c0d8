// The fast lag-sum kernel of covxy.
//
// For a fixed first lag r every triple sum is a dot product of a product
// series with a shifted copy of x or y:
//
//   T_xxy(r, s) = sum_t P(t) Y(t + s),  T_xxx(r, s) = sum_t P(t) X(t + s),
//   P(t) = X(t) X(t + r),
//
// for the forward pairs (s >= 1) and the backward ones (s <= 0) alike; the
// shifted copies read zeros before and after the frame, so every sum runs
// over the whole product series. The kernel holds the products of several
// lags side by side, one lag per vector lane, and keeps the running sums of
// a window of shifts in registers; each shifted value is loaded once,
// broadcast, and meets every lag of the block.
//
// Each sum still adds its products one after another in rising t, and
// nothing is fused into a multiply-add. A product of two standardised 32-bit
// values is exact in double, so a triple product is the one rounding of the
// exact product whichever pair is formed first. The extra terms outside a
// sum's range are exact zeros, which leave a running sum unchanged. The sums
// are therefore bit for bit those of the direct pass (covxy_sums), whatever
// the instruction set.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "frames/covxy.h"

namespace vok {

// Instruction sets the kernel is compiled for. The program picks the widest
// one the processor offers when it starts; the same binary runs on any
// x86-64 processor.
enum class Isa { baseline, avx2, avx512 };

std::string_view isa_name(Isa isa);
bool isa_available(Isa isa);
// The widest available instruction set.
Isa best_isa();

// Fills every lag sum of `sums` (whose n and L are set and whose vectors are
// sized as covxy_sums sizes them) from the standardised series X and Y (n
// values each, every one a 32-bit real held in double). `scratch` is the
// kernel's work storage: grown when it is too small, its contents are of no
// account, and reusing it saves an allocation per frame.
void fast_lag_sums(std::span<const double> X, std::span<const double> Y, FrameSums& sums,
                   std::vector<double>& scratch, Isa isa = best_isa());

// Products the kernel of an instruction set forms for a frame of n values
// and L lags, lane by lane, against those the sums need: the extra ones are
// the exact zeros of lanes and rows that a vector layout cannot leave out.
// Whether or not the processor offers the instruction set.
struct LaneProducts {
  double formed = 0.0, needed = 0.0;
};
LaneProducts lane_products(int n, int L, Isa isa);

// For tests: the AVX-512 kernel's shape run with AVX2, so that it can be
// checked without AVX-512. False (and nothing done) without AVX2.
bool fast_lag_sums_wide_shape(std::span<const double> X, std::span<const double> Y, FrameSums& sums,
                              std::vector<double>& scratch);

}  // namespace vok
