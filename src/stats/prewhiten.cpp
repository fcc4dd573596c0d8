#include "stats/prewhiten.h"

#include <cmath>
#include <cstddef>
#include <utility>

namespace vok {

int ar2_residuals(std::span<const float> x, std::span<float> residuals) {
  const std::size_t n = x.size();
  if (n < 5 || residuals.size() < n - 2) return 0;
  // Normal equations of (1, x(t-1), x(t-2)) against x(t), centred on the
  // series' mean for their conditioning.
  double mean = 0.0;
  for (float v : x) mean += v;
  mean /= static_cast<double>(n);
  double a[3][4] = {};
  for (std::size_t t = 2; t < n; ++t) {
    const double r[3] = {1.0, x[t - 1] - mean, x[t - 2] - mean};
    const double target = x[t] - mean;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) a[i][j] += r[i] * r[j];
      a[i][3] += r[i] * target;
    }
  }
  // Gaussian elimination with partial pivoting; a pivot that has lost all
  // but 1e-10 of its column's scale is a singular system.
  const double scale[3] = {a[0][0], a[1][1], a[2][2]};
  for (int c = 0; c < 3; ++c) {
    int pivot = c;
    for (int i = c + 1; i < 3; ++i)
      if (std::fabs(a[i][c]) > std::fabs(a[pivot][c])) pivot = i;
    for (int j = 0; j < 4; ++j) std::swap(a[c][j], a[pivot][j]);
    if (!(std::fabs(a[c][c]) > 1e-10 * scale[c])) return 0;
    for (int i = c + 1; i < 3; ++i) {
      const double f = a[i][c] / a[c][c];
      for (int j = c; j < 4; ++j) a[i][j] -= f * a[c][j];
    }
  }
  double b[3];
  for (int i = 2; i >= 0; --i) {
    double v = a[i][3];
    for (int j = i + 1; j < 3; ++j) v -= a[i][j] * b[j];
    b[i] = v / a[i][i];
  }
  for (std::size_t t = 2; t < n; ++t)
    residuals[t - 2] = static_cast<float>((x[t] - mean) - b[0] - b[1] * (x[t - 1] - mean) -
                                          b[2] * (x[t - 2] - mean));
  return static_cast<int>(n - 2);
}

}  // namespace vok
