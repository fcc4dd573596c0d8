// The bounds of the analysis settings, one by one: Settings::check tries
// every bound in the order below; a client that takes its settings one at a
// time (the console program reads them from its control files, and refuses
// some only when a run needs them) tries each bound where it needs it, and
// so refuses exactly the values Settings::check refuses.
#pragma once

#include <array>

#include "vok/vok.h"

namespace vok::detail {

// The bounds are public (vok::Bound); the console program names them here.
using vok::Bound;

// Every bound, in the order Settings::check tries them.
inline constexpr std::array kBounds = {
    Bound::frame_length, Bound::exponent,  Bound::overlap,   Bound::var_lag,
    Bound::false_alarm,  Bound::resamples, Bound::resamples_for_level,
    Bound::transform,    Bound::bootstrap, Bound::trend,     Bound::threads,
    Bound::lags,
};

// Throws the Error Settings::check throws when `settings` lie outside
// `bound` (its code the setting refused; the lags bound refuses the
// exponent). Reads only the settings the bound relates.
void check_bound(const Settings& settings, Bound bound);

// Whether `settings` lie outside `bound`.
bool outside(const Settings& settings, Bound bound);

}  // namespace vok::detail
