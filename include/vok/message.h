// The messages an analysis raises: what went wrong or what was odd, with the
// numbers it concerns, and where in the analysis it was raised. Part of
// <vok/vok.h>; the console program turns each into the lines it has always
// written, an API user reads them with describe().
#pragma once

#include <array>
#include <string>

#include "version.h"

namespace vok {

// Where in the analysis a message was raised (the order a frame's lines take
// on the console program's report follows the frame's stages).
enum class Stage {
  run,          // outside the frames and their steps below
  statistics,   // the descriptive statistics of x and y
  bootstrap,    // the bootstrap's resamples and their fractiles
  var_fit,      // a frame's VAR fit
  x_residuals,  // statistics of a frame's x residuals
  y_residuals,  // statistics of a frame's y residuals
  tests,        // a frame's tests
  summary,      // the correlation summary across frames
};

// Every message the analysis can raise. numbers[0] and numbers[1] hold the
// values named after the kind (in the order given), unused ones 0.
enum class MessageKind {
  gser_negative_x,           // the series of the incomplete gamma function got x < 0
  gser_too_many_iterations,  // the series did not converge: a
  gcf_too_many_iterations,   // the continued fraction did not converge: a
  gammp_bad_argument,        // incomplete gamma function with x < 0 or a <= 0
  cdchi_x_not_positive,      // chi-square CDF of a negative statistic: x
  cdchi_df_not_positive,     // chi-square CDF with negative degrees of freedom: df
  sigmn_empty,               // mean and deviation of no values (fatal)
  cor_too_many_positions,    // correlation over more positions than values: nf, n
  cor_too_few_positions,     // correlation over fewer than 3 positions: nf
  stat_no_variance,          // a series without spread: its sum of squares
  sort_empty,                // ordering no values: n
  sort_bad_control,          // ordering with an unknown control: its character code
  sort_no_fractiles,         // fractiles asked for none: their count
  sort_single_value,         // fractiles of a single value are that value: n
  cholesky_failed,           // the VAR's normal equations are not positive definite
  var_fit_failed,            // the VAR fit failed (fatal): its status
  out_of_memory,             // work space could not be had (fatal): see Message::arrays
};

// Whose work space an out_of_memory message concerns.
enum class Arrays {
  none,
  var_coefficients,  // the VAR fit's coefficients and their standard errors
  var_equations,     // the VAR fit's normal equations
  frames,            // the frames' work space
  bootstrap,         // the bootstrap's resamples
};

struct Message {
  MessageKind kind = MessageKind::gammp_bad_argument;
  Stage stage = Stage::run;
  int frame = 0;  // 1-based frame, 0 outside the frames
  // The values the message concerns, each stored exactly (a 32-bit real or
  // an integer converts back to what it was).
  std::array<double, 2> numbers{};
  Arrays arrays = Arrays::none;  // with out_of_memory
  bool operator==(const Message&) const = default;
};

// "gser_negative_x", "cdchi_x_not_positive", ...: the kind's name as above.
VOK_API const char* name(MessageKind kind);
// One readable line: what happened, with the message's numbers.
VOK_API std::string describe(const Message& message);

}  // namespace vok
