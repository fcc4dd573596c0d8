// The fractile of a test's bootstrap p-values from the resamples'
// statistics, with the chi-square CDF evaluated only near the ranks the
// fractile needs.
//
// A p-value is 1 minus the 32-bit chi-square CDF value of its statistic, a
// nondecreasing function of the statistic apart from the last bits of its
// rounding and of its series' truncation. So the k-th smallest p-value
// belongs, near enough, to the k-th largest statistic: the statistics are
// selected (not ordered) at the ranks the fractile interpolates between and a
// neighbourhood of ranks around them, only those get their p-values, and
// those are ordered. The neighbourhood grows until it is wide enough that no
// statistic outside it can have a p-value on the wrong side of the two
// order statistics: for statistics s >= s', p(s) <= p(s') + kPValueSlack,
// a bound far above the CDF's worst step backwards (none was found in the
// scans of the tests). The result is the fractile of the p-values, to the
// last bit, as the ordering of every resample's p-value (sort, control 'B')
// gives it.
#pragma once

#include <cstddef>
#include <functional>
#include <limits>
#include <optional>
#include <span>

namespace vok {

// The most a p-value can exceed that of a smaller statistic: 2^-14, over four
// times the most the two branches' truncation errors can add up to at 2 10^4
// degrees of freedom (their relative tolerance 3e-7 times the ratio of a
// series' tail to its last term), and some 40 times that up to 200.
inline constexpr double kPValueSlack = 0x1p-14;

// True when the chi-square CDF of df degrees of freedom raises no message for
// any finite statistic >= 0 (its series and continued fraction converge well
// within their iteration limit up to about 10^5 degrees of freedom; this
// allows 2 10^4).
bool cdf_is_quiet(float df);

// The p-value 1 - CDF value of a statistic, as the frame tests form it.
// Requires cdf_is_quiet(df) and a finite statistic >= 0.
float pvalue_of(float statistic, float df);

// The statistics of a test that were kept: `above` statistics larger than
// every kept one were only counted, and `kept` holds all the others down to
// some value (all of the rest when above + kept.size() == total); `total` is
// the number of resamples.
struct KeptStatistics {
  std::span<float> kept;
  std::size_t above = 0, total = 0;
};

// The fractile at `level` (sort's positions) of the p-values of the `total`
// statistics (B >= 2 finite values >= 0) with df degrees of freedom
// (cdf_is_quiet), or nothing when the kept statistics do not reach far
// enough around the fractile's ranks. The kept statistics are reordered.
std::optional<float> pvalue_fractile(KeptStatistics statistics, float df, float level);
// The same with every statistic kept.
float pvalue_fractile(std::span<float> statistics, float df, float level);
// The same for the p-values of any function of the statistic that never
// rises by more than kPValueSlack as the statistic grows.
std::optional<float> pvalue_fractile(KeptStatistics statistics, float level,
                                     const std::function<float(float)>& pvalue);
float pvalue_fractile(std::span<float> statistics, float level,
                      const std::function<float(float)>& pvalue);

// The statistics to keep of `total` resamples for the fractile at `level`:
// those in [lower, upper] (the larger ones are only counted). Chosen from a
// sample of them (reordered) so that the band holds the ranks the selection
// reaches, with five standard deviations of the sample's error to spare.
struct StatisticBand {
  float lower = -std::numeric_limits<float>::infinity();
  float upper = std::numeric_limits<float>::infinity();
};
StatisticBand band_to_keep(std::span<float> sample, std::size_t total, float level);

}  // namespace vok
