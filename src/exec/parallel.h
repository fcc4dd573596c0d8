// Work spread over threads, with results taken in order.
//
// The program's expensive steps (the bootstrap resamples, the frames of a
// run) are many independent items whose results must be written in item
// order. ordered_map computes items on several threads and hands their
// results back one by one in rising index on the calling thread, so that
// what is written is the same for any number of threads:
//
//   ordered_map<Result>(
//       count,
//       [&](std::size_t i, int worker) { return compute(i, scratch[worker]); },
//       [&](std::size_t i, Result&& r) { write(i, r); }, threads);
//
// If computing item i throws, items before i are still handed back in order,
// then the exception reaches the caller, as it would in a plain loop.
#pragma once

#include <cstddef>
#include <exception>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace vok {

// The processor cores this process may run on, at least 1.
int processor_count();

// Starts the threads that loops on `threads` threads will use, ahead of the
// first loop: a thread's start then runs beside whatever comes before it.
// Loops start their threads themselves when this was not called.
void start_threads(int threads);

namespace detail {
// Calls compute(i, worker) for i = 0..count - 1 on up to `threads` threads
// (the calling thread among them; worker numbers 0..threads - 1, one thread
// per number at a time), at most `window` items ahead of the next item to
// consume, and consume(i) on the calling thread in rising i once item i is
// computed. An exception from compute(i) or consume(i) ends the loop after
// the items before i were consumed and is rethrown; the other threads finish
// their current item first.
void run_ordered(std::size_t count, int threads, std::size_t window,
                 const std::function<void(std::size_t, int)>& compute,
                 const std::function<void(std::size_t)>& consume);
}  // namespace detail

// consume(i, compute(i, worker)) for i = 0..count - 1: compute on up to
// `threads` threads, consume on the calling thread in rising i. At most
// `window` results wait to be consumed (0: four per thread).
template <class Result, class Compute, class Consume>
void ordered_map(std::size_t count, Compute&& compute, Consume&& consume,
                 int threads, std::size_t window = 0) {
  if (threads < 1) threads = 1;
  if (window == 0) window = 4 * static_cast<std::size_t>(threads);
  std::vector<std::optional<Result>> slots(std::min(window, count));
  detail::run_ordered(
      count, threads, slots.size(),
      [&](std::size_t i, int worker) { slots[i % slots.size()].emplace(compute(i, worker)); },
      [&](std::size_t i) {
        std::optional<Result>& slot = slots[i % slots.size()];
        Result result = std::move(*slot);
        slot.reset();
        consume(i, std::move(result));
      });
}

// body(i, worker) for i = 0..count - 1 on up to `threads` threads, in no
// particular order; an exception from body(i) is rethrown once every thread
// has stopped (that of the lowest i, when several throw).
template <class Body>
void parallel_for(std::size_t count, Body&& body, int threads) {
  if (threads < 1) threads = 1;
  // Finished items are retired in index order; the window only bounds how
  // far the threads run ahead of the slowest item in flight.
  detail::run_ordered(
      count, threads, 64 * static_cast<std::size_t>(threads),
      [&](std::size_t i, int worker) { body(i, worker); }, [](std::size_t) {});
}

}  // namespace vok
