// The fast lag-sum kernel of covxy.
//
// For a fixed first lag r the triple sums are dot products of a product
// series with shifted copies of x or y:
//
//   T_xxx(r, s) = sum_t P(t) X(t + s),  T_xxy(r, s) = sum_t P(t) Y(t + s),
//   P(t) = X(t) X(t + r),
//
// and the backward pairs likewise, with Q(u) = Y(u) X(u + k) dotted with
// X(u + k + r). The shifted copies read zeros past the end of the frame, so
// every sum runs over the whole product series. The kernel vectorises across
// the shifts: one vector register holds the running sums of four consecutive
// shifts, each product value is broadcast once and meets several shifted
// loads, and several product series share every load.
//
// Each sum still adds its products one after another in rising t, the
// products are formed exactly as the direct pass forms them, and nothing is
// fused into a multiply-add: the sums are therefore bit for bit those of the
// direct pass (covxy_sums), whatever the instruction set. Terms past the end
// of a series are exact zeros, which leave a running sum unchanged.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>

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

// Number of zeros the kernel reads past the last value of a standardised
// series for L lags.
std::size_t lag_sum_padding(int L);

// Fills every lag sum of `sums` (whose n and L are set and whose vectors are
// sized as covxy_sums sizes them) from the standardised series X and Y: n
// values each followed by lag_sum_padding(L) zeros.
void fast_lag_sums(std::span<const double> X, std::span<const double> Y, FrameSums& sums,
                   Isa isa = best_isa());

// For tests: the lanes and series per pass of the AVX-512 kernel run with
// AVX2, so that its shape can be checked without AVX-512. False (and nothing
// done) without AVX2.
bool fast_lag_sums_wide_shape(std::span<const double> X, std::span<const double> Y,
                              FrameSums& sums);

}  // namespace vok
