#include "report/run_writer.h"

#include <algorithm>
#include <array>
#include <utility>

#include "exec/parallel.h"
#include "report/statistics_lines.h"
#include "report/summary_lines.h"
#include "report/threshold_lines.h"
#include "report/var_lines.h"
#include "report/messages.h"

namespace vok {

RunChannels program_run_channels(Channels& program) {
  return {program.report,  program.frames,     program.graph,         program.xy_graph,
          program.console, program.error_file, program.standard_error};
}

namespace {

// The frame's messages raised in `stage`, in order.
void write_raised(const RunChannels& out, std::span<const Message> messages, Stage stage) {
  for (const Message& m : messages)
    if (m.stage == stage)
      write_message(m, {out.report, out.console, out.error_file, out.standard_error});
}

// Frames formatted side by side before they are written.
constexpr std::size_t kFramesPerThread = 32;

}  // namespace

// Memory channels that take one frame's lines.
struct RunWriter::Formatted {
  Formatted() {
    for (Channel* c : {&report, &frames, &graph, &xy_graph, &console, &error_file, &standard_error})
      c->capture();
  }
  RunChannels run_channels() {
    return {report, frames, graph, xy_graph, console, error_file, standard_error};
  }
  // Appends the lines to `out`, channel by channel, and forgets them.
  void write_to(const RunChannels& out) {
    const std::pair<Channel*, Channel*> pairs[] = {
        {&report, &out.report},         {&frames, &out.frames},
        {&graph, &out.graph},           {&xy_graph, &out.xy_graph},
        {&console, &out.console},       {&error_file, &out.error_file},
        {&standard_error, &out.standard_error}};
    for (auto [from, to] : pairs) {
      if (from->text().empty()) continue;
      to->append(from->text());
      from->clear_text();
    }
  }
  Channel report, frames, graph, xy_graph, console, error_file, standard_error;
};

RunWriter::RunWriter(const RunHeader& header, const Settings& settings, const RunChannels& out,
                     int threads)
    : header_(header), settings_(settings), out_(out), threads_(std::max(threads, 1)) {}

RunWriter::~RunWriter() {
  // An analysis ended by an exception: what was handed on is written, as it
  // would have been frame by frame.
  try {
    write_pending();
  } catch (...) {
  }
}

void RunWriter::diagnostic(const Message& m) {
  write_pending();
  write_message(m, {out_.report, out_.console, out_.error_file, out_.standard_error});
}

void RunWriter::statistics(const DescriptiveStats& x, const DescriptiveStats& y) {
  write_pending();
  static const Layout kRule = Layout::parse(R"(60("="))");
  static const Layout kXHeading = Layout::parse(R"(10X "Descriptive Statistics of x Data")");
  static const Layout kYHeading = Layout::parse(R"(10X "Descriptive Statistics of y Data")");
  out_.report.write(kRule);
  out_.report.write(kXHeading);
  wrstat(out_.report, x);
  out_.report.write(kYHeading);
  wrstat(out_.report, y);
}

void RunWriter::thresholds(const PerTest<float>& t, bool bootstrapped) {
  write_pending();
  if (!bootstrapped) {
    write_false_alarm_line(out_.report, settings_.false_alarm);
    return;
  }
  std::array<float, kTestCount> values{};
  for (Test test : kTests) values[test_index(test)] = t[test];
  write_bootstrap_block(out_.report, settings_.resamples, values);
}

void RunWriter::frame(const Frame& f, std::span<const Message> diagnostics) {
  if (threads_ == 1) {
    write_frame(f, diagnostics, out_);
    return;
  }
  pending_.push_back({f, {diagnostics.begin(), diagnostics.end()}});
  if (pending_.size() >= kFramesPerThread * static_cast<std::size_t>(threads_)) write_pending();
}

void RunWriter::write_pending() {
  if (pending_.empty()) return;
  while (formatted_.size() < pending_.size()) formatted_.push_back(std::make_unique<Formatted>());
  // Each frame is written as soon as it and those before it are formatted,
  // while the other threads format the frames after it.
  detail::run_ordered(
      pending_.size(), threads_, pending_.size(),
      [&](std::size_t i, int) {
        write_frame(pending_[i].frame, pending_[i].diagnostics, formatted_[i]->run_channels());
      },
      [&](std::size_t i) { formatted_[i]->write_to(out_); });
  pending_.clear();
}

void RunWriter::write_frame(const Frame& f, std::span<const Message> diagnostics,
                            const RunChannels& out) const {
  static const Layout kRule = Layout::parse(R"(60("="))");
  static const Layout kXHeading = Layout::parse(R"(7X "Statistics of x Residuals - Frame " I6)");
  static const Layout kYHeading = Layout::parse(R"(7X "Statistics of y Residuals")");
  static const Layout kClipped = Layout::parse(R"(/ 10X "Data is Hard Clipped to +1/-1")");
  Channel& report = out.report;
  const int k = f.number;

  // The frame's lines ahead of its records: the VAR fit, the statistics of
  // its residuals, clipping, what the tests said.
  write_raised(out, diagnostics, Stage::var_fit);
  if (f.var_fit) disvar(*f.var_fit, 2, settings_.var_lag, report);
  if (f.x_residuals && f.y_residuals) {
    write_raised(out, diagnostics, Stage::x_residuals);
    report.write(kRule);
    report.write(kXHeading, {k});
    wrstat(report, *f.x_residuals);
    write_raised(out, diagnostics, Stage::y_residuals);
    report.write(kYHeading);
    wrstat(report, *f.y_residuals);
  }
  if (settings_.transform == Transform::clip) report.write(kClipped);
  write_raised(out, diagnostics, Stage::tests);
  if (f.degenerate)
    report.write_free({"Frame ", k, " has a constant or non-finite series; its tests are set to 0"});

  if (header_.graphing == Graphing::off) return;
  const bool stamped = header_.clock.stamps == RowStamps::stamped;
  const int s = f.first_row - 1;
  const int frame_length = header_.plan.frame_length;
  if (f.hits() >= 1) {
    const RowStampLookup stamps = [&f](int row) -> std::string_view {
      return row == f.first_row ? f.first_stamp : f.last_stamp;
    };
    winhead(header_.clock, stamps, frame_length, s, k, out.frames);
    shwx(f.cdf.hxxy, f.cdf.hyyx, f.cdf.cxy, f.cdf.hxxx, f.cdf.hyyy, out.frames);
  }
  const auto stamp = stamped ? std::optional<std::string_view>(f.first_stamp) : std::nullopt;
  graph_record(out.graph, k, f.cdf, stamp);
  xy_record(out.xy_graph, f.cross_correlations, stamp);
}

namespace {

// The counts block: every test, then the bicorrelation tests that counted.
void write_counts(const PerTest<int>& counts, int frames, Channel& report) {
  static const Layout kOpen = Layout::parse(R"(60("#") /)");
  static const Layout kClose = Layout::parse(R"(/ 60("#") /)");
  static const Layout kCount = Layout::parse(R"L(2X I5 2X "(" F5.1 "%)" A)L");
  static const Layout kRepeated = Layout::parse(R"L(7X I5 2X "(" F5.1 "%)" A)L");
  static const PerTest<const char*> kTexts{
      " significant xxy frames", " significant yyx frames", " significant xxx frames",
      " significant yyy frames", " significant xx frames",  " significant yy frames",
      " significant xy frames"};
  const auto percent = [frames](int count) { return percent_of(count, frames); };
  report.write(kOpen);
  for (Test t : kTests) report.write(kCount, {counts[t], percent(counts[t]), kTexts[t]});
  report.write(kClose);
  for (Test t : kBicorrelationTests) {
    if (counts[t] >= 1) report.write(kRepeated, {counts[t], percent(counts[t]), kTexts[t]});
  }
}

}  // namespace

void RunWriter::finish(const PerTest<int>& counts, const CorrelationSummary* summary) {
  write_pending();
  static const Layout kNoneSignificant = Layout::parse(R"(7X "No signficant cross stat frames")");
  static const Layout kSeparator = Layout::parse(R"(/ 60("=") /)");
  counts_ = counts;
  if (header_.graphing == Graphing::on) {
    graph_caption(out_.graph);
    xy_caption(out_.xy_graph, header_.plan.lags, header_.clock.stamps == RowStamps::stamped);
  }
  write_counts(counts, header_.plan.frames, out_.report);
  if (std::none_of(kBicorrelationTests.begin(), kBicorrelationTests.end(),
                   [&counts](Test t) { return counts[t] > 0; })) {
    out_.report.write(kNoneSignificant);
    return;
  }
  out_.report.write(kSeparator);
  if (summary) write_summary(*summary, out_.report, out_.console);
}

}  // namespace vok
