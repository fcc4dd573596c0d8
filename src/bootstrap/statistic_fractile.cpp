#include "bootstrap/statistic_fractile.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <functional>
#include <vector>

#include "output/channel.h"
#include "stats/chisq.h"
#include "stats/sort.h"

namespace vok {

namespace {

// Statistics below this many are selected directly; above, from a sample.
constexpr std::size_t kDirect = 4096;
constexpr std::size_t kSample = 4096;

// The values at descending ranks lo..hi (1-based) of x, largest first,
// selected directly; x is reordered.
std::vector<float> ranks_directly(std::span<float> x, std::size_t lo, std::size_t hi) {
  const auto greater = std::greater<float>();
  auto first = x.begin() + static_cast<std::ptrdiff_t>(lo - 1);
  auto last = x.begin() + static_cast<std::ptrdiff_t>(hi - 1);
  std::nth_element(x.begin(), first, x.end(), greater);
  if (hi > lo) std::nth_element(first + 1, last, x.end(), greater);
  std::sort(first, last + 1, greater);
  return {first, last + 1};
}

// The same from a bracket of values: a deterministic sample of x gives two
// values that should enclose ranks lo..hi; one pass counts the values above
// the bracket and another collects those inside it, and the collected ones
// are ordered. When the bracket misses, or holds too many values (a run of
// equal ones), the selection is made directly.
std::vector<float> ranks_of(std::span<float> x, std::size_t lo, std::size_t hi) {
  const std::size_t n = x.size();
  if (n <= kDirect) return ranks_directly(x, lo, hi);
  std::vector<float> sample(kSample);
  for (std::size_t i = 0; i < kSample; ++i) sample[i] = x[i * n / kSample];
  std::sort(sample.begin(), sample.end(), std::greater<float>());
  // Sample ranks of lo and hi, widened by several standard deviations of a
  // rank's sampling error and by the range itself.
  const double scale = static_cast<double>(kSample) / static_cast<double>(n);
  const double margin = 4.0 * std::sqrt(static_cast<double>(kSample)) + 8.0;
  const auto at = [&](double rank) {
    return sample[static_cast<std::size_t>(std::clamp(rank, 0.0, kSample - 1.0))];
  };
  const float upper = at(std::floor(static_cast<double>(lo - 1) * scale - margin));
  const float lower = at(std::ceil(static_cast<double>(hi - 1) * scale + margin));

  std::size_t above = 0, inside = 0;
  for (const float v : x) {
    above += v > upper;
    inside += (v <= upper) & (v >= lower);
  }
  if (above >= lo || above + inside < hi || inside > n / 8) return ranks_directly(x, lo, hi);
  std::vector<float> bracket;
  bracket.reserve(inside);
  for (const float v : x)
    if (v <= upper && v >= lower) bracket.push_back(v);
  return ranks_directly(bracket, lo - above, hi - above);
}

}  // namespace

bool cdf_is_quiet(float df) {
  return df >= 0.0f && df <= 20000.0f;
}

float pvalue_of(float statistic, float df) {
  Channel quiet;  // closed: there is nothing to write
  float cdf = 0.0f;
  cdchi(statistic, df, cdf, quiet);
  return 1.0f - cdf;
}

float pvalue_fractile(std::span<float> statistics, float df, float level) {
  const std::size_t n = statistics.size();
  assert(n >= 2 && cdf_is_quiet(df));
  const FractilePosition at = fractile_position(level, static_cast<int>(n));
  const auto k = static_cast<std::size_t>(at.k), k1 = static_cast<std::size_t>(at.k1);
  // The p-values of B resamples spread over [0, 1] about B to the unit, so
  // about n times the slack of them lie within the slack of a p-value.
  std::size_t margin = 8 + static_cast<std::size_t>(static_cast<double>(n) * 2.0 * kPValueSlack);
  for (;;) {
    const std::size_t lo = k > margin ? k - margin : 1;
    const std::size_t hi = std::min(n, k1 + margin);
    // Descending statistics at ranks lo..hi, and their p-values in order.
    const std::vector<float> window = ranks_of(statistics, lo, hi);
    std::vector<float> p(window.size());
    for (std::size_t i = 0; i < window.size(); ++i) p[i] = pvalue_of(window[i], df);
    const double first = p.front(), last = p.back();
    std::sort(p.begin(), p.end());
    const float at_k = p[k - lo], at_k1 = p[k1 - lo];
    // Statistics of higher ranks are at least window.front(), so their
    // p-values are at most first + slack; those of lower ranks at least
    // last - slack. Both must stay on their side of the order statistics.
    const bool whole = lo == 1 && hi == n;
    if (whole || ((lo == 1 || first + kPValueSlack <= at_k) &&
                  (hi == n || last - kPValueSlack >= at_k1)))
      return fractile_value(at, at_k, at_k1);
    margin *= 4;
  }
}

}  // namespace vok
