// Free-format lines: the lines a list-directed write of the items produces.
#pragma once

#include <initializer_list>
#include <span>
#include <string>

#include "output/value.h"

namespace vok {

// A free-format line: one leading blank, then the items separated by blanks;
// a text item unchanged, an integer in its digits and sign, a real in the
// shortest form that reads back as the same 32-bit value.
std::string free_format(std::span<const Value> items);
inline std::string free_format(std::initializer_list<Value> items) {
  return free_format(std::span<const Value>(items.begin(), items.size()));
}

}  // namespace vok
