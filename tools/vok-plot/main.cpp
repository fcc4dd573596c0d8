#include <cstdlib>
#include <iostream>

#include "vok_plot.h"

int main(int argc, char** argv) {
  const char* path = std::getenv("PATH");
  return vok::plot::run_vok_plot(std::vector<std::string>(argv + 1, argv + argc), std::cout,
                                 std::cerr, path == nullptr ? "/usr/bin:/bin" : path);
}
