#include "control/run_driver.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <optional>
#include <utility>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/analyse.h"
#include "analysis/cautions.h"
#include "analysis/engine.h"
#include "analysis/log_transform.h"
#include "analysis/run_checks.h"
#include "control/closing_stamp.h"
#include "control/control_files.h"
#include "report/frames_table.h"
#include "control/run_layout.h"
#include "control/setting_refusals.h"
#include "control/terminal_progress.h"
#include "report/run_writer.h"
#include "data/datc.h"
#include "data/readhead.h"
#include "data/stamp_array.h"
#include "frames/frame_plan.h"
#include "report/frame_lines.h"
#include "report/statistics_lines.h"
#include "report/threshold_lines.h"
#include "output/channel.h"
#include "output/failure.h"
#include "output/free_format.h"
#include "exec/parallel.h"
#include "input/text_file.h"
#include "report/results_file.h"

namespace vok {

namespace {

[[noreturn]] void stop_with(const ChannelGroup& targets, std::initializer_list<Value> items) {
  targets.write_free(items);
  throw Stop{};
}

// Stops after a message about a setting of a control file on `targets`,
// followed by the line the setting came from on `to`'s detail channels.
[[noreturn]] void stop_on_setting(const ChannelGroup& targets, std::initializer_list<Value> items,
                                  const JoinedText& source, std::string_view search,
                                  const ControlChannels& to) {
  targets.write_free(items);
  source.write_setting_detail(to.detail(), search);
  throw Stop{};
}

std::string_view without_trailing_blanks(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}

std::string_view trimmed(std::string_view s) {
  s = without_trailing_blanks(s);
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return s;
}

// On the report, the console and the error file.
void write_frame_count_error(int frame_length, const ChannelGroup& to) {
  static const Layout kNoFrames = Layout::parse(R"(/ 7X "Error - No. of frames < 1" /)");
  static const Layout kDecrease = Layout::parse(R"(7X "Decrease the frame length = " I7 /)");
  to.write(kNoFrames);
  to.write(kDecrease, {frame_length});
}

// Requests above the machine's physical memory are refused up front: the
// system would grant them and then fail while they are filled.
bool affordable(std::uint64_t bytes) {
  long pages = sysconf(_SC_PHYS_PAGES);
  long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return true;
  return bytes <= static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
}

// An allocator whose containers leave new numbers unset: the rows' columns
// are written whole by the reading, on its threads, and zeroing them first
// would touch every page of them on one thread before the reading starts.
template <typename T>
struct LeftUnset : std::allocator<T> {
  template <typename U>
  struct rebind {
    using other = LeftUnset<U>;
  };
  LeftUnset() = default;
  template <typename U>
  LeftUnset(const LeftUnset<U>&) noexcept {}
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    if constexpr (sizeof...(Args) == 0)
      ::new (static_cast<void*>(p)) U;
    else
      ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
};

template <typename T, typename Allocator>
bool allocate(std::vector<T, Allocator>& v, std::uint64_t count) {
  if (!affordable(count * sizeof(T))) return false;
  try {
    v.clear();
    v.resize(static_cast<std::size_t>(count));
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

// Natural logarithms of the x and y columns; the first value <= 0 (rows in
// file order, x before y) stops the program, after its message on `to` and
// the detail line `where` writes for its row.
template <typename WhereIsRow>
void take_logs_or_stop(std::span<float> x, std::span<float> y, int first_row, int cx, int cy,
                       const ChannelGroup& to, WhereIsRow where) {
  const std::optional<NonPositiveValue> bad = take_logs(x, y);
  if (!bad) return;
  const int row = first_row + static_cast<int>(bad->index);
  to.write_free({"Log data needs positive values: ", "row ", row, " column ", bad->in_y ? cy : cx,
                 " value ", bad->value});
  where(row);
  throw Stop{};
}

// Step 2: the data file, which must exist and have an extension.
void open_data_file(const RunSettings& run, TextFile& data, const ControlChannels& to) {
  const std::string data_name(trimmed(run.data_file));
  const ChannelGroup both{&to.console, &to.error_file};
  if (!file_exists(data_name))
    stop_on_setting(both, {"Data file ", run.data_file, " does not exist"}, run.source,
                    "ile name", to);
  if (data_name.find('.') == std::string::npos)
    stop_on_setting(both, {"Data file ", run.data_file, " has no extension"}, run.source,
                    "ile name", to);
  if (int status = data.open(data_name); status != 0) {
    both.write_free({"**** Error on opening data file ", status});
    stop_with(both, {"at " + data_name + ": " + TextFile::open_failure(status)});
  }
}

// Steps 3 and 4: the report with its banner, then the plot files. The names
// stand where the run control file stands, as its name is written in
// "Runvok.cnl".
std::string open_outputs(const std::string& name, const RunSettings& run, Execution& execution,
                         Channels& out) {
  const ChannelGroup console_and_error_file{&out.console, &out.error_file};
  const std::optional<std::string> base = output_base(without_trailing_blanks(name));
  if (!base) {
    console_and_error_file.write_free({"cnl file name has no extension ", name});
    if (execution.run_name_line.number > 0)
      write_detail(console_and_error_file, execution.run_name_line);
    throw RunEnded{};
  }
  const OutputNames files = output_names(*base, run.x_column, run.y_column);
  // Another execution writing into the same folder would mix its files with
  // this run's: the first to come holds the folder.
  if (execution.folders != nullptr && !execution.folders->take(folder_of(files.report))) {
    const std::string line = "Another vok is running in " + escaped_text(folder_of(files.report));
    out.console.line(line);
    out.standard_error.line(line);
    throw Stop{};
  }
  execution.output_set = {files.report, files.graph, files.frames, files.xy,
                          frames_table_name(files.report), results_file_name(files.report)};
  if (!execution.results_file) execution.output_set.push_back(kResultsIndexName);
  if (int status = out.report.open_file(files.report); status != 0) {
    console_and_error_file.write_free({"**** Error on opening output file ", status});
    console_and_error_file.write_free({file_error_line(files.report, status)});
    execution.output_set.clear();  // the earlier files stay
    throw RunEnded{};
  }
  static const Layout kBanner =
      Layout::parse(R"(7X "Moving Frame Cross Bicorrelations Tests by  Odran Velisko")");
  out.report.write(kBanner);

  if (run.graphing == Graphing::off) return files.report;
  for (Channel* ch : {&out.graph, &out.frames, &out.xy_graph}) ch->close();
  struct PlotFile {
    Channel& channel;
    std::string path;
    const char* what;
  };
  for (const PlotFile& f :
       {PlotFile{out.graph, files.graph, "graph"}, PlotFile{out.frames, files.frames, "frames"},
        PlotFile{out.xy_graph, files.xy, "xy"}}) {
    if (int status = f.channel.open_file(f.path); status != 0) {
      // As the report that cannot be opened: the run ends, and commits none
      // of its files.
      console_and_error_file.write_free(
          {std::string("**** Error on opening ") + f.what + " file ", status});
      console_and_error_file.write_free({file_error_line(f.path, status)});
      for (Channel* ch : {&out.report, &out.graph, &out.frames, &out.xy_graph}) ch->discard();
      execution.output_set.clear();  // the earlier files stay
      throw RunEnded{};
    }
  }
  return files.report;
}

// Steps 5 and 6: the data file's header, and the two columns checked
// against it.
DataHeader read_header(TextFile& data, const RunSettings& run, Execution& execution,
                       const ControlChannels& to) {
  const DataHeader header =
      readhead(data, run.sample_unit, execution.readers, {to.error_file, to.console});
  const int ncol = header.columns;
  const ChannelGroup both{&to.error_file, &to.console};
  if (run.x_column > ncol)
    stop_on_setting(both, {"x-column number ", run.x_column, " < number of data columns ", ncol},
                    run.source, "n-x", to);
  if (run.y_column > ncol)
    stop_on_setting(both, {"y-column number ", run.y_column, " < number of data columns ", ncol},
                    run.source, "n-y", to);
  if (run.x_column == run.y_column)
    stop_on_setting(both, {"x-column number ", run.x_column, " = y-column number ", run.y_column},
                    run.source, "n-y", to);
  return header;
}

// Step 10: the frames of n rows; a run without a frame ends, after its
// message on `to` (the report, the console and the error file).
FramePlan plan_frames(int n, const Settings& settings, const ChannelGroup& to) {
  const FramePlan plan = detail::frame_plan(n, settings);
  if (plan.frames < 1) {
    write_frame_count_error(settings.frame_length, to);
    throw RunEnded{};
  }
  return plan;
}

// Calls row(i) for each frame's first and last row (0-based), rising, each
// row once: the rows whose stamps a run prints.
template <typename Row>
void for_each_frame_end_row(const FramePlan& plan, Row row) {
  int next_first = 1;  // the frames whose first and last rows are still to come
  int next_last = 1;
  auto first_of = [&](int k) { return static_cast<std::uint64_t>(plan.offset(k)); };
  auto last_of = [&](int k) { return first_of(k) + static_cast<std::uint64_t>(plan.frame_length) - 1; };
  while (next_last <= plan.frames) {
    const std::uint64_t a = next_first <= plan.frames ? first_of(next_first) : UINT64_MAX;
    const std::uint64_t b = last_of(next_last);
    const std::uint64_t i = std::min(a, b);
    if (a == i) ++next_first;
    if (b == i) ++next_last;
    row(i);
  }
}

// The stamp array of the rows whose stamps a run prints.
StampArray frame_end_stamps(const FramePlan& plan) {
  std::uint64_t count = 0;
  std::uint64_t last = 0;
  for_each_frame_end_row(plan, [&](std::uint64_t i) {
    ++count;
    last = i;
  });
  if (count == last + 1) return StampArray(static_cast<std::size_t>(count));
  std::vector<std::uint32_t> rows;
  rows.reserve(static_cast<std::size_t>(count));
  for_each_frame_end_row(plan, [&](std::uint64_t i) { rows.push_back(static_cast<std::uint32_t>(i)); });
  return StampArray::of_rows(std::move(rows));
}

// The analysis settings of a run, on the execution's threads.
Settings analysis_settings(const SharedSettings& shared, const RunSettings& run,
                           const Execution& execution) {
  Settings s = shared.analysis();
  s.bootstrap = execution.bootstrap;
  s.trend = execution.trend;
  s.threads = execution.threads;
  s.transform = run.transform;
  return s;
}

// Frames computed while the rows are read: once the rows of a frame are all
// final, the reading's threads compute it (everything but its judgement
// against the thresholds, which need every row), and the engine hands it on
// in its place after the thresholds. Frames are taken up in order while their
// outcomes fit in a budget, up to the last eighth of them; the rest are
// computed after the thresholds.
class EarlyFrames : public RowsDone {
 public:
  // `job`: the run's series as the reading fills them, with the plan of the
  // rows the header promised.
  EarlyFrames(const FrameJob& job, int threads, std::size_t budget_bytes) : job_(job) {
    const FramePlan& plan = job.plan;
    const std::uint64_t fit = budget_bytes / computed_frame_bytes(plan, job.var_lag);
    // The last eighth of the frames at least are left to be computed
    // after the thresholds, while the threads write those computed here.
    const int frames = std::max(plan.frames, 0);
    limit_ = static_cast<std::size_t>(
        std::min<std::uint64_t>(fit, static_cast<std::uint64_t>(frames - frames / 8)));
    if (limit_ == 0) return;
    outcomes_.reserve(limit_);
    for (int w = 0; w < threads; ++w) work_.emplace_back(plan);
  }

  std::size_t rows_final(std::size_t rows) override {
    // Frames 1..whole lie in the rows final.
    const auto whole = static_cast<std::size_t>(job_.plan.frames_within(
        static_cast<int>(std::min<std::size_t>(rows, static_cast<std::size_t>(job_.plan.rows)))));
    first_ = outcomes_.size();
    outcomes_.resize(std::max(first_, std::min(whole, limit_)));
    return outcomes_.size() - first_;
  }

  void work(std::size_t item, int worker) override {
    const std::size_t i = first_ + item;
    outcomes_[i] =
        compute_frame(job_, static_cast<int>(i) + 1, work_[static_cast<std::size_t>(worker)]);
  }

  // Frames 1, 2, ... computed, taken away.
  std::vector<FrameOutcome> take() { return std::move(outcomes_); }

 private:
  FrameJob job_;
  std::size_t limit_ = 0;        // frames taken up at most
  std::size_t first_ = 0;        // the first frame the last rows_final offered (0-based)
  std::vector<FrameWork> work_;  // one per thread
  std::vector<FrameOutcome> outcomes_;
};

// The rows of a run as it uses them: the x and y columns (n values each, x
// first) and the stamps of the frames' first and last rows.
struct RunRows {
  std::vector<float, LeftUnset<float>> xy;  // every value read is written
  StampArray stamps;
  int n = 0;
  std::vector<FrameOutcome> frames_computed;  // frames 1, 2, ... computed during the reading
  std::span<float> x() { return std::span<float>(xy).first(static_cast<std::size_t>(n)); }
  std::span<float> y() {
    return std::span<float>(xy).subspan(static_cast<std::size_t>(n), static_cast<std::size_t>(n));
  }
};

// Steps 11 and 12: the run's arrays, then the rows. A file that holds fewer
// rows than its header promised goes on with those: `range` and `plan` are
// cut down to them. Without the log transform (whose logs are taken after
// the reading) the first frames are computed while the rows are read, their
// lag sums by `kernel`. Messages go to `to` as datc's do.
RunRows read_rows(TextFile& data, const DataHeader& header, const RunSettings& run,
                  const Settings& settings, const RowBatching& batching, SumsKernel kernel,
                  Datums& range, FramePlan& plan, const RowMessages& to) {
  const ChannelGroup console_and_error_file{&to.console, &to.error_file};
  // The arrays hold the rows the file can hold, not those its header
  // promises: each row takes a line, and each line a byte at least. One row
  // more is read, so that a file shorter than its header says ends as such.
  const std::size_t bytes = data.bytes_left();
  const int capacity = bytes >= static_cast<std::size_t>(range.n)
                           ? range.n
                           : static_cast<int>(bytes) + 1;
  const FramePlan reading = capacity == range.n ? plan : detail::frame_plan(capacity, settings);
  RunRows rows;
  rows.n = capacity;
  const std::uint64_t xy_size = 2ull * static_cast<std::uint64_t>(capacity);
  const std::uint64_t frames = static_cast<std::uint64_t>(std::max(reading.frames, 0));
  const std::uint64_t engine_size =
      2ull * reading.frame_length + 9ull * frames + 2ull * reading.list_length();
  if (!affordable((xy_size + engine_size) * sizeof(float)) || !allocate(rows.xy, xy_size)) {
    stop_with(console_and_error_file, {"Unable to allocate work space for array a"});
  }
  if (header.format.stamped()) {
    const std::uint64_t count = 2ull * frames;
    bool ok = affordable(count * (StampArray::kWidth + sizeof(std::uint32_t)));
    if (ok) {
      try {
        rows.stamps = frame_end_stamps(reading);
      } catch (const std::bad_alloc&) {
        ok = false;
      }
    }
    if (!ok)
      stop_with(console_and_error_file,
                {"Unable to allocate work space for array t - ie ", range.end});
  }

  std::optional<EarlyFrames> early;
  if (settings.transform != Transform::log && reading.frames >= 1) {
    FrameJob job =
        FrameJob::of(std::span<const float>(rows.xy).first(static_cast<std::size_t>(capacity)),
                     std::span<const float>(rows.xy).subspan(static_cast<std::size_t>(capacity)),
                     reading, settings);
    job.kernel = kernel;
    // The outcomes held until the thresholds are known take at most a 32nd
    // of the columns' bytes (a quarter of a byte a row; at least 2 MiB):
    // the frames gain on the reading only what its threads would idle.
    early.emplace(job, settings.threads, static_cast<std::size_t>(
                           std::max<std::uint64_t>(xy_size * sizeof(float) / 32, 2u << 20)));
  }
  const int kept[] = {run.x_column, run.y_column};
  const int read = datc(rows.xy, rows.stamps, header.format, range.start,
                        range.start + capacity - 1, data, to, kept, batching,
                        early ? &*early : nullptr);
  if (early) rows.frames_computed = early->take();
  if (read < range.n) {
    rows.n = read;
    plan = plan_frames(read, settings, {&to.report, &to.console, &to.error_file});
    // Close up the y column to the rows actually read; the frames of the
    // rows read are among those planned, so their stamps are kept.
    std::copy_n(rows.xy.begin() + capacity, read, rows.xy.begin() + read);
    range.n = read;
    range.end = range.start + read - 1;
  }
  return rows;
}

// Steps 15 and 16: the analysis, written as it goes, into `outcome`'s counts
// and checks. A refused resample count ends the run after the statistics; a
// step that cannot go on stops the program after its messages.
void analyse_and_write(std::span<const float> x, std::span<const float> y,
                       const StampLookup& stamps, const Settings& settings,
                       const RunHeader& header, int run_index, Execution& execution,
                       std::span<FrameOutcome> frames_computed, RunOutcome& outcome,
                       Channels& out) {
  RunWriter writer(header, settings, program_run_channels(out), settings.threads);
  FramesTableWriter table(frames_table_name(out.report.path()),
                          header.clock.stamps == RowStamps::stamped, out);
  CautionWatch cautions(settings);
  std::optional<ResultsFileWriter> results;
  std::vector<AnalysisSink*> sinks{&writer, &table, &cautions};
  if (execution.results_file) sinks.push_back(&results.emplace(out.report.path(), settings, out));
  SinkList all(sinks);
  try {
    const FramePlan plan =
        detail::analyse(x, y, settings, stamps, execution.uniforms, all,
                        EngineOptions{.threads = settings.threads,
                                      .progress = terminal_progress(),
                                      .kernel = execution.kernel},
                        frames_computed);
    if (results) results->write(plan);
  } catch (const ResamplesRefused&) {
    write_refusal({&out.report, &out.console, &out.error_file}, settings.resamples, run_index);
    throw RunEnded{};
  } catch (const AnalysisStopped&) {
    throw Stop{};
  }
  outcome.counts = writer.counts();
  outcome.x_variance = cautions.tally().x_variance();
  outcome.y_variance = cautions.tally().y_variance();
  outcome.cautions = cautions.tally().cautions();
}

}  // namespace

Settings SharedSettings::analysis() const {
  Settings s;
  s.frame_length = frame_length;
  s.exponent = exponent;
  s.overlap = overlap;
  s.var_lag = var_lag;
  s.resamples = resamples;
  s.false_alarm = false_alarm;
  return s;
}

RunOutcome run_driver(const std::string& name, const SharedSettings& shared, int run_index,
                      Execution& execution, Channels& out) {
  const ControlChannels control{out.console, out.error_file};
  const ChannelGroup console_and_error_file{&out.console, &out.error_file};
  const RowMessages row_messages{out.report, out.console, out.error_file};
  // 1. The run control file.
  const RunSettings run = read_run_control(name, execution, control);
  // 2. The data file.
  TextFile data;
  open_data_file(run, data, control);
  // 3, 4. The report with its banner, the plot files.
  std::string report_name = open_outputs(name, run, execution, out);
  // 5, 6. The data file's header and the columns.
  const DataHeader header = read_header(data, run, execution, control);
  // 7. Stamps are read when the record format holds an "a" (or "A") descriptor.
  const RowStamps stamped = header.format.stamped() ? RowStamps::stamped : RowStamps::none;
  // 8. The range of rows.
  Datums range = read_datums(run.source, header.rows, execution, control);
  // 9, 10. Lags, VAR order, the frames.
  const JoinedText& top = execution.shared_source;
  check_lags(shared, top, console_and_error_file);
  const Settings settings = analysis_settings(shared, run, execution);
  FramePlan plan = plan_frames(range.n, settings, {&out.report, &out.console, &out.error_file});
  check_overlap(shared, top, console_and_error_file);
  // 11, 12. The rows.
  RowBatching batching = execution.row_batching;
  batching.threads = settings.threads;
  RunRows rows =
      read_rows(data, header, run, settings, batching, execution.kernel, range, plan, row_messages);
  const std::span<float> x = rows.x();
  const std::span<float> y = rows.y();
  if (run.transform == Transform::log) {
    take_logs_or_stop(x, y, range.start, run.x_column, run.y_column, console_and_error_file,
                      [&](int row) {
                        write_detail(console_and_error_file,
                                     data_row_line(data, header.format, row));
                      });
  }

  // 13. The run-parameter header.
  RunHeader rh;
  rh.title = header.title;
  rh.format = header.format.text();
  rh.clock = {run.sample_unit, header.rate_or_interval, run.time_unit, stamped};
  rh.transform = run.transform;
  rh.exponent = shared.exponent;
  rh.first = range.start;
  rh.last = range.end;
  rh.plan = plan;
  rh.var_lag = settings.var_lag;
  rh.cx = run.x_column;
  rh.cy = run.y_column;
  rh.graphing = run.graphing;
  rh.nothing_to_test = nothing_to_test(x, y, plan);
  frw(rh, out.report, out.frames);

  // 14-16. Descriptive statistics, thresholds, the frames.
  StampLookup stamps;
  if (stamped == RowStamps::stamped)
    stamps = [&rows](int row) { return rows.stamps[static_cast<std::size_t>(row - 1)]; };
  RunOutcome outcome;
  outcome.report = std::move(report_name);
  outcome.frames = plan.frames;
  outcome.settings = settings;
  analyse_and_write(x, y, stamps, settings, rh, run_index, execution, rows.frames_computed,
                    outcome, out);

  // 17. Release the arrays.
  rows = RunRows();

  // 18. Closing stamps.
  head(kVersionDate.first, kVersionDate.second, kVersionDate.year, execution.start_time,
       out.report, out.console);
  if (run.graphing == Graphing::on)
    head(kVersionDate.first, kVersionDate.second, kVersionDate.year, execution.start_time,
         out.graph, out.console);
  return outcome;
}

}  // namespace vok
