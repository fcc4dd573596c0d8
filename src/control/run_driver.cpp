#include "control/run_driver.h"

#include "control/control_files.h"

namespace vok {

// For now a run only reads its run control file.
void run_driver(const std::string& name, const SharedSettings& /*shared*/, int /*run_index*/,
                Execution& execution) {
  read_run_control(name, execution);
}

}  // namespace vok
