#include "frames/summary.h"

#include <array>
#include <span>
#include <string_view>
#include <vector>

#include "stats/moments.h"
#include "stats/sort.h"

namespace vok {
namespace {

// A pair of the per-frame series, by name.
struct SeriesPair {
  const char* first;
  const char* second;
};

// The pairs of each block in the order the report shows them: the lines of a
// lead series (xxy, yyx), the all-frames block's own lines, the lines of the
// spread series (VarX, VarY).
constexpr std::array<SeriesPair, 6> kLedByXxy{
    {{"xxy", "yyx"}, {"xxy", "xxx"}, {"xxy", "xy"}, {"xxy", "yyy"}, {"xxy", "xx"}, {"xxy", "yy"}}};
constexpr std::array<SeriesPair, 6> kLedByYyx{
    {{"yyx", "xy"}, {"yyx", "xxx"}, {"yyx", "yyy"}, {"yyx", "yy"}, {"yyx", "xx"}, {"yyx", "yy"}}};
constexpr std::array<SeriesPair, 6> kAllFramesOnly{
    {{"yyx", "yyy"}, {"yyx", "yy"}, {"xy", "xx"}, {"xy", "yy"}, {"xxx", "yyy"}, {"xx", "yy"}}};
constexpr std::array<SeriesPair, 6> kSpread{{{"xxy", "VarX"},
                                             {"yyx", "VarX"},
                                             {"xy", "VarX"},
                                             {"xxy", "VarY"},
                                             {"yyx", "VarY"},
                                             {"xy", "VarY"}}};

const std::vector<float>& series_named(const PerFrameSeries& s, std::string_view name) {
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

// Correlates the pairs over the first `count` of `positions` (every frame when
// count is the frame count) and records them in `block`.
class Correlator {
 public:
  Correlator(const PerFrameSeries& s, Messages& diag)
      : s_(s), frames_(s.size()), positions_(s.size()), diag_(diag) {}

  CorrelationBlock all_frames() {
    CorrelationBlock block;
    block.frames = frames_;
    add(block, kLedByXxy);
    add(block, kAllFramesOnly);
    add(block, kSpread);
    return block;
  }

  // The block over the m frames with the largest values of the lead series.
  CorrelationBlock largest(const char* lead, int m) {
    // The last m places of the ascending ranking of the lead.
    std::vector<int> ranking(frames_);
    indexx(series_named(s_, lead), ranking);
    for (int i = 0; i < m; ++i) positions_[i] = ranking[frames_ - m + i];
    CorrelationBlock block;
    block.frames = m;
    add(block, std::string_view(lead) == "xxy" ? kLedByXxy : kLedByYyx);
    add(block, kSpread);
    return block;
  }

 private:
  void add(CorrelationBlock& block, std::span<const SeriesPair> pairs) {
    for (const SeriesPair& pair : pairs) {
      float r = 0.0f;
      const CorFlags flags = cor(frames_, block.frames, series_named(s_, pair.first),
                                 series_named(s_, pair.second), positions_, r, diag_);
      block.pairs.push_back({pair.first, pair.second, r, flags.x_varies, flags.y_varies});
    }
  }

  const PerFrameSeries& s_;
  int frames_;
  std::vector<int> positions_;  // kept from block to block, as the ranking fills it
  Messages& diag_;
};

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

CorrelationSummary summarise(const PerFrameSeries& series, int nxxy, int nyyx, Messages& diag) {
  Correlator correlate(series, diag);
  CorrelationSummary summary;
  summary.all_frames = correlate.all_frames();
  if (nxxy >= 9) summary.largest_xxy = correlate.largest("xxy", nxxy);
  if (nyyx >= 9) summary.largest_yyx = correlate.largest("yyx", nyyx);
  return summary;
}

}  // namespace vok
