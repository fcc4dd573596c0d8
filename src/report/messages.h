// The console program's lines for the messages an analysis raises: each
// message kind has its text, and the channels it goes to follow from where it
// was raised (a frame's messages on the report, the descriptive statistics'
// on the error file, the bootstrap's on the standard error stream, ...).
#pragma once

#include <span>
#include <string>
#include <vector>

#include "output/channel.h"
#include "vok/message.h"

namespace vok {

// The channels a message can be written on.
enum class MessageChannel { report, console, error_file, standard_error };

// One line of a message (without its newline) and where it goes.
struct MessageLine {
  MessageChannel channel;
  std::string text;
};

// The lines of a message, in the order they are written.
std::vector<MessageLine> message_lines(const Message& message);

struct MessageChannels {
  Channel& report;
  Channel& console;
  Channel& error_file;
  Channel& standard_error;
};

// Writes the message's lines on their channels.
void write_message(const Message& message, const MessageChannels& to);

}  // namespace vok
