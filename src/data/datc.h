// Reading the observation rows of a data file into the run's data matrix and
// stamp array.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string_view>

#include "text/text_file.h"
#include "data/record_reader.h"
#include "data/stamp_array.h"
#include "output/channel.h"

namespace vok {

// Where the stamp stands in a stamped row, from the format text: with p the
// first "(" and q the first lowercase "a", q = p + 1 puts the stamp first and
// q > p + 2 last. Any other case (q = p + 2, q before p, no "a"), and an "a"
// with no ")" after it, has no valid position: nullopt.
std::optional<StampPosition> stamp_position(std::string_view format);

// Reads data rows `first` to `last` (1-based, counted from the first line after
// the two header lines; 1 <= first <= last) into `matrix`, which holds
// N = last - first + 1 rows of max(columns, 0) values stored by columns (value
// j of row i at matrix[j * N + i], both 0-based). With `stamp_flag` 'm' the
// rows carry a stamp, stored in stamps[i] (stamps must hold N stamps); with
// 'a' the stamps are left untouched. Rows before `first` are passed over as
// whole rows (as many lines as one row takes under the format). The data file
// is rewound first.
//
// Returns the number of rows read: N, or fewer when the file ends early; then
// "**** eof in read from data file " and "i = " with the data row that was
// missing are written on `report`, and nothing else.
//
// Stops the program (after its messages on the report, the error file and the
// console) on a stamped format whose stamp position is invalid, on a record
// format that cannot be used for reading, and on a row that cannot be read
// under the format.
//
// Rows of a fixed-column format are read in batches: the lines of a batch are
// read in order, then its rows are decoded on the program's threads
// (thread_count()). Values, stamps, the count returned and the messages are
// those of reading row after row, for any number of threads: the first row in
// file order that cannot be read decides. Only when the program stops on a
// row that cannot be read may rows after it in its batch have been stored.
int datc(std::span<float> matrix, StampArray& stamps, std::string_view format, char stamp_flag,
         int first, int last, int columns, TextFile& data, Channel& report);

// How the rows are gathered into batches.
struct RowBatching {
  // Rows to a batch at most.
  std::size_t rows = 16384;
  // Memory the lines of one batch may take before the batch ends (a row
  // needing more is still read whole); two batches are held at a time.
  std::size_t bytes = std::size_t{4} << 20;
};

// datc with other batches than the default (small batches let tests cross
// batch boundaries).
int datc(std::span<float> matrix, StampArray& stamps, std::string_view format, char stamp_flag,
         int first, int last, int columns, TextFile& data, Channel& report,
         const RowBatching& batching);

}  // namespace vok
