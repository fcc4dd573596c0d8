// The console program's progress line: drawn on the standard error stream
// when it is a terminal, so that redirected output and test runs never see
// it. The analysis hands its progress to the sink the program gives it
// (EngineOptions::progress); the library itself writes nowhere.
#pragma once

#include "exec/progress.h"

namespace vok {

// A sink writing to the standard error stream when it is a terminal; empty
// (no line at all) when it is not.
Progress::Sink terminal_progress();

}  // namespace vok
