#include "control/terminal_progress.h"

#include <unistd.h>

#include <cstdio>
#include <string_view>

namespace vok {

Progress::Sink terminal_progress() {
  if (::isatty(::fileno(stderr)) != 1) return {};
  return [](std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stderr);
    std::fflush(stderr);
  };
}

}  // namespace vok
