#include "control/run_writer.h"

#include <array>

#include "bootstrap/thresholds.h"
#include "data/descriptive.h"
#include "frames/summary.h"
#include "report/messages.h"
#include "stats/var.h"

namespace vok {

RunChannels program_run_channels() {
  Channels& c = channels();
  return {c.report, c.frames,     c.graph,         c.xy_graph,
          c.console, c.error_file, c.standard_error};
}

void RunWriter::diagnostic(const Message& m) {
  write_message(m, {out_.report, out_.console, out_.error_file, out_.standard_error});
}

void RunWriter::raised(std::span<const Message> messages, Stage stage) const {
  for (const Message& m : messages)
    if (m.stage == stage)
      write_message(m, {out_.report, out_.console, out_.error_file, out_.standard_error});
}

void RunWriter::statistics(const DescriptiveStats& x, const DescriptiveStats& y) {
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
  if (!bootstrapped) {
    write_false_alarm_line(out_.report, settings_.false_alarm);
    return;
  }
  std::array<float, kTestCount> values{};
  for (Test test : kTests) values[test_index(test)] = t[test];
  write_bootstrap_block(out_.report, settings_.resamples, values);
}

void RunWriter::frame(const Frame& f, std::span<const Message> diagnostics) {
  static const Layout kRule = Layout::parse(R"(60("="))");
  static const Layout kXHeading = Layout::parse(R"(7X "Statistics of x Residuals - Frame " I6)");
  static const Layout kYHeading = Layout::parse(R"(7X "Statistics of y Residuals")");
  static const Layout kClipped = Layout::parse(R"(/ 10X "Data is Hard Clipped to +1/-1")");
  Channel& report = out_.report;
  const int k = f.number;

  // The frame's lines ahead of its records: the VAR fit, the statistics of
  // its residuals, clipping, what the tests said.
  raised(diagnostics, Stage::var_fit);
  if (f.var_fit) disvar(*f.var_fit, 2, settings_.var_lag, report);
  if (f.x_residuals && f.y_residuals) {
    raised(diagnostics, Stage::x_residuals);
    report.write(kRule);
    report.write(kXHeading, {k});
    wrstat(report, *f.x_residuals);
    raised(diagnostics, Stage::y_residuals);
    report.write(kYHeading);
    wrstat(report, *f.y_residuals);
  }
  if (settings_.transform == Transform::clip) report.write(kClipped);
  raised(diagnostics, Stage::tests);
  if (f.degenerate)
    report.write_free({"Frame ", k, " has a constant or non-finite series; its tests are set to 0"});

  if (header_.graphing == Graphing::off) return;
  const bool stamped = header_.clock.stamps == RowStamps::stamped;
  const int s = f.first_row - 1;
  const int lw = header_.plan.frame_length;
  if (f.hits() >= 1) {
    const StampLookup stamps = [&f](int row) -> std::string_view {
      return row == f.first_row ? f.first_stamp : f.last_stamp;
    };
    winhead(header_.clock, stamps, lw, s, k, out_.frames);
    shwx(f.cdf.hxxy, f.cdf.hyyx, f.cdf.cxy, f.cdf.hxxx, f.cdf.hyyy, out_.frames);
  }
  const auto stamp = stamped ? std::optional<std::string_view>(f.first_stamp) : std::nullopt;
  graph_record(out_.graph, k, f.cdf, stamp);
  xy_record(out_.xy_graph, f.cross_correlations, stamp);
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
  const auto percent = [frames](int count) {
    return 100.0f * static_cast<float>(count) / static_cast<float>(frames);
  };
  report.write(kOpen);
  for (Test t : kTests) report.write(kCount, {counts[t], percent(counts[t]), kTexts[t]});
  report.write(kClose);
  for (Test t : {Test::hxxy, Test::hyyx, Test::hxxx, Test::hyyy}) {
    if (counts[t] >= 1) report.write(kRepeated, {counts[t], percent(counts[t]), kTexts[t]});
  }
}

}  // namespace

void RunWriter::finish(const PerTest<int>& counts, const CorrelationSummary* summary) {
  static const Layout kNoneSignificant = Layout::parse(R"(7X "No signficant cross stat frames")");
  static const Layout kSeparator = Layout::parse(R"(/ 60("=") /)");
  counts_ = counts;
  if (header_.graphing == Graphing::on) {
    graph_caption(out_.graph);
    xy_caption(out_.xy_graph, header_.plan.lags, header_.clock.stamps == RowStamps::stamped);
  }
  write_counts(counts, header_.plan.frames, out_.report);
  if (counts.hxxy == 0 && counts.hyyx == 0 && counts.hxxx == 0 && counts.hyyy == 0) {
    out_.report.write(kNoneSignificant);
    return;
  }
  out_.report.write(kSeparator);
  if (summary) write_summary(*summary, out_.report, out_.console);
}

}  // namespace vok
