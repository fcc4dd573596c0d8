#include "exec/parallel.h"

#if defined(__linux__)
#include <sched.h>
#endif
#include <pthread.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace vok {
namespace {

// How long a thread that waits for work stays awake before it sleeps. Loops
// follow each other closely (the blocks of rows, the batches of frames), and
// waking a sleeping thread costs tens of microseconds, on a virtual machine
// often hundreds; staying awake a little costs only a processor that has
// nothing else to do (a thread stays awake only while the threads do not
// outnumber the processors).
constexpr auto kAwake = std::chrono::microseconds(200);

void relax() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#else
  std::this_thread::yield();
#endif
}

// Waits awake until `ready()` or for kAwake; returns ready().
template <class Ready>
bool wait_awake(Ready&& ready) {
  const auto until = std::chrono::steady_clock::now() + kAwake;
  for (unsigned i = 1;; ++i) {
    if (ready()) return true;
    relax();
    if (i % 64 == 0 && std::chrono::steady_clock::now() >= until) return ready();
  }
}

// The bookkeeping of one run_ordered call, guarded by `mutex`.
class OrderedLoop {
 public:
  // `awake`: the calling thread waits for an item awake a moment first.
  OrderedLoop(std::size_t count, std::size_t window,
              const std::function<void(std::size_t, int)>& compute, bool awake)
      : count_(count), window_(window), compute_(compute), awake_(awake), state_(window),
        limit_(count) {}

  // A worker thread: computes items until none is left.
  void work(int worker) {
    std::unique_lock lock(mutex_);
    for (;;) {
      space_.wait(lock, [&] { return stopped_ || next_ >= limit_ || next_ < consumed_ + window_; });
      if (stopped_ || next_ >= limit_) return;
      compute_one(lock, worker);
    }
  }

  // The calling thread: consumes in order, computing items itself while the
  // next one to consume is not ready.
  void drive(const std::function<void(std::size_t)>& consume) {
    std::unique_lock lock(mutex_);
    while (consumed_ < count_) {
      Slot& slot = state_[consumed_ % window_];
      if (slot.ready) {
        const std::size_t i = consumed_;
        std::exception_ptr failure = std::exchange(slot.failure, nullptr);
        slot.ready = false;
        if (failure) {
          stopped_ = true;
          space_.notify_all();
          std::rethrow_exception(failure);
        }
        lock.unlock();
        consume(i);  // an exception here ends the loop like a failed item
        lock.lock();
        ++consumed_;
        space_.notify_all();
      } else if (next_ < limit_ && next_ < consumed_ + window_) {
        compute_one(lock, 0);
      } else {
        if (awake_) {
          const std::size_t seen = computed_.load(std::memory_order_relaxed);
          lock.unlock();
          wait_awake([&] { return computed_.load(std::memory_order_acquire) != seen; });
          lock.lock();
          if (computed_.load(std::memory_order_relaxed) != seen) continue;
        }
        ready_.wait(lock);
      }
    }
  }

  void stop() {
    std::lock_guard lock(mutex_);
    stopped_ = true;
    space_.notify_all();
  }

 private:
  struct Slot {
    bool ready = false;
    std::exception_ptr failure;
  };

  // Takes the next item and computes it with the lock released.
  void compute_one(std::unique_lock<std::mutex>& lock, int worker) {
    const std::size_t i = next_++;
    lock.unlock();
    std::exception_ptr failure;
    try {
      compute_(i, worker);
    } catch (...) {
      failure = std::current_exception();
    }
    lock.lock();
    Slot& slot = state_[i % window_];
    slot.ready = true;
    slot.failure = failure;
    // Items after a failed one are never consumed: start no more of them.
    if (failure) limit_ = std::min(limit_, i + 1);
    computed_.fetch_add(1, std::memory_order_release);
    ready_.notify_all();
  }

  const std::size_t count_;
  const std::size_t window_;
  const std::function<void(std::size_t, int)>& compute_;
  const bool awake_;
  std::mutex mutex_;
  std::atomic<std::size_t> computed_{0};  // items computed, read by a thread awake
  std::condition_variable ready_;  // an item was computed
  std::condition_variable space_;  // an item was consumed, or the loop stops
  std::vector<Slot> state_;
  std::size_t limit_;         // items from here on are not started
  std::size_t next_ = 0;      // next item to compute
  std::size_t consumed_ = 0;  // items consumed so far
  bool stopped_ = false;
};

// The helper threads of the whole execution: started when a loop first
// needs them and kept, so that a loop (a block of rows, the frames, the
// resamples) hands its work to waiting threads rather than starting its own.
// A loop's helper tasks are only a help: the calling thread computes every
// item itself when no helper comes, so a task still queued when its loop
// ends is taken back, never waited for.
class ThreadPool {
 public:
  struct Task {
    std::function<void()> run;
    bool started = false;
    bool done = false;
  };

  // The pool lives as long as the process: its threads wait for work until
  // the process ends (a process forked from this one starts with none, and
  // its loops are then computed by their calling threads alone).
  static ThreadPool& instance() {
    static ThreadPool& pool = *new ThreadPool;
    return pool;
  }

  // Queues the tasks, with at least as many threads as tasks to run them.
  void start(std::vector<Task>& tasks) {
    std::lock_guard lock(mutex_);
    for (Task& t : tasks) queue_.push_back(&t);
    queued_.store(queue_.size(), std::memory_order_release);
    grow(tasks.size());
    work_.notify_all();
  }

  // Whether a thread waits awake a moment before it sleeps (kAwake).
  bool awake() const { return awake_.load(std::memory_order_relaxed); }

  // At least `count` threads, waiting for work.
  void reserve(std::size_t count) {
    std::lock_guard lock(mutex_);
    grow(count);
  }

  // Takes back the tasks not yet started and waits for the others to end.
  void finish(std::vector<Task>& tasks) {
    std::unique_lock lock(mutex_);
    for (Task& t : tasks) {
      if (t.started) continue;
      queue_.erase(std::find(queue_.begin(), queue_.end(), &t));
      queued_.store(queue_.size(), std::memory_order_release);
      t.done = true;
    }
    const auto all_done = [&] {
      return std::all_of(tasks.begin(), tasks.end(), [](const Task& t) { return t.done; });
    };
    if (awake_ && !all_done()) {
      const std::size_t seen = ended_.load(std::memory_order_relaxed);
      lock.unlock();
      wait_awake([&] { return ended_.load(std::memory_order_acquire) != seen; });
      lock.lock();
    }
    done_.wait(lock, all_done);
  }

 private:
  ThreadPool() = default;

  // Starts threads up to `count` (with the mutex held).
  void grow(std::size_t count) {
    if (threads_ < count) {
      // The pool's threads start with every signal blocked, so a signal sent
      // to the process reaches a thread of the caller's: its handler then
      // never runs beside the code it interrupts.
      sigset_t all, before;
      sigfillset(&all);
      pthread_sigmask(SIG_SETMASK, &all, &before);
      for (; threads_ < count; ++threads_) std::thread([this] { serve(); }).detach();
      pthread_sigmask(SIG_SETMASK, &before, nullptr);
      awake_ = threads_ < static_cast<std::size_t>(processor_count());
    }
  }

  void serve() {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (queue_.empty() && awake_) {
        lock.unlock();
        wait_awake([&] { return queued_.load(std::memory_order_acquire) > 0; });
        lock.lock();
      }
      work_.wait(lock, [&] { return !queue_.empty(); });
      Task* task = queue_.front();
      queue_.pop_front();
      queued_.store(queue_.size(), std::memory_order_release);
      task->started = true;
      lock.unlock();
      task->run();
      lock.lock();
      task->done = true;
      ended_.fetch_add(1, std::memory_order_release);
      done_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable work_;  // a task was queued
  std::condition_variable done_;  // a task ended
  std::deque<Task*> queue_;
  std::atomic<std::size_t> queued_{0};  // queue_.size(), read by threads awake
  std::atomic<std::size_t> ended_{0};   // tasks ended, read by a thread awake
  std::size_t threads_ = 0;  // started so far; they wait for work until the process ends
  std::atomic<bool> awake_{false};  // threads wait awake first (see kAwake)
};

}  // namespace

int processor_count() {
#if defined(__linux__)
  // The processors this process may run on (a container or taskset may allow
  // fewer than the machine has).
  cpu_set_t allowed;
  if (sched_getaffinity(0, sizeof allowed, &allowed) == 0) return std::max(1, CPU_COUNT(&allowed));
#endif
  return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

void start_threads(int threads) {
  if (threads > 1) ThreadPool::instance().reserve(static_cast<std::size_t>(threads - 1));
}

namespace detail {

void run_ordered(std::size_t count, int threads, std::size_t window,
                 const std::function<void(std::size_t, int)>& compute,
                 const std::function<void(std::size_t)>& consume) {
  if (count == 0) return;
  window = std::clamp<std::size_t>(window, 1, count);
  const std::size_t helpers = std::min<std::size_t>(std::max(threads, 1) - 1, count - 1);
  if (helpers == 0) {
    for (std::size_t i = 0; i < count; ++i) {
      compute(i, 0);
      consume(i);
    }
    return;
  }

  OrderedLoop loop(count, window, compute, ThreadPool::instance().awake());
  std::vector<ThreadPool::Task> helper_tasks(helpers);
  for (std::size_t w = 1; w <= helpers; ++w)
    helper_tasks[w - 1].run = [&loop, w] { loop.work(static_cast<int>(w)); };
  // Whatever happens on this thread, the helpers are stopped and done with
  // the loop before its state goes away.
  struct Finish {
    OrderedLoop& loop;
    std::vector<ThreadPool::Task>& tasks;
    ~Finish() {
      loop.stop();
      ThreadPool::instance().finish(tasks);
    }
  } finish{loop, helper_tasks};
  ThreadPool::instance().start(helper_tasks);
  loop.drive(consume);
}

}  // namespace detail
}  // namespace vok
