// The R package's bridge to the vok library. It holds no logic of its own:
// it turns R vectors into the library's types, runs the library's
// interruptible analysis while R's thread watches for a user interrupt, and
// hands the result back as plain vectors and matrices, which R/result.R
// turns into data frames.
#include <Rcpp.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <span>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "vok/missing.h"
#include "vok/summary.h"
#include "vok/vok.h"

namespace {

Rcpp::CharacterVector test_names() {
  Rcpp::CharacterVector names(vok::kColumnOrder.size());
  for (std::size_t t = 0; t < vok::kColumnOrder.size(); ++t)
    names[t] = vok::name(vok::kColumnOrder[t]);
  return names;
}

// A series as the analysis reads it: 32-bit values, each double rounded to
// the nearest float, as a data file's values are read.
std::vector<float> to_32_bits(const Rcpp::NumericVector& values) {
  std::vector<float> out(static_cast<std::size_t>(values.size()));
  for (R_xlen_t i = 0; i < values.size(); ++i) out[static_cast<std::size_t>(i)] = static_cast<float>(values[i]);
  return out;
}

// The message for the first value of a series that is finite but beyond the
// 32-bit range, shown as it was given (rounded, it would read as inf), as a
// refusal of the bridge; nothing when every value fits.
std::optional<Rcpp::List> beyond_32_bits(const Rcpp::NumericVector& values, const char* name) {
  // Halfway between the largest float and the next power: rounds to infinity.
  constexpr double kRoundsToInfinity = 0x1.ffffffp127;
  for (R_xlen_t i = 0; i < values.size(); ++i) {
    const double v = values[i];
    if (std::isfinite(v) && std::fabs(v) >= kRoundsToInfinity) {
      std::ostringstream text;
      text << name << "[" << i << "] = " << v << " is beyond the range of 32-bit reals";
      // As the library's refusals of a value: its reason, series and 0-based position.
      return Rcpp::List::create(Rcpp::Named("error") = text.str(),
                                Rcpp::Named("series") = std::string(name),
                                Rcpp::Named("index") = static_cast<double>(i));
    }
  }
  return std::nullopt;
}

template <class T, int RTYPE, class Pick>
Rcpp::Matrix<RTYPE> per_test_matrix(const std::vector<vok::Frame>& frames, Pick pick) {
  const int n = static_cast<int>(frames.size());
  Rcpp::Matrix<RTYPE> m(n, static_cast<int>(vok::kColumnOrder.size()));
  for (int f = 0; f < n; ++f) {
    const vok::PerTest<T>& values = pick(frames[static_cast<std::size_t>(f)]);
    for (std::size_t t = 0; t < vok::kColumnOrder.size(); ++t)
      m(f, static_cast<int>(t)) = values[vok::kColumnOrder[t]];
  }
  Rcpp::colnames(m) = test_names();
  return m;
}

template <class T, int RTYPE>
Rcpp::Vector<RTYPE> per_test_vector(const vok::PerTest<T>& values) {
  Rcpp::Vector<RTYPE> v(vok::kColumnOrder.size());
  for (std::size_t t = 0; t < vok::kColumnOrder.size(); ++t) v[t] = values[vok::kColumnOrder[t]];
  v.names() = test_names();
  return v;
}

Rcpp::NumericVector stats_vector(const vok::DescriptiveStats& s) {
  return Rcpp::NumericVector::create(
      Rcpp::Named("mean") = s.mean, Rcpp::Named("sd") = s.sd, Rcpp::Named("skewness") = s.skewness,
      Rcpp::Named("kurtosis") = s.kurtosis, Rcpp::Named("c6") = s.c6, Rcpp::Named("max") = s.max,
      Rcpp::Named("min") = s.min);
}

Rcpp::List variance_list(const vok::VarianceCheck& c) {
  return Rcpp::List::create(Rcpp::Named("frames") = c.frames,
                            Rcpp::Named("significant") = c.significant,
                            Rcpp::Named("binomial_p") = c.binomial_pvalue,
                            Rcpp::Named("strong") = c.strong);
}

// The cautions as columns of a data frame (built in R).
Rcpp::List cautions_list(const std::vector<vok::Caution>& cautions) {
  const R_xlen_t n = static_cast<R_xlen_t>(cautions.size());
  Rcpp::CharacterVector kind(n), series(n), advice(n), message(n);
  Rcpp::IntegerVector frames(n), count(n);
  Rcpp::NumericVector figure(n), binomial_p(n);
  for (R_xlen_t i = 0; i < n; ++i) {
    const vok::Caution& c = cautions[static_cast<std::size_t>(i)];
    kind[i] = vok::name(c.kind);
    series[i] = c.series;
    frames[i] = c.frames;
    count[i] = c.count;
    figure[i] = c.figure;
    binomial_p[i] = c.binomial_pvalue;
    advice[i] = c.advice;
    message[i] = c.message;
  }
  return Rcpp::List::create(Rcpp::Named("kind") = kind, Rcpp::Named("series") = series,
                            Rcpp::Named("frames") = frames, Rcpp::Named("count") = count,
                            Rcpp::Named("figure") = figure, Rcpp::Named("binomial_p") = binomial_p,
                            Rcpp::Named("advice") = advice, Rcpp::Named("message") = message);
}

Rcpp::List result_list(const vok::Result& r, const vok::Settings& s) {
  const std::vector<vok::Frame>& frames = r.frames;
  const int n = static_cast<int>(frames.size());
  Rcpp::IntegerVector number(n), first_row(n), last_row(n), rows_dropped(n);
  Rcpp::LogicalVector degenerate(n);
  Rcpp::CharacterVector first_stamp(n), last_stamp(n);
  for (int f = 0; f < n; ++f) {
    const vok::Frame& frame = frames[static_cast<std::size_t>(f)];
    number[f] = frame.number;
    first_row[f] = frame.first_row;
    last_row[f] = frame.last_row;
    rows_dropped[f] = frame.rows_dropped;
    degenerate[f] = frame.degenerate;
    first_stamp[f] = frame.first_stamp;
    last_stamp[f] = frame.last_stamp;
  }
  // The library's per-test summary: the report's percentage, the share,
  // the binomial p-value and the discoveries.
  const vok::PerTest<vok::TestSummary> summary = vok::summarise(r);
  const auto summary_column = [&summary](auto pick) {
    Rcpp::NumericVector v(vok::kColumnOrder.size());
    for (std::size_t t = 0; t < vok::kColumnOrder.size(); ++t)
      v[t] = pick(summary[vok::kColumnOrder[t]]);
    v.names() = test_names();
    return v;
  };
  Rcpp::NumericVector percent =
      summary_column([](const vok::TestSummary& t) { return t.percent; });

  const int width = 2 * r.lags + 1;
  Rcpp::NumericMatrix xy(n, width);
  for (int f = 0; f < n; ++f) {
    const std::vector<float>& rxy = frames[static_cast<std::size_t>(f)].cross_correlations;
    for (int k = 0; k < width; ++k)
      xy(f, k) = k < static_cast<int>(rxy.size()) ? rxy[static_cast<std::size_t>(k)] : 0.0f;
  }

  const int messages = static_cast<int>(r.messages.size());
  Rcpp::IntegerVector message_frame(messages);
  Rcpp::CharacterVector message_kind(messages), message_text(messages);
  for (int m = 0; m < messages; ++m) {
    const vok::Message& message = r.messages[static_cast<std::size_t>(m)];
    message_frame[m] = message.frame;
    message_kind[m] = vok::name(message.kind);
    message_text[m] = vok::describe(message);
  }

  Rcpp::List out;
  out["rows"] = r.rows;
  out["lags"] = r.lags;
  out["covered"] = r.covered;
  out["bootstrapped"] = r.bootstrapped;
  out["x_stats"] = stats_vector(r.x_stats);
  out["y_stats"] = stats_vector(r.y_stats);
  out["thresholds"] = per_test_vector<float, REALSXP>(r.thresholds);
  out["counts"] = per_test_vector<int, INTSXP>(r.counts);
  out["percent"] = percent;
  out["summary"] = Rcpp::List::create(
      Rcpp::Named("share") = summary_column([](const vok::TestSummary& t) { return t.share; }),
      Rcpp::Named("binomial_p") =
          summary_column([](const vok::TestSummary& t) { return t.binomial_p; }),
      Rcpp::Named("discoveries") =
          summary_column([](const vok::TestSummary& t) { return t.discoveries; }));
  out["number"] = number;
  out["first_row"] = first_row;
  out["last_row"] = last_row;
  out["rows_dropped"] = rows_dropped;
  out["first_stamp"] = first_stamp;
  out["last_stamp"] = last_stamp;
  out["degenerate"] = degenerate;
  out["statistic"] = per_test_matrix<float, REALSXP>(
      frames, [](const vok::Frame& f) -> const auto& { return f.statistic; });
  out["df"] = per_test_matrix<int, INTSXP>(
      frames, [](const vok::Frame& f) -> const auto& { return f.df; });
  out["cdf"] = per_test_matrix<float, REALSXP>(
      frames, [](const vok::Frame& f) -> const auto& { return f.cdf; });
  out["pvalue"] = per_test_matrix<double, REALSXP>(
      frames, [](const vok::Frame& f) -> const auto& { return f.pvalue; });
  out["qvalue"] = per_test_matrix<double, REALSXP>(
      frames, [](const vok::Frame& f) -> const auto& { return f.qvalue; });
  out["significant"] = per_test_matrix<bool, LGLSXP>(
      frames, [](const vok::Frame& f) -> const auto& { return f.significant; });
  Rcpp::NumericVector variance_x(n), variance_y(n);
  for (int f = 0; f < n; ++f) {
    variance_x[f] = frames[static_cast<std::size_t>(f)].variance_pvalue_x;
    variance_y[f] = frames[static_cast<std::size_t>(f)].variance_pvalue_y;
  }
  out["variance_pvalue_x"] = variance_x;
  out["variance_pvalue_y"] = variance_y;
  out["x_variance"] = variance_list(r.x_variance);
  out["y_variance"] = variance_list(r.y_variance);
  out["cautions"] = cautions_list(r.cautions);
  out["cross_correlations"] = xy;
  out["diagnostics"] = Rcpp::DataFrame::create(
      Rcpp::Named("frame") = message_frame, Rcpp::Named("kind") = message_kind,
      Rcpp::Named("text") = message_text, Rcpp::Named("stringsAsFactors") = false);
  // The settings as the analysis used them (its reals in 32 bits).
  out["exponent"] = static_cast<double>(s.exponent);
  out["false_alarm"] = static_cast<double>(s.false_alarm);
  return out;
}

void check_interrupt(void*) { R_CheckUserInterrupt(); }

// Whether the user asked to interrupt R. R_CheckUserInterrupt jumps out of
// the function when so; R_ToplevelExec keeps that jump inside it, so that no
// C++ frame is skipped.
bool interrupt_pending() { return R_ToplevelExec(check_interrupt, nullptr) == FALSE; }

// "raise": a missing value is refused; "drop" or "split": the rows where x
// or y is NA are left out, the frames placed by that policy.
std::optional<vok::Missing> missing_of(const std::string& name) {
  if (name == "drop") return vok::Missing::drop;
  if (name == "split") return vok::Missing::split;
  return std::nullopt;
}


}  // namespace

// The analysis of x and y: a list of vectors and matrices (per-test columns
// in the order of vok_tests()), or list(error = message) when the library
// refuses the input or a setting. `seed` is a decimal string (64 bits);
// `missing` is "raise", "drop" or "split" (an NA reaches the library as NaN).
// [[Rcpp::export(.vok_analyse)]]
Rcpp::List vok_analyse(Rcpp::NumericVector x, Rcpp::NumericVector y, int frame_length,
                       double exponent, double false_alarm, int overlap, int var_lag,
                       int resamples, std::string transform, int threads, std::string seed,
                       Rcpp::Nullable<Rcpp::CharacterVector> stamps, std::string bootstrap,
                       std::string trend, std::string missing) {
  vok::Settings s;
  s.frame_length = frame_length;
  s.exponent = static_cast<float>(exponent);
  s.false_alarm = static_cast<float>(false_alarm);
  s.overlap = overlap;
  s.var_lag = var_lag;
  s.resamples = resamples;
  // A name of no choice is refused, never taken for another.
  if (!vok::parse(transform, s.transform))
    return Rcpp::List::create(Rcpp::Named("error") = "transform = \"" + transform +
                                                     "\": must be \"none\", \"clip\" or \"log\"");
  if (!vok::parse(bootstrap, s.bootstrap))
    return Rcpp::List::create(Rcpp::Named("error") = "bootstrap = \"" + bootstrap +
                                                     "\": must be \"data\" or \"frames\"");
  if (trend != "n" && trend != "c")
    return Rcpp::List::create(Rcpp::Named("error") = "trend = \"" + trend +
                                                     "\": must be \"c\" or \"n\"");
  s.trend = vok::parse_trend(trend);
  s.threads = threads;
  s.seed = std::stoull(seed);
  for (const auto& [values, name] : {std::pair{&x, "x"}, std::pair{&y, "y"}})
    if (std::optional<Rcpp::List> refused = beyond_32_bits(*values, name)) return *refused;
  const std::vector<float> xs = to_32_bits(x);
  const std::vector<float> ys = to_32_bits(y);
  std::vector<std::string> stamp_strings;
  if (stamps.isNotNull())
    stamp_strings = Rcpp::as<std::vector<std::string>>(Rcpp::CharacterVector(stamps.get()));
  try {
    const auto interrupted = [] { return interrupt_pending(); };
    const std::optional<vok::Missing> policy = missing_of(missing);
    const vok::Result result =
        policy ? vok::analyse_interruptibly(xs, ys, s, *policy, stamp_strings, interrupted)
               : vok::analyse_interruptibly(xs, ys, s, stamp_strings, interrupted);
    return result_list(result, s);
  } catch (const vok::Cancelled&) {
    throw Rcpp::internal::InterruptedException();
  } catch (const vok::Error& e) {
    // The reason as the library gives it, and what it concerns as values.
    static constexpr const char* kSeries[] = {"", "x", "y", "both", "stamps"};
    return Rcpp::List::create(
        Rcpp::Named("error") = e.reason(),
        Rcpp::Named("series") = std::string(kSeries[static_cast<int>(e.series())]),
        Rcpp::Named("index") = e.index() ? static_cast<double>(*e.index()) : NA_REAL);
  }
}

// Lags per frame for these settings, as the analysis computes them.
// [[Rcpp::export(.vok_lags)]]
int vok_lags(int frame_length, double exponent) {
  vok::Settings s;
  s.frame_length = frame_length;
  s.exponent = static_cast<float>(exponent);
  return vok::lags(s);
}

// The seven tests in the order of every per-test column.
// [[Rcpp::export(.vok_tests)]]
Rcpp::CharacterVector vok_tests() { return test_names(); }

// The seven tests in the order of a graph record's CDF values: the
// bicorrelation tests, then the correlation tests (the plot's panels).
// [[Rcpp::export(.vok_graph_order)]]
Rcpp::CharacterVector vok_graph_order() {
  Rcpp::CharacterVector names(vok::kGraphOrder.size());
  for (std::size_t t = 0; t < vok::kGraphOrder.size(); ++t)
    names[t] = vok::name(vok::kGraphOrder[t]);
  return names;
}

// P(X >= k) for X binomial with n draws of probability p: the library's sum.
// [[Rcpp::export(.vok_binomial_upper_tail)]]
double vok_binomial_upper_tail(int k, int n, double p) { return vok::binomial_upper_tail(k, n, p); }

// The library's constants of the pictures: each test's colour (named), the
// smallest p-value drawn, and the bicorrelation tests.
// [[Rcpp::export(.vok_plot_style)]]
Rcpp::List vok_plot_style() {
  Rcpp::CharacterVector colours(vok::kTests.size()), names(vok::kTests.size());
  for (std::size_t t = 0; t < vok::kTests.size(); ++t) {
    colours[t] = std::string(vok::test_colour(vok::kTests[t]));
    names[t] = vok::name(vok::kTests[t]);
  }
  colours.names() = names;
  Rcpp::CharacterVector bicorrelation(vok::kBicorrelationTests.size());
  for (std::size_t t = 0; t < vok::kBicorrelationTests.size(); ++t)
    bicorrelation[t] = vok::name(vok::kBicorrelationTests[t]);
  return Rcpp::List::create(Rcpp::Named("colours") = colours,
                            Rcpp::Named("smallest_pvalue") = vok::kSmallestPValueDrawn,
                            Rcpp::Named("bicorrelation") = bicorrelation);
}

// The version of the library the package carries.
// [[Rcpp::export(.vok_version)]]
std::string vok_version() { return VOK_VERSION; }

// The names of the settings' choices, as the library parses them.
// [[Rcpp::export(.vok_setting_names)]]
Rcpp::List vok_setting_names() {
  const auto names = [](auto... values) {
    return Rcpp::CharacterVector::create(std::string(vok::to_string(values))...);
  };
  return Rcpp::List::create(
      Rcpp::Named("transform") =
          names(vok::Transform::none, vok::Transform::clip, vok::Transform::log),
      Rcpp::Named("bootstrap") = names(vok::Bootstrap::data, vok::Bootstrap::frames));
}
