// The frame plan of a run (vok::FramePlan, public): how n rows are cut into
// frames, built once from the row count and the settings and handed to
// everything that places, counts or describes frames; and the two numbers
// it is built from.
#pragma once

#include "vok/vok.h"

namespace vok {

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
