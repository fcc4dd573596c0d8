#include "frames/summary.h"

#include <array>
#include <cassert>
#include <functional>
#include <string>
#include <string_view>
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

// The correlations the blocks show, in the order they show them. The blocks
// below are walked twice: once to compute the pairs from the per-frame series
// (into a summary), once to write a summary's pairs; the walk is the same.
class Pairs {
 public:
  virtual ~Pairs() = default;
  // The set of frames the next pairs are taken over: every frame, or the m
  // frames with the largest values of series `by`.
  virtual void use_all() = 0;
  virtual void use_largest(const char* by, int m) = 0;
  virtual int count() const = 0;
  // The next pair: series `u` against series `v` over the set.
  virtual Correlation operator()(const char* u, const char* v) = 0;
};

const Series& series_named(const PerFrameSeries& s, std::string_view name) {
  if (name == "xxy") return s.xxy;
  if (name == "yyx") return s.yyx;
  if (name == "xxx") return s.xxx;
  if (name == "yyy") return s.yyy;
  if (name == "xy") return s.xy;
  if (name == "xx") return s.xx;
  if (name == "yy") return s.yy;
  if (name == "VarX") return s.varx;
  return s.vary;
}

// Pairs computed from the series, kept in a summary.
class ComputedPairs : public Pairs {
 public:
  ComputedPairs(const PerFrameSeries& s, CorrelationSummary& out, Messages& diag)
      : s_(s), frames_(s.size()), positions_(s.size()), out_(out), diag_(diag) {}

  void use_all() override {
    count_ = frames_;
    block_ = &out_.all_frames;
    block_->frames = count_;
  }
  void use_largest(const char* by, int m) override {
    // The last m places of the ascending ranking of `by`.
    std::vector<int> ranking(frames_);
    indexx(series_named(s_, by), ranking);
    for (int i = 0; i < m; ++i) positions_[i] = ranking[frames_ - m + i];
    count_ = m;
    auto& block = std::string_view(by) == "xxy" ? out_.largest_xxy : out_.largest_yyx;
    block.emplace();
    block_ = &*block;
    block_->frames = m;
  }
  int count() const override { return count_; }
  Correlation operator()(const char* u, const char* v) override {
    Correlation c;
    c.flags =
        cor(frames_, count_, series_named(s_, u), series_named(s_, v), positions_, c.r, diag_);
    block_->pairs.push_back({u, v, c.r, c.flags.x_varies, c.flags.y_varies});
    return c;
  }

 private:
  const PerFrameSeries& s_;
  int frames_;
  int count_ = 0;
  std::vector<int> positions_;
  CorrelationSummary& out_;
  CorrelationBlock* block_ = nullptr;
  Messages& diag_;
};

// The pairs of a summary, handed out again in order.
class StoredPairs : public Pairs {
 public:
  explicit StoredPairs(const CorrelationSummary& s) : s_(s) {}
  void use_all() override { select(&s_.all_frames); }
  void use_largest(const char* by, int) override {
    select(std::string_view(by) == "xxy" ? &*s_.largest_xxy : &*s_.largest_yyx);
  }
  int count() const override { return block_->frames; }
  Correlation operator()(const char* u, const char* v) override {
    const CorrelationPair& p = block_->pairs.at(next_++);
    // The walk asks for the pairs in the order it recorded them.
    assert(p.first == u && p.second == v);
    (void)u;
    (void)v;
    Correlation c;
    c.r = p.r;
    c.flags.x_varies = p.first_varies;
    c.flags.y_varies = p.second_varies;
    return c;
  }

 private:
  void select(const CorrelationBlock* block) {
    block_ = block;
    next_ = 0;
  }
  const CorrelationSummary& s_;
  const CorrelationBlock* block_ = nullptr;
  std::size_t next_ = 0;
};

bool all_vary(const Correlation& a, const Correlation& b) {
  return a.flags.x_varies && a.flags.y_varies && b.flags.y_varies;
}

// Says that a series is constant over the frames of a block, in the block's
// words.
using SayConstant = std::function<void(std::string_view name)>;

// One line of two pairs that share their first series: (lead, first) and
// (lead, second).
struct PairLine {
  const char* first;
  const char* second;
  Layout layout;
};

// The three lines of pairs led by one series.
struct LeadLines {
  const char* lead;
  std::array<PairLine, 3> lines;
};

// The lines of each lead series: xxy (over all frames and over its largest
// values), then yyx (over its largest values).
enum Lead { kXxy, kYyx };
const LeadLines& lines_led_by(Lead lead) {
  static const std::array<LeadLines, 2> kLines{{
      {"xxy",
       {{{"yyx", "xxx", Layout::parse(R"(5X "(xxy,yyx) = " F5.2 7X "(xxy,xxx) = " F5.2)")},
         {"xy", "yyy", Layout::parse(R"(5X "(xxy, xy) = " F5.2 7X "(xxy,yyy) = " F5.2)")},
         {"xx", "yy", Layout::parse(R"(5X "(xxy, xx) = " F5.2 7X "(xxy, yy) = " F5.2)")}}}},
      {"yyx",
       {{{"xy", "xxx", Layout::parse(R"(5X "(yyx, xy) = " F5.2 7X "(yyx,xxx) = " F5.2)")},
         {"yyy", "yy", Layout::parse(R"(5X "(yyx,yyy) = " F5.2 7X "(yyx, yy) = " F5.2)")},
         {"xx", "yy", Layout::parse(R"(5X "(yyx, xx) = " F5.2 7X "(yyx, yy) = " F5.2)")}}}},
  }};
  return kLines[lead];
}

// A line is written when its three series vary over the block's frames;
// otherwise the first constant one is named. The lead is named on the first
// line only: the later lines stay silent about it.
void lead_lines(Pairs& set, const LeadLines& t, Channel& report, const SayConstant& say_constant) {
  bool first_line = true;
  for (const PairLine& line : t.lines) {
    const Correlation a = set(t.lead, line.first);
    const Correlation b = set(t.lead, line.second);
    if (all_vary(a, b)) {
      report.write(line.layout, {a.r, b.r});
    } else if (first_line && !a.flags.x_varies) {
      say_constant(t.lead);
    } else if (!a.flags.y_varies) {
      say_constant(line.first);
    } else if (!b.flags.y_varies) {
      say_constant(line.second);
    }
    first_line = false;
  }
}

// xxy, yyx and xy against one spread series (VarX or VarY): a line of two
// pairs and a line of one.
struct SpreadLines {
  const char* spread;
  Layout pair;
  Layout last;
};

// Only the spread series' flag of the last of the three pairs decides.
void spread_lines(Pairs& set, const SpreadLines& t, Channel& report,
                  const SayConstant& say_constant) {
  const Correlation a = set("xxy", t.spread);
  const Correlation b = set("yyx", t.spread);
  const Correlation c = set("xy", t.spread);
  if (c.flags.y_varies) {
    report.write(t.pair, {a.r, b.r});
    report.write(t.last, {c.r});
  } else {
    say_constant(t.spread);
  }
}

// The spread lines of each kind of block, VarX then VarY (each block has its
// blank lines in its own places).
enum Block { kAllFrames, kLargestValues };
const std::array<SpreadLines, 2>& spread_lines_of(Block block) {
  static const std::array<std::array<SpreadLines, 2>, 2> kLines{{
      {{{"VarX", Layout::parse(R"(5X "(xxy,VarX) = " F5.2 6X "(yyx,VarX) = " F5.2)"),
         Layout::parse(R"(5X "(xy, VarX) = " F5.2)")},
        {"VarY", Layout::parse(R"(5X "(xxy,VarY) = " F5.2 6X "(yyx,VarY) = " F5.2)"),
         Layout::parse(R"(5X "(xy, VarY) = " F5.2 /)")}}},
      {{{"VarX", Layout::parse(R"(/ 5X "(xxy,VarX) = " F5.2 6X "(yyx,VarX) = " F5.2)"),
         Layout::parse(R"(5X "(xy, VarX) = " F5.2)")},
        {"VarY", Layout::parse(R"(5X "(xxy,VarY) = " F5.2 6X "(yyx,VarY) = " F5.2)"),
         Layout::parse(R"(5X "(xy, VarY) = " F5.2)")}}},
  }};
  return kLines[block];
}

void all_frames_block(Pairs& set, Channel& report, Channel& console) {
  static const Layout kHeading =
      Layout::parse(R"(/ 2X "Correlations of the CDF probabilites for all windws")");
  static const Layout kRule = Layout::parse(R"(10X 42("=") /)");
  static const Layout kGroup4a = Layout::parse(R"(5X "(yyx,yyy) = " F5.2 7X "(yyx, yy) = " F5.2)");
  static const Layout kGroup4b = Layout::parse(R"(5X "(xy , xx) = " F5.2 7X "(xy , yy) = " F5.2)");
  static const Layout kGroup4c =
      Layout::parse(R"(5X "(xxx,yyy) = " F5.2 7X "(xx , yy) = " F5.2 /)");
  static const Layout kVarYConstant = Layout::parse(R"(7X "Var(VarY) = 0 for all frames" /)");

  const SayConstant say_constant = [&](std::string_view name) {
    if (name == "VarY") {  // the one message the console shows too
      report.write(kVarYConstant);
      console.write(kVarYConstant);
      return;
    }
    report.write_free({"Var(" + std::string(name) + ") = 0 for all frames"});
  };

  set.use_all();
  report.write(kHeading);
  report.write(kRule);
  lead_lines(set, lines_led_by(kXxy), report, say_constant);

  // Printed as they come: a constant series shows 0.00.
  const float yyx_yyy = set("yyx", "yyy").r;
  const float yyx_yy = set("yyx", "yy").r;
  const float xy_xx = set("xy", "xx").r;
  const float xy_yy = set("xy", "yy").r;
  const float xxx_yyy = set("xxx", "yyy").r;
  const float xx_yy = set("xx", "yy").r;
  report.write(kGroup4a, {yyx_yyy, yyx_yy});
  report.write(kGroup4b, {xy_xx, xy_yy});
  report.write(kGroup4c, {xxx_yyy, xx_yy});

  for (const SpreadLines& lines : spread_lines_of(kAllFrames))
    spread_lines(set, lines, report, say_constant);
}

// A block over the `count` frames with the largest values of a lead series.
struct LargestBlock {
  const LeadLines& lines;
  Layout heading;
  Layout lead_constant;  // the message when the lead itself is constant
};

void largest_block(Pairs& set, const LargestBlock& block, int count, Channel& report) {
  static const Layout kRule = Layout::parse(R"(10X 42("=") /)");
  static const Layout kConstant = Layout::parse(R"("Var(" A ") = 0 for " I5 " frames" /)");

  const SayConstant say_constant = [&](std::string_view name) {
    if (name == block.lines.lead) {
      report.write(block.lead_constant, {count});
    } else {
      report.write(kConstant, {name, count});
    }
  };

  set.use_largest(block.lines.lead, count);
  report.write(block.heading, {count});
  report.write(kRule);
  lead_lines(set, block.lines, report, say_constant);
  for (const SpreadLines& lines : spread_lines_of(kLargestValues))
    spread_lines(set, lines, report, say_constant);
}

const LargestBlock& largest_xxy_block() {
  static const LargestBlock kBlock{
      lines_led_by(kXxy), Layout::parse(R"(/ 9X "Correlations for " I3 " largest xxy Statistics")"),
      // the only indented message of the block
      Layout::parse(R"(7X "Var(xxy) = 0 for " I5 " frames" /)")};
  return kBlock;
}

const LargestBlock& largest_yyx_block() {
  static const LargestBlock kBlock{
      lines_led_by(kYyx),
      Layout::parse(R"(/ 10X "Correlations for " I3 " largest yyx Statistics")"),
      Layout::parse(R"("Var(yyx) = 0 for " I5 " frames" /)")};
  return kBlock;
}

}  // namespace

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

void PerFrameSeries::set(int k, const Frame& f) {
  const std::size_t i = static_cast<std::size_t>(k - 1);
  xxx[i] = f.cdf.hxxx;
  yyy[i] = f.cdf.hyyy;
  xxy[i] = f.cdf.hxxy;
  yyx[i] = f.cdf.hyyx;
  xx[i] = f.cdf.cx;
  yy[i] = f.cdf.cy;
  xy[i] = f.cdf.cxy;
  varx[i] = f.sd_x;
  vary[i] = f.sd_y;
}

namespace {

// The whole walk: all frames, then the largest-value blocks that apply.
void walk(Pairs& set, int nxxy, int nyyx, Channel& report, Channel& console) {
  static const Layout kClosing = Layout::parse(R"(7X 37("-"))");
  all_frames_block(set, report, console);
  if (nxxy >= 9) largest_block(set, largest_xxy_block(), nxxy, report);
  if (nyyx >= 9) largest_block(set, largest_yyx_block(), nyyx, report);
  report.write(kClosing);
}

}  // namespace

CorrelationSummary summarise(const PerFrameSeries& series, int nxxy, int nyyx, Messages& diag) {
  CorrelationSummary summary;
  ComputedPairs pairs(series, summary, diag);
  Channel nowhere;  // the walk's lines are not wanted here
  walk(pairs, nxxy, nyyx, nowhere, nowhere);
  return summary;
}

void write_summary(const CorrelationSummary& summary, Channel& report, Channel& console) {
  StoredPairs pairs(summary);
  walk(pairs, summary.largest_xxy ? summary.largest_xxy->frames : 0,
       summary.largest_yyx ? summary.largest_yyx->frames : 0, report, console);
}

}  // namespace vok
