#include "plot_input.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace vok::plot {

namespace {

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  std::size_t begin = 0;
  while (begin < text.size()) {
    std::size_t end = text.find('\n', begin);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(begin, end - begin);
    if (line.ends_with('\r')) line.remove_suffix(1);
    lines.push_back(line);
    begin = end + 1;
  }
  return lines;
}

std::string_view trim(std::string_view s) {
  std::size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  std::size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

std::string at_line(const std::string& name, std::size_t index) {
  return name + ", line " + std::to_string(index + 1) + ": ";
}

// A whole field (blanks around it allowed) as a real; false for anything else.
bool parse_real(std::string_view field, float& value) {
  field = trim(field);
  if (field.empty()) return false;
  if (field.front() == '+') field.remove_prefix(1);
  // Numbers as vok writes them: ".1699E-01", "-0.129", "0.0500".
  std::string text(field);
  char* end = nullptr;
  errno = 0;
  double d = std::strtod(text.c_str(), &end);
  if (end != text.c_str() + text.size() || errno != 0 || !std::isfinite(d)) return false;
  if (text.find_first_not_of("0123456789.-Ee+") != std::string::npos) return false;
  value = static_cast<float>(d);
  return true;
}

bool parse_int(std::string_view field, int& value) {
  field = trim(field);
  if (!field.empty() && field.front() == '+') field.remove_prefix(1);
  if (field.empty()) return false;
  auto [end, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
  return ec == std::errc{} && end == field.data() + field.size();
}

// Graph record: SP I6 7(1X F7.4), then 1X A20 when the rows carry stamps.
constexpr std::size_t kFrameWidth = 6;
constexpr std::size_t kValueWidth = 8;
constexpr std::size_t kRecordWidth = kFrameWidth + kTestCount * kValueWidth;

bool parse_graph_record(std::string_view line, GraphFrame& frame) {
  if (line.size() < kRecordWidth) return false;
  if (!parse_int(line.substr(0, kFrameWidth), frame.number)) return false;
  for (int t = 0; t < kTestCount; ++t) {
    std::string_view field = line.substr(kFrameWidth + t * kValueWidth, kValueWidth);
    if (field.front() != ' ') return false;
    float v;
    if (!parse_real(field, v) || v < 0.0f || v > 1.0f) return false;
    frame.cdf[static_cast<std::size_t>(t)] = v;
  }
  frame.stamp.clear();
  if (line.size() > kRecordWidth) {
    if (line[kRecordWidth] != ' ' || line.size() > kRecordWidth + 1 + 20) return false;
    frame.stamp = std::string(trim(line.substr(kRecordWidth + 1)));
  }
  return true;
}

bool is_closing_stamp(std::string_view line) {
  return line.starts_with(" Version") || line.starts_with(" Date & Time") ||
         line.starts_with(" Elapsed time");
}

}  // namespace

GraphFile parse_graph(std::string_view text, const std::string& name) {
  const std::vector<std::string_view> lines = split_lines(text);
  GraphFile graph;
  std::size_t i = 0;
  for (; i < lines.size() && !trim(lines[i]).empty(); ++i) {
    GraphFrame frame;
    if (!parse_graph_record(lines[i], frame))
      throw InputError(at_line(name, i) +
                       "not a graph record (a frame number and seven CDF values between 0 and 1, "
                       "then perhaps a stamp)");
    if (frame.number != static_cast<int>(graph.frames.size()) + 1)
      throw InputError(at_line(name, i) + "frame " + std::to_string(frame.number) +
                       " where frame " + std::to_string(graph.frames.size() + 1) + " should stand");
    const bool stamped = lines[i].size() > kRecordWidth;
    if (graph.frames.empty()) {
      graph.stamped = stamped;
    } else if (stamped != graph.stamped) {
      throw InputError(at_line(name, i) + "some records carry a date-and-time stamp, others not");
    }
    graph.frames.push_back(std::move(frame));
  }
  if (graph.frames.empty()) throw InputError(name + ": no frame records");

  // After the records: an empty line, the captions, the closing stamp.
  for (; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (trim(line).empty() || is_closing_stamp(line)) continue;
    if (line.starts_with("Wind") && !graph.has_captions) {
      graph.has_captions = true;
      continue;
    }
    throw InputError(at_line(name, i) + "unexpected line after the frame records");
  }
  return graph;
}

XyGraphFile parse_xy_graph(std::string_view text, const std::string& name) {
  std::vector<std::string_view> lines = split_lines(text);
  while (!lines.empty() && trim(lines.back()).empty()) lines.pop_back();

  // The caption lines close the file: "xy(" I3 ")" for every lag, 700 to a
  // line, the first line indented by 21 blanks when the rows carry stamps.
  std::size_t first_caption = lines.size();
  while (first_caption > 0 && trim(lines[first_caption - 1]).starts_with("xy(")) --first_caption;
  if (first_caption == lines.size())
    throw InputError(name + ": no lag captions (\"xy(  0)\" ...) at the end of the file");
  std::vector<int> lags;
  for (std::size_t i = first_caption; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    std::size_t at = 0;
    while ((at = line.find("xy(", at)) != std::string_view::npos) {
      std::size_t close = line.find(')', at);
      int lag;
      if (close == std::string_view::npos || !parse_int(line.substr(at + 3, close - at - 3), lag))
        throw InputError(at_line(name, i) + "a lag caption that is not \"xy(\" I3 \")\"");
      lags.push_back(lag);
      at = close + 1;
    }
  }
  XyGraphFile xy;
  xy.lags = static_cast<int>(lags.size()) / 2;
  for (std::size_t k = 0; k < lags.size(); ++k) {
    if (lags.size() % 2 == 0 || lags[k] != static_cast<int>(k) - xy.lags)
      throw InputError(at_line(name, first_caption) +
                       "the lag captions do not run from -lags to +lags");
  }
  const std::string_view first = lines[first_caption];
  xy.stamped = first.find_first_not_of(' ') == 21;
  if (!xy.stamped && !first.starts_with("xy("))
    throw InputError(at_line(name, first_caption) +
                     "the lag captions start neither in column 1 nor in column 22");

  const std::size_t values = lags.size();
  constexpr std::size_t kPerLine = 700;
  const std::size_t lines_per_record = (values + kPerLine - 1) / kPerLine;
  if (first_caption == 0) throw InputError(name + ": no frame records");
  if (first_caption % lines_per_record != 0)
    throw InputError(name + ": " + std::to_string(first_caption) +
                     " record lines do not make whole records of " + std::to_string(values) +
                     " values");
  for (std::size_t i = 0; i < first_caption; i += lines_per_record) {
    XyRecord record;
    for (std::size_t part = 0; part < lines_per_record; ++part) {
      std::string_view line = lines[i + part];
      if (part == 0 && xy.stamped) {
        if (line.size() < 21 || line[20] != ' ')
          throw InputError(at_line(name, i) + "no date-and-time stamp in columns 1 to 20");
        record.stamp = std::string(trim(line.substr(0, 20)));
        line.remove_prefix(21);
      }
      const std::size_t want = std::min(kPerLine, values - part * kPerLine);
      std::size_t got = 0;
      std::size_t at = 0;
      while (true) {
        at = line.find_first_not_of(' ', at);
        if (at == std::string_view::npos) break;
        std::size_t end = line.find(' ', at);
        if (end == std::string_view::npos) end = line.size();
        float v;
        if (!parse_real(line.substr(at, end - at), v) || std::fabs(v) > 1.0f)
          throw InputError(at_line(name, i + part) + "\"" + std::string(line.substr(at, end - at)) +
                           "\" is not a cross-correlation");
        record.r.push_back(v);
        ++got;
        at = end;
      }
      if (got != want)
        throw InputError(at_line(name, i + part) + std::to_string(got) + " values where " +
                         std::to_string(want) + " should stand");
    }
    xy.records.push_back(std::move(record));
  }
  return xy;
}

Thresholds parse_thresholds(std::string_view text, const std::string& name) {
  // The report holds either the nominal threshold line or the bootstrapped
  // block of seven.
  constexpr std::string_view kNominal = "False alarm threshold = ";
  constexpr std::string_view kBootstrapped = " Bootstrapped false alarm thresholds";
  // Labels in kGraphNames order: "Hxxy Threshold = ", ...
  std::array<std::string, kTestCount> labels;
  for (std::size_t t = 0; t < kTestCount; ++t)
    labels[t] = std::string(kGraphNames[t]) + " Threshold = ";
  const std::vector<std::string_view> lines = split_lines(text);
  Thresholds out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string_view line = lines[i];
    if (std::size_t at = line.find(kNominal); at != std::string_view::npos) {
      float alpha;
      if (!parse_real(line.substr(at + kNominal.size()), alpha))
        throw InputError(at_line(name, i) + "no value after \"False alarm threshold = \"");
      out.value.fill(alpha);
      return out;
    }
    if (std::size_t at = line.find(kBootstrapped); at != std::string_view::npos) {
      if (!parse_int(line.substr(0, at), out.resamples) || out.resamples < 1)
        throw InputError(at_line(name, i) + "no resample count before the bootstrapped thresholds");
      std::array<bool, kTestCount> found{};
      for (std::size_t j = i + 1; j < lines.size() && j <= i + 8; ++j) {
        for (int t = 0; t < kTestCount; ++t) {
          std::string_view label = labels[static_cast<std::size_t>(t)];
          std::size_t at = lines[j].find(label);
          if (at == std::string_view::npos) continue;
          // The value is the first word after the label.
          std::string_view value = trim(lines[j].substr(at + label.size()));
          value = value.substr(0, value.find(' '));
          float v;
          if (!parse_real(value, v))
            throw InputError(at_line(name, j) + "no value after \"" + std::string(label) + "\"");
          out.value[static_cast<std::size_t>(t)] = v;
          found[static_cast<std::size_t>(t)] = true;
        }
      }
      for (int t = 0; t < kTestCount; ++t)
        if (!found[static_cast<std::size_t>(t)])
          throw InputError(name + ": the bootstrapped thresholds lack \"" +
                           std::string(labels[static_cast<std::size_t>(t)]) + "\"");
      return out;
    }
  }
  throw InputError(name +
                   ": no false alarm thresholds in the report (did the run end before its frame "
                   "tests?)");
}

namespace {

// The fields of a line of comma-separated values; a field in double quotes
// may hold commas and doubled quotes. False for an unclosed quote.
bool split_fields(std::string_view line, std::vector<std::string>& fields) {
  fields.clear();
  std::size_t i = 0;
  while (true) {
    std::string field;
    if (i < line.size() && line[i] == '"') {
      ++i;
      while (true) {
        if (i >= line.size()) return false;
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            field += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        field += line[i++];
      }
      if (i < line.size() && line[i] != ',') return false;
    } else {
      const std::size_t end = std::min(line.find(',', i), line.size());
      field = std::string(line.substr(i, end - i));
      i = end;
    }
    fields.push_back(std::move(field));
    if (i >= line.size()) return true;
    ++i;  // the comma
  }
}

}  // namespace

FramesTable parse_frames_table(std::string_view text, const std::string& name) {
  std::vector<std::string_view> lines = split_lines(text);
  while (!lines.empty() && lines.back().empty()) lines.pop_back();
  if (lines.empty()) throw InputError(name + ": no header row");
  std::vector<std::string> fields;
  if (!split_fields(lines[0], fields)) throw InputError(at_line(name, 0) + "an unclosed quote");
  // Column of the frame number, and of each test's CDF value and judgement.
  const auto column = [&](const std::string& wanted) {
    for (std::size_t c = 0; c < fields.size(); ++c)
      if (fields[c] == wanted) return c;
    throw InputError(at_line(name, 0) + "no column \"" + wanted + "\" in the header row");
  };
  const std::size_t frame_column = column("frame");
  std::array<std::size_t, kTestCount> cdf_column{}, significant_column{};
  for (std::size_t t = 0; t < kTestCount; ++t) {
    cdf_column[t] = column("cdf_" + std::string(kGraphNames[t]));
    significant_column[t] = column("significant_" + std::string(kGraphNames[t]));
  }
  const std::size_t columns = fields.size();

  FramesTable table;
  table.columns = fields;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    if (!split_fields(lines[i], fields)) throw InputError(at_line(name, i) + "an unclosed quote");
    if (fields.size() != columns)
      throw InputError(at_line(name, i) + std::to_string(fields.size()) + " fields where the " +
                       "header row has " + std::to_string(columns));
    TableFrame frame;
    if (!parse_int(fields[frame_column], frame.number) ||
        frame.number != static_cast<int>(table.frames.size()) + 1)
      throw InputError(at_line(name, i) + "\"" + fields[frame_column] + "\" where frame " +
                       std::to_string(table.frames.size() + 1) + " should stand");
    for (std::size_t t = 0; t < kTestCount; ++t) {
      const std::string& cdf = fields[cdf_column[t]];
      if (!parse_real(cdf, frame.cdf[t]) || frame.cdf[t] < 0.0f || frame.cdf[t] > 1.0f)
        throw InputError(at_line(name, i) + "\"" + cdf + "\" is not a CDF value");
      const std::string& judged = fields[significant_column[t]];
      if (judged != "true" && judged != "false")
        throw InputError(at_line(name, i) + "\"" + judged + "\" is neither true nor false");
      frame.significant[t] = judged == "true";
    }
    table.frames.push_back(frame);
    table.fields.push_back(fields);
  }
  return table;
}

std::string read_file(const std::string& path) {
  std::error_code ec;
  if (std::filesystem::is_directory(path, ec)) throw InputError(path + ": is a directory");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError("cannot open " + path + ": " + std::strerror(errno));
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw InputError("cannot read " + path);
  return text;
}

namespace {

bool all_digits(std::string_view s) {
  return !s.empty() && s.find_first_not_of("0123456789") == std::string_view::npos;
}

// One column part of a tag: "_" and a digit, or two or more digits.
bool column_part(std::string_view s) {
  return (s.size() == 2 && s[0] == '_' && s[1] >= '0' && s[1] <= '9') ||
         (s.size() >= 2 && all_digits(s));
}

}  // namespace

RunFiles run_files(std::string name) {
  for (std::string_view ext : {".out", ".graph"})
    if (name.ends_with(ext)) name.resize(name.size() - ext.size());
  const std::size_t slash = name.rfind('/');
  const std::size_t file_start = slash == std::string::npos ? 0 : slash + 1;
  const std::size_t dash = name.rfind('-');
  const std::string example = "a report name such as runA_1-_2";
  if (dash == std::string::npos || dash < file_start ||
      !column_part(std::string_view(name).substr(dash + 1)))
    throw InputError(name + " does not end with a column tag; give " + example);

  RunFiles files;
  files.name = name;
  files.report = name + ".out";
  files.graph = name + ".graph";
  files.table = name + ".csv";
  // The x part of the tag: its shortest reading first.
  std::vector<std::string> bases;
  for (std::size_t width = 2; dash >= file_start + width; ++width) {
    std::string_view part = std::string_view(name).substr(dash - width, width);
    if (!column_part(part)) break;
    bases.push_back(name.substr(0, dash - width));
  }
  if (bases.empty()) throw InputError(name + " does not end with a column tag; give " + example);
  files.xy_graph = bases.front() + "-xy.graph";
  for (const std::string& base : bases) {
    std::error_code ec;
    if (std::filesystem::exists(base + "-xy.graph", ec)) {
      files.xy_graph = base + "-xy.graph";
      break;
    }
  }
  return files;
}

}  // namespace vok::plot
