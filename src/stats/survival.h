// The chi-square survival function in double precision, for p-values that
// keep their digits far into the tail (where 1 minus a 32-bit CDF value is 0).
#pragma once

namespace vok {

// Q(df/2, x/2) = P(X > x) for X chi-square with df degrees of freedom:
// 1 for x <= 0, NaN for df < 1 or x not a number. Relative error about 1e-14
// down to the smallest normal double.
double chi_square_survival(double x, int df);

}  // namespace vok
