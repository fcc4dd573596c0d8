#include "exec/progress.h"

#include <algorithm>
#include <utility>

namespace vok {
namespace {

constexpr std::chrono::milliseconds kQuietStart{1000};
constexpr std::chrono::milliseconds kRedraw{200};

}  // namespace

Progress::Progress(std::string what, std::size_t total, Sink sink)
    : Progress(std::move(what), total, std::move(sink), kQuietStart) {}

Progress::Progress(std::string what, std::size_t total, Sink sink, std::chrono::milliseconds delay)
    : what_(std::move(what)),
      total_(total),
      sink_(std::move(sink)),
      quiet_until_(Clock::now() + delay),
      next_draw_(quiet_until_) {}

Progress::~Progress() {
  if (!sink_) return;
  std::lock_guard lock(draw_mutex_);
  if (drawn_width_ == 0) return;
  std::string blank(drawn_width_ + 2, ' ');
  blank.front() = '\r';
  blank.back() = '\r';
  sink_(blank);
}

void Progress::advance(std::size_t items) {
  const std::size_t done = done_.fetch_add(items, std::memory_order_relaxed) + items;
  if (sink_) draw(done);
}

void Progress::draw(std::size_t done) {
  const Clock::time_point now = Clock::now();
  if (now < quiet_until_) return;
  // One thread draws; the others go on with their work.
  std::unique_lock lock(draw_mutex_, std::try_to_lock);
  if (!lock.owns_lock() || now < next_draw_) return;
  next_draw_ = now + kRedraw;
  std::string line = "vok: " + std::to_string(done) + " of " + std::to_string(total_) + " " + what_;
  const std::size_t width = line.size();
  if (width < drawn_width_) line.append(drawn_width_ - width, ' ');
  sink_("\r" + line);
  drawn_width_ = std::max(drawn_width_, width);
}

}  // namespace vok
