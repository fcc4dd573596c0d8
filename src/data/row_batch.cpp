#include "data/row_batch.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "data/record_reader.h"

namespace vok {

std::size_t count_line_ends(const char* text, std::size_t size) {
  std::size_t count = 0;
  std::size_t i = 0;
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi8('\n');
  while (size - i >= 16) {
    // Up to 255 rounds of 16 bytes in byte counters, then summed.
    const std::size_t rounds = std::min<std::size_t>((size - i) / 16, 255);
    __m128i counters = _mm_setzero_si128();
    for (std::size_t k = 0; k < rounds; ++k, i += 16) {
      const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text + i));
      counters = _mm_sub_epi8(counters, _mm_cmpeq_epi8(bytes, lf));
    }
    const __m128i sums = _mm_sad_epu8(counters, _mm_setzero_si128());
    count += static_cast<std::size_t>(_mm_cvtsi128_si32(sums)) +
             static_cast<std::size_t>(_mm_extract_epi16(sums, 4));
  }
#endif
  for (; i < size; ++i) count += text[i] == '\n';
  return count;
}

RowBlock::RowBlock() : slices_{{0, 0}}, missing_(ReadStatus::end_of_file) {}

void RowBlock::fill(TextFile& file, const RowBlock* before, std::size_t lines_per_row,
                    std::size_t bytes, std::size_t slice_bytes) {
  lines_per_row_ = std::max<std::size_t>(lines_per_row, 1);
  bytes = std::max<std::size_t>(bytes, 1);
  missing_ = ReadStatus::end_of_file;
  ended_ = false;
  held_ = 0;
  lines_ = 0;
  if (before != nullptr) {
    held_ = before->held_ - before->rows_end_;
    if (text_.size() < held_ + bytes + 1) text_.resize(held_ + bytes + 1);
    std::memcpy(text_.data(), before->text_.data() + before->rows_end_, held_);
    lines_ = before->lines_ - before->rows_ * before->lines_per_row_;
  }
  // What is carried holds less than a row: read at least once.
  do {
    // One byte of room more, for the line end of a last line without one.
    if (text_.size() < held_ + bytes + 1) text_.resize(held_ + bytes + 1);
    const std::size_t got = file.read_bytes(text_.data() + held_, bytes);
    lines_ += count_line_ends(text_.data() + held_, got);
    held_ += got;
    ended_ = got < bytes;
  } while (!ended_ && lines_ < lines_per_row_);

  if (ended_ && file.error() != 0) {
    // A line cut off by the failed read is no line.
    missing_ = ReadStatus::line_read_failed;
    const void* lf = held_ > 0 ? memrchr(text_.data(), '\n', held_) : nullptr;
    held_ = lf == nullptr ? 0 : static_cast<std::size_t>(static_cast<const char*>(lf) - text_.data()) + 1;
  } else if (ended_ && held_ > 0 && text_[held_ - 1] != '\n') {
    text_[held_++] = '\n';
    ++lines_;
  }

  rows_ = lines_ / lines_per_row_;
  rows_end_ = 0;
  if (rows_ > 0) {
    // Back over the lines after the whole rows to the line end of the last.
    std::size_t end = held_;
    for (std::size_t k = lines_ - rows_ * lines_per_row_ + 1; k > 0; --k)
      end = static_cast<std::size_t>(static_cast<const char*>(memrchr(text_.data(), '\n', end)) -
                                     text_.data());
    rows_end_ = end + 1;
  }
  cut_slices(slice_bytes);
}

void RowBlock::cut_slices(std::size_t slice_bytes) {
  slices_.assign(1, Slice{0, 0});
  const std::size_t count =
      std::clamp<std::size_t>(rows_end_ / std::max<std::size_t>(slice_bytes, 1), 1, kMaxSlices);
  const char* text = text_.data();
  std::size_t at = 0;
  std::size_t lines = 0;  // line ends before `at`
  auto past_next_line_end = [&] {
    at = static_cast<std::size_t>(
             static_cast<const char*>(std::memchr(text + at, '\n', rows_end_ - at)) - text) +
         1;
    ++lines;
  };
  for (std::size_t k = 1; k < count; ++k) {
    const std::size_t target = rows_end_ / count * k;
    if (target <= at) continue;
    lines += count_line_ends(text + at, target - at);
    at = target;
    // On to the start of a line, then of a row.
    if (text[at - 1] != '\n') past_next_line_end();
    while (lines % lines_per_row_ != 0) past_next_line_end();
    if (at >= rows_end_) break;
    slices_.push_back(Slice{at, lines / lines_per_row_});
  }
  slices_.push_back(Slice{rows_end_, rows_});
}

RowLines RowBlock::last_row(std::vector<std::string_view>& scratch) const {
  scratch.clear();
  const char* p = text_.data() + rows_end_;
  const char* end = text_.data() + held_;
  while (p < end) scratch.push_back(take_line(p, end));
  return RowLines{scratch, missing_};
}

}  // namespace vok
