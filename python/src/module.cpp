// vok._vok: the extension module under the Python package `vok`.
//
// It holds no logic of its own: it turns numpy arrays and keyword values into
// the library's types, runs the analysis with the interpreter unlocked, and
// hands the result back as plain numpy arrays and dicts, which the package's
// Python layer (vok/_result.py) turns into pandas tables.
//
//   analyse(x, y, frame_length, exponent, false_alarm, overlap, var_lag,
//           resamples, transform, threads, seed, stamps, bootstrap, trend) -> dict
//   lags(frame_length, exponent) -> int
//   frame_plan(rows, frame_length, exponent, overlap) -> (frames, lags)
//   reported_thresholds(thresholds, bootstrapped) -> [7 floats]
//   binomial_upper_tail(k, n, p) -> float
//   TESTS, COLUMN_ORDER: the test names in the order of every per-test array
//   TEST_ORDER: the order of the library's thresholds and counts (kTests)
//   GRAPH_ORDER: the order of a graph record's CDF values (kGraphOrder)
//
// Every vok::Error reaches Python as ValueError with the library's message.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <thread>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "analysis/run_checks.h"
#include "report/threshold_lines.h"
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
  if (!name) return vok::Transform::none;
  if (*name == "clip") return vok::Transform::clip;
  if (*name == "log") return vok::Transform::log;
  throw py::value_error("transform = '" + *name + "': must be None, 'clip' or 'log'");
}

vok::Bootstrap bootstrap_of(const std::string& name) {
  if (name == "data") return vok::Bootstrap::data;
  if (name == "frames") return vok::Bootstrap::frames;
  throw py::value_error("bootstrap = '" + name + "': must be 'data' or 'frames'");
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

// The analysis on a thread of its own, the interpreter unlocked, while this
// thread looks for a signal every 50 ms: Ctrl-C raises the library's
// cancellation flag, and KeyboardInterrupt follows once the analysis has
// stopped (between two frames or resamples). Only the interpreter's main
// thread sees signals; elsewhere this is a plain wait.
vok::Result analyse_interruptibly(std::span<const float> x, std::span<const float> y,
                                  const vok::Settings& settings,
                                  std::span<const std::string> stamps) {
  std::atomic<bool> cancel{false};
  std::optional<vok::Result> result;
  std::exception_ptr failure;
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  bool interrupted = false;
  {
    py::gil_scoped_release unlocked;
    std::thread worker([&] {
      try {
        result = vok::analyse(x, y, settings, stamps, &cancel);
      } catch (...) {
        failure = std::current_exception();
      }
      const std::lock_guard lock(mutex);
      done = true;
      finished.notify_one();
    });
    std::unique_lock lock(mutex);
    while (!finished.wait_for(lock, std::chrono::milliseconds(50), [&] { return done; })) {
      if (interrupted) continue;
      lock.unlock();
      {
        py::gil_scoped_acquire locked;
        if (PyErr_CheckSignals() != 0) interrupted = true;  // the handler's exception is set
      }
      if (interrupted) cancel = true;
      lock.lock();
    }
    lock.unlock();
    worker.join();
  }
  if (interrupted) throw py::error_already_set();
  if (failure) std::rethrow_exception(failure);
  return std::move(*result);
}

py::dict analyse(const SeriesArray& x, const SeriesArray& y, int frame_length, float exponent,
                 float false_alarm, int overlap, int var_lag, int resamples,
                 const std::optional<std::string>& transform, int threads, std::uint64_t seed,
                 const std::optional<std::vector<std::string>>& stamps,
                 const std::string& bootstrap, const std::string& trend) {
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
  return result_dict(analyse_interruptibly(xs, ys, s, stamp_span));
}

// The address of the values the analysis would read for this argument: the
// caller's own buffer when no conversion was needed (a test hook).
std::uintptr_t input_address(const SeriesArray& x) {
  return reinterpret_cast<std::uintptr_t>(x.data());
}

// "vok::Settings::frame_length = 5: ..." reads "frame_length = 5: ..." in
// Python, where the settings are keyword arguments.
std::string python_message(std::string_view message) {
  constexpr std::string_view kPrefix = "vok::Settings::";
  if (message.starts_with(kPrefix)) message.remove_prefix(kPrefix.size());
  return std::string(message);
}

}  // namespace

PYBIND11_MODULE(_vok, m) {
  m.doc() = "The vok library: moving-frame tests of serial and cross dependence";

  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const vok::Error& e) {
      PyErr_SetString(PyExc_ValueError, python_message(e.what()).c_str());
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

  m.def("analyse", &analyse, py::arg("x"), py::arg("y"), py::arg("frame_length"),
        py::arg("exponent"), py::arg("false_alarm"), py::arg("overlap"), py::arg("var_lag"),
        py::arg("resamples"), py::arg("transform"), py::arg("threads"), py::arg("seed"),
        py::arg("stamps"), py::arg("bootstrap") = "data", py::arg("trend") = "n",
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
  m.def("input_address", &input_address, py::arg("x"),
        "Address of the 32-bit values analyse would read for x (no copy: x's own buffer).");
}
