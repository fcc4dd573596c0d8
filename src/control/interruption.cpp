#include "control/interruption.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <vector>

#include "output/whole_files.h"

namespace vok {
namespace {

std::atomic<int> run_in_progress{0};
std::atomic<bool> committing{false};
std::atomic<int> pending_signal{0};

// The error file as the last run's commit left it (see note_error_file).
constexpr std::size_t kPathBytes = 4096;
struct ErrorFile {
  std::atomic<bool> noted{false};
  int descriptor = -1;
  long long committed = 0;
  char temporary[kPathBytes]{};
  char final[kPathBytes]{};
} error_file;

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

// The committed part of the error file and `line` under its final name.
void commit_error_file(const char* line, std::size_t length) {
  if (!error_file.noted.load()) return;
  const int fd = error_file.descriptor;
  if (::ftruncate(fd, error_file.committed) != 0) return;
  if (::pwrite(fd, line, length, error_file.committed) != static_cast<ssize_t>(length)) return;
  ::rename(error_file.temporary, error_file.final);
}

[[noreturn]] void end_interrupted(int signal) {
  char line[96];
  char* at = put_text(line, "vok: interrupted; the outputs of run ");
  at = put_number(at, run_in_progress.load());
  at = put_text(at, " were not written\n");
  const auto length = static_cast<std::size_t>(at - line);
  commit_error_file(line, length);
  remove_temporaries_on_signal();
  [[maybe_unused]] const ssize_t written = ::write(STDERR_FILENO, line, length);
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

std::span<const int> interrupting_signals() {
  static const std::vector<int> signals = [] {
    // Those whose default action ends the program; not the faults a program
    // raises itself (SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT, SIGTRAP,
    // SIGSYS), and not SIGKILL and SIGSTOP, which cannot be caught.
    std::vector<int> list = {SIGHUP,  SIGINT,    SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGTERM,
                             SIGXCPU, SIGVTALRM, SIGPROF, SIGIO,   SIGPWR};
#ifdef SIGSTKFLT
    list.push_back(SIGSTKFLT);
#endif
    for (int s = SIGRTMIN; s <= SIGRTMAX; ++s) list.push_back(s);
    std::sort(list.begin(), list.end());
    list.erase(std::unique(list.begin(), list.end()), list.end());
    return list;
  }();
  return signals;
}

void install_interrupt_handlers() {
  struct sigaction action {};
  action.sa_handler = on_interrupt;
  sigemptyset(&action.sa_mask);
  for (int signal : interrupting_signals()) sigaddset(&action.sa_mask, signal);
  for (int signal : interrupting_signals()) sigaction(signal, &action, nullptr);
  // A closed pipe or the file-size limit fails the write instead, with its
  // reason ("Broken pipe", "File too large").
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  sigemptyset(&ignore.sa_mask);
  for (int signal : {SIGPIPE, SIGXFSZ}) sigaction(signal, &ignore, nullptr);
}

void note_error_file(int descriptor, const char* temporary_path, const char* final_path,
                     long long committed) {
  if (descriptor < 0 || std::strlen(temporary_path) >= kPathBytes ||
      std::strlen(final_path) >= kPathBytes) {
    forget_error_file();
    return;
  }
  // Marked unused while its fields change: the handler reads them only when
  // marked.
  error_file.noted.store(false);
  error_file.descriptor = descriptor;
  error_file.committed = committed;
  std::strcpy(error_file.temporary, temporary_path);
  std::strcpy(error_file.final, final_path);
  error_file.noted.store(true);
}

void forget_error_file() { error_file.noted.store(false); }

void set_run_in_progress(int run) { run_in_progress.store(run); }

CommitSection::CommitSection() { committing.store(true); }

CommitSection::~CommitSection() {
  // The run was committed whole: from here on an interruption loses the next.
  run_in_progress.fetch_add(1);
  committing.store(false);
  if (const int signal = pending_signal.exchange(0); signal != 0) end_interrupted(signal);
}

}  // namespace vok
