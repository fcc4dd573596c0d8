#include <string_view>
#include <vector>

#include "control/interruption.h"
#include "control/options.h"

int main(int argc, char** argv) {
  vok::install_interrupt_handlers();
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  return vok::run_command_line(args);
}
