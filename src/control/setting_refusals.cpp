#include "control/setting_refusals.h"

#include <initializer_list>
#include <string_view>

#include "output/channel.h"
#include "output/failure.h"

namespace vok {
namespace {

using detail::Bound;

// The console's message for `refused` on `to`, and the search text of the
// line the setting came from ("" for none).
std::string_view write_message(const Error& refused, const Settings& s, Bound bound,
                               const JoinedText& source, const ChannelGroup& to) {
  switch (refused.setting()) {
    case Setting::frame_length:
      to.write_free({"Frame length ", s.frame_length, " < 12. Increase lw"});
      return "ength";
    case Setting::exponent:
      if (bound == Bound::lags) {
        to.write_free({"lg =", lags(s), " < 1"});
        to.write_free({"Increase lw or increase exponent"});
        return "";
      }
      to.write_free({"exponent =", s.exponent, " is out of bounds in file file"});
      return "onent";
    case Setting::false_alarm:
      // NaN is neither above 1 nor above 0: it is refused as <= 0.
      if (s.false_alarm > 1.0f)
        to.write_free({s.false_alarm, " False alarm threshold > 1"});
      else
        to.write_free({s.false_alarm, " False alarm threshold <= 0"});
      return "larm";
    case Setting::resamples:
      if (bound == Bound::resamples_for_level) break;
      to.write_free({"Number of resamples ", s.resamples, " < 0"});
      return "sample";
    case Setting::overlap:
      to.write_free({"Overlap parameter ", s.overlap, " is incorrect"});
      return "lap";
    case Setting::var_lag: {
      const int lag = s.var_lag;
      const int length = s.frame_length;
      if (lag > length / 2)
        to.write_free({"VAR parameter ", lag, " > lw/2 ", length / 2});
      else if (lag < 0)
        to.write_free({"VAR parameter ", lag, " < 0"});
      else
        to.write_free(
            {"VAR parameter ", lag, " leaves no degrees of freedom in frames of ", length});
      return source.setting_line("VAR") != nullptr ? "R lag" : "r lag";
    }
    case Setting::transform:
    case Setting::bootstrap:
    case Setting::trend:
    case Setting::threads:
    case Setting::none:
      break;
  }
  throw refused;
}

}  // namespace

void refuse_outside(const Settings& settings, Bound bound, const JoinedText& source,
                    const ChannelGroup& to) {
  try {
    detail::check_bound(settings, bound);
    return;
  } catch (const Error& refused) {
    const std::string_view search = write_message(refused, settings, bound, source, to);
    if (!search.empty()) source.write_setting_detail(to, search);
  }
  throw Stop{};
}

void check_lags(const SharedSettings& shared, const JoinedText& source, const ChannelGroup& to) {
  const Settings settings = shared.analysis();
  refuse_outside(settings, Bound::lags, source, to);
  refuse_outside(settings, Bound::var_lag, source, to);
}

void check_overlap(const SharedSettings& shared, const JoinedText& source,
                   const ChannelGroup& to) {
  refuse_outside(shared.analysis(), Bound::overlap, source, to);
}

}  // namespace vok
