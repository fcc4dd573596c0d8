#include "data/row_batch.h"

#include "data/record_reader.h"

namespace vok {

LineBatch::LineBatch() : bounds_{0}, missing_(ReadStatus::end_of_file) {}

std::size_t LineBatch::fill(TextFile& file, std::size_t wanted) {
  text_.clear();
  bounds_.resize(1);
  missing_ = ReadStatus::end_of_file;
  for (std::size_t k = 0; k < wanted; ++k) {
    if (!file.read_line(line_)) {
      if (file.error() != 0) missing_ = ReadStatus::line_read_failed;
      break;
    }
    text_ += line_;
    bounds_.push_back(text_.size());
  }
  return lines();
}

}  // namespace vok
