// One run: from the run control file to the finished report.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "bootstrap/uniform.h"
#include "control/folder_locks.h"
#include "data/datc.h"
#include "frames/covxy.h"
#include "input/fields.h"
#include "input/source_lines.h"
#include "output/channel.h"
#include "vok/vok.h"

namespace vok {

// Settings of "Runvok.cnl", shared by every run of an execution.
struct SharedSettings {
  int runs = 0;
  float exponent = 0.0f;
  float false_alarm = 0.0f;
  int frame_length = 0;
  int overlap = 0;
  int var_lag = 0;
  int resamples = 0;

  // These settings as the analysis takes them (the run's own, the
  // transform, bootstrap and threads, at their defaults).
  Settings analysis() const;
};

// What lives for a whole execution besides the output channels.
struct Execution {
  explicit Execution(std::uint64_t seed = 0, int threads = 1) : uniforms(seed), threads(threads) {}
  FieldReaders readers;     // keep their last values across calls
  UniformStream uniforms;   // continues across runs
  int threads = 1;          // threads of the runs' parallel steps, at least 1
  Bootstrap bootstrap = Bootstrap::data;  // what the bootstrap's resamples go through
  Trend trend = Trend::n;                 // the VAR fit's constant
  SumsKernel kernel = SumsKernel::fast;   // of the tests' lag sums
  float start_time = 0.0f;  // processor time at program start
  JoinedText shared_source;  // "Runvok.cnl" as read, for the lines messages name
  SourceLine run_name_line;  // the line of "Runvok.cnl" naming the run being made
  // Each run that goes through its frames writes its results file beside
  // its report (report/results_file.h; the option --results).
  bool results_file = false;
  RowBatching row_batching;  // how the data rows are read in blocks (on `threads` threads)
  // The files the run in progress may write (written or not), once known:
  // committed together when it ends.
  std::vector<std::string> output_set;
  // The locks of the folders the execution writes into (none: no lock).
  FolderLocks* folders = nullptr;
};

// What a completed run leaves besides its files: the report's name, its frames
// and the significant ones per test.
struct RunOutcome {
  std::string report;
  int frames = 0;
  PerTest<int> counts;
  Settings settings;                     // the run's analysis settings
  VarianceCheck x_variance, y_variance;  // changing variance in the frames of x and y
  std::vector<Caution> cautions;         // what the frames say about reading the counts
};

// Performs run number `run_index` (1-based) for the run control file `name`
// (the text before "*" of its line in "Runvok.cnl", blank-padded to 80),
// writing on `out`: its files are opened there and staged with it as they are
// closed. Throws RunEnded when the run ends early and Stop when the program
// stops.
RunOutcome run_driver(const std::string& name, const SharedSettings& shared, int run_index,
                      Execution& execution, Channels& out);

}  // namespace vok
