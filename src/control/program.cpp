#include "control/program.h"

#include <exception>
#include <string>
#include <utility>
#include <filesystem>

#include "control/control_files.h"
#include "control/run_driver.h"
#include "data/descriptive.h"
#include "output/channel.h"
#include "output/failure.h"
#include "exec/parallel.h"

namespace vok {
namespace {

// The line a person at a terminal sees after each completed run: where the
// report went and how many frames each test found significant.
std::string summary_line(const RunOutcome& run) {
  static constexpr Test kOrder[] = {Test::cx,   Test::cy,   Test::cxy, Test::hxxx,
                                    Test::hyyy, Test::hxxy, Test::hyyx};
  std::string line = "Report written: " + run.report + "; significant frames of " +
                     std::to_string(run.frames) + " by test:";
  const char* separator = " ";
  for (Test test : kOrder) {
    line += separator;
    line += name(test);
    line += ' ' + std::to_string(run.counts[test]);
    separator = ", ";
  }
  return line;
}

}  // namespace

int run_program(const ExecutionOptions& options) {
  int status = kExitCompleted;
  channels().reset_write_errors();
  try {
    create_error_file();
    Execution execution(options.seed);
    execution.on_completed_run = options.on_completed_run;
    execution.row_batching = options.row_batching;
    TopControlFile top;
    const SharedSettings shared = top.read(execution.readers);
    execution.shared_source = top.source();
    // Every run's closing stamp counts processor time from here.
    execution.start_time = processor_time();
    bool run_ended = false;
    // Only a person at a terminal gets a summary line: redirected or piped,
    // the console holds exactly the program's own lines.
    const bool terminal = channels().console.is_terminal();
    for (int run = 1; run <= shared.runs; ++run) {
      const std::string name = top.next_run_name(run);
      execution.run_name_line = top.name_line();
      try {
        const RunOutcome summary = run_driver(name, shared, run, execution);
        if (terminal) channels().console.line(summary_line(summary));
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

int run_program_in(const std::string& directory, int threads, const ExecutionOptions& options) {
  // Restores what the execution changed, however it ends.
  struct Restore {
    std::filesystem::path directory = std::filesystem::current_path();
    int threads = thread_count();
    ~Restore() {
      std::error_code ignored;
      std::filesystem::current_path(directory, ignored);
      set_thread_count(threads);
    }
  } restore;
  std::filesystem::current_path(directory);
  set_thread_count(threads);
  return run_program(options);
}

}  // namespace vok
