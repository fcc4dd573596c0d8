// The date-and-time stamps of the rows of a run: 20 characters each, kept in
// one flat block (a data file may have millions of rows). Indices are 0-based:
// stamp i belongs to row i of the data matrix.
#pragma once

#include <cstddef>
#include <functional>
#include <string_view>
#include <vector>

namespace vok {

// The stamp of row j (1-based) of a run, 20 characters. Only consulted when
// the rows carry stamps.
using StampLookup = std::function<std::string_view(int row)>;

class StampArray {
 public:
  static constexpr std::size_t kWidth = 20;

  StampArray() = default;
  // `count` stamps of 20 blanks.
  explicit StampArray(std::size_t count) : chars_(count * kWidth, ' ') {}

  // Stamps past the old size are 20 blanks.
  void resize(std::size_t count) { chars_.resize(count * kWidth, ' '); }
  std::size_t size() const { return chars_.size() / kWidth; }

  // Stamp i, always 20 characters.
  std::string_view operator[](std::size_t i) const {
    return std::string_view(chars_.data() + i * kWidth, kWidth);
  }
  // The 20 writable characters of stamp i.
  char* slot(std::size_t i) { return chars_.data() + i * kWidth; }

 private:
  std::vector<char> chars_;
};

}  // namespace vok
