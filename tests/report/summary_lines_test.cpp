// The cross-test correlation summary on per-frame series built so that every
// correlation is known: linear series correlate to +1 or -1, a series
// symmetric about the middle frame is uncorrelated with a linear one, and a
// constant series triggers the zero-variance messages.
//
// The correlations that are not exact by construction were computed with
// this Python, which follows the correlation routine (double sums from the
// last position to the first, 32-bit rounding before the division):
//
//   def cor(x, y, pos):
//       f = lambda v: struct.unpack('f', struct.pack('f', v))[0]
//       sx = sy = sxx = syy = sxy = 0.0
//       for p in reversed(pos):
//           a, b = f(x[p-1]), f(y[p-1])
//           sx += a; sy += b; sxx += a*a; syy += b*b; sxy += a*b
//       n = len(pos); mx = sx/n; my = sy/n
//       cxx = sxx - mx*(n*mx); cyy = syy - (n*my)*my; cxy = sxy - (n*mx)*my
//       if cxx == 0 or cyy == 0: return 0.0
//       return f(cxy) / f(math.sqrt(f(cxx*cyy)))
//
// (and by hand where short, e.g. cor(t, t mod 3) over t = 1..12 is
// -1 / sqrt(143 * 0.5) = -0.118).
#include "report/summary_lines.h"

#include <gtest/gtest.h>

#include "report/messages.h"

#include <functional>
#include <stdexcept>
#include <string>

#include "frames/summary.h"

namespace vok {
namespace {

std::string lines(std::initializer_list<std::string> list) {
  std::string out;
  for (const std::string& l : list) out += l + "\n";
  return out;
}

std::vector<float> over_frames(int frames, const std::function<float(int)>& f) {
  std::vector<float> v(frames);
  for (int t = 1; t <= frames; ++t) v[t - 1] = f(t);
  return v;
}

float alternating(int t) {
  return t % 2 == 1 ? 0.25f : 0.75f;
}

const std::string kHeading = "  Correlations of the CDF probabilites for all windws";
const std::string kRule = "          " + std::string(42, '=');
const std::string kClosing = "       " + std::string(37, '-');

struct Summary {
  Channel report, console;
  Summary(const PerFrameSeries& s, int nxxy, int nyyx) {
    report.capture();
    console.capture();
    Messages messages(Stage::summary);
    const CorrelationSummary summary = summarise(s, nxxy, nyyx, messages);
    for (const Message& m : messages.list()) write_message(m, {report, console, report, report});
    write_summary(summary, report, console);
  }
};

// Eight frames, none of the largest blocks (counts below 9): the all-frames
// block and the closing rule. Every value is exact in binary.
TEST(CorrelationSummary, AllFramesBlockAlone) {
  const int F = 8;
  PerFrameSeries s(F);
  const auto linear = [](int t) { return t / 8.0f; };         // 0.125 .. 1
  const auto falling = [](int t) { return (9 - t) / 8.0f; };  // 1 .. 0.125
  const auto symmetric = [](int t) { return (2 * t - 9) * (2 * t - 9) / 64.0f; };
  s.xxy = over_frames(F, linear);
  s.yyx = over_frames(F, falling);
  s.xxx = over_frames(F, symmetric);
  s.yyy = over_frames(F, [](int t) { return t / 16.0f + 0.25f; });
  s.xy = over_frames(F, alternating);  // cor with a linear series: 0.8 / sqrt(42 * 0.32) = 0.218
  s.xx = over_frames(F, symmetric);
  s.yy = over_frames(F, falling);
  s.varx = over_frames(F, alternating);
  s.vary = over_frames(F, symmetric);

  Summary out(s, 0, 0);
  EXPECT_EQ(out.report.text(),
            lines({"", kHeading, kRule, "", "     (xxy,yyx) = -1.00       (xxy,xxx) =  0.00",
                   "     (xxy, xy) =  0.22       (xxy,yyy) =  1.00",
                   "     (xxy, xx) =  0.00       (xxy, yy) = -1.00",
                   "     (yyx,yyy) = -1.00       (yyx, yy) =  1.00",
                   "     (xy , xx) =  0.00       (xy , yy) = -0.22",
                   "     (xxx,yyy) =  0.00       (xx , yy) =  0.00", "",
                   "     (xxy,VarX) =  0.22      (yyx,VarX) = -0.22", "     (xy, VarX) =  1.00",
                   "     (xxy,VarY) =  0.00      (yyx,VarY) =  0.00", "     (xy, VarY) =  0.00", "",
                   kClosing}));
  EXPECT_EQ(out.console.text(), "");
}

// Twelve frames, 9 significant for Hxxy and 8 for Hyyx: the largest-xxy block
// over the 9 frames with the largest xxy values (frames 4..12) follows; the
// largest-yyx block does not. xx is constant everywhere; VarY only over
// frames 4..12, so its message appears in the largest block alone.
TEST(CorrelationSummary, LargestXxyBlockOverTheTopNineFrames) {
  const int F = 12;
  PerFrameSeries s(F);
  s.xxy = over_frames(F, [](int t) { return t / 16.0f; });
  s.yyx = over_frames(F, [](int t) { return (13 - t) / 16.0f; });
  s.xxx = over_frames(F, [](int t) { return t / 32.0f + 0.25f; });
  s.yyy = over_frames(F, [](int t) { return (13 - t) / 32.0f; });
  s.xy = over_frames(F, alternating);  // 0.145 over all frames, 0 over frames 4..12
  s.xx = over_frames(F, [](int) { return 0.5f; });
  s.yy = over_frames(F, [](int t) { return (t % 3) / 4.0f; });  // -0.118 with xxy
  s.varx = over_frames(F, [](int t) { return static_cast<float>(t); });
  s.vary = {1.0f, 3.0f, 1.0f, 2.0f, 2.0f, 2.0f, 2.0f, 2.0f, 2.0f, 2.0f, 2.0f, 2.0f};

  Summary out(s, 9, 8);
  EXPECT_EQ(out.report.text(), lines({"",
                                      kHeading,
                                      kRule,
                                      "",
                                      "     (xxy,yyx) = -1.00       (xxy,xxx) =  1.00",
                                      "     (xxy, xy) =  0.14       (xxy,yyy) = -1.00",
                                      " Var(xx) = 0 for all frames",
                                      "     (yyx,yyy) =  1.00       (yyx, yy) =  0.12",
                                      "     (xy , xx) =  0.00       (xy , yy) =  0.00",
                                      "     (xxx,yyy) = -1.00       (xx , yy) =  0.00",
                                      "",
                                      "     (xxy,VarX) =  1.00      (yyx,VarX) = -1.00",
                                      "     (xy, VarX) =  0.14",
                                      "     (xxy,VarY) =  0.22      (yyx,VarY) = -0.22",
                                      "     (xy, VarY) =  0.51",
                                      "",
                                      "",
                                      "         Correlations for   9 largest xxy Statistics",
                                      kRule,
                                      "",
                                      "     (xxy,yyx) = -1.00       (xxy,xxx) =  1.00",
                                      "     (xxy, xy) =  0.00       (xxy,yyy) = -1.00",
                                      "Var(xx) = 0 for     9 frames",
                                      "",
                                      "",
                                      "     (xxy,VarX) =  1.00      (yyx,VarX) = -1.00",
                                      "     (xy, VarX) =  0.00",
                                      "Var(VarY) = 0 for     9 frames",
                                      "",
                                      kClosing}));
}

// Ten frames, all significant for Hxxy and Hyyx, so both largest blocks run
// over every frame. xxy, xxx and VarY are constant: each zero-variance
// message with its own indentation, and the VarY message of the all-frames
// block also on the console.
TEST(CorrelationSummary, ZeroVarianceMessages) {
  const int F = 10;
  PerFrameSeries s(F);
  s.xxy = over_frames(F, [](int) { return 0.0f; });
  s.yyx = over_frames(F, [](int t) { return t / 16.0f; });
  s.xxx = over_frames(F, [](int) { return 0.5f; });
  s.yyy = over_frames(F, [](int t) { return (t % 3) / 4.0f; });  // -3 / sqrt(82.5 * 6) with t
  s.xy = over_frames(F, alternating);
  s.xx = over_frames(F, [](int t) { return (11 - t) / 16.0f; });
  s.yy = over_frames(F, [](int t) { return t / 32.0f; });
  s.varx = over_frames(F, [](int t) { return (t % 4) / 4.0f; });
  s.vary = over_frames(F, [](int) { return 1.0f; });

  Summary out(s, 10, 10);
  const std::string varx_pair = "     (xxy,VarX) =  0.00      (yyx,VarX) = -0.05";
  const std::string varx_last = "     (xy, VarX) = -0.29";
  EXPECT_EQ(out.report.text(), lines({"",
                                      kHeading,
                                      kRule,
                                      "",
                                      " Var(xxy) = 0 for all frames",
                                      "     (yyx,yyy) = -0.13       (yyx, yy) =  1.00",
                                      "     (xy , xx) = -0.17       (xy , yy) =  0.17",
                                      "     (xxx,yyy) =  0.00       (xx , yy) = -1.00",
                                      "",
                                      varx_pair,
                                      varx_last,
                                      "       Var(VarY) = 0 for all frames",
                                      "",
                                      "",
                                      "         Correlations for  10 largest xxy Statistics",
                                      kRule,
                                      "",
                                      "       Var(xxy) = 0 for    10 frames",
                                      "",
                                      "",
                                      varx_pair,
                                      varx_last,
                                      "Var(VarY) = 0 for    10 frames",
                                      "",
                                      "",
                                      "          Correlations for  10 largest yyx Statistics",
                                      kRule,
                                      "",
                                      "Var(xxx) = 0 for    10 frames",
                                      "",
                                      "     (yyx,yyy) = -0.13       (yyx, yy) =  1.00",
                                      "     (yyx, xx) = -1.00       (yyx, yy) =  1.00",
                                      "",
                                      varx_pair,
                                      varx_last,
                                      "Var(VarY) = 0 for    10 frames",
                                      "",
                                      kClosing}));
  EXPECT_EQ(out.console.text(), lines({"       Var(VarY) = 0 for all frames", ""}));
}

// The largest block takes the frames with the largest values wherever they
// stand: with the nine largest xxy values scattered, the block correlates
// exactly those frames (yyx equals xxy there and differs elsewhere).
TEST(CorrelationSummary, LargestFramesAreFoundByRankingNotByPosition) {
  const int F = 12;
  PerFrameSeries s(F);
  s.xxy = {0.9f, 0.1f, 0.8f, 0.2f, 0.7f, 0.95f, 0.6f, 0.5f, 0.85f, 0.3f, 0.75f, 0.65f};
  // The three smallest are frames 2, 4 and 10; yyx breaks the match only there.
  s.yyx = s.xxy;
  s.yyx[1] = 0.99f;
  s.yyx[3] = 0.98f;
  s.yyx[9] = 0.97f;
  s.xxx = over_frames(F, [](int t) { return t / 16.0f; });
  s.yyy = s.xxx;
  s.xy = s.xxx;
  s.xx = s.xxx;
  s.yy = s.xxx;
  s.varx = s.xxx;
  s.vary = s.xxx;

  Summary out(s, 9, 0);
  const std::string& text = out.report.text();
  const std::size_t block = text.find("largest xxy");
  ASSERT_NE(block, std::string::npos);
  EXPECT_NE(text.find("     (xxy,yyx) =  1.00", block), std::string::npos);
  EXPECT_EQ(text.find("     (xxy,yyx) =  1.00"), text.find("     (xxy,yyx) =  1.00", block));
}

// summarise records the pairs and write_summary shows them, each in its own
// walk: a summary whose pairs are not those the lines show, in that order,
// is refused rather than shown under the wrong labels.
TEST(CorrelationSummary, PairsOutOfTheShownOrderAreRefused) {
  PerFrameSeries s(10);
  for (int t = 1; t <= 10; ++t) {
    s.set(t, Frame{});
    s.xxy[t - 1] = static_cast<float>(t);
    s.yyx[t - 1] = alternating(t);
  }
  Messages diag(Stage::summary);
  const CorrelationSummary good = summarise(s, 9, 0, diag);
  ASSERT_TRUE(good.largest_xxy.has_value());
  ASSERT_FALSE(good.largest_yyx.has_value());

  const std::vector<std::function<void(CorrelationSummary&)>> faults = {
      [](CorrelationSummary& c) { std::swap(c.all_frames.pairs[0], c.all_frames.pairs[1]); },
      [](CorrelationSummary& c) { c.all_frames.pairs.pop_back(); },
      [](CorrelationSummary& c) { c.all_frames.pairs.push_back(c.all_frames.pairs.back()); },
      [](CorrelationSummary& c) { c.largest_xxy->pairs.back().second = "VarX"; },
      [](CorrelationSummary& c) { c.largest_xxy->pairs.push_back(c.largest_xxy->pairs[0]); },
  };
  for (std::size_t i = 0; i < faults.size(); ++i) {
    SCOPED_TRACE(i);
    CorrelationSummary bad = good;
    faults[i](bad);
    Channel report, console;
    report.capture();
    console.capture();
    EXPECT_THROW(write_summary(bad, report, console), std::logic_error);
  }
  Channel report, console;
  report.capture();
  console.capture();
  EXPECT_NO_THROW(write_summary(good, report, console));
  EXPECT_EQ(good.all_frames.pairs.size(), 18u);
  EXPECT_EQ(good.largest_xxy->pairs.size(), 12u);
}

}  // namespace
}  // namespace vok
