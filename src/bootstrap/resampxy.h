// Bootstrap false-alarm thresholds: the alpha-fractile of each test's p-values
// over B resampled frame pairs that keep the value distributions of x and y
// but none of their serial or cross dependence.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "exec/progress.h"
#include "bootstrap/resample_batch.h"
#include "bootstrap/uniform.h"
#include "frames/covxy.h"

namespace vok {

struct Thresholds {
  std::array<float, kTestCount> values{};
  int status = 0;  // status of the last fractile call (that of Cxy)
};

// The 1-based resampling index of a uniform u in [0, 1): 1 + floor(N u),
// formed exactly in 64-bit integer arithmetic and capped at N, so that every
// index 1..N is drawn with the same probability.
int resample_index(float u, int N);

// resample_index(UniformStream::at(first + i), N) - 1 for every i of `index`:
// the 0-based indices of a resample drawn from the stream onwards from
// `first`, for a column of N >= 1 values.
void resample_indices(std::uint64_t first, int N, std::span<int> index);

// Work storage of one resample, sized for frames of n values and L lags.
// Allocated once and reused for every resample of a call.
struct ResampleWork {
  ResampleWork(int n, int L, SumsKernel kernel = SumsKernel::fast);
  std::vector<float> x, y;          // the two resampled series
  std::vector<int> index;           // the 0-based indices of both series (n each)
  CovxyWork tests;                  // the tests' sums and scratch
  SumsKernel kernel;                // that forms the tests' lag sums
};

// The seven p-values (1 - CDF value, in kTests order) of the resample whose
// 2n uniforms start at stream position `first`: n for the x indices, then n
// for the y indices. A pure function of `first` and the data; `work` is
// scratch. Messages of the moments and test routines are raised on `diag`.
std::array<float, kTestCount> resample_pvalues(std::span<const float> x, std::span<const float> y,
                                               int n, int L, std::uint64_t first,
                                               ResampleWork& work, Messages& diag);

// The seven statistics of the same resample (kTests order, each rounded to
// 32 bits as the chi-square step takes it; all 0 for a degenerate resample):
// its p-values are 1 minus the chi-square CDF values of these. Raises no
// message unless resample_pvalues would.
ResampleStatistics resample_statistics(std::span<const float> x, std::span<const float> y, int n,
                                       int L, std::uint64_t first, ResampleWork& work,
                                       Messages& diag);

// The seven p-values (kTests order) of the resample whose numbers start at
// stream position `first`, computed with the work storage of thread
// `worker`; its messages are raised on `diag`.
using ResampleFunction =
    std::function<std::array<float, kTestCount>(std::uint64_t first, int worker, Messages& diag)>;

// The threads a bootstrap of B resamples uses: thread_limit, from 1 to B.
int bootstrap_threads(int thread_limit, int B);

// Raises out_of_memory for the bootstrap's arrays on `messages` and halts.
[[noreturn]] void bootstrap_allocation_failed(Messages& messages);

// The thresholds of B resamples, each drawing `per_resample` numbers of the
// stream: resample b (from 0) reads positions start + b per_resample onwards,
// start being the stream's position on entry, and the stream is left
// per_resample B further on. `resample` computes each one's p-values on up
// to `threads` threads (worker numbers below `threads`); their messages are
// raised on `messages` in resample order, so the thresholds and the messages
// are the same for any thread count. Each threshold is the alpha-fractile of
// its test's B p-values (the fractiles' messages raised on `messages` too).
// `progress` and `cancel` as for resampxy.
Thresholds bootstrap_thresholds(int B, std::uint64_t per_resample, float alpha,
                                UniformStream& uniforms, int threads, Messages& messages,
                                const Progress::Sink* progress,
                                const std::atomic<bool>* cancel, const ResampleFunction& resample);

// B resamples of n values from the N = x.size() values of x and y (same
// length), L lags, fractile level alpha. Resample b (from 1) reads stream
// positions start + (b - 1) 2n onwards, start being the stream's position on
// entry; the stream is left 2nB further on. The resamples are spread over
// `threads` threads (exec/parallel.h); as each one depends only on its own
// block of the stream, and their messages are raised on `messages` in
// resample order, the thresholds and the messages are the same for any thread
// count. An allocation failure raises out_of_memory for the bootstrap's
// arrays and halts. The fractiles' messages are raised on `messages` too. With `progress` (not null, not empty) a progress line goes to
// it while the resamples go on. `cancel`, when given, is polled before each resample:
// once it holds true, Cancelled is thrown. The tests' lag sums are formed by
// `kernel` (the thresholds are the same with either).
Thresholds resampxy(std::span<const float> x, std::span<const float> y, int n, int L, int B,
                    float alpha, UniformStream& uniforms, int threads, Messages& messages,
                    const Progress::Sink* progress = nullptr,
                    const std::atomic<bool>* cancel = nullptr,
                    SumsKernel kernel = SumsKernel::fast);

}  // namespace vok
