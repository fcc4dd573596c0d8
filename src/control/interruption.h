// Interruption of an execution by SIGINT, SIGTERM or SIGHUP: the temporary
// files of the run in progress are removed, nothing of it is committed, one
// line goes to standard error and the program ends with the signal's usual
// status (128 + its number: 130, 143, 129). Runs committed before stay.
#pragma once

namespace vok {

// Installs the handlers (the console program's, once at start).
void install_interrupt_handlers();

// The run whose outputs an interruption now would lose (1-based).
void set_run_in_progress(int run);

// While alive, an interruption waits: the renames that commit a run's files
// are made all, or (when the signal came before) none. A signal that came
// meanwhile is acted on when the section ends.
class CommitSection {
 public:
  CommitSection();
  ~CommitSection();
  CommitSection(const CommitSection&) = delete;
  CommitSection& operator=(const CommitSection&) = delete;
};

}  // namespace vok
