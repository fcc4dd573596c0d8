#include "stats/moments.h"

#include <cassert>
#include <cmath>

#include "output/failure.h"

namespace vok {

namespace {

void refuse_empty(int n, const ChannelGroup& diag) {
  if (n < 1) {
    diag.line("");
    diag.line("  n in dsigmn < 1");
    throw Stop{};
  }
}

// sigmn's second pass over K series of n values at once, from their plain
// sums: the pass works with the unrounded mean, and the sum of deviations S1
// corrects for the rounding error that mean still carries. The series' sums
// are independent, so taking them side by side changes none of them.
template <std::size_t K>
std::array<MeanSd, K> from_sums(const std::array<const float*, K>& series, int n,
                                const std::array<double, K>& sums) {
  std::array<double, K> mean, s1{}, s2{};
  for (std::size_t k = 0; k < K; ++k) mean[k] = sums[k] / n;
  for (int t = 0; t < n; ++t) {
    for (std::size_t k = 0; k < K; ++k) {
      const double d = series[k][t] - mean[k];
      s1[k] += d;
      s2[k] += d * d;
    }
  }
  std::array<MeanSd, K> out;
  for (std::size_t k = 0; k < K; ++k) {
    const double variance = (s2[k] - s1[k] * s1[k] / n) / (n - 1);  // 0/0 (NaN) for n = 1
    out[k].mean = static_cast<float>(mean[k]);
    out[k].sd = variance < 0.0 ? 0.0f : static_cast<float>(std::sqrt(variance));
  }
  return out;
}

}  // namespace

MeanSd sigmn(std::span<const float> x, const ChannelGroup& diag) {
  const int n = static_cast<int>(x.size());
  refuse_empty(n, diag);
  double sum = 0.0;
  for (float v : x) sum += v;
  return from_sums<1>({x.data()}, n, {sum})[0];
}

std::array<MeanSd, 2> sigmn(std::span<const float> x, std::span<const float> y,
                            const ChannelGroup& diag) {
  assert(x.size() == y.size());
  const int n = static_cast<int>(x.size());
  refuse_empty(n, diag);
  double sum_x = 0.0, sum_y = 0.0;
  for (int t = 0; t < n; ++t) {
    sum_x += x[t];
    sum_y += y[t];
  }
  return from_sums<2>({x.data(), y.data()}, n, {sum_x, sum_y});
}

std::array<MeanSd, 2> sigmn_from_sums(std::span<const float> x, std::span<const float> y,
                                      double sum_x, double sum_y, const ChannelGroup& diag) {
  assert(x.size() == y.size());
  const int n = static_cast<int>(x.size());
  refuse_empty(n, diag);
  return from_sums<2>({x.data(), y.data()}, n, {sum_x, sum_y});
}

CorFlags cor(int n, int nf, std::span<const float> x, std::span<const float> y,
             std::span<int> positions, float& r, Channel& diag) {
  CorFlags flags;
  if (nf > n) {
    diag.write_free({"nf ", nf, " in sub COR is > n = ", n});
    return flags;
  }
  if (nf < 3) {
    diag.write_free({"nf ", nf, " < 3 in sub COR"});
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
    flags.x = 'n';
    r = 0.0f;
    return flags;
  }
  if (cyy == 0.0) {
    flags.y = 'n';
    r = 0.0f;
    return flags;
  }
  const float product = static_cast<float>(cxx * cyy);
  const float root = static_cast<float>(std::sqrt(static_cast<double>(product)));
  r = static_cast<float>(cxy) / root;
  return flags;
}

}  // namespace vok
