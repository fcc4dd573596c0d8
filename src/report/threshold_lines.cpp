#include "report/threshold_lines.h"

#include <string>

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

}  // namespace vok
