// Settings are refused with the bounds the control files impose, by an error
// that names the setting and its value.
#include <gtest/gtest.h>

#include <optional>

#include <array>
#include <cmath>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "vok/vok.h"

namespace {

struct BadSetting {
  const char* what;
  std::function<void(vok::Settings&)> change;
  const char* named;  // text the message must hold: "setting = value"
};

// The code an error about the setting `named` begins with must carry.
vok::Setting code_of(const std::string& named) {
  const std::string setting = named.substr(0, named.find(" = "));
  const std::pair<const char*, vok::Setting> codes[] = {
      {"frame_length", vok::Setting::frame_length}, {"exponent", vok::Setting::exponent},
      {"overlap", vok::Setting::overlap},           {"var_lag", vok::Setting::var_lag},
      {"false_alarm", vok::Setting::false_alarm},   {"resamples", vok::Setting::resamples},
      {"transform", vok::Setting::transform},       {"threads", vok::Setting::threads},
      {"bootstrap", vok::Setting::bootstrap},       {"trend", vok::Setting::trend},
  };
  for (const auto& [name, code] : codes)
    if (setting == name) return code;
  ADD_FAILURE() << "no setting named " << setting;
  return vok::Setting::none;
}

TEST(Settings, DefaultsAreAccepted) {
  EXPECT_NO_THROW(vok::Settings{}.check());
}

TEST(Settings, EachBadSettingIsNamedWithItsValue) {
  const BadSetting cases[] = {
      {"frame length 11", [](vok::Settings& s) { s.frame_length = 11; }, "frame_length = 11"},
      {"frame length 0", [](vok::Settings& s) { s.frame_length = 0; }, "frame_length = 0"},
      {"exponent 0.01", [](vok::Settings& s) { s.exponent = 0.01f; }, "exponent = 0.01"},
      {"exponent 0.51", [](vok::Settings& s) { s.exponent = 0.51f; }, "exponent = 0.51"},
      {"exponent NaN", [](vok::Settings& s) { s.exponent = std::nanf(""); }, "exponent = nan"},
      {"overlap -1", [](vok::Settings& s) { s.overlap = -1; }, "overlap = -1"},
      {"VAR order -1", [](vok::Settings& s) { s.var_lag = -1; }, "var_lag = -1"},
      {"VAR order above lw/2",
       [](vok::Settings& s) {
         s.frame_length = 20;
         s.var_lag = 11;
       },
       "var_lag = 11"},
      {"VAR order without degrees of freedom",
       [](vok::Settings& s) {
         s.frame_length = 20;
         s.var_lag = 10;
       },
       "var_lag = 10"},
      {"false alarm 1.01", [](vok::Settings& s) { s.false_alarm = 1.01f; }, "false_alarm = 1.01"},
      // Without resamples nothing else bounds the level from below: a level of
      // 0 or less would make every threshold meaningless.
      {"false alarm 0",
       [](vok::Settings& s) {
         s.resamples = 0;
         s.false_alarm = 0.0f;
       },
       "false_alarm = 0"},
      {"false alarm -0.05",
       [](vok::Settings& s) {
         s.resamples = 0;
         s.false_alarm = -0.05f;
       },
       "false_alarm = -0.05"},
      {"resamples -1", [](vok::Settings& s) { s.resamples = -1; }, "resamples = -1"},
      {"resamples too few",
       [](vok::Settings& s) {
         s.false_alarm = 0.05f;
         s.resamples = 19;
       },
       "resamples = 19"},
      {"transform out of the enum",
       [](vok::Settings& s) { s.transform = static_cast<vok::Transform>(7); }, "transform = 7"},
      {"bootstrap out of the enum",
       [](vok::Settings& s) { s.bootstrap = static_cast<vok::Bootstrap>(5); }, "bootstrap = 5"},
      {"trend out of the enum",
       [](vok::Settings& s) { s.trend = static_cast<vok::Trend>(3); }, "trend = 3"},
      {"threads -2", [](vok::Settings& s) { s.threads = -2; }, "threads = -2"},
  };
  for (const BadSetting& c : cases) {
    SCOPED_TRACE(c.what);
    vok::Settings settings;
    c.change(settings);
    // The non-throwing check names the bound the throwing one breaks on.
    const std::optional<vok::Bound> broken = vok::violation(settings);
    EXPECT_TRUE(broken.has_value());
    try {
      settings.check();
      ADD_FAILURE() << "accepted";
    } catch (const vok::Error& e) {
      EXPECT_NE(std::string(e.what()).find(c.named), std::string::npos) << e.what();
      EXPECT_EQ(e.setting(), code_of(c.named)) << e.what();
      EXPECT_EQ(e.bound(), broken) << e.what();
      EXPECT_TRUE(std::string(e.reason()).starts_with(c.named)) << e.reason();
      EXPECT_EQ(e.series(), vok::Series::none);
    }
  }
}

// Which bound each kind of fault breaks, and none for settings in bounds.
TEST(Settings, ViolationNamesTheFirstBoundBroken) {
  struct Case {
    const char* what;
    void (*change)(vok::Settings&);
    std::optional<vok::Bound> bound;
  };
  const Case cases[] = {
      {"defaults", [](vok::Settings&) {}, std::nullopt},
      {"frame length 11", [](vok::Settings& s) { s.frame_length = 11; }, vok::Bound::frame_length},
      {"VAR order above lw/2",
       [](vok::Settings& s) {
         s.frame_length = 20;
         s.var_lag = 11;
       },
       vok::Bound::var_lag},
      {"resamples too few for the level", [](vok::Settings& s) { s.resamples = 19; },
       vok::Bound::resamples_for_level},
      {"two faults: the first in order",
       [](vok::Settings& s) {
         s.threads = -1;
         s.overlap = -1;
       },
       vok::Bound::overlap},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    vok::Settings s;
    c.change(s);
    EXPECT_EQ(vok::violation(s), c.bound);
  }
}

TEST(Settings, TrendNamesGoBothWays) {
  for (vok::Trend t : {vok::Trend::n, vok::Trend::c}) EXPECT_EQ(vok::parse_trend(vok::name(t)), t);
  EXPECT_STREQ(vok::name(vok::Trend::c), "c");
  for (const char* bad : {"", "C", "const", "ct"}) {
    SCOPED_TRACE(bad);
    try {
      vok::parse_trend(bad);
      ADD_FAILURE() << "accepted";
    } catch (const vok::Error& e) {
      EXPECT_EQ(e.setting(), vok::Setting::trend);
    }
  }
}

TEST(Settings, ErrorsAboutTheInputCarryNoSettingCode) {
  const std::vector<float> x(100, 1.0f), y(99, 1.0f);
  vok::Settings s;
  s.frame_length = 40;
  try {
    vok::analyse(x, y, s);
    ADD_FAILURE() << "accepted";
  } catch (const vok::Error& e) {
    EXPECT_EQ(e.setting(), vok::Setting::none) << e.what();
  }
}

TEST(Settings, BoundsThemselvesAreAccepted) {
  vok::Settings s;
  s.frame_length = 12;
  s.exponent = 0.5f;
  s.false_alarm = 1.0f;
  EXPECT_NO_THROW(s.check());
  s.false_alarm = 0.05f;
  s.resamples = 20;  // 1/20 is the false alarm level itself
  EXPECT_NO_THROW(s.check());
  s.frame_length = 21;
  s.var_lag = 10;  // frame_length/2, one degree of freedom left
  EXPECT_NO_THROW(s.check());
}

// The frame count a caller can plan with is the one analyse cuts: overlapping
// frames end inside the rows, and rows short of a frame give none.
TEST(FrameCount, AsAnalyseCutsTheRows) {
  struct Case {
    int rows, frame_length, overlap, frames;
  };
  const Case cases[] = {
      {600, 100, 0, 6},  {650, 100, 0, 6},  {600, 100, 50, 10}, {601, 100, 50, 11},
      {400, 100, 100, 3}, {100, 100, 7, 1}, {99, 100, 0, 0},    {99, 100, 10, 0},
  };
  std::vector<float> x(650), y(650);
  for (std::size_t i = 0; i < x.size(); ++i) {
    x[i] = std::sin(0.7f * static_cast<float>(i)) + 0.01f * static_cast<float>(i % 7);
    y[i] = std::cos(1.3f * static_cast<float>(i)) - 0.02f * static_cast<float>(i % 5);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.rows) + " rows by " + std::to_string(c.frame_length) +
                 ", overlap " + std::to_string(c.overlap));
    vok::Settings s;
    s.frame_length = c.frame_length;
    s.overlap = c.overlap;
    s.threads = 1;
    EXPECT_EQ(vok::frame_count(s, c.rows), c.frames);
    if (c.frames == 0) continue;
    const auto n = static_cast<std::size_t>(c.rows);
    const vok::Result r = vok::analyse(std::span(x).first(n), std::span(y).first(n), s);
    EXPECT_EQ(static_cast<int>(r.frames.size()), c.frames);
  }
}

TEST(FrameCount, RefusesBadSettingsAndNegativeRows) {
  vok::Settings s;
  s.frame_length = 11;
  EXPECT_THROW(vok::frame_count(s, 600), vok::Error);
  s.frame_length = 100;
  try {
    vok::frame_count(s, -1);
    ADD_FAILURE() << "accepted";
  } catch (const vok::Error& e) {
    EXPECT_NE(std::string(e.what()).find("rows = -1"), std::string::npos) << e.what();
  }
}

}  // namespace

// Each test by its name, and the three orders the outputs list them in, by
// name: what a reader of the files and tables relies on.
TEST(TestOrder, NamesAndOrdersOfTheOutputs) {
  const std::pair<vok::Test, const char*> names[] = {
      {vok::Test::hxxy, "Hxxy"}, {vok::Test::hyyx, "Hyyx"}, {vok::Test::hxxx, "Hxxx"},
      {vok::Test::hyyy, "Hyyy"}, {vok::Test::cx, "Cx"},     {vok::Test::cy, "Cy"},
      {vok::Test::cxy, "Cxy"}};
  for (const auto& [test, name] : names) {
    EXPECT_STREQ(vok::name(test), name);
    EXPECT_EQ(vok::test_name(test), name);
  }
  const auto in_names = [](const std::array<vok::Test, vok::kTestCount>& order) {
    std::string text;
    for (vok::Test t : order) text += std::string(vok::name(t)) + ' ';
    return text;
  };
  EXPECT_EQ(in_names(vok::kTests), "Hxxy Hyyx Hxxx Hyyy Cx Cy Cxy ");
  EXPECT_EQ(in_names(vok::kColumnOrder), "Cx Cy Cxy Hxxx Hyyy Hxxy Hyyx ");
  EXPECT_EQ(in_names(vok::kGraphOrder), "Hxxy Hyyx Hxxx Hyyy Cxy Cx Cy ");
}
