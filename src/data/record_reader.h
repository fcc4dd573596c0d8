// Reading the observation rows of a data file with its record format.
//
// The record format (e.g. "(a19,1x,3f12.4)") is parsed once and compiled, for
// a given shape of row (K values, with or without a date-and-time stamp before
// or after them), into a flat plan: for every line the row takes, the fields to
// cut out of it by column. Reading a row then only follows the plan: no
// descriptor is interpreted and nothing is allocated per field.
//
// Input editing, as the conventional descriptor notation defines it:
//   Aw      w characters of text: the stamp (20 characters). A shorter field is
//           padded on the right with blanks, a longer one keeps its rightmost 20
//           characters; A without a width reads 20 characters.
//   Fw.d, Ew.d, Dw.d, Gw.d
//           a real from w columns: optional sign, digits with an optional
//           decimal point, optional exponent written as E, D or Q followed by
//           an optional sign and digits, or as a bare sign and digits (1.5+3).
//           A value without a decimal point takes its last d digits as
//           decimals. Blanks anywhere in the field are ignored; a field of
//           blanks (or a sign alone) reads as zero. The decimal text is
//           rounded once, correctly, to the nearest 32-bit real.
//   Iw      an integer from w columns (sign and digits, blanks ignored).
//   nX, TRn skip n columns; TLn moves n columns back (not before column 1);
//           Tn moves to column n.
//   /       continues on the next line.
//   :       ends the row when no value is left to read.
//   r(...), rFw.d
//           repeat counts on groups and descriptors.
// A line shorter than the format reads as if padded with blanks. When the
// format ends and values are still to be read, the row continues on the next
// line from the start of the format's last top-level group (from the start of
// the format when it has none): one observation may span several lines. When
// the last value has been read, columns and "/" up to the next descriptor that
// takes a value (or ":" or the end of the format) are still acted on, so a
// trailing "/" makes every row take one more line.
//
// The format "*" (alone, blanks around it allowed) reads rows without fixed
// columns, one row per line: its values are separated by blanks (tabs count
// as blanks), by a comma, or by a comma with blanks around it; each value is
// read as under F editing with no implied decimals. Values after the row's
// last one are ignored. A line with fewer values than the row has, an empty
// field (two commas with only blanks between, a comma first on the line, or a
// comma that ends the line before the row's last value) and a field that is
// not a number cannot be read; nor can an empty line, unless only empty lines
// follow it (the file has ended). Rows read this way carry no stamp.
//
// Refused when compiling (RecordFormatError): a format that does not parse, a
// format that does not begin with "(" (other than "*"), "*" for a stamped
// row, texts in quotes and the sign
// descriptors S, SS, SP (they have no meaning when reading), and a format whose
// walk over one row would take an unreasonable number of steps.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "input/text_file.h"
#include "data/row_block.h"

namespace vok {

// Why a row could not be read. A nonzero number is what the read-error
// message prints after "** Error in read of data file ".
enum class ReadStatus : int {
  ok = 0,
  end_of_file = -1,         // no line left for the row (or one of its lines)
  cut_line = -2,            // list-directed rows: the file's last line has no line end, so
                            // its last value may be cut anywhere: no row, the file ends
  bad_character = 1,        // a character that cannot stand in a number at its place
                            // (letters, a second point or sign, a point in an Iw field)
  no_digits = 2,            // a sign, a point or an exponent with no digits for it
  out_of_range = 3,         // magnitude beyond the largest 32-bit real
  text_for_number = 4,      // an A descriptor where the row has a number
  number_for_text = 5,      // a numeric descriptor where the row has its stamp
  no_value_descriptor = 6,  // values are left but the format (after reversion) takes none
  line_read_failed = 7,     // the system could not read a line
  missing_value = 8,        // list-directed rows: an empty field between two commas
  unusable_format = 9,      // the record format cannot be used for reading
  short_line = 10,          // list-directed rows: fewer values on the line than the row has
  empty_line = 11,          // list-directed rows: an empty line before the end of the file
};

// Text naming the problem of a status, for diagnostics.
std::string_view describe(ReadStatus status);

// Decodes one numeric field under Fw.d (also Ew.d, Dw.d, Gw.d): `field` holds
// the w characters (fewer when the line ended; the missing ones count as
// blanks). Returns ok and sets `value`, or the reason it cannot be read.
ReadStatus decode_real(std::string_view field, int digits, float& value);
// Iw: sign and digits only.
ReadStatus decode_integer(std::string_view field, float& value);

// Where a row's date-and-time stamp stands among its items.
enum class StampPosition { none, first, last };

inline constexpr std::size_t kStampWidth = 20;

// A record format that cannot be used for reading; what() says why, and
// character() at which character of the format (1-based).
class RecordFormatError : public std::runtime_error {
 public:
  RecordFormatError(const std::string& why, std::size_t character)
      : std::runtime_error(why), character_(character) {}
  std::size_t character() const { return character_; }

 private:
  std::size_t character_;
};

// The plan for reading one row.
class RecordFormat {
 public:
  // Parses `format` and plans a row of `values` reals (negative counts as 0)
  // with the stamp at `stamp`. Throws RecordFormatError.
  static RecordFormat compile(std::string_view format, int values, StampPosition stamp);

  // Lines one row takes (list-directed rows: at least one).
  int lines_per_row() const { return lines_per_row_; }
  // True for the format "*": values separated by blanks or commas.
  bool list_directed() const { return list_directed_; }
  int values() const { return values_; }
  StampPosition stamp() const { return stamp_; }
  // Characters the last line of a row must hold to reach the end of its last
  // field (list-directed rows: 0). A file's last line without its line end
  // that is shorter was cut off while being written, and is no row.
  std::size_t last_line_length() const;

  struct Step {
    enum class Kind : std::uint8_t { next_line, real, integer, stamp, fail };
    Kind kind;
    int column;  // 0-based first column of the field
    int width;
    int digits;                           // d of a real field
    int item;                             // value number (0-based) of a real or integer field
    ReadStatus failure = ReadStatus::ok;  // of a fail step
  };
  // The plan: the row's first line is read before the first step.
  const std::vector<Step>& steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
  int lines_per_row_ = 1;
  int values_ = 0;
  bool list_directed_ = false;
  StampPosition stamp_ = StampPosition::none;
};

// Where one row goes: value j to values[c * stride] (the rows of a matrix
// stored by columns) with c = columns[j], or c = j when `columns` is empty;
// a value whose c is negative is read but not stored. The stamp goes to 20
// characters at `stamp` (null: not stored).
struct RowDestination {
  float* values = nullptr;
  std::size_t stride = 1;
  char* stamp = nullptr;
  std::span<const int> columns = {};

  void store(int item, float v) const {
    const int c = columns.empty() ? item : columns[static_cast<std::size_t>(item)];
    if (c >= 0) values[static_cast<std::size_t>(c) * stride] = v;
  }
};

// Decodes one row of a fixed-column format (not "*") from its lines, already
// read. The plan is followed step by step as if the lines were read one at a
// time: the fields of a line are decoded before the next line is looked at, so
// a row whose first line cannot be decoded fails with that line's status even
// when its second line is missing. A line the row needs beyond those given
// yields lines.missing. On a status other than ok the values decoded so far
// may have been stored.
ReadStatus decode_row(const RecordFormat& format, const RowLines& lines, const RowDestination& to);

// Reads rows from a text file positioned at the row's first line.
class RecordReader {
 public:
  RecordReader(const RecordFormat& format, TextFile& file) : format_(&format), file_(&file) {}

  // Reads one row. On a status other than ok the values read so far may have
  // been stored, and lines of the row after the one that failed may have been
  // read.
  ReadStatus read_row(const RowDestination& to);
  // Passes over one row's lines without decoding them.
  ReadStatus skip_row();
  // The line last read: after a list-directed row, that row's line.
  const std::string& last_line() const { return line_; }

 private:
  ReadStatus next_line();
  // Rows of the format "*": `to` null only counts the values.
  ReadStatus read_list_row(const RowDestination* to);

  const RecordFormat* format_;
  TextFile* file_;
  std::string line_;
  std::string look_ahead_;  // lines after an empty list-directed line
  std::vector<std::string> row_text_;  // the lines of a fixed-column row
  std::vector<std::string_view> row_lines_;
};

}  // namespace vok
