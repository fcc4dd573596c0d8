// The gnuplot script and data files that draw a run's two pictures:
//   - the p-values 1 - P of the seven tests by frame on a log scale, the
//     bicorrelation tests above the correlation tests, with the thresholds
//     as dashed lines and the significant frames circled;
//   - a heat map of the cross-correlations of x and y by frame and lag.
// Each picture is written as PNG and as SVG.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "plot_input.h"

namespace vok::plot {

// The colour of each test, in kGraphNames order: seven distinct colours, the
// same in both panels and on the run's page.
inline constexpr std::array<std::string_view, kTestCount> kTestColours = {
    "#1f77b4", "#d62728", "#2ca02c", "#9467bd",  // Hxxy Hyyx Hxxx Hyyy
    "#ff7f0e", "#8c564b", "#e377c2"};            // Cxy Cx Cy

// A p-value 1 - P as the graph file's four decimals give it. A CDF value
// written as 1.0000 leaves at most 0.00005, which is what the plot shows.
double p_value(float cdf);
inline constexpr double kSmallestPValue = 0.00005;

// Whether each frame (in the graph file's order) is significant for each test
// (in kGraphNames order).
using Significance = std::vector<std::array<bool, kTestCount>>;

// Significance judged from the graph file's four decimals: the p-value
// p_value(cdf) strictly below the test's threshold. A p-value within 0.00005
// of its threshold may be judged otherwise than the run judged it.
Significance significance_from_graph(const GraphFile& graph, const Thresholds& thresholds);
// The run's own judgement, from its frame table, when the table belongs to the
// graph file: as many frames, and each CDF value of the table within the
// graph file's rounding of the graph's. std::nullopt otherwise (a table of
// another run).
std::optional<Significance> significance_from_table(const FramesTable& table,
                                                    const GraphFile& graph);
// Significant frames per test.
std::array<int, kTestCount> significant_counts(const Significance& significance);
std::array<int, kTestCount> significant_counts(const GraphFile& graph,
                                               const Thresholds& thresholds);

struct PlotJob {
  std::string title;  // shown above the pictures: the report name
  GraphFile graph;
  XyGraphFile xy;
  Thresholds thresholds;
  // The significant frames, circled and counted in the key: the run's own
  // judgement (significance_from_table) or, without it, the graph file's
  // (significance_from_graph).
  Significance significant;
  // Output files.
  std::string pvalues_png, pvalues_svg, xy_png, xy_svg;
};

// Data file texts and the script that reads them from `pvalues_data` and
// `xy_data` (paths as the script names them). A p-value record holds the frame
// number, the seven p-values and the seven judgements (1 significant, 0 not),
// in kGraphNames order.
std::string pvalue_data(const GraphFile& graph, const Significance& significance);
std::string xy_data(const XyGraphFile& xy);
std::string gnuplot_script(const PlotJob& job, const std::string& pvalues_data,
                           const std::string& xy_data);

// Axis labels and the heat map's caption. The cross-correlation at lag s is
// the mean of x(t+s) y(t): a large value at s > 0 means that y goes ahead of x
// by s observations, at s < 0 that x goes ahead of y.
inline constexpr std::string_view kPValueAxis = "p-value 1 - P (log scale)";
inline constexpr std::string_view kFrameAxis = "frame number";
inline constexpr std::string_view kStampAxis = "frame start (stamp of the first row of the frame)";
inline constexpr std::string_view kLagAxis = "lag s (observations)";
inline constexpr std::string_view kXyCaption =
    "cross-correlations rxy by frame and lag; rxy(s) pairs x(t+s) with y(t): "
    "s > 0, y leads x; s < 0, x leads y";

// A text as a gnuplot string in single quotes.
std::string quoted(std::string_view text);

}  // namespace vok::plot
