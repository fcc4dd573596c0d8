// The entry of the program: reads "Runvok.cnl" in the working directory and
// performs every run it names.
#pragma once

namespace vok {

// Runs a whole execution in the current working directory and returns the
// exit status: 0 when every run completed, 1 after a fatal stop, 2 when at
// least one run ended early. Every output channel is flushed and closed before
// it returns.
int run_program();

}  // namespace vok
