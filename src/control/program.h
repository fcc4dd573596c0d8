// The entry of the program: reads "Runvok.cnl" in the working directory and
// performs every run it names.
#pragma once

#include <cstdint>
#include <string>

#include "control/run_driver.h"
#include "output/channel.h"

namespace vok {

// How an execution runs, besides its control files.
struct ExecutionOptions {
  // Seed of the bootstrap's uniform stream (0: the program's fixed stream).
  std::uint64_t seed = 0;
  // Threads of the runs' parallel steps (0: one per processor core).
  int threads = 0;
  // What the bootstrap's resamples go through.
  Bootstrap bootstrap = Bootstrap::data;
  // The VAR fit's constant.
  Trend trend = Trend::n;
  // The kernel of the tests' lag sums.
  SumsKernel kernel = SumsKernel::fast;
  // Each run that goes through its frames writes its results file beside
  // its report (--results).
  bool results_file = false;
  // How the data rows are read in blocks (tests make them small, so that a
  // run's frames are computed across many blocks).
  RowBatching row_batching;
};

// Runs a whole execution in the current working directory, writing on `out`,
// and returns the exit status: 0 when every run completed, 1 after a fatal
// stop, 2 when at least one run ended early. Every output channel is flushed
// and closed before it returns. The lines and the count of write errors of
// an execution are those of its own channels alone.
int run_program(Channels& out, const ExecutionOptions& options = {});

// Runs a whole execution in `directory` as if the program had been started
// there with `threads` threads (0: every core; it replaces options.threads):
// the working directory is changed for the execution and restored
// afterwards, also when it throws. The working directory is the process's, so nothing
// else in the process may rely on it meanwhile. Throws
// std::filesystem::filesystem_error when the directory cannot be entered.
int run_program_in(Channels& out, const std::string& directory, int threads,
                   const ExecutionOptions& options);

}  // namespace vok
