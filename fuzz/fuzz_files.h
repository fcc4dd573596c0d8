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

// Creates a fresh directory under the system's temporary directory and makes
// it the working directory for the rest of the process; it is removed at exit.
inline const std::filesystem::path& work_directory() {
  static const std::filesystem::path dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "vok-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    std::filesystem::current_path(pattern);
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
      std::filesystem::remove_all(work_directory(), ignored);
    });
    return std::filesystem::path(pattern);
  }();
  return dir;
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
