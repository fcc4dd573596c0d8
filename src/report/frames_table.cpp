#include "report/frames_table.h"

#include <array>
#include <charconv>
#include <string_view>

#include "output/channel.h"

namespace vok {
namespace {

void add_number(std::string& row, float v) {
  char text[32];
  // The shortest decimal text that reads back as v.
  const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
  row.append(text, ec == std::errc() ? end : text);
}

void add_number(std::string& row, double v) {
  char text[32];
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

std::string frames_table_header(bool stamped) {
  std::string text = stamped ? "frame,first_row,last_row,start,end" : "frame,first_row,last_row";
  for (Test t : kColumnOrder) {
    const std::string test = name(t);
    text += ",statistic_" + test + ",df_" + test + ",cdf_" + test + ",pvalue_" + test +
            ",significant_" + test;
  }
  for (Test t : kColumnOrder) text += ",qvalue_" + std::string(name(t));
  return text + '\n';
}

std::string frames_table_row(const Frame& f, bool stamped) {
  return frames_table_row_start(f, stamped) + frames_table_row_end(f.qvalue);
}

std::string frames_table_row_end(const PerTest<double>& qvalues) {
  std::string text;
  for (Test t : kColumnOrder) {
    text += ',';
    add_number(text, qvalues[t]);
  }
  return text + '\n';
}

std::string frames_table_row_start(const Frame& f, bool stamped) {
  std::string text;
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
    add_number(text, f.statistic[t]);
    text += ',';
    add_number(text, f.df[t]);
    text += ',';
    add_number(text, f.cdf[t]);
    text += ',';
    add_number(text, p[t]);
    text += f.significant[t] ? ",true" : ",false";
  }
  return text;
}

std::string frames_table(const Result& result, bool stamped) {
  std::string text = frames_table_header(stamped);
  for (const Frame& f : result.frames) text += frames_table_row(f, stamped);
  return text;
}

FramesTableWriter::FramesTableWriter(std::string path, bool stamped, Channels& program)
    : table_(std::move(path), program), stamped_(stamped), program_(program) {}

FramesTableWriter::~FramesTableWriter() {
  write_rows();
}

void FramesTableWriter::thresholds(const PerTest<float>&, bool) {
  // The channel's name is the file's path.
  if (table_.open_file(table_.name()) != 0) {
    program_.report_write_error(table_);
    return;
  }
  table_.append(frames_table_header(stamped_));
}

void FramesTableWriter::frame(const Frame& frame, std::span<const Message>) {
  rows_ += frames_table_row_start(frame, stamped_);
  row_ends_.push_back(rows_.size());
  pvalues_.push_back(frame.pvalue);
}

void FramesTableWriter::write_rows() {
  const std::vector<PerTest<double>> q = qvalues(pvalues_);
  std::size_t begin = 0;
  for (std::size_t i = 0; i < row_ends_.size(); ++i) {
    table_.append(std::string_view(rows_).substr(begin, row_ends_[i] - begin));
    table_.append(frames_table_row_end(q[i]));
    begin = row_ends_[i];
  }
  rows_ = {};
  row_ends_ = {};
  pvalues_ = {};
}

void FramesTableWriter::finish(const PerTest<int>&, const CorrelationSummary*) {
  write_rows();
  table_.close();
}

}  // namespace vok
