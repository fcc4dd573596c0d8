#include "data/row_batch.h"

#include "data/record_reader.h"

namespace vok {

LineBatch::LineBatch() : bounds_{0}, missing_(ReadStatus::end_of_file) {}

std::size_t LineBatch::fill(TextFile& file, std::size_t rows, std::size_t lines_per_row,
                            std::size_t bytes) {
  text_.clear();
  bounds_.resize(1);
  missing_ = ReadStatus::end_of_file;
  ended_ = false;
  for (std::size_t row = 0; row < rows; ++row) {
    if (row > 0 && text_.size() + lines() * sizeof(std::size_t) >= bytes) break;
    for (std::size_t k = 0; k < lines_per_row; ++k) {
      std::string_view line;
      if (!file.read_line(line)) {
        if (file.error() != 0) missing_ = ReadStatus::line_read_failed;
        ended_ = true;
        return lines();
      }
      text_ += line;
      bounds_.push_back(text_.size());
    }
  }
  return lines();
}

}  // namespace vok
