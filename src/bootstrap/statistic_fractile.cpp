#include "bootstrap/statistic_fractile.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "stats/messages.h"
#include "stats/chisq.h"
#include "stats/sort.h"

namespace vok {

namespace {

// Statistics below this many are selected directly; above, from a sample.
constexpr std::size_t kDirect = 16384;
constexpr std::size_t kSample = 8192;

// Four values side by side; the comparisons give -1 (true) or 0 per lane.
typedef float Float4 __attribute__((vector_size(16)));
typedef std::int32_t Int4 __attribute__((vector_size(16)));

Float4 load4(const float* p) {
  Float4 v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

struct Bracket {
  std::size_t above = 0, inside = 0;  // values above upper, and in [lower, upper]
};

// The counts of a bracket, four values at a time.
Bracket count_bracket(std::span<const float> x, float lower, float upper) {
  const std::size_t n = x.size();
  Bracket b;
  constexpr std::size_t kBlock = std::size_t{1} << 24;  // below 2^31 per lane
  std::size_t i = 0;
  while (i + 4 <= n) {
    const std::size_t end = i + std::min(kBlock, (n - i) / 4 * 4);
    Int4 above = {}, inside = {};
    for (; i < end; i += 4) {
      const Float4 v = load4(x.data() + i);
      above -= v > upper;
      inside -= (v <= upper) & (v >= lower);
    }
    for (int lane = 0; lane < 4; ++lane) {
      b.above += static_cast<std::size_t>(above[lane]);
      b.inside += static_cast<std::size_t>(inside[lane]);
    }
  }
  for (; i < n; ++i) {
    b.above += x[i] > upper;
    b.inside += (x[i] <= upper) & (x[i] >= lower);
  }
  return b;
}

// The `inside` values of x in [lower, upper], in their order in x. Few
// groups of four hold one, so a group is looked into only when it does.
std::vector<float> collect_bracket(std::span<const float> x, float lower, float upper,
                                   std::size_t inside) {
  std::vector<float> out;
  out.reserve(inside);
  const std::size_t n = x.size();
  std::size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    const Float4 v = load4(x.data() + i);
    const Int4 in = (v <= upper) & (v >= lower);
#if defined(__x86_64__) || defined(__i386__)
    int mask = __builtin_ia32_movmskps(reinterpret_cast<Float4>(in));
#else
    int mask = (in[0] & 1) | (in[1] & 2) | (in[2] & 4) | (in[3] & 8);
#endif
    for (; mask != 0; mask &= mask - 1) out.push_back(v[__builtin_ctz(mask)]);
  }
  for (; i < n; ++i)
    if (x[i] <= upper && x[i] >= lower) out.push_back(x[i]);
  return out;
}

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
  // Sample ranks of lo and hi, widened by four standard deviations of the
  // sample's count of values above a rank's.
  const double scale = static_cast<double>(kSample) / static_cast<double>(n);
  const double q = std::min(0.5, static_cast<double>(std::min(lo, n - hi + 1)) / n);
  const double margin = 4.0 * std::sqrt(static_cast<double>(kSample) * q * (1.0 - q)) + 16.0;
  const auto at = [&](double rank) {
    const auto r = static_cast<std::ptrdiff_t>(std::clamp(rank, 0.0, kSample - 1.0));
    std::nth_element(sample.begin(), sample.begin() + r, sample.end(), std::greater<float>());
    return sample[static_cast<std::size_t>(r)];
  };
  const float upper = at(std::floor(static_cast<double>(lo - 1) * scale - margin));
  const float lower = at(std::ceil(static_cast<double>(hi - 1) * scale + margin));

  const Bracket b = count_bracket(x, lower, upper);
  if (b.above >= lo || b.above + b.inside < hi || b.inside > n / 4)
    return ranks_directly(x, lo, hi);
  std::vector<float> bracket = collect_bracket(x, lower, upper, b.inside);
  const std::size_t above = b.above;
  return ranks_directly(bracket, lo - above, hi - above);
}

}  // namespace

bool cdf_is_quiet(float df) {
  return df >= 0.0f && df <= 20000.0f;
}

float pvalue_of(float statistic, float df) {
  Messages none;  // a quiet df and a finite statistic raise nothing
  float cdf = 0.0f;
  cdchi(statistic, df, cdf, none);
  return 1.0f - cdf;
}

namespace {

// The initial neighbourhood of ranks on either side of the fractile's.
std::size_t first_margin(std::size_t total) {
  return 64 + total / 4096;
}

}  // namespace

float pvalue_fractile(std::span<float> statistics, float df, float level) {
  return *pvalue_fractile(KeptStatistics{statistics, 0, statistics.size()}, df, level);
}

std::optional<float> pvalue_fractile(KeptStatistics statistics, float df, float level) {
  assert(cdf_is_quiet(df));
  Messages none;  // a quiet df raises nothing
  return pvalue_fractile(statistics, level, [&](float statistic) {
    float cdf = 0.0f;
    cdchi(statistic, df, cdf, none);
    return 1.0f - cdf;
  });
}

float pvalue_fractile(std::span<float> statistics, float level,
                      const std::function<float(float)>& pvalue) {
  return *pvalue_fractile(KeptStatistics{statistics, 0, statistics.size()}, level, pvalue);
}

std::optional<float> pvalue_fractile(KeptStatistics statistics, float level,
                                     const std::function<float(float)>& pvalue) {
  const std::size_t n = statistics.total;
  assert(n >= 2 && statistics.above + statistics.kept.size() <= n);
  const FractilePosition at = fractile_position(level, static_cast<int>(n));
  const auto k = static_cast<std::size_t>(at.k), k1 = static_cast<std::size_t>(at.k1);
  // The ranks the kept statistics hold.
  const std::size_t top = statistics.above + 1;
  const std::size_t bottom = statistics.above + statistics.kept.size();
  if (k < top || k1 > bottom) return std::nullopt;
  std::size_t margin = first_margin(n);
  for (;;) {
    // The statistics at descending ranks lo..hi, largest first.
    const std::size_t lo = std::max(top, k > margin ? k - margin : 1);
    const std::size_t hi = std::min(bottom, k1 + margin);
    const std::vector<float> window =
        ranks_of(statistics.kept, lo - statistics.above, hi - statistics.above);
    const auto rank = [&](std::size_t r) { return window[r - lo]; };
    // The p-values are nearly monotone in the statistic: bisection finds the
    // ranks whose p-values clear those at ranks k and k1 by more than the
    // slack, and only the ranks between them get their p-values. Whether they
    // suffice is checked below without relying on the bisection.
    // At its widest the window takes every rank it holds.
    const bool widest = lo == top && hi == bottom;
    const double clear = 1.25 * kPValueSlack;
    const double p_k = pvalue(rank(k)), p_k1 = pvalue(rank(k1));
    std::size_t first = lo, last = hi;
    for (std::size_t low = lo, high = widest ? lo : k; low < high;) {  // the last rank clear below p_k
      const std::size_t mid = low + (high - low + 1) / 2;
      if (pvalue(rank(mid)) + clear <= p_k) {
        first = low = mid;
      } else {
        high = mid - 1;
      }
    }
    for (std::size_t low = widest ? hi : k1, high = hi; low < high;) {  // the first clear above p_k1
      const std::size_t mid = low + (high - low) / 2;
      if (pvalue(rank(mid)) - clear >= p_k1) {
        last = high = mid;
      } else {
        low = mid + 1;
      }
    }
    std::vector<float> p(last - first + 1);
    for (std::size_t r = first; r <= last; ++r) p[r - first] = pvalue(rank(r));
    const double p_first = p.front(), p_last = p.back();
    std::sort(p.begin(), p.end());
    const float at_k = p[k - first], at_k1 = p[k1 - first];
    // Statistics of higher ranks than `first` are at least rank(first), so
    // their p-values are at most p_first + slack; those of lower ranks than
    // `last` have p-values at least p_last - slack. Both must stay on their
    // side of the two order statistics: then these are the k-th and k1-th
    // smallest of all the p-values.
    if ((first == 1 || p_first + kPValueSlack <= at_k) &&
        (last == n || p_last - kPValueSlack >= at_k1))
      return fractile_value(at, at_k, at_k1);
    if (widest) return std::nullopt;  // the kept ranks do not reach far enough
    margin *= 4;
  }
}

StatisticBand band_to_keep(std::span<float> sample, std::size_t total, float level) {
  const std::size_t m = sample.size();
  assert(m >= 1 && total >= m);
  const FractilePosition at = fractile_position(level, static_cast<int>(total));
  // The ranks the selection may reach: four times its first neighbourhood.
  const std::size_t reach = 4 * first_margin(total);
  const auto k = static_cast<std::size_t>(at.k), k1 = static_cast<std::size_t>(at.k1);
  const double lo = static_cast<double>(k > reach ? k - reach : 1);
  const double hi = static_cast<double>(std::min(total, k1 + reach));
  // Their ranks in the sample, widened by five standard deviations of the
  // sample's count of values above a rank's.
  const double scale = static_cast<double>(m) / static_cast<double>(total);
  const double q = std::min(0.5, std::min(lo, static_cast<double>(total) - hi + 1) / total);
  const double margin = 5.0 * std::sqrt(static_cast<double>(m) * q * (1.0 - q)) + 16.0;
  const auto value_at = [&](double rank) {  // descending sample rank from 0
    const auto r = static_cast<std::ptrdiff_t>(rank);
    std::nth_element(sample.begin(), sample.begin() + r, sample.end(), std::greater<float>());
    return sample[static_cast<std::size_t>(r)];
  };
  StatisticBand band;
  const double upper_rank = std::floor((lo - 1) * scale - margin);
  const double lower_rank = std::ceil((hi - 1) * scale + margin);
  if (upper_rank >= 0) band.upper = value_at(upper_rank);
  if (lower_rank < static_cast<double>(m)) band.lower = value_at(lower_rank);
  return band;
}

}  // namespace vok
