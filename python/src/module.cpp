// vok._vok: the extension module under the Python package `vok`.
//
// It holds no logic of its own: it turns numpy arrays and keyword values into
// the library's types, runs the analysis with the interpreter unlocked, and
// hands the result back as plain numpy arrays and dicts, which the package's
// Python layer (vok/_result.py) turns into pandas tables.
//
//   analyse(x, y, frame_length, exponent, false_alarm, overlap, var_lag,
//           resamples, transform, threads, seed, stamps, bootstrap, trend,
//           missing) -> dict
//   lags(frame_length, exponent) -> int
//   frame_plan(rows, frame_length, exponent, overlap) -> (frames, lags)
//   reported_thresholds(thresholds, bootstrapped) -> [7 floats]
//   binomial_upper_tail(k, n, p) -> float
//   summarise(result) -> dict of per-test arrays (TESTS order)
//   VERSION, TRANSFORMS, BOOTSTRAPS, BICORRELATION_TESTS, COLOURS,
//   SMALLEST_PVALUE_DRAWN: the library's version, names and constants
//   TESTS, COLUMN_ORDER: the test names in the order of every per-test array
//   TEST_ORDER: the order of the library's thresholds and counts (kTests)
//   GRAPH_ORDER: the order of a graph record's CDF values (kGraphOrder)
//
// Every vok::Error reaches Python as ValueError with the library's reason
// (Error::reason) and, as attributes, the setting's bound, the series and
// the index it carries (None where it carries none).
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <cstdint>
#include <exception>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "vok/missing.h"
#include "vok/summary.h"
#include "vok/vok.h"

namespace py = pybind11;

namespace {

// A series as the analysis takes it: contiguous 32-bit values. An array that
// already is one is passed through as it is; anything else (other dtypes,
// strides, lists, pandas Series) is converted once, as a data file's values
// are read into 32-bit reals.
using SeriesArray = py::array_t<float, py::array::c_style | py::array::forcecast>;

std::span<const float> values_of(const SeriesArray& a, const char* name) {
  if (a.ndim() != 1) {
    std::string shape;
    for (py::ssize_t d = 0; d < a.ndim(); ++d)
      shape += (d ? ", " : "") + std::to_string(a.shape(d));
    throw py::value_error(std::string(name) + " must be one-dimensional; its shape is (" + shape +
                          ")");
  }
  return {a.data(), static_cast<std::size_t>(a.size())};
}

vok::Transform transform_of(const std::optional<std::string>& name) {
  vok::Transform t = vok::Transform::none;
  if (name && (*name == "none" || !vok::parse(*name, t)))
    throw py::value_error("transform = '" + *name + "': must be None, 'clip' or 'log'");
  return t;
}

// None: a missing value is refused; "drop" or "split": the rows where x or
// y is NaN are left out, with the frames placed by that policy.
std::optional<vok::Missing> missing_of(const std::optional<std::string>& name) {
  if (!name) return std::nullopt;
  if (*name == "drop") return vok::Missing::drop;
  if (*name == "split") return vok::Missing::split;
  throw py::value_error("missing = '" + *name + "': must be None, 'drop' or 'split'");
}

vok::Bootstrap bootstrap_of(const std::string& name) {
  vok::Bootstrap b = vok::Bootstrap::data;
  if (!vok::parse(name, b))
    throw py::value_error("bootstrap = '" + name + "': must be 'data' or 'frames'");
  return b;
}

vok::Trend trend_of(const std::string& name) {
  if (name == "n") return vok::Trend::n;
  if (name == "c") return vok::Trend::c;
  throw py::value_error("trend = '" + name + "': must be 'n' or 'c'");
}

template <class T>
py::array_t<T> per_test_table(const std::vector<vok::Frame>& frames,
                              vok::PerTest<T> (*pick)(const vok::Frame&)) {
  py::array_t<T> table({static_cast<py::ssize_t>(frames.size()), py::ssize_t{7}});
  auto cell = table.template mutable_unchecked<2>();
  for (std::size_t f = 0; f < frames.size(); ++f) {
    const vok::PerTest<T> values = pick(frames[f]);
    for (std::size_t t = 0; t < vok::kColumnOrder.size(); ++t)
      cell(static_cast<py::ssize_t>(f), static_cast<py::ssize_t>(t)) = values[vok::kColumnOrder[t]];
  }
  return table;
}

template <class T>
py::array_t<T> per_test_row(const vok::PerTest<T>& values) {
  py::array_t<T> row(py::ssize_t{7});
  auto cell = row.template mutable_unchecked<1>();
  for (std::size_t t = 0; t < vok::kColumnOrder.size(); ++t)
    cell(static_cast<py::ssize_t>(t)) = values[vok::kColumnOrder[t]];
  return row;
}

template <class T, class Pick>
py::array_t<T> per_frame(const std::vector<vok::Frame>& frames, Pick pick) {
  py::array_t<T> column(static_cast<py::ssize_t>(frames.size()));
  auto cell = column.template mutable_unchecked<1>();
  for (std::size_t f = 0; f < frames.size(); ++f)
    cell(static_cast<py::ssize_t>(f)) = pick(frames[f]);
  return column;
}

py::dict stats_dict(const vok::DescriptiveStats& s) {
  py::dict d;
  d["mean"] = s.mean;
  d["sd"] = s.sd;
  d["skewness"] = s.skewness;
  d["kurtosis"] = s.kurtosis;
  d["c6"] = s.c6;
  d["max"] = s.max;
  d["min"] = s.min;
  return d;
}

py::dict variance_dict(const vok::VarianceCheck& c) {
  py::dict d;
  d["frames"] = c.frames;
  d["significant"] = c.significant;
  d["binomial_p"] = c.binomial_pvalue;
  d["strong"] = c.strong;
  return d;
}

py::list cautions_list(const std::vector<vok::Caution>& cautions) {
  py::list out;
  for (const vok::Caution& c : cautions) {
    py::dict d;
    d["kind"] = vok::name(c.kind);
    d["series"] = c.series;
    d["frames"] = c.frames;
    d["count"] = c.count;
    d["figure"] = c.figure;
    d["binomial_p"] = c.binomial_pvalue;
    d["advice"] = c.advice;
    d["message"] = c.message;
    out.append(d);
  }
  return out;
}

// The result as numpy arrays and dicts (built with the interpreter locked).
py::dict result_dict(const vok::Result& r) {
  const std::vector<vok::Frame>& frames = r.frames;
  py::dict d;
  d["rows"] = r.rows;
  d["lags"] = r.lags;
  d["covered"] = r.covered;
  d["bootstrapped"] = r.bootstrapped;
  d["x_stats"] = stats_dict(r.x_stats);
  d["y_stats"] = stats_dict(r.y_stats);
  d["thresholds"] = per_test_row(r.thresholds);
  d["counts"] = per_test_row(r.counts);

  d["number"] = per_frame<int>(frames, [](const vok::Frame& f) { return f.number; });
  d["first_row"] = per_frame<int>(frames, [](const vok::Frame& f) { return f.first_row; });
  d["last_row"] = per_frame<int>(frames, [](const vok::Frame& f) { return f.last_row; });
  d["rows_dropped"] = per_frame<int>(frames, [](const vok::Frame& f) { return f.rows_dropped; });
  d["sd_x"] = per_frame<float>(frames, [](const vok::Frame& f) { return f.sd_x; });
  d["sd_y"] = per_frame<float>(frames, [](const vok::Frame& f) { return f.sd_y; });
  d["degenerate"] = per_frame<bool>(frames, [](const vok::Frame& f) { return f.degenerate; });
  py::list first_stamp, last_stamp;
  for (const vok::Frame& f : frames) {
    first_stamp.append(f.first_stamp);
    last_stamp.append(f.last_stamp);
  }
  d["first_stamp"] = first_stamp;
  d["last_stamp"] = last_stamp;

  d["statistic"] = per_test_table<float>(frames, [](const vok::Frame& f) { return f.statistic; });
  d["cdf"] = per_test_table<float>(frames, [](const vok::Frame& f) { return f.cdf; });
  d["df"] = per_test_table<int>(frames, [](const vok::Frame& f) { return f.df; });
  d["pvalue"] = per_test_table<double>(frames, [](const vok::Frame& f) { return f.pvalue; });
  d["qvalue"] = per_test_table<double>(frames, [](const vok::Frame& f) { return f.qvalue; });
  d["variance_pvalue_x"] =
      per_frame<double>(frames, [](const vok::Frame& f) { return f.variance_pvalue_x; });
  d["variance_pvalue_y"] =
      per_frame<double>(frames, [](const vok::Frame& f) { return f.variance_pvalue_y; });
  d["x_variance"] = variance_dict(r.x_variance);
  d["y_variance"] = variance_dict(r.y_variance);
  d["cautions"] = cautions_list(r.cautions);
  d["significant"] =
      per_test_table<bool>(frames, [](const vok::Frame& f) { return f.significant; });

  const py::ssize_t width = 2 * static_cast<py::ssize_t>(r.lags) + 1;
  py::array_t<float> xy({static_cast<py::ssize_t>(frames.size()), width});
  auto cell = xy.mutable_unchecked<2>();
  for (std::size_t f = 0; f < frames.size(); ++f) {
    const std::vector<float>& rxy = frames[f].cross_correlations;
    for (py::ssize_t k = 0; k < width; ++k)
      cell(static_cast<py::ssize_t>(f), k) =
          k < static_cast<py::ssize_t>(rxy.size()) ? rxy[static_cast<std::size_t>(k)] : 0.0f;
  }
  d["cross_correlations"] = xy;

  py::list diagnostics;
  for (const vok::Message& m : r.messages)
    diagnostics.append(py::make_tuple(m.frame, vok::name(m.kind), vok::describe(m)));
  d["diagnostics"] = diagnostics;
  return d;
}

// The library's interruptible analysis with the interpreter unlocked: every
// 50 ms it asks whether a signal came (only the interpreter's main thread
// sees signals; elsewhere the answer is no). Ctrl-C cancels the analysis,
// and KeyboardInterrupt (the handler's exception, set already) follows.
vok::Result analyse_interruptibly(std::span<const float> x, std::span<const float> y,
                                  const vok::Settings& settings,
                                  std::span<const std::string> stamps,
                                  std::optional<vok::Missing> missing) {
  bool signalled = false;
  const auto interrupted = [&] {
    py::gil_scoped_acquire locked;
    signalled = PyErr_CheckSignals() != 0;
    return signalled;
  };
  try {
    py::gil_scoped_release unlocked;
    return missing ? vok::analyse_interruptibly(x, y, settings, *missing, stamps, interrupted)
                   : vok::analyse_interruptibly(x, y, settings, stamps, interrupted);
  } catch (const vok::Cancelled&) {
    if (signalled) throw py::error_already_set();
    throw;
  }
}

// The per-test summary (vok::summarise) of a result's counts and q-values
// (TESTS order, as analyse returns them, or as vok.run reads them from a
// results file) at its false-alarm level: arrays in TESTS order.
py::dict summarise(const std::array<int, 7>& counts,
                   const py::array_t<double, py::array::c_style | py::array::forcecast>& qvalue,
                   float false_alarm) {
  if (qvalue.ndim() != 2 || qvalue.shape(1) != 7)
    throw py::value_error("qvalue must have one row of 7 q-values a frame");
  vok::Result r;
  r.false_alarm = false_alarm;
  for (std::size_t t = 0; t < vok::kColumnOrder.size(); ++t) r.counts[vok::kColumnOrder[t]] = counts[t];
  const auto q = qvalue.unchecked<2>();
  r.frames.resize(static_cast<std::size_t>(q.shape(0)));
  for (py::ssize_t f = 0; f < q.shape(0); ++f)
    for (std::size_t t = 0; t < vok::kColumnOrder.size(); ++t)
      r.frames[static_cast<std::size_t>(f)].qvalue[vok::kColumnOrder[t]] =
          q(f, static_cast<py::ssize_t>(t));
  const vok::PerTest<vok::TestSummary> s = vok::summarise(r);
  py::dict d;
  const auto column = [&s](auto pick) {
    using T = decltype(pick(s.hxxy));
    vok::PerTest<T> v;
    for (vok::Test t : vok::kTests) v[t] = pick(s[t]);
    return per_test_row(v);
  };
  d["significant"] = column([](const vok::TestSummary& t) { return t.significant; });
  d["frames"] = column([](const vok::TestSummary& t) { return t.frames; });
  d["percent"] = column([](const vok::TestSummary& t) { return t.percent; });
  d["share"] = column([](const vok::TestSummary& t) { return t.share; });
  d["binomial_p"] = column([](const vok::TestSummary& t) { return t.binomial_p; });
  d["discoveries"] = column([](const vok::TestSummary& t) { return t.discoveries; });
  return d;
}

py::dict analyse(const SeriesArray& x, const SeriesArray& y, int frame_length, float exponent,
                 float false_alarm, int overlap, int var_lag, int resamples,
                 const std::optional<std::string>& transform, int threads, std::uint64_t seed,
                 const std::optional<std::vector<std::string>>& stamps,
                 const std::string& bootstrap, const std::string& trend,
                 const std::optional<std::string>& missing) {
  vok::Settings s;
  s.frame_length = frame_length;
  s.exponent = exponent;
  s.false_alarm = false_alarm;
  s.overlap = overlap;
  s.var_lag = var_lag;
  s.resamples = resamples;
  s.transform = transform_of(transform);
  s.threads = threads;
  s.seed = seed;
  s.bootstrap = bootstrap_of(bootstrap);
  s.trend = trend_of(trend);
  const std::span<const float> xs = values_of(x, "x");
  const std::span<const float> ys = values_of(y, "y");
  std::span<const std::string> stamp_span;
  if (stamps) stamp_span = *stamps;
  return result_dict(analyse_interruptibly(xs, ys, s, stamp_span, missing_of(missing)));
}

// The address of the values the analysis would read for this argument: the
// caller's own buffer when no conversion was needed (a test hook).
std::uintptr_t input_address(const SeriesArray& x) {
  return reinterpret_cast<std::uintptr_t>(x.data());
}

}  // namespace

PYBIND11_MODULE(_vok, m) {
  m.doc() = "The vok library: moving-frame tests of serial and cross dependence";

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const vok::Error& e) {
      py::object error = py::reinterpret_steal<py::object>(
          PyObject_CallFunction(PyExc_ValueError, "s", e.reason().c_str()));
      if (!error) return;  // the call's own exception stands
      static constexpr const char* kSeries[] = {nullptr, "x", "y", "both", "stamps"};
      error.attr("bound") = e.bound() ? py::object(py::int_(static_cast<int>(*e.bound())))
                                      : py::object(py::none());
      const char* series = kSeries[static_cast<int>(e.series())];
      error.attr("series") = series ? py::object(py::str(series)) : py::object(py::none());
      error.attr("index") = e.index() ? py::object(py::int_(*e.index())) : py::object(py::none());
      PyErr_SetObject(PyExc_ValueError, error.ptr());
    }
  });

  // The orders of <vok/test_order.h>, as tuples of test names.
  const auto names = [](const std::array<vok::Test, vok::kTestCount>& order) {
    py::list names;
    for (vok::Test t : order) names.append(py::str(vok::test_name(t).data(), vok::test_name(t).size()));
    return py::tuple(names);
  };
  m.attr("TESTS") = names(vok::kColumnOrder);
  m.attr("COLUMN_ORDER") = names(vok::kColumnOrder);
  m.attr("TEST_ORDER") = names(vok::kTests);
  m.attr("GRAPH_ORDER") = names(vok::kGraphOrder);
  m.attr("BICORRELATION_TESTS") = [] {
    py::list names;
    for (vok::Test t : vok::kBicorrelationTests)
      names.append(py::str(vok::test_name(t).data(), vok::test_name(t).size()));
    return py::tuple(names);
  }();
  // Each test's colour in the pictures, by name.
  py::dict colours;
  for (vok::Test t : vok::kTests)
    colours[py::str(vok::test_name(t).data(), vok::test_name(t).size())] =
        py::str(vok::test_colour(t).data(), vok::test_colour(t).size());
  m.attr("COLOURS") = colours;
  m.attr("SMALLEST_PVALUE_DRAWN") = vok::kSmallestPValueDrawn;
  m.attr("VERSION") = VOK_VERSION;
  const auto choices = [](auto... values) {
    py::list names;
    (names.append(py::str(std::string(vok::to_string(values)))), ...);
    return py::tuple(names);
  };
  m.attr("TRANSFORMS") =
      choices(vok::Transform::none, vok::Transform::clip, vok::Transform::log);
  m.attr("BOOTSTRAPS") = choices(vok::Bootstrap::data, vok::Bootstrap::frames);

  m.def("analyse", &analyse, py::arg("x"), py::arg("y"), py::arg("frame_length"),
        py::arg("exponent"), py::arg("false_alarm"), py::arg("overlap"), py::arg("var_lag"),
        py::arg("resamples"), py::arg("transform"), py::arg("threads"), py::arg("seed"),
        py::arg("stamps"), py::arg("bootstrap") = "data", py::arg("trend") = "n",
        py::arg("missing") = py::none(),
        "Analyses x and y; the result as numpy arrays (per-test columns in TESTS order).");
  m.def(
      "lags",
      [](int frame_length, float exponent) {
        vok::Settings s;
        s.frame_length = frame_length;
        s.exponent = exponent;
        return vok::lags(s);
      },
      py::arg("frame_length"), py::arg("exponent"), "Lags per frame: frame_length ** exponent.");
  m.def(
      "frame_plan",
      [](int rows, int frame_length, float exponent, int overlap) {
        vok::Settings s;
        s.frame_length = frame_length;
        s.exponent = exponent;
        s.overlap = overlap;
        return py::make_tuple(vok::frame_count(s, rows), vok::lags(s));
      },
      py::arg("rows"), py::arg("frame_length"), py::arg("exponent"), py::arg("overlap"),
      "(frames, lags) of rows observations as analyse cuts them; ValueError for a setting out "
      "of its bounds.");
  m.def(
      "reported_thresholds",
      [](const std::array<float, 7>& thresholds, bool bootstrapped) {
        // The library's thresholds are held in kTests order, the argument and
        // the answer in column order.
        std::array<float, vok::kTestCount> t{};
        for (std::size_t i = 0; i < vok::kColumnOrder.size(); ++i)
          t[vok::test_index(vok::kColumnOrder[i])] = thresholds[i];
        const std::array<float, vok::kTestCount> shown = vok::reported_thresholds(t, bootstrapped);
        std::array<float, 7> out{};
        for (std::size_t i = 0; i < vok::kColumnOrder.size(); ++i)
          out[i] = shown[vok::test_index(vok::kColumnOrder[i])];
        return out;
      },
      py::arg("thresholds"), py::arg("bootstrapped"),
      "The seven thresholds (TESTS order) as the report shows them, read back into 32 bits.");
  m.def("binomial_upper_tail", &vok::binomial_upper_tail, py::arg("k"), py::arg("n"),
        py::arg("p"),
        "P(X >= k) for X binomial with n draws of probability p, as the changing-variance "
        "check computes it.");
  m.def("summarise", &summarise, py::arg("counts"), py::arg("qvalue"), py::arg("false_alarm"),
        "The library's per-test summary of a result's counts and q-values (TESTS order): "
        "significant, frames, percent (as the report prints it), share, binomial_p, "
        "discoveries.");
  m.def("input_address", &input_address, py::arg("x"),
        "Address of the 32-bit values analyse would read for x (no copy: x's own buffer).");
}
