// The results files of --results: one per run that went through its frames,
// holding the Result its report and table were written from, listed in
// Vok-results.json; written whole and never through a planted link; none for
// a run that ended early or stopped (an earlier one of that name goes); and
// without the option, nothing of them.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "report/frames_table.h"
#include "control/program.h"
#include "e2e/e2e_files.h"
#include "e2e/run_in_dir.h"
#include "report/results_file.h"
#include "report/results_reader.h"

namespace vok {
namespace {

using e2e::RunDir;

ExecutionOptions with_results() {
  ExecutionOptions options;
  options.results_file = true;
  return options;
}

// Two runs of the bilinear fixture (the second clipped), as `names`.
void write_runs(const RunDir& dir, const std::vector<std::string>& names, int resamples = 20) {
  e2e::TopSettings top;
  top.frame_length = 48;
  top.var_lag = 1;
  top.resamples = resamples;
  e2e::RunSettingsText run;
  run.y = 3;
  run.graphing = true;
  run.data = "bilinear.dat";
  dir.write("Runvok.cnl", e2e::top_file(top, names));
  for (const std::string& name : names) {
    dir.write(name, e2e::run_file(run));
    run.switches = "clip data";
  }
  dir.write("bilinear.dat", e2e::fixture("bilinear.dat"));
}

std::vector<std::string> listed(const RunDir& dir) {
  std::vector<std::string> names;
  const test::JsonValue index = test::parse_json(dir.read(kResultsIndexName));
  for (const test::JsonValue& v : index["results"].items)
    names.push_back(v.text);
  return names;
}

TEST(ResultsFileE2e, EachCompletedRunLeavesTheResultItsFilesWereWrittenFrom) {
  RunDir plain, with;
  write_runs(plain, {"first.cnl", "second.cnl"});
  write_runs(with, {"first.cnl", "second.cnl"});
  ASSERT_EQ(plain.run(2, {}).status, 0);
  ASSERT_EQ(with.run(2, with_results()).status, 0);

  // Without the option nothing of it; with it, only the results files more,
  // and every other file the same.
  std::set<std::string> more = e2e::files_in(with.path());
  for (const std::string& name : e2e::files_in(plain.path())) {
    EXPECT_EQ(e2e::mask_times(with.read(name)), e2e::mask_times(plain.read(name))) << name;
    more.erase(name);
  }
  EXPECT_EQ(more, (std::set<std::string>{"Vok-results.json", "first_1-_3.json",
                                         "second_1-_3.json"}));

  ASSERT_EQ(listed(with), (std::vector<std::string>{"first_1-_3.json", "second_1-_3.json"}));
  for (const std::string& name : listed(with)) {
    SCOPED_TRACE(name);
    const test::JsonValue doc = test::parse_json(with.read(name));
    const Result result = test::result_of(doc);
    EXPECT_EQ(result.rows, 480);
    EXPECT_EQ(result.frames.size(), 10u);
    EXPECT_TRUE(result.bootstrapped);
    ASSERT_FALSE(result.frames.front().var_fit->phi.empty());
    // The table beside the report is this result's, to the last digit.
    EXPECT_EQ(with.read(frames_table_name(doc["report"].text)), frames_table(result, false));
  }
}

TEST(ResultsFileE2e, APlantedLinkIsReplacedNotWrittenThrough) {
  RunDir dir;
  write_runs(dir, {"first.cnl"});
  dir.write("victim.txt", "keep\n");
  std::filesystem::create_symlink(dir.path() / "victim.txt", dir.path() / "first_1-_3.json");
  std::filesystem::create_symlink(dir.path() / "victim.txt", dir.path() / kResultsIndexName);
  ASSERT_EQ(dir.run(1, with_results()).status, 0);
  EXPECT_EQ(dir.read("victim.txt"), "keep\n");
  for (const char* name : {"first_1-_3.json", kResultsIndexName}) {
    EXPECT_FALSE(std::filesystem::is_symlink(dir.path() / name)) << name;
    EXPECT_NO_THROW(test::parse_json(dir.read(name))) << name;
  }
}

TEST(ResultsFileE2e, NoResultsForARunThatEndsOrStops) {
  struct Case {
    const char* name;
    int resamples;        // 10 resamples are refused at the 0.05 level: the run ends
    bool second_stops;  // the second run's y column is not in the data: the program stops
    int status;
  };
  const Case cases[] = {
      {"run ended", 10, false, 2},
      {"stopped", 20, true, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RunDir dir;
    write_runs(dir, {"first.cnl", "second.cnl"}, c.resamples);
    e2e::RunSettingsText stopping;
    stopping.y = 9;
    stopping.data = "bilinear.dat";
    if (c.second_stops) dir.write("second.cnl", e2e::run_file(stopping));
    // Left by an earlier execution: it must not pass for this one's.
    dir.write("second_1-_3.json", "{}\n");
    dir.write("first_1-_3.json", "{}\n");
    EXPECT_EQ(dir.run(1, with_results()).status, c.status);
    if (c.second_stops) {
      // The earlier file may stay (the stop comes before the run's outputs
      // are known), but the list does not name it.
      EXPECT_EQ(listed(dir), std::vector<std::string>{"first_1-_3.json"});
      EXPECT_EQ(test::result_of(test::parse_json(dir.read("first_1-_3.json"))).frames.size(), 10u);
    } else {
      EXPECT_TRUE(listed(dir).empty());
      EXPECT_FALSE(dir.exists("first_1-_3.json"));
      EXPECT_FALSE(dir.exists("second_1-_3.json"));
    }
    for (const std::string& name : e2e::files_in(dir.path()))
      EXPECT_FALSE(name.ends_with(".tmp")) << name;
  }
}

}  // namespace
}  // namespace vok
