// vok: moving-frame tests of serial and cross dependence beyond a linear
// model in two time series.
//
// The one header a program includes:
//
//   #include <vok/vok.h>
//
//   vok::Settings settings;
//   settings.frame_length = 200;
//   settings.var_lag = 1;
//   const vok::Result result = vok::analyse(x, y, settings);
//   for (const vok::Frame& frame : result.frames)
//     std::printf("%d %g\n", frame.number, frame.p_values().hxxy);
//
// analyse cuts x and y into frames, prewhitens each frame with a VAR fit,
// computes the seven portmanteau tests with their chi-square CDF values and
// judges each against its false-alarm threshold (the nominal level, or
// bootstrapped). It computes and returns: it writes no file, nothing on the
// console and keeps no global state. A bad setting or bad input throws
// vok::Error.
//
// A program that wants each result as soon as it is known (the frames one
// by one, as a long series is analysed) hands analyse a sink of its own
// instead: <vok/sink.h>.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "test_order.h"
#include "version.h"

#include "caution.h"
#include "message.h"

namespace vok {

// The one exception type of the API: a setting out of its bounds, input that
// cannot be analysed, or a frame whose analysis cannot go on. The message
// names the setting (or series) and the value (or position); the error also
// carries them as values, so that a client builds its own message without
// reading the text:
//
// - a setting out of its bounds: the setting's code (setting()) and the
//   bound it broke (bound(); see violation below);
// - bad input: the series (series()) and, for a bad value, its 0-based
//   index (index());
// - anything else: Setting::none, no bound, Series::none.
enum class Setting {
  none,
  frame_length,
  exponent,
  overlap,
  var_lag,
  false_alarm,
  resamples,
  transform,
  bootstrap,
  threads,
  trend,
};

// The bounds of the settings, in the order Settings::check tries them.
enum class Bound {
  frame_length,         // frame_length >= 12
  exponent,             // 0.01 < exponent <= 0.5 (the 32-bit reals nearest them)
  overlap,              // overlap >= 0
  var_lag,              // var_lag >= 0, at most frame_length / 2, frame_length - 2 var_lag >= 1
  false_alarm,          // 0 < false_alarm <= 1
  resamples,            // resamples >= 0
  resamples_for_level,  // 1 / resamples <= false_alarm (with resamples >= 1)
  transform,            // none, clip or log
  bootstrap,            // data or frames
  trend,                // n or c
  threads,              // threads >= 0
  lags,                 // frame_length ** exponent gives at least one lag (the exponent's)
};

// The input an error concerns.
enum class Series {
  none,    // not the input (a setting, or a frame that could not be analysed)
  x,
  y,
  both,    // x and y together (their lengths, or too few rows for a frame)
  stamps,  // the stamps (their count)
};

class VOK_API Error : public std::invalid_argument {
 public:
  using std::invalid_argument::invalid_argument;
  Error(const std::string& message, Setting setting)
      : std::invalid_argument(message), setting_(setting) {}
  Error(const std::string& message, Setting setting, Bound bound)
      : std::invalid_argument(message), setting_(setting), bound_(bound) {}
  Error(const std::string& message, Series series, std::optional<std::size_t> index = {})
      : std::invalid_argument(message), series_(series), index_(index) {}
  // The setting out of its bounds; Setting::none for any other error.
  Setting setting() const noexcept { return setting_; }
  // The bound the setting broke; none for any other error.
  std::optional<Bound> bound() const noexcept { return bound_; }
  // The input refused; Series::none for any other error.
  Series series() const noexcept { return series_; }
  // The 0-based index of the value refused in series(), for a bad value.
  std::optional<std::size_t> index() const noexcept { return index_; }
  // The message without the library's name of what refused ("vok::analyse: ",
  // "vok::Settings::"): "frame_length = 5: must be at least 12", as a client
  // whose settings are keyword arguments shows it.
  std::string reason() const;

 private:
  Setting setting_ = Setting::none;
  std::optional<Bound> bound_;
  Series series_ = Series::none;
  std::optional<std::size_t> index_;
};

// Thrown by analyse when the caller's cancellation flag was raised: the
// analysis stopped between two frames or two resamples and returns nothing.
class VOK_API Cancelled : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// ---------------------------------------------------------------- settings

// What is done to the series before they are tested.
enum class Transform {
  none,
  clip,  // the VAR residuals of each frame are hard clipped to +1/-1
  log,   // the natural logarithm of x and y (every value must be > 0)
};

// Where the bootstrap's resamples go before the tests.
enum class Bootstrap {
  // Resampled frame-length pairs drawn from the raw x and y columns,
  // standardised and tested: they calibrate the tests on the data's value
  // distributions, but know nothing of the VAR fit or of clipping.
  data,
  // Each resampled pair goes through what a frame goes through: the VAR fit
  // of the run's order, its residuals, clipping when on, then the tests. The
  // thresholds then belong to the statistics the frames compute.
  frames,
};

// The deterministic term of each frame's VAR fit (with var_lag >= 1).
enum class Trend {
  // No constant: the fit regresses each series on its lags alone, as the
  // console program's runs always have. A series with a level (a mean far
  // from 0) keeps it in its residuals, which then fail the correlation tests.
  n,
  // A constant estimated with the coefficients: the slopes from the frame's
  // centred moments, the constant of each equation such that its residuals
  // have mean 0. The level of a frame then no longer reaches the tests.
  c,
};

// "n" or "c".
VOK_API const char* name(Trend trend);
// The trend named "n" or "c"; throws Error (Setting::trend) for any other name.
VOK_API Trend parse_trend(std::string_view name);

struct VOK_API Settings {
  int frame_length = 200;    // observations per frame, at least 12
  float exponent = 0.4f;     // lags per frame = frame_length ** exponent, 0.01 < exponent <= 0.5
  int overlap = 0;           // 0: frames end to end; > 0: a new frame every `overlap` rows
  int var_lag = 0;           // order p of the VAR fit (0: none); frame_length - 2 p >= 1
  int resamples = 0;         // bootstrap resamples (0: nominal thresholds); 1/resamples <= false_alarm
  Bootstrap bootstrap = Bootstrap::data;  // what the resamples go through (with resamples >= 1)
  float false_alarm = 0.05f; // false-alarm level of the tests, above 0 and at most 1
  Transform transform = Transform::none;
  // The VAR fit's constant. Trend::n, the default, is the console program's
  // fit; the Python and R packages default to Trend::c.
  Trend trend = Trend::n;
  int threads = 0;           // threads to use; 0: one per processor core
  // Seed of the bootstrap's uniform stream. The default gives the stream of
  // the console program (whose later runs continue where earlier ones ended).
  std::uint64_t seed = 0;

  // Throws Error naming the first setting out of its bounds.
  void check() const;
};

// The first bound (in Bound's order) the settings break, or none: what
// Settings::check throws for, without throwing.
VOK_API std::optional<Bound> violation(const Settings& settings);

// Number of lags of a frame: frame_length raised to exponent in 32-bit reals,
// rounded to the nearest integer.
VOK_API int lags(const Settings& settings);

// Number of frames analyse cuts `rows` observations into with these settings:
// rows div frame_length end to end; with overlap > 0, a new frame every
// `overlap` rows, each lying inside the rows. Throws Error for a setting out
// of its bounds (as Settings::check) or a negative row count.
VOK_API int frame_count(const Settings& settings, int rows);

// How `rows` observations are cut into frames: what analyse follows, and
// what the streaming analyse (<vok/sink.h>) returns beside the frames it
// hands on.
struct FramePlan {
  int rows = 0;          // n, the observations analysed
  int frame_length = 0;  // rows of a frame
  int overlap = 0;       // 0: frames end to end; > 0: a new frame every `overlap` rows
  int lags = 0;          // lags per frame
  int frames = 0;        // frames in the rows (frame_count)

  // The plan of `rows` rows in frames of frame_length (>= 1) rows with
  // `overlap` and `lags` lags. With settings in their bounds,
  // of(rows, s.frame_length, s.overlap, lags(s)) is the plan analyse follows.
  VOK_API static FramePlan of(int rows, int frame_length, int overlap, int lags);

  // Length of the cross-bicorrelation list: lags (2 lags + 1).
  int list_length() const { return lags * (2 * lags + 1); }
  // Rows that whole frames can cover, frame_length (rows div frame_length):
  // the rows of the descriptive statistics (Result::covered).
  int covered() const { return frame_length > 0 ? frame_length * (rows / frame_length) : 0; }
  // Rows between the starts of two frames: frame_length end to end, else the overlap.
  int step() const { return overlap > 0 ? overlap : frame_length; }
  // Rows before frame k (1-based).
  int offset(int k) const { return (k - 1) * step(); }
  // Frames of the plan that lie wholly within the first `rows` rows
  // (frames 1 .. frames_within(rows)): those a client can compute while the
  // later rows are still read.
  int frames_within(int rows) const {
    if (frame_length <= 0 || rows < frame_length) return 0;
    const int whole = (rows - frame_length) / step() + 1;
    return whole < frames ? whole : frames;
  }
};

// ------------------------------------------------------------------ result

// The seven tests (Test), the order of thresholds and counts (kTests) and the
// orders of the outputs are in <vok/test_order.h>.
//
// "Hxxy", "Hyyx", ..., "Cxy".
VOK_API const char* name(Test test);

// One value per test, by name or by Test.
template <class T>
struct PerTest {
  T hxxy{}, hyyx{}, hxxx{}, hyyy{}, cx{}, cy{}, cxy{};

  T& operator[](Test t) { return *slot(this, t); }
  const T& operator[](Test t) const { return *slot(this, t); }
  bool operator==(const PerTest&) const = default;

 private:
  template <class Self>
  static auto slot(Self* self, Test t) {
    switch (t) {
      case Test::hxxy: return &self->hxxy;
      case Test::hyyx: return &self->hyyx;
      case Test::hxxx: return &self->hxxx;
      case Test::hyyy: return &self->hyyy;
      case Test::cx: return &self->cx;
      case Test::cy: return &self->cy;
      case Test::cxy: break;
    }
    return &self->cxy;
  }
};

// Mean, spread and shape of a series.
struct DescriptiveStats {
  float mean = 0.0f;
  float sd = 0.0f;        // -1 when the series has no spread
  float skewness = 0.0f;
  float kurtosis = 0.0f;  // excess kurtosis
  float c6 = 0.0f;
  float max = 0.0f;
  float min = 0.0f;
  bool operator==(const DescriptiveStats&) const = default;
};

// A VAR(p) fit of k series, with a constant term under Trend::c.
struct VarFit {
  std::vector<double> phi;      // k*k*p coefficients: equation, lag, regressor
  std::vector<float> se;        // their standard errors, same order
  std::vector<float> resid_se;  // residual standard error of each equation
  float r_square = 0.0f;
  int status = 0;  // 0, or 1 when the factorisation failed
  std::vector<double> constant;  // k constants, one per equation (empty under Trend::n)
};

struct VOK_API Frame {
  int number = 0;     // 1-based
  int first_row = 0;  // 1-based rows of x and y the frame covers
  int last_row = 0;
  // Missing rows left out between first_row and last_row (<vok/missing.h>);
  // 0 where the rows analysed are all the rows.
  int rows_dropped = 0;
  std::string first_stamp, last_stamp;  // stamps of those rows (empty without stamps)

  PerTest<float> statistic;    // test statistics
  PerTest<int> df;             // degrees of freedom of each test's chi-square reference
  PerTest<float> cdf;          // chi-square CDF values of the statistics, in 32 bits
  // The chi-square survival function of each statistic in 64 bits: the
  // p-value with its digits far into the tail, where 1 - cdf is 0. NaN where
  // the test cannot be computed (a degenerate frame, no degrees of freedom).
  PerTest<double> pvalue;
  // Benjamini-Hochberg q-values of each test over the analysis' frames, from
  // `pvalue`: the smallest false discovery rate at which the frame would be
  // among the discoveries. NaN where pvalue is NaN (such frames do not count).
  PerTest<double> qvalue;
  PerTest<bool> significant;   // p-value strictly below the test's threshold
  float sd_x = 0.0f, sd_y = 0.0f;  // standard deviations of the two test series
  // A test series without spread or not finite: tests are 0, p-values NaN,
  // never significant. A frame whose x or y holds one value throughout
  // (before any fit) is degenerate without a VAR fit: its residuals are its
  // two series.
  bool degenerate = false;
  // Changing variance in the prewhitened series (the VAR residuals before
  // clipping; with var_lag 0, the residuals of an AR(2) fit with a constant
  // of each series alone, so that linear autocorrelation is not taken for
  // it): McLeod-Li p-values of x and of y, the Ljung-Box test of the
  // squared deviations from the mean at the frame's lags, referred to a
  // chi-square with `lags` degrees of freedom. NaN for a series without spread.
  double variance_pvalue_x = std::numeric_limits<double>::quiet_NaN();
  double variance_pvalue_y = std::numeric_limits<double>::quiet_NaN();

  std::vector<float> cross_correlations;  // rxy at lags -lags..lags

  std::optional<VarFit> var_fit;  // with var_lag >= 1
  // Statistics of the VAR residuals (with var_lag >= 1).
  std::optional<DescriptiveStats> x_residuals, y_residuals;

  // 1 - cdf in 32 bits, as the reports show them and as `significant` judges.
  PerTest<float> p_values() const;
  // Significant bicorrelation tests (Hxxy, Hyyx, Hxxx, Hyyy).
  int hits() const;
};

// Correlation of two per-frame series across frames.
struct CorrelationPair {
  std::string first, second;  // "xxy", "yyx", "xxx", "yyy", "xy", "xx", "yy", "VarX", "VarY"
  float r = 0.0f;
  bool first_varies = true, second_varies = true;
};

// Correlations over a set of frames, in the order the report shows them.
struct CorrelationBlock {
  int frames = 0;  // frames in the set
  std::vector<CorrelationPair> pairs;
};

// How the tests move together across frames: over all frames, and over the
// frames with the largest Hxxy (Hyyx) CDF values when at least 9 frames were
// significant for that test. Present with at least 8 frames and a significant
// bicorrelation frame.
struct CorrelationSummary {
  CorrelationBlock all_frames;
  std::optional<CorrelationBlock> largest_xxy, largest_yyx;
};

// How often a series' frames show changing variance (Frame::variance_pvalue_x
// or _y below the false-alarm level). Volatility clustering alone makes the
// bicorrelation tests fire on most frames; clipping holds them at their level.
struct VarianceCheck {
  int frames = 0;       // frames with a p-value (a series with spread)
  int significant = 0;  // of which below the false-alarm level
  // P(at least `significant` of `frames`) for draws at the false-alarm level:
  // the chance of so many if the variance did not change.
  double binomial_pvalue = 1.0;
  // At least twice the false-alarm share and a binomial p-value below 0.001:
  // the bicorrelation tests will fire on the changing variance unless the
  // series are clipped.
  bool strong = false;
};

struct Result {
  // The frame plan.
  int rows = 0;     // observations analysed
  int lags = 0;     // lags per frame
  int covered = 0;  // leading rows that whole frames cover (descriptive statistics)

  DescriptiveStats x_stats, y_stats;  // of the first `covered` rows

  PerTest<float> thresholds;  // false-alarm thresholds of the p-values
  bool bootstrapped = false;  // thresholds from resamples (else the nominal level)

  std::vector<Frame> frames;
  PerTest<int> counts;  // significant frames per test
  std::optional<CorrelationSummary> summary;

  VarianceCheck x_variance, y_variance;  // changing variance in x and in y

  // What the frames say about reading the counts (<vok/caution.h>): x's
  // before y's, then the pair's, in the order of CautionKind.
  std::vector<Caution> cautions;

  std::vector<Message> messages;  // in the order raised

  float false_alarm = 0.05f;  // the level the frames and checks were judged at
};

// Benjamini-Hochberg q-values of p-values: with the m p-values that are not
// NaN ordered p(1) <= ... <= p(m), q(i) = min over j >= i of min(1, p(j) m / j),
// each given back in the place of its p-value. Equal p-values get equal
// q-values; a NaN p-value gets a NaN q-value and does not count in m.
VOK_API std::vector<double> qvalues(std::span<const double> pvalues);
// The q-values of each test over a set of frames, test by test, from one
// PerTest of p-values a frame (Frame::pvalue): Frame::qvalue of a Result.
VOK_API std::vector<PerTest<double>> qvalues(std::span<const PerTest<double>> pvalues);

// -------------------------------------------------------------- analysis

// Analyses x and y (same length; 32-bit values) with the given settings.
// `stamps`, when given, holds one stamp per row, shown in each frame's
// first_stamp and last_stamp. Throws Error for a bad setting, series of
// unequal length or too short for one frame, a value that is not finite (or
// not positive for the log transform), stamps of the wrong count, and a frame
// whose VAR fit fails. `cancel`, when given, is polled between frames and
// between resamples (it may be raised from any thread, or from a signal
// handler); once it holds true, analyse throws Cancelled soon after.
VOK_API Result analyse(std::span<const float> x, std::span<const float> y, const Settings& settings,
               std::span<const std::string> stamps = {},
               const std::atomic<bool>* cancel = nullptr);

}  // namespace vok

#include "summary.h"
