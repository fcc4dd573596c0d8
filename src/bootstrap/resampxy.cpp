#include "bootstrap/resampxy.h"

#include <algorithm>
#include <cmath>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <limits>
#include <string>

#include "bootstrap/statistic_fractile.h"
#include "exec/parallel.h"
#include "exec/progress.h"
#include "frames/covxy.h"
#include "stats/chisq.h"
#include "stats/moments.h"
#include "stats/sort.h"
#include "vok/vok.h"

namespace vok {

int resample_index(float u, int N) {
  if (!(u > 0.0f)) return 1;
  if (u >= 1.0f) return N;
  // Below 2^29 rows, N u has at most 29 + 24 significant bits and is exact in
  // double, so its floor is the exact one (and cheap).
  if (N < (1 << 29)) {
    const auto k = static_cast<int>(static_cast<double>(N) * static_cast<double>(u));
    return std::min(k + 1, N);
  }
  // u = m 2^(e - 24) with m a 24-bit integer, so N u = N m / 2^(24 - e)
  // exactly; N m < 2^55 fits 64 bits, and the shift takes the floor.
  int e = 0;
  const float fraction = std::frexp(u, &e);
  const auto m = static_cast<std::uint64_t>(std::ldexp(fraction, 24));
  const int shift = 24 - e;
  const std::uint64_t product = static_cast<std::uint64_t>(N) * m;
  const std::uint64_t k = shift >= 64 ? 0 : product >> shift;
  return static_cast<int>(std::min<std::uint64_t>(k + 1, static_cast<std::uint64_t>(N)));
}

// A number of the stream is u = m 2^-24 with m = UniformStream::bits, an
// integer below 2^24, so N u = N m 2^-24 is exact (in double as in 64-bit
// integers) and its floor, below N, is N m shifted right by 24: the index
// resample_index forms on either of its paths, less 1. Each index is formed
// on its own, several side by side where the processor multiplies 64-bit
// integers in vectors.
__attribute__((target_clones("arch=x86-64-v4", "default"))) void resample_indices(
    std::uint64_t first, int N, std::span<int> index) {
  const auto count = static_cast<std::uint64_t>(N);
  int* out = index.data();
  const std::size_t size = index.size();
  for (std::size_t i = 0; i < size; ++i)
    out[i] = static_cast<int>((count * UniformStream::bits(first + i)) >> 24);
}

ResampleWork::ResampleWork(int n, int, SumsKernel kernel)
    : x(n), y(n), index(2 * static_cast<std::size_t>(n)), kernel(kernel) {}

namespace {

// Four floats side by side (unaligned loads and stores through Float4U).
typedef float Float4 __attribute__((vector_size(16)));
typedef float Float4U __attribute__((vector_size(16), aligned(4), may_alias));

// Replaces each value of x and of y by (value - mean) / standard deviation
// of its series, and returns the plain sums of the new values, each added
// in rising order from 0.0 as sigmn's first pass adds them. The quotients are
// formed four at a time; the sums, one value after another.
std::array<double, 2> standardise(std::span<float> x, const MeanSd& mx, std::span<float> y,
                                  const MeanSd& my) {
  const std::size_t n = x.size();
  float* px = x.data();
  float* py = y.data();
  double sum_x = 0.0, sum_y = 0.0;
  std::size_t t = 0;
  for (; t + 4 <= n; t += 4) {
    const Float4 zx = (*reinterpret_cast<const Float4U*>(px + t) - mx.mean) / mx.sd;
    const Float4 zy = (*reinterpret_cast<const Float4U*>(py + t) - my.mean) / my.sd;
    *reinterpret_cast<Float4U*>(px + t) = zx;
    *reinterpret_cast<Float4U*>(py + t) = zy;
    for (int lane = 0; lane < 4; ++lane) {
      sum_x += zx[lane];
      sum_y += zy[lane];
    }
  }
  for (; t < n; ++t) {
    px[t] = (px[t] - mx.mean) / mx.sd;
    py[t] = (py[t] - my.mean) / my.sd;
    sum_x += px[t];
    sum_y += py[t];
  }
  return {sum_x, sum_y};
}

}  // namespace

namespace {

// The lag sums of the resample whose 2n uniforms start at `first`: drawn,
// standardised, and summed by the tests' kernel into work.tests.
const FrameSums& resample_sums(std::span<const float> x, std::span<const float> y, int n, int L,
                               std::uint64_t first, ResampleWork& work, Messages& diag) {
  std::span<float> xs(work.x.data(), n);
  std::span<float> ys(work.y.data(), n);
  std::span<int> x_index(work.index.data(), n);
  std::span<int> y_index(work.index.data() + n, n);
  // The indices first, then the values: the columns can be far larger than
  // the caches, and a loop of plain loads keeps many of its misses in flight.
  resample_indices(first, static_cast<int>(x.size()), x_index);
  resample_indices(first + static_cast<std::uint64_t>(n), static_cast<int>(y.size()), y_index);
  double sum_x = 0.0, sum_y = 0.0;
  for (int t = 0; t < n; ++t) {
    xs[t] = x[x_index[t]];
    ys[t] = y[y_index[t]];
    sum_x += xs[t];
    sum_y += ys[t];
  }
  // Each series is standardised, and the tests standardise it once more with
  // the moments of its standardised values (which differ a little from 0 and
  // 1): the sums of those moments' first pass are formed as the values are
  // written.
  const auto [mx, my] = sigmn_from_sums(xs, ys, sum_x, sum_y, diag);
  const auto [sum_zx, sum_zy] = standardise(xs, mx, ys, my);
  const auto [mzx, mzy] = sigmn_from_sums(xs, ys, sum_zx, sum_zy, diag);
  return covxy_sums(xs, ys, mzx, mzy, L, work.kernel, work.tests);
}

}  // namespace

std::array<float, kTestCount> resample_pvalues(std::span<const float> x, std::span<const float> y,
                                               int n, int L, std::uint64_t first,
                                               ResampleWork& work, Messages& diag) {
  const FrameTests t = covxy_tests(resample_sums(x, y, n, L, first, work, diag), {}, diag);
  std::array<float, kTestCount> p{};
  for (Test test : kTests) p[test_index(test)] = 1.0f - t.cdf[test];
  return p;
}

ResampleStatistics resample_statistics(std::span<const float> x, std::span<const float> y, int n,
                                       int L, std::uint64_t first, ResampleWork& work,
                                       Messages& diag) {
  const FrameStatistics st = covxy_statistics(resample_sums(x, y, n, L, first, work, diag));
  return {static_cast<float>(st.hxxy), static_cast<float>(st.hyyx), static_cast<float>(st.hxxx),
          static_cast<float>(st.hyyy), static_cast<float>(st.cx),   static_cast<float>(st.cy),
          static_cast<float>(st.cxy)};
}

namespace {

// The fractile at `alpha` of one test's p-values by ordering them all (sort,
// control 'B', which raises its messages): the route for fewer than two
// resamples or a p-value that is NaN. `order` is sort's work space (at
// least one entry); sort's status goes to `status`.
float ordering_fractile(std::span<int> order, std::span<const float> p, float alpha, int& status,
                        Messages& messages) {
  const float level[1] = {alpha};
  float fractile[1] = {alpha};
  status = sort(order, p, level, fractile, 'B', messages);
  return fractile[0];
}


// The thresholds of B < 2 resamples, through every p-value and sort, which
// raises its messages for a single value or none.
Thresholds few_resamples(std::span<const float> x, std::span<const float> y, int n, int L,
                         std::size_t resamples, float alpha, UniformStream& uniforms,
                         Messages& diag, const std::atomic<bool>* cancel, SumsKernel kernel) {
  std::array<std::vector<float>, kTestCount> pvalues;
  std::vector<int> order(1);
  ResampleWork work(n, L, kernel);
  const std::uint64_t per_resample = 2 * static_cast<std::uint64_t>(n);
  for (std::size_t b = 0; b < resamples; ++b) {
    if (cancel && cancel->load(std::memory_order_relaxed))
      throw Cancelled("the analysis was cancelled");
    const auto p = resample_pvalues(x, y, n, L, uniforms.position() + b * per_resample, work, diag);
    for (int t = 0; t < kTestCount; ++t) pvalues[t].push_back(p[t]);
  }
  uniforms.advance(per_resample * resamples);
  Thresholds result;
  for (int t = 0; t < kTestCount; ++t)
    result.values[t] = ordering_fractile(order, pvalues[t], alpha, result.status, diag);
  return result;
}

// The degrees of freedom of each test (kTests order) at L lags.
std::array<float, kTestCount> degrees_of_freedom(int L) {
  FrameSums none;
  none.L = L;
  none.degenerate = true;
  const FrameStatistics st = covxy_statistics(none);
  std::array<float, kTestCount> df{};
  df[kHxxy] = df[kHyyx] = static_cast<float>(st.df_list);
  df[kHxxx] = df[kHyyy] = static_cast<float>(st.df_h);
  df[kCx] = df[kCy] = static_cast<float>(st.df_c);
  df[kCxy] = static_cast<float>(st.df_cxy);
  return df;
}

// The order in which the frame tests take the chi-square step.
constexpr std::size_t kCdfOrder[kTestCount] = {kCx, kCy, kCxy, kHxxx, kHyyy, kHxxy, kHyyx};

}  // namespace

namespace {

// The resamples of one call: the data, the frame shape, the stream and the
// work storage of each thread.
class Resampler {
 public:
  Resampler(std::span<const float> x, std::span<const float> y, int n, int L, std::uint64_t start,
            int threads, const std::atomic<bool>* cancel, SumsKernel kernel)
      : x_(x), y_(y), n_(n), L_(L), start_(start), threads_(threads), cancel_(cancel),
        batched_(ResampleBatch::fits(n, L)), df_(degrees_of_freedom(L)) {
    for (int w = 0; w < threads; ++w) {
      if (batched_)
        batches_.emplace_back(n, L);
      else
        work_.emplace_back(n, L, kernel);
    }
    for (int t = 0; t < kTestCount; ++t) quiet_df_[t] = cdf_is_quiet(df_[t]);
  }

  const std::array<float, kTestCount>& df() const { return df_; }

  // What is kept of each test's statistics: those in its band (every one
  // when `all`), and the count of those above it.
  struct Keep {
    std::array<StatisticBand, kTestCount> band;
    std::array<bool, kTestCount> all{};
  };
  struct Kept {
    std::array<std::vector<float>, kTestCount> statistics;
    std::array<std::size_t, kTestCount> above{};
    unsigned loud = 0;  // bit t: test t took the chi-square step in its resamples
  };

  // Resamples [begin, end), in tasks of many on the threads. A task keeps
  // its messages (and a halt) until its turn comes, so that they reach
  // `diag` in resample order. The only messages are the chi-square step's,
  // for a statistic that is not finite or degrees of freedom beyond
  // cdf_is_quiet: such a statistic takes the step in its resample, as the
  // frame tests take it, and marks its test loud. `diag` null: the messages
  // are not wanted.
  void take(std::size_t begin, std::size_t end, const Keep& keep, Kept& kept, Messages* diag,
            Progress* progress) {
    const std::size_t lanes = batched_ ? static_cast<std::size_t>(batches_.front().lanes()) : 1;
    const std::size_t count = end - begin;
    const std::size_t task =
        lanes * std::clamp<std::size_t>(count / (lanes * threads_ * 16), 1, 64);
    struct Task {
      std::vector<Message> messages;
      std::exception_ptr stop;
      Kept kept;
    };
    const std::uint64_t per_resample = 2 * static_cast<std::uint64_t>(n_);
    ordered_map<Task>(
        (count + task - 1) / task,
        [&](std::size_t i, int worker) {
          Task r;
          Messages diag(Stage::bootstrap);
          const std::size_t first = begin + i * task, last = std::min(end, first + task);
          ResampleStatistics batch[kMaxBatchLanes];
          try {
            for (std::size_t b = first; b < last; b += lanes) {
              if (cancel_ && cancel_->load(std::memory_order_relaxed))
                throw Cancelled("the analysis was cancelled");
              const int size = static_cast<int>(std::min(lanes, last - b));
              const std::uint64_t at = start_ + b * per_resample;
              if (batched_)
                batches_[worker].statistics(x_, y_, at, size, batch);
              else
                batch[0] = resample_statistics(x_, y_, n_, L_, at, work_[worker], diag);
              for (int j = 0; j < size; ++j) {
                for (const std::size_t t : kCdfOrder) {
                  const float s = batch[j][t];
                  const StatisticBand& band = keep.band[t];
                  if (keep.all[t] || (s <= band.upper && s >= band.lower))
                    r.kept.statistics[t].push_back(s);
                  r.kept.above[t] += s > band.upper;
                  if (!quiet_df_[t] || !std::isfinite(s)) {
                    float cdf = 0.0f;
                    cdchi(s, df_[t], cdf, diag);
                    r.kept.loud |= 1u << t;
                  }
                }
              }
            }
          } catch (const Cancelled&) {
            throw;
          } catch (...) {
            r.stop = std::current_exception();
          }
          r.messages = diag.take();
          if (progress) progress->advance(last - first);
          return r;
        },
        [&](std::size_t, Task&& r) {
          if (diag) diag->append(r.messages);
          if (r.stop) std::rethrow_exception(r.stop);
          for (int t = 0; t < kTestCount; ++t) {
            auto& into = kept.statistics[t];
            into.insert(into.end(), r.kept.statistics[t].begin(), r.kept.statistics[t].end());
            kept.above[t] += r.kept.above[t];
          }
          kept.loud |= r.kept.loud;
        },
        threads_);
  }

 private:
  std::span<const float> x_, y_;
  int n_, L_;
  std::uint64_t start_;
  int threads_;
  const std::atomic<bool>* cancel_;
  bool batched_;
  std::array<float, kTestCount> df_;
  std::array<bool, kTestCount> quiet_df_{};
  std::deque<ResampleWork> work_;      // one per thread, for resamples taken one by one
  std::deque<ResampleBatch> batches_;  // one per thread, for batches
};

// Resamples of the first pass, whose statistics choose each test's band.
constexpr std::size_t kPilot = 16384;

}  // namespace

int bootstrap_threads(int thread_limit, int B) {
  return static_cast<int>(std::clamp<std::size_t>(static_cast<std::size_t>(std::max(thread_limit, 1)),
                                                  1, static_cast<std::size_t>(std::max(B, 1))));
}

[[noreturn]] void bootstrap_allocation_failed(Messages& messages) {
  halt_out_of_memory(messages, Arrays::bootstrap);
}

Thresholds bootstrap_thresholds(int B, std::uint64_t per_resample, float alpha,
                                UniformStream& uniforms, int threads, Messages& diag,
                                const Progress::Sink* show_progress,
                                const std::atomic<bool>* cancel, const ResampleFunction& resample) {
  const std::size_t resamples = static_cast<std::size_t>(std::max(B, 0));
  std::array<std::vector<float>, kTestCount> pvalues;
  std::vector<int> order;
  try {
    for (auto& p : pvalues) p.resize(resamples);
    order.resize(std::max<std::size_t>(resamples, 1));
  } catch (const std::bad_alloc&) {
    bootstrap_allocation_failed(diag);
  }

  // Resample b owns stream positions start + b per_resample onwards, so its
  // p-values do not depend on the order the resamples are taken in. Each
  // resample keeps its messages (and a halt) until its turn comes, so they
  // are raised in resample order.
  struct Resample {
    std::array<float, kTestCount> p{};
    std::vector<Message> messages;
    std::exception_ptr stop;
  };
  const std::uint64_t start = uniforms.position();
  std::optional<Progress> progress;
  if (show_progress && *show_progress) progress.emplace("resamples", resamples, *show_progress);
  ordered_map<Resample>(
      resamples,
      [&](std::size_t b, int worker) {
        if (cancel && cancel->load(std::memory_order_relaxed))
          throw Cancelled("the analysis was cancelled");
        Resample r;
        Messages diag(Stage::bootstrap);
        try {
          r.p = resample(start + b * per_resample, worker, diag);
        } catch (...) {
          r.stop = std::current_exception();
        }
        r.messages = diag.take();
        if (progress) progress->advance();
        return r;
      },
      [&](std::size_t b, Resample&& r) {
        diag.append(r.messages);
        if (r.stop) std::rethrow_exception(r.stop);
        for (int t = 0; t < kTestCount; ++t) pvalues[t][b] = r.p[t];
      },
      threads);
  uniforms.advance(per_resample * resamples);

  Thresholds result;
  const bool has_nan = std::any_of(pvalues.begin(), pvalues.end(), [](const auto& p) {
    return std::any_of(p.begin(), p.end(), [](float v) { return std::isnan(v); });
  });
  if (resamples >= 2 && !has_nan) {
    // Two order statistics per test, selected on the pool's threads: the
    // values the ordering below gives, without ordering.
    parallel_for(
        kTestCount,
        [&](std::size_t t, int) { result.values[t] = select_fractile(pvalues[t], alpha); },
        threads);
    result.status = kSortOk;
    return result;
  }
  for (int t = 0; t < kTestCount; ++t)
    result.values[t] = ordering_fractile(order, pvalues[t], alpha, result.status, diag);
  return result;
}

Thresholds resampxy(std::span<const float> x, std::span<const float> y, int n, int L, int B,
                    float alpha, UniformStream& uniforms, int thread_limit, Messages& diag,
                    const Progress::Sink* show_progress,
                    const std::atomic<bool>* cancel, SumsKernel kernel) {
  const std::size_t resamples = static_cast<std::size_t>(std::max(B, 0));
  if (resamples < 2)
    return few_resamples(x, y, n, L, resamples, alpha, uniforms, diag, cancel, kernel);
  const int threads = static_cast<int>(std::clamp<std::size_t>(
      static_cast<std::size_t>(std::max(thread_limit, 1)), 1, resamples));
  const std::uint64_t start = uniforms.position();
  std::optional<Resampler> resampler;
  try {
    resampler.emplace(x, y, n, L, start, threads, cancel, kernel);
  } catch (const std::bad_alloc&) {
    bootstrap_allocation_failed(diag);
  }
  const auto& df = resampler->df();
  std::optional<Progress> progress;
  if (show_progress && *show_progress) progress.emplace("resamples", resamples, *show_progress);
  Progress* shown = progress ? &*progress : nullptr;

  // Only the statistics near the fractile's ranks are kept (see
  // statistic_fractile.h): the first resamples keep all theirs, and from them
  // each test's band is chosen for the others. A test whose chi-square step
  // writes messages keeps all.
  using Keep = Resampler::Keep;
  Keep all;
  all.all.fill(true);
  Resampler::Kept kept;
  const std::size_t pilot = std::min(resamples, kPilot);
  resampler->take(0, pilot, all, kept, &diag, shown);
  if (pilot < resamples) {
    // Each test's band from its own pilot statistics: the tests side by
    // side on the pool's threads.
    Keep keep;
    parallel_for(
        kTestCount,
        [&](std::size_t t, int) {
          // A loud test (its statistics may not be finite) keeps all.
          keep.all[t] = !cdf_is_quiet(df[t]) || (kept.loud & (1u << t));
          if (keep.all[t]) return;
          std::vector<float> sample = kept.statistics[t];
          keep.band[t] = band_to_keep(sample, resamples, alpha);
          std::erase_if(kept.statistics[t], [&](float s) {
            const bool inside = s <= keep.band[t].upper && s >= keep.band[t].lower;
            kept.above[t] += s > keep.band[t].upper;
            return !inside;
          });
        },
        threads);
    resampler->take(pilot, resamples, keep, kept, &diag, shown);
  }
  uniforms.advance(2 * static_cast<std::uint64_t>(n) * resamples);

  // The two order statistics of each test, on the pool's threads.
  Thresholds result;
  result.status = kSortOk;
  std::array<bool, kTestCount> done{};
  parallel_for(
      kTestCount,
      [&](std::size_t t, int) {
        if (kept.loud & (1u << t)) return;
        const std::optional<float> v = pvalue_fractile(
            KeptStatistics{kept.statistics[t], kept.above[t], resamples}, df[t], alpha);
        if (v) {
          result.values[t] = *v;
          done[t] = true;
        }
      },
      threads);
  if (std::all_of(done.begin(), done.end(), [](bool d) { return d; })) return result;

  // A test whose band fell short of the ranks its selection needed, or that
  // took the chi-square step (its messages are written) and did not keep
  // every statistic, has its resamples taken anew (the same numbers: they
  // depend only on the stream) keeping every statistic. A loud one forms
  // every p-value and takes the ordering's fractile from them; with a
  // p-value that is NaN, from the ordering itself.
  Keep again;
  bool anew = false;
  for (int t = 0; t < kTestCount; ++t) {
    again.all[t] = !done[t] && kept.statistics[t].size() < resamples;
    again.band[t].lower = again.band[t].upper = std::numeric_limits<float>::infinity();
    anew = anew || again.all[t];
  }
  Resampler::Kept every;
  if (anew) resampler->take(0, resamples, again, every, nullptr, nullptr);
  // The chi-square step's messages of these statistics were raised in their
  // resamples already.
  Messages raised_already(Stage::bootstrap);
  for (int t = 0; t < kTestCount; ++t) {
    if (done[t]) continue;
    std::vector<float>& statistics = again.all[t] ? every.statistics[t] : kept.statistics[t];
    if (!(kept.loud & (1u << t))) {
      result.values[t] = pvalue_fractile(statistics, df[t], alpha);
      continue;
    }
    std::vector<float> p(resamples);
    for (std::size_t b = 0; b < resamples; ++b) {
      float cdf = 0.0f;
      cdchi(statistics[b], df[t], cdf, raised_already);
      p[b] = 1.0f - cdf;
    }
    if (std::none_of(p.begin(), p.end(), [](float v) { return std::isnan(v); })) {
      result.values[t] = select_fractile(p, alpha);
    } else {
      std::vector<int> order(resamples);
      result.values[t] = ordering_fractile(order, p, alpha, result.status, diag);
    }
  }
  return result;
}

}  // namespace vok
