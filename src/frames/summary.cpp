#include "frames/summary.h"

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

void all_frames_block(const PerFrameSeries& s, FrameSet& set, Channel& report, Channel& console) {
  static const Layout kHeading =
      Layout::parse(R"(/ 2X "Correlations of the CDF probabilites for all windws")");
  static const Layout kRule = Layout::parse(R"(10X 42("=") /)");
  static const Layout kGroup1 = Layout::parse(R"(5X "(xxy,yyx) = " F5.2 7X "(xxy,xxx) = " F5.2)");
  static const Layout kGroup2 = Layout::parse(R"(5X "(xxy, xy) = " F5.2 7X "(xxy,yyy) = " F5.2)");
  static const Layout kGroup3 = Layout::parse(R"(5X "(xxy, xx) = " F5.2 7X "(xxy, yy) = " F5.2)");
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

  Correlation a = set(s.xxy, s.yyx);
  Correlation b = set(s.xxy, s.xxx);
  if (all_vary(a, b)) {
    report.write(kGroup1, {a.r, b.r});
  } else if (a.flags.x == 'n') {
    report.write_free({"Var(xxy) = 0 for all frames"});
  } else if (a.flags.y == 'n') {
    report.write_free({"Var(yyx) = 0 for all frames"});
  } else {
    report.write_free({"Var(xxx) = 0 for all frames"});
  }

  // Groups 2 and 3 stay silent when only xxy is constant: group 1 said so.
  a = set(s.xxy, s.xy);
  b = set(s.xxy, s.yyy);
  if (all_vary(a, b)) {
    report.write(kGroup2, {a.r, b.r});
  } else if (a.flags.y == 'n') {
    report.write_free({"Var(xy) = 0 for all frames"});
  } else if (b.flags.y == 'n') {
    report.write_free({"Var(yyy) = 0 for all frames"});
  }

  a = set(s.xxy, s.xx);
  b = set(s.xxy, s.yy);
  if (all_vary(a, b)) {
    report.write(kGroup3, {a.r, b.r});
  } else if (a.flags.y == 'n') {
    report.write_free({"Var(xx) = 0 for all frames"});
  } else if (b.flags.y == 'n') {
    report.write_free({"Var(yy) = 0 for all frames"});
  }

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

  // Only the VarX (VarY) flag of the last of the three calls decides.
  a = set(s.xxy, s.varx);
  b = set(s.yyx, s.varx);
  Correlation c = set(s.xy, s.varx);
  if (c.flags.y == 'y') {
    report.write(kVarXPair, {a.r, b.r});
    report.write(kVarXLast, {c.r});
  } else {
    report.write_free({"Var(VarX) = 0 for all frames"});
  }

  a = set(s.xxy, s.vary);
  b = set(s.yyx, s.vary);
  c = set(s.xy, s.vary);
  if (c.flags.y == 'y') {
    report.write(kVarYPair, {a.r, b.r});
    report.write(kVarYLast, {c.r});
  } else {
    report.write(kVarYConstant);
    console.write(kVarYConstant);
  }
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

  Correlation a = set(s.xxy, s.varx);
  Correlation b = set(s.yyx, s.varx);
  Correlation c = set(s.xy, s.varx);
  if (c.flags.y == 'y') {
    report.write(kVarXPair, {a.r, b.r});
    report.write(kVarXLast, {c.r});
  } else {
    report.write(kVarXConstant, {set.count()});
  }

  a = set(s.xxy, s.vary);
  b = set(s.yyx, s.vary);
  c = set(s.xy, s.vary);
  if (c.flags.y == 'y') {
    report.write(kVarYPair, {a.r, b.r});
    report.write(kVarYLast, {c.r});
  } else {
    report.write(kVarYConstant, {set.count()});
  }
}

// Constant-series message of the "largest" blocks, with the block's count.
void constant_in_block(Channel& report, const char* name, int count) {
  static const Layout kConstant = Layout::parse(R"("Var(" A ") = 0 for " I5 " frames" /)");
  report.write(kConstant, {name, count});
}

void largest_xxy_block(const PerFrameSeries& s, FrameSet& set, int nxxy, Channel& report) {
  static const Layout kHeading =
      Layout::parse(R"(/ 9X "Correlations for " I3 " largest xxy Statistics")");
  static const Layout kRule = Layout::parse(R"(10X 42("=") /)");
  static const Layout kGroup1 = Layout::parse(R"(5X "(xxy,yyx) = " F5.2 7X "(xxy,xxx) = " F5.2)");
  static const Layout kXxyConstant = Layout::parse(R"(7X "Var(xxy) = 0 for " I5 " frames" /)");
  static const Layout kGroup2 = Layout::parse(R"(5X "(xxy, xy) = " F5.2 7X "(xxy,yyy) = " F5.2)");
  static const Layout kGroup3 = Layout::parse(R"(5X "(xxy, xx) = " F5.2 7X "(xxy, yy) = " F5.2)");

  set.use_largest(s.xxy, nxxy);
  report.write(kHeading, {nxxy});
  report.write(kRule);

  Correlation a = set(s.xxy, s.yyx);
  Correlation b = set(s.xxy, s.xxx);
  if (all_vary(a, b)) {
    report.write(kGroup1, {a.r, b.r});
  } else if (a.flags.x == 'n') {
    report.write(kXxyConstant, {nxxy});  // the only indented message of the block
  } else if (a.flags.y == 'n') {
    constant_in_block(report, "yyx", nxxy);
  } else {
    constant_in_block(report, "xxx", nxxy);
  }

  a = set(s.xxy, s.xy);
  b = set(s.xxy, s.yyy);
  if (all_vary(a, b)) {
    report.write(kGroup2, {a.r, b.r});
  } else if (a.flags.y == 'n') {
    constant_in_block(report, "xy", nxxy);
  } else if (b.flags.y == 'n') {
    constant_in_block(report, "yyy", nxxy);
  }

  a = set(s.xxy, s.xx);
  b = set(s.xxy, s.yy);
  if (all_vary(a, b)) {
    report.write(kGroup3, {a.r, b.r});
  } else if (a.flags.y == 'n') {
    constant_in_block(report, "xx", nxxy);
  } else if (b.flags.y == 'n') {
    constant_in_block(report, "yy", nxxy);
  }

  spread_groups(s, set, report);
}

void largest_yyx_block(const PerFrameSeries& s, FrameSet& set, int nyyx, Channel& report) {
  static const Layout kHeading =
      Layout::parse(R"(/ 10X "Correlations for " I3 " largest yyx Statistics")");
  static const Layout kRule = Layout::parse(R"(10X 42("=") /)");
  static const Layout kGroup1 = Layout::parse(R"(5X "(yyx, xy) = " F5.2 7X "(yyx,xxx) = " F5.2)");
  static const Layout kGroup2 = Layout::parse(R"(5X "(yyx,yyy) = " F5.2 7X "(yyx, yy) = " F5.2)");
  static const Layout kGroup3 = Layout::parse(R"(5X "(yyx, xx) = " F5.2 7X "(yyx, yy) = " F5.2)");

  set.use_largest(s.yyx, nyyx);
  report.write(kHeading, {nyyx});
  report.write(kRule);

  Correlation a = set(s.yyx, s.xy);
  Correlation b = set(s.yyx, s.xxx);
  if (all_vary(a, b)) {
    report.write(kGroup1, {a.r, b.r});
  } else if (a.flags.x == 'n') {
    constant_in_block(report, "yyx", nyyx);
  } else if (a.flags.y == 'n') {
    constant_in_block(report, "xy", nyyx);
  } else {
    constant_in_block(report, "xxx", nyyx);
  }

  a = set(s.yyx, s.yyy);
  b = set(s.yyx, s.yy);
  if (all_vary(a, b)) {
    report.write(kGroup2, {a.r, b.r});
  } else if (a.flags.y == 'n') {
    constant_in_block(report, "yyy", nyyx);
  } else if (b.flags.y == 'n') {
    constant_in_block(report, "yy", nyyx);
  }

  a = set(s.yyx, s.xx);
  b = set(s.yyx, s.yy);
  if (all_vary(a, b)) {
    report.write(kGroup3, {a.r, b.r});
  } else if (a.flags.y == 'n') {
    constant_in_block(report, "xx", nyyx);
  } else if (b.flags.y == 'n') {
    constant_in_block(report, "yy", nyyx);
  }

  spread_groups(s, set, report);
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
