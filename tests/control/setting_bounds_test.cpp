// The bounds of the shared settings, held once: each row is refused (or
// accepted) both by the library's Settings::check and by the console
// program, so the two cannot drift apart. The console tries a bound where it
// always has: the exponent, frame length, false alarm and resamples as it
// reads Runvok.cnl; the lags and the VAR order, then the overlap, as a run
// plans its frames.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "control/control_files.h"
#include "control/setting_refusals.h"
#include "e2e/run_in_dir.h"
#include "output/channel.h"
#include "output/failure.h"
#include "vok/vok.h"

namespace vok {
namespace {

// Runvok.cnl's lines, as its joined text.
struct Top {
  std::string exponent = "0.4";
  std::string alarm = "0.05";
  std::string length = "48";
  std::string overlap = "0";
  std::string var = "VAR lag = 2 ";
  std::string resamples = "0";
  std::string joined() const {
    return "Number of runs = 1 exponent = " + exponent + " false alarm = " + alarm +
           " frame length = " + length + " overlap = " + overlap + " " + var +
           "resamples = " + resamples + " ";
  }
};

struct Bound {
  const char* what;
  std::function<void(Settings&)> library;  // the value set on Settings
  Top cnl;                                 // the same value in Runvok.cnl
  Setting refused;                         // Setting::none: accepted
  std::string console = {};                // the console's refusal
};

// The console's way through the settings: Runvok.cnl read, then what a run
// checks before its rows; the messages on `out`.
void console_checks(const Top& top, Channels& out) {
  Execution execution;
  const JoinedText source(top.joined());
  const SharedSettings shared =
      read_shared_settings(source, execution.readers, {out.console, out.error_file});
  check_lags(shared, source, {&out.console, &out.error_file});
  check_overlap(shared, source, {&out.console, &out.error_file});
}

TEST(SettingBounds, TheLibraryAndTheConsoleRefuseTheSameValues) {
  const Bound bounds[] = {
      {"frame length 12", [](Settings& s) { s.frame_length = 12; }, {.length = "12"},
       Setting::none},
      {"frame length 11", [](Settings& s) { s.frame_length = 11; }, {.length = "11"},
       Setting::frame_length, " Frame length  11  < 12. Increase lw\n"},
      {"frame length 0", [](Settings& s) { s.frame_length = 0; }, {.length = "0"},
       Setting::frame_length, " Frame length  0  < 12. Increase lw\n"},
      {"exponent 0.5", [](Settings& s) { s.exponent = 0.5f; }, {.exponent = "0.5"},
       Setting::none},
      {"exponent 0.51", [](Settings& s) { s.exponent = 0.51f; }, {.exponent = "0.51"},
       Setting::exponent, " exponent = 0.51  is out of bounds in file file\n"},
      {"exponent 0.01", [](Settings& s) { s.exponent = 0.01f; }, {.exponent = "0.01"},
       Setting::exponent, " exponent = 0.01  is out of bounds in file file\n"},
      {"false alarm 1", [](Settings& s) { s.false_alarm = 1.0f; }, {.alarm = "1.0"},
       Setting::none},
      {"false alarm 1.01", [](Settings& s) { s.false_alarm = 1.01f; }, {.alarm = "1.01"},
       Setting::false_alarm, " 1.01  False alarm threshold > 1\n"},
      {"false alarm 0", [](Settings& s) { s.false_alarm = 0.0f; }, {.alarm = "0"},
       Setting::false_alarm, " 0  False alarm threshold <= 0\n"},
      {"false alarm -0.05", [](Settings& s) { s.false_alarm = -0.05f; }, {.alarm = "-0.05"},
       Setting::false_alarm, " -0.05  False alarm threshold <= 0\n"},
      {"resamples -1", [](Settings& s) { s.resamples = -1; }, {.resamples = "-1"},
       Setting::resamples, " Number of resamples  -1  < 0\n"},
      // Too few resamples for the level are refused by a run after its
      // statistics (the end-to-end golden files show it), not here.
      {"overlap -1", [](Settings& s) { s.overlap = -1; }, {.overlap = "-1"}, Setting::overlap,
       " Overlap parameter  -1  is incorrect\n"},
      {"overlap 1", [](Settings& s) { s.overlap = 1; }, {.overlap = "1"}, Setting::none},
      {"VAR lag lw/2 of an odd length",
       [](Settings& s) {
         s.frame_length = 13;
         s.var_lag = 6;
       },
       {.length = "13", .var = "VAR lag = 6 "}, Setting::none},
      // Three messages for one bound, told apart by the value.
      {"VAR lag above lw/2",
       [](Settings& s) {
         s.frame_length = 48;
         s.var_lag = 25;
       },
       {.var = "VAR lag = 25 "}, Setting::var_lag, " VAR parameter  25  > lw/2  24\n"},
      {"VAR lag -1", [](Settings& s) { s.var_lag = -1; }, {.var = "var lag = -1 "},
       Setting::var_lag, " VAR parameter  -1  < 0\n"},
      {"VAR lag lw/2 of an even length",
       [](Settings& s) {
         s.frame_length = 48;
         s.var_lag = 24;
       },
       {.var = "VAR lag = 24 "}, Setting::var_lag,
       " VAR parameter  24  leaves no degrees of freedom in frames of  48\n"},
      // Two bounds broken at once: each side names its first, the console in
      // the order it reads and plans (the exponent before the frame length,
      // Runvok.cnl's settings before the run's).
      {"exponent and frame length",
       [](Settings& s) {
         s.exponent = 0.6f;
         s.frame_length = 11;
       },
       {.exponent = "0.6", .length = "11"}, Setting::frame_length,
       " exponent = 0.6  is out of bounds in file file\n"},
      {"overlap and resamples",
       [](Settings& s) {
         s.overlap = -2;
         s.resamples = -1;
       },
       {.overlap = "-2", .resamples = "-1"}, Setting::overlap,
       " Number of resamples  -1  < 0\n"},
  };
  for (const Bound& b : bounds) {
    SCOPED_TRACE(b.what);
    Settings settings;
    b.library(settings);
    CapturedChannels captured;
    captured.all().error_file.capture();
    if (b.refused == Setting::none) {
      EXPECT_NO_THROW(settings.check());
      EXPECT_NO_THROW(console_checks(b.cnl, captured.all()));
      EXPECT_EQ(captured.console(), "");
      continue;
    }
    try {
      settings.check();
      ADD_FAILURE() << "the library accepted it";
    } catch (const Error& e) {
      EXPECT_EQ(e.setting(), b.refused) << e.what();
    }
    EXPECT_THROW(console_checks(b.cnl, captured.all()), Stop);
    EXPECT_EQ(captured.console(), b.console);
    EXPECT_EQ(captured.all().error_file.text(), b.console);
  }
}

}  // namespace
}  // namespace vok
