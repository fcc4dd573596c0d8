#include "frames/wind.h"

#include <algorithm>
#include <new>

#include "data/descriptive.h"
#include "frames/summary.h"
#include "exec/parallel.h"
#include "exec/progress.h"
#include "stats/var.h"

namespace vok {

PerFrameSeries::PerFrameSeries(int frames)
    : xxx(frames),
      yyy(frames),
      xxy(frames),
      yyx(frames),
      xx(frames),
      yy(frames),
      xy(frames),
      varx(frames),
      vary(frames) {}

FrameChannels program_frame_channels() {
  Channels& c = channels();
  return {c.report, c.frames, c.graph, c.xy_graph, c.console, c.error_file};
}

bool significant(float threshold, float cdf) {
  // The p-value in 32-bit arithmetic; a NaN fails the comparison.
  return threshold > 1.0f - cdf;
}

FrameVerdict judge(const FrameTests& t, const std::array<float, 7>& thresholds) {
  FrameVerdict v;
  const std::array<float, 7> cdf{t.hxxy, t.hyyx, t.hxxx, t.hyyy, t.cx, t.cy, t.cxy};
  for (int i = 0; i < 7; ++i) v.significant[i] = significant(thresholds[i], cdf[i]);
  for (int i = kHxxy; i <= kHyyy; ++i) v.hits += v.significant[i] ? 1 : 0;
  return v;
}

namespace {

// Descriptive statistics of the two residual series, on the frame's text.
void residual_statistics(std::span<const float> x, std::span<const float> y, int k, Channel& text) {
  static const Layout kRule = Layout::parse(R"(60("="))");
  static const Layout kXHeading = Layout::parse(R"(7X "Statistics of x Residuals - Frame " I6)");
  static const Layout kYHeading = Layout::parse(R"(7X "Statistics of y Residuals")");
  const DescriptiveStats sx = stat(x, text);
  text.write(kRule);
  text.write(kXHeading, {k});
  wrstat(text, sx);
  const DescriptiveStats sy = stat(y, text);
  text.write(kYHeading);
  wrstat(text, sy);
}

// Hard clipping to the signs: >= 0 gives +1, anything else (NaN included) -1.
void clip_to_signs(std::span<float> values) {
  for (float& v : values) v = v >= 0.0f ? 1.0f : -1.0f;
}

}  // namespace

FrameWork::FrameWork(const WindParams& prm) {
  const std::size_t len = static_cast<std::size_t>(prm.lw);
  const std::size_t m = static_cast<std::size_t>(prm.lg) * (2 * prm.lg + 1);
  frame.resize(2 * len);
  residuals.resize(2 * len);
  xxy.resize(m);
  yyx.resize(m);
  r_lags.resize(m);
  s_lags.resize(m);
}

FrameOutcome compute_frame(const WindParams& prm, std::span<const float> data, int n, int k,
                           FrameWork& work) {
  static const Layout kClipped = Layout::parse(R"(/ 10X "Data is Hard Clipped to +1/-1")");
  const int lw = prm.lw;
  const std::size_t s = static_cast<std::size_t>(frame_offset(k, lw, prm.overlap));
  const std::size_t rows = static_cast<std::size_t>(n);
  const std::size_t len = static_cast<std::size_t>(lw);

  FrameOutcome out;
  out.rxy.assign(2 * prm.lg + 1, 0.0f);
  Channel text, console, error_file;
  for (Channel* c : {&text, &console, &error_file}) c->capture();
  try {
    std::vector<float>& frame = work.frame;
    std::vector<float>& residuals = work.residuals;
    const float* x_column = data.data() + static_cast<std::size_t>(prm.cx - 1) * rows;
    const float* y_column = data.data() + static_cast<std::size_t>(prm.cy - 1) * rows;
    for (std::size_t i = 0; i < len; ++i) {
      frame[i] = x_column[s + i];
      frame[len + i] = y_column[s + i];
    }
    setvar(frame, residuals, 2, lw, prm.p, text, console, error_file);
    const std::span<float> x(residuals.data(), len);
    const std::span<float> y(residuals.data() + len, len);
    if (prm.p >= 1) residual_statistics(x, y, k, text);
    if (prm.clip.starts_with('c')) {
      text.write(kClipped);
      clip_to_signs(x);
      clip_to_signs(y);
    }
    out.tests = covxy(x, y, prm.lg, work.xxy, work.yyx, out.rxy, work.r_lags, work.s_lags, text,
                      work.tests);
    if (out.tests.degenerate) {
      text.write_free(
          {"Frame ", k, " has a constant or non-finite series; its tests are set to 0"});
    }
  } catch (const Stop& stop) {
    out.stop = stop;
  }
  out.report_text = text.text();
  out.console_text = console.text();
  out.error_text = error_file.text();
  return out;
}

namespace {

// The counts block: every test, then the bicorrelation tests that counted.
void write_counts(const std::array<int, 7>& counts, int frames, Channel& report) {
  static const Layout kOpen = Layout::parse(R"(60("#") /)");
  static const Layout kClose = Layout::parse(R"(/ 60("#") /)");
  static const Layout kCount = Layout::parse(R"L(2X I5 2X "(" F5.1 "%)" A)L");
  static const Layout kRepeated = Layout::parse(R"L(7X I5 2X "(" F5.1 "%)" A)L");
  static const char* const kTexts[7] = {" significant xxy frames", " significant yyx frames",
                                        " significant xxx frames", " significant yyy frames",
                                        " significant xx frames",  " significant yy frames",
                                        " significant xy frames"};
  const auto percent = [frames](int count) {
    return 100.0f * static_cast<float>(count) / static_cast<float>(frames);
  };
  report.write(kOpen);
  for (int i = 0; i < 7; ++i) report.write(kCount, {counts[i], percent(counts[i]), kTexts[i]});
  report.write(kClose);
  for (int i = kHxxy; i <= kHyyy; ++i) {
    if (counts[i] >= 1) report.write(kRepeated, {counts[i], percent(counts[i]), kTexts[i]});
  }
}

}  // namespace

WindResult wind(const WindParams& prm, std::span<const float> data, int n, int K,
                const StampLookup& stamps, PerFrameSeries& series, const FrameChannels& out) {
  static const Layout kNoneSignificant = Layout::parse(R"(7X "No signficant cross stat frames")");
  static const Layout kSeparator = Layout::parse(R"(/ 60("=") /)");

  const bool graphing = prm.graphing == 'y';
  const bool stamped = prm.stamp_flag == 'm';
  const FrameClock clock{prm.time_freq, prm.interval, prm.time_unit, prm.stamp_flag};
  const auto stamp_of = [&](int row) -> std::optional<std::string_view> {
    if (!stamped) return std::nullopt;
    return stamps ? stamps(row) : std::string_view{};
  };

  const int frames = std::max(prm.frames, 0);
  const int threads = std::clamp(thread_count(), 1, std::max(frames, 1));
  WindResult result;
  std::vector<FrameWork> work;  // one per thread
  try {
    series = PerFrameSeries(prm.frames);
    work.reserve(static_cast<std::size_t>(threads));
    for (int w = 0; w < threads; ++w) work.emplace_back(prm);
  } catch (const std::bad_alloc&) {
    out.console.write_free({"Unable to allocate work space for arrays in wind"});
    out.error_file.write_free({"Unable to allocate work space for arrays in wind"});
    throw Stop{};
  }
  (void)K;  // the columns cx and cy are all the engine reads

  // Frame k is written once the frames before it are; frames computed ahead
  // wait in ordered_map's window. A frame that stopped the program ends the
  // loop: its messages are written once the progress line is gone, and the
  // frames computed after it are dropped unwritten.
  struct FrameStopped {};
  std::optional<FrameOutcome> stopped;
  const auto write_frame = [&](int k, const FrameOutcome& frame) {
    out.report.append(frame.report_text);
    out.console.append(frame.console_text);
    out.error_file.append(frame.error_text);

    const FrameTests& t = frame.tests;
    const std::size_t i = static_cast<std::size_t>(k - 1);
    series.xxx[i] = t.hxxx;
    series.yyy[i] = t.hyyy;
    series.xxy[i] = t.hxxy;
    series.yyx[i] = t.hyyx;
    series.xx[i] = t.cx;
    series.yy[i] = t.cy;
    series.xy[i] = t.cxy;
    series.varx[i] = t.sx;
    series.vary[i] = t.sy;

    const FrameVerdict verdict = judge(t, prm.thresholds);
    for (int j = 0; j < 7; ++j) result.counts[j] += verdict.significant[j] ? 1 : 0;

    if (graphing) {
      const int s = frame_offset(k, prm.lw, prm.overlap);
      if (verdict.hits >= 1) {
        winhead(clock, stamps, prm.lw, s, k, out.frames);
        shwx(t.hxxy, t.hyyx, t.cxy, t.hxxx, t.hyyy, out.frames);
      }
      graph_record(out.graph, k, t, stamp_of(s + 1));
      xy_record(out.xy_graph, frame.rxy, stamp_of(s + 1));
    }
  };
  try {
    Progress progress("frames", static_cast<std::size_t>(frames));
    ordered_map<FrameOutcome>(
        static_cast<std::size_t>(frames),
        [&](std::size_t i, int worker) {
          FrameOutcome frame = compute_frame(prm, data, n, static_cast<int>(i) + 1, work[worker]);
          progress.advance();
          return frame;
        },
        [&](std::size_t i, FrameOutcome&& frame) {
          if (frame.stop) {
            stopped = std::move(frame);
            throw FrameStopped{};
          }
          write_frame(static_cast<int>(i) + 1, frame);
        },
        threads);
  } catch (const FrameStopped&) {
    out.report.append(stopped->report_text);
    out.console.append(stopped->console_text);
    out.error_file.append(stopped->error_text);
    throw *stopped->stop;
  }

  if (graphing) {
    graph_caption(out.graph);
    xy_caption(out.xy_graph, prm.lg, stamped);
  }

  write_counts(result.counts, prm.frames, out.report);
  const auto& c = result.counts;
  if (c[kHxxy] == 0 && c[kHyyx] == 0 && c[kHxxx] == 0 && c[kHyyy] == 0) {
    out.report.write(kNoneSignificant);
    return result;
  }
  out.report.write(kSeparator);
  if (prm.frames >= 8) correlation_summary(series, c[kHxxy], c[kHyyx], out.report, out.console);
  return result;
}

}  // namespace vok
