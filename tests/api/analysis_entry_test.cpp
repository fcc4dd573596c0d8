// detail::analyse, the one way into the analysis that vok::analyse and the
// console program's runs take: what it refuses before anything reaches the
// sink, and the resamples the level needs, refused only after the
// statistics (the console writes them before its refusal lines).
#include "analysis/analyse.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

namespace vok {
namespace {

// Which of the sink's calls the analysis made, in order.
struct CallLog : AnalysisSink {
  std::vector<std::string> calls;
  void diagnostic(const Message&) override { calls.push_back("diagnostic"); }
  void statistics(const DescriptiveStats&, const DescriptiveStats&) override {
    calls.push_back("statistics");
  }
  void thresholds(const PerTest<float>&, bool) override { calls.push_back("thresholds"); }
  void frame(const Frame&, std::span<const Message>) override { calls.push_back("frame"); }
  void finish(const PerTest<int>&, const CorrelationSummary*) override {
    calls.push_back("finish");
  }
};

std::vector<float> wave(int n, float phase) {
  std::vector<float> v(static_cast<std::size_t>(n));
  for (int t = 0; t < n; ++t) v[static_cast<std::size_t>(t)] = std::sin(0.7f * t * t + phase);
  return v;
}

TEST(AnalysisEntry, RefusesBeforeAnythingReachesTheSink) {
  struct Case {
    const char* what;
    std::function<void(Settings&)> change;
    int x_rows, y_rows;
    Setting refused;  // Setting::none: refused for the input
  };
  const Case cases[] = {
      {"frame length 11", [](Settings& s) { s.frame_length = 11; }, 100, 100,
       Setting::frame_length},
      {"overlap -1", [](Settings& s) { s.overlap = -1; }, 100, 100, Setting::overlap},
      {"VAR lag without degrees of freedom", [](Settings& s) { s.var_lag = 20; }, 100, 100,
       Setting::var_lag},
      {"threads -1", [](Settings& s) { s.threads = -1; }, 100, 100, Setting::threads},
      {"x and y of two lengths", [](Settings&) {}, 100, 99, Setting::none},
      {"fewer rows than a frame", [](Settings&) {}, 39, 39, Setting::none},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Settings settings;
    settings.frame_length = 40;
    c.change(settings);
    const std::vector<float> x = wave(c.x_rows, 0.0f), y = wave(c.y_rows, 1.0f);
    UniformStream uniforms;
    CallLog log;
    try {
      detail::analyse(x, y, settings, {}, uniforms, log, EngineOptions{});
      ADD_FAILURE() << "accepted";
    } catch (const Error& e) {
      EXPECT_EQ(e.setting(), c.refused) << e.what();
    }
    EXPECT_TRUE(log.calls.empty());
  }
}

TEST(AnalysisEntry, TooFewResamplesAreRefusedAfterTheStatisticsAndBeforeAnyDraw) {
  Settings settings;
  settings.frame_length = 40;
  settings.resamples = 19;  // 1/19 above the level 0.05
  const std::vector<float> x = wave(120, 0.0f), y = wave(120, 1.0f);
  UniformStream uniforms;
  CallLog log;
  EXPECT_THROW(detail::analyse(x, y, settings, {}, uniforms, log, EngineOptions{}),
               ResamplesRefused);
  EXPECT_EQ(log.calls, std::vector<std::string>{"statistics"});
  EXPECT_EQ(uniforms.position(), 0u);

  // vok::analyse refuses the same settings up front, naming the setting.
  try {
    vok::analyse(x, y, settings);
    ADD_FAILURE() << "accepted";
  } catch (const Error& e) {
    EXPECT_EQ(e.setting(), Setting::resamples) << e.what();
  }
}

TEST(AnalysisEntry, ReturnsThePlanItAnalysed) {
  Settings settings;
  settings.frame_length = 40;
  settings.overlap = 20;
  const std::vector<float> x = wave(130, 0.0f), y = wave(130, 1.0f);
  UniformStream uniforms;
  CallLog log;
  const FramePlan plan = detail::analyse(x, y, settings, {}, uniforms, log, EngineOptions{});
  EXPECT_EQ(plan.rows, 130);
  EXPECT_EQ(plan.frames, 5);  // offsets 0, 20, 40, 60, 80: the last ends on row 120
  EXPECT_EQ(plan.lags, lags(settings));
  EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "frame"), plan.frames);
  EXPECT_EQ(log.calls.back(), "finish");
}

}  // namespace
}  // namespace vok
