// An execution run in a given directory: the files land there, each
// completed run leaves its results file (--results) with the Result its
// table was written from, the seed takes hold, and the working directory and
// thread count are the caller's again afterwards.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "report/frames_table.h"
#include "control/program.h"
#include "e2e/e2e_files.h"
#include "e2e/run_in_dir.h"
#include "exec/parallel.h"
#include "report/results_file.h"
#include "report/results_reader.h"

namespace vok {
namespace {

using e2e::RunDir;

struct Completed {
  std::string report;
  Settings settings;
  Result result;
};

// The runs of the results files the execution lists, in run order.
std::vector<Completed> run_in(const RunDir& dir, int threads, std::uint64_t seed, int& status) {
  ExecutionOptions options;
  options.seed = seed;
  options.results_file = true;
  {
    CapturedChannels captured;
    status = run_program_in(captured.all(), dir.path().string(), threads, options);
  }
  std::vector<Completed> runs;
  const test::JsonValue index = test::parse_json(dir.read(kResultsIndexName));
  for (const test::JsonValue& name : index["results"].items) {
    const test::JsonValue doc = test::parse_json(dir.read(name.text));
    Completed run{doc["report"].text, {}, test::result_of(doc)};
    const test::JsonValue& s = doc["settings"];
    run.settings.resamples = static_cast<int>(s["resamples"].number);
    run.settings.transform = s["transform"].is_null() ? Transform::none
                             : s["transform"].text == "clip" ? Transform::clip
                                                            : Transform::log;
    runs.push_back(std::move(run));
  }
  return runs;
}

void write_two_runs(const RunDir& dir) {
  e2e::TopSettings top;
  top.frame_length = 48;
  top.var_lag = 1;
  top.resamples = 20;
  e2e::RunSettingsText run;
  run.y = 3;
  run.data = "bilinear.dat";
  dir.write("Runvok.cnl", e2e::top_file(top, {"first.cnl", "second.cnl"}));
  dir.write("first.cnl", e2e::run_file(run));
  run.switches = "clip data";
  dir.write("second.cnl", e2e::run_file(run));
  dir.write("bilinear.dat", e2e::fixture("bilinear.dat"));
}

TEST(ProgramIn, RunsInTheDirectoryAndEachCompletedRunLeavesItsResults) {
  RunDir dir;
  write_two_runs(dir);
  const std::filesystem::path here = std::filesystem::current_path();
  int status = -1;
  const std::vector<Completed> runs = run_in(dir, 1, 0, status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(std::filesystem::current_path(), here);

  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].report, "first_1-_3.out");
  EXPECT_EQ(runs[1].report, "second_1-_3.out");
  EXPECT_EQ(runs[1].settings.transform, Transform::clip);
  EXPECT_EQ(runs[0].settings.resamples, 20);
  for (const Completed& run : runs) {
    SCOPED_TRACE(run.report);
    EXPECT_EQ(run.result.frames.size(), 10u);  // 480 rows in frames of 48
    EXPECT_EQ(run.result.rows, 480);
    EXPECT_TRUE(run.result.bootstrapped);
    // The table beside the report is this result's.
    EXPECT_EQ(dir.read(frames_table_name(run.report)), frames_table(run.result, false));
  }
  // The second run continues the stream after the first one's resamples.
  EXPECT_NE(runs[0].result.thresholds, runs[1].result.thresholds);
}

TEST(ProgramIn, TheSeedChoosesTheResamplesAndNothingElse) {
  RunDir plain, seeded;
  write_two_runs(plain);
  write_two_runs(seeded);
  int status = -1;
  const std::vector<Completed> a = run_in(plain, 2, 0, status);
  const std::vector<Completed> b = run_in(seeded, 2, 77, status);
  ASSERT_EQ(a.size(), 2u);
  ASSERT_EQ(b.size(), 2u);
  EXPECT_NE(a[0].result.thresholds, b[0].result.thresholds);
  for (std::size_t k = 0; k < a[0].result.frames.size(); ++k)
    EXPECT_EQ(a[0].result.frames[k].cdf, b[0].result.frames[k].cdf);
  // The same seed again, on another thread count: the same thresholds.
  RunDir again;
  write_two_runs(again);
  const std::vector<Completed> c = run_in(again, 1, 77, status);
  EXPECT_EQ(c[0].result.thresholds, b[0].result.thresholds);
  EXPECT_EQ(c[1].result.thresholds, b[1].result.thresholds);
}

TEST(ProgramIn, ADirectoryThatCannotBeEnteredThrowsAndChangesNothing) {
  const std::filesystem::path here = std::filesystem::current_path();
  ExecutionOptions options;
  CapturedChannels captured;
  EXPECT_THROW(run_program_in(captured.all(), "/no/such/directory", 1, options),
               std::filesystem::filesystem_error);
  EXPECT_EQ(std::filesystem::current_path(), here);
}

}  // namespace
}  // namespace vok
