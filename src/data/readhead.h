// The two header lines of a data file: a title and a keyword line with the
// row and column counts, the sampling rate or interval, the record format of
// the observation rows and the sampling unit.
#pragma once

#include <string>

#include "data/data_format.h"
#include "output/run_kind.h"
#include "output/channel.h"
#include "input/fields.h"
#include "input/text_file.h"

namespace vok {

struct DataHeader {
  std::string title;  // 80 characters, blank-padded
  int rows = 0;
  int columns = 0;                // -1 when the column count could not be read
  float rate_or_interval = 0.0f;  // kHz for a frequency run, the interval for a time run
  DataFormat format;              // the record format of the rows, compiled
};

// Where the header's messages go: each to the error file, then identically
// to the console; the detail line that follows it to the console, then the
// error file.
struct HeaderMessages {
  Channel& error_file;
  Channel& console;
  ChannelGroup both() const { return {&error_file, &console}; }
  ChannelGroup detail() const { return {&console, &error_file}; }
};

// Rewinds `data` and reads its two header lines. A time run needs
// "interval=", a frequency run "rate=" or "Rate=" and a kilohertz unit. The
// field readers' own messages go to the error file alone.
//
// Each message is followed by a detail line naming line 2 of the file (see
// input/source_lines.h). The record format is compiled for rows of `columns`
// values; a fault in it is kept in the format, for the rows' read to report.
//
// When the column count cannot be read, returns at once with columns = -1
// (rate and format not read). Every other failure stops the program: fewer
// than two lines, no unit on a frequency run, the row count, the rate or
// interval, the format, and a hertz unit on a frequency run.
DataHeader readhead(TextFile& data, SampleUnit sample_unit, FieldReaders& readers,
                    const HeaderMessages& to);

}  // namespace vok
