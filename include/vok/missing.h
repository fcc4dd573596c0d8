// vok: series with missing rows.
//
//   #include <vok/missing.h>
//
//   // x and y hold NaN where a value is missing (a series that starts late,
//   // a gap); frames never span a missing row:
//   const vok::Result result = vok::analyse_with_missing(x, y, settings, vok::Missing::split);
//   for (const vok::Frame& f : result.frames)
//     std::printf("rows %d-%d\n", f.first_row, f.last_row);  // rows of x and y as given
//
// A row is missing where x or y is NaN. The rows kept are analysed as
// vok::analyse analyses a series without missing rows, with two policies for
// where the frames lie:
//
//   Missing::drop   the kept rows are joined up and cut into frames as one
//                   series: a frame may span missing rows (its rows_dropped
//                   says how many), and its lag products then pair values
//                   from either side of them.
//   Missing::split  the kept rows fall into runs of consecutive rows between
//                   the missing ones; each run is cut into frames of its own
//                   (frame_length, overlap), starting at its first row, and
//                   rows left at a run's end that fill no frame are not
//                   tested. No frame spans a missing row.
//
// Under either policy the descriptive statistics (Result::x_stats, y_stats)
// are those of the first Result::covered kept rows, and the bootstrap draws
// its resamples from every kept row: what changes with the policy is where
// the frames lie, not the thresholds they are judged against. Result::rows
// counts the kept rows; each Frame's first_row and last_row are 1-based rows
// of x and y as given (missing rows counted), and its stamps those rows'.
#pragma once

#include <atomic>
#include <span>
#include <string>
#include <vector>

#include "vok.h"

namespace vok {

enum class Missing {
  drop,   // frames cut from the kept rows joined up: a frame may span missing rows
  split,  // frames restart after each missing row: none spans one
};

// Where a frame lies among the rows.
struct FramePlace {
  int start = 0;      // 0-based position of its first row among the kept rows
  int first_row = 0;  // 1-based rows of the series as given (missing rows counted)
  int last_row = 0;
  int rows_dropped = 0;  // missing rows between first_row and last_row
  bool operator==(const FramePlace&) const = default;
};

// The rows kept and the frames' places under a policy.
struct RowPlan {
  std::vector<int> kept;           // 0-based positions of the rows kept, ascending
  std::vector<FramePlace> frames;  // in frame order
  int lags = 0;                    // lags per frame
};

// The plan of rows whose missing ones are marked true in `missing`, with the
// frame length, overlap and lags of `settings`: what analyse_with_missing
// follows. Throws Error for a setting out of its bounds (as Settings::check)
// and for more rows than an analysis takes; the plan may hold no frame.
VOK_API RowPlan plan_rows(std::span<const bool> missing, Missing policy, const Settings& settings);

// Analyses x and y (same length; 32-bit values, NaN where a value is
// missing) leaving out the rows where either is NaN, with the frames placed
// by `policy`. `stamps`, when given, holds one stamp per row of x and y
// (missing rows included). Throws Error as vok::analyse does (a value that
// is infinite, or not positive for the log transform, named by its row of
// x or y as given), and when no frame fits into the kept rows; Cancelled as
// vok::analyse does.
VOK_API Result analyse_with_missing(std::span<const float> x, std::span<const float> y,
                                    const Settings& settings, Missing policy,
                                    std::span<const std::string> stamps = {},
                                    const std::atomic<bool>* cancel = nullptr);

}  // namespace vok
