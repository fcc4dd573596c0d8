#include "output/whole_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

namespace vok {
namespace {

// Slots the signal handler reads: a path is written first, then the slot is
// marked in use; it is marked free before the path changes again.
constexpr int kSlots = 32;
constexpr std::size_t kPathBytes = 4096;
struct Slot {
  std::atomic<bool> used{false};
  char path[kPathBytes]{};
};
Slot slots[kSlots];
std::atomic<unsigned> counter{0};

void track(const std::string& path) {
  if (path.size() >= kPathBytes) return;  // left to the run's own clean-up
  for (Slot& s : slots) {
    if (s.used.load()) continue;
    std::memcpy(s.path, path.c_str(), path.size() + 1);
    s.used.store(true);
    return;
  }
}

void untrack(const std::string& path) {
  for (Slot& s : slots)
    if (s.used.load() && path == s.path) s.used.store(false);
}

}  // namespace

int create_temporary(const std::string& final_path, std::string& temporary_path) {
  struct stat info;
  if (::lstat(final_path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return -EISDIR;
  const std::string prefix = final_path + ".vok-" + std::to_string(::getpid()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    temporary_path = prefix + std::to_string(counter.fetch_add(1)) + ".tmp";
    // Tracked before it exists: a signal between its creation and its
    // tracking would leave it behind.
    track(temporary_path);
    const int fd = ::open(temporary_path.c_str(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) return fd;
    const int error = errno;
    untrack(temporary_path);
    if (error != EEXIST) return -error;
  }
  return -EEXIST;
}

int commit_temporary(const std::string& temporary_path, const std::string& final_path) {
  const int status = ::rename(temporary_path.c_str(), final_path.c_str()) == 0 ? 0 : errno;
  if (status != 0) ::unlink(temporary_path.c_str());
  untrack(temporary_path);
  return status;
}

void discard_temporary(const std::string& temporary_path) {
  ::unlink(temporary_path.c_str());
  untrack(temporary_path);
}

void remove_temporaries_on_signal() noexcept {
  for (Slot& s : slots)
    if (s.used.load()) ::unlink(s.path);
}

}  // namespace vok
