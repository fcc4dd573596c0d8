#include "stats/moments.h"

#include <cassert>
#include <cmath>


namespace vok {

namespace {

void refuse_empty(int n, Messages& diag) {
  if (n < 1) halt(diag, MessageKind::sigmn_empty);
}

// sigmn's second pass works with the unrounded mean; the sum of deviations
// S1 corrects for the rounding error that mean still carries.
struct Deviations {
  double mean, s1 = 0.0, s2 = 0.0;
  explicit Deviations(double sum, int n) : mean(sum / n) {}
  void add(float v) {
    const double d = v - mean;
    s1 += d;
    s2 += d * d;
  }
  MeanSd moments(int n) const {
    const double variance = (s2 - s1 * s1 / n) / (n - 1);  // 0/0 (NaN) for n = 1
    MeanSd out;
    out.mean = static_cast<float>(mean);
    out.sd = variance < 0.0 ? 0.0f : static_cast<float>(std::sqrt(variance));
    return out;
  }
};

}  // namespace

MeanSd sigmn(std::span<const float> x, Messages& diag) {
  const int n = static_cast<int>(x.size());
  refuse_empty(n, diag);
  double sum = 0.0;
  for (float v : x) sum += v;
  Deviations d(sum, n);
  for (float v : x) d.add(v);
  return d.moments(n);
}

std::array<MeanSd, 2> sigmn(std::span<const float> x, std::span<const float> y,
                            Messages& diag) {
  assert(x.size() == y.size());
  const int n = static_cast<int>(x.size());
  refuse_empty(n, diag);
  double sum_x = 0.0, sum_y = 0.0;
  for (int t = 0; t < n; ++t) {
    sum_x += x[t];
    sum_y += y[t];
  }
  return sigmn_from_sums(x, y, sum_x, sum_y, diag);
}

std::array<MeanSd, 2> sigmn_from_sums(std::span<const float> x, std::span<const float> y,
                                      double sum_x, double sum_y, Messages& diag) {
  assert(x.size() == y.size());
  const int n = static_cast<int>(x.size());
  refuse_empty(n, diag);
  // The two series' sums are independent: side by side, each is what it
  // would be alone.
  Deviations dx(sum_x, n), dy(sum_y, n);
  for (int t = 0; t < n; ++t) {
    dx.add(x[t]);
    dy.add(y[t]);
  }
  return {dx.moments(n), dy.moments(n)};
}

CorFlags cor(int n, int nf, std::span<const float> x, std::span<const float> y,
             std::span<int> positions, float& r, Messages& diag) {
  CorFlags flags;
  if (nf > n) {
    diag.raise(MessageKind::cor_too_many_positions, nf, n);
    return flags;
  }
  if (nf < 3) {
    diag.raise(MessageKind::cor_too_few_positions, nf);
    return flags;
  }
  if (nf == n && n > 0) {
    for (int i = 0; i < n; ++i) positions[i] = i + 1;
  }

  // Summed from the last position to the first, as the correlation summary's
  // printed digits were produced that way.
  double sx = 0.0, sy = 0.0, sxx = 0.0, syy = 0.0, sxy = 0.0;
  for (int k = nf - 1; k >= 0; --k) {
    const int i = positions[k] - 1;
    const double xv = x[i];
    const double yv = y[i];
    sx += xv;
    sy += yv;
    sxx += xv * xv;
    syy += yv * yv;
    sxy += xv * yv;
  }
  const double mx = sx / nf;
  const double my = sy / nf;
  // The association orders differ between the three sums on purpose: they
  // decide the last bits of the result.
  const double cxx = sxx - mx * (nf * mx);
  const double cyy = syy - (nf * my) * my;
  const double cxy = sxy - (nf * mx) * my;

  if (cxx == 0.0) {
    flags.x_varies = false;
    r = 0.0f;
    return flags;
  }
  if (cyy == 0.0) {
    flags.y_varies = false;
    r = 0.0f;
    return flags;
  }
  const float product = static_cast<float>(cxx * cyy);
  const float root = static_cast<float>(std::sqrt(static_cast<double>(product)));
  r = static_cast<float>(cxy) / root;
  return flags;
}

}  // namespace vok
