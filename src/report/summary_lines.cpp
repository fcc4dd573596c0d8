#include "report/summary_lines.h"

#include <array>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "output/layout.h"

namespace vok {
namespace {

// A pair's correlation and whether each of its series varies over the set
// (a series that does not is constant there).
struct Correlation {
  float r = 0.0f;
  bool x_varies = true;
  bool y_varies = true;
};

// The pairs of a summary, handed out in the order summarise recorded them:
// the walk below asks for them in the order its lines show them, and a pair
// out of place is a fault of the program, not of the data.
class Pairs {
 public:
  explicit Pairs(const CorrelationSummary& s) : s_(s) {}
  // The set of frames the next pairs are taken over: every frame, or the
  // frames with the largest values of series `by`.
  void use_all() { select(&s_.all_frames); }
  void use_largest(const char* by) {
    select(std::string_view(by) == "xxy" ? &*s_.largest_xxy : &*s_.largest_yyx);
  }
  // Every pair of the set has been shown.
  void finish() const {
    if (block_ && next_ != block_->pairs.size())
      throw std::logic_error("correlation summary: pairs left unshown");
  }
  // The next pair: series `u` against series `v` over the set.
  Correlation operator()(const char* u, const char* v) {
    if (next_ >= block_->pairs.size())
      throw std::logic_error("correlation summary: no pair (" + std::string(u) + "," + v + ")");
    const CorrelationPair& p = block_->pairs[next_++];
    if (p.first != u || p.second != v)
      throw std::logic_error("correlation summary: pair (" + p.first + "," + p.second +
                             ") where (" + u + "," + v + ") is shown");
    Correlation c;
    c.r = p.r;
    c.x_varies = p.first_varies;
    c.y_varies = p.second_varies;
    return c;
  }

 private:
  void select(const CorrelationBlock* block) {
    finish();
    block_ = block;
    next_ = 0;
  }
  const CorrelationSummary& s_;
  const CorrelationBlock* block_ = nullptr;
  std::size_t next_ = 0;
};

bool all_vary(const Correlation& a, const Correlation& b) {
  return a.x_varies && a.y_varies && b.y_varies;
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
    } else if (first_line && !a.x_varies) {
      say_constant(t.lead);
    } else if (!a.y_varies) {
      say_constant(line.first);
    } else if (!b.y_varies) {
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
  if (c.y_varies) {
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

  set.use_largest(block.lines.lead);
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

// The whole walk: all frames, then the largest-value blocks that apply.
void walk(Pairs& set, int nxxy, int nyyx, Channel& report, Channel& console) {
  static const Layout kClosing = Layout::parse(R"(7X 37("-"))");
  all_frames_block(set, report, console);
  if (nxxy >= 9) largest_block(set, largest_xxy_block(), nxxy, report);
  if (nyyx >= 9) largest_block(set, largest_yyx_block(), nyyx, report);
  report.write(kClosing);
  set.finish();
}

}  // namespace

void write_summary(const CorrelationSummary& summary, Channel& report, Channel& console) {
  Pairs pairs(summary);
  walk(pairs, summary.largest_xxy ? summary.largest_xxy->frames : 0,
       summary.largest_yyx ? summary.largest_yyx->frames : 0, report, console);
}

}  // namespace vok
