// What the clients of the library show beside the frames, computed once
// here: the per-test summary of a result, the binomial tail it uses, the
// thresholds as the report shows them, the names of the settings' choices,
// and the analysis interruptible from a thread that polls for a user's
// interrupt. Part of <vok/vok.h>.
#pragma once

#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "vok.h"

namespace vok {

// What is done with rows holding a missing value (<vok/missing.h>).
enum class Missing;

// ------------------------------------------------------------- summary

// One test over the frames of a result.
struct TestSummary {
  int significant = 0;  // significant frames (Result::counts)
  int frames = 0;       // frames of the result
  // 100 significant / frames in 32-bit reals, as the report prints it (0
  // without frames).
  float percent = 0.0f;
  // significant / frames in 64 bits (NaN without frames).
  double share = 0.0;
  // P(at least `significant` of `frames`) for frames significant with the
  // false-alarm probability alone (binomial_upper_tail).
  double binomial_p = 1.0;
  // Frames whose q-value lies strictly below the false-alarm level.
  int discoveries = 0;
  bool operator==(const TestSummary&) const = default;
};

// The percentage of `count` significant frames of `frames` as the report
// prints it: 100 count / frames in 32-bit reals (0 without frames).
VOK_API float percent_of(int count, int frames);

// The summary of each test of `result`, at its false-alarm level
// (Result::false_alarm).
VOK_API PerTest<TestSummary> summarise(const Result& result);

// P(X >= k) for X binomial with n draws of probability p (1 for k <= 0, 0
// for k > n), summed in log space.
VOK_API double binomial_upper_tail(int k, int n, double p);

// The thresholds (kTests order) as the report shows them, read back into
// 32-bit reals: the bootstrapped block's values (four significant digits for
// the bicorrelation tests, four decimals for the correlation tests) or the
// nominal line's level (thresholds[0]; four decimals). What a reader of the
// report takes them to be; the pictures' labels among them.
VOK_API std::array<float, kTestCount> reported_thresholds(
    const std::array<float, kTestCount>& thresholds, bool bootstrapped);

// ------------------------------------------------------ setting names

// The names of the settings' choices, in every client ("none", "clip",
// "log"; "data", "frames").
VOK_API std::string_view to_string(Transform transform);
VOK_API std::string_view to_string(Bootstrap bootstrap);
// The choice of that name; false (and `out` untouched) for a name of none.
VOK_API bool parse(std::string_view name, Transform& out);
VOK_API bool parse(std::string_view name, Bootstrap& out);

// ---------------------------------------------------- interruptible call

// analyse run on a thread of its own (every signal blocked there, so that
// the calling thread receives the user's interrupts), while the calling
// thread calls `interrupted` every `period` until the analysis ends. Once
// it returns true the analysis is cancelled (it stops between two frames or
// two resamples) and Cancelled is thrown here; `interrupted` is not called
// again. Errors of the analysis are rethrown here.
VOK_API Result
analyse_interruptibly(std::span<const float> x, std::span<const float> y, const Settings& settings,
                      std::span<const std::string> stamps, const std::function<bool()>& interrupted,
                      std::chrono::milliseconds period = std::chrono::milliseconds(50));

// The same for analyse_with_missing: the rows where x or y is NaN are left
// out, the frames placed by `policy`.
VOK_API Result analyse_interruptibly(
    std::span<const float> x, std::span<const float> y, const Settings& settings, Missing policy,
    std::span<const std::string> stamps, const std::function<bool()>& interrupted,
    std::chrono::milliseconds period = std::chrono::milliseconds(50));

}  // namespace vok
