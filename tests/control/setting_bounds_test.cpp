// The bounds of the shared settings, held once: each row is refused (or
// accepted) both by the library's Settings::check and by the console
// program's reading of Runvok.cnl, so the two cannot drift apart.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "control/control_files.h"
#include "e2e/run_in_dir.h"
#include "output/channel.h"
#include "output/failure.h"
#include "vok/vok.h"

namespace vok {
namespace {

struct Bound {
  const char* what;
  std::function<void(Settings&)> library;  // the value set on Settings
  std::string cnl;                         // the same value in Runvok.cnl's joined text
  Setting refused;                         // Setting::none: accepted
  std::string console = {};                // the console's refusal
};

// Runvok.cnl's joined text with one line changed.
std::string top(const std::string& exponent = "exponent = 0.4 ",
                const std::string& alarm = "false alarm = 0.05 ",
                const std::string& length = "frame length = 48 ",
                const std::string& resamples = "resamples = 0 ") {
  return "Number of runs = 1 " + exponent + alarm + length + "overlap = 0 VAR lag = 2 " +
         resamples;
}

TEST(SettingBounds, TheLibraryAndTheConsoleRefuseTheSameValues) {
  const Bound bounds[] = {
      {"frame length 12", [](Settings& s) { s.frame_length = 12; },
       top("exponent = 0.4 ", "false alarm = 0.05 ", "frame length = 12 "), Setting::none},
      {"frame length 11", [](Settings& s) { s.frame_length = 11; },
       top("exponent = 0.4 ", "false alarm = 0.05 ", "frame length = 11 "), Setting::frame_length,
       " Frame length  11  < 12. Increase lw\n"},
      {"frame length 0", [](Settings& s) { s.frame_length = 0; },
       top("exponent = 0.4 ", "false alarm = 0.05 ", "frame length = 0 "), Setting::frame_length,
       " Frame length  0  < 12. Increase lw\n"},
      {"exponent 0.5", [](Settings& s) { s.exponent = 0.5f; }, top("exponent = 0.5 "),
       Setting::none},
      {"exponent 0.51", [](Settings& s) { s.exponent = 0.51f; }, top("exponent = 0.51 "),
       Setting::exponent, " exponent = 0.51  is out of bounds in file file\n"},
      {"exponent 0.01", [](Settings& s) { s.exponent = 0.01f; }, top("exponent = 0.01 "),
       Setting::exponent, " exponent = 0.01  is out of bounds in file file\n"},
      {"false alarm 1", [](Settings& s) { s.false_alarm = 1.0f; },
       top("exponent = 0.4 ", "false alarm = 1.0 "), Setting::none},
      {"false alarm 1.01", [](Settings& s) { s.false_alarm = 1.01f; },
       top("exponent = 0.4 ", "false alarm = 1.01 "), Setting::false_alarm,
       " 1.01  False alarm threshold > 1\n"},
      {"false alarm 0", [](Settings& s) { s.false_alarm = 0.0f; },
       top("exponent = 0.4 ", "false alarm = 0 "), Setting::false_alarm,
       " 0  False alarm threshold <= 0\n"},
      {"false alarm -0.05", [](Settings& s) { s.false_alarm = -0.05f; },
       top("exponent = 0.4 ", "false alarm = -0.05 "), Setting::false_alarm,
       " -0.05  False alarm threshold <= 0\n"},
      {"resamples -1", [](Settings& s) { s.resamples = -1; },
       top("exponent = 0.4 ", "false alarm = 0.05 ", "frame length = 48 ", "resamples = -1 "),
       Setting::resamples, " Number of resamples  -1  < 0\n"},
  };
  for (const Bound& b : bounds) {
    SCOPED_TRACE(b.what);
    Settings settings;
    b.library(settings);
    CapturedChannels captured;
    Execution execution;
    channels().error_file.capture();
    if (b.refused == Setting::none) {
      EXPECT_NO_THROW(settings.check());
      EXPECT_NO_THROW(read_shared_settings(b.cnl, execution.readers));
      EXPECT_EQ(captured.console(), "");
      continue;
    }
    try {
      settings.check();
      ADD_FAILURE() << "the library accepted it";
    } catch (const Error& e) {
      EXPECT_EQ(e.setting(), b.refused) << e.what();
    }
    EXPECT_THROW(read_shared_settings(b.cnl, execution.readers), Stop);
    EXPECT_EQ(captured.console(), b.console);
    EXPECT_EQ(channels().error_file.text(), b.console);
  }
}

}  // namespace
}  // namespace vok
