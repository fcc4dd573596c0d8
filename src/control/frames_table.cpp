#include "control/frames_table.h"

#include <array>
#include <charconv>
#include <string_view>

#include "output/channel.h"

namespace vok {
namespace {

// The tests in the order of the table's columns.
constexpr std::array<Test, 7> kColumnOrder{Test::cx,   Test::cy,   Test::cxy, Test::hxxx,
                                           Test::hyyy, Test::hxxy, Test::hyyx};

void add_number(std::string& row, float v) {
  char text[32];
  // The shortest decimal text that reads back as v.
  const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
  row.append(text, ec == std::errc() ? end : text);
}

void add_number(std::string& row, int v) {
  char text[16];
  const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
  row.append(text, ec == std::errc() ? end : text);
}

// A stamp as one field: blanks at either end dropped, quoted when it holds a
// comma, a quote or a line break (a quote doubled inside the quotes).
void add_text(std::string& row, std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
    row += text;
    return;
  }
  row += '"';
  for (char c : text) {
    if (c == '"') row += '"';
    row += c;
  }
  row += '"';
}

}  // namespace

std::string frames_table_name(const std::string& report_name) {
  constexpr std::string_view kOut = ".out";
  if (std::string_view(report_name).ends_with(kOut))
    return report_name.substr(0, report_name.size() - kOut.size()) + ".csv";
  return report_name + ".csv";
}

std::string frames_table(const Result& result, bool stamped) {
  std::string text = stamped ? "frame,first_row,last_row,start,end" : "frame,first_row,last_row";
  for (Test t : kColumnOrder) {
    const std::string test = name(t);
    text += ",cdf_" + test + ",pvalue_" + test + ",significant_" + test;
  }
  text += '\n';
  for (const Frame& f : result.frames) {
    add_number(text, f.number);
    text += ',';
    add_number(text, f.first_row);
    text += ',';
    add_number(text, f.last_row);
    if (stamped) {
      text += ',';
      add_text(text, f.first_stamp);
      text += ',';
      add_text(text, f.last_stamp);
    }
    const PerTest<float> p = f.p_values();
    for (Test t : kColumnOrder) {
      text += ',';
      add_number(text, f.cdf[t]);
      text += ',';
      add_number(text, p[t]);
      text += f.significant[t] ? ",true" : ",false";
    }
    text += '\n';
  }
  return text;
}

void write_frames_table(const std::string& path, const Result& result, bool stamped) {
  Channel table(path);
  if (table.open_file(path) != 0) {
    channels().report_write_error(table);
    return;
  }
  table.append(frames_table(result, stamped));
  table.close();
}

}  // namespace vok
