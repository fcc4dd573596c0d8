#include "control/interruption.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

#include "output/whole_files.h"

namespace vok {
namespace {

std::atomic<int> run_in_progress{0};
std::atomic<bool> committing{false};
std::atomic<int> pending_signal{0};

// Decimal digits of a nonnegative number, without any call that is not
// async-signal-safe.
char* put_number(char* at, int value) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value > 0);
  while (n > 0) *at++ = digits[--n];
  return at;
}

char* put_text(char* at, const char* text) {
  while (*text != '\0') *at++ = *text++;
  return at;
}

[[noreturn]] void end_interrupted(int signal) {
  remove_temporaries_on_signal();
  char line[96];
  char* at = put_text(line, "vok: interrupted; the outputs of run ");
  at = put_number(at, run_in_progress.load());
  at = put_text(at, " were not written\n");
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line, static_cast<std::size_t>(at - line));
  ::_exit(128 + signal);
}

extern "C" void on_interrupt(int signal) {
  if (committing.load()) {
    pending_signal.store(signal);
    return;
  }
  end_interrupted(signal);
}

}  // namespace

void install_interrupt_handlers() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, signal);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal, &action, nullptr);
}

void set_run_in_progress(int run) { run_in_progress.store(run); }

CommitSection::CommitSection() { committing.store(true); }

CommitSection::~CommitSection() {
  // The run was committed whole: from here on an interruption loses the next.
  run_in_progress.fetch_add(1);
  committing.store(false);
  if (const int signal = pending_signal.exchange(0); signal != 0) end_interrupted(signal);
}

}  // namespace vok
