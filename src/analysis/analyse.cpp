#include "vok/vok.h"

namespace vok {

Result analyse(std::span<const float>, std::span<const float>, const Settings& settings,
               std::span<const std::string>) {
  settings.check();
  throw Error("vok::analyse: not built yet");
}

}  // namespace vok
