#include "control/run_driver.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <initializer_list>
#include <new>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "bootstrap/thresholds.h"
#include "control/control_files.h"
#include "control/run_layout.h"
#include "data/datc.h"
#include "data/descriptive.h"
#include "data/readhead.h"
#include "data/stamp_array.h"
#include "frames/reports.h"
#include "frames/wind.h"
#include "output/channel.h"
#include "output/failure.h"
#include "text/text_file.h"

namespace vok {

namespace {

Channel& console() {
  return channels().console;
}
Channel& error_file() {
  return channels().error_file;
}
Channel& report() {
  return channels().report;
}

[[noreturn]] void stop_with(const ChannelGroup& targets, std::initializer_list<Value> items) {
  targets.write_free(items);
  throw Stop{};
}

// Stops after a message about a setting of a control file, followed by the
// line the setting came from.
[[noreturn]] void stop_on_setting(const ChannelGroup& targets, std::initializer_list<Value> items,
                                  const JoinedText& source, std::string_view search) {
  targets.write_free(items);
  source.write_setting_detail(search);
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

void write_frame_count_error(int lw) {
  static const Layout kNoFrames = Layout::parse(R"(/ 7X "Error - No. of frames < 1" /)");
  static const Layout kDecrease = Layout::parse(R"(7X "Decrease the frame length = " I7 /)");
  const ChannelGroup to{&report(), &console(), &error_file()};
  to.write(kNoFrames);
  to.write(kDecrease, {lw});
}

// Requests above the machine's physical memory are refused up front: the
// system would grant them and then fail while they are filled.
bool affordable(std::uint64_t bytes) {
  long pages = sysconf(_SC_PHYS_PAGES);
  long page_size = sysconf(_SC_PAGE_SIZE);
  if (pages <= 0 || page_size <= 0) return true;
  return bytes <= static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(page_size);
}

template <typename T>
bool allocate(std::vector<T>& v, std::uint64_t count) {
  if (!affordable(count * sizeof(T))) return false;
  try {
    v.assign(static_cast<std::size_t>(count), T{});
  } catch (const std::bad_alloc&) {
    return false;
  } catch (const std::length_error&) {
    return false;
  }
  return true;
}

// Natural logarithms of the x and y columns; the first value <= 0 (rows in
// file order, x before y) stops the program, after its message and the
// detail line `where` writes for its row.
template <typename WhereIsRow>
void take_logs(std::span<float> x, std::span<float> y, int first_row, int cx, int cy,
               WhereIsRow where) {
  for (std::size_t i = 0; i < x.size(); ++i) {
    for (auto [values, column] : {std::pair{x, cx}, std::pair{y, cy}}) {
      float& v = values[i];
      if (v <= 0.0f) {
        const int row = first_row + static_cast<int>(i);
        ChannelGroup{&console(), &error_file()}.write_free(
             {"Log data needs positive values: ", "row ", row, " column ", column, " value ", v});
        where(row);
        throw Stop{};
      }
      v = std::log(v);
    }
  }
}

// A heading line and the statistics block of one column.
void write_statistics(const Layout& heading, std::span<const float> series) {
  const DescriptiveStats s = stat(series, error_file());
  report().write(heading);
  wrstat(report(), s);
}

}  // namespace

RunSummary run_driver(const std::string& name, const SharedSettings& shared, int run_index,
                      Execution& execution) {
  // 1. The run control file.
  const RunSettings run = read_run_control(name, execution);

  // 2. The data file.
  const std::string data_name(trimmed(run.data_file));
  if (!file_exists(data_name))
    stop_on_setting({&console(), &error_file()}, {"Data file ", run.data_file, " does not exist"},
                    run.source, "ile name");
  if (data_name.find('.') == std::string::npos)
    stop_on_setting({&console(), &error_file()}, {"Data file ", run.data_file, " has no extension"},
                    run.source, "ile name");
  TextFile data;
  if (int status = data.open(data_name); status != 0)
    stop_with({&console(), &error_file()}, {"**** Error on opening data file ", status});

  // 3. Output names, the report and its banner. The names stand where the
  // run control file stands, as its name is written in "Runvok.cnl".
  const std::optional<std::string> base = output_base(without_trailing_blanks(name));
  if (!base) {
    ChannelGroup{&console(), &error_file()}.write_free({"cnl file name has no extension ", name});
    if (execution.run_name_line.number > 0) write_detail(execution.run_name_line);
    throw RunEnded{};
  }
  const OutputNames files = output_names(*base, run.x_column, run.y_column);
  if (int status = report().open_file(files.report); status != 0) {
    ChannelGroup{&console(), &error_file()}.write_free(
        {"**** Error on opening output file ", status});
    throw RunEnded{};
  }
  static const Layout kBanner =
      Layout::parse(R"(7X "Moving Frame Cross Bicorrelations Tests by  Odran Velisko")");
  report().write(kBanner);

  // 4. Plot files.
  if (run.graphing == 'y') {
    Channels& all = channels();
    for (Channel* ch : {&all.graph, &all.frames, &all.xy_graph}) ch->close();
    struct PlotFile {
      Channel& channel;
      std::string path;
      const char* what;
    };
    for (const PlotFile& f :
         {PlotFile{all.graph, files.graph, "graph"}, PlotFile{all.frames, files.frames, "frames"},
          PlotFile{all.xy_graph, files.xy, "xy"}}) {
      if (int status = f.channel.open_file(f.path); status != 0)
        stop_with({&console(), &error_file()},
                  {std::string("**** Error on opening ") + f.what + " file ", status});
    }
  }

  // 5. The data file header.
  const DataHeader header =
      readhead(data, run.time_frequency_flag, execution.readers, error_file());
  const int ncol = header.columns;

  // 6. Column checks.
  if (run.x_column > ncol)
    stop_on_setting({&error_file(), &console()},
                    {"x-column number ", run.x_column, " < number of data columns ", ncol},
                    run.source, "n-x");
  if (run.y_column > ncol)
    stop_on_setting({&error_file(), &console()},
                    {"y-column number ", run.y_column, " < number of data columns ", ncol},
                    run.source, "n-y");
  if (run.x_column == run.y_column)
    stop_on_setting({&error_file(), &console()},
                    {"x-column number ", run.x_column, " = y-column number ", run.y_column},
                    run.source, "n-y");

  // 7. Stamps are read when the record format holds an "a" (or "A") descriptor.
  const char stamp_flag = header.format.find_first_of("aA") != std::string::npos ? 'm' : 'a';

  // 8. The range of rows.
  Datums range = read_datums(run.source, header.rows, execution);

  // 9. Lags and the VAR order.
  const int lw = shared.lw;
  const int p = shared.var_order;
  const int lg = lags_for(lw, shared.exponent);
  if (lg < 1) {
    const ChannelGroup to{&console(), &error_file()};
    to.write_free({"lg =", lg, " < 1"});
    to.write_free({"Increase lw or increase exponent"});
    throw Stop{};
  }
  const JoinedText& top = execution.shared_source;
  const std::string_view var_search = top.setting_line("VAR") != nullptr ? "R lag" : "r lag";
  if (p > lw / 2)
    stop_on_setting({&console(), &error_file()}, {"VAR parameter ", p, " > lw/2 ", lw / 2}, top,
                    var_search);
  if (p < 0)
    stop_on_setting({&console(), &error_file()}, {"VAR parameter ", p, " < 0"}, top, var_search);
  if (lw - 2 * p < 1)
    stop_on_setting({&console(), &error_file()},
                    {"VAR parameter ", p, " leaves no degrees of freedom in frames of ", lw}, top,
                    var_search);

  // 10. Frame layout.
  const int ov = shared.overlap;
  int frames = frame_count(range.n, lw, ov);
  if (frames < 1) {
    write_frame_count_error(lw);
    throw RunEnded{};
  }
  if (ov < 0)
    stop_on_setting({&console(), &error_file()}, {"Overlap parameter ", ov, " is incorrect"}, top,
                    "lap");

  // 11. The run's arrays: the data matrix (n rows by ncol columns, by
  // columns), then the stamps.
  const int M = bicorrelation_count(lg);
  std::vector<float> matrix;
  PerFrameSeries series;
  const std::uint64_t matrix_size =
      static_cast<std::uint64_t>(range.n) * static_cast<std::uint64_t>(std::max(ncol, 0));
  const std::uint64_t engine_size = 2ull * lw + 9ull * frames + 2ull * M;
  if (!affordable((matrix_size + engine_size) * sizeof(float)) || !allocate(matrix, matrix_size)) {
    stop_with({&console(), &error_file()}, {"Unable to allocate work space for array a"});
  }
  try {
    series = PerFrameSeries(frames);
  } catch (const std::bad_alloc&) {
    stop_with({&console(), &error_file()}, {"Unable to allocate work space for array a"});
  }
  StampArray stamps;
  {
    const std::uint64_t count = stamp_flag == 'm' ? static_cast<std::uint64_t>(range.n) + 1 : 1;
    bool ok = affordable(count * StampArray::kWidth);
    if (ok) {
      try {
        stamps.resize(static_cast<std::size_t>(count));
      } catch (const std::bad_alloc&) {
        ok = false;
      }
    }
    if (!ok)
      stop_with({&console(), &error_file()},
                {"Unable to allocate work space for array t - ie ", range.end});
  }

  // 12. The rows.
  const int rows_read =
      datc(matrix, stamps, header.format, stamp_flag, range.start, range.end, ncol, data, report());
  int n = range.n;
  if (rows_read < n) {
    // The file holds fewer rows than its header promised: go on with those.
    n = rows_read;
    range.end = range.start + n - 1;
    frames = frame_count(n, lw, ov);
    if (frames < 1) {
      write_frame_count_error(lw);
      throw RunEnded{};
    }
    series = PerFrameSeries(frames);
    // Close up the columns to the rows actually read.
    for (int c = 2; c <= ncol; ++c)
      std::copy_n(matrix.begin() + static_cast<std::ptrdiff_t>(c - 1) * range.n, n,
                  matrix.begin() + static_cast<std::ptrdiff_t>(c - 1) * n);
  }
  auto column = [&](int c) {
    return std::span<float>(matrix).subspan(static_cast<std::size_t>(c - 1) * n,
                                            static_cast<std::size_t>(n));
  };
  std::span<float> x = column(run.x_column);
  std::span<float> y = column(run.y_column);
  if (run.clip == "lg") {
    take_logs(x, y, range.start, run.x_column, run.y_column, [&](int row) {
      write_detail(data_row_line(data, header.format, stamp_flag, ncol, row));
    });
  }

  // 13. The run-parameter header.
  RunHeader rh;
  rh.title = header.title;
  rh.format = header.format;
  rh.time_unit = run.time_unit;
  rh.time_freq = run.time_frequency;
  rh.overlap = ov;
  rh.clip = run.clip;
  rh.interval = header.rate_or_interval;
  rh.exponent = shared.exponent;
  rh.first = range.start;
  rh.last = range.end;
  rh.lw = lw;
  rh.frames = frames;
  rh.p = p;
  rh.cx = run.x_column;
  rh.cy = run.y_column;
  rh.graphing = run.graphing;
  frw(rh, report(), channels().frames);

  // 14. Descriptive statistics over the rows that whole frames can cover.
  const auto covered = static_cast<std::size_t>(statistics_length(n, lw));
  static const Layout kRule = Layout::parse(R"(60("="))");
  static const Layout kXHeading = Layout::parse(R"(10X "Descriptive Statistics of x Data")");
  static const Layout kYHeading = Layout::parse(R"(10X "Descriptive Statistics of y Data")");
  report().write(kRule);
  write_statistics(kXHeading, x.first(covered));
  write_statistics(kYHeading, y.first(covered));

  // 15. Thresholds.
  const std::array<float, 7> thresholds = threshold_block(
      x, y, lw, lg, shared.resamples, shared.false_alarm, run_index, execution.uniforms, report());

  // 16. The moving-frame tests.
  WindParams wp;
  wp.cx = run.x_column;
  wp.cy = run.y_column;
  wp.lw = lw;
  wp.lg = lg;
  wp.frames = frames;
  wp.p = p;
  wp.overlap = ov;
  wp.stamp_flag = stamp_flag;
  wp.clip = run.clip;
  wp.graphing = run.graphing;
  wp.time_freq = run.time_frequency;
  wp.interval = header.rate_or_interval;
  wp.time_unit = run.time_unit;
  for (std::size_t i = 0; i < thresholds.size(); ++i) wp.thresholds[i] = thresholds[i];
  StampLookup lookup;
  if (stamp_flag == 'm')
    lookup = [&stamps](int row) { return stamps[static_cast<std::size_t>(row - 1)]; };
  const WindResult tests =
      wind(wp, std::span<const float>(matrix.data(), static_cast<std::size_t>(n) * ncol), n, ncol,
           lookup, series);

  // 17. Release the arrays.
  matrix = {};
  series = PerFrameSeries();
  stamps = StampArray();

  // 18. Closing stamps.
  head(9, 9, 2009, execution.start_time, report(), console());
  if (run.graphing == 'y') head(9, 9, 2009, execution.start_time, channels().graph, console());
  return {files.report, frames, tests.counts};
}

}  // namespace vok
