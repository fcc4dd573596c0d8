#include "control/program.h"

#include "output/channel.h"
#include "output/failure.h"

namespace vok {

int run_program() {
  int status = kExitCompleted;
  try {
    // Filled in by the control-file layer.
  } catch (const Stop& stop) {
    status = stop.status();
  }
  if (!channels().close_all()) status = kExitStopped;
  return status;
}

}  // namespace vok
