// Cholesky factorisation, solve and inverse of a symmetric positive definite
// matrix, in place, in 64-bit reals. Matrices are n x n, stored by columns:
// element (i, j) (1-based) is a[(j - 1) * n + (i - 1)].
#pragma once

#include <span>

namespace vok {

// Factors a = L L^T reading only the upper triangle; L's strict lower part
// goes into a's strict lower triangle, its diagonal into p. Returns 0, or 1
// when a pivot is <= 0 (the factor is then incomplete).
int dcholdc(std::span<double> a, int n, std::span<double> p);

// Solves L L^T x = b with the factor left by dcholdc.
void dcholsl(std::span<const double> a, int n, std::span<const double> p, std::span<const double> b,
             std::span<double> x);

// Replaces a by the full symmetric inverse, from the factor.
void dinverse(std::span<double> a, int n, std::span<const double> p);

}  // namespace vok
