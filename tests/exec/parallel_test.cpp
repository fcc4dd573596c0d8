#include "exec/parallel.h"

#include <gtest/gtest.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "exec/progress.h"

namespace vok {
namespace {

// Items take uneven times (later items are quicker), so with several threads
// they finish out of order; the results must still come back in order.
int slow_square(std::size_t i, std::size_t count) {
  std::this_thread::sleep_for(std::chrono::microseconds(50 * ((count - i) % 5)));
  return static_cast<int>(i * i);
}

TEST(OrderedMap, ConsumesEveryResultInOrderForAnyThreadCount) {
  const std::size_t count = 97;
  for (int threads : {1, 2, 3, 8}) {
    for (std::size_t window : {std::size_t{0}, std::size_t{1}, std::size_t{5}, count + 10}) {
      SCOPED_TRACE(std::to_string(threads) + " threads, window " + std::to_string(window));
      std::vector<std::size_t> order;
      std::vector<int> values;
      std::atomic<int> running{0}, most_running{0};
      ordered_map<int>(
          count,
          [&](std::size_t i, int) {
            const int now = ++running;
            int seen = most_running.load();
            while (now > seen && !most_running.compare_exchange_weak(seen, now)) {
            }
            const int v = slow_square(i, count);
            --running;
            return v;
          },
          [&](std::size_t i, int&& v) {
            order.push_back(i);
            values.push_back(v);
          },
          threads, window);
      ASSERT_EQ(order.size(), count);
      for (std::size_t i = 0; i < count; ++i) {
        EXPECT_EQ(order[i], i);
        EXPECT_EQ(values[i], static_cast<int>(i * i));
      }
      EXPECT_LE(most_running.load(), threads);
    }
  }
}

TEST(OrderedMap, WorkerNumbersAreExclusive) {
  // Each worker number is used by one thread at a time, so per-worker
  // scratch storage needs no lock.
  const int threads = 4;
  std::vector<std::atomic<int>> busy(threads);
  std::atomic<bool> clash{false};
  std::set<int> seen;
  std::mutex seen_mutex;
  ordered_map<int>(
      200,
      [&](std::size_t i, int worker) {
        EXPECT_GE(worker, 0);
        EXPECT_LT(worker, threads);
        if (busy[worker].fetch_add(1) != 0) clash = true;
        std::this_thread::sleep_for(std::chrono::microseconds(20));
        busy[worker].fetch_sub(1);
        std::lock_guard lock(seen_mutex);
        seen.insert(worker);
        return static_cast<int>(i);
      },
      [](std::size_t, int&&) {}, threads);
  EXPECT_FALSE(clash.load());
  EXPECT_GE(seen.size(), 1u);
}

TEST(OrderedMap, ResultsWaitingForTheirTurnStayWithinTheWindow) {
  // Item 0 is slow: the others may run ahead, but no more than the window.
  const std::size_t window = 3;
  std::atomic<std::size_t> started{0};
  std::atomic<std::size_t> most_ahead{0};
  std::atomic<std::size_t> consumed{0};
  ordered_map<int>(
      40,
      [&](std::size_t i, int) {
        ++started;
        const std::size_t ahead = i - consumed.load();
        std::size_t seen = most_ahead.load();
        while (ahead > seen && !most_ahead.compare_exchange_weak(seen, ahead)) {
        }
        if (i == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return 0;
      },
      [&](std::size_t, int&&) { ++consumed; }, 3, window);
  EXPECT_EQ(started.load(), 40u);
  EXPECT_LT(most_ahead.load(), window);
}

TEST(OrderedMap, AFailedItemEndsTheLoopAfterTheItemsBeforeIt) {
  for (int threads : {1, 2, 4}) {
    SCOPED_TRACE(threads);
    std::vector<std::size_t> consumed;
    auto run = [&] {
      ordered_map<int>(
          50,
          [&](std::size_t i, int) {
            if (i == 17 || i == 30) throw std::runtime_error("item " + std::to_string(i));
            return static_cast<int>(i);
          },
          [&](std::size_t i, int&&) { consumed.push_back(i); }, threads);
    };
    try {
      run();
      ADD_FAILURE() << "no exception";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), "item 17");  // the first in item order, as in a plain loop
    }
    ASSERT_EQ(consumed.size(), 17u);
    for (std::size_t i = 0; i < consumed.size(); ++i) EXPECT_EQ(consumed[i], i);
  }
}

TEST(OrderedMap, AnExceptionWhileConsumingStopsTheWorkers) {
  std::atomic<std::size_t> computed{0};
  EXPECT_THROW(ordered_map<int>(
                   1000,
                   [&](std::size_t i, int) {
                     ++computed;
                     return static_cast<int>(i);
                   },
                   [&](std::size_t i, int&&) {
                     if (i == 5) throw std::logic_error("stop");
                   },
                   2, 4),
               std::logic_error);
  EXPECT_LT(computed.load(), 20u);
}

TEST(OrderedMap, NoItems) {
  bool called = false;
  ordered_map<int>(
      0,
      [&](std::size_t, int) {
        called = true;
        return 0;
      },
      [&](std::size_t, int&&) { called = true; }, 4);
  EXPECT_FALSE(called);
}

TEST(ParallelFor, VisitsEveryIndexOnce) {
  std::vector<std::atomic<int>> hits(1000);
  parallel_for(
      hits.size(), [&](std::size_t i, int) { ++hits[i]; }, 3);
  for (const auto& h : hits) EXPECT_EQ(h.load(), 1);
}

TEST(ParallelFor, RethrowsTheLowestFailingIndex) {
  try {
    parallel_for(
        100,
        [](std::size_t i, int) {
          if (i % 10 == 9) throw std::runtime_error(std::to_string(i));
        },
        4);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "9");
  }
}

// Loops after loops (a data file read batch by batch) reuse the same helper
// threads: the system's thread ids, which it does not hand out again soon,
// stay few however many loops run.
TEST(ParallelFor, LoopsShareTheExecutionsThreads) {
  std::mutex m;
  std::set<long> tids;
  for (int loop = 0; loop < 50; ++loop) {
    parallel_for(
        64,
        [&](std::size_t, int) {
          std::this_thread::sleep_for(std::chrono::microseconds(20));
          std::lock_guard lock(m);
          tids.insert(static_cast<long>(gettid()));
        },
        3);
  }
  EXPECT_GE(tids.size(), 2u);
  EXPECT_LE(tids.size(), 20u);
}

// Helper threads wait for the next loop awake a moment, then asleep: loops
// that follow closely and loops after a pause longer than that moment are
// all completed, in order, and the threads started ahead take part.
TEST(ParallelFor, LoopsAfterShortAndLongPausesFinish) {
  start_threads(3);
  std::mutex m;
  std::set<long> tids;
  for (int loop = 0; loop < 60; ++loop) {
    std::this_thread::sleep_for(std::chrono::microseconds(250 * (loop % 3)));
    std::atomic<int> visits{0};
    parallel_for(
        32,
        [&](std::size_t i, int) {
          if (i % 8 == 0) std::this_thread::sleep_for(std::chrono::microseconds(20));
          ++visits;
          std::lock_guard lock(m);
          tids.insert(static_cast<long>(gettid()));
        },
        3);
    EXPECT_EQ(visits.load(), 32);
    std::vector<std::size_t> order;
    ordered_map<std::size_t>(
        16, [&](std::size_t i, int) { return i; },
        [&](std::size_t, std::size_t&& i) { order.push_back(i); }, 3);
    ASSERT_EQ(order.size(), 16u);
    for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i);
  }
  EXPECT_GE(tids.size(), 2u);
}

// The program's signal handlers run on the thread they interrupt: the pool's
// threads take no signal, so a handler never runs beside the main thread.
TEST(ParallelFor, HelperThreadsBlockEverySignal) {
  std::mutex m;
  std::vector<bool> blocked;
  const long caller = static_cast<long>(gettid());
  parallel_for(
      16,
      [&](std::size_t, int) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        if (static_cast<long>(gettid()) == caller) return;
        sigset_t mask;
        pthread_sigmask(SIG_SETMASK, nullptr, &mask);
        std::lock_guard lock(m);
        blocked.push_back(sigismember(&mask, SIGINT) == 1 && sigismember(&mask, SIGTERM) == 1 &&
                          sigismember(&mask, SIGHUP) == 1);
      },
      3);
  ASSERT_FALSE(blocked.empty());
  for (const bool b : blocked) EXPECT_TRUE(b);
  sigset_t mask;
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  EXPECT_EQ(sigismember(&mask, SIGTERM), 0) << "the caller's mask is left as it was";
}

// A loop inside an item of another loop finishes, helpers busy or not.
TEST(ParallelFor, ALoopInsideALoopFinishes) {
  std::atomic<int> visits{0};
  parallel_for(
      8,
      [&](std::size_t, int) { parallel_for(16, [&](std::size_t, int) { ++visits; }, 3); }, 3);
  EXPECT_EQ(visits.load(), 8 * 16);
}

// Under taskset or a container's CPU limit the default is the processors
// the program may run on, not the machine's: more threads would only
// contend. The mask is the calling thread's, so a thread of its own takes it.
TEST(ThreadCount, TheDefaultIsTheProcessorsTheProgramMayRunOn) {
  int seen_processors = 0;
  std::thread confined([&] {
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    ASSERT_EQ(sched_setaffinity(0, sizeof one, &one), 0);
    seen_processors = processor_count();
  });
  confined.join();
  EXPECT_EQ(seen_processors, 1);
}

// The progress line, with a sink standing for a terminal.
TEST(Progress, DrawsAfterTheQuietStartAndErasesItsLine) {
  std::string screen;
  std::mutex screen_mutex;
  auto sink = [&](std::string_view text) {
    std::lock_guard lock(screen_mutex);
    screen += text;
  };
  {
    Progress p("resamples", 10, sink, std::chrono::milliseconds(0));
    p.advance();
    p.advance(2);  // within the redraw interval: not drawn
    EXPECT_EQ(screen, "\rvok: 1 of 10 resamples");
  }
  EXPECT_EQ(screen, "\rvok: 1 of 10 resamples\r" + std::string(22, ' ') + "\r");
}

TEST(Progress, StaysQuietOnShortWorkAndWithoutATerminal) {
  std::string screen;
  {
    Progress p(
        "frames", 5, [&](std::string_view text) { screen += text; }, std::chrono::hours(1));
    for (int i = 0; i < 5; ++i) p.advance();
  }
  EXPECT_EQ(screen, "");
}

}  // namespace
}  // namespace vok
