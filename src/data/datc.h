// Reading the observation rows of a data file into the run's data matrix and
// stamp array.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "data/data_format.h"
#include "data/record_reader.h"
#include "data/stamp_array.h"
#include "output/channel.h"
#include "input/source_lines.h"
#include "input/text_file.h"

namespace vok {

// Where datc's messages go: the end-of-file notice on the report alone; a
// message that stops the program on all three, its detail line on the
// console and the error file.
struct RowMessages {
  Channel& report;
  Channel& console;
  Channel& error_file;
};

// How the rows are gathered into blocks, and on how many threads.
struct RowBatching {
  // Bytes read from the data file at a time: a block of rows. Two blocks are
  // held at a time, each with the start of a row carried over from the one
  // before (a row longer than a block makes its block read more).
  std::size_t bytes = std::size_t{1} << 20;
  // Bytes of a block's rows decoded as one item of work, about (at most 64
  // items to a block).
  std::size_t slice_bytes = std::size_t{16} << 10;
  // Threads a block's rows are decoded on (and the RowsDone work runs on).
  int threads = 1;
};

// Work that becomes possible as the rows are read, run by the reading's own
// threads: after each block, datc tells it how many rows are final, and the
// items of work it offers then run next to the reading and decoding of the
// following block. The rows of the last block are final only when datc
// returns: no work is asked for them.
class RowsDone {
 public:
  virtual ~RowsDone() = default;
  // Matrix rows 0..rows-1 are final (values and stamps stored): how many
  // items of work this makes possible.
  virtual std::size_t rows_final(std::size_t rows) = 0;
  // Item `item` (0..count-1) of those the last rows_final offered, on thread
  // `worker` (0..batching.threads - 1, one item at a time on each).
  virtual void work(std::size_t item, int worker) = 0;
};

// Reads data rows `first` to `last` (1-based, counted from the first line after
// the two header lines; 1 <= first <= last) of the format's values each.
// Every value is read, but only the data columns listed in `kept` (1-based,
// each at most once; empty: every column in order) are stored: data column
// kept[c] of row i at matrix[c * N + i] (both 0-based), with N = last - first
// + 1 rows, so `matrix` holds N values per kept column. When the format's rows
// carry a stamp, it is stored in stamps.slot(i) for the rows the stamp array
// keeps; otherwise the stamps are left untouched. Rows before `first` are
// passed over as whole rows (as many lines as one row takes under the
// format). The data file is rewound first.
//
// Returns the number of rows read: N, or fewer when the file ends early; then
// "**** eof in read from data file " and "i = " with the data row that was
// missing are written on `to.report`, and nothing else.
//
// Stops the program (after its messages on the report, the error file and the
// console) on a format with a fault: a stamped format whose stamp position is
// invalid, a record format that cannot be used for reading (the read-error lines of the first
// row, with status ReadStatus::unusable_format), and on a row that cannot be
// read under the format. Each of these is followed on the console and the
// error file by a detail line: the keyword line (line 2) and what is wrong
// with the format, or the first line of the row that cannot be read.
//
// Rows of a fixed-column format are read in blocks (`batching`; small blocks
// and slices let tests cross their boundaries): the bytes of a block are read
// in order, then its rows are decoded on `batching.threads` threads. Values, stamps, the count returned and the messages are
// those of reading row after row, for any number of threads: the first row in
// file order that cannot be read decides. Only when the program stops on a
// row that cannot be read may rows after it in its block have been stored.
// `done` (may be null) is given the rows of each block but the last as they
// become final, and its work runs during the next block (fixed-column
// formats only; a row that cannot be read stops the program without a
// rows_final for its block).
int datc(std::span<float> matrix, StampArray& stamps, const DataFormat& format, int first, int last,
         TextFile& data, const RowMessages& to, std::span<const int> kept = {},
         const RowBatching& batching = {}, RowsDone* done = nullptr);

// Where data row `row` (1-based, counted as datc counts it) begins: the file,
// the number of its first line (the two header lines counted) and that line's
// text (empty when the file has no such line), for the detail line of a
// message about a value of the row. Reads the file from its start.
SourceLine data_row_line(TextFile& data, const DataFormat& format, int row);

}  // namespace vok
