// The rows of a data file, read block by block ahead of decoding.
//
// A row under a fixed-column record format takes a fixed number of lines, so
// a data file can be read in large blocks of bytes (reading is sequential)
// and the rows of a block decoded afterwards, on several threads, straight
// from the block: no line is copied. A block holds the whole rows its bytes
// end in; the start of a row that a block's end cuts through (mid-line, or
// between the lines of a row) is carried to the front of the next block. The
// whole rows are cut into slices at row starts, each slice knowing the number
// of its first row, so that slices can be decoded in any order. Memory stays
// at one block's bytes and one carried row.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "data/byte_buffer.h"
#include "input/text_file.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace vok {

enum class ReadStatus : int;

// The lines given to one row. A row may have fewer lines than it takes (the
// file ended, or a line could not be read): asking for a further line then
// gives `missing`.
struct RowLines {
  std::span<const std::string_view> lines;
  ReadStatus missing{};

  std::size_t count() const { return lines.size(); }
  std::string_view line(std::size_t k) const { return lines[k]; }
};

// The line starting at `p`, which a line end at or before `end` ends: its CR
// before the LF dropped; `p` moves past the line end.
inline std::string_view take_line(const char*& p, const char* end) {
  const char* lf = p;
#if defined(__SSE2__)
  // Lines of data are short: 16 bytes at a time here beat a call.
  for (;; lf += 16) {
    if (end - lf < 16) {
      lf = static_cast<const char*>(std::memchr(lf, '\n', static_cast<std::size_t>(end - lf)));
      break;
    }
    const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(lf));
    if (const int ends = _mm_movemask_epi8(_mm_cmpeq_epi8(bytes, _mm_set1_epi8('\n')))) {
      lf += std::countr_zero(static_cast<unsigned>(ends));
      break;
    }
  }
#else
  lf = static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
#endif
  std::string_view line(p, static_cast<std::size_t>(lf - p));
  if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
  p = lf + 1;
  return line;
}

// Line ends in text[0, size).
std::size_t count_line_ends(const char* text, std::size_t size);

class RowBlock {
 public:
  RowBlock();

  // Forgets the rows held, then reads the next block of rows of
  // `lines_per_row` lines: what `before` carries (the start of a row it does
  // not hold whole; nothing when null), then `bytes` from `file`, and `bytes`
  // more as long as no row is whole and the file has not ended. A last line
  // without a line end counts as a line. Stops early at the end of the file
  // or at a read that fails; then ended() is true, and the lines after the
  // whole rows (the last line read in full being the last one) are those of
  // one more row that lacks lines. The whole rows are cut into slices of
  // about `slice_bytes` bytes each, at most kMaxSlices.
  // A last line without a line end that is shorter than `last_line_length`
  // (what a row's last line needs) was cut off while being written: it is
  // dropped, and the file ends before it.
  void fill(TextFile& file, const RowBlock* before, std::size_t lines_per_row, std::size_t bytes,
            std::size_t slice_bytes, std::size_t last_line_length = 0);

  static constexpr std::size_t kMaxSlices = 64;

  // The file had no further byte (or a read failed).
  bool ended() const { return ended_; }
  // Bytes of memory the block holds for its text.
  std::size_t room() const { return text_.size(); }
  // What a line past the lines held gives: line_read_failed when reading
  // stopped on a failed read, otherwise end_of_file.
  ReadStatus missing() const { return missing_; }
  // Reading stopped at a line longer than the file's line limit; its first
  // characters (up to 80).
  bool overlong() const { return !overlong_start_.empty(); }
  const std::string& overlong_start() const { return overlong_start_; }
  // Whole rows held.
  std::size_t rows() const { return rows_; }

  // Slices whose first row comes before row `limit` (0-based in the block).
  std::size_t slices_before(std::size_t limit) const {
    std::size_t s = 0;
    while (s + 1 < slices_.size() && slices_[s].first_row < limit) ++s;
    return s;
  }
  // The first row of slice s (0-based in the block).
  std::size_t first_row(std::size_t s) const { return slices_[s].first_row; }
  // Calls each(row, lines) for the rows of slice s (rows counted from 0 in
  // the block) that come before row `limit`, in order, until it returns
  // false; `scratch` holds the views of a row's lines.
  template <class Each>
  void for_each_row(std::size_t s, std::size_t limit, std::vector<std::string_view>& scratch,
                    Each&& each) const {
    const std::size_t lines_per_row = lines_per_row_;
    scratch.resize(lines_per_row);
    const char* p = text_.data() + slices_[s].begin;
    const char* end = text_.data() + rows_end_;
    const std::size_t last = std::min(slices_[s + 1].first_row, limit);
    for (std::size_t r = slices_[s].first_row; r < last; ++r) {
      for (std::size_t k = 0; k < lines_per_row; ++k) scratch[k] = take_line(p, end);
      if (!each(r, RowLines{scratch, missing_})) return;
    }
  }
  // When ended(): the lines after the whole rows, fewer than a row takes.
  RowLines last_row(std::vector<std::string_view>& scratch) const;

 private:
  struct Slice {
    std::size_t begin;      // byte of the slice's first row
    std::size_t first_row;  // 0-based in the block
  };

  // The start of the first line in [0, end) longer than `limit` bytes, or
  // kNoLine.
  static constexpr std::size_t kNoLine = static_cast<std::size_t>(-1);
  std::size_t overlong_line_start(std::size_t end, std::size_t limit) const;
  // Counts the lines and rows held and cuts the whole rows into slices.
  void cut_rows(std::size_t slice_bytes);

  ByteBuffer text_;  // bytes [0, held_) read; its size is only room
  std::size_t held_ = 0;
  std::size_t lines_ = 0;     // line ends in [0, held_)
  std::size_t rows_ = 0;      // whole rows
  std::size_t rows_end_ = 0;  // byte after the whole rows
  std::size_t lines_per_row_ = 1;
  std::vector<Slice> slices_;  // the last one marks the end: {rows_end_, rows_}
  ReadStatus missing_;
  bool ended_ = false;
  std::string overlong_start_;
};

}  // namespace vok
