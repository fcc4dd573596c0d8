// A text file written for one test and removed afterwards.
#pragma once

#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace vok::testing {

class TempTextFile {
 public:
  explicit TempTextFile(std::string_view contents) {
    static std::atomic<int> counter{0};
    path_ =
        (std::filesystem::temp_directory_path() /
         ("vok-data-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".dat"))
            .string();
    std::ofstream out(path_, std::ios::binary);
    out << contents;
  }
  ~TempTextFile() {
    std::error_code ignored;
    std::filesystem::remove(path_, ignored);
  }
  TempTextFile(const TempTextFile&) = delete;
  TempTextFile& operator=(const TempTextFile&) = delete;

  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

}  // namespace vok::testing
