// The run's page (vok-plot --html): what it reads, what it shows, that it
// needs nothing from elsewhere, and what a real browser makes of it:
// headless Chromium loads the page of the shipped example, its DOM holds the
// run's numbers, its screenshot shows both drawings, and a click on a heading
// sorts the frame table.
#include "run_page.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "control/program.h"
#include "e2e/run_in_dir.h"
#include "plot/plot_test_helpers.h"
#include "plot/png_image.h"
#include "plot_input.h"
#include "plot_script.h"
#include "vok_plot.h"

namespace vok::plot {
namespace {

using e2e::RunDir;
using namespace testing;  // the plot tests' helpers and the PNG reader

// The cells of one column of the page's frame table, top to bottom.
std::vector<std::string> column_cells(const std::string& html, std::size_t column) {
  std::vector<std::string> cells;
  const std::size_t body = html.find("<tbody>", html.find("id=\"frames\""));
  const std::size_t end = html.find("</tbody>", body);
  static const std::regex kRow("<tr>(.*?)</tr>");
  static const std::regex kCell("<td[^>]*data-v=\"([^\"]*)\"");
  const std::string rows = html.substr(body, end - body);
  for (auto row = std::sregex_iterator(rows.begin(), rows.end(), kRow);
       row != std::sregex_iterator(); ++row) {
    const std::string text = (*row)[1].str();
    auto cell = std::sregex_iterator(text.begin(), text.end(), kCell);
    for (std::size_t c = 0; c < column && cell != std::sregex_iterator(); ++c) ++cell;
    if (cell != std::sregex_iterator()) cells.push_back((*cell)[1].str());
  }
  return cells;
}

// The shipped example run with --results, its page written once.
class ExamplePage : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = std::make_unique<RunDir>();
    for (const char* name : {"Runvok.cnl", "runA.cnl", "runB.cnl", "example.dat"})
      dir_->write(name, source_file(std::string("examples/") + name));
    ExecutionOptions options;
    options.results_file = true;
    ASSERT_EQ(dir_->run(1, options).status, 0);
    const PlotResult r = plot({"--html", name()});
    ASSERT_EQ(r.status, kDone) << r.err;
    ASSERT_EQ(r.out, name() + ".html\n");
    EXPECT_EQ(r.err, "");
    html_ = dir_->read("runA_1-_2.html");
  }
  static void TearDownTestSuite() { dir_.reset(); }

  static std::string name() { return (dir_->path() / "runA_1-_2").string(); }
  static std::string file(const std::string& n) { return (dir_->path() / n).string(); }

  static std::unique_ptr<RunDir> dir_;
  static std::string html_;
};

std::unique_ptr<RunDir> ExamplePage::dir_;
std::string ExamplePage::html_;

TEST_F(ExamplePage, NeedsNothingFromElsewhere) {
  ASSERT_FALSE(html_.empty());
  EXPECT_TRUE(html_.starts_with("<!DOCTYPE html>"));
  for (std::string_view outside : {"http:", "https:", "src=", "<link", "url(", "@import", "//"})
    EXPECT_EQ(html_.find(outside), std::string::npos) << outside;
  EXPECT_EQ(count(html_, "<svg"), 3u);  // two p-value panels and the map
  EXPECT_EQ(count(html_, "<script>"), 1u);
}

TEST_F(ExamplePage, ShowsTheReportsThresholdsAndCounts) {
  const std::string report = dir_->read("runA_1-_2.out");
  const Thresholds thresholds = parse_thresholds(report, "report");
  const ReportCounts counts = parse_counts(report, "report");
  EXPECT_NE(html_.find("100 bootstrapped false alarm thresholds"), std::string::npos);
  for (std::size_t t = 0; t < kTestCount; ++t) {
    SCOPED_TRACE(kGraphNames[t]);
    char threshold[32];
    const auto end =
        std::to_chars(threshold, threshold + sizeof threshold, thresholds.value[t]).ptr;
    const std::string row =
        std::string(kGraphNames[t]) + "</td><td>" + std::string(threshold, end) + "</td><td>" +
        std::to_string(counts.frames[t]) + "</td><td>" + counts.share[t] + "</td>";
    EXPECT_NE(html_.find(row), std::string::npos) << row;
    EXPECT_NE(html_.find(std::string(kGraphNames[t]) + " (" + std::to_string(counts.frames[t]) +
                         " significant)"),
              std::string::npos);
  }
  // The report's head, and the settings of the results file.
  EXPECT_NE(html_.find("Window Length  200  No. of frames =      12"), std::string::npos);
  EXPECT_NE(html_.find("<td class=\"text\">frame_length</td><td class=\"text\">200</td>"),
            std::string::npos);
  EXPECT_NE(html_.find("<td class=\"text\">exponent</td><td class=\"text\">0.4</td>"),
            std::string::npos);
}

TEST_F(ExamplePage, TheFrameTableIsTheRunsTable) {
  const FramesTable table = parse_frames_table(dir_->read("runA_1-_2.csv"), "table");
  ASSERT_EQ(table.frames.size(), 12u);
  // Columns: frame, first_row, last_row, then the p-values in the table's
  // column order (Cx, Cy, Cxy, Hxxx, Hyyy, Hxxy, Hyyx).
  const auto column = [&](const std::string& name) {
    return static_cast<std::size_t>(std::find(table.columns.begin(), table.columns.end(), name) -
                                    table.columns.begin());
  };
  const std::vector<std::string> shown = {"frame",       "first_row",  "last_row",    "pvalue_Cx",
                                          "pvalue_Cy",   "pvalue_Cxy", "pvalue_Hxxx", "pvalue_Hyyy",
                                          "pvalue_Hxxy", "pvalue_Hyyx"};
  for (std::size_t c = 0; c < shown.size(); ++c) {
    SCOPED_TRACE(shown[c]);
    std::vector<std::string> want;
    for (const auto& row : table.fields) want.push_back(row[column(shown[c])]);
    EXPECT_EQ(column_cells(html_, c), want);
  }
  // The significant cells marked, as many as the table's judgements; the
  // statistic, degrees of freedom and q-value of each on hover.
  std::size_t significant = 0;
  for (const TableFrame& f : table.frames)
    significant +=
        static_cast<std::size_t>(std::count(f.significant.begin(), f.significant.end(), true));
  EXPECT_EQ(count(html_, "class=\"sig\""), significant);
  const auto& first = table.fields[0];
  const std::string hover = "statistic " + first[column("statistic_Hxxy")] + " on " +
                            first[column("df_Hxxy")] + " df; q-value " +
                            first[column("qvalue_Hxxy")];
  EXPECT_NE(html_.find(hover), std::string::npos) << hover;
}

TEST_F(ExamplePage, DrawsEveryTestAndTheWholeMap) {
  // Each test's line in its own colour, a circle per significant frame.
  std::set<std::string> colours;
  for (std::size_t t = 0; t < kTestCount; ++t) {
    colours.insert(std::string(kTestColours[t]));
    EXPECT_NE(html_.find("<polyline fill=\"none\" stroke=\"" + std::string(kTestColours[t])),
              std::string::npos)
        << kGraphNames[t];
  }
  EXPECT_EQ(colours.size(), kTestCount);
  const ReportCounts counts = parse_counts(dir_->read("runA_1-_2.out"), "report");
  int circles = 0;
  for (int n : counts.frames) circles += n;
  EXPECT_EQ(count(html_, "class=\"significant\""), static_cast<std::size_t>(circles));
  // 12 frames by 17 lags, each cell titled with the results file's value.
  // (Less the colour scale's 20 and the two p-value panels' backgrounds.)
  EXPECT_EQ(count(html_, "<rect x=") - 20 - 2, 12u * 17u);
  EXPECT_NE(html_.find("<title>frame 1, lag -8: "), std::string::npos);
  EXPECT_NE(html_.find("<title>frame 12, lag 8: "), std::string::npos);
  // The p-values drawn are the results file's 64-bit ones.
  const JsonValue results = parse_json(dir_->read("runA_1-_2.json"));
  const JsonValue& frame9 = results["frames"].items[8];
  ASSERT_TRUE(frame9["significant"]["Hxxy"].boolean);
  char p[32];
  const double hxxy = frame9["pvalue"]["Hxxy"].number;
  const auto end = std::to_chars(p, p + sizeof p, hxxy).ptr;
  ASSERT_NE(static_cast<double>(static_cast<float>(hxxy)), hxxy);
  EXPECT_NE(html_.find("<title>frame 9, Hxxy p = " + std::string(p, end) + "</title>"),
            std::string::npos)
      << std::string(p, end);
}

TEST_F(ExamplePage, WithoutResultsFileOrXyGraphTheTableAndReportSuffice) {
  // runB has no graph files; its results file is taken away.
  std::filesystem::remove(file("runB_1-_2.json"));
  const PlotResult r = plot({"--html", file("runB_1-_2")});
  ASSERT_EQ(r.status, kDone) << r.err;
  const std::string page = dir_->read("runB_1-_2.html");
  EXPECT_NE(page.find("id=\"no-xy\""), std::string::npos);
  EXPECT_NE(page.find("The p-values of the frame table"), std::string::npos);
  EXPECT_EQ(page.find("id=\"settings\""), std::string::npos);
  EXPECT_EQ(page.find("Cautions"), std::string::npos);
  EXPECT_EQ(count(page, "<svg"), 2u);
}

TEST_F(ExamplePage, MissingAndMalformedInputsAreNamed) {
  struct Case {
    const char* what;
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  dir_->write("bad_1-_2.out", dir_->read("runA_1-_2.out"));
  dir_->write("bad_1-_2.csv", dir_->read("runA_1-_2.csv"));
  dir_->write("bad_1-_2.json", "{\"frames\": [1, 2,");
  const std::string report = dir_->read("runA_1-_2.out");
  dir_->write("cut_1-_2.out", report.substr(0, report.find("significant xxy")));
  dir_->write("cut_1-_2.csv", dir_->read("runA_1-_2.csv"));
  const Case cases[] = {
      {"no table", {"--html", file("none_1-_2")}, kBadInput, file("none_1-_2.out")},
      {"broken results file",
       {"--html", file("bad_1-_2")},
       kBadInput,
       file("bad_1-_2.json") + ": not a results file"},
      {"report of a run cut short",
       {"--html", file("cut_1-_2")},
       kBadInput,
       "no lines of significant frames"},
      {"no name", {"--html"}, kUsage, "usage: vok-plot NAME"},
      {"an option for a name", {"--html", "--version"}, kUsage, "usage: vok-plot NAME"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const PlotResult r = plot(c.args);
    EXPECT_EQ(r.status, c.status);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_FALSE(dir_->exists("bad_1-_2.html"));
}

// A page put together from its parts: two frames, stamps that need
// escaping, cautions when the results file has them.
RunPage small_page(const std::string& results) {
  RunPage page;
  page.title = "tiny_1-_2";
  page.head = "Title <with> & \"quotes\"";
  page.thresholds.value.fill(0.05f);
  page.counts.frames = {1, 0, 0, 0, 0, 0, 0};
  page.counts.share = {"50.0%", "0.0%", "0.0%", "0.0%", "0.0%", "0.0%", "0.0%"};
  std::string csv = "frame,first_row,last_row,start,end";
  for (std::string_view t : {"Cx", "Cy", "Cxy", "Hxxx", "Hyyy", "Hxxy", "Hyyx"})
    csv +=
        ",cdf_" + std::string(t) + ",pvalue_" + std::string(t) + ",significant_" + std::string(t);
  csv += "\n1,1,20,\"a<b\",\"x & y\"";
  for (int t = 0; t < 7; ++t) csv += t == 5 ? ",0.99,0.01,true" : ",0.5,0.5,false";
  csv += "\n2,21,40,c,d";
  for (int t = 0; t < 7; ++t) csv += ",0.25,0.75,false";
  csv += "\n";
  page.table = parse_frames_table(csv, "tiny.csv");
  if (!results.empty()) page.results = parse_json(results);
  return page;
}

TEST(RunPage, CautionsShownWhenTheResultsFileHasThem) {
  struct Case {
    const char* what;
    std::string results;
    std::vector<std::string> shown;
  };
  const Case cases[] = {
      {"no results file", "", {}},
      {"no cautions member", R"({"settings": {}})", {}},
      {"none", R"({"cautions": []})", {}},
      {"objects",
       R"({"cautions": [{"kind": "changing_variance", "message": "Changing variance in x <here>"},
                        {"kind": "clip_with_data_bootstrap", "message": "Clipped series"}]})",
       {"<b>changing_variance:</b> Changing variance in x &lt;here&gt;",
        "<b>clip_with_data_bootstrap:</b> Clipped series"}},
      {"plain texts",
       R"({"cautions": ["one", "two"]})",
       {"<p class=\"caution\">one</p>", "<p class=\"caution\">two</p>"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string page = run_page_html(small_page(c.results));
    EXPECT_EQ(page.find("<h2>Cautions</h2>") != std::string::npos, !c.shown.empty());
    EXPECT_EQ(count(page, "class=\"caution\""), c.shown.size());
    for (const std::string& text : c.shown) EXPECT_NE(page.find(text), std::string::npos) << text;
  }
}

TEST(RunPage, TextOfTheFilesIsEscaped) {
  const std::string page = run_page_html(small_page(""));
  EXPECT_NE(page.find("Title &lt;with&gt; &amp; &quot;quotes&quot;"), std::string::npos);
  EXPECT_NE(page.find("data-v=\"a&lt;b\">a&lt;b</td>"), std::string::npos);
  EXPECT_NE(page.find("data-v=\"x &amp; y\">x &amp; y</td>"), std::string::npos);
  EXPECT_EQ(page.find("a<b"), std::string::npos);
  // The one significant cell: Hxxy of frame 1.
  EXPECT_EQ(count(page, "class=\"sig\""), 1u);
  EXPECT_NE(page.find("class=\"sig\" title=\"statistic - on - df; q-value -; significant\" "
                      "data-v=\"0.01\">0.01<"),
            std::string::npos);
}

TEST(RunPageReport, CountsAndHead) {
  const std::string report =
      "  Title line\n\n Window Length   48   \n======\n          Other\n"
      "      8  ( 80.0%) significant xxy frames\n"
      "      4  ( 40.0%) significant yyx frames\n"
      "      0  (  0.0%) significant xxx frames\n"
      "      4  ( 40.0%) significant yyy frames\n"
      "      6  ( 60.0%) significant xx frames\n"
      "      1  ( 10.0%) significant yy frames\n"
      "     10  (100.0%) significant xy frames\n"
      "           8  ( 80.0%) significant xxy frames\n";
  EXPECT_EQ(report_head(report), "  Title line\n\n Window Length   48\n");
  const ReportCounts counts = parse_counts(report, "r.out");
  // kGraphNames order: Hxxy Hyyx Hxxx Hyyy Cxy Cx Cy.
  EXPECT_EQ(counts.frames, (std::array<int, kTestCount>{8, 4, 0, 4, 10, 6, 1}));
  EXPECT_EQ(counts.share[4], "100.0%");
  try {
    parse_counts(report.substr(0, report.find("      6")), "r.out");
    ADD_FAILURE() << "no error";
  } catch (const InputError& e) {
    EXPECT_NE(std::string(e.what()).find("r.out: no lines of significant frames"),
              std::string::npos);
  }
}

// Headless Chromium, run on the page; its standard error is dropped.
class Browser : public ExamplePage {
 protected:
  static std::string chromium() { return find_program("chromium", environment_path()); }

  // Runs chromium with `what` (--dump-dom, --screenshot=...) on `page`;
  // returns its standard output.
  static std::string run(const std::string& what, const std::string& page) {
    const std::string profile = file("chromium-profile");
    std::filesystem::create_directories(profile);
    const std::string out = file("chromium.out");
    const std::string command =
        "cd '" + dir_->path().string() + "' && '" + chromium() +
        "' --headless --no-sandbox --disable-gpu --disable-quic --no-first-run "
        "--disable-background-networking --disable-component-update --disable-sync "
        "--disable-dev-shm-usage "
        "--user-data-dir='" +
        profile + "' --window-size=1100,2400 " + what + " 'file://" + page + "' > '" + out +
        "' 2>/dev/null";
    const int status = std::system(command.c_str());
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
    return dir_->read("chromium.out");
  }

  void SetUp() override {
    if (chromium().empty())
      FAIL() << "chromium is not installed (scripts/packages.sh lists it under tests: "
                "apt-get install chromium)";
  }
};

TEST_F(Browser, TheLoadedPageHoldsTheRunsNumbers) {
  const std::string dom = run("--dump-dom", name() + ".html");
  ASSERT_NE(dom.find("<h1>vok run runA_1-_2</h1>"), std::string::npos) << dom.substr(0, 500);
  const ReportCounts counts = parse_counts(dir_->read("runA_1-_2.out"), "report");
  for (std::size_t t = 0; t < kTestCount; ++t)
    EXPECT_NE(dom.find(std::string(kGraphNames[t]) + " (" + std::to_string(counts.frames[t]) +
                       " significant)"),
              std::string::npos)
        << kGraphNames[t];
  const FramesTable table = parse_frames_table(dir_->read("runA_1-_2.csv"), "table");
  for (std::size_t c = 0; c < table.columns.size(); ++c) {
    if (!table.columns[c].starts_with("pvalue_")) continue;
    for (const auto& row : table.fields)
      EXPECT_NE(dom.find(">" + row[c] + "</td>"), std::string::npos) << row[c];
  }
  // The browser built the drawings: three SVG elements with their shapes.
  EXPECT_EQ(count(dom, "</svg>"), 3u);
  EXPECT_EQ(count(dom, "<polyline"), count(html_, "<polyline"));
}

TEST_F(Browser, AClickOnAHeadingSortsTheFrames) {
  // The page, with a click on the Hxxy heading (the ninth) after loading;
  // twice sorts the other way.
  std::string clicked = html_;
  const std::string click =
      "<script>var h=document.querySelectorAll('#frames th')[8];h.click();</script>";
  clicked.insert(clicked.rfind("</body>"), click);
  dir_->write("sorted.html", clicked);
  std::string dom = run("--dump-dom", file("sorted.html"));
  std::vector<std::string> hxxy = column_cells(dom, 8);
  ASSERT_EQ(hxxy.size(), 12u);
  std::vector<double> values;
  for (const std::string& v : hxxy) values.push_back(std::stod(v));
  EXPECT_TRUE(std::is_sorted(values.begin(), values.end()));
  EXPECT_NE(column_cells(dom, 0), column_cells(html_, 0));  // the frames moved

  clicked.insert(clicked.rfind("</body>"), click);
  dir_->write("sorted.html", clicked);
  dom = run("--dump-dom", file("sorted.html"));
  values.clear();
  for (const std::string& v : column_cells(dom, 8)) values.push_back(std::stod(v));
  EXPECT_TRUE(std::is_sorted(values.rbegin(), values.rend()));
}

#ifdef VOK_HAVE_ZLIB
TEST_F(Browser, TheScreenshotShowsBothDrawings) {
  const std::string shot = file("page.png");
  run("--screenshot='" + shot + "'", name() + ".html");
  const testing::PngImage image = testing::read_png(shot);
  ASSERT_EQ(image.width, 1100u);
  ASSERT_EQ(image.height, 2400u);
  const auto pixels_of = [&](std::uint32_t rgb) {
    return static_cast<std::size_t>(std::count(image.pixels.begin(), image.pixels.end(), rgb));
  };
  // Each test's line and swatches in its own colour.
  for (std::size_t t = 0; t < kTestCount; ++t) {
    const std::uint32_t rgb =
        static_cast<std::uint32_t>(std::stoul(std::string(kTestColours[t].substr(1)), nullptr, 16));
    EXPECT_GT(pixels_of(rgb), 40u) << kGraphNames[t];
  }
  // The map: a field of reds and blues.
  std::size_t reddish = 0, bluish = 0, dark = 0;
  for (std::uint32_t p : image.pixels) {
    const int red = static_cast<int>(p >> 16), green = static_cast<int>((p >> 8) & 0xff),
              blue = static_cast<int>(p & 0xff);
    reddish += red - blue > 60;
    bluish += blue - red > 60;
    dark += red + green + blue < 150;
  }
  EXPECT_GT(reddish, 10000u);
  EXPECT_GT(bluish, 10000u);
  EXPECT_GT(dark, 5000u);  // text
}
#endif

}  // namespace
}  // namespace vok::plot
