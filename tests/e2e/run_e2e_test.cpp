// Whole runs of the program on small data files: every output file, the
// console and "Vok-error.out" against golden files (closing-stamp times
// masked), the exit status, and every way a run stops or ends early.
//
// The data files come from tests/e2e/fixtures/make_fixtures.py. The goldens
// were written by this program (VOK_UPDATE_GOLDEN=1) and then read line by
// line against the line layouts; tests/e2e/fixtures/check_goldens.py
// recomputes their statistics, test values, counts and correlations
// independently.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "control/run_layout.h"
#include "e2e/e2e_files.h"
#include "e2e/run_in_dir.h"

namespace vok {
namespace {

using e2e::check_goldens;
using e2e::files_in;
using e2e::fixture;
using e2e::GoldenExecution;
using e2e::mask_times;
using e2e::ProgramResult;
using e2e::run_file;
using e2e::RunDir;
using e2e::RunSettingsText;
using e2e::same_lines;
using e2e::top_file;
using e2e::TopSettings;

// ---------------------------------------------------------------------------
// Complete executions against their goldens.

// A time run: three columns, x and y from columns 1 and 3 (tag _1-_3),
// VAR(1) prewhitening, plot files, interval 0.5 minutes. Nine of twelve
// frames are significant for xxy and eight for yyx, so the summary holds the
// largest-xxy block and not the largest-yyx one.
GoldenExecution time_run() {
  const TopSettings top{.exponent = "0.3", .frame_length = 40, .var_lag = 1};
  const RunSettingsText run{
      .x = 1, .y = 3, .graphing = true, .unit = "minutes", .switches = "", .data = "bilinear.dat"};
  return {
      "time_run",
      top_file(top, {"runT.cnl"}),
      {{"runT.cnl", run_file(run)}, {"bilinear.dat", fixture("bilinear.dat")}},
      0,
      {"runT_1-_3.out", "runT_1-_3.graph", "runT-frames.out", "runT-xy.graph", "runT_1-_3.csv"}};
}

TEST(RunGolden, TimeRun) {
  check_goldens(time_run());
}

// Stamped rows (stamp first), rows 11 to 250 of 260, no prewhitening,
// residuals clipped to their signs: stamps in the frames file, the graph file
// and the xy graph file.
GoldenExecution stamped_run() {
  TopSettings top;
  top.exponent = "0.25";
  top.frame_length = 30;
  RunSettingsText run;
  run.graphing = true;
  run.switches = "clip data";
  run.data = "stamped.dat";
  run.start = 11;
  run.end = 250;
  return {"stamped_run",
          top_file(top, {"stamps.cnl"}),
          {{"stamps.cnl", run_file(run)}, {"stamped.dat", fixture("stamped.dat")}},
          0,
          {"stamps_1-_2.out", "stamps_1-_2.graph", "stamps-frames.out", "stamps-xy.graph",
           "stamps_1-_2.csv"}};
}

TEST(RunGolden, StampedRun) {
  check_goldens(stamped_run());
}

// A frequency run at 10 kHz with overlapping frames (a new frame every 20 of
// 300 rows, frames of 60: twelve frames, the last on rows 221-280), VAR(2),
// alpha 0.1 and the columns swapped (tag _2-_1).
GoldenExecution frequency_run() {
  TopSettings top;
  top.exponent = "0.5";
  top.alarm = "0.1";
  top.frame_length = 60;
  top.overlap = 20;
  top.var_lag = 2;
  RunSettingsText run;
  run.x = 2;
  run.y = 1;
  run.graphing = true;
  run.unit = "frequency";
  run.data = "freq.dat";
  return {
      "frequency_run",
      top_file(top, {"freq.cnl"}),
      {{"freq.cnl", run_file(run)}, {"freq.dat", fixture("freq.dat")}},
      0,
      {"freq_2-_1.out", "freq_2-_1.graph", "freq-frames.out", "freq-xy.graph", "freq_2-_1.csv"}};
}

TEST(RunGolden, FrequencyRunWithOverlap) {
  check_goldens(frequency_run());
}

// Two runs with the same settings in one execution, 20 resamples at alpha
// 0.05 (accepted: 1/20 is not above 0.05): the second run continues the
// random stream, so its thresholds differ from the first run's.
GoldenExecution two_bootstrap_runs(const std::vector<std::string>& names) {
  TopSettings top;
  top.frame_length = 48;
  top.resamples = 20;
  RunSettingsText run;
  run.x = 1;
  run.y = 3;
  run.data = "bilinear.dat";
  GoldenExecution e{
      "two_runs", top_file(top, names), {{"bilinear.dat", fixture("bilinear.dat")}}, 0, {}};
  for (const std::string& name : names) {
    e.inputs.emplace_back(name, run_file(run));
    e.outputs.push_back(name.substr(0, name.find('.')) + "_1-_3.out");
    e.outputs.push_back(name.substr(0, name.find('.')) + "_1-_3.csv");
  }
  return e;
}

TEST(RunGolden, TwoBootstrapRunsInOneExecution) {
  check_goldens(two_bootstrap_runs({"first.cnl", "second.cnl"}));
}

std::vector<std::string> threshold_lines(const std::string& report) {
  std::vector<std::string> lines;
  for (const std::string& line : e2e::lines_of(report))
    if (line.find("Threshold") != std::string::npos) lines.push_back(line);
  return lines;
}

TEST(RunGolden, AFreshExecutionRepeatsTheFirstRunsThresholds) {
  const std::string first = e2e::golden("e2e/golden/two_runs/first_1-_3.out");
  const std::string second = e2e::golden("e2e/golden/two_runs/second_1-_3.out");
  ASSERT_EQ(threshold_lines(first).size(), 3u);
  EXPECT_NE(threshold_lines(first), threshold_lines(second));

  // The second run's control file alone, in a new execution: the stream
  // starts afresh, and the report is the first run's.
  GoldenExecution alone = two_bootstrap_runs({"second.cnl"});
  RunDir dir;
  dir.write("Runvok.cnl", alone.top);
  for (const auto& [name, content] : alone.inputs) dir.write(name, content);
  ASSERT_EQ(dir.run().status, 0);
  EXPECT_TRUE(same_lines(mask_times(dir.read("second_1-_3.out")), first));
}

// 19 resamples at alpha 0.05: 1/19 > 0.05, the run is refused after its
// descriptive statistics (report, console, error file) and ends: exit 2.
TEST(RunGolden, NineteenResamplesAreRefused) {
  TopSettings top;
  top.resamples = 19;
  RunSettingsText run;
  run.data = "bilinear.dat";
  check_goldens({"refused_resamples",
                 top_file(top, {"boot.cnl"}),
                 {{"boot.cnl", run_file(run)}, {"bilinear.dat", fixture("bilinear.dat")}},
                 2,
                 {"boot_1-_2.out"}});
}

// A run with fewer rows than one frame ends with the frame-count message;
// the next run completes; the execution exits with 2.
TEST(RunGolden, NoWholeFrameThenAGoodRun) {
  TopSettings top;
  RunSettingsText short_run;
  short_run.data = "bilinear.dat";
  short_run.end = 30;
  RunSettingsText good = short_run;
  good.end = 0;
  check_goldens({"no_frames_then_good",
                 top_file(top, {"short.cnl", "good.cnl"}),
                 {{"short.cnl", run_file(short_run)},
                  {"good.cnl", run_file(good)},
                  {"bilinear.dat", fixture("bilinear.dat")}},
                 2,
                 {"short_1-_2.out", "good_1-_2.out", "good_1-_2.csv"}});
}

// Log data: both columns are replaced by their natural logarithms before the
// descriptive statistics and the frames; the header says so.
GoldenExecution log_data() {
  TopSettings top;
  RunSettingsText run;
  run.switches = "log data";
  run.data = "positive.dat";
  return {"log_data",
          top_file(top, {"logs.cnl"}),
          {{"logs.cnl", run_file(run)}, {"positive.dat", fixture("positive.dat")}},
          0,
          {"logs_1-_2.out", "logs_1-_2.csv"}};
}

TEST(RunGolden, LogData) {
  check_goldens(log_data());
}

// The file's header promises 480 rows, the file holds 430: the notice on the
// report, then the run goes on with rows 21 to 430 (n = 410, ten frames of
// 40, 400 rows for the statistics) and says so in its header.
std::string truncated_bilinear(int rows) {
  const std::vector<std::string> lines = e2e::lines_of(fixture("bilinear.dat"));
  std::string text;
  for (int i = 0; i < 2 + rows; ++i) text += lines.at(static_cast<std::size_t>(i)) + "\n";
  return text;
}

GoldenExecution end_of_file_inside_the_rows() {
  TopSettings top;
  RunSettingsText run;
  run.y = 3;
  run.data = "cut.dat";
  run.start = 21;
  return {"eof_in_rows",
          top_file(top, {"cut.cnl"}),
          {{"cut.cnl", run_file(run)}, {"cut.dat", truncated_bilinear(430)}},
          0,
          {"cut_1-_3.out", "cut_1-_3.csv"}};
}

TEST(RunGolden, EndOfFileInsideTheRows) {
  check_goldens(end_of_file_inside_the_rows());
}

// The rows read in blocks of a few rows, or of one row each (blocks of a
// byte), so that the frames are computed while the rows are still read, on
// one and two threads: the same files as frames computed after the reading.
// Log data waits for the logs of every row; a short file keeps the frames
// of the rows it has.
TEST(RunGolden, FramesComputedWhileTheRowsAreRead) {
  for (const GoldenExecution& e :
       {time_run(), stamped_run(), frequency_run(), two_bootstrap_runs({"first.cnl", "second.cnl"}),
        log_data(), end_of_file_inside_the_rows()}) {
    for (const RowBatching& blocks : {RowBatching{.bytes = 150, .slice_bytes = 40},
                                      RowBatching{.bytes = 1, .slice_bytes = 1}}) {
      for (int threads : {1, 2}) {
        SCOPED_TRACE("blocks of " + std::to_string(blocks.bytes) + " bytes, threads " +
                     std::to_string(threads));
        check_goldens(e, e2e::HowRun{threads, e2e::rows_in_blocks(blocks)});
      }
    }
  }
}

// Row 400 of 480 cannot be read, after the frames of the rows before it
// were computed during the reading (blocks of a few rows, one and two
// threads): the program stops with the row's messages alone, as when the
// rows are read in one block and no frame is computed; the report holds the
// banner and the read error alone.
TEST(RunStops, RowThatCannotBeReadAfterFramesWereComputed) {
  std::vector<std::string> lines = e2e::lines_of(fixture("bilinear.dat"));
  lines.at(2 + 399) = "    0.1234    x.5678    0.9012";
  std::string data;
  for (const std::string& line : lines) data += line + "\n";
  RunSettingsText run;
  run.y = 3;
  auto execute = [&](const std::optional<e2e::HowRun>& how) {
    RunDir dir;
    dir.write("Runvok.cnl", top_file(TopSettings{}, {"bad.cnl"}));
    dir.write("bad.cnl", run_file(run));
    dir.write("data.dat", data);
    const ProgramResult r = how ? dir.run(how->threads, how->options) : dir.run();
    return std::vector<std::string>{
        std::to_string(r.status), r.console,
        r.standard_error,         dir.read("Vok-error.out"),
        dir.read("bad_1-_3.out"), std::to_string(files_in(dir.path()).size())};
  };
  const std::vector<std::string> one_block = execute(e2e::HowRun{1, {}});
  EXPECT_EQ(one_block[0], "1");
  EXPECT_NE(one_block[1].find("Error in read of data file"), std::string::npos);
  EXPECT_NE(one_block[1].find("x.5678"), std::string::npos);  // the detail line
  EXPECT_EQ(e2e::lines_of(one_block[4]).size(), 3u);          // the banner and the read error
  for (int threads : {1, 2}) {
    SCOPED_TRACE(threads);
    EXPECT_EQ(execute(e2e::HowRun{threads, e2e::rows_in_blocks({.bytes = 100, .slice_bytes = 31})}),
              one_block);
  }
}

// Fewer rows left after the end of file than one frame: the notice, then
// the frame-count message, and the run ends.
TEST(RunEndOfFile, NoWholeFrameLeftEndsTheRun) {
  RunDir dir;
  TopSettings top;
  RunSettingsText run;
  run.data = "cut.dat";
  dir.write("Runvok.cnl", top_file(top, {"cut.cnl"}));
  dir.write("cut.cnl", run_file(run));
  dir.write("cut.dat", truncated_bilinear(39));
  const ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 2);
  const std::string no_frames =
      "\n       Error - No. of frames < 1\n\n       Decrease the frame length =      40\n\n";
  EXPECT_EQ(r.console, no_frames);
  EXPECT_EQ(dir.read("Vok-error.out"), no_frames);
  EXPECT_EQ(dir.read("cut_1-_2.out"),
            "       Moving Frame Cross Bicorrelations Tests by  Odran Velisko\n"
            " **** eof in read from data file \n i =  40\n" +
                no_frames);
}

// ---------------------------------------------------------------------------
// The same execution twice gives the same files, stamp times aside; the
// second execution replaces every file of the first.

TEST(RunRepeat, SameExecutionSameFiles) {
  const GoldenExecution e = time_run();
  RunDir dir;
  dir.write("Runvok.cnl", e.top);
  for (const auto& [name, content] : e.inputs) dir.write(name, content);
  ASSERT_EQ(dir.run().status, 0);
  std::vector<std::string> first;
  for (const std::string& name : e.outputs) first.push_back(mask_times(dir.read(name)));
  const ProgramResult again = dir.run();
  ASSERT_EQ(again.status, 0);
  for (std::size_t i = 0; i < e.outputs.size(); ++i) {
    SCOPED_TRACE(e.outputs[i]);
    EXPECT_TRUE(same_lines(mask_times(dir.read(e.outputs[i])), first[i]));
  }
  EXPECT_EQ(dir.read("Vok-error.out"), "");
}

// ---------------------------------------------------------------------------
// Output names.

// A run control file in a subdirectory writes its files there; the files are
// those of the same run named in the working directory.
TEST(RunNames, RunControlFileInASubdirectory) {
  TopSettings top;
  RunSettingsText run;
  run.graphing = true;
  run.data = "bilinear.dat";
  RunDir dir;
  dir.write("Runvok.cnl", top_file(top, {"./runs/runA.cnl", "runA.cnl"}));
  dir.write("runs/runA.cnl", run_file(run));
  dir.write("runA.cnl", run_file(run));
  dir.write("bilinear.dat", fixture("bilinear.dat"));
  ASSERT_EQ(dir.run().status, 0);
  for (const std::string name :
       {"runA_1-_2.out", "runA_1-_2.graph", "runA-frames.out", "runA-xy.graph"}) {
    SCOPED_TRACE(name);
    EXPECT_TRUE(same_lines(mask_times(dir.read("runs/" + name)), mask_times(dir.read(name))));
  }
}

// Columns from 20 on are tagged with their own digits.
TEST(RunNames, WideColumnNumbers) {
  std::string data = "Twenty-two columns\nrows=80 columns=22 interval=1.0 format=(22f7.3)\n";
  for (int i = 1; i <= 80; ++i) {
    for (int c = 1; c <= 22; ++c) {
      char field[16];
      std::snprintf(field, sizeof field, "%7.3f", std::sin(0.37 * i * c) + 0.1 * c);
      data += field;
    }
    data += "\n";
  }
  RunSettingsText run;
  run.x = 21;
  run.y = 7;
  RunDir dir;
  dir.write("Runvok.cnl", top_file(TopSettings{}, {"wide.cnl"}));
  dir.write("wide.cnl", run_file(run));
  dir.write("data.dat", data);
  ASSERT_EQ(dir.run().status, 0);
  EXPECT_EQ(files_in(dir.path()),
            (std::set<std::string>{"Runvok.cnl", "Vok-error.out", "wide.cnl", "data.dat",
                                   "wide21-_7.out", "wide21-_7.csv"}));
}

// ---------------------------------------------------------------------------
// Every stop and early end of a run: control files and data file in, console,
// error file and exit status out.

// 100 rows of three columns, for the runs that stop before their frames.
std::string small_data(
    const std::string& keywords = "rows=100 columns=3 interval=1.0 format=(3f8.3)",
    int rows = 100) {
  std::string data = "Small data\n" + keywords + "\n";
  for (int i = 1; i <= rows; ++i) {
    char row[40];
    std::snprintf(row, sizeof row, "%8.3f%8.3f%8.3f\n", 2.0 + std::sin(0.9 * i),
                  1.5 + std::cos(0.4 * i), 3.0 + std::sin(1.7 * i));
    data += row;
  }
  return data;
}

std::string name80(const std::string& name) {
  return name + std::string(80 - name.size(), ' ');
}

const std::string kBanner = "       Moving Frame Cross Bicorrelations Tests by  Odran Velisko\n";
const std::string kNoFrames =
    "\n       Error - No. of frames < 1\n\n       Decrease the frame length =      40\n\n";

// Detail lines naming a line of the run control file, "Runvok.cnl" or the
// data file (as e2e::run_file and e2e::top_file write them).
std::string at_line(const std::string& file, int line, const std::string& text) {
  return " at " + file + " line " + std::to_string(line) + ": \"" + text + "\"\n";
}
std::string run_line(int line, const std::string& text) {
  return at_line("runA.cnl", line, text);
}
std::string top_line(int line, const std::string& text) {
  return at_line("Runvok.cnl", line, text);
}

struct StopCase {
  std::string what;
  std::function<void(TopSettings&, RunSettingsText&)> settings;
  std::function<void(const RunDir&)> prepare;  // files besides the control files
  int status;
  std::string console;          // also the error file, unless error_file is set
  std::string error_file = {};  // when it differs from the console
  std::string report = {};      // the report, when the stop leaves one
};

void with_data(const RunDir& dir) {
  dir.write("data.dat", small_data());
}

TEST(RunStops, EveryStopAndEarlyEnd) {
  auto same = [](TopSettings&, RunSettingsText&) {};
  auto data_is = [](std::string text) {
    return [text](const RunDir& dir) { dir.write("data.dat", text); };
  };
  const StopCase cases[] = {
      {"data file missing", [](TopSettings&, RunSettingsText& r) { r.data = "absent.dat"; },
       [](const RunDir&) {}, 1,
       " Data file  " + name80("absent.dat") + "  does not exist\n" +
           run_line(5, "data file name =absent.dat * the data")},
      {"data file name without a dot",
       [](TopSettings&, RunSettingsText& r) { r.data = "datafile"; },
       [](const RunDir& dir) { dir.write("datafile", small_data()); }, 1,
       " Data file  " + name80("datafile") + "  has no extension\n" +
           run_line(5, "data file name =datafile * the data")},
      {"data file that cannot be opened", same,
       [](const RunDir& dir) { dir.make_directory("data.dat"); }, 1,
       " **** Error on opening data file  21\n at data.dat: Is a directory\n"},
      {"graph file that cannot be opened",
       [](TopSettings&, RunSettingsText& r) { r.graphing = true; },
       [](const RunDir& dir) {
         with_data(dir);
         dir.make_directory("runA_1-_2.graph");
       },
       2, " **** Error on opening graph file  21\n at runA_1-_2.graph: Is a directory\n"},
      {"frames file that cannot be opened",
       [](TopSettings&, RunSettingsText& r) { r.graphing = true; },
       [](const RunDir& dir) {
         with_data(dir);
         dir.make_directory("runA-frames.out");
       },
       2, " **** Error on opening frames file  21\n at runA-frames.out: Is a directory\n"},
      {"xy graph file that cannot be opened",
       [](TopSettings&, RunSettingsText& r) { r.graphing = true; },
       [](const RunDir& dir) {
         with_data(dir);
         dir.make_directory("runA-xy.graph");
       },
       2, " **** Error on opening xy file  21\n at runA-xy.graph: Is a directory\n"},
      {"x column beyond the data", [](TopSettings&, RunSettingsText& r) { r.x = 4; }, with_data, 1,
       " x-column number  4  < number of data columns  3\n" +
           run_line(1, "column-x = 4     * x-data column"),
       "", kBanner},
      {"y column beyond the data", [](TopSettings&, RunSettingsText& r) { r.y = 5; }, with_data, 1,
       " y-column number  5  < number of data columns  3\n" +
           run_line(2, "column-y = 5     * y-data column"),
       "", kBanner},
      {"x column = y column", [](TopSettings&, RunSettingsText& r) { r.y = 1; }, with_data, 1,
       " x-column number  1  = y-column number  1\n" +
           run_line(2, "column-y = 1     * y-data column"),
       "", kBanner},
      {"column count unreadable", same, data_is(small_data("rows=100 interval=1.0 format=(3f8.3)")),
       1,
       " Error in reading the no. of columns of the data file\n" +
           at_line("data.dat", 2, "rows=100 interval=1.0 format=(3f8.3)") +
           " x-column number  1  < number of data columns  -1\n" +
           run_line(1, "column-x = 1     * x-data column"),
       "", kBanner},
      {"x column below 1", [](TopSettings&, RunSettingsText& r) { r.x = 0; }, with_data, 1,
       " x-column number  0  < 1\n" + run_line(1, "column-x = 0     * x-data column")},
      {"y column below 1", [](TopSettings&, RunSettingsText& r) { r.y = -2; }, with_data, 1,
       " y-column number  -2  < 1\n" + run_line(2, "column-y = -2     * y-data column")},
      {"end datum beyond the rows", [](TopSettings&, RunSettingsText& r) { r.end = 101; },
       with_data, 1,
       " IE  101  > number of rows  100\n" +
           run_line(7, "end datum = 101   * last row, 0 for the last of the file"),
       "", kBanner},
      {"VAR order above frame_length/2",
       [](TopSettings& t, RunSettingsText&) { t.var_lag = 21; }, with_data, 1,
       " VAR parameter  21  > lw/2  20\n" +
           top_line(6, "VAR lag = 21       * order of the prewhitening fit"),
       "", kBanner},
      {"negative VAR order", [](TopSettings& t, RunSettingsText&) { t.var_lag = -1; }, with_data, 1,
       " VAR parameter  -1  < 0\n" +
           top_line(6, "VAR lag = -1       * order of the prewhitening fit"),
       "", kBanner},
      {"VAR order frame_length/2 of an even frame_length",
       [](TopSettings& t, RunSettingsText&) { t.var_lag = 20; },
       with_data, 1,
       " VAR parameter  20  leaves no degrees of freedom in frames of  40\n" +
           top_line(6, "VAR lag = 20       * order of the prewhitening fit"),
       "", kBanner},
      {"fewer rows than a frame", [](TopSettings&, RunSettingsText& r) { r.end = 39; }, with_data,
       2, kNoFrames, "", kBanner + kNoFrames},
      {"frames longer than the rows with overlap",
       [](TopSettings& t, RunSettingsText& r) {
         t.overlap = 5;
         r.end = 39;
       },
       with_data, 2, kNoFrames, "", kBanner + kNoFrames},
      {"negative overlap", [](TopSettings& t, RunSettingsText&) { t.overlap = -5; }, with_data, 1,
       " Overlap parameter  -5  is incorrect\n" +
           top_line(5, "overlap = -5       * 0: frames end to end"),
       "", kBanner},
      // The largest row count, a frame beginning on every row, in a (sparse)
      // file that could hold them: the two columns and the frames' results
      // take about 94 GB.
      {"arrays too large for the machine", [](TopSettings& t, RunSettingsText&) { t.overlap = 1; },
       [](const RunDir& dir) {
         dir.write("data.dat", small_data("rows=2147483647 columns=3 interval=1.0 format=(3f8.3)"));
         std::filesystem::resize_file(dir.path() / "data.dat", std::uintmax_t{1} << 32);
       },
       1,
       " Unable to allocate work space for array a\n", "", kBanner},
      {"negative resample count", [](TopSettings& t, RunSettingsText&) { t.resamples = -1; },
       with_data, 1,
       " Number of resamples  -1  < 0\n" +
           top_line(7, "resamples = -1  #  * bootstrap resamples")},
  };
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.what);
    TopSettings top;
    RunSettingsText run;
    c.settings(top, run);
    RunDir dir;
    dir.write("Runvok.cnl", top_file(top, {"runA.cnl"}));
    dir.write("runA.cnl", run_file(run));
    c.prepare(dir);
    const ProgramResult r = dir.run();
    EXPECT_EQ(r.status, c.status);
    EXPECT_EQ(r.console, c.console);
    EXPECT_EQ(dir.read("Vok-error.out"), c.error_file.empty() ? c.console : c.error_file);
    const std::string report = output_names("runA", run.x, run.y).report;
    if (c.report.empty()) {
      EXPECT_FALSE(dir.exists(report));
    } else {
      EXPECT_EQ(dir.read(report), c.report);
    }
    EXPECT_EQ(r.standard_error, "");
  }
}

// The conditions that end only their run: the next run follows and the
// execution exits with 2.
TEST(RunStops, EarlyEndsLetTheNextRunFollow) {
  struct Case {
    std::string what;
    std::string first_name;  // as written in "Runvok.cnl"
    std::function<void(const RunDir&)> prepare;
    std::string message;  // console and error file, before the next run's
  };
  const Case cases[] = {
      {"report that cannot be opened", "runA.cnl",
       [](const RunDir& dir) {
         dir.write("runA.cnl", run_file({}));
         dir.make_directory("runA_1-_2.out");
       },
       " **** Error on opening output file  21\n at runA_1-_2.out: Is a directory\n"},
      {"run control file name without a dot", "runA",
       [](const RunDir& dir) { dir.write("runA", run_file({})); },
       " cnl file name has no extension  " + name80("runA") + "\n" +
           top_line(8, "runA * run control file")},
      // The "." of the directory's name does not count.
      {"dot only before the last slash", "runs.d/runA",
       [](const RunDir& dir) { dir.write("runs.d/runA", run_file({})); },
       " cnl file name has no extension  " + name80("runs.d/runA") + "\n" +
           top_line(8, "runs.d/runA * run control file")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    RunDir dir;
    dir.write("Runvok.cnl", top_file(TopSettings{}, {c.first_name, "runB.cnl"}));
    dir.write("data.dat", small_data());
    RunSettingsText second;
    second.y = 3;
    dir.write("runB.cnl", run_file(second));
    c.prepare(dir);
    const ProgramResult r = dir.run();
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(mask_times(r.console), c.message + " Elapsed time = <elapsed>\n");
    EXPECT_EQ(dir.read("Vok-error.out"), c.message);
    EXPECT_TRUE(dir.exists("runB_1-_3.out"));
  }
}

// ---------------------------------------------------------------------------
// Runs that complete in unusual settings.

// For an odd frame length a VAR order of frame_length div 2 leaves one
// degree of freedom and is accepted (frame_length div 2 + 1 is refused).
TEST(RunSettings, OddFrameLengthTakesAVarOrderOfHalfItsLength) {
  TopSettings top;
  top.frame_length = 13;
  top.var_lag = 6;
  RunSettingsText run;
  run.y = 3;
  run.end = 130;
  RunDir dir;
  dir.write("Runvok.cnl", top_file(top, {"odd.cnl"}));
  dir.write("odd.cnl", run_file(run));
  dir.write("data.dat", fixture("bilinear.dat"));
  ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(dir.read("Vok-error.out"), "");
  const std::string report = dir.read("odd_1-_3.out");
  EXPECT_NE(report.find(" Window Length   13  No. of frames =      10\n"), std::string::npos);
  EXPECT_NE(report.find("VAR(  6) parameters"), std::string::npos);

  top.var_lag = 7;
  dir.write("Runvok.cnl", top_file(top, {"odd.cnl"}));
  r = dir.run();
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.console, " VAR parameter  7  > lw/2  6\n" +
                           top_line(6, "VAR lag = 7       * order of the prewhitening fit"));
}

// The descriptive statistics of a constant column: the variance message goes
// to the error file (and nowhere else), the block shows -1 as the standard
// deviation, and the run goes on.
TEST(RunSettings, ConstantColumn) {
  std::string data = "Constant x\nrows=80 columns=2 interval=1.0 format=(2f8.3)\n";
  for (int i = 0; i < 80; ++i) {
    char row[24];
    std::snprintf(row, sizeof row, "%8.3f%8.3f\n", 2.0, std::sin(0.7 * i) + 0.1 * (i % 3));
    data += row;
  }
  RunDir dir;
  dir.write("Runvok.cnl", top_file(TopSettings{}, {"c.cnl"}));
  dir.write("c.cnl", run_file({}));
  dir.write("data.dat", data);
  const ProgramResult r = dir.run();
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(mask_times(r.console), " Elapsed time = <elapsed>\n");
  EXPECT_EQ(dir.read("Vok-error.out"), " Variance  0  in STAT = 0 & is set = -1\n");
  const std::string report = dir.read("c_1-_2.out");
  EXPECT_NE(report.find("          Descriptive Statistics of x Data\n" + std::string(60, '=') +
                        "\n\n Mean =    2.00           Std Dev =   -1.00    \n\n"
                        " Skew =  0.00        Kurtosis =  0.00        C(6) =   0.0    \n"),
            std::string::npos);
}

// A run without plot files leaves the plot files of an earlier run as that
// run wrote them.
TEST(RunSettings, PlotFilesOfAnEarlierRunStayAsTheyWere) {
  TopSettings top;
  RunSettingsText with_plots;
  with_plots.graphing = true;
  with_plots.y = 3;
  with_plots.data = "bilinear.dat";
  RunSettingsText without_plots = with_plots;
  without_plots.graphing = false;
  without_plots.end = 200;
  const std::vector<std::string> plots = {"plots_1-_3.graph", "plots-frames.out", "plots-xy.graph"};
  auto execute = [&](const std::vector<std::string>& names) {
    RunDir dir;
    dir.write("Runvok.cnl", top_file(top, names));
    dir.write("plots.cnl", run_file(with_plots));
    dir.write("bare.cnl", run_file(without_plots));
    dir.write("bilinear.dat", fixture("bilinear.dat"));
    EXPECT_EQ(dir.run().status, 0);
    std::vector<std::string> texts;
    for (const std::string& name : plots) texts.push_back(mask_times(dir.read(name)));
    return texts;
  };
  const std::vector<std::string> alone = execute({"plots.cnl"});
  const std::vector<std::string> followed = execute({"plots.cnl", "bare.cnl"});
  for (std::size_t i = 0; i < plots.size(); ++i) {
    SCOPED_TRACE(plots[i]);
    EXPECT_TRUE(same_lines(followed[i], alone[i]));
  }
}

// ---------------------------------------------------------------------------
// Log data needs positive values: the first value <= 0, rows in file order
// and x before y within a row, stops the program; the row is counted in the
// data file, from the start datum on.

TEST(RunLogData, FirstNonPositiveValueStops) {
  struct Case {
    std::string what;
    std::vector<std::string> rows;  // columns 1 to 3; x is column 3, y column 1
    std::string message;
  };
  const std::string good = "   1.000   2.000   3.000";
  const Case cases[] = {
      {"y before x in a later row",
       {good, good, "  -0.500   2.000   3.000", "   1.000   2.000  -1.250"},
       " Log data needs positive values:  row  5  column  1  value  -0.5\n" +
           at_line("data.dat", 7, "  -0.500   2.000   3.000")},
      {"x before y in one row",
       {good, good, "   0.000   2.000   0.000"},
       " Log data needs positive values:  row  5  column  3  value  0\n" +
           at_line("data.dat", 7, "   0.000   2.000   0.000")},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::string data = "Logs\nrows=50 columns=3 interval=1.0 format=(3f8.3)\n";
    data += good + "\n" + good + "\n";  // rows 1 and 2, before the start datum
    for (const std::string& row : c.rows) data += row + "\n";
    for (int i = static_cast<int>(c.rows.size()) + 3; i <= 50; ++i) data += good + "\n";
    TopSettings top;
    RunSettingsText run;
    run.x = 3;
    run.y = 1;
    run.switches = "log data";
    run.start = 3;
    RunDir dir;
    dir.write("Runvok.cnl", top_file(top, {"logs.cnl"}));
    dir.write("logs.cnl", run_file(run));
    dir.write("data.dat", data);
    const ProgramResult r = dir.run();
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.console, c.message);
    EXPECT_EQ(dir.read("Vok-error.out"), c.message);
    EXPECT_EQ(dir.read("logs_3-_1.out"), kBanner);
  }
}

}  // namespace
}  // namespace vok
