#include "control/program.h"

#include <exception>

#include "control/control_files.h"
#include "control/run_driver.h"
#include "data/descriptive.h"
#include "output/channel.h"
#include "output/failure.h"

namespace vok {

int run_program() {
  int status = kExitCompleted;
  channels().reset_write_errors();
  try {
    create_error_file();
    Execution execution;
    TopControlFile top;
    const SharedSettings shared = top.read(execution.readers);
    // Every run's closing stamp counts processor time from here.
    execution.start_time = processor_time();
    bool run_ended = false;
    for (int run = 1; run <= shared.runs; ++run) {
      const std::string name = top.next_run_name(run);
      try {
        run_driver(name, shared, run, execution);
      } catch (const RunEnded&) {
        run_ended = true;
      }
    }
    status = run_ended ? kExitRunEnded : kExitCompleted;
  } catch (const Stop& stop) {
    status = stop.status();
  } catch (const std::exception& e) {
    // Nothing should get here; if something does, say so instead of aborting.
    ChannelGroup{&channels().console, &channels().error_file}.write_free(
        {"**** Internal error:", e.what()});
    status = kExitStopped;
  }
  // Output that could not be written is a failure whatever the runs did. The
  // run files are closed before the error file, which reports their failures.
  if (!channels().close_all()) status = kExitStopped;
  return status;
}

}  // namespace vok
