#include "stats/cholesky.h"

#include <cmath>
#include <cstddef>

namespace vok {
namespace {

// Element (i, j), 1-based, of an n x n matrix stored by columns.
template <typename T>
class ColumnMajor {
 public:
  ColumnMajor(std::span<T> data, int n) : data_(data.data()), n_(static_cast<std::size_t>(n)) {}
  T& operator()(int i, int j) const {
    return data_[static_cast<std::size_t>(j - 1) * n_ + static_cast<std::size_t>(i - 1)];
  }

 private:
  T* data_;
  std::size_t n_;
};

}  // namespace

int dcholdc(std::span<double> a_data, int n, std::span<double> p) {
  const ColumnMajor a(a_data, n);
  for (int i = 1; i <= n; ++i) {
    for (int j = i; j <= n; ++j) {
      // The subtraction runs from the nearest column back to the first; the
      // order is part of the result's last bits.
      double s = a(i, j);
      for (int k = i - 1; k >= 1; --k) s -= a(i, k) * a(j, k);
      if (j == i) {
        // A NaN pivot passes this test on purpose: a frame holding a value
        // that is not finite is not a failed fit, its tests are set aside later.
        if (s <= 0.0) return 1;
        p[i - 1] = std::sqrt(s);
      } else {
        a(j, i) = s / p[i - 1];
      }
    }
  }
  return 0;
}

void dcholsl(std::span<const double> a_data, int n, std::span<const double> p,
             std::span<const double> b, std::span<double> x) {
  const ColumnMajor a(a_data, n);
  for (int i = 1; i <= n; ++i) {
    double s = b[i - 1];
    for (int k = i - 1; k >= 1; --k) s -= a(i, k) * x[k - 1];
    x[i - 1] = s / p[i - 1];
  }
  for (int i = n; i >= 1; --i) {
    double s = x[i - 1];
    for (int k = i + 1; k <= n; ++k) s -= a(k, i) * x[k - 1];
    x[i - 1] = s / p[i - 1];
  }
}

void dinverse(std::span<double> a_data, int n, std::span<const double> p) {
  const ColumnMajor a(a_data, n);
  // Inverse of L into the lower triangle, column by column; columns right of
  // i still hold L while column i is formed.
  for (int i = 1; i <= n; ++i) {
    a(i, i) = 1.0 / p[i - 1];
    for (int j = i + 1; j <= n; ++j) {
      double s = 0.0;
      for (int k = i; k <= j - 1; ++k) s -= a(j, k) * a(k, i);
      a(j, i) = s / p[j - 1];
    }
  }
  // inv(L)^T inv(L) into the upper triangle. Row i's diagonal still holds
  // inv(L)(i, i) until every off-diagonal element of the row that reads it
  // has been formed.
  for (int i = 1; i <= n; ++i) {
    for (int j = i + 1; j <= n; ++j) {
      double s = 0.0;
      for (int k = j; k <= n; ++k) s += a(k, i) * a(k, j);
      a(i, j) = s;
    }
    double s = 0.0;
    for (int k = i; k <= n; ++k) s += a(k, i) * a(k, i);
    a(i, i) = s;
  }
  for (int i = 1; i <= n; ++i)
    for (int j = i + 1; j <= n; ++j) a(j, i) = a(i, j);
}

}  // namespace vok
