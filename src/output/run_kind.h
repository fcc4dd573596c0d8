// The kind of run, as the run control file and the data file set it: what
// the report's header and the plot files show of it, and whether those files
// are written. The console program's alone: the analysis knows none of it.
#pragma once

namespace vok {

// A time run: a sampling interval with its unit; a frequency run: a sampling
// rate in kHz (the run control file's unit=frequency).
enum class SampleUnit { time, frequency };

// Whether the rows carry date-and-time stamps (the data file's record format
// holds a text descriptor): the frames are then placed by their stamps.
enum class RowStamps { none, stamped };

// Whether the frames, graph and xy graph files are written (the run control
// file's graphing=yes).
enum class Graphing { off, on };

}  // namespace vok
