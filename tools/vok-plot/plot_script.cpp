#include "plot_script.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace vok::plot {

namespace {

constexpr const auto& kColours = kTestColours;

constexpr int kWidth = 1200;
constexpr int kPValueHeight = 900;
constexpr int kXyHeight = 700;

std::string number(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", v);
  return text;
}

std::string fixed4(double v) {
  char text[40];
  std::snprintf(text, sizeof text, "%.4f", v);
  return text;
}

// Frame labels along the x axis: the frame number, or about eight of the
// frames' start stamps when the rows carry stamps.
std::string x_axis(int frames, const std::vector<std::string>& stamps) {
  std::string s = "set xrange [0.5:" + number(frames + 0.5) + "]\n";
  if (stamps.empty()) {
    s += "set xlabel " + quoted(kFrameAxis) + "\nset format x '%.0f'\n";
    if (frames <= 30) s += "set xtics 1\n";
    return s;
  }
  s += "set xlabel " + quoted(kStampAxis) + "\nset xtics rotate by -30 (";
  const int step = std::max(1, (frames + 7) / 8);
  for (int k = 1; k <= frames; k += step) {
    if (k > 1) s += ", ";
    s += quoted(stamps[static_cast<std::size_t>(k - 1)]) + " " + std::to_string(k);
  }
  s += ")\nset bmargin 8\n";
  return s;
}

bool nominal(const Thresholds& t) {
  return t.resamples == 0;
}

// One panel of the p-value picture: tests `first` .. `last` - 1.
std::string pvalue_panel(const PlotJob& job, const std::string& data, const char* title, int first,
                         int last, const std::array<int, kTestCount>& counts) {
  const int frames = static_cast<int>(job.graph.frames.size());
  // Many frames: thinner lines and smaller circles, so that the picture stays
  // readable.
  const bool few = frames <= 100;
  const std::string style = few ? "linespoints pt 7 ps 0.5 lw 1.5" : "lines lw 1";
  const std::string circle = few ? "pt 6 ps 2 lw 1.5" : "pt 6 ps 1 lw 1";
  std::string s = "set title " + quoted(title) + "\nplot ";
  std::string sep;
  for (int t = first; t < last; ++t) {
    const auto i = static_cast<std::size_t>(t);
    s += sep + quoted(data) + " using 1:" + std::to_string(t + 2) + " with " + style + " lc rgb " +
         quoted(kColours[i]) + " title " +
         quoted(std::string(kGraphNames[i]) + " (" + std::to_string(counts[i]) + " significant)");
    sep = ", \\\n     ";
  }
  if (nominal(job.thresholds)) {
    s += sep + number(job.thresholds.value[0]) + " with lines dt 2 lw 1.5 lc rgb 'black' title " +
         quoted("threshold " + fixed4(job.thresholds.value[0]));
  } else {
    for (int t = first; t < last; ++t) {
      const auto i = static_cast<std::size_t>(t);
      s += sep + number(job.thresholds.value[i]) + " with lines dt 2 lw 1.5 lc rgb " +
           quoted(kColours[i]) + " title " +
           quoted(std::string(kGraphNames[i]) + " threshold " + fixed4(job.thresholds.value[i]));
    }
  }
  for (int t = first; t < last; ++t) {
    const auto i = static_cast<std::size_t>(t);
    std::string column = "$";
    column += std::to_string(t + 2);
    std::string judged = "$";
    judged += std::to_string(t + 2 + kTestCount);
    s += sep + quoted(data) + " using 1:(" + judged + " > 0 ? " + column +
         " : 1/0) with points " + circle + " lc rgb " + quoted(kColours[i]) + " notitle";
  }
  // The key entry of the circles, in no test's colour.
  s += sep + "NaN with points " + circle + " lc rgb 'black' title 'significant frame'";
  return s + "\n";
}

std::string pvalue_picture(const PlotJob& job, const std::string& data) {
  const std::array<int, kTestCount> counts = significant_counts(job.significant);
  std::vector<std::string> stamps;
  if (job.graph.stamped)
    for (const GraphFrame& f : job.graph.frames) stamps.push_back(f.stamp);
  std::string thresholds = nominal(job.thresholds) ? "nominal false alarm threshold"
                                                   : std::to_string(job.thresholds.resamples) +
                                                         " resamples: bootstrapped thresholds";
  std::string s = "reset\n";
  s += "set multiplot layout 2,1 title " +
       quoted(job.title + ": p-values 1 - P by frame (" + thresholds + ")") + "\n";
  s += "set logscale y\nset yrange [" + number(kSmallestPValue * 0.6) + ":1.5]\n";
  // A CDF value written as 1.0000 stands at the bottom line.
  s += "set ytics ('< 0.0001' " + number(kSmallestPValue) +
       ", '0.0001' 0.0001, '0.001' 0.001, '0.01' 0.01, '0.1' 0.1, '1' 1)\n";
  s += "set ylabel " + quoted(kPValueAxis) + "\n";
  s += "set grid xtics ytics lc rgb '#dddddd'\n";
  s += "set key outside right top vertical\nset lmargin 14\nset rmargin 34\n";
  s += x_axis(static_cast<int>(job.graph.frames.size()), stamps);
  s += pvalue_panel(job, data, "Bicorrelation tests", 0, 4, counts);
  s += pvalue_panel(job, data, "Correlation tests", 4, kTestCount, counts);
  s += "unset multiplot\n";
  return s;
}

std::string xy_picture(const PlotJob& job, const std::string& data) {
  const int frames = static_cast<int>(job.xy.records.size());
  float largest = 0.0f;
  std::vector<std::string> stamps;
  for (const XyRecord& r : job.xy.records) {
    for (float v : r.r) largest = std::max(largest, std::fabs(v));
    if (job.xy.stamped) stamps.push_back(r.stamp);
  }
  // A symmetric colour range, so that white is zero.
  const double range = std::max(0.01, std::ceil(largest * 100.0) / 100.0);
  const int lags = job.xy.lags;
  std::string s = "reset\n";
  s += "set title " + quoted(job.title + ": " + std::string(kXyCaption)) + "\n";
  s += x_axis(frames, stamps);
  s += "set ylabel " + quoted(kLagAxis) + "\nset yrange [" + number(-lags - 0.5) + ":" +
       number(lags + 0.5) + "]\n";
  if (lags <= 20) s += "set ytics 1\n";
  s += "set cbrange [" + number(-range) + ":" + number(range) + "]\nset cblabel 'rxy'\n";
  s += "set palette defined (0 '#2166ac', 1 '#ffffff', 2 '#b2182b')\n";
  s += "set tics out\n";
  // An image needs two frames at least; a single frame is drawn as boxes.
  if (frames >= 2)
    s += "plot " + quoted(data) + " using 1:2:3 with image notitle\n";
  else
    s += "plot " + quoted(data) +
         " using 1:2:(0.5):(0.5):3 with boxxyerror fs solid 1.0 noborder fc palette notitle\n";
  return s;
}

std::string render(const std::string& picture, int height, const std::string& png,
                   const std::string& svg) {
  const std::string size = "size " + std::to_string(kWidth) + "," + std::to_string(height);
  std::string s;
  s += "set terminal pngcairo " + size + " noenhanced font 'sans,10' background rgb 'white'\n";
  s += "set output " + quoted(png) + "\n" + picture + "unset output\n";
  s += "set terminal svg " + size + " noenhanced font 'sans,10' background rgb 'white'\n";
  s += "set output " + quoted(svg) + "\n" + picture + "unset output\n";
  return s;
}

}  // namespace

double p_value(float cdf) {
  const long tenths_of_thousandths = std::lround(static_cast<double>(cdf) * 10000.0);
  return std::max(kSmallestPValue, static_cast<double>(10000 - tenths_of_thousandths) / 10000.0);
}

Significance significance_from_graph(const GraphFile& graph, const Thresholds& thresholds) {
  Significance judged;
  for (const GraphFrame& f : graph.frames) {
    std::array<bool, kTestCount> frame{};
    for (std::size_t t = 0; t < kTestCount; ++t)
      frame[t] = p_value(f.cdf[t]) < static_cast<double>(thresholds.value[t]);
    judged.push_back(frame);
  }
  return judged;
}

std::optional<Significance> significance_from_table(const FramesTable& table,
                                                    const GraphFile& graph) {
  if (table.frames.size() != graph.frames.size()) return std::nullopt;
  // The graph file writes each CDF value to four decimals: within half a unit
  // of the fourth decimal (and the 32-bit reading of the text) of the table's.
  constexpr double kRounding = 0.00005 + 1e-6;
  Significance judged;
  for (std::size_t k = 0; k < graph.frames.size(); ++k) {
    for (std::size_t t = 0; t < kTestCount; ++t) {
      const double difference = static_cast<double>(table.frames[k].cdf[t]) -
                                static_cast<double>(graph.frames[k].cdf[t]);
      if (std::fabs(difference) > kRounding) return std::nullopt;
    }
    judged.push_back(table.frames[k].significant);
  }
  return judged;
}

std::array<int, kTestCount> significant_counts(const Significance& significance) {
  std::array<int, kTestCount> counts{};
  for (const std::array<bool, kTestCount>& frame : significance)
    for (std::size_t t = 0; t < kTestCount; ++t) counts[t] += frame[t] ? 1 : 0;
  return counts;
}

std::array<int, kTestCount> significant_counts(const GraphFile& graph,
                                               const Thresholds& thresholds) {
  return significant_counts(significance_from_graph(graph, thresholds));
}

std::string quoted(std::string_view text) {
  std::string s = "'";
  for (char c : text) {
    if (c == '\'') s += '\'';  // a quote is doubled inside single quotes
    s += c;
  }
  return s + "'";
}

std::string pvalue_data(const GraphFile& graph, const Significance& significance) {
  std::string s = "# frame";
  for (std::string_view name : kGraphNames) {
    s += ' ';
    s += name;
  }
  for (std::string_view name : kGraphNames) {
    s += " significant_";
    s += name;
  }
  s += "\n";
  for (std::size_t k = 0; k < graph.frames.size(); ++k) {
    const GraphFrame& f = graph.frames[k];
    s += std::to_string(f.number);
    for (float cdf : f.cdf) {
      s += ' ';
      s += number(p_value(cdf));
    }
    for (std::size_t t = 0; t < kTestCount; ++t)
      s += k < significance.size() && significance[k][t] ? " 1" : " 0";
    s += "\n";
  }
  return s;
}

std::string xy_data(const XyGraphFile& xy) {
  std::string s = "# frame lag rxy\n";
  int k = 0;
  for (const XyRecord& r : xy.records) {
    ++k;
    for (std::size_t j = 0; j < r.r.size(); ++j) {
      char line[64];
      std::snprintf(line, sizeof line, "%d %d %.3f\n", k, static_cast<int>(j) - xy.lags,
                    static_cast<double>(r.r[j]));
      s += line;
    }
    s += "\n";
  }
  return s;
}

std::string gnuplot_script(const PlotJob& job, const std::string& pvalues_data,
                           const std::string& xy_data_path) {
  std::string s = "# Written by vok-plot for " + job.title + "\n";
  s += render(pvalue_picture(job, pvalues_data), kPValueHeight, job.pvalues_png, job.pvalues_svg);
  s += render(xy_picture(job, xy_data_path), kXyHeight, job.xy_png, job.xy_svg);
  return s;
}

}  // namespace vok::plot
