// The messages a computation raises, kept as values in the order raised, and
// the exception that ends a computation that cannot go on.
//
//   Messages messages(Stage::tests, k);
//   cdchi(x, df, p, messages);          // may raise cdchi_x_not_positive
//   for (const Message& m : messages.list()) ...
#pragma once

#include <exception>
#include <span>
#include <utility>
#include <vector>

#include "vok/message.h"

namespace vok {

class Messages {
 public:
  explicit Messages(Stage stage = Stage::run, int frame = 0) : stage_(stage), frame_(frame) {}

  // Messages raised from now on were raised in `stage`.
  void set_stage(Stage stage) { stage_ = stage; }

  void raise(MessageKind kind, double first = 0.0, double second = 0.0) {
    list_.push_back({kind, stage_, frame_, {first, second}, Arrays::none});
  }
  void raise_out_of_memory(Arrays arrays) {
    list_.push_back({MessageKind::out_of_memory, stage_, frame_, {}, arrays});
  }
  // Messages raised elsewhere, kept as they are.
  void append(std::span<const Message> messages) {
    list_.insert(list_.end(), messages.begin(), messages.end());
  }

  const std::vector<Message>& list() const { return list_; }
  std::vector<Message> take() { return std::exchange(list_, {}); }
  bool empty() const { return list_.empty(); }
  void clear() { list_.clear(); }

 private:
  std::vector<Message> list_;
  Stage stage_;
  int frame_;
};

// A computation that cannot go on: the message that says why has been raised
// on the computation's Messages before this is thrown (and is carried too).
class ComputationHalted : public std::exception {
 public:
  explicit ComputationHalted(Message cause) : cause_(cause) {}
  const Message& cause() const { return cause_; }
  const char* what() const noexcept override { return "vok: computation halted"; }

 private:
  Message cause_;
};

// Raises `kind` on `messages` and halts.
[[noreturn]] inline void halt(Messages& messages, MessageKind kind, double first = 0.0) {
  messages.raise(kind, first);
  throw ComputationHalted(messages.list().back());
}
[[noreturn]] inline void halt_out_of_memory(Messages& messages, Arrays arrays) {
  messages.raise_out_of_memory(arrays);
  throw ComputationHalted(messages.list().back());
}

}  // namespace vok
