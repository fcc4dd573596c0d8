"""Missing values: vok.analyse's and vok.analyse_pairs' missing= policies on
series that start late and have a gap, and the pair tables the R package
must give on the same panel (one golden file per policy, shared with the R
package's tests; VOK_UPDATE_GOLDEN=1 rewrites them)."""
import os

import numpy as np
import pandas as pd
import pytest

import vok
from conftest import ROOT

FIXTURES = ROOT / "r" / "tests" / "testthat" / "fixtures"
SETTINGS = dict(frame_length=100, var_lag=1, resamples=20, threads=2)
PLACEMENT = ["first_row", "last_row", "start", "end", "rows_dropped"]


def gapped_series(rows=600):
    """x and y by the business day: x starts 30 days late, y misses 90 days
    (rows 300-389)."""
    rng = np.random.default_rng(11)
    index = pd.bdate_range("2019-01-01", periods=rows, name="date")
    x = pd.Series(rng.standard_normal(rows), index=index, name="x")
    y = pd.Series(rng.standard_normal(rows) + 0.5 * x.shift(1).fillna(0.0) ** 2, index=index,
                  name="y")
    x.iloc[:30] = np.nan
    y.iloc[300:390] = np.nan
    return x, y


@pytest.fixture(scope="module")
def gapped():
    return gapped_series()


def test_raise_names_the_label_and_the_way_out(gapped):
    x, y = gapped
    with pytest.raises(ValueError) as caught:
        vok.analyse(x, y, **SETTINGS)
    message = str(caught.value)
    assert message.startswith("x[0] (label 2019-01-01 00:00:00) = nan is not a finite number")
    assert "missing='drop' or missing='split'" in message
    with pytest.raises(ValueError, match="missing = 'skip': must be 'raise', 'drop' or 'split'"):
        vok.analyse(x, y, missing="skip", **SETTINGS)
    # An infinite value is refused under any policy, named by its label.
    broken = y.copy()
    broken.iloc[450] = np.inf
    with pytest.raises(ValueError, match=r"y\[450\] \(label 2020-09-22 00:00:00\) = inf"):
        vok.analyse(x, broken, missing="split", **SETTINGS)


def test_drop_joins_the_rows_kept_and_counts_those_left_out(gapped):
    x, y = gapped
    result = vok.analyse(x, y, missing="drop", **SETTINGS)
    keep = x.notna() & y.notna()
    plain = vok.analyse(x[keep], y[keep], **SETTINGS)
    assert result.rows == plain.rows == 480
    pd.testing.assert_frame_equal(result.frames.drop(columns=PLACEMENT),
                                  plain.frames.drop(columns=PLACEMENT))
    pd.testing.assert_series_equal(result.thresholds, plain.thresholds)
    f = result.frames
    # Frame 3 holds kept rows 201-300: rows 231-300 and 391-420 as given.
    assert list(f["first_row"]) == [31, 131, 231, 421]
    assert list(f["last_row"]) == [130, 230, 420, 520]
    assert list(f["rows_dropped"]) == [0, 0, 90, 0]
    assert list(f["start"]) == list(x.index[f["first_row"] - 1])
    assert list(f["end"]) == list(x.index[f["last_row"] - 1])


def test_split_restarts_the_frames_after_each_gap(gapped):
    x, y = gapped
    split = vok.analyse(x, y, missing="split", **SETTINGS)
    drop = vok.analyse(x, y, missing="drop", **SETTINGS)
    f = split.frames
    # Rows 31-300 hold 2 frames (70 rows left over), rows 391-600 2 more.
    assert list(f["first_row"]) == [31, 131, 391, 491]
    assert list(f["last_row"]) == [130, 230, 490, 590]
    assert not f["rows_dropped"].any()
    assert split.settings["missing"] == "split" and split.rows == 480
    missing_rows = set(np.flatnonzero(x.isna().to_numpy() | y.isna().to_numpy()) + 1)
    for first, last in zip(f["first_row"], f["last_row"]):
        assert not missing_rows & set(range(first, last + 1))
    # The thresholds and the statistics are those of the rows kept, as drop's.
    pd.testing.assert_series_equal(split.thresholds, drop.thresholds)
    pd.testing.assert_frame_equal(split.statistics, drop.statistics)
    # A frame's tests are those of its rows analysed alone.
    alone = vok.analyse(x.iloc[390:490], y.iloc[390:490], frame_length=100, var_lag=1)
    columns = [c for c in f.columns if c.startswith(("statistic_", "cdf_", "pvalue_"))]
    pd.testing.assert_series_equal(f.loc[3, columns], alone.frames.loc[1, columns],
                                   check_names=False)
    # Runs too short for a frame are an error that says so.
    with pytest.raises(ValueError, match="no run of rows between missing values holds a frame "
                                         r"of frame_length = 280 \(the longest run has 270 rows\)"):
        vok.analyse(x, y, missing="split", frame_length=280)


def test_without_missing_values_every_policy_is_the_plain_analysis(gapped):
    x, y = (s.fillna(0.25) for s in gapped)
    plain = vok.analyse(x, y, **SETTINGS)
    for policy in ("drop", "split"):
        pd.testing.assert_frame_equal(vok.analyse(x, y, missing=policy, **SETTINGS).frames,
                                      plain.frames)


def test_pairs_give_what_analyse_gives_each_pair(gapped):
    x, y = gapped
    panel = pd.DataFrame({"x": x, "y": y, "z": x.fillna(0.0) * 0.5 + 1.0})
    for policy in ("drop", "split"):
        got = vok.analyse_pairs(panel, progress=False, missing=policy, **SETTINGS)
        for a, b in got.pairs:
            rows = got.frames[(got.frames["x"] == a) & (got.frames["y"] == b)]
            want = vok.analyse(panel[a], panel[b], missing=policy, **SETTINGS).frames
            pd.testing.assert_frame_equal(rows.drop(columns=["x", "y"]).set_index("frame"), want)


def test_a_failed_pair_keeps_the_label_the_single_call_gives(gapped):
    x, y = gapped
    panel = pd.DataFrame({"x": x, "y": y})
    with pytest.raises(vok.PairError) as caught:
        vok.analyse_pairs(panel, progress=False, **SETTINGS)
    with pytest.raises(ValueError) as single:
        vok.analyse(x, y, **SETTINGS)
    assert str(caught.value) == f"pair (x='x', y='y'): {single.value}"
    assert "(label 2019-01-01 00:00:00)" in str(caught.value)


# ---------------------------------------------------------------------------
# The tables the R package must give on the same panel


def pair_table_text(pairs):
    """The frames of vok.analyse_pairs (or R's analyse_pairs) as the golden
    file holds them: placement, then each test's statistic, p-value,
    judgement and threshold, reals with 17 digits."""
    f = pairs.frames
    thresholds = pairs.thresholds.set_index(["x", "y"])
    columns = ["x", "y", "frame", "first_row", "last_row", "start", "end", "rows_dropped"]
    for test in vok.TESTS:
        columns += [f"statistic_{test}", f"pvalue_{test}", f"significant_{test}",
                    f"threshold_{test}"]

    def real(v):
        return "NaN" if np.isnan(v) else "%.17g" % v

    lines = [",".join(columns)]
    for _, row in f.iterrows():
        cells = [row["x"], row["y"], str(row["frame"]), str(row["first_row"]),
                 str(row["last_row"]), row["start"].strftime("%Y-%m-%d"),
                 row["end"].strftime("%Y-%m-%d"), str(row["rows_dropped"])]
        for test in vok.TESTS:
            cells += [real(float(row[f"statistic_{test}"])), real(float(row[f"pvalue_{test}"])),
                      "1" if row[f"significant_{test}"] else "0",
                      real(float(thresholds.loc[(row["x"], row["y"]), test]))]
        lines.append(",".join(cells))
    return "\n".join(lines) + "\n"


def shared_panel():
    """The panel of the fixture file: three series by the business day, b
    starting 80 days late and c missing 90 days; values multiples of 2**-16,
    which every reader of the file takes exactly."""
    path = FIXTURES / "gapped_panel.csv"
    if os.environ.get("VOK_UPDATE_GOLDEN") and not path.exists():
        rng = np.random.default_rng(37)
        rows = 600
        e = rng.standard_normal((rows, 3))
        a = e[:, 0].copy()
        for t in range(1, rows):
            a[t] += 0.4 * a[t - 1]
        b = e[:, 1] + 0.8 * np.r_[0.0, 0.0, a[:-2]] * np.r_[0.0, a[:-1]]
        panel = pd.DataFrame({"a": a, "b": b, "c": e[:, 2]},
                             index=pd.bdate_range("2019-01-01", periods=rows, name="date"))
        panel = (panel * 65536).round() / 65536
        panel.iloc[:80, 1] = np.nan
        panel.iloc[300:390, 2] = np.nan
        panel.to_csv(path, na_rep="NA", date_format="%Y-%m-%d")
    return pd.read_csv(path, index_col=0, parse_dates=[0], na_values=["NA"],
                       float_precision="round_trip")


@pytest.mark.parametrize("policy", ["drop", "split"])
def test_the_shared_panel_gives_the_golden_pair_table(policy):
    panel = shared_panel()
    assert int(panel.isna().sum().sum()) == 170
    pairs = vok.analyse_pairs(panel, progress=False, missing=policy, frame_length=100,
                              var_lag=1, resamples=20)
    text = pair_table_text(pairs)
    golden = FIXTURES / f"gapped_pairs_{policy}.csv"
    if os.environ.get("VOK_UPDATE_GOLDEN"):
        golden.write_text(text)
    assert text == golden.read_text()
