// A progress line for long runs: "vok: 512 of 1000 resamples", redrawn in
// place while work goes on and erased when it is done. It goes to the sink
// the client hands the analysis (the console program's draws it on a
// terminal, control/terminal_progress.h), and only once the work has taken
// more than a second, so short runs never see it; the library itself writes
// nowhere.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>

namespace vok {

class Progress {
 public:
  // Where the line goes: text to write as it stands (with "\r" to return to
  // the start of the line).
  using Sink = std::function<void(std::string_view)>;

  // `what` names the items ("resamples", "frames"), `total` their number;
  // the line goes to `sink` (empty: nowhere) after a quiet second.
  Progress(std::string what, std::size_t total, Sink sink);
  // For tests: the quiet start too.
  Progress(std::string what, std::size_t total, Sink sink, std::chrono::milliseconds delay);
  ~Progress();
  Progress(const Progress&) = delete;
  Progress& operator=(const Progress&) = delete;

  // `items` more are done. Safe to call from several threads at once.
  void advance(std::size_t items = 1);
  // True when the line has somewhere to go (a terminal, or a test's sink).
  bool draws() const { return static_cast<bool>(sink_); }

 private:
  using Clock = std::chrono::steady_clock;
  void draw(std::size_t done);

  std::string what_;
  std::size_t total_;
  Sink sink_;  // empty: draw nothing
  Clock::time_point quiet_until_;
  std::atomic<std::size_t> done_{0};
  std::mutex draw_mutex_;
  Clock::time_point next_draw_;
  std::size_t drawn_width_ = 0;  // characters of the line on screen
};

}  // namespace vok
