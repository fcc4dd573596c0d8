// Free-format lines: the lines a list-directed write of the items produces.
#pragma once

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>

#include "output/value.h"

namespace vok {

// A free-format line: one leading blank, then the items separated by blanks;
// a text item as escaped_text gives it, an integer in its digits and sign, a real in the
// shortest form that reads back as the same 32-bit value.
std::string free_format(std::span<const Value> items);
inline std::string free_format(std::initializer_list<Value> items) {
  return free_format(std::span<const Value>(items.begin(), items.size()));
}

// Text echoed from an input, safe on a terminal: each control byte (below 32
// but tab, and 127) as a backslash, "x" and two lowercase hex digits (ESC is
// \x1b); every other byte unchanged.
std::string escaped_text(std::string_view text);
void append_escaped(std::string& to, std::string_view text);

// The same bytes each as "?", so that a fixed-width field keeps its width.
std::string masked_text(std::string_view text);

// True when `c` is a byte escaped_text and masked_text replace.
constexpr bool is_control_byte(char c) {
  const auto byte = static_cast<unsigned char>(c);
  return (byte < 32 && byte != '\t') || byte == 127;
}

}  // namespace vok
