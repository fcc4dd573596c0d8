// Helpers shared by the fuzz targets that go through files: a private
// temporary directory that the process works in, and writing inputs into it.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace vok::fuzz {

// A fresh directory under the system's temporary directory, made the working
// directory for the rest of the process and removed (with what it holds)
// when the process exits normally.
class WorkDirectory {
 public:
  WorkDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vok-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    path_ = pattern;
    std::filesystem::current_path(path_);
  }
  ~WorkDirectory() {
    std::error_code ignored;
    std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
    std::filesystem::remove_all(path_, ignored);
  }
  WorkDirectory(const WorkDirectory&) = delete;
  WorkDirectory& operator=(const WorkDirectory&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline const std::filesystem::path& work_directory() {
  static const WorkDirectory dir;
  return dir.path();
}

// Removes every file the previous input left in the working directory, so
// each input starts from the same state.
inline void clear_work_directory() {
  std::error_code ignored;
  for (const auto& entry : std::filesystem::directory_iterator(work_directory(), ignored))
    std::filesystem::remove_all(entry.path(), ignored);
}

inline void write_file(const std::string& name, std::string_view content) {
  std::ofstream out(work_directory() / name, std::ios::binary | std::ios::trunc);
  out.write(content.data(), static_cast<std::streamsize>(content.size()));
  if (!out) {
    std::fprintf(stderr, "cannot write %s\n", name.c_str());
    std::abort();
  }
}

}  // namespace vok::fuzz
