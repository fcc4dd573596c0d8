// What the run driver hands back of a completed run: its frame count and
// the significant frames per test, the numbers of the report's counts block.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "control/run_driver.h"
#include "e2e/run_in_dir.h"
#include "output/channel.h"

namespace vok::e2e {
namespace {

std::string example_file(const char* name) {
  std::ifstream in(std::string(VOK_SOURCE_DIR) + "/examples/" + name, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(RunOutcome, CountsOfTheExamplesFirstRun) {
  RunDir dir;
  for (const char* name : {"runA.cnl", "example.dat"})
    dir.write(name, example_file(name));
  ScopedWorkingDirectory here(dir.path());
  CapturedChannels captured;
  captured.all().error_file.capture();

  SharedSettings shared;  // as examples/Runvok.cnl sets them
  shared.runs = 1;
  shared.exponent = 0.4f;
  shared.false_alarm = 0.05f;
  shared.frame_length = 200;
  shared.var_lag = 1;
  shared.resamples = 100;
  Execution execution;
  std::string name = "runA.cnl";
  name.resize(80, ' ');
  const RunOutcome outcome = run_driver(name, shared, 1, execution, captured.all());

  EXPECT_EQ(outcome.frames, 12);
  EXPECT_EQ(outcome.counts, (PerTest<int>{6, 1, 0, 0, 1, 1, 0}));
  EXPECT_NE(captured.all().report.path(), "");
  captured.all().close_all();  // the report is renamed into place as a run's end does
  EXPECT_NE(dir.read("runA_1-_2.out").find("      6  ( 50.0%) significant xxy frames\n"),
            std::string::npos);
}

}  // namespace
}  // namespace vok::e2e
