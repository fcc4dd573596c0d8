// The false-alarm thresholds of a run as the report shows them: the
// bootstrapped block, the nominal level, or the refusal of too few resamples.
#pragma once

#include <array>

#include "output/channel.h"
#include "vok/vok.h"

namespace vok {

// The three refusal lines of resample count B in run `run_index` (from 1).
void write_refusal(const ChannelGroup& to, int B, int run_index);
// The block of B >= 1 bootstrapped thresholds (kTests order).
void write_bootstrap_block(Channel& ch, int B, const std::array<float, kTestCount>& thresholds);
// The single line of the nominal level (B = 0).
void write_false_alarm_line(Channel& ch, float alpha);

}  // namespace vok
