"""vok.analyse on its own: the tables, inputs of every kind, threads, the
interpreter lock, no copy of 32-bit input, and every error."""
import math
import os
import signal
import threading
import time

import matplotlib.figure
import numpy as np
import pandas as pd
import pytest

import vok
from vok import _vok


def bilinear(rows, seed=7):
    """x noise, y with a bilinear term in past x: nonlinear cross dependence."""
    rng = np.random.default_rng(seed)
    x = rng.standard_normal(rows)
    y = rng.standard_normal(rows)
    y[2:] += 0.8 * x[1:-1] * x[:-2]
    return x.astype(np.float32), y.astype(np.float32)


@pytest.fixture(scope="module")
def series():
    return bilinear(2000)


@pytest.fixture(scope="module")
def result(series):
    return vok.analyse(*series, frame_length=200, var_lag=1, resamples=40)


def test_frames_table_layout(result):
    frames = result.frames
    assert frames.index.name == "frame"
    assert list(frames.index) == list(range(1, 11))
    expected = ["first_row", "last_row", "rows_dropped", "degenerate"]
    for test in ("Cx", "Cy", "Cxy", "Hxxx", "Hyyy", "Hxxy", "Hyyx"):
        expected += [f"statistic_{test}", f"df_{test}", f"cdf_{test}", f"pvalue_{test}",
                     f"qvalue_{test}", f"significant_{test}"]
    expected += ["variance_pvalue_x", "variance_pvalue_y"]
    assert list(frames.columns) == expected
    assert list(frames["first_row"]) == list(range(1, 2000, 200))
    assert list(frames["last_row"]) == list(range(200, 2001, 200))
    assert not frames["rows_dropped"].any()
    assert not frames["degenerate"].any()
    # 200 ** 0.4 gives 8 lags: L, L, 2L + 1, L(L - 1)/2 twice, L(2L + 1) twice.
    df = dict(Cx=8, Cy=8, Cxy=17, Hxxx=28, Hyyy=28, Hxxy=136, Hyyx=136)
    for test in vok.TESTS:
        cdf = frames[f"cdf_{test}"]
        assert cdf.dtype == np.float32
        assert (frames[f"df_{test}"] == df[test]).all()
        p = frames[f"pvalue_{test}"]
        assert p.dtype == np.float64
        # The survival function of the statistic, in 64 bits: 1 - P to the
        # 32-bit CDF's own rounding.
        np.testing.assert_allclose(p, 1.0 - cdf.astype(np.float64), rtol=0, atol=2e-6)
        assert frames[f"significant_{test}"].dtype == bool
        # The judgement stays the console program's, in 32 bits.
        one_minus = (1.0 - cdf.astype(np.float64)).astype(np.float32)
        np.testing.assert_array_equal(frames[f"significant_{test}"],
                                      one_minus < result.thresholds[test])


def test_bilinear_dependence_is_found_by_hxxy(result):
    # y(t) holds x(t-1) x(t-2): two values of x with one of y.
    assert result.counts.loc["Hxxy", "significant"] >= 8
    assert result.counts.loc["Hxxy", "percent"] == pytest.approx(
        10.0 * result.counts.loc["Hxxy", "significant"])


def test_counts_thresholds_xy_settings_and_repr(result):
    assert list(result.thresholds.index) == list(vok.TESTS)
    assert result.thresholds.index.name == "test"
    assert result.bootstrapped
    assert (result.counts["significant"] ==
            [result.frames[f"significant_{t}"].sum() for t in vok.TESTS]).all()
    lags = result.lags
    assert lags == 8  # 200 ** 0.4 = 8.33
    assert result.xy.shape == (10, 2 * lags + 1)
    assert list(result.xy.columns) == list(range(-lags, lags + 1))
    assert result.settings["frame_length"] == 200 and result.settings["lags"] == 8
    text = repr(result)
    assert "10 frames" in text and "8 lags" in text and "bootstrapped" in text
    hxxy = next(line for line in text.splitlines() if line.startswith("Hxxy"))
    assert f"{result.thresholds['Hxxy']:.4f}" in hxxy
    assert str(result.counts.loc["Hxxy", "significant"]) in hxxy


def test_plot_returns_a_figure_of_two_log_panels(result):
    fig = result.plot()
    assert isinstance(fig, matplotlib.figure.Figure)
    bicorrelation, correlation = fig.axes
    assert bicorrelation.get_yscale() == "log" and correlation.get_yscale() == "log"
    labels = [line.get_label() for line in bicorrelation.get_lines()]
    n = result.counts.loc["Hxxy", "significant"]
    assert f"Hxxy ({n} significant)" in labels
    assert any(label.startswith("Hxxy threshold") for label in labels)
    import matplotlib.pyplot as plt
    plt.close(fig)


# The report writes the bicorrelation tests' bootstrapped thresholds to four
# significant digits (G9.4: .2405E-01) and the others to four decimals (F6.4);
# vok-plot labels the value it reads back from the report with four decimals.
# Result.plot labels them the same, though the 32-bit values themselves would
# round otherwise (0.024052 to 0.0241, 0.012348 to 0.0123, 0.0312549 to 0.0313).
@pytest.mark.parametrize("bootstrapped, thresholds, labels", [
    (True,
     dict(Hxxy=0.024052, Hyyx=0.012348, Hxxx=0.0312549, Hyyy=0.05, Cx=0.024052, Cy=0.05,
          Cxy=0.05),
     ["Hxxy threshold 0.0240", "Hyyx threshold 0.0124", "Hxxx threshold 0.0312",
      "Hyyy threshold 0.0500", "Cx threshold 0.0241", "Cy threshold 0.0500",
      "Cxy threshold 0.0500"]),
    # The nominal level: one line in each panel.
    (False, {test: 0.05 for test in vok.TESTS}, ["threshold 0.0500", "threshold 0.0500"]),
])
def test_plot_labels_the_thresholds_as_the_report_and_vok_plot_show_them(
        result, bootstrapped, thresholds, labels):
    import copy

    import matplotlib.pyplot as plt
    crafted = copy.copy(result)
    crafted.bootstrapped = bootstrapped
    crafted.thresholds = pd.Series(
        np.array([thresholds[test] for test in vok.TESTS], dtype=np.float32),
        index=result.thresholds.index, name="threshold")
    fig = crafted.plot()
    shown = [line.get_label() for ax in fig.axes for line in ax.get_lines()
             if "threshold" in line.get_label()]
    plt.close(fig)
    assert sorted(shown) == sorted(labels)


def _test_lines(ax):
    """The p-value line of each test drawn on ax: test -> Line2D."""
    return {line.get_label().split(" (")[0]: line for line in ax.get_lines()
            if line.get_label().endswith("significant)")}


def test_plot_gives_each_test_its_own_colour_and_one_legend_entry(result):
    import matplotlib.pyplot as plt
    from matplotlib.colors import to_hex

    fig, ax = plt.subplots()
    result.plot(ax=ax)
    lines = _test_lines(ax)
    assert sorted(lines) == sorted(vok.TESTS)
    colours = {test: to_hex(line.get_color()) for test, line in lines.items()}
    assert len(set(colours.values())) == 7, colours
    # Seven tests, the dashed threshold and the circle: nine entries, not one
    # per threshold line as well.
    texts = [t.get_text() for t in ax.get_legend().get_texts()]
    assert len(texts) == 9, texts
    n = result.counts.loc["Hxxy", "significant"]
    threshold = next(line.get_label() for line in ax.get_lines()
                     if line.get_label().startswith("Hxxy threshold")).split()[-1]
    assert f"Hxxy: {n} significant, threshold {threshold}" in texts
    # The same colours in the two-panel figure.
    two = result.plot()
    for panel in two.axes:
        for test, line in _test_lines(panel).items():
            assert to_hex(line.get_color()) == colours[test]
    for f in (fig, two):
        plt.close(f)


@pytest.mark.parametrize("smallest, bottom", [
    (3.5e-37, 1e-37),  # far into the tail: the axis reaches it
    (0.02, 1e-4),      # no small p-value: the axis still shows four decades
])
def test_plot_draws_the_real_p_values_on_a_log_axis(result, smallest, bottom):
    import copy

    import matplotlib.pyplot as plt
    crafted = copy.copy(result)
    crafted.frames = result.frames.copy()
    crafted.frames["pvalue_Hxxy"] = np.maximum(crafted.frames["pvalue_Hxxy"], smallest)
    crafted.frames.loc[2, "pvalue_Hxxy"] = smallest
    crafted.frames.loc[3, "pvalue_Hxxy"] = 0.0  # below the smallest double
    fig = crafted.plot()
    ax = fig.axes[0]
    y = _test_lines(ax)["Hxxy"].get_ydata()
    assert y[1] == smallest  # drawn as it is, not floored
    assert y[2] == pytest.approx(bottom)  # 0 on the bottom line
    low, high = ax.get_ylim()
    assert ax.get_yscale() == "log" and low <= bottom and high >= 1
    fig.canvas.draw()
    labels = [t.get_text() for t in ax.get_yticklabels()]
    assert not any("<" in label for label in labels), labels
    plt.close(fig)


# 9 lags (frames of 250) and 20 frames (of 100): ranges whose default ticks
# fall on halves.
@pytest.mark.parametrize("frame_length", [100, 250])
def test_heat_map_ticks_whole_lags_and_frames(series, frame_length):
    import matplotlib.pyplot as plt
    fig = vok.analyse(*series, frame_length=frame_length).plot_xy()
    ax = fig.axes[0]
    fig.canvas.draw()
    for ticks, (low, high) in ((ax.get_yticks(), ax.get_ylim()),
                               (ax.get_xticks(), ax.get_xlim())):
        shown = [t for t in ticks if low <= t <= high]
        assert len(shown) >= 3
        assert all(float(t).is_integer() for t in shown), shown
    plt.close(fig)


def test_notebook_table_shows_units_and_explains_each_column(result):
    import re

    page = result._repr_html_()
    table = result.summary().table
    # Each fact of the header on its own, not run together.
    for fact in ("frames: 10 of 200 rows (overlap 0)", "lags: 8", "VAR order: 1"):
        assert f"<li>{fact}</li>" in page, page
    # Shares as percentages.
    for test in vok.TESTS:
        assert f"{100 * table.loc[test, 'share']:.1f}%" in page
    # Each heading explained on hover, and the two counts told apart below.
    headings = re.findall(r"<th title=\"([^\"]+)\">([^<]+)</th>", page)
    assert [h for _, h in headings] == ["test", "threshold", "significant frames", "frames",
                                        "share", "binomial p", "discoveries"]
    assert all(len(title) > 8 for title, _ in headings)
    assert "Benjamini-Hochberg" in page and "Significant frames and discoveries" in page


@pytest.mark.parametrize("convert", [
    lambda a: a.astype(np.float64),
    lambda a: a.tolist(),
    lambda a: pd.Series(a, index=np.arange(len(a)) * 3),
    lambda a: np.repeat(a, 2)[::2],  # strided
])
def test_any_array_like_is_read_as_32_bit_values(series, convert):
    x, y = series
    want = vok.analyse(x, y, frame_length=100)
    got = vok.analyse(convert(x), convert(y), frame_length=100)
    pd.testing.assert_frame_equal(got.frames, want.frames, check_exact=True)


def test_one_and_two_threads_give_identical_results(series):
    x, y = series
    one = vok.analyse(x, y, frame_length=100, overlap=50, var_lag=2, resamples=60, threads=1)
    two = vok.analyse(x, y, frame_length=100, overlap=50, var_lag=2, resamples=60, threads=2)
    pd.testing.assert_frame_equal(one.frames, two.frames, check_exact=True)
    pd.testing.assert_frame_equal(one.xy, two.xy, check_exact=True)
    pd.testing.assert_series_equal(one.thresholds, two.thresholds, check_exact=True)


def test_datetime_stamps_give_start_and_end(series):
    x, y = series
    stamps = pd.date_range("2024-01-01", periods=len(x), freq="s")
    result = vok.analyse(x, y, frame_length=500, stamps=stamps)
    assert list(result.frames.columns[:4]) == ["first_row", "last_row", "start", "end"]
    assert result.frames.loc[2, "start"] == pd.Timestamp("2024-01-01 00:08:20")
    assert result.frames.loc[2, "end"] == pd.Timestamp("2024-01-01 00:16:39")
    strings = vok.analyse(x, y, frame_length=500, stamps=[str(s) for s in stamps])
    assert strings.frames.loc[2, "start"] == "2024-01-01 00:08:20"


def test_contiguous_32_bit_input_is_not_copied(series):
    x, _ = series
    assert x.flags.c_contiguous and x.dtype == np.float32
    assert _vok.input_address(x) == x.ctypes.data
    assert _vok.input_address(pd.Series(x).to_numpy()) == x.ctypes.data
    # Anything else is converted once.
    assert _vok.input_address(x.astype(np.float64)) != x.ctypes.data
    strided = np.repeat(x, 2)[::2]
    assert _vok.input_address(strided) != strided.ctypes.data


def test_the_interpreter_runs_other_threads_during_the_analysis():
    x, y = bilinear(200_000, seed=3)
    ticks = [0]
    stop = threading.Event()

    def count():
        while not stop.is_set():
            ticks[0] += 1

    counter = threading.Thread(target=count)
    counter.start()
    try:
        before = ticks[0]
        vok.analyse(x, y, frame_length=1000, exponent=0.5, var_lag=2, threads=1)
        during = ticks[0] - before
    finally:
        stop.set()
        counter.join()
    # Holding the lock through the analysis would leave a tick or two.
    assert during > 10_000


def test_ctrl_c_stops_a_long_analysis_between_two_resamples():
    # About 25 s of resamples on one thread, interrupted after a quarter of a
    # second: the analysis stops there instead of running to its end.
    x, y = bilinear(20_000, seed=4)
    timer = threading.Timer(0.25, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    started = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        vok.analyse(x, y, frame_length=1000, exponent=0.5, resamples=100_000, threads=1)
    timer.join()
    assert time.monotonic() - started < 5.0
    # The module goes on serving.
    assert len(vok.analyse(x, y, frame_length=1000).frames) == 20


def values_with(position, value, rows=600):
    x, _ = bilinear(rows)
    x = x.copy()
    x[position] = value
    return x


def wide_values_with(position, value, rows=600):
    """values_with as 64-bit floats, which can hold values 32 bits cannot."""
    x = bilinear(rows)[0].astype(np.float64)
    x[position] = value
    return x


GOOD_X, GOOD_Y = bilinear(600)


@pytest.mark.parametrize("call, message", [
    # Settings: named with their value.
    (dict(frame_length=11), "frame_length = 11"),
    (dict(frame_length=100.5), "frame_length = 100.5"),
    (dict(frame_length="100"), "frame_length = '100'"),
    (dict(frame_length=100, exponent=0.6), "exponent = 0.6"),
    (dict(frame_length=100, exponent=0.01), "exponent = 0.01"),
    (dict(frame_length=100, false_alarm=1.5), "false_alarm = 1.5"),
    (dict(frame_length=100, overlap=-1), "overlap = -1"),
    (dict(frame_length=100, overlap=-2**40), "overlap = -1099511627776"),
    (dict(frame_length=100, var_lag=-1), "var_lag = -1"),
    (dict(frame_length=100, var_lag=51), "var_lag = 51"),
    (dict(frame_length=100, resamples=-2), "resamples = -2"),
    (dict(frame_length=100, resamples=10), "resamples = 10"),  # 1/10 > 0.05
    (dict(frame_length=100, transform="square"), "transform = 'square'"),
    (dict(frame_length=100, threads=0), "threads = 0"),
    (dict(frame_length=100, seed=-1), "seed = -1"),
    (dict(frame_length=100, seed=2**64), "seed = 18446744073709551616"),
    # The data: what and where.
    (dict(frame_length=100, y=GOOD_Y[:599]), "x has 600 values and y 599"),
    (dict(frame_length=601), "600 rows are too few for one frame of frame_length = 601"),
    (dict(frame_length=100, x=values_with(17, np.nan)), "x[17] = nan"),
    (dict(frame_length=100, y=values_with(3, np.inf)), "y[3] = inf"),
    (dict(frame_length=100, x=values_with(5, -np.inf)), "x[5] = -inf"),
    # Finite, but beyond 32 bits: shown as given, not as the infinity it rounds to.
    (dict(frame_length=100, x=wide_values_with(5, 1e300)),
     "x[5] = 1e+300 is beyond the range of 32-bit reals"),
    (dict(frame_length=100, y=wide_values_with(7, -2e300)),
     "y[7] = -2e+300 is beyond the range of 32-bit reals"),
    (dict(frame_length=100, transform="log", x=np.abs(GOOD_X) + 1, y=GOOD_Y),
     "the log transform needs positive values"),
    (dict(frame_length=100, x=GOOD_X.reshape(300, 2), y=GOOD_Y.reshape(300, 2)),
     "x must be one-dimensional"),
    (dict(frame_length=100, stamps=["2024-01-01"] * 10), "10 stamps for 600 rows"),
    (dict(frame_length=100, stamps=pd.date_range("2024", periods=10, freq="s")),
     "10 stamps for 600 rows"),
    (dict(frame_length=100, x=np.array(["a"] * 600)), "x must hold numbers"),
    (dict(frame_length=100, y=["a"] * 600), "y must hold numbers"),
    (dict(frame_length=100, x=pd.Series([1.0, None] * 300, dtype="Float64")), "x[1] = nan"),
])
def test_errors_are_value_errors_that_say_what_and_where(call, message):
    call = dict(call)
    x = call.pop("x", GOOD_X)
    y = call.pop("y", GOOD_Y)
    with pytest.raises(ValueError) as raised:
        vok.analyse(x, y, **call)
    assert message in str(raised.value)


@pytest.mark.parametrize("x, y, transform, series, index", [
    (np.r_[GOOD_X[:7], np.nan, GOOD_X[8:]], GOOD_Y, None, "x", 7),
    (GOOD_X, np.r_[GOOD_Y[:3], np.inf, GOOD_Y[4:]], None, "y", 3),
    (GOOD_X[:-1], GOOD_Y, None, "both", None),
])
def test_the_extension_error_carries_the_series_and_position(x, y, transform, series, index):
    with pytest.raises(ValueError) as raised:
        _vok.analyse(x, y, frame_length=100, exponent=0.4, false_alarm=0.05, overlap=0,
                     var_lag=0, resamples=0, transform=transform, threads=1, seed=0, stamps=None)
    assert (raised.value.series, raised.value.index, raised.value.bound) == (series, index, None)
    assert not str(raised.value).startswith("vok::")


def test_the_extension_error_of_a_setting_carries_its_bound():
    with pytest.raises(ValueError) as raised:
        _vok.analyse(GOOD_X, GOOD_Y, frame_length=5, exponent=0.4, false_alarm=0.05, overlap=0,
                     var_lag=0, resamples=0, transform=None, threads=1, seed=0, stamps=None)
    assert str(raised.value).startswith("frame_length = 5: ")
    assert raised.value.bound == 0 and raised.value.series is None


def test_frame_length_is_required_and_settings_are_keywords():
    with pytest.raises(TypeError):
        vok.analyse(GOOD_X, GOOD_Y)
    with pytest.raises(TypeError):
        vok.analyse(GOOD_X, GOOD_Y, 100)


# ---------------------------------------------------------------------------
# pandas Series: the index pairs x and y, gives the stamps and names the rows


def _as_series(series, index, names=("x", "y")):
    x, y = series
    return pd.Series(x, index=index, name=names[0]), pd.Series(y, index=index, name=names[1])


def test_series_must_share_their_index_or_be_aligned_on_request(series):
    minutes = pd.date_range("2024-01-01", periods=len(series[0]), freq="min")
    x, y = _as_series(series, minutes)
    shifted = y.copy()
    shifted.index = minutes + pd.Timedelta(minutes=3)
    with pytest.raises(ValueError, match="share their index: row 0 is 2024-01-01 00:00:00 in x "
                                         "and 2024-01-01 00:03:00 in y"):
        vok.analyse(x, shifted, frame_length=200)
    with pytest.raises(ValueError, match="share their index"):
        vok.analyse(x, y[::-1], frame_length=200)  # reversed: the same labels, another order
    with pytest.raises(ValueError, match="x has 2000 rows and y 1999"):
        vok.analyse(x, y.iloc[1:], frame_length=200)
    aligned = vok.analyse(x, shifted, frame_length=200, align="inner")
    common = x.index.intersection(shifted.index)
    direct = vok.analyse(x[common].to_numpy(), shifted[common].to_numpy(), frame_length=200)
    pd.testing.assert_frame_equal(aligned.frames.drop(columns=["start", "end"]), direct.frames)
    assert aligned.frames["start"].iloc[0] == common[0]
    with pytest.raises(ValueError, match="align = 'outer'"):
        vok.analyse(x, y, frame_length=200, align="outer")


@pytest.mark.parametrize("index", [
    pd.date_range("2024-01-01", periods=2000, freq="h"),
    pd.period_range("1800-01", periods=2000, freq="M"),
], ids=["DatetimeIndex", "PeriodIndex"])
def test_a_time_index_gives_the_stamps_and_names_are_kept(series, index):
    x, y = _as_series(series, index, names=("rate", "spread"))
    result = vok.analyse(x, y, frame_length=200)
    times = index.to_timestamp() if isinstance(index, pd.PeriodIndex) else index
    assert list(result.frames["start"]) == list(times[::200])
    assert list(result.frames["end"]) == list(times[199::200])
    assert result.names == ("rate", "spread")
    assert "(x = 'rate', y = 'spread')" in repr(result)
    plain = vok.analyse(*series, frame_length=200)
    assert plain.names == (None, None)
    pd.testing.assert_frame_equal(result.frames.drop(columns=["start", "end"]), plain.frames)


def test_messages_name_index_labels_and_no_cpp_names(series):
    index = pd.date_range("2024-01-01", periods=2000, freq="D")
    x, y = _as_series(series, index)
    x = x.copy()
    x.iloc[1234] = np.nan
    with pytest.raises(ValueError) as raised:
        vok.analyse(x, y, frame_length=200)
    message = str(raised.value)
    assert "x[1234] (label 2027-05-19 00:00:00) = nan" in message, message
    assert "vok::" not in message
    with pytest.raises(ValueError, match="^x has 2000 values and y 1999$"):
        vok.analyse(series[0], series[1][1:], frame_length=200)
    with pytest.raises(ValueError, match="x must be a one-dimensional array of numbers; it is a "
                                         "float"):
        vok.analyse(3.5, series[1], frame_length=200)


def test_a_series_far_from_zero_warns_that_32_bits_lose_it(series):
    x, y = (v.astype(np.float64) for v in series)
    with pytest.warns(vok.PrecisionWarning, match="x: its rounding to 32-bit floats costs"):
        far = vok.analyse(1e8 + x, y, frame_length=200)
    # The warning's advice: centred, the same series keeps its digits.
    import warnings
    with warnings.catch_warnings():
        warnings.simplefilter("error", vok.PrecisionWarning)
        centred = vok.analyse((1e8 + x) - 1e8, y, frame_length=200)
        plain = vok.analyse(x, y, frame_length=200)
        vok.analyse(1e3 + x, y, frame_length=200)  # three digits of level: no warning
    assert not far.frames["cdf_Hxxy"].equals(plain.frames["cdf_Hxxy"])
    pd.testing.assert_frame_equal(centred.frames, plain.frames)


def test_pvalues_keep_their_digits_in_the_tail_and_are_nan_where_no_test_is():
    x, y = bilinear(4000, seed=11)
    y = y.copy()
    y[2:] += 3.0 * x[1:-1] * x[:-2]  # dependence strong enough to leave 1 - cdf at 0
    x = x.copy()
    x[2000:2400] = 1.5  # frames 11 and 12 of 200 rows: a constant x
    frames = vok.analyse(x, y, frame_length=200).frames
    zero_in_32_bits = frames["cdf_Hxxy"] == np.float32(1.0)
    assert zero_in_32_bits.sum() > 3
    assert (frames.loc[zero_in_32_bits & ~frames["degenerate"], "pvalue_Hxxy"] > 0).all()
    assert list(frames.index[frames["degenerate"]]) == [11, 12]
    for test in vok.TESTS:
        assert frames.loc[[11, 12], f"pvalue_{test}"].isna().all()
        assert not frames.loc[[11, 12], f"significant_{test}"].any()



def test_diagnostics_name_each_message_by_kind_in_the_order_raised():
    x = np.full(400, 2.5, dtype=np.float32)  # no spread: the statistics say so
    y = bilinear(400)[1]
    flat = vok.analyse(x, y, frame_length=200, resamples=1, false_alarm=1.0)
    frame, kind, text = flat.diagnostics[0]
    assert (frame, kind) == (0, "stat_no_variance")
    assert "without spread" in text and "\n" not in text
    # Every frame constant: nothing to test, no bootstrap, nothing significant.
    assert not flat.bootstrapped and flat.frames["degenerate"].all()
    assert not flat.frames.filter(like="significant_").to_numpy().any()
    # x of one value in frame 1 only: the bootstrap runs. One resample: each
    # test's fractile is its own p-value, one message each.
    x[200:] = bilinear(400)[0][200:]
    one = vok.analyse(x, y, frame_length=200, resamples=1, false_alarm=1.0)
    kinds = [k for _, k, _ in one.diagnostics]
    assert one.bootstrapped and list(one.frames["degenerate"]) == [True, False]
    assert kinds.count("sort_single_value") == 7


# ---------------------------------------------------------------------------
# Results as a researcher reads them: summary, tidy table, notebook display, plots


def test_summary_counts_shares_and_binomial_p_values(result):
    summary = result.summary()
    table = summary.table
    assert list(table.index) == list(vok.TESTS)
    n = len(result.frames)
    for test in vok.TESTS:
        k = int(result.counts.loc[test, "significant"])
        assert table.loc[test, "significant"] == k and table.loc[test, "frames"] == n
        # P(X >= k), X ~ Binomial(n, alpha), summed directly; alpha is the
        # level the analysis used, 0.05 in 32 bits.
        a = float(np.float32(0.05))
        direct = sum(math.comb(n, i) * a ** i * (1 - a) ** (n - i) for i in range(k, n + 1))
        assert table.loc[test, "binomial_p"] == pytest.approx(direct, rel=1e-9)
    text = str(summary)
    assert "frames: 10 of 200 rows" in text and "VAR order: 1" in text
    assert "binomial p" in text
    html = result._repr_html_()
    assert html.startswith("<div>") and "<table" in html and "Hxxy" in html


def test_tidy_is_one_row_per_frame_and_test(result):
    tidy = result.tidy()
    assert list(tidy.columns) == ["frame", "test", "statistic", "df", "pvalue", "threshold",
                                  "significant"]
    assert len(tidy) == 7 * len(result.frames)
    row = tidy[(tidy["frame"] == 3) & (tidy["test"] == "Hxxy")].iloc[0]
    f = result.frames.loc[3]
    assert row["statistic"] == f["statistic_Hxxy"] and row["df"] == f["df_Hxxy"]
    assert row["pvalue"] == f["pvalue_Hxxy"] and row["significant"] == f["significant_Hxxy"]
    assert row["threshold"] == result.thresholds["Hxxy"]
    assert list(tidy["test"].iloc[:7]) == list(vok.TESTS)


def test_plots_on_given_axes_on_a_date_axis_and_the_heat_map(series):
    import matplotlib.pyplot as plt
    index = pd.date_range("2024-01-01", periods=len(series[0]), freq="h")
    x, y = _as_series(series, index, names=("a", "b"))
    dated = vok.analyse(x, y, frame_length=200)
    fig, ax = plt.subplots()
    assert dated.plot(ax=ax, tests=["Hxxy", "Cx"]) is fig
    labels = [line.get_label() for line in ax.get_lines()]
    assert any(label.startswith("Hxxy (") for label in labels)
    assert not any(label.startswith("Hyyx (") for label in labels)
    # A real date axis: the x data are the frames' start times.
    first = ax.get_lines()[0].get_xdata()
    assert pd.Timestamp(first[0]) == index[0]
    with pytest.raises(ValueError, match="'Hzzz' is not one of"):
        dated.plot(tests=["Hzzz"])
    heat = dated.plot_xy()
    assert isinstance(heat, matplotlib.figure.Figure)
    assert heat.axes[0].collections  # the mesh
    one_panel = dated.plot(tests="Cxy")
    assert len(one_panel.axes) == 1
    for f in (fig, heat, one_panel):
        plt.close(f)


def test_trend_is_a_constant_by_default_and_takes_the_level_out():
    # A level of 3 standard deviations: without a constant the VAR(1) fit
    # takes it for persistence and Cx fires in most frames; with one (the
    # default) the frames are as those of the centred series.
    rng = np.random.default_rng(5)
    x = (rng.standard_normal(4000) + 3.0).astype(np.float32)
    y = rng.standard_normal(4000).astype(np.float32)
    settings = dict(frame_length=200, var_lag=1, threads=1)
    default = vok.analyse(x, y, **settings)
    assert default.settings["trend"] == "c"
    none = vok.analyse(x, y, **settings, trend="n")
    centred = vok.analyse(x - np.float32(3.0), y, **settings)
    assert none.frames["significant_Cx"].mean() > 0.5
    assert default.frames["significant_Cx"].mean() < 0.2
    np.testing.assert_allclose(default.frames["pvalue_Cx"], centred.frames["pvalue_Cx"],
                               rtol=1e-3, atol=1e-5)
    with pytest.raises(ValueError, match="trend = 'C': must be 'n' or 'c'"):
        vok.analyse(x, y, **settings, trend="C")


def test_stuck_frames_are_degenerate_and_the_series_goes_on():
    # x stuck at 0 for frame 3 (the fit used to fail and stop the analysis)
    # and filled forward for frame 5.
    x, y = bilinear(1400)
    x = x.copy()
    x[400:600] = 0.0
    x[800:1000] = x[799]
    result = vok.analyse(x, y, frame_length=200, var_lag=2)
    assert list(result.frames.index[result.frames["degenerate"]]) == [3, 5]
    for test in vok.TESTS:
        assert result.frames.loc[[3, 5], f"pvalue_{test}"].isna().all()
        assert not result.frames.loc[[3, 5], f"significant_{test}"].any()
    assert not result.frames.loc[[1, 2, 4, 6, 7], "degenerate"].any()
