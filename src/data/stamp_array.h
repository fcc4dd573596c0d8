// The date-and-time stamps of the rows of a run: 20 characters each, kept in
// one flat block (a data file may have millions of rows). Indices are 0-based:
// stamp i belongs to row i of the run's series.
//
// A run prints only the stamps of its frames' first and last rows, so the
// array may keep the stamps of chosen rows only: a row it does not keep has
// no slot, and its stamp is read (a row is read whole) but not stored.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
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
  // The stamps of rows 0..count - 1, 20 blanks each.
  explicit StampArray(std::size_t count) : chars_(count * kWidth, ' '), count_(count) {}
  // The stamps of the rows listed (0-based, rising, no row twice), 20 blanks
  // each; the other rows' stamps are not kept.
  static StampArray of_rows(std::vector<std::uint32_t> rows) {
    StampArray a;
    a.chars_.assign(rows.size() * kWidth, ' ');
    a.count_ = rows.empty() ? 0 : std::size_t{rows.back()} + 1;
    // Every row kept: no list needed.
    if (rows.size() != a.count_) a.rows_ = std::move(rows);
    return a;
  }

  // Rows covered: one past the last row kept.
  std::size_t size() const { return count_; }
  bool keeps_every_row() const { return rows_.empty(); }

  // Stamp i (a row kept), always 20 characters.
  std::string_view operator[](std::size_t i) const {
    return std::string_view(chars_.data() + place(i) * kWidth, kWidth);
  }
  // The 20 writable characters of stamp i, null for a row not kept.
  char* slot(std::size_t i) {
    if (keeps_every_row()) return i < count_ ? chars_.data() + i * kWidth : nullptr;
    const std::size_t k = place(i);
    return k < rows_.size() && rows_[k] == i ? chars_.data() + k * kWidth : nullptr;
  }

  // The slots of rows visited in rising order from row `first`, found
  // without a search per row.
  class Cursor {
   public:
    char* slot(std::size_t i) {
      if (array_->keeps_every_row()) return array_->slot(i);
      const std::vector<std::uint32_t>& rows = array_->rows_;
      while (next_ < rows.size() && rows[next_] < i) ++next_;
      return next_ < rows.size() && rows[next_] == i ? array_->chars_.data() + next_ * kWidth
                                                     : nullptr;
    }

   private:
    friend class StampArray;
    Cursor(StampArray* array, std::size_t next) : array_(array), next_(next) {}
    StampArray* array_;
    std::size_t next_;
  };
  Cursor cursor(std::size_t first) { return Cursor(this, keeps_every_row() ? 0 : place(first)); }

 private:
  // Where row i's stamp stands (for a row not kept: the first kept row after it).
  std::size_t place(std::size_t i) const {
    if (keeps_every_row()) return i;
    return static_cast<std::size_t>(std::lower_bound(rows_.begin(), rows_.end(), i) -
                                    rows_.begin());
  }

  std::vector<char> chars_;
  std::vector<std::uint32_t> rows_;  // rows kept; empty when every row is
  std::size_t count_ = 0;
};

}  // namespace vok
