// Interruption of an execution by a signal that would end it (SIGINT,
// SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGVTALRM, SIGPROF,
// SIGIO, SIGPWR, SIGXCPU, SIGSTKFLT and the real-time signals): the temporary
// files of the run in progress are removed, nothing of it is committed, one
// line goes to standard error and the program ends with the signal's usual
// status (128 + its number: 130, 143, 129, ...). Runs committed before stay;
// when there are any, the error file committed with them gets the same line.
//
// SIGPIPE and SIGXFSZ are ignored: the write that meets a closed pipe or the
// file-size limit fails, and is reported, as any failed write is.
#pragma once

#include <span>

namespace vok {

// Installs the handlers (the console program's, once at start).
void install_interrupt_handlers();

// The signals the handlers take, in rising order.
std::span<const int> interrupting_signals();

// The run whose outputs an interruption now would lose (1-based).
void set_run_in_progress(int run);

// The error file's state at the last commit of a run: its descriptor, its
// temporary file and the bytes committed. An interruption then commits those
// bytes and its own line as the error file. The strings must stay until
// forget_error_file().
void note_error_file(int descriptor, const char* temporary_path, const char* final_path,
                     long long committed);
void forget_error_file();

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
