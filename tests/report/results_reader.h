// Reads a results file back into a vok::Result: vok-plot's JSON reader and
// the mapping of the file's members onto the Result, so that the tests can
// hold the file to the Result it was written from, bit for bit. Numbers are
// read as doubles, as any JSON reader reads them.
#pragma once

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "../../tools/vok-plot/json_reader.h"
#include "vok/vok.h"

namespace vok::test {

using plot::JsonParser;
using plot::JsonValue;
using plot::parse_json;

// A 64-bit value; null is NaN.
inline double real(const JsonValue& v) {
  return v.is_null() ? std::numeric_limits<double>::quiet_NaN() : v.number;
}
// A 32-bit value: the number must be one exactly.
inline float real32(const JsonValue& v) {
  const double d = real(v);
  const float f = static_cast<float>(d);
  if (!std::isnan(d) && static_cast<double>(f) != d)
    throw std::runtime_error(v.text + " is no 32-bit value");
  return f;
}

template <class T>
PerTest<T> per_test(const JsonValue& v) {
  PerTest<T> out;
  for (Test t : kTests) {
    const JsonValue& x = v[std::string(test_name(t))];
    if constexpr (std::is_same_v<T, bool>)
      out[t] = x.boolean;
    else if constexpr (std::is_same_v<T, int>)
      out[t] = static_cast<int>(x.number);
    else if constexpr (std::is_same_v<T, float>)
      out[t] = real32(x);
    else
      out[t] = real(x);
  }
  return out;
}

inline DescriptiveStats stats_of(const JsonValue& v) {
  return {real32(v["mean"]), real32(v["sd"]),  real32(v["skewness"]), real32(v["kurtosis"]),
          real32(v["c6"]),   real32(v["max"]), real32(v["min"])};
}

inline std::optional<CorrelationBlock> block_of(const JsonValue& v) {
  if (v.is_null()) return std::nullopt;
  CorrelationBlock b;
  b.frames = static_cast<int>(v["frames"].number);
  for (const JsonValue& p : v["pairs"].items)
    b.pairs.push_back({p["first"].text, p["second"].text, real32(p["r"]),
                       p["first_varies"].boolean, p["second_varies"].boolean});
  return b;
}

inline VarianceCheck variance_of(const JsonValue& v) {
  return {static_cast<int>(v["frames"].number), static_cast<int>(v["significant"].number),
          real(v["binomial_pvalue"]), v["strong"].boolean};
}

inline MessageKind kind_of(const std::string& text) {
  for (int k = 0; k <= static_cast<int>(MessageKind::out_of_memory); ++k)
    if (text == name(static_cast<MessageKind>(k))) return static_cast<MessageKind>(k);
  throw std::runtime_error("no message kind " + text);
}

inline Stage stage_of(const std::string& text) {
  using S = Stage;
  const std::pair<const char*, S> stages[] = {
      {"run", S::run},         {"statistics", S::statistics},   {"bootstrap", S::bootstrap},
      {"var_fit", S::var_fit}, {"x_residuals", S::x_residuals}, {"y_residuals", S::y_residuals},
      {"tests", S::tests},     {"summary", S::summary}};
  for (const auto& [n, s] : stages)
    if (text == n) return s;
  throw std::runtime_error("no stage " + text);
}

inline Arrays arrays_of(const std::string& text) {
  using A = Arrays;
  const std::pair<const char*, A> arrays[] = {{"none", A::none},
                                              {"var_coefficients", A::var_coefficients},
                                              {"var_equations", A::var_equations},
                                              {"frames", A::frames},
                                              {"bootstrap", A::bootstrap}};
  for (const auto& [n, a] : arrays)
    if (text == n) return a;
  throw std::runtime_error("no arrays " + text);
}

inline CautionKind caution_kind_of(const std::string& text) {
  for (int k = 0; k <= static_cast<int>(CautionKind::constant_frames); ++k)
    if (text == name(static_cast<CautionKind>(k))) return static_cast<CautionKind>(k);
  throw std::runtime_error("no caution kind " + text);
}

inline Result result_of(const JsonValue& doc) {
  Result r;
  r.rows = static_cast<int>(doc["rows"].number);
  r.lags = static_cast<int>(doc["lags"].number);
  r.covered = static_cast<int>(doc["covered"].number);
  r.x_stats = stats_of(doc["x_stats"]);
  r.y_stats = stats_of(doc["y_stats"]);
  r.thresholds = per_test<float>(doc["thresholds"]);
  r.bootstrapped = doc["bootstrapped"].boolean;
  for (const JsonValue& v : doc["frames"].items) {
    Frame f;
    f.number = static_cast<int>(v["number"].number);
    f.first_row = static_cast<int>(v["first_row"].number);
    f.last_row = static_cast<int>(v["last_row"].number);
    f.first_stamp = v["first_stamp"].text;
    f.last_stamp = v["last_stamp"].text;
    f.statistic = per_test<float>(v["statistic"]);
    f.df = per_test<int>(v["df"]);
    f.cdf = per_test<float>(v["cdf"]);
    f.pvalue = per_test<double>(v["pvalue"]);
    f.qvalue = per_test<double>(v["qvalue"]);
    f.significant = per_test<bool>(v["significant"]);
    f.sd_x = real32(v["sd_x"]);
    f.sd_y = real32(v["sd_y"]);
    f.degenerate = v["degenerate"].boolean;
    f.variance_pvalue_x = real(v["variance_pvalue_x"]);
    f.variance_pvalue_y = real(v["variance_pvalue_y"]);
    for (const JsonValue& x : v["cross_correlations"].items) f.cross_correlations.push_back(real32(x));
    if (const JsonValue& fit = v["var_fit"]; !fit.is_null()) {
      VarFit vf;
      for (const JsonValue& x : fit["phi"].items) vf.phi.push_back(real(x));
      for (const JsonValue& x : fit["constant"].items) vf.constant.push_back(real(x));
      for (const JsonValue& x : fit["se"].items) vf.se.push_back(real32(x));
      for (const JsonValue& x : fit["resid_se"].items) vf.resid_se.push_back(real32(x));
      vf.r_square = real32(fit["r_square"]);
      vf.status = static_cast<int>(fit["status"].number);
      f.var_fit = vf;
    }
    if (!v["x_residuals"].is_null()) f.x_residuals = stats_of(v["x_residuals"]);
    if (!v["y_residuals"].is_null()) f.y_residuals = stats_of(v["y_residuals"]);
    r.frames.push_back(std::move(f));
  }
  r.counts = per_test<int>(doc["counts"]);
  if (const JsonValue& s = doc["summary"]; !s.is_null())
    r.summary = CorrelationSummary{*block_of(s["all_frames"]), block_of(s["largest_xxy"]),
                                   block_of(s["largest_yyx"])};
  r.x_variance = variance_of(doc["x_variance"]);
  r.y_variance = variance_of(doc["y_variance"]);
  for (const JsonValue& c : doc["cautions"].items)
    r.cautions.push_back({caution_kind_of(c["kind"].text), c["series"].text,
                          static_cast<int>(c["frames"].number), static_cast<int>(c["count"].number),
                          real(c["figure"]), real(c["binomial_pvalue"]), c["advice"].text,
                          c["message"].text});
  for (const JsonValue& m : doc["messages"].items)
    r.messages.push_back({kind_of(m["kind"].text), stage_of(m["stage"].text),
                          static_cast<int>(m["frame"].number),
                          {real(m["numbers"].items.at(0)), real(m["numbers"].items.at(1))},
                          arrays_of(m["arrays"].text)});
  return r;
}

}  // namespace vok::test
