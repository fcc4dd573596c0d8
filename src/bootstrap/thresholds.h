// The threshold step of a run: the seven false-alarm thresholds (bootstrapped
// or the nominal level) and their block on the report.
#pragma once

#include <array>
#include <span>

#include "bootstrap/resampxy.h"
#include "bootstrap/uniform.h"
#include "output/channel.h"

namespace vok {

// True when B >= 1 resamples are too few for the level alpha (1/B > alpha,
// compared in 32-bit reals).
bool resamples_refused(int B, float alpha);

// The three refusal lines of resample count B in run `run_index` (from 1).
void write_refusal(const ChannelGroup& to, int B, int run_index);
// The block of B >= 1 bootstrapped thresholds (TestIndex order).
void write_bootstrap_block(Channel& ch, int B, const std::array<float, kTestCount>& thresholds);
// The single line of the nominal level (B = 0).
void write_false_alarm_line(Channel& ch, float alpha);

// The whole threshold step of run `run_index`, x and y being the N values of
// the run's two columns, lw the frame length, lg the number of lags, B the
// resample count and alpha the false alarm threshold:
// - B >= 1 and 1/B > alpha: the refusal lines on the report, the console and
//   the error file, in that order, then RunEnded is thrown;
// - B = 0: every threshold is alpha, and the report gets the single line;
// - B >= 1: the thresholds from resampxy (advancing `uniforms`), and the
//   report gets the bootstrapped block.
std::array<float, kTestCount> threshold_block(std::span<const float> x, std::span<const float> y,
                                              int lw, int lg, int B, float alpha, int run_index,
                                              UniformStream& uniforms, Channel& report);

}  // namespace vok
