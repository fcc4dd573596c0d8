// One execution per folder: an execution holds an advisory lock (flock) on
// its working folder and on every other folder it writes a run's outputs
// into, each taken before the first file is written there and held until the
// execution ends (also when the process ends in any way).
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace vok {

class FolderLocks {
 public:
  FolderLocks() = default;
  ~FolderLocks();
  FolderLocks(const FolderLocks&) = delete;
  FolderLocks& operator=(const FolderLocks&) = delete;

  // Takes the lock of `folder` ("" is the working folder), unless this
  // execution holds it already under any name. False when another execution
  // holds it; a folder that cannot be opened is left to the writes there,
  // which then fail with their reason.
  bool take(const std::string& folder);

 private:
  struct Held {
    dev_t device;
    ino_t inode;
    int descriptor;
  };
  std::vector<Held> held_;
};

// The folder a file of `path` is written into, as the message about its
// lock names it (absolute, without "." and ".." parts where it exists).
std::string folder_of(const std::string& path);

}  // namespace vok
