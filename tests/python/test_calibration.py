"""Whether the results can be trusted: the bootstrap of the frames' own
computation, q-values across frames, and the warnings of changing variance
and of clipping with the data bootstrap."""
import math
import warnings

import numpy as np
import pandas as pd
import pytest

import vok


def garch(rows, seed):
    """GARCH(1,1): volatility clusters, no dependence in the values' signs."""
    rng = np.random.default_rng(seed)
    z = rng.standard_normal(rows + 500)
    e = np.empty_like(z)
    h, last = 1.0, 0.0
    for t, zt in enumerate(z):
        h = 0.05 + 0.1 * last * last + 0.85 * h
        last = math.sqrt(h) * zt
        e[t] = last
    return e[500:].astype(np.float32)


def normal(rows, seed):
    return np.random.default_rng(seed).standard_normal(rows).astype(np.float32)


def calibration_warnings(**kwargs):
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        result = vok.analyse(**kwargs)
    return result, [str(w.message) for w in caught
                    if issubclass(w.category, vok.CalibrationWarning)]


def direct_qvalues(p):
    """Benjamini-Hochberg from its definition, NaN left out of m."""
    p = np.asarray(p, dtype=np.float64)
    ok = ~np.isnan(p)
    m = ok.sum()
    q = np.full(p.shape, np.nan)
    for i in np.flatnonzero(ok):
        larger = p[ok][p[ok] >= p[i]]
        ranks = np.array([(p[ok] <= v).sum() for v in larger])
        q[i] = min(1.0, (larger * m / ranks).min())
    return q


def test_qvalues_are_benjamini_hochberg_over_the_frames():
    x, y = garch(6000, 1), normal(6000, 2)
    frames = vok.analyse(x, y, frame_length=100, var_lag=1).frames
    for test in vok.TESTS:
        np.testing.assert_allclose(frames[f"qvalue_{test}"], direct_qvalues(frames[f"pvalue_{test}"]),
                                   rtol=1e-14, atol=0)
    x[:100] = 2.0  # a constant first frame: no p-value, no q-value
    frames = vok.analyse(x, y, frame_length=100).frames
    assert frames.loc[1, "degenerate"] and np.isnan(frames.loc[1, "qvalue_Hxxy"])
    np.testing.assert_allclose(frames["qvalue_Hxxy"], direct_qvalues(frames["pvalue_Hxxy"]),
                               rtol=1e-14, atol=0)


def test_the_frames_bootstrap_is_chosen_and_the_same_on_any_thread_count():
    x, y = normal(3000, 3), normal(3000, 4)
    settings = dict(frame_length=100, var_lag=1, resamples=100)
    data = vok.analyse(x, y, **settings)
    one = vok.analyse(x, y, bootstrap="frames", threads=1, **settings)
    two = vok.analyse(x, y, bootstrap="frames", threads=2, **settings)
    pd.testing.assert_series_equal(one.thresholds, two.thresholds, check_exact=True)
    assert (one.thresholds != data.thresholds).any()
    assert one.settings["bootstrap"] == "frames" and data.settings["bootstrap"] == "data"
    assert "resamples of the frames" in str(one.summary())
    with pytest.raises(ValueError, match="bootstrap = 'frame': must be 'data' or 'frames'"):
        vok.analyse(x, y, bootstrap="frame", **settings)


def test_changing_variance_warns_and_points_to_clipping():
    x, y = garch(10000, 5), normal(10000, 6)
    result, texts = calibration_warnings(x=x, y=y, frame_length=250, var_lag=1)
    assert result.variance.loc["x", "strong"] and not result.variance.loc["y", "strong"]
    assert result.variance.loc["x", "share"] == pytest.approx(
        (result.frames["variance_pvalue_x"] < 0.05).mean())
    assert len(texts) == 1 and texts[0].startswith("x changes its variance")
    assert "transform=clip" in texts[0]
    summary = str(result.summary())
    assert "changing variance in x: McLeod-Li significant in" in summary
    assert "warning: x changes its variance" in summary
    # Clipped, nothing to warn of.
    _, texts = calibration_warnings(x=x, y=y, frame_length=250, var_lag=1, transform="clip")
    assert texts == []


def test_independent_values_give_no_warning():
    result, texts = calibration_warnings(x=normal(10000, 7), y=normal(10000, 8),
                                         frame_length=250, var_lag=1)
    assert texts == []
    assert not result.variance["strong"].any()
    assert (result.variance["frames"] == 40).all()


def test_clipping_with_the_data_bootstrap_points_to_the_frames_bootstrap():
    x, y = normal(2000, 9), normal(2000, 10)
    _, texts = calibration_warnings(x=x, y=y, frame_length=100, var_lag=1, resamples=40,
                                    transform="clip")
    assert len(texts) == 1 and "bootstrap=frames" in texts[0]
    _, texts = calibration_warnings(x=x, y=y, frame_length=100, var_lag=1, resamples=40,
                                    transform="clip", bootstrap="frames")
    assert texts == []


def test_summary_counts_the_discoveries_at_the_false_alarm_level():
    x, y = normal(4000, 11), normal(4000, 12)
    y[2:] += 0.8 * x[1:-1] * x[:-2]
    result = vok.analyse(x, y, frame_length=200, var_lag=1)
    table = result.summary().table
    for test in vok.TESTS:
        assert table.loc[test, "discoveries"] == (result.frames[f"qvalue_{test}"] < 0.05).sum()
    assert table.loc["Hxxy", "discoveries"] >= 15
    assert "q < alpha" in str(result.summary())


def ar1(rows, seed, phi=0.5):
    e = normal(rows + 200, seed).astype(np.float64)
    for t in range(1, len(e)):
        e[t] += phi * e[t - 1]
    return e[200:].astype(np.float32)


@pytest.mark.parametrize("name, make, settings, category, series", [
    ("a level without a constant", lambda: (normal(5000, 20) + 1, normal(5000, 21)),
     dict(var_lag=1, trend="n"), vok.LevelWarning, "x"),
    ("changing variance", lambda: (normal(5000, 22), garch(5000, 23)),
     dict(var_lag=1), vok.ChangingVarianceWarning, "y"),
    ("autocorrelation without a fit", lambda: (ar1(5000, 24), normal(5000, 25)),
     dict(), vok.AutocorrelationWarning, "x"),
    ("lag-0 correlation", lambda: (lambda x: (x, 0.6 * x + 0.8 * normal(5000, 27)))(
        normal(5000, 26)), dict(var_lag=1), vok.Lag0CorrelationWarning, ""),
    ("clipping with the data bootstrap", lambda: (normal(5000, 28), normal(5000, 29)),
     dict(var_lag=1, resamples=20, transform="clip"), vok.ClipBootstrapWarning, ""),
    ("a constant frame", lambda: (np.r_[np.ones(250), normal(4750, 30)], normal(5000, 31)),
     dict(), vok.ConstantFramesWarning, ""),
])
def test_each_caution_is_its_own_warning_class_raised_where_the_user_called(
        name, make, settings, category, series):
    x, y = make()
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        result = vok.analyse(x, y, frame_length=250, **settings)
    cautions = [w for w in caught if issubclass(w.category, vok.CalibrationWarning)]
    assert [w.category for w in cautions] == [category], name
    assert cautions[0].filename == __file__
    table = result.cautions
    assert list(table.columns) == ["kind", "series", "frames", "count", "figure", "binomial_p",
                                   "advice", "message"]
    assert table["series"].tolist() == [series]
    assert table["message"].tolist() == [str(cautions[0].message)]
    assert str(cautions[0].message) in str(result.summary())


def test_autocorrelation_is_not_taken_for_changing_variance():
    # Without a VAR fit, the variance check sees each series' AR(2) residuals.
    result, texts = calibration_warnings(x=ar1(10000, 32), y=ar1(10000, 33), frame_length=250)
    assert result.cautions["kind"].tolist() == ["autocorrelation", "autocorrelation"]
    assert not result.variance["strong"].any()
    assert all("changes its variance" not in t for t in texts)
