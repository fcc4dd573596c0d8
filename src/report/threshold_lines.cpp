#include "report/threshold_lines.h"

#include <cstdlib>
#include <string>
#include <string_view>

#include "output/layout.h"

namespace vok {

void write_refusal(const ChannelGroup& to, int B, int run_index) {
  // Written without a value: the line stops before F7.5, and so does the
  // closing empty line.
  static const Layout kError =
      Layout::parse(R"(/ 7X "ERROR - 1/resamples > test threshold " F7.5 /)");
  static const Layout kNumber = Layout::parse(R"(7X "Resample number = " I5)");
  static const Layout kIncrease =
      Layout::parse(R"(/ 7X "Increase number of resamples in Run = " I2 /)");
  to.write(kError);
  to.write(kNumber, {B});
  to.write(kIncrease, {run_index});
}

void write_bootstrap_block(Channel& ch, int B, const std::array<float, kTestCount>& t) {
  static const Layout kHeading = Layout::parse(R"(7X I5 " Bootstrapped false alarm thresholds" /)");
  static const Layout kCross =
      Layout::parse(R"(4X "Hxxy Threshold = " G9.4 3X "Hyyx Threshold = " G9.4 /)");
  static const Layout kAuto =
      Layout::parse(R"(4X "Hxxx Threshold = " G9.4 3X "Hyyy Threshold = " G9.4 /)");
  static const Layout kCorrelation = Layout::parse(
      R"(4X "Cx Threshold = " F6.4 2X "Cy Threshold = " F6.4 2X "Cxy Threshold = " F6.4 /)");
  const auto of = [&t](Test test) { return t[test_index(test)]; };
  ch.write(kHeading, {B});
  ch.write(kCross, {of(Test::hxxy), of(Test::hyyx)});
  ch.write(kAuto, {of(Test::hxxx), of(Test::hyyy)});
  ch.write(kCorrelation, {of(Test::cx), of(Test::cy), of(Test::cxy)});
}

void write_false_alarm_line(Channel& ch, float alpha) {
  static const Layout kLine = Layout::parse(R"(7X "False alarm threshold = " F6.4)");
  ch.write(kLine, {alpha});
}

namespace {

// The value the report shows after `label` (its first word), read as a reader
// of the report reads it: into a double, then into 32 bits. `fallback` when
// there is none.
float value_after(std::string_view text, std::string_view label, float fallback) {
  const std::size_t at = text.find(label);
  if (at == std::string_view::npos) return fallback;
  std::size_t begin = text.find_first_not_of(' ', at + label.size());
  if (begin == std::string_view::npos || text[begin] == '\n') return fallback;
  const std::size_t end = text.find_first_of(" \n", begin);
  const std::string word(text.substr(begin, end == std::string_view::npos ? end : end - begin));
  char* stop = nullptr;
  const double v = std::strtod(word.c_str(), &stop);
  if (stop != word.c_str() + word.size()) return fallback;
  return static_cast<float>(v);
}

}  // namespace

std::array<float, kTestCount> reported_thresholds(const std::array<float, kTestCount>& t,
                                                  bool bootstrapped) {
  // The report's own lines, written to memory.
  Channel report;
  report.capture();
  std::array<float, kTestCount> out = t;
  if (!bootstrapped) {
    write_false_alarm_line(report, t[0]);
    out.fill(value_after(report.text(), "False alarm threshold = ", t[0]));
    return out;
  }
  write_bootstrap_block(report, 1, t);
  static constexpr std::array<std::string_view, kTestCount> kLabels = {
      "Hxxy Threshold = ", "Hyyx Threshold = ", "Hxxx Threshold = ", "Hyyy Threshold = ",
      "Cx Threshold = ",   "Cy Threshold = ",   "Cxy Threshold = "};
  for (std::size_t i = 0; i < out.size(); ++i)
    out[i] = value_after(report.text(), kLabels[i], t[i]);
  return out;
}

}  // namespace vok
