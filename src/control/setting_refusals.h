// The console program's refusals of settings out of their bounds. The bounds
// are the library's (detail::check_bound: those Settings::check tries), each
// tried where the console has always tried it: the shared settings as
// "Runvok.cnl" is read, the lags and the VAR order, then the overlap, as a
// run plans its frames. The lines are the console's own: the message on the
// console and the error file, then (for a setting read from a line) the line
// it came from; then the program stops.
#pragma once

#include "analysis/setting_bounds.h"
#include "control/run_driver.h"
#include "input/source_lines.h"
#include "vok/vok.h"

namespace vok {

// Writes the console's lines on `to` (the console, then the error file) and
// throws Stop when `settings` lie outside `bound`; `source`: the joined text
// of "Runvok.cnl", for the line the setting came from. For a bound of a
// setting the control files do not set (transform, bootstrap, threads, the
// resamples for the level, which a run refuses after its statistics) the
// library's Error is thrown as it is.
void refuse_outside(const Settings& settings, detail::Bound bound, const JoinedText& source,
                    const ChannelGroup& to);

// Step 9 of a run: the lags of a frame (at least one), then the VAR lag
// against the frame length (refused on `to` as by refuse_outside).
void check_lags(const SharedSettings& shared, const JoinedText& source, const ChannelGroup& to);

// Step 10 of a run, once its frames are planned: the overlap.
void check_overlap(const SharedSettings& shared, const JoinedText& source,
                   const ChannelGroup& to);

}  // namespace vok
