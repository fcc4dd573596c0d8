// The two header lines of a data file: a title and a keyword line with the
// row and column counts, the sampling rate or interval, the record format of
// the observation rows and the sampling unit.
#pragma once

#include <string>

#include "text/fields.h"
#include "text/text_file.h"
#include "output/channel.h"

namespace vok {

struct DataHeader {
  std::string title;  // 80 characters, blank-padded
  int rows = 0;
  int columns = 0;                // -1 when the column count could not be read
  float rate_or_interval = 0.0f;  // kHz for a frequency run, the interval for a time run
  std::string format;             // 50 characters, blank-padded
};

// Rewinds `data` and reads its two header lines. `time_frequency_flag` is 0
// for a time run (needs "interval="), 1 for a frequency run (needs "rate=" or
// "Rate=" and a kilohertz unit). Messages go to `diag`, then identically to
// the console.
//
// Each message is followed, on the console and the error file, by a detail
// line naming line 2 of the file (see text/source_lines.h).
//
// When the column count cannot be read, returns at once with columns = -1
// (rate and format not read). Every other failure stops the program: fewer
// than two lines, no unit on a frequency run, the row count, the rate or
// interval, the format, and a hertz unit on a frequency run.
DataHeader readhead(TextFile& data, int time_frequency_flag, FieldReaders& readers, Channel& diag);

}  // namespace vok
