// The page of a run (vok-plot --html NAME): one HTML file, with nothing
// loaded from elsewhere, that shows what the run's files hold:
//   - the run's settings, as the report's head gives them (and, with the
//     results file, the settings the run was made with);
//   - the thresholds and the significant frames of each test;
//   - the cautions of the results file, when it has any;
//   - the p-values by frame (inline SVG, log scale), the bicorrelation tests
//     above the correlation tests, the thresholds dashed and the significant
//     frames circled;
//   - the cross-correlations by frame and lag as a heat map (inline SVG);
//   - the frame table, sortable by any column (a few lines of script).
// Every number on the page is one the run wrote: the page computes none.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "json_reader.h"
#include "plot_input.h"

namespace vok::plot {

// The significant frames of each test (kGraphNames order) as the report's
// count lines give them ("      8  ( 80.0%) significant xxy frames"): the
// first seven such lines, with their share text ("80.0%"). Throws InputError
// naming `name` when the report has none.
struct ReportCounts {
  std::array<int, kTestCount> frames{};
  std::array<std::string, kTestCount> share{};
};
ReportCounts parse_counts(std::string_view report, const std::string& name);

// The report's head: its lines up to the first rule of "=" (the title, the
// columns, frames, rows, lags), blanks at line ends dropped.
std::string report_head(std::string_view report);

struct RunPage {
  std::string title;  // the report's name without directory or extension
  std::string head;   // report_head of the report
  Thresholds thresholds;
  ReportCounts counts;
  FramesTable table;                 // NAME.csv
  std::optional<JsonValue> results;  // NAME.json, when the run wrote one
  std::optional<XyGraphFile> xy;     // the xy graph file, when the run wrote one
};

// The whole page. The p-values drawn are the 64-bit ones of the results file
// when it is there, else the table's; the cross-correlations those of the
// results file, else the xy graph file's (without either, the page says how
// to get them).
std::string run_page_html(const RunPage& page);

// Text with <, >, & and " written as entities.
std::string html_escaped(std::string_view text);

}  // namespace vok::plot
