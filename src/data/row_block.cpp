#include "data/row_block.h"

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
                    std::size_t bytes, std::size_t slice_bytes,
                    std::size_t last_line_length) {
  lines_per_row_ = std::max<std::size_t>(lines_per_row, 1);
  // No more room than the file has left, and one byte to show its end: the
  // last block of a file is as small as its rows.
  bytes = std::max<std::size_t>(bytes, 1);
  if (const std::size_t left = file.bytes_left(); left < bytes) bytes = left + 1;
  missing_ = ReadStatus::end_of_file;
  ended_ = false;
  held_ = 0;
  std::size_t found = 0;  // line ends held, counted up to a row's
  if (before != nullptr) {
    held_ = before->held_ - before->rows_end_;
    text_.reserve(held_ + bytes + 1, 0);
    std::memcpy(text_.data(), before->text_.data() + before->rows_end_, held_);
    found = before->lines_ - before->rows_ * before->lines_per_row_;
  }
  overlong_start_.clear();
  // What is carried holds less than a row: read at least once. Only that
  // row's lines can outgrow one read, so only they are held to the line
  // limit: a longer line stops the reading before that row.
  const std::size_t limit = file.line_limit();
  std::size_t row_end = 0;  // byte after the first row, once its lines are held
  bool overlong = false;
  do {
    // One byte of room more, for the line end of a last line without one.
    text_.reserve(held_ + bytes + 1, held_);
    const std::size_t got = file.read_bytes(text_.data() + held_, bytes);
    std::size_t scan = held_;
    held_ += got;
    ended_ = got < bytes;
    while (found < lines_per_row_) {
      const void* lf = std::memchr(text_.data() + scan, '\n', held_ - scan);
      if (lf == nullptr) break;
      scan = static_cast<std::size_t>(static_cast<const char*>(lf) - text_.data()) + 1;
      if (++found == lines_per_row_) row_end = scan;
    }
    if (const std::size_t line = overlong_line_start(found < lines_per_row_ ? held_ : row_end, limit);
        line != kNoLine) {
      overlong = ended_ = true;
      overlong_start_.assign(text_.data() + line, std::min<std::size_t>(held_ - line, 80));
      held_ = 0;
    }
  } while (!ended_ && found < lines_per_row_);

  if (ended_ && (overlong || file.error() != 0)) {
    // A line cut off by the failed read is no line.
    missing_ = ReadStatus::line_read_failed;
    const void* lf = held_ > 0 ? memrchr(text_.data(), '\n', held_) : nullptr;
    held_ = lf == nullptr ? 0 : static_cast<std::size_t>(static_cast<const char*>(lf) - text_.data()) + 1;
  } else if (ended_ && held_ > 0 && text_[held_ - 1] != '\n') {
    const void* lf = memrchr(text_.data(), '\n', held_);
    const std::size_t begin =
        lf == nullptr ? 0 : static_cast<std::size_t>(static_cast<const char*>(lf) - text_.data()) + 1;
    std::size_t length = held_ - begin;
    if (text_[held_ - 1] == '\r') --length;
    if (length < last_line_length)
      held_ = begin;
    else
      text_[held_++] = '\n';
  }
  cut_rows(slice_bytes);
}

std::size_t RowBlock::overlong_line_start(std::size_t end, std::size_t limit) const {
  if (end <= limit) return kNoLine;  // no line can be longer: the usual case
  const char* text = text_.data();
  for (std::size_t begin = 0; begin < end;) {
    const void* lf = std::memchr(text + begin, '\n', end - begin);
    const std::size_t stop = lf ? static_cast<std::size_t>(static_cast<const char*>(lf) - text) : end;
    if (stop - begin > limit) return begin;
    begin = stop + 1;
  }
  return kNoLine;
}

void RowBlock::cut_rows(std::size_t slice_bytes) {
  // One pass over the bytes counts the line ends, cutting slices at the
  // first row start after each slice's share of the bytes.
  const char* text = text_.data();
  slices_.assign(1, Slice{0, 0});
  const std::size_t count =
      std::clamp<std::size_t>(held_ / std::max<std::size_t>(slice_bytes, 1), 1, kMaxSlices);
  std::size_t at = 0;
  std::size_t lines = 0;  // line ends before `at`
  for (std::size_t k = 1; k < count; ++k) {
    const std::size_t target = held_ / count * k;
    if (target <= at) continue;
    lines += count_line_ends(text + at, target - at);
    at = target;
    bool at_row = true;
    while (text[at - 1] != '\n' || lines % lines_per_row_ != 0) {
      const void* lf = std::memchr(text + at, '\n', held_ - at);
      if (lf == nullptr) {
        at_row = false;
        break;
      }
      at = static_cast<std::size_t>(static_cast<const char*>(lf) - text) + 1;
      ++lines;
    }
    if (!at_row || at >= held_) break;
    slices_.push_back(Slice{at, lines / lines_per_row_});
  }
  lines_ = lines + count_line_ends(text + at, held_ - at);

  rows_ = lines_ / lines_per_row_;
  rows_end_ = 0;
  if (rows_ > 0) {
    // Back over the lines after the whole rows to the line end of the last.
    std::size_t end = held_;
    for (std::size_t k = lines_ - rows_ * lines_per_row_ + 1; k > 0; --k)
      end = static_cast<std::size_t>(static_cast<const char*>(memrchr(text, '\n', end)) - text);
    rows_end_ = end + 1;
  }
  // Slices that start in the lines after the whole rows go.
  while (slices_.size() > 1 && slices_.back().begin >= rows_end_) slices_.pop_back();
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
