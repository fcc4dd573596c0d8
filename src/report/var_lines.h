// The report block of a VAR(p) fit: R square, coefficients and t values.
#pragma once

#include "output/channel.h"
#include "vok/vok.h"

namespace vok {

// Writes the R square and coefficient / t-value block (nothing after a failed
// fit). A standard error <= 0 among the first p entries writes one line per
// such entry instead of the block.
void disvar(const VarFit& fit, int k, int p, Channel& out);

}  // namespace vok
