#include "frames/summary.h"

#include <array>
#include <string>
#include <vector>

#include "stats/moments.h"
#include "stats/sort.h"

namespace vok {
namespace {

using Series = std::vector<float>;

struct Correlation {
  float r = 0.0f;
  CorFlags flags;
};

// Correlations over one set of frames: all F frames, or the m frames placed
// first in the position list.
class FrameSet {
 public:
  FrameSet(int frames, Channel& diag) : frames_(frames), positions_(frames), diag_(diag) {}

  void use_all() { count_ = frames_; }
  // The m frames with the largest values of `by`: the last m places of its
  // ascending ranking.
  void use_largest(const Series& by, int m) {
    std::vector<int> ranking(frames_);
    indexx(by, ranking);
    for (int i = 0; i < m; ++i) positions_[i] = ranking[frames_ - m + i];
    count_ = m;
  }
  int count() const { return count_; }

  Correlation operator()(const Series& u, const Series& v) {
    Correlation c;
    c.flags = cor(frames_, count_, u, v, positions_, c.r, diag_);
    return c;
  }

 private:
  int frames_;
  int count_ = 0;
  std::vector<int> positions_;
  Channel& diag_;
};

bool all_vary(const Correlation& a, const Correlation& b) {
  return a.flags.x == 'y' && a.flags.y == 'y' && b.flags.y == 'y';
}

// One line of a block: the lead statistic correlated with two others.
struct PairLine {
  Series PerFrameSeries::*first;
  const char* first_name;
  Series PerFrameSeries::*second;
  const char* second_name;
  Layout layout;
};

// The three lines of a lead statistic.
struct LeadLines {
  Series PerFrameSeries::*lead;
  const char* lead_name;
  std::array<PairLine, 3> lines;
};

const LeadLines& xxy_lines() {
  using S = PerFrameSeries;
  static const LeadLines lines{
      &S::xxy,
      "xxy",
      {PairLine{&S::yyx, "yyx", &S::xxx, "xxx",
                Layout::parse(R"(5X "(xxy,yyx) = " F5.2 7X "(xxy,xxx) = " F5.2)")},
       PairLine{&S::xy, "xy", &S::yyy, "yyy",
                Layout::parse(R"(5X "(xxy, xy) = " F5.2 7X "(xxy,yyy) = " F5.2)")},
       PairLine{&S::xx, "xx", &S::yy, "yy",
                Layout::parse(R"(5X "(xxy, xx) = " F5.2 7X "(xxy, yy) = " F5.2)")}}};
  return lines;
}

const LeadLines& yyx_lines() {
  using S = PerFrameSeries;
  static const LeadLines lines{
      &S::yyx,
      "yyx",
      {PairLine{&S::xy, "xy", &S::xxx, "xxx",
                Layout::parse(R"(5X "(yyx, xy) = " F5.2 7X "(yyx,xxx) = " F5.2)")},
       PairLine{&S::yyy, "yyy", &S::yy, "yy",
                Layout::parse(R"(5X "(yyx,yyy) = " F5.2 7X "(yyx, yy) = " F5.2)")},
       PairLine{&S::xx, "xx", &S::yy, "yy",
                Layout::parse(R"(5X "(yyx, xx) = " F5.2 7X "(yyx, yy) = " F5.2)")}}};
  return lines;
}

// The lead's lines over the set's frames, each written when its three series
// vary. Otherwise `constant(name, is_lead)` names the constant series; a
// constant lead is named on the first line only, and the later lines stay
// silent, as the first already said so.
template <typename SayConstant>
void write_lead_lines(const PerFrameSeries& s, FrameSet& set, const LeadLines& l, Channel& report,
                      SayConstant constant) {
  bool first_line = true;
  for (const PairLine& line : l.lines) {
    // Both correlations are formed before either is judged: their messages
    // come in this order.
    const Correlation a = set(s.*l.lead, s.*line.first);
    const Correlation b = set(s.*l.lead, s.*line.second);
    if (all_vary(a, b)) {
      report.write(line.layout, {a.r, b.r});
    } else if (a.flags.x == 'n') {
      if (first_line) constant(l.lead_name, true);
    } else if (a.flags.y == 'n') {
      constant(line.first_name, false);
    } else if (b.flags.y == 'n') {
      constant(line.second_name, false);
    }
    first_line = false;
  }
}

// xxy, yyx and xy against one spread series (VarX or VarY): written when
// the spread varies over the frames of the last correlation (only its flag
// decides), otherwise `constant()` says so.
template <typename SayConstant>
void spread_lines(const PerFrameSeries& s, FrameSet& set, const Series& spread, const Layout& pair,
                  const Layout& last, Channel& report, SayConstant constant) {
  const Correlation a = set(s.xxy, spread);
  const Correlation b = set(s.yyx, spread);
  const Correlation c = set(s.xy, spread);
  if (c.flags.y == 'y') {
    report.write(pair, {a.r, b.r});
    report.write(last, {c.r});
  } else {
    constant();
  }
}

void all_frames_block(const PerFrameSeries& s, FrameSet& set, Channel& report, Channel& console) {
  static const Layout kHeading =
      Layout::parse(R"(/ 2X "Correlations of the CDF probabilites for all windws")");
  static const Layout kRule = Layout::parse(R"(10X 42("=") /)");
  static const Layout kGroup4a = Layout::parse(R"(5X "(yyx,yyy) = " F5.2 7X "(yyx, yy) = " F5.2)");
  static const Layout kGroup4b = Layout::parse(R"(5X "(xy , xx) = " F5.2 7X "(xy , yy) = " F5.2)");
  static const Layout kGroup4c =
      Layout::parse(R"(5X "(xxx,yyy) = " F5.2 7X "(xx , yy) = " F5.2 /)");
  static const Layout kVarXPair =
      Layout::parse(R"(5X "(xxy,VarX) = " F5.2 6X "(yyx,VarX) = " F5.2)");
  static const Layout kVarXLast = Layout::parse(R"(5X "(xy, VarX) = " F5.2)");
  static const Layout kVarYPair =
      Layout::parse(R"(5X "(xxy,VarY) = " F5.2 6X "(yyx,VarY) = " F5.2)");
  static const Layout kVarYLast = Layout::parse(R"(5X "(xy, VarY) = " F5.2 /)");
  static const Layout kVarYConstant = Layout::parse(R"(7X "Var(VarY) = 0 for all frames" /)");

  set.use_all();
  report.write(kHeading);
  report.write(kRule);
  write_lead_lines(s, set, xxy_lines(), report, [&](const char* name, bool) {
    report.write_free({std::string("Var(") + name + ") = 0 for all frames"});
  });

  // Printed as they come: a constant series shows 0.00.
  const float yyx_yyy = set(s.yyx, s.yyy).r;
  const float yyx_yy = set(s.yyx, s.yy).r;
  const float xy_xx = set(s.xy, s.xx).r;
  const float xy_yy = set(s.xy, s.yy).r;
  const float xxx_yyy = set(s.xxx, s.yyy).r;
  const float xx_yy = set(s.xx, s.yy).r;
  report.write(kGroup4a, {yyx_yyy, yyx_yy});
  report.write(kGroup4b, {xy_xx, xy_yy});
  report.write(kGroup4c, {xxx_yyy, xx_yy});

  spread_lines(s, set, s.varx, kVarXPair, kVarXLast, report,
               [&] { report.write_free({"Var(VarX) = 0 for all frames"}); });
  spread_lines(s, set, s.vary, kVarYPair, kVarYLast, report, [&] {
    ChannelGroup{&report, &console}.write(kVarYConstant);
  });
}

// Groups 4 and 5 of both "largest" blocks: xxy, yyx and xy against VarX,
// then against VarY, over the block's frames.
void spread_groups(const PerFrameSeries& s, FrameSet& set, Channel& report) {
  static const Layout kVarXPair =
      Layout::parse(R"(/ 5X "(xxy,VarX) = " F5.2 6X "(yyx,VarX) = " F5.2)");
  static const Layout kVarXLast = Layout::parse(R"(5X "(xy, VarX) = " F5.2)");
  static const Layout kVarXConstant = Layout::parse(R"("Var(VarX) = 0 for " I5 " frames" /)");
  static const Layout kVarYPair =
      Layout::parse(R"(5X "(xxy,VarY) = " F5.2 6X "(yyx,VarY) = " F5.2)");
  static const Layout kVarYLast = Layout::parse(R"(5X "(xy, VarY) = " F5.2)");
  static const Layout kVarYConstant = Layout::parse(R"("Var(VarY) = 0 for " I5 " frames" /)");

  spread_lines(s, set, s.varx, kVarXPair, kVarXLast, report,
               [&] { report.write(kVarXConstant, {set.count()}); });
  spread_lines(s, set, s.vary, kVarYPair, kVarYLast, report,
               [&] { report.write(kVarYConstant, {set.count()}); });
}

// Constant-series message of the "largest" blocks, with the block's count.
void constant_in_block(Channel& report, const char* name, int count) {
  static const Layout kConstant = Layout::parse(R"("Var(" A ") = 0 for " I5 " frames" /)");
  report.write(kConstant, {name, count});
}

// The block of the m frames with the largest values of the lead statistic.
// `lead_constant`, when given, is the block's own message for a constant lead.
void largest_block(const PerFrameSeries& s, FrameSet& set, const LeadLines& lines,
                   const Layout& heading, const Layout* lead_constant, int m, Channel& report) {
  static const Layout kRule = Layout::parse(R"(10X 42("=") /)");
  set.use_largest(s.*lines.lead, m);
  report.write(heading, {m});
  report.write(kRule);
  write_lead_lines(s, set, lines, report, [&](const char* name, bool is_lead) {
    if (is_lead && lead_constant != nullptr)
      report.write(*lead_constant, {m});
    else
      constant_in_block(report, name, m);
  });
  spread_groups(s, set, report);
}

void largest_xxy_block(const PerFrameSeries& s, FrameSet& set, int nxxy, Channel& report) {
  static const Layout kHeading =
      Layout::parse(R"(/ 9X "Correlations for " I3 " largest xxy Statistics")");
  // The only indented message of the block.
  static const Layout kXxyConstant = Layout::parse(R"(7X "Var(xxy) = 0 for " I5 " frames" /)");
  largest_block(s, set, xxy_lines(), kHeading, &kXxyConstant, nxxy, report);
}

void largest_yyx_block(const PerFrameSeries& s, FrameSet& set, int nyyx, Channel& report) {
  static const Layout kHeading =
      Layout::parse(R"(/ 10X "Correlations for " I3 " largest yyx Statistics")");
  largest_block(s, set, yyx_lines(), kHeading, nullptr, nyyx, report);
}

}  // namespace

void correlation_summary(const PerFrameSeries& series, int nxxy, int nyyx, Channel& report,
                         Channel& console) {
  static const Layout kClosing = Layout::parse(R"(7X 37("-"))");
  FrameSet set(series.size(), report);
  all_frames_block(series, set, report, console);
  if (nxxy >= 9) largest_xxy_block(series, set, nxxy, report);
  if (nyyx >= 9) largest_yyx_block(series, set, nyyx, report);
  report.write(kClosing);
}

}  // namespace vok
