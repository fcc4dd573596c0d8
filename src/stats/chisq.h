// The chi-square distribution function and the incomplete gamma function it
// rests on. Messages are raised on the list the caller passes; nothing here
// halts.
#pragma once

#include "stats/messages.h"

namespace vok {

// p = P(df/2, x/2), the chi-square CDF value of statistic x with df degrees
// of freedom (0 below 1e-4). p is left unchanged when x < 0 or df < 0.
void cdchi(float x, float df, float& p, Messages& diag);

// Regularised lower incomplete gamma function P(a, x).
float gammp(float a, float x, Messages& diag);

struct GammaSeries {
  double value = 0.0;  // P(a, x) for gser, Q(a, x) for gcf
  double log_gamma_a = 0.0;
};
GammaSeries gser(double a, double x, Messages& diag);
GammaSeries gcf(double a, double x, Messages& diag);

// ln Gamma(a), six-term Lanczos series.
double gammln(double a);

}  // namespace vok
