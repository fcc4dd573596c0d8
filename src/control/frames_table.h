// The per-frame table of a run, written beside its report as comma-separated
// values: the report's name with ".csv" in place of ".out" (runA_1-_2.csv).
//
//   frame,first_row,last_row[,start,end],cdf_Cx,pvalue_Cx,significant_Cx,...
//
// A header row, then one row per frame: the frame number, its first and last
// row (1-based rows of the run's series), the stamps of those rows when the
// rows carry stamps, then for each test (Cx, Cy, Cxy, Hxxx, Hyyy, Hxxy, Hyyx)
// its CDF value, its p-value 1 - CDF as the reports compute it, and whether
// the frame is significant for it ("true" or "false"). The columns are those
// of the Python package's Result.frames, and the numbers are the shortest
// text that reads back as the same 32-bit value, so the two agree exactly.
#pragma once

#include <string>

#include "vok/vok.h"

namespace vok {

// The table's file name for a report name ("x.out" gives "x.csv"; a name
// without ".out" gets ".csv" added).
std::string frames_table_name(const std::string& report_name);

// The whole table of a result's frames; `stamped` adds the start and end
// columns.
std::string frames_table(const Result& result, bool stamped);

// Writes the table of `result` to `path`. A file that cannot be opened or
// written is reported as every output file is (" **** Error writing file"
// on the console and the error file) and fails the execution.
void write_frames_table(const std::string& path, const Result& result, bool stamped);

}  // namespace vok
