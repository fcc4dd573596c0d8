// The results file holds a Result so that reading it back gives the same
// Result to the bit: analyses of every kind (VAR fits, bootstrapped
// thresholds, stamps, a degenerate frame with its NaN p-values and messages,
// a correlation summary), values JSON has no plain text for, and text that
// must be escaped.
#include "report/results_file.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "report/results_reader.h"

namespace vok {
namespace {

using test::parse_json;
using test::result_of;

// Equal to the bit: NaN equals NaN, 0 does not equal -0.
template <class T>
bool same_bits(T a, T b) {
  if constexpr (std::is_same_v<T, float>)
    return std::bit_cast<std::uint32_t>(a) == std::bit_cast<std::uint32_t>(b);
  else if constexpr (std::is_same_v<T, double>)
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
  else
    return a == b;
}

template <class T>
void expect_same(const PerTest<T>& a, const PerTest<T>& b, const char* what) {
  for (Test t : kTests) EXPECT_TRUE(same_bits(a[t], b[t])) << what << " " << test_name(t);
}

template <class T>
void expect_same(const std::vector<T>& a, const std::vector<T>& b, const char* what) {
  ASSERT_EQ(a.size(), b.size()) << what;
  for (std::size_t i = 0; i < a.size(); ++i) EXPECT_TRUE(same_bits(a[i], b[i])) << what << " " << i;
}

void expect_same(const DescriptiveStats& a, const DescriptiveStats& b, const char* what) {
  const float DescriptiveStats::*fields[] = {&DescriptiveStats::mean, &DescriptiveStats::sd,
                                             &DescriptiveStats::skewness,
                                             &DescriptiveStats::kurtosis, &DescriptiveStats::c6,
                                             &DescriptiveStats::max, &DescriptiveStats::min};
  for (auto field : fields) EXPECT_TRUE(same_bits(a.*field, b.*field)) << what;
}

void expect_same(const Result& a, const Result& b) {
  EXPECT_EQ(a.rows, b.rows);
  EXPECT_EQ(a.lags, b.lags);
  EXPECT_EQ(a.covered, b.covered);
  expect_same(a.x_stats, b.x_stats, "x_stats");
  expect_same(a.y_stats, b.y_stats, "y_stats");
  expect_same(a.thresholds, b.thresholds, "thresholds");
  EXPECT_EQ(a.bootstrapped, b.bootstrapped);
  ASSERT_EQ(a.frames.size(), b.frames.size());
  for (std::size_t k = 0; k < a.frames.size(); ++k) {
    SCOPED_TRACE("frame " + std::to_string(k + 1));
    const Frame& f = a.frames[k];
    const Frame& g = b.frames[k];
    EXPECT_EQ(f.number, g.number);
    EXPECT_EQ(f.first_row, g.first_row);
    EXPECT_EQ(f.last_row, g.last_row);
    EXPECT_EQ(f.first_stamp, g.first_stamp);
    EXPECT_EQ(f.last_stamp, g.last_stamp);
    expect_same(f.statistic, g.statistic, "statistic");
    expect_same(f.df, g.df, "df");
    expect_same(f.cdf, g.cdf, "cdf");
    expect_same(f.pvalue, g.pvalue, "pvalue");
    expect_same(f.qvalue, g.qvalue, "qvalue");
    expect_same(f.significant, g.significant, "significant");
    EXPECT_TRUE(same_bits(f.sd_x, g.sd_x));
    EXPECT_TRUE(same_bits(f.sd_y, g.sd_y));
    EXPECT_EQ(f.degenerate, g.degenerate);
    EXPECT_TRUE(same_bits(f.variance_pvalue_x, g.variance_pvalue_x));
    EXPECT_TRUE(same_bits(f.variance_pvalue_y, g.variance_pvalue_y));
    expect_same(f.cross_correlations, g.cross_correlations, "cross_correlations");
    ASSERT_EQ(f.var_fit.has_value(), g.var_fit.has_value());
    if (f.var_fit) {
      expect_same(f.var_fit->phi, g.var_fit->phi, "phi");
      expect_same(f.var_fit->constant, g.var_fit->constant, "constant");
      expect_same(f.var_fit->se, g.var_fit->se, "se");
      expect_same(f.var_fit->resid_se, g.var_fit->resid_se, "resid_se");
      EXPECT_TRUE(same_bits(f.var_fit->r_square, g.var_fit->r_square));
      EXPECT_EQ(f.var_fit->status, g.var_fit->status);
    }
    ASSERT_EQ(f.x_residuals.has_value(), g.x_residuals.has_value());
    if (f.x_residuals) expect_same(*f.x_residuals, *g.x_residuals, "x_residuals");
    ASSERT_EQ(f.y_residuals.has_value(), g.y_residuals.has_value());
    if (f.y_residuals) expect_same(*f.y_residuals, *g.y_residuals, "y_residuals");
  }
  expect_same(a.counts, b.counts, "counts");
  ASSERT_EQ(a.summary.has_value(), b.summary.has_value());
  if (a.summary) {
    const auto same_block = [](const CorrelationBlock& x, const CorrelationBlock& y) {
      EXPECT_EQ(x.frames, y.frames);
      ASSERT_EQ(x.pairs.size(), y.pairs.size());
      for (std::size_t i = 0; i < x.pairs.size(); ++i) {
        EXPECT_EQ(x.pairs[i].first, y.pairs[i].first);
        EXPECT_EQ(x.pairs[i].second, y.pairs[i].second);
        EXPECT_TRUE(same_bits(x.pairs[i].r, y.pairs[i].r));
        EXPECT_EQ(x.pairs[i].first_varies, y.pairs[i].first_varies);
        EXPECT_EQ(x.pairs[i].second_varies, y.pairs[i].second_varies);
      }
    };
    same_block(a.summary->all_frames, b.summary->all_frames);
    for (auto block : {&CorrelationSummary::largest_xxy, &CorrelationSummary::largest_yyx}) {
      ASSERT_EQ((*a.summary.*block).has_value(), (*b.summary.*block).has_value());
      if (*a.summary.*block) same_block(*(*a.summary.*block), *(*b.summary.*block));
    }
  }
  for (auto check : {&Result::x_variance, &Result::y_variance}) {
    EXPECT_EQ((a.*check).frames, (b.*check).frames);
    EXPECT_EQ((a.*check).significant, (b.*check).significant);
    EXPECT_TRUE(same_bits((a.*check).binomial_pvalue, (b.*check).binomial_pvalue));
    EXPECT_EQ((a.*check).strong, (b.*check).strong);
  }
  ASSERT_EQ(a.cautions.size(), b.cautions.size());
  for (std::size_t i = 0; i < a.cautions.size(); ++i) {
    const Caution &x = a.cautions[i], &y = b.cautions[i];
    EXPECT_EQ(x.kind, y.kind);
    EXPECT_EQ(x.series, y.series);
    EXPECT_EQ(x.frames, y.frames);
    EXPECT_EQ(x.count, y.count);
    EXPECT_TRUE(same_bits(x.figure, y.figure));
    EXPECT_TRUE(same_bits(x.binomial_pvalue, y.binomial_pvalue));
    EXPECT_EQ(x.advice, y.advice);
    EXPECT_EQ(x.message, y.message);
  }
  ASSERT_EQ(a.messages.size(), b.messages.size());
  for (std::size_t i = 0; i < a.messages.size(); ++i) {
    EXPECT_EQ(a.messages[i].kind, b.messages[i].kind);
    EXPECT_EQ(a.messages[i].stage, b.messages[i].stage);
    EXPECT_EQ(a.messages[i].frame, b.messages[i].frame);
    EXPECT_EQ(a.messages[i].arrays, b.messages[i].arrays);
    for (std::size_t k = 0; k < 2; ++k)
      EXPECT_TRUE(same_bits(a.messages[i].numbers[k], b.messages[i].numbers[k]));
  }
}

Result read_back(const std::string& report, const Settings& settings, const Result& r) {
  return result_of(parse_json(results_json(report, settings, r)));
}

// y driven by the product of lagged x (a bicorrelation the tests find), with
// a stretch of constant x that gives frame 3 no spread.
struct Series {
  std::vector<float> x, y;
  std::vector<std::string> stamps;
};

Series bilinear(int n) {
  Series s;
  std::uint64_t state = 12345;
  const auto uniform = [&state] {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<double>(state >> 11) / 9007199254740992.0 - 0.5;
  };
  double x1 = 0, x2 = 0;
  for (int t = 0; t < n; ++t) {
    const double x = uniform();
    const double y = 0.9 * x1 * x2 + 0.3 * uniform();
    s.x.push_back(static_cast<float>(x));
    s.y.push_back(static_cast<float>(y));
    s.stamps.push_back("2026-01-01 00:" + std::to_string(t));
    x2 = x1;
    x1 = x;
  }
  for (int t = 100; t < 150; ++t) s.x[static_cast<std::size_t>(t)] = 1.0f;
  return s;
}

struct AnalysisCase {
  const char* name;
  int var_lag;
  int resamples;
  Transform transform;
  Bootstrap bootstrap;
  int overlap;
  bool stamped;
  Trend trend = Trend::n;
};

TEST(ResultsFile, EveryKindOfAnalysisReadsBackBitForBit) {
  const Series s = bilinear(800);
  const AnalysisCase cases[] = {
      {"nominal, no fit", 0, 0, Transform::none, Bootstrap::data, 0, false},
      {"VAR(2), stamps", 2, 0, Transform::none, Bootstrap::data, 0, true},
      {"clipped, bootstrapped frames, overlap", 1, 40, Transform::clip, Bootstrap::frames, 25,
       false},
      {"bootstrapped data", 1, 40, Transform::none, Bootstrap::data, 0, false},
      {"VAR(2) with a constant, bootstrapped frames", 2, 40, Transform::none, Bootstrap::frames,
       0, false, Trend::c},
  };
  bool summarised = false, degenerate = false, cautioned = false;
  for (const AnalysisCase& c : cases) {
    SCOPED_TRACE(c.name);
    Settings settings;
    settings.frame_length = 50;
    settings.var_lag = c.var_lag;
    settings.resamples = c.resamples;
    settings.transform = c.transform;
    settings.bootstrap = c.bootstrap;
    settings.trend = c.trend;
    settings.overlap = c.overlap;
    settings.threads = 2;
    settings.seed = 18446744073709551615ull;
    const Result r = analyse(s.x, s.y, settings,
                             c.stamped ? std::span<const std::string>(s.stamps)
                                       : std::span<const std::string>());
    expect_same(r, read_back("run_1-_2.out", settings, r));
    summarised = summarised || r.summary.has_value();
    for (const Frame& f : r.frames) degenerate = degenerate || f.degenerate;
    cautioned = cautioned || !r.cautions.empty();

    const test::JsonValue doc = parse_json(results_json("run_1-_2.out", settings, r));
    const test::JsonValue& written = doc["settings"];
    EXPECT_EQ(doc["report"].text, "run_1-_2.out");
    EXPECT_EQ(test::real32(written["exponent"]), settings.exponent);
    EXPECT_EQ(test::real32(written["false_alarm"]), settings.false_alarm);
    EXPECT_EQ(written["resamples"].number, settings.resamples);
    EXPECT_EQ(written["overlap"].number, settings.overlap);
    EXPECT_EQ(written["seed"].text, "18446744073709551615");
    EXPECT_EQ(written["bootstrap"].text, c.bootstrap == Bootstrap::frames ? "frames" : "data");
    EXPECT_EQ(written["trend"].text, name(c.trend));
    if (c.transform == Transform::none)
      EXPECT_TRUE(written["transform"].is_null());
    else
      EXPECT_EQ(written["transform"].text, "clip");
  }
  // The cases reach the parts a plain analysis leaves empty.
  EXPECT_TRUE(summarised);
  EXPECT_TRUE(degenerate);
  EXPECT_TRUE(cautioned);
}

TEST(ResultsFile, ValuesWithoutPlainTextAndEscapedTextReadBack) {
  const float nan32 = std::numeric_limits<float>::quiet_NaN();
  const float inf32 = std::numeric_limits<float>::infinity();
  Result r;
  r.rows = 2;
  r.lags = 1;
  r.x_stats = {-0.0f, -1.0f, inf32, -inf32, nan32, std::numeric_limits<float>::max(),
               std::numeric_limits<float>::denorm_min()};
  r.y_stats = {0.1f, 1e-38f, 3.4028234e38f, 16777217.0f, 0.05f, 1.0f / 3.0f, -2.5e-45f};
  Frame f;
  f.number = 1;
  f.first_stamp = "say \"x\"\\ at\ttab \x01 caf\xe9";
  f.last_stamp = "";
  f.pvalue.hxxy = std::numeric_limits<double>::denorm_min();
  f.pvalue.cx = std::numeric_limits<double>::quiet_NaN();
  f.pvalue.cxy = 0.1;
  f.qvalue.hyyx = 1.0 - std::numeric_limits<double>::epsilon() / 2;
  f.statistic.cy = inf32;
  f.cross_correlations = {nan32, -0.0f, 0.3f};
  f.var_fit = VarFit{{-0.0, 1e308, 5e-324}, {0.7f}, {nan32}, 0.25f, 1};
  r.frames.push_back(f);
  r.messages.push_back({MessageKind::out_of_memory, Stage::y_residuals, 1,
                        {std::numeric_limits<double>::quiet_NaN(), -0.0}, Arrays::bootstrap});
  r.messages.push_back({MessageKind::gser_too_many_iterations, Stage::tests, 2, {1e308, 5e-324}});
  r.x_variance.binomial_pvalue = std::numeric_limits<double>::min();
  const std::string report = "a \"strange\" name\xff.out";
  const std::string text = results_json(report, Settings{}, r);
  // Plain ASCII JSON: every byte printable, the file's one line ends it.
  for (std::size_t i = 0; i + 1 < text.size(); ++i)
    ASSERT_TRUE(text[i] >= 0x20 && text[i] < 0x7f) << "byte " << i;
  EXPECT_EQ(text.back(), '\n');
  expect_same(r, result_of(parse_json(text)));
  EXPECT_EQ(parse_json(text)["report"].text, report);
}

TEST(ResultsFile, NameAndIndex) {
  const std::pair<const char*, const char*> names[] = {
      {"runA_1-_2.out", "runA_1-_2.json"},
      {"runs/one_1-_2.out", "runs/one_1-_2.json"},
      {"plain", "plain.json"},
      {"x.out.out", "x.out.json"},
  };
  for (const auto& [report, results] : names) EXPECT_EQ(results_file_name(report), results);

  const test::JsonValue index = parse_json(results_index_json({"a.json", "runs/b \"c\".json"}));
  ASSERT_EQ(index["results"].items.size(), 2u);
  EXPECT_EQ(index["results"].items[1].text, "runs/b \"c\".json");
  EXPECT_TRUE(parse_json(results_index_json({}))["results"].items.empty());
}

}  // namespace
}  // namespace vok
