#include "report/results_file.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <utility>

#include "report/file_names.h"

namespace vok {
namespace {

// Appends the pieces of a JSON text.
class Json {
 public:
  std::string take() { return std::move(text_); }

  void number(double v) {
    if (std::isnan(v)) {
      text_ += "null";
    } else if (std::isinf(v)) {
      text_ += v > 0 ? "1e999" : "-1e999";
    } else {
      char buffer[32];
      const auto end = std::to_chars(buffer, buffer + sizeof buffer, v).ptr;
      text_.append(buffer, end);
    }
  }
  // A 32-bit value, exactly widened.
  void number(float v) { number(static_cast<double>(v)); }
  void number(int v) { text_ += std::to_string(v); }
  void number(std::uint64_t v) { text_ += std::to_string(v); }
  void boolean(bool v) { text_ += v ? "true" : "false"; }
  void null() { text_ += "null"; }

  // Bytes as they are, with quotes, backslashes and control characters
  // escaped; bytes beyond ASCII are taken as Latin-1 characters (the files
  // the program reads are Latin-1), so the text is always valid.
  void string(std::string_view s) {
    text_ += '"';
    for (const char c : s) {
      const auto byte = static_cast<unsigned char>(c);
      if (c == '"' || c == '\\') {
        text_ += '\\';
        text_ += c;
      } else if (c == '\n') {
        text_ += "\\n";
      } else if (byte < 0x20 || byte >= 0x7f) {
        char escaped[8];
        std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
        text_ += escaped;
      } else {
        text_ += c;
      }
    }
    text_ += '"';
  }

  // Objects and arrays: open, then key() before each member (a comma
  // between members is added here), close.
  void open(char bracket) {
    text_ += bracket;
    first_ = true;
  }
  void close(char bracket) {
    text_ += bracket;
    first_ = false;
  }
  void key(std::string_view name) {
    item();
    string(name);
    text_ += ':';
  }
  // Before an array element.
  void item() {
    if (!first_) text_ += ',';
    first_ = false;
  }

 private:
  std::string text_;
  bool first_ = true;
};

template <class T>
void per_test(Json& j, const PerTest<T>& values) {
  j.open('{');
  for (Test t : kTests) {
    j.key(test_name(t));
    if constexpr (std::is_same_v<T, bool>)
      j.boolean(values[t]);
    else
      j.number(values[t]);
  }
  j.close('}');
}

template <class T>
void array(Json& j, const std::vector<T>& values) {
  j.open('[');
  for (const T& v : values) {
    j.item();
    j.number(v);
  }
  j.close(']');
}

void stats(Json& j, const DescriptiveStats& s) {
  j.open('{');
  for (auto [name, value] : {std::pair{"mean", s.mean}, std::pair{"sd", s.sd},
                             std::pair{"skewness", s.skewness}, std::pair{"kurtosis", s.kurtosis},
                             std::pair{"c6", s.c6}, std::pair{"max", s.max},
                             std::pair{"min", s.min}}) {
    j.key(name);
    j.number(value);
  }
  j.close('}');
}

void optional_stats(Json& j, const std::optional<DescriptiveStats>& s) {
  if (s)
    stats(j, *s);
  else
    j.null();
}

void var_fit(Json& j, const std::optional<VarFit>& fit) {
  if (!fit) return j.null();
  j.open('{');
  j.key("phi");
  array(j, fit->phi);
  j.key("constant");
  array(j, fit->constant);
  j.key("se");
  array(j, fit->se);
  j.key("resid_se");
  array(j, fit->resid_se);
  j.key("r_square");
  j.number(fit->r_square);
  j.key("status");
  j.number(fit->status);
  j.close('}');
}

void frame(Json& j, const Frame& f) {
  j.open('{');
  j.key("number");
  j.number(f.number);
  j.key("first_row");
  j.number(f.first_row);
  j.key("last_row");
  j.number(f.last_row);
  j.key("first_stamp");
  j.string(f.first_stamp);
  j.key("last_stamp");
  j.string(f.last_stamp);
  j.key("statistic");
  per_test(j, f.statistic);
  j.key("df");
  per_test(j, f.df);
  j.key("cdf");
  per_test(j, f.cdf);
  j.key("pvalue");
  per_test(j, f.pvalue);
  j.key("qvalue");
  per_test(j, f.qvalue);
  j.key("significant");
  per_test(j, f.significant);
  j.key("sd_x");
  j.number(f.sd_x);
  j.key("sd_y");
  j.number(f.sd_y);
  j.key("degenerate");
  j.boolean(f.degenerate);
  j.key("variance_pvalue_x");
  j.number(f.variance_pvalue_x);
  j.key("variance_pvalue_y");
  j.number(f.variance_pvalue_y);
  j.key("cross_correlations");
  array(j, f.cross_correlations);
  j.key("var_fit");
  var_fit(j, f.var_fit);
  j.key("x_residuals");
  optional_stats(j, f.x_residuals);
  j.key("y_residuals");
  optional_stats(j, f.y_residuals);
  j.close('}');
}

void block(Json& j, const std::optional<CorrelationBlock>& b) {
  if (!b) return j.null();
  j.open('{');
  j.key("frames");
  j.number(b->frames);
  j.key("pairs");
  j.open('[');
  for (const CorrelationPair& p : b->pairs) {
    j.item();
    j.open('{');
    j.key("first");
    j.string(p.first);
    j.key("second");
    j.string(p.second);
    j.key("r");
    j.number(p.r);
    j.key("first_varies");
    j.boolean(p.first_varies);
    j.key("second_varies");
    j.boolean(p.second_varies);
    j.close('}');
  }
  j.close(']');
  j.close('}');
}

void variance(Json& j, const VarianceCheck& c) {
  j.open('{');
  j.key("frames");
  j.number(c.frames);
  j.key("significant");
  j.number(c.significant);
  j.key("binomial_pvalue");
  j.number(c.binomial_pvalue);
  j.key("strong");
  j.boolean(c.strong);
  j.close('}');
}

void caution(Json& j, const Caution& c) {
  j.open('{');
  j.key("kind");
  j.string(name(c.kind));
  j.key("series");
  j.string(c.series);
  j.key("frames");
  j.number(c.frames);
  j.key("count");
  j.number(c.count);
  j.key("figure");
  j.number(c.figure);
  j.key("binomial_pvalue");
  j.number(c.binomial_pvalue);
  j.key("advice");
  j.string(c.advice);
  j.key("message");
  j.string(c.message);
  j.close('}');
}

const char* stage_name(Stage s) {
  switch (s) {
    case Stage::run: return "run";
    case Stage::statistics: return "statistics";
    case Stage::bootstrap: return "bootstrap";
    case Stage::var_fit: return "var_fit";
    case Stage::x_residuals: return "x_residuals";
    case Stage::y_residuals: return "y_residuals";
    case Stage::tests: return "tests";
    case Stage::summary: break;
  }
  return "summary";
}

const char* arrays_name(Arrays a) {
  switch (a) {
    case Arrays::none: return "none";
    case Arrays::var_coefficients: return "var_coefficients";
    case Arrays::var_equations: return "var_equations";
    case Arrays::frames: return "frames";
    case Arrays::bootstrap: break;
  }
  return "bootstrap";
}

void settings_object(Json& j, const Settings& s) {
  j.open('{');
  j.key("frame_length");
  j.number(s.frame_length);
  j.key("exponent");
  j.number(s.exponent);
  j.key("false_alarm");
  j.number(s.false_alarm);
  j.key("overlap");
  j.number(s.overlap);
  j.key("var_lag");
  j.number(s.var_lag);
  j.key("resamples");
  j.number(s.resamples);
  j.key("transform");
  if (s.transform == Transform::none)
    j.null();
  else
    j.string(to_string(s.transform));
  j.key("bootstrap");
  j.string(to_string(s.bootstrap));
  j.key("trend");
  j.string(name(s.trend));
  j.key("threads");
  j.number(s.threads);
  j.key("seed");
  j.number(s.seed);
  j.close('}');
}

}  // namespace

std::string results_file_name(const std::string& report_name) {
  return beside_report(report_name, ".json");
}

std::string results_json(const std::string& report_name, const Settings& settings,
                         const Result& r) {
  Json j;
  j.open('{');
  j.key("report");
  j.string(report_name);
  j.key("settings");
  settings_object(j, settings);
  j.key("rows");
  j.number(r.rows);
  j.key("lags");
  j.number(r.lags);
  j.key("covered");
  j.number(r.covered);
  j.key("x_stats");
  stats(j, r.x_stats);
  j.key("y_stats");
  stats(j, r.y_stats);
  j.key("thresholds");
  per_test(j, r.thresholds);
  j.key("bootstrapped");
  j.boolean(r.bootstrapped);
  j.key("frames");
  j.open('[');
  for (const Frame& f : r.frames) {
    j.item();
    frame(j, f);
  }
  j.close(']');
  j.key("counts");
  per_test(j, r.counts);
  j.key("summary");
  if (r.summary) {
    j.open('{');
    j.key("all_frames");
    block(j, r.summary->all_frames);
    j.key("largest_xxy");
    block(j, r.summary->largest_xxy);
    j.key("largest_yyx");
    block(j, r.summary->largest_yyx);
    j.close('}');
  } else {
    j.null();
  }
  j.key("x_variance");
  variance(j, r.x_variance);
  j.key("y_variance");
  variance(j, r.y_variance);
  j.key("cautions");
  j.open('[');
  for (const Caution& c : r.cautions) {
    j.item();
    caution(j, c);
  }
  j.close(']');
  j.key("messages");
  j.open('[');
  for (const Message& m : r.messages) {
    j.item();
    j.open('{');
    j.key("kind");
    j.string(name(m.kind));
    j.key("stage");
    j.string(stage_name(m.stage));
    j.key("frame");
    j.number(m.frame);
    j.key("numbers");
    j.open('[');
    for (double v : m.numbers) {
      j.item();
      j.number(v);
    }
    j.close(']');
    j.key("arrays");
    j.string(arrays_name(m.arrays));
    j.key("text");
    j.string(describe(m));
    j.close('}');
  }
  j.close(']');
  j.close('}');
  return j.take() + "\n";
}

std::string results_index_json(const std::vector<std::string>& results_files) {
  Json j;
  j.open('{');
  j.key("results");
  j.open('[');
  for (const std::string& name : results_files) {
    j.item();
    j.string(name);
  }
  j.close(']');
  j.close('}');
  return j.take() + "\n";
}

ResultsFileWriter::ResultsFileWriter(std::string report_name, const Settings& settings,
                                     Channels& program)
    : report_name_(std::move(report_name)), settings_(settings), program_(program) {}

void ResultsFileWriter::write(const FramePlan& plan) {
  const Result result = collector_.take(plan, settings_);
  Channel file(results_file_name(report_name_), program_);
  // The channel's name is the file's path.
  if (file.open_file(file.name()) != 0) {
    program_.report_write_error(file);
    return;
  }
  file.append(results_json(report_name_, settings_, result));
  file.close();
}

}  // namespace vok
