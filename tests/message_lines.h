// The lines the console program writes for messages, for tests that compare
// a routine's messages with the exact lines it has always given.
#pragma once

#include <span>
#include <string>

#include "report/messages.h"
#include "stats/messages.h"

namespace vok {

// The lines (each with its newline) that `messages` give on `channel`.
inline std::string lines_on(std::span<const Message> messages, MessageChannel channel) {
  std::string out;
  for (const Message& m : messages)
    for (const MessageLine& line : message_lines(m))
      if (line.channel == channel) out += line.text + "\n";
  return out;
}
// The lines of a frame's messages on the report (where a frame writes them).
inline std::string report_lines(const Messages& messages) {
  return lines_on(messages.list(), MessageChannel::report);
}

}  // namespace vok
