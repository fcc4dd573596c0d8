// A data file's record format, parsed once when the header is read: the text
// the report shows, whether the rows carry a date-and-time stamp and where it
// stands, and the plan for reading a row. What makes a format unusable is
// kept, not thrown: reading the rows reports it, at the first row.
#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <string_view>

#include "data/record_reader.h"

namespace vok {

// Where the stamp stands in a stamped row, from the format text: with p the
// first "(" and q the first "a" (descriptors are read in either case, so "A"
// counts as well), q = p + 1 puts the stamp first and q > p + 2 last. Any other
// case (q = p + 2, q before p, no "a"), and an "a" with no ")" after it, has
// no valid position: nullopt.
std::optional<StampPosition> stamp_position(std::string_view format);

class DataFormat {
 public:
  // What keeps the rows from being read.
  enum class Fault {
    none,
    stamp,     // the rows carry a stamp, but where it stands cannot be read
    unusable,  // the format does not compile
  };

  DataFormat() = default;
  // The format `text` (its first 50 characters) for rows of `values` values
  // (a negative count reads none).
  static DataFormat compile(std::string_view text, int values);

  // The format's 50 characters, blank-padded, as the report and the messages
  // show them.
  const std::string& text() const { return text_; }
  // The rows carry a stamp: the format holds an "a" (or "A").
  bool stamped() const { return stamped_; }
  Fault fault() const { return fault_; }
  // What is wrong and at which character of the format, for a detail line.
  const std::string& why() const { return why_; }
  // The plan for reading a row: only for a compiled format whose fault() is
  // none.
  const RecordFormat& plan() const {
    assert(plan_.has_value());
    return *plan_;
  }
  // Lines a data row takes: one for "*" and for a format with a fault.
  int lines_per_row() const;

 private:
  std::string text_;
  bool stamped_ = false;
  Fault fault_ = Fault::none;
  std::string why_;
  std::optional<RecordFormat> plan_;
};

}  // namespace vok
