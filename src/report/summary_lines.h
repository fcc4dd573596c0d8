// The report's lines of the cross-test correlation summary.
#pragma once

#include "output/channel.h"
#include "vok/vok.h"

namespace vok {

// Writes a summary on `report` (one zero-variance message is repeated on
// `console`). Each line shows the pairs it needs, in the order summarise
// recorded them; a summary whose pairs are out of that order or left over
// throws std::logic_error.
void write_summary(const CorrelationSummary& summary, Channel& report, Channel& console);

}  // namespace vok
