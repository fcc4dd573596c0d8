// The lines of data rows, read from a text file ahead of decoding.
//
// A row under a fixed-column record format takes a fixed number of lines, so
// the lines of many rows can be read first (reading is sequential) and the
// rows decoded afterwards, on several threads, from the lines held here. The
// lines are kept one after another in one reused block with their bounds: no
// string per line, and memory stays at the size of one batch.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "text/text_file.h"

namespace vok {

enum class ReadStatus : int;

// The lines given to one row: line k (0-based) is text[bounds[k], bounds[k + 1]).
// A row may have fewer lines than it takes (the file ended, or a line could
// not be read): asking for a further line then gives `missing`.
struct RowLines {
  const char* text = nullptr;
  std::span<const std::size_t> bounds;  // one more entry than there are lines
  ReadStatus missing{};

  std::size_t count() const { return bounds.empty() ? 0 : bounds.size() - 1; }
  std::string_view line(std::size_t k) const {
    return std::string_view(text + bounds[k], bounds[k + 1] - bounds[k]);
  }
};

class LineBatch {
 public:
  LineBatch();

  // Forgets the lines held, then reads whole rows of `lines_per_row` lines
  // from `file`: up to `rows` rows, and no further row once the lines held
  // take `bytes` of memory or more (the first row is always read whole).
  // Stops early at the end of the file or at a line that cannot be read; then
  // ended() is true. Returns the number of lines read.
  std::size_t fill(TextFile& file, std::size_t rows, std::size_t lines_per_row,
                   std::size_t bytes = SIZE_MAX);

  // The file had no further line (or a line could not be read).
  bool ended() const { return ended_; }
  std::size_t lines() const { return bounds_.size() - 1; }

  // Lines [first, first + count) as the lines of one row, cut at the lines
  // held (a row starting at or past lines() has none).
  RowLines row(std::size_t first, std::size_t count) const {
    const std::size_t held = lines();
    first = std::min(first, held);
    count = std::min(count, held - first);
    return RowLines{text_.data(), std::span<const std::size_t>(bounds_).subspan(first, count + 1),
                    missing_};
  }

 private:
  std::string text_;
  std::vector<std::size_t> bounds_;  // bounds_[0] = 0
  // What a line past the last one held gives: line_read_failed when reading
  // stopped on a failed read, otherwise end_of_file.
  ReadStatus missing_;
  bool ended_ = false;
};

}  // namespace vok
