// The frame plan of a run: how n rows are cut into frames, built once from
// the row count and the settings and handed to everything that places,
// counts or describes frames.
#pragma once

namespace vok {

struct FramePlan {
  int rows = 0;          // n, the observations of the run
  int frame_length = 0;  // rows of a frame
  int overlap = 0;       // 0: frames end to end; > 0: a new frame every `overlap` rows
  int lags = 0;          // lg, lags per frame
  int frames = 0;        // F

  // The plan of n rows in frames of frame_length rows with `overlap` and
  // `lags` lags; the frame count follows frame_count.
  static FramePlan of(int rows, int frame_length, int overlap, int lags);

  // Length of the cross-bicorrelation list: lg (2 lg + 1).
  int list_length() const { return lags * (2 * lags + 1); }
  // Rows that whole frames can cover, frame_length (n div frame_length): the
  // rows of the descriptive statistics and of the sample size the report
  // shows.
  int covered() const { return frame_length > 0 ? frame_length * (rows / frame_length) : 0; }
  // Rows between the starts of two frames: frame_length end to end, else the overlap.
  int step() const { return overlap > 0 ? overlap : frame_length; }
  // Rows before frame k (1-based).
  int offset(int k) const { return (k - 1) * step(); }
};

// Frame count of n observations in frames of frame_length rows with overlap
// parameter `overlap`: n div frame_length for overlap = 0 (frames end to
// end); for overlap > 0 a new frame every `overlap` rows, (n - frame_length -
// 1) div overlap + 1 of them when frame_length < n, one when frame_length = n
// and none when frame_length > n, so that every frame lies inside the n rows;
// 1 for overlap < 0 (which the run refuses afterwards).
int frame_count(int n, int frame_length, int overlap);

// Number of lags: the 32-bit real frame_length raised to the exponent,
// rounded to the nearest integer (halves away from zero).
int lags_for(int frame_length, float exponent);

}  // namespace vok
