// What the clients show beside the frames (vok/summary.h): the per-test
// summary, the thresholds as the report shows them, the names of the
// settings' choices and the interruptible analysis.
#include "vok/summary.h"

#include <pthread.h>
#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <utility>

#include "vok/missing.h"
#include "vok/vok.h"

namespace vok {

float percent_of(int count, int frames) {
  if (frames <= 0) return 0.0f;
  return 100.0f * static_cast<float>(count) / static_cast<float>(frames);
}

PerTest<TestSummary> summarise(const Result& result) {
  const int frames = static_cast<int>(result.frames.size());
  PerTest<TestSummary> out;
  for (Test t : kTests) {
    TestSummary& s = out[t];
    s.significant = result.counts[t];
    s.frames = frames;
    s.percent = percent_of(s.significant, frames);
    s.share = frames > 0 ? static_cast<double>(s.significant) / frames
                         : std::numeric_limits<double>::quiet_NaN();
    s.binomial_p = binomial_upper_tail(s.significant, frames, result.false_alarm);
    for (const Frame& f : result.frames)
      if (f.qvalue[t] < static_cast<double>(result.false_alarm)) ++s.discoveries;
  }
  return out;
}

namespace {

// `value` written with printf's `format` and read back into 32 bits, as a
// reader of the report reads it.
float shown(const char* format, float value) {
  char text[64];
  std::snprintf(text, sizeof text, format, static_cast<double>(value));
  return static_cast<float>(std::strtod(text, nullptr));
}

}  // namespace

std::array<float, kTestCount> reported_thresholds(const std::array<float, kTestCount>& t,
                                                  bool bootstrapped) {
  std::array<float, kTestCount> out{};
  if (!bootstrapped) {
    // The nominal line: the level with four decimals.
    out.fill(shown("%.4f", t[0]));
    return out;
  }
  // The bootstrapped block: four significant digits for the bicorrelation
  // tests, four decimals for the correlation tests.
  for (Test test : kTests) {
    const std::size_t i = test_index(test);
    out[i] = shown(is_bicorrelation(test) ? "%.3e" : "%.4f", t[i]);
  }
  return out;
}

std::string_view to_string(Transform transform) {
  switch (transform) {
    case Transform::clip:
      return "clip";
    case Transform::log:
      return "log";
    case Transform::none:
      break;
  }
  return "none";
}

std::string_view to_string(Bootstrap bootstrap) {
  return bootstrap == Bootstrap::frames ? "frames" : "data";
}

bool parse(std::string_view name, Transform& out) {
  for (Transform t : {Transform::none, Transform::clip, Transform::log})
    if (name == to_string(t)) {
      out = t;
      return true;
    }
  return false;
}

bool parse(std::string_view name, Bootstrap& out) {
  for (Bootstrap b : {Bootstrap::data, Bootstrap::frames})
    if (name == to_string(b)) {
      out = b;
      return true;
    }
  return false;
}

namespace {

// `analysis` (handed the cancellation flag) on a thread of its own while
// this thread polls `interrupted`.
Result run_interruptibly(const std::function<Result(const std::atomic<bool>*)>& analysis,
                         const std::function<bool()>& interrupted,
                         std::chrono::milliseconds period) {
  std::atomic<bool> cancel{false};
  std::optional<Result> result;
  std::exception_ptr failure;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  // The worker starts with every signal blocked: the user's interrupt
  // reaches the calling thread, which polls for it.
  sigset_t all, before;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &before);
  std::thread worker([&] {
    try {
      result = analysis(&cancel);
    } catch (...) {
      failure = std::current_exception();
    }
    const std::lock_guard lock(mutex);
    done = true;
    finished.notify_one();
  });
  pthread_sigmask(SIG_SETMASK, &before, nullptr);
  bool stop = false;
  {
    std::unique_lock lock(mutex);
    while (!finished.wait_for(lock, period, [&] { return done; })) {
      if (stop) continue;
      lock.unlock();
      try {
        stop = interrupted();
      } catch (...) {
        stop = true;
      }
      if (stop) cancel = true;
      lock.lock();
    }
  }
  worker.join();
  if (stop) throw Cancelled("vok::analyse: interrupted");
  if (failure) std::rethrow_exception(failure);
  return std::move(*result);
}

}  // namespace

Result analyse_interruptibly(std::span<const float> x, std::span<const float> y,
                             const Settings& settings, std::span<const std::string> stamps,
                             const std::function<bool()>& interrupted,
                             std::chrono::milliseconds period) {
  return run_interruptibly(
      [&](const std::atomic<bool>* cancel) { return analyse(x, y, settings, stamps, cancel); },
      interrupted, period);
}

Result analyse_interruptibly(std::span<const float> x, std::span<const float> y,
                             const Settings& settings, Missing policy,
                             std::span<const std::string> stamps,
                             const std::function<bool()>& interrupted,
                             std::chrono::milliseconds period) {
  return run_interruptibly(
      [&](const std::atomic<bool>* cancel) {
        return analyse_with_missing(x, y, settings, policy, stamps, cancel);
      },
      interrupted, period);
}

}  // namespace vok
