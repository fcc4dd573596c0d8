// The two ways a condition can end work early.
//
// A fatal condition writes its messages and then throws Stop; main() catches it
// after every output channel has been flushed and closed, and exits with the
// status it carries. A condition that ends only the current run writes its
// messages and throws RunEnded; the run loop catches it, releases the run and
// goes on with the next run.
#pragma once

#include <exception>

namespace vok {

// Exit statuses of the program.
inline constexpr int kExitCompleted = 0;  // every run completed
inline constexpr int kExitStopped = 1;    // a fatal condition stopped the program
inline constexpr int kExitRunEnded = 2;   // finished, but at least one run ended early

class Stop : public std::exception {
 public:
  explicit Stop(int status = kExitStopped) : status_(status) {}
  int status() const { return status_; }
  const char* what() const noexcept override { return "vok: program stopped"; }

 private:
  int status_;
};

class RunEnded : public std::exception {
 public:
  const char* what() const noexcept override { return "vok: run ended early"; }
};

}  // namespace vok
