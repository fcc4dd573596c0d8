#include "report/frame_lines.h"

#include <vector>

namespace vok {
namespace {

// A text as a fixed-length field holds it: cut to `width`, or padded with
// blanks on the right.
std::string fixed_text(std::string_view text, std::size_t width) {
  std::string out(text.substr(0, width));
  out.resize(width, ' ');
  return out;
}

}  // namespace

void frw(const RunHeader& h, Channel& report, Channel& frames) {
  static const Layout kTitle = Layout::parse(R"(A80 /)");
  static const Layout kColumns =
      Layout::parse(R"(7X "x-Data Column = " I3 5X "y-Data Column = " I3)");
  static const Layout kVarFit =
      Layout::parse(R"(/ 2X "Statistics are computed from the residuals from a VAR(" I2 ") fit")");
  static const Layout kVarColumns = Layout::parse(R"(2X " to the selected two columns")");
  static const Layout kOverlapped =
      Layout::parse(R"(/ 7X "Windows are overlapped by " I4 " observations")");
  static const Layout kNotOverlapped = Layout::parse(R"(/ 7X "Windows are not overlapped")");
  static const Layout kWindow = Layout::parse(R"(/ " Window Length" I5 2X "No. of frames =" I8)");
  static const Layout kClipped = Layout::parse(R"(/ 10X "Data is Hard Clipped to +1/-1")");
  static const Layout kLogged = Layout::parse(R"(/ 10X "Data is Log Transformed")");
  static const Layout kData =
      Layout::parse(R"(/ " First datum read in file" I8 4X "Last datum read" I8)");
  static const Layout kSample = Layout::parse(R"(/ " Sample size = " I8 /)");
  static const Layout kInterval = Layout::parse(R"(" Sampling interval = " F12.6 2X A7 /)");
  static const Layout kRate = Layout::parse(R"(" Sampling rate = " F10.4 " KHz" /)");
  static const Layout kLags =
      Layout::parse(R"(7X "No. of lags =" I6 4X "No cross bicorrelations used = " I9)");
  static const Layout kExponent = Layout::parse(R"(/ 17X "Exponent = " F5.2)");
  static const Layout kFormat = Layout::parse(R"(/ 12X "Data format: " A50)");

  const std::string title = fixed_text(h.title, 80);
  const FramePlan& plan = h.plan;
  report.write(kTitle, {title});
  report.write(kColumns, {h.cx, h.cy});
  if (h.graphing == Graphing::on) {
    frames.write(kTitle, {title});
    frames.write(kColumns, {h.cx, h.cy});
  }
  if (h.var_lag >= 1) {
    report.write(kVarFit, {h.var_lag});
    report.write(kVarColumns);
  }
  if (plan.overlap >= 1) {
    report.write(kOverlapped, {plan.overlap});
  } else {
    report.write(kNotOverlapped);
  }
  report.write(kWindow, {plan.frame_length, plan.frames});
  if (h.nothing_to_test)
    report.write_free({"Every frame has a constant or non-finite series: nothing to test"});
  if (h.transform == Transform::clip) {
    report.write(kClipped);
  } else if (h.transform == Transform::log) {
    report.write(kLogged);
  }
  report.write(kData, {h.first, h.last});
  // The sample size is what whole frames can cover, not the rows read.
  report.write(kSample, {plan.covered()});
  if (h.clock.unit == SampleUnit::time) {
    report.write(kInterval, {h.clock.interval, fixed_text(h.clock.time_unit, 7)});
  } else {
    report.write(kRate, {h.clock.interval});
  }
  report.write(kLags, {plan.lags, plan.list_length()});
  report.write(kExponent, {h.exponent});
  report.write(kFormat, {fixed_text(h.format, 50)});
}

void winhead(const FrameClock& clock, const RowStampLookup& stamps, int frame_length, int s, int k,
             Channel& frames) {
  static const Layout kStars = Layout::parse(R"(70("*"))");
  static const Layout kRule = Layout::parse(R"(70("="))");
  static const Layout kStamped =
      Layout::parse(R"(" Frame " I4 2X "Start = " A20 2X " End = " A20)");
  static const Layout kTime =
      Layout::parse(R"(" Frame " I4 2X "Start =" F11.4 1X A7 2X " End  =" F11.4 1X A7)");
  static const Layout kFrequency =
      Layout::parse(R"(" Frame " I4 2X "Start =" G14.4 1X " sec" 2X "End =" G14.4 1X "sec")");

  frames.write(kStars);
  if (clock.stamps == RowStamps::stamped) {
    const auto stamp = [&](int row) {
      return fixed_text(stamps ? stamps(row) : std::string_view{}, 20);
    };
    frames.write(kStamped, {k, stamp(s + 1), stamp(s + frame_length)});
  } else if (clock.unit == SampleUnit::time) {
    // Offsets shown in the unit they are labelled with: 32-bit products.
    const float start = static_cast<float>(s) * clock.interval;
    const float end = static_cast<float>(s + frame_length) * clock.interval;
    const std::string unit = fixed_text(clock.time_unit, 7);
    frames.write(kTime, {k, start, unit, end, unit});
  } else {
    // The rate is in kHz: offset * 0.001 / rate seconds, in 32-bit reals.
    const float start = static_cast<float>(s) * 0.001f / clock.interval;
    const float end = static_cast<float>(s + frame_length) * 0.001f / clock.interval;
    frames.write(kFrequency, {k, start, end});
  }
  frames.write(kRule);
}

void shwx(float p_xxy, float p_yyx, float p_xy, float p_xxx, float p_yyy, Channel& frames) {
  static const Layout kFirst =
      Layout::parse(R"(4X "p-values for tests: xxy = " F10.7 4X "yyx = " F10.7 4X "xy = " F10.7)");
  static const Layout kSecond = Layout::parse(R"(24X "xxx = " F10.7 4X "yyy = " F10.7 /)");
  // 1 - P in double precision, rounded to 32 bits.
  const auto p_value = [](float cdf) { return static_cast<float>(1.0 - static_cast<double>(cdf)); };
  frames.write(kFirst, {p_value(p_xxy), p_value(p_yyx), p_value(p_xy)});
  frames.write(kSecond, {p_value(p_xxx), p_value(p_yyy)});
}

void graph_record(Channel& graph, int k, const PerTest<float>& cdf,
                  std::optional<std::string_view> stamp) {
  static const Layout kPlain = Layout::parse(R"(SP I6 7(1X F7.4))");
  static const Layout kStamped = Layout::parse(R"(SP I6 7(1X F7.4) 1X A20)");
  const std::string stamp_text = stamp ? fixed_text(*stamp, 20) : std::string();
  std::vector<Value> values;
  values.reserve(1 + kGraphOrder.size() + 1);
  values.emplace_back(k);
  for (Test t : kGraphOrder) values.emplace_back(cdf[t]);
  if (stamp) values.emplace_back(stamp_text);
  graph.write(stamp ? kStamped : kPlain, values);
}

void graph_caption(Channel& graph) {
  static const Layout kCaption =
      Layout::parse(R"(/ "Wind" 6X "xxy" 4X "yyx" 5X "xxx" 5X "yyy" 6X "xy" 6X "xx" 6X "yy")");
  graph.write(kCaption);
}

void xy_record(Channel& xy, std::span<const float> rxy, std::optional<std::string_view> stamp) {
  static const Layout kPlain = Layout::parse(R"(700(: F6.3 2X))");
  static const Layout kStamped = Layout::parse(R"(A20 1X 700(: F6.3 2X))");
  std::vector<Value> values;
  values.reserve(rxy.size() + 1);
  const std::string stamp_text = stamp ? fixed_text(*stamp, 20) : std::string();
  if (stamp) values.emplace_back(stamp_text);
  for (float r : rxy) values.emplace_back(r);
  xy.write(stamp ? kStamped : kPlain, values);
}

void xy_caption(Channel& xy, int lg, bool stamped) {
  static const Layout kPlain = Layout::parse(R"L(700(: "xy(" I3 ")" 1X))L");
  static const Layout kStamped = Layout::parse(R"L(21X 700(: "xy(" I3 ")" 1X))L");
  std::vector<Value> lags;
  lags.reserve(2 * lg + 1);
  for (int lag = -lg; lag <= lg; ++lag) lags.emplace_back(lag);
  xy.write(stamped ? kStamped : kPlain, lags);
}

}  // namespace vok
