#include "data/descriptive.h"

#include <cmath>

namespace vok {

DescriptiveStats stat(std::span<const float> x, Messages& diag) {
  DescriptiveStats out;
  const int n = static_cast<int>(x.size());
  float hi = x[0];
  float lo = x[0];
  double sum = 0.0;
  double sum_sq = 0.0;
  for (float v : x) {
    if (v >= hi) hi = v;
    if (v < lo) lo = v;
    sum += v;
    sum_sq += static_cast<double>(v) * v;
  }
  out.max = hi;
  out.min = lo;
  const double m = sum / n;
  out.mean = static_cast<float>(m);

  double ss = sum_sq - m * sum;
  if (ss <= 0.0) {
    diag.raise(MessageKind::stat_no_variance, ss);
    out.sd = -1.0f;
    return out;  // skewness, kurtosis and C(6) stay 0
  }
  if (ss <= 1.0e-5) {
    // The one-pass value has cancelled down to the size of its own rounding
    // error (a large common offset); sum the squared deviations instead.
    ss = 0.0;
    for (float v : x) {
      const double d = v - m;
      ss += d * d;
    }
  }
  const double s = std::sqrt(ss / (n - 1));

  double sum3 = 0.0;
  double sum4 = 0.0;
  double sum6 = 0.0;
  for (float v : x) {
    const double d = v - m;
    const double d2 = d * d;
    const double d3 = d2 * d;
    sum3 += d3;
    sum4 += d2 * d2;
    sum6 += d3 * d3;
  }
  const double s3 = s * s * s;
  const double s4 = s3 * s;
  const double s6 = s3 * s3;
  const double skewness = sum3 / (n * s3);
  const double kurtosis = sum4 / (n * s4) - 3.0;
  const double c6 = sum6 / (n * s6) - 15.0 * kurtosis - 10.0 * skewness * skewness - 15.0;

  out.sd = static_cast<float>(s);
  out.skewness = static_cast<float>(skewness);
  out.kurtosis = static_cast<float>(kurtosis);
  out.c6 = static_cast<float>(c6);
  return out;
}

}  // namespace vok
