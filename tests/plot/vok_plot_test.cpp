// vok-plot on real runs: the shipped example and a run with stamped rows are
// drawn as PNG and SVG pictures with something in them; missing or malformed
// files, a missing gnuplot and wrong arguments give a message and a non-zero
// status.
#include "vok_plot.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>

#include "report/threshold_lines.h"
#include "report/frames_table.h"
#include "control/options.h"
#include "e2e/run_in_dir.h"
#include "plot/plot_test_helpers.h"
#include "plot/png_image.h"
#include "plot_input.h"
#include "plot_script.h"

namespace vok::plot {
namespace {

using e2e::RunDir;
using testing::count;
using testing::environment_path;
using testing::plot;
using testing::PlotResult;
using testing::source_file;
using testing::png_size;
using testing::PngImage;

bool have_gnuplot() {
  return !find_program("gnuplot", environment_path()).empty();
}

// A text as gnuplot writes it in an SVG file ("<" and "&" escaped).
std::string as_in_svg(std::string_view text) {
  std::string s;
  for (char c : text) {
    if (c == '<')
      s += "&lt;";
    else if (c == '&')
      s += "&amp;";
    else
      s += c;
  }
  return s;
}

#ifdef VOK_HAVE_ZLIB
using testing::read_png;

struct PixelCounts {
  std::size_t not_white = 0;
  std::size_t distinct = 0;
};

PixelCounts pixel_counts(const PngImage& image) {
  std::set<std::uint32_t> colours(image.pixels.begin(), image.pixels.end());
  PixelCounts c;
  c.distinct = colours.size();
  for (std::uint32_t p : image.pixels) c.not_white += p != 0xffffff;
  return c;
}

std::size_t pixels_of(const PngImage& image, std::uint32_t rgb) {
  std::size_t n = 0;
  for (std::uint32_t p : image.pixels) n += p == rgb;
  return n;
}

// What the PNG pictures of the shipped example hold.
void check_example_pixels(const std::string& name) {
  // The p-values: two panels of lines in the tests' colours on white.
  PngImage pvalues = read_png(name + "-pvalues.png");
  ASSERT_EQ(pvalues.pixels.size(), 1200u * 900u);
  PixelCounts c = pixel_counts(pvalues);
  const double drawn =
      static_cast<double>(c.not_white) / static_cast<double>(pvalues.pixels.size());
  EXPECT_GT(drawn, 0.02);
  EXPECT_LT(drawn, 0.5);
  EXPECT_GE(c.distinct, 20u);  // seven colours, black, grid grey and their anti-aliased edges
  for (std::uint32_t colour : {0x1f77b4u, 0xd62728u, 0x2ca02cu, 0x9467bdu, 0xff7f0eu}) {
    SCOPED_TRACE(colour);
    EXPECT_GT(pixels_of(pvalues, colour), 200u);
  }

  // The heat map: a field of blues and reds.
  PngImage xy = read_png(name + "-xy.png");
  ASSERT_EQ(xy.pixels.size(), 1200u * 700u);
  c = pixel_counts(xy);
  EXPECT_GT(static_cast<double>(c.not_white) / static_cast<double>(xy.pixels.size()), 0.3);
  EXPECT_GE(c.distinct, 100u);
  std::size_t reddish = 0, bluish = 0;
  for (std::uint32_t p : xy.pixels) {
    const int red = static_cast<int>(p >> 16), blue = static_cast<int>(p & 0xff);
    reddish += red - blue > 60;
    bluish += blue - red > 60;
  }
  EXPECT_GT(reddish, 5000u);
  EXPECT_GT(bluish, 5000u);
}
#endif

// The shipped example, run once for all tests of the suite.
class ShippedExample : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<RunDir>();
    for (const char* name : {"Runvok.cnl", "runA.cnl", "runB.cnl", "example.dat"})
      dir_->write(name, source_file(std::string("examples/") + name));
    ASSERT_EQ(dir_->run().status, 0);
  }
  static void TearDownTestSuite() { dir_.reset(); }

  static std::string name() { return (dir_->path() / "runA_1-_2").string(); }

  static std::unique_ptr<RunDir> dir_;
};

std::unique_ptr<RunDir> ShippedExample::dir_;

TEST_F(ShippedExample, DrawsPngAndSvgPictures) {
  if (!have_gnuplot()) GTEST_SKIP() << "gnuplot is not installed (apt-get install gnuplot-nox)";
  PlotResult r = plot({name()});
  ASSERT_EQ(r.status, kDone) << r.err;
  EXPECT_EQ(r.out, name() + "-pvalues.png\n" + name() + "-pvalues.svg\n" + name() + "-xy.png\n" +
                       name() + "-xy.svg\n");
  EXPECT_EQ(r.err, "");

  EXPECT_EQ(png_size(name() + "-pvalues.png").width, 1200u);
  EXPECT_EQ(png_size(name() + "-pvalues.png").height, 900u);
  EXPECT_EQ(png_size(name() + "-xy.png").width, 1200u);
  EXPECT_EQ(png_size(name() + "-xy.png").height, 700u);
#ifdef VOK_HAVE_ZLIB
  check_example_pixels(name());
#else
  std::cerr << "(pixels of the PNG pictures not checked: built without zlib)\n";
#endif

  const std::string svg = dir_->read("runA_1-_2-pvalues.svg");
  EXPECT_TRUE(svg.starts_with("<?xml")) << svg.substr(0, 100);
  EXPECT_NE(svg.find("width=\"1200\" height=\"900\""), std::string::npos);
  EXPECT_GT(count(svg, "<path"), 20u);
  for (std::string_view text :
       {"Bicorrelation tests", "Correlation tests", "Hxxy (", "Cxy threshold", "significant frame",
        "100 resamples", kPValueAxis.data(), kFrameAxis.data()}) {
    SCOPED_TRACE(text);
    EXPECT_NE(svg.find(text), std::string::npos);
  }
  // The counts in the key are those of the report.
  const std::string report = dir_->read("runA_1-_2.out");
  const std::size_t at = report.find("significant xxy frames");
  ASSERT_NE(at, std::string::npos);
  const int xxy = std::atoi(report.substr(report.rfind('\n', at) + 1, 7).c_str());
  EXPECT_NE(svg.find("Hxxy (" + std::to_string(xxy) + " significant)"), std::string::npos);

  const std::string xy_svg = dir_->read("runA_1-_2-xy.svg");
  EXPECT_NE(xy_svg.find("width=\"1200\" height=\"700\""), std::string::npos);
  EXPECT_NE(xy_svg.find("cross-correlations rxy by frame and lag"), std::string::npos);
  EXPECT_NE(xy_svg.find(as_in_svg(kXyCaption)), std::string::npos);
  EXPECT_NE(xy_svg.find(kLagAxis), std::string::npos);
  EXPECT_NE(xy_svg.find(kFrameAxis), std::string::npos);
  EXPECT_NE(xy_svg.find("<image"), std::string::npos);
}

TEST_F(ShippedExample, MissingGnuplotSaysHowToInstallIt) {
  RunDir empty;
  PlotResult r = plot({name()}, empty.path().string());
  EXPECT_EQ(r.status, kNoGnuplot);
  EXPECT_EQ(r.err, "vok-plot: gnuplot not found; install it with: apt-get install gnuplot-nox\n");
  EXPECT_EQ(r.out, "");
}

TEST_F(ShippedExample, MissingFilesAreNamed) {
  PlotResult r = plot({(dir_->path() / "runB_1-_2").string()});  // graphing=no: no graph file
  EXPECT_EQ(r.status, kBadInput);
  EXPECT_EQ(r.err, "vok-plot: cannot open " + (dir_->path() / "runB_1-_2.graph").string() +
                       ": No such file or directory\n");
  EXPECT_FALSE(std::filesystem::exists(dir_->path() / "runB_1-_2-pvalues.png"));

  r = plot({(dir_->path() / "runA_3-_4").string()});
  EXPECT_EQ(r.status, kBadInput);
  EXPECT_NE(r.err.find("cannot open " + (dir_->path() / "runA_3-_4.graph").string()),
            std::string::npos);

  r = plot({(dir_->path() / "runA").string()});
  EXPECT_EQ(r.status, kBadInput);
  EXPECT_NE(r.err.find("does not end with a column tag"), std::string::npos) << r.err;
}

// A copy of the example's files in which one file is spoiled.
TEST_F(ShippedExample, MalformedFilesGiveTheFileAndLine) {
  struct Case {
    std::string file;
    std::string from, to;  // the first `from` in the file becomes `to`
    std::string message;
  };
  const Case cases[] = {
      {"runA_1-_2.graph", "    +3 +", "    +3 x", "runA_1-_2.graph, line 3: not a graph record"},
      {"runA_1-_2.graph", "    +3 ", "    +4 ", "line 3: frame 4 where frame 3 should stand"},
      {"runA-xy.graph", "xy(  0)", "xy(   )", "a lag caption that is not"},
      {"runA_1-_2.out", "Bootstrapped", "Resampled", "no false alarm thresholds"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file + ": " + c.to);
    RunDir copy;
    for (const char* f : {"runA_1-_2.graph", "runA-xy.graph", "runA_1-_2.out"}) {
      std::string text = dir_->read(f);
      if (c.file == f) {
        const std::size_t at = text.find(c.from);
        ASSERT_NE(at, std::string::npos);
        text.replace(at, c.from.size(), c.to);
      }
      copy.write(f, text);
    }
    PlotResult r = plot({(copy.path() / "runA_1-_2").string()});
    EXPECT_EQ(r.status, kBadInput);
    EXPECT_TRUE(r.err.starts_with("vok-plot: " + copy.path().string() + "/")) << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_FALSE(std::filesystem::exists(copy.path() / "runA_1-_2-pvalues.png"));
  }
}

TEST(VokPlotArguments, UsageAndHelp) {
  for (const std::vector<std::string>& args :
       {std::vector<std::string>{}, {"a_1-_2", "b_1-_2"}, {"--frobnicate"}}) {
    PlotResult r = plot(args);
    EXPECT_EQ(r.status, kUsage);
    EXPECT_TRUE(r.err.starts_with("usage: vok-plot NAME\n")) << r.err;
  }
  PlotResult r = plot({"--help"});
  EXPECT_EQ(r.status, kDone);
  EXPECT_TRUE(r.out.starts_with("usage: vok-plot NAME\n"));
  EXPECT_NE(r.out.find("--version"), std::string::npos);
  EXPECT_EQ(r.err, "");
}

// vok-plot carries the version of vok.
TEST(VokPlotArguments, Version) {
  PlotResult r = plot({"--version"});
  EXPECT_EQ(r.status, kDone);
  EXPECT_EQ(r.out, "vok-plot " + vok::version_text().substr(std::string_view("vok ").size()));
  EXPECT_EQ(r.err, "");
  r = plot({"--version", "runA_1-_2"});
  EXPECT_EQ(r.status, kUsage);
  EXPECT_EQ(r.out, "");
}

// The caption's reading of the lag's sign holds on data where y goes ahead of
// x by three observations: every frame's largest cross-correlation stands at
// lag +3.
TEST(LagSign, YAheadOfXPeaksAtAPositiveLag) {
  constexpr int kLead = 3, kRows = 400;
  ASSERT_NE(std::string(kXyCaption).find("s > 0, y leads x"), std::string::npos);
  std::vector<double> y(kRows + kLead);
  std::uint32_t state = 12345;
  auto uniform = [&state] {
    state = state * 1664525u + 1013904223u;
    return static_cast<double>(state >> 8) / 16777216.0 - 0.5;
  };
  for (double& v : y) v = uniform();
  std::string data = "y ahead of x\nrows=400 columns=2 interval=1.0 format=(2f12.5)\n";
  for (int t = kLead; t < kRows + kLead; ++t) {
    char row[40];
    std::snprintf(row, sizeof row, "%12.5f%12.5f\n", y[t - kLead] + 0.2 * uniform(), y[t]);
    data += row;
  }
  RunDir dir;
  dir.write("Runvok.cnl",
            "Number of runs=1 *\nexponent=0.4 *\nfalse alarm=0.05 *\nframe length=100 *\n"
            "overlap=0 *\nVAR lag=0 *\nresamples=0 # *\nlead.cnl *\n");
  dir.write("lead.cnl",
            "column-x=1 *\ncolumn-y=2 *\ngraphing=yes *\nunit=seconds *\n"
            "data file name=lead.dat *\nstart datum=1 *\nend datum=0 *\n#\n");
  dir.write("lead.dat", data);
  ASSERT_EQ(dir.run().status, 0);
  const XyGraphFile xy = parse_xy_graph(dir.read("lead-xy.graph"), "lead-xy.graph");
  ASSERT_EQ(xy.records.size(), 4u);
  ASSERT_GE(xy.lags, kLead);
  for (const XyRecord& record : xy.records) {
    const auto peak = std::max_element(record.r.begin(), record.r.end()) - record.r.begin();
    EXPECT_EQ(peak - xy.lags, kLead);
  }
}

// Rows with date-and-time stamps: the frames are labelled with their start
// stamps on both pictures.
TEST(StampedRun, FramesLabelledWithTheirStartStamps) {
  if (!have_gnuplot()) GTEST_SKIP() << "gnuplot is not installed (apt-get install gnuplot-nox)";
  RunDir dir;
  dir.write("Runvok.cnl",
            "Number of runs=1 *\nexponent=0.4 *\nfalse alarm=0.05 *\nframe length=100 *\n"
            "overlap=0 *\nVAR lag=1 *\nresamples=0 # *\nstamped.cnl *\n");
  dir.write("stamped.cnl",
            "column-x=1 *\ncolumn-y=2 *\ngraphing=yes *\nunit=seconds *\n"
            "data file name=stamped.dat *\nstart datum=1 *\nend datum=0 *\n#\n");
  std::istringstream example(source_file("examples/example.dat"));
  std::string line;
  std::getline(example, line);
  std::getline(example, line);
  std::string data = "Stamped rows\nrows=600 columns=2 interval=1.0 format=(a19,1x,2f12.5)\n";
  for (int i = 0; i < 600 && std::getline(example, line); ++i) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "2024-05-01 %02d:%02d:%02d", i / 3600, i / 60 % 60, i % 60);
    data += std::string(stamp) + " " + line + "\n";
  }
  dir.write("stamped.dat", data);
  ASSERT_EQ(dir.run().status, 0);

  PlotResult r = plot({(dir.path() / "stamped_1-_2").string()});
  ASSERT_EQ(r.status, kDone) << r.err;
  for (const char* file : {"stamped_1-_2-pvalues.svg", "stamped_1-_2-xy.svg"}) {
    SCOPED_TRACE(file);
    const std::string svg = dir.read(file);
    EXPECT_NE(svg.find("2024-05-01 00:00:00"), std::string::npos);  // frame 1
    EXPECT_NE(svg.find("2024-05-01 00:08:20"), std::string::npos);  // frame 6, row 501
    EXPECT_NE(svg.find(kStampAxis), std::string::npos);
  }
  EXPECT_NE(dir.read("stamped_1-_2-pvalues.svg").find("threshold 0.0500"), std::string::npos);
  EXPECT_EQ(png_size((dir.path() / "stamped_1-_2-pvalues.png").string()).height, 900u);
}

// Two frames whose p-values lie within the graph file's rounding of their
// thresholds, so that its four decimals judge them otherwise than the run:
// frame 1's Hxxy CDF 0.95004 (p 0.04996 < 0.04999: significant) is written
// 0.9500 (p 0.0500: not below 0.04999); frame 2's Hyyx CDF 0.94996 (p 0.05004:
// not below 0.05002) is written 0.9500 (p 0.0500 < 0.05002: significant).
class JudgedNearTheThreshold : public ::testing::Test {
 protected:
  void SetUp() override {
    std::array<Frame, 2> frames;
    std::string graph, xy;
    for (int k = 1; k <= 2; ++k) {
      Frame& f = frames[static_cast<std::size_t>(k - 1)];
      f.number = k;
      f.first_row = 100 * k - 99;
      f.last_row = 100 * k;
      for (vok::Test t : vok::kTests) f.cdf[t] = 0.5f;
      f.cdf.hxxy = k == 1 ? 0.95004f : 0.5f;
      f.cdf.hyyx = k == 2 ? 0.94996f : 0.5f;
      f.significant.hxxy = k == 1;
      char record[80];
      // SP I6 7(1X F7.4): Hxxy Hyyx Hxxx Hyyy Cxy Cx Cy.
      std::snprintf(record, sizeof record,
                    "%+6d %+7.4f %+7.4f %+7.4f %+7.4f %+7.4f %+7.4f %+7.4f\n", k,
                    static_cast<double>(f.cdf.hxxy), static_cast<double>(f.cdf.hyyx),
                    static_cast<double>(f.cdf.hxxx), static_cast<double>(f.cdf.hyyy),
                    static_cast<double>(f.cdf.cxy), static_cast<double>(f.cdf.cx),
                    static_cast<double>(f.cdf.cy));
      graph += record;
      xy += " 0.100  -0.200   0.300  \n";
    }
    dir_.write("near_1-_2.graph",
               graph + "\nWind      xxy    yyx     xxx     yyy      xy      xx      yy\n");
    dir_.write("near-xy.graph", xy + "xy( -1) xy(  0) xy(  1) \n");
    Channel report;
    report.capture();
    // kTests order: Hxxy Hyyx Hxxx Hyyy Cx Cy Cxy.
    write_bootstrap_block(report, 100, {0.04999f, 0.05002f, 0.05f, 0.05f, 0.05f, 0.05f, 0.05f});
    dir_.write("near_1-_2.out", report.text());
    table_ = frames_table_header(false);
    for (const Frame& f : frames) table_ += frames_table_row(f, false);
  }

  // The key of the bicorrelation panel: "Hxxy (n significant)" for Hxxy and Hyyx.
  std::pair<std::string, std::string> plotted(const std::string& expected_err = "") {
    PlotResult r = plot({(dir_.path() / "near_1-_2").string()});
    EXPECT_EQ(r.status, kDone) << r.err;
    EXPECT_EQ(r.err, expected_err);
    const std::string svg = dir_.read("near_1-_2-pvalues.svg");
    const auto key = [&svg](const std::string& test) {
      const std::size_t at = svg.find(test + " (");
      return at == std::string::npos ? std::string() : svg.substr(at, svg.find(')', at) - at + 1);
    };
    return {key("Hxxy"), key("Hyyx")};
  }

  RunDir dir_;
  std::string table_;
};

TEST_F(JudgedNearTheThreshold, TheRunsFrameTableDecides) {
  if (!have_gnuplot()) GTEST_SKIP() << "gnuplot is not installed (apt-get install gnuplot-nox)";
  dir_.write("near_1-_2.csv", table_);
  EXPECT_EQ(plotted(), std::make_pair(std::string("Hxxy (1 significant)"),
                                      std::string("Hyyx (0 significant)")));
}

TEST_F(JudgedNearTheThreshold, WithoutTheTableTheGraphFilesFourDecimalsDecide) {
  if (!have_gnuplot()) GTEST_SKIP() << "gnuplot is not installed (apt-get install gnuplot-nox)";
  const auto graph_judgement = std::make_pair(std::string("Hxxy (0 significant)"),
                                              std::string("Hyyx (1 significant)"));
  EXPECT_EQ(plotted(), graph_judgement);

  // A table of another run (other CDF values) is passed over, with a warning.
  const std::string table = dir_.path() / "near_1-_2.csv";
  std::string other = table_;
  other.replace(other.find("0.95004"), 7, "0.96004");
  dir_.write("near_1-_2.csv", other);
  EXPECT_EQ(plotted("vok-plot: warning: " + table + " does not match " +
                    (dir_.path() / "near_1-_2.graph").string() +
                    " (other CDF values or frames); the significant frames are judged from the "
                    "graph file's four decimals\n"),
            graph_judgement);
}

// The same judgements as the plot draws them, without gnuplot.
TEST_F(JudgedNearTheThreshold, SignificanceOfTableAndGraph) {
  const GraphFile graph = parse_graph(dir_.read("near_1-_2.graph"), "g");
  const Thresholds thresholds = parse_thresholds(dir_.read("near_1-_2.out"), "r");
  std::array<bool, kTestCount> none{}, hxxy{}, hyyx{};
  hxxy[0] = true;
  hyyx[1] = true;
  EXPECT_EQ(significance_from_graph(graph, thresholds), (Significance{none, hyyx}));
  const FramesTable table = parse_frames_table(table_, "t");
  EXPECT_EQ(significance_from_table(table, graph), (Significance{hxxy, none}));
  // The circles are drawn from the judgements in the data's last seven columns.
  const std::string data = pvalue_data(graph, Significance{hxxy, none});
  EXPECT_NE(data.find(" 1 0 0 0 0 0 0\n2 "), std::string::npos) << data;
  EXPECT_TRUE(data.ends_with(" 0 0 0 0 0 0 0\n")) << data;
  // Tables that do not belong to the graph file.
  FramesTable shorter = table;
  shorter.frames.pop_back();
  EXPECT_EQ(significance_from_table(shorter, graph), std::nullopt);
  FramesTable off = table;
  off.frames[1].cdf[6] += 0.0001f;  // Cy: beyond the rounding of 0.5000
  EXPECT_EQ(significance_from_table(off, graph), std::nullopt);
}

}  // namespace
}  // namespace vok::plot
