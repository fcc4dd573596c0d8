#include "control/folder_locks.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace vok {

FolderLocks::~FolderLocks() {
  for (const Held& h : held_) ::close(h.descriptor);
}

bool FolderLocks::take(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return true;
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    ::close(fd);
    return true;
  }
  // A second lock of a folder this execution holds would wait for itself:
  // locks belong to the open descriptor, not to the process.
  for (const Held& h : held_) {
    if (h.device == info.st_dev && h.inode == info.st_ino) {
      ::close(fd);
      return true;
    }
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    ::close(fd);
    return false;
  }
  held_.push_back({info.st_dev, info.st_ino, fd});
  return true;
}

std::string folder_of(const std::string& path) {
  namespace fs = std::filesystem;
  std::error_code ignored;
  const fs::path folder = fs::path(path).parent_path();
  const fs::path absolute = fs::absolute(folder.empty() ? fs::path(".") : folder, ignored);
  const fs::path canonical = fs::weakly_canonical(absolute, ignored);
  return (canonical.empty() ? absolute.lexically_normal() : canonical).string();
}

}  // namespace vok
