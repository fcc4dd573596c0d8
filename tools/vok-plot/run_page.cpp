#include "run_page.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <limits>
#include <regex>

#include "plot_script.h"

namespace vok::plot {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// The report's name of each test's count line, in kGraphNames order
// (Hxxy Hyyx Hxxx Hyyy Cxy Cx Cy).
constexpr std::array<std::string_view, kTestCount> kCountNames = {"xxy", "yyx", "xxx", "yyy",
                                                                  "xy",  "xx",  "yy"};

std::size_t graph_index(std::string_view test) {
  for (std::size_t t = 0; t < kTestCount; ++t)
    if (kGraphNames[t] == test) return t;
  return kTestCount;
}

// The shortest text of a number; of a 32-bit value (as the run's 32-bit
// numbers are, widened) the shortest that reads back as that value.
std::string number_text(double v) {
  if (std::isnan(v)) return "NaN";
  char text[32];
  const float f = static_cast<float>(v);
  const auto [end, ec] = static_cast<double>(f) == v ? std::to_chars(text, text + sizeof text, f)
                                                     : std::to_chars(text, text + sizeof text, v);
  return std::string(text, ec == std::errc() ? end : text);
}

// A coordinate of the drawings, to a tenth of a pixel.
std::string px(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", v);
  return text;
}

double parse_double(const std::string& field) {
  double v = kNaN;
  const char* begin = field.data();
  const char* end = begin + field.size();
  if (begin != end && *begin == '+') ++begin;
  const auto [stop, ec] = std::from_chars(begin, end, v);
  if (field == "nan" || ec != std::errc() || stop != end) return kNaN;
  return v;
}

// The column of the frame table named `name`, or npos.
std::size_t column_of(const FramesTable& table, std::string_view name) {
  for (std::size_t c = 0; c < table.columns.size(); ++c)
    if (table.columns[c] == name) return c;
  return std::string::npos;
}

const JsonValue* frames_of(const RunPage& page) {
  if (!page.results) return nullptr;
  const JsonValue* frames = page.results->find("frames");
  if (frames == nullptr || frames->kind != JsonValue::Kind::array ||
      frames->items.size() != page.table.frames.size())
    return nullptr;
  return frames;
}

// p[frame][test] in kGraphNames order: the results file's 64-bit p-values,
// or the table's.
std::vector<std::array<double, kTestCount>> pvalues_of(const RunPage& page) {
  std::vector<std::array<double, kTestCount>> p(page.table.frames.size());
  const JsonValue* frames = frames_of(page);
  for (std::size_t t = 0; t < kTestCount; ++t) {
    const std::size_t column = column_of(page.table, "pvalue_" + std::string(kGraphNames[t]));
    for (std::size_t f = 0; f < p.size(); ++f) {
      p[f][t] = kNaN;
      const JsonValue* values = frames ? frames->items[f].find("pvalue") : nullptr;
      const JsonValue* value = values ? values->find(std::string(kGraphNames[t])) : nullptr;
      if (value != nullptr)
        p[f][t] = value->kind == JsonValue::Kind::number ? value->number : kNaN;
      else if (column != std::string::npos)
        p[f][t] = parse_double(page.table.fields[f][column]);
    }
  }
  return p;
}

// The cross-correlations of each frame (rxy(-lags) .. rxy(lags)).
std::vector<std::vector<double>> cross_correlations_of(const RunPage& page) {
  std::vector<std::vector<double>> r;
  if (const JsonValue* frames = frames_of(page)) {
    for (const JsonValue& frame : frames->items) {
      r.emplace_back();
      if (const JsonValue* values = frame.find("cross_correlations"))
        for (const JsonValue& v : values->items)
          r.back().push_back(v.kind == JsonValue::Kind::number ? v.number : kNaN);
    }
    if (std::any_of(r.begin(), r.end(), [](const auto& v) { return !v.empty(); })) return r;
    r.clear();
  }
  if (page.xy)
    for (const XyRecord& record : page.xy->records)
      r.emplace_back(record.r.begin(), record.r.end());
  return r;
}

std::string json_text(const JsonValue& v) {
  switch (v.kind) {
    case JsonValue::Kind::null:
      return "none";
    case JsonValue::Kind::boolean:
      return v.boolean ? "true" : "false";
    case JsonValue::Kind::number:
      return number_text(v.number);
    case JsonValue::Kind::string:
      return v.text;
    case JsonValue::Kind::array: {
      std::string s;
      for (const JsonValue& item : v.items) s += (s.empty() ? "" : ", ") + json_text(item);
      return s;
    }
    case JsonValue::Kind::object: {
      std::string s;
      for (const auto& [key, item] : v.members)
        s += (s.empty() ? "" : ", ") + key + " " + json_text(item);
      return s;
    }
  }
  return {};
}

constexpr std::string_view kStyle = R"(
body{font-family:sans-serif;margin:1.5em auto;max-width:1000px;color:#222;padding:0 1em}
h1{font-size:1.5em;line-height:1.5}h2{font-size:1.2em;margin-top:1.6em;border-bottom:1px solid #ccc}
pre{background:#f6f6f6;padding:.6em;overflow-x:auto}
table{border-collapse:collapse;font-size:.9em}
th,td{border:1px solid #ccc;padding:.2em .5em;text-align:right}
th{background:#eee}td.text,th.text{text-align:left}
.wide{overflow-x:auto}#frames{font-size:.8em}#frames td{white-space:nowrap;padding:.15em .35em}
#frames th{cursor:pointer;white-space:nowrap}#frames th:after{content:" \2195";color:#999}
td.sig{font-weight:bold;background:#fde9c8}
.swatch{display:inline-block;width:1.6em;height:.35em;vertical-align:middle;margin-right:.3em}
.legend{list-style:none;padding:0;margin:.2em 0 1em 0;font-size:.9em}
.legend li{display:inline-block;margin-right:1.4em}
.caution{background:#fff4d6;border-left:4px solid #e0a800;padding:.4em .8em;margin:.4em 0}
.note{font-size:.85em;color:#555}
)";

// Sorts the frame table by the column whose heading is clicked (again:
// the other way). Cells sort by their data-v value, numbers as numbers.
constexpr std::string_view kScript = R"(
(function(){
var table=document.getElementById('frames');
var heads=table.tHead.rows[0].cells;
for(var i=0;i<heads.length;i++)(function(c){heads[c].addEventListener('click',function(){
 var body=table.tBodies[0],rows=Array.prototype.slice.call(body.rows);
 var down=table.getAttribute('data-col')==String(c)&&table.getAttribute('data-dir')!='down';
 function key(r){var v=r.cells[c].getAttribute('data-v');var n=parseFloat(v);
  return isNaN(n)?v:n;}
 rows.sort(function(a,b){var x=key(a),y=key(b);
  if(typeof x!==typeof y){x=String(x);y=String(y);}
  return (x<y?-1:x>y?1:0)*(down?-1:1);});
 rows.forEach(function(r){body.appendChild(r);});
 table.setAttribute('data-col',String(c));table.setAttribute('data-dir',down?'down':'up');
});})(i);
})();
)";

// The p-values of the tests `tests` (kGraphNames indices) by frame.
std::string pvalue_svg(const RunPage& page, const std::vector<std::array<double, kTestCount>>& p,
                       const std::vector<std::size_t>& tests, const std::string& label,
                       int lowest_decade) {
  constexpr double kW = 900, kH = 300, kLeft = 60, kRight = 15, kTop = 12, kBottom = 38;
  const double plot_w = kW - kLeft - kRight, plot_h = kH - kTop - kBottom;
  const std::size_t n = p.size();
  const auto x_of = [&](std::size_t f) {
    return kLeft +
           (n <= 1 ? plot_w / 2 : plot_w * static_cast<double>(f) / static_cast<double>(n - 1));
  };
  const double bottom = static_cast<double>(lowest_decade);
  const auto y_of = [&](double value) {
    const double lg = value > 0 ? std::max(std::log10(value), bottom) : bottom;
    return kTop + plot_h * (std::min(lg, 0.0) / bottom);
  };
  std::string s = "<svg role=\"img\" class=\"pvalues\" width=\"" + px(kW) + "\" height=\"" +
                  px(kH) + "\" viewBox=\"0 0 " + px(kW) + " " + px(kH) + "\" aria-label=\"" +
                  html_escaped(label) + "\">\n";
  s += "<rect x=\"" + px(kLeft) + "\" y=\"" + px(kTop) + "\" width=\"" + px(plot_w) +
       "\" height=\"" + px(plot_h) + "\" fill=\"#ffffff\" stroke=\"#999999\"/>\n";
  // Decades, labelled 1, 0.1, 0.01, 0.001 then 1e-4 ...
  for (int d = 0; d >= lowest_decade; --d) {
    const double y = y_of(std::pow(10.0, d));
    s += "<line x1=\"" + px(kLeft) + "\" x2=\"" + px(kLeft + plot_w) + "\" y1=\"" + px(y) +
         "\" y2=\"" + px(y) + "\" stroke=\"#e4e4e4\"/>";
    const std::string text = d >= -3 ? number_text(std::pow(10.0, d)) : "1e" + std::to_string(d);
    s += "<text x=\"" + px(kLeft - 5) + "\" y=\"" + px(y + 4) +
         "\" font-size=\"11\" text-anchor=\"end\">" + text + "</text>\n";
  }
  // About ten frame numbers along the bottom.
  const std::size_t step = std::max<std::size_t>(1, (n + 9) / 10);
  for (std::size_t f = 0; f < n; f += step)
    s += "<text x=\"" + px(x_of(f)) + "\" y=\"" + px(kTop + plot_h + 15) +
         "\" font-size=\"11\" text-anchor=\"middle\">" +
         std::to_string(page.table.frames[f].number) + "</text>";
  s += "<text x=\"" + px(kLeft + plot_w / 2) + "\" y=\"" + px(kH - 4) +
       "\" font-size=\"12\" text-anchor=\"middle\">frame</text>";
  s += "<text transform=\"translate(14 " + px(kTop + plot_h / 2) +
       ") rotate(-90)\" font-size=\"12\" text-anchor=\"middle\">p-value (log scale)</text>\n";
  // Thresholds, dashed: one per test when bootstrapped, else the one level.
  if (page.thresholds.resamples > 0) {
    for (std::size_t t : tests) {
      const double y = y_of(page.thresholds.value[t]);
      s += "<line class=\"threshold\" x1=\"" + px(kLeft) + "\" x2=\"" + px(kLeft + plot_w) +
           "\" y1=\"" + px(y) + "\" y2=\"" + px(y) + "\" stroke=\"" + std::string(kTestColours[t]) +
           "\" stroke-dasharray=\"6 4\" stroke-width=\"1.5\"/>\n";
    }
  } else {
    const double y = y_of(page.thresholds.value[0]);
    s += "<line class=\"threshold\" x1=\"" + px(kLeft) + "\" x2=\"" + px(kLeft + plot_w) +
         "\" y1=\"" + px(y) + "\" y2=\"" + px(y) +
         "\" stroke=\"#000000\" stroke-dasharray=\"6 4\" stroke-width=\"1.5\"/>\n";
  }
  for (std::size_t t : tests) {
    const std::string colour(kTestColours[t]);
    // One polyline per stretch of frames with a p-value.
    std::string points;
    const auto flush = [&] {
      if (!points.empty())
        s += "<polyline fill=\"none\" stroke=\"" + colour + "\" stroke-width=\"1.6\" points=\"" +
             points + "\"/>\n";
      points.clear();
    };
    for (std::size_t f = 0; f < n; ++f) {
      if (std::isnan(p[f][t])) {
        flush();
        continue;
      }
      if (!points.empty()) points += ' ';
      points += px(x_of(f)) + "," + px(y_of(p[f][t]));
    }
    flush();
    for (std::size_t f = 0; f < n; ++f)
      if (page.table.frames[f].significant[t] && !std::isnan(p[f][t]))
        s += "<circle class=\"significant\" cx=\"" + px(x_of(f)) + "\" cy=\"" + px(y_of(p[f][t])) +
             "\" r=\"5\" fill=\"none\" stroke=\"" + colour +
             "\" stroke-width=\"1.5\"><title>frame " + std::to_string(page.table.frames[f].number) +
             ", " + std::string(kGraphNames[t]) + " p = " + number_text(p[f][t]) +
             "</title></circle>\n";
  }
  return s + "</svg>\n";
}

// A colour of the diverging scale: blue at -1, white at 0, red at +1.
std::string diverging(double v) {
  v = std::clamp(v, -1.0, 1.0);
  const auto mix = [](int from, int to, double w) {
    return static_cast<int>(std::lround(from + (to - from) * w));
  };
  int r, g, b;
  if (v >= 0) {
    r = mix(255, 0xb2, v), g = mix(255, 0x18, v), b = mix(255, 0x2b, v);
  } else {
    r = mix(255, 0x21, -v), g = mix(255, 0x66, -v), b = mix(255, 0xac, -v);
  }
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", r, g, b);
  return text;
}

std::string xy_svg(const RunPage& page, const std::vector<std::vector<double>>& r) {
  const std::size_t n = r.size();
  std::size_t width = 0;
  for (const auto& v : r) width = std::max(width, v.size());
  const int lags = static_cast<int>(width / 2);
  double limit = 0;
  for (const auto& v : r)
    for (double c : v)
      if (std::isfinite(c)) limit = std::max(limit, std::abs(c));
  if (limit <= 0) limit = 1;
  constexpr double kW = 900, kLeft = 60, kRight = 90, kTop = 10, kBottom = 38;
  const double cell_h = std::clamp(240.0 / static_cast<double>(width), 4.0, 24.0);
  const double plot_w = kW - kLeft - kRight, plot_h = cell_h * static_cast<double>(width);
  const double h = kTop + plot_h + kBottom;
  const double cell_w = plot_w / static_cast<double>(n);
  std::string s = "<svg role=\"img\" class=\"xymap\" width=\"" + px(kW) + "\" height=\"" + px(h) +
                  "\" viewBox=\"0 0 " + px(kW) + " " + px(h) +
                  "\" aria-label=\"cross-correlations by frame and lag\">\n";
  for (std::size_t f = 0; f < n; ++f)
    for (std::size_t k = 0; k < r[f].size(); ++k) {
      const int lag = static_cast<int>(k) - lags;
      const double c = r[f][k];
      // Lag +lags at the top.
      const double y = kTop + cell_h * static_cast<double>(lags - lag);
      s += "<rect x=\"" + px(kLeft + cell_w * static_cast<double>(f)) + "\" y=\"" + px(y) +
           "\" width=\"" + px(cell_w + 0.3) + "\" height=\"" + px(cell_h + 0.3) + "\" fill=\"" +
           (std::isfinite(c) ? diverging(c / limit) : std::string("#cccccc")) + "\"><title>frame " +
           std::to_string(f < page.table.frames.size() ? page.table.frames[f].number
                                                       : static_cast<int>(f) + 1) +
           ", lag " + std::to_string(lag) + ": " + number_text(c) + "</title></rect>\n";
    }
  // Integer lags on the left, about ten of them.
  const int lag_step = std::max(1, (2 * lags + 1 + 9) / 10);
  for (int lag = -lags; lag <= lags; ++lag) {
    if ((lag + lags) % lag_step != 0 && lag != 0) continue;
    s += "<text x=\"" + px(kLeft - 5) + "\" y=\"" + px(kTop + cell_h * (lags - lag + 0.5) + 4) +
         "\" font-size=\"11\" text-anchor=\"end\">" + std::to_string(lag) + "</text>";
  }
  const std::size_t step = std::max<std::size_t>(1, (n + 9) / 10);
  for (std::size_t f = 0; f < n && f < page.table.frames.size(); f += step)
    s += "<text x=\"" + px(kLeft + cell_w * (static_cast<double>(f) + 0.5)) + "\" y=\"" +
         px(kTop + plot_h + 15) + "\" font-size=\"11\" text-anchor=\"middle\">" +
         std::to_string(page.table.frames[f].number) + "</text>";
  s += "<text x=\"" + px(kLeft + plot_w / 2) + "\" y=\"" + px(h - 4) +
       "\" font-size=\"12\" text-anchor=\"middle\">frame</text>";
  s += "<text transform=\"translate(14 " + px(kTop + plot_h / 2) +
       ") rotate(-90)\" font-size=\"12\" text-anchor=\"middle\">lag s</text>\n";
  // The colour scale.
  const double bar_x = kLeft + plot_w + 20;
  for (int i = 0; i < 20; ++i) {
    const double v = 1.0 - (i + 0.5) / 10.0;
    s += "<rect x=\"" + px(bar_x) + "\" y=\"" + px(kTop + plot_h * i / 20.0) +
         "\" width=\"14\" height=\"" + px(plot_h / 20.0 + 0.3) + "\" fill=\"" + diverging(v) +
         "\"/>";
  }
  for (auto [v, y] : {std::pair{limit, kTop + 4}, std::pair{0.0, kTop + plot_h / 2 + 4},
                      std::pair{-limit, kTop + plot_h}})
    s += "<text x=\"" + px(bar_x + 18) + "\" y=\"" + px(y) + "\" font-size=\"11\">" +
         number_text(std::round(v * 1000) / 1000) + "</text>";
  return s + "\n</svg>\n";
}

std::string td(const std::string& text, const std::string& sort_key,
               const std::string& attrs = "") {
  return "<td" + attrs + " data-v=\"" + html_escaped(sort_key) + "\">" + html_escaped(text) +
         "</td>";
}

}  // namespace

std::string html_escaped(std::string_view text) {
  std::string s;
  for (char c : text) {
    switch (c) {
      case '<':
        s += "&lt;";
        break;
      case '>':
        s += "&gt;";
        break;
      case '&':
        s += "&amp;";
        break;
      case '"':
        s += "&quot;";
        break;
      default:
        s += c;
    }
  }
  return s;
}

ReportCounts parse_counts(std::string_view report, const std::string& name) {
  static const std::regex kLine(R"(^ *(\d+) +\( *([0-9.]+%)\) significant (\w+) frames *$)");
  ReportCounts counts;
  std::array<bool, kTestCount> found{};
  std::size_t seen = 0;
  std::size_t begin = 0;
  while (begin < report.size() && seen < kTestCount) {
    std::size_t end = report.find('\n', begin);
    if (end == std::string_view::npos) end = report.size();
    const std::string line(report.substr(begin, end - begin));
    std::smatch m;
    if (std::regex_match(line, m, kLine)) {
      const auto at = std::find(kCountNames.begin(), kCountNames.end(), m[3].str());
      if (at != kCountNames.end() && !found[at - kCountNames.begin()]) {
        const std::size_t t = static_cast<std::size_t>(at - kCountNames.begin());
        counts.frames[t] = std::stoi(m[1].str());
        counts.share[t] = m[2].str();
        found[t] = true;
        ++seen;
      }
    }
    begin = end + 1;
  }
  if (seen < kTestCount)
    throw InputError(name +
                     ": no lines of significant frames for all seven tests (the run may "
                     "not have finished)");
  return counts;
}

std::string report_head(std::string_view report) {
  std::string head;
  std::size_t begin = 0;
  while (begin < report.size()) {
    std::size_t end = report.find('\n', begin);
    if (end == std::string_view::npos) end = report.size();
    std::string_view line = report.substr(begin, end - begin);
    if (line.starts_with("=====")) break;
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.remove_suffix(1);
    head += line;
    head += '\n';
    begin = end + 1;
  }
  while (head.ends_with("\n\n")) head.pop_back();
  return head;
}

std::string run_page_html(const RunPage& page) {
  const std::string title = "vok run " + page.title;
  std::string s = "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>" +
                  html_escaped(title) + "</title>\n<style>" + std::string(kStyle) +
                  "</style>\n</head>\n<body>\n<h1>" + html_escaped(title) + "</h1>\n";

  // Settings.
  s += "<h2>Settings</h2>\n<pre id=\"head\">" + html_escaped(page.head) + "</pre>\n";
  if (page.results)
    if (const JsonValue* settings = page.results->find("settings");
        settings != nullptr && settings->kind == JsonValue::Kind::object) {
      s += "<table id=\"settings\"><thead><tr><th class=\"text\">setting</th><th "
           "class=\"text\">value</th></tr></thead><tbody>\n";
      for (const auto& [key, value] : settings->members)
        s += "<tr><td class=\"text\">" + html_escaped(key) + "</td><td class=\"text\">" +
             html_escaped(json_text(value)) + "</td></tr>\n";
      s += "</tbody></table>\n";
    }

  // Thresholds and counts.
  const std::size_t frames = page.table.frames.size();
  const bool bootstrapped = page.thresholds.resamples > 0;
  s += "<h2>Thresholds and significant frames</h2>\n<p>" +
       (bootstrapped ? std::to_string(page.thresholds.resamples) +
                           " bootstrapped false alarm thresholds, one per test"
                     : std::string("The nominal false alarm threshold for every test")) +
       "; a frame is significant for a test when its p-value is below the test's threshold. " +
       std::to_string(frames) + " frames.</p>\n";
  s += "<table id=\"counts\"><thead><tr><th class=\"text\">test</th><th>threshold</th>"
       "<th>significant frames</th><th>share of the frames</th></tr></thead><tbody>\n";
  for (Test test : kColumnOrder) {
    const std::size_t t = graph_index(test_name(test));
    s += "<tr><td class=\"text\"><span class=\"swatch\" style=\"background:" +
         std::string(kTestColours[t]) + "\"></span>" + std::string(kGraphNames[t]) + "</td><td>" +
         number_text(page.thresholds.value[t]) + "</td><td>" +
         std::to_string(page.counts.frames[t]) + "</td><td>" + html_escaped(page.counts.share[t]) +
         "</td></tr>\n";
  }
  s += "</tbody></table>\n";

  // Cautions, when the results file holds any.
  if (page.results)
    if (const JsonValue* cautions = page.results->find("cautions");
        cautions != nullptr && cautions->kind == JsonValue::Kind::array &&
        !cautions->items.empty()) {
      s += "<h2>Cautions</h2>\n<div id=\"cautions\">\n";
      for (const JsonValue& c : cautions->items) {
        std::string text;
        std::string kind;
        if (c.kind == JsonValue::Kind::object) {
          for (const char* key : {"message", "text", "advice"})
            if (const JsonValue* v = c.find(key); v != nullptr && text.empty())
              text = json_text(*v);
          if (const JsonValue* v = c.find("kind")) kind = json_text(*v);
          if (text.empty()) text = json_text(c);
        } else {
          text = json_text(c);
        }
        s += "<p class=\"caution\">" + (kind.empty() ? "" : "<b>" + html_escaped(kind) + ":</b> ") +
             html_escaped(text) + "</p>\n";
      }
      s += "</div>\n";
    }

  // The p-values.
  const auto p = pvalues_of(page);
  int lowest = -4;
  for (const auto& row : p)
    for (double v : row)
      if (v > 0) lowest = std::min(lowest, static_cast<int>(std::floor(std::log10(v))));
  lowest = std::max(lowest, -300);
  s += "<h2>p-values by frame</h2>\n<p class=\"note\">" +
       std::string(frames_of(page) ? "The 64-bit p-values of the results file"
                                   : "The p-values of the frame table (1 - CDF in 32 bits)") +
       ", log scale; the thresholds dashed, the significant frames circled" +
       std::string(bootstrapped ? "" : " (the threshold: black)") +
       ". A p-value of 0 is drawn on the bottom line.</p>\n";
  for (const auto& [label, tests] :
       {std::pair{std::string("Bicorrelation tests"), std::vector<std::size_t>{0, 1, 2, 3}},
        std::pair{std::string("Correlation tests"), std::vector<std::size_t>{4, 5, 6}}}) {
    s += "<h3>" + label + "</h3>\n" + pvalue_svg(page, p, tests, label, lowest);
    s += "<ul class=\"legend\">";
    for (std::size_t t : tests)
      s += "<li><span class=\"swatch\" style=\"background:" + std::string(kTestColours[t]) +
           "\"></span>" + std::string(kGraphNames[t]) + " (" +
           std::to_string(page.counts.frames[t]) + " significant)</li>";
    s += "</ul>\n";
  }

  // The cross-correlations.
  s += "<h2>Cross-correlations by frame and lag</h2>\n";
  const auto r = cross_correlations_of(page);
  if (r.empty() || r.size() != frames) {
    s += "<p id=\"no-xy\">No cross-correlations: the run wrote neither a results file "
         "(vok --results) nor an xy graph file (graphing=yes in its run control file).</p>\n";
  } else {
    s += "<p class=\"note\">" + html_escaped(std::string(kXyCaption)) +
         "; red positive, blue negative, the colours scaled to the largest size.</p>\n" +
         xy_svg(page, r);
  }

  // The frame table.
  s += "<h2>Frames</h2>\n<p class=\"note\">Each test's p-value as the frame table " +
       html_escaped(page.title) +
       ".csv gives it (1 - CDF in 32 bits), highlighted where the frame is significant; its "
       "statistic, degrees of freedom and q-value" +
       std::string(frames_of(page) ? " and the results file's 64-bit p-value" : "") +
       " on hover. Click a heading to sort by it.</p>\n";
  s += "<div class=\"wide\"><table id=\"frames\"><thead><tr>";
  std::vector<std::size_t> lead;
  for (std::string_view name : {"frame", "first_row", "last_row", "start", "end"})
    if (const std::size_t c = column_of(page.table, name); c != std::string::npos) {
      lead.push_back(c);
      s += std::string("<th") + (name == "start" || name == "end" ? " class=\"text\"" : "") + ">" +
           std::string(name) + "</th>";
    }
  struct TestColumns {
    std::size_t pvalue, statistic, df, qvalue, t;
  };
  std::vector<TestColumns> per_test;
  for (Test test : kColumnOrder) {
    const std::string name(test_name(test));
    per_test.push_back({column_of(page.table, "pvalue_" + name),
                        column_of(page.table, "statistic_" + name),
                        column_of(page.table, "df_" + name),
                        column_of(page.table, "qvalue_" + name), graph_index(name)});
    s += "<th title=\"p-value of " + name + "\">" + name + "</th>";
  }
  s += "</tr></thead><tbody>\n";
  for (std::size_t f = 0; f < frames; ++f) {
    const std::vector<std::string>& row = page.table.fields[f];
    s += "<tr>";
    for (std::size_t c : lead) {
      const bool text = page.table.columns[c] == "start" || page.table.columns[c] == "end";
      s += td(row[c], row[c], text ? " class=\"text\"" : "");
    }
    for (const TestColumns& c : per_test) {
      const auto field = [&](std::size_t column) {
        return column == std::string::npos ? std::string("-") : row[column];
      };
      std::string hover = "statistic " + field(c.statistic) + " on " + field(c.df) +
                          " df; q-value " + field(c.qvalue);
      if (frames_of(page)) hover += "; 64-bit p-value " + number_text(p[f][c.t]);
      const bool significant = page.table.frames[f].significant[c.t];
      s += td(field(c.pvalue), field(c.pvalue),
              (significant ? " class=\"sig\"" : std::string()) + " title=\"" + html_escaped(hover) +
                  (significant ? "; significant" : "") + "\"");
    }
    s += "</tr>\n";
  }
  s += "</tbody></table></div>\n<script>" + std::string(kScript) + "</script>\n</body>\n</html>\n";
  return s;
}

}  // namespace vok::plot
