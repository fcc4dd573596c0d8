"""vok.analyse_pairs: every pair of a panel, locally and on a Dask cluster.

The cluster tests start a dask.distributed.LocalCluster of worker processes
on the loopback address (no dashboard) and close it; the series are short so
that they stay quick.
"""
import math
import itertools
import os
import subprocess
import warnings
import sys

import numpy as np
import pandas as pd
import pytest

import vok

SETTINGS = dict(frame_length=100, exponent=0.4, var_lag=1, resamples=20)


def make_panel(rows=600, seed=5):
    """Four series, stamped by the minute: an AR(1) a, b driven by the product
    of past a's (so frames light up), and two noise series."""
    rng = np.random.default_rng(seed)
    e = rng.standard_normal((rows, 4))
    a = e[:, 0].copy()
    for t in range(1, rows):
        a[t] += 0.4 * a[t - 1]
    b = e[:, 1] + 0.9 * np.r_[0.0, 0.0, a[:-2]] * np.r_[0.0, a[:-1]]
    index = pd.date_range("2024-03-01 09:30", periods=rows, freq="min", name="time")
    return pd.DataFrame({"a": a, "b": b, "c": e[:, 2], "d": e[:, 3]}, index=index)


@pytest.fixture(scope="module")
def panel():
    return make_panel()


@pytest.fixture(scope="module")
def local(panel):
    return vok.analyse_pairs(panel, progress=False, **SETTINGS)


def assert_same(got, want):
    pd.testing.assert_frame_equal(got.frames, want.frames)
    pd.testing.assert_frame_equal(got.thresholds, want.thresholds)
    assert got.pairs == want.pairs


def rows_of(results, pair):
    """The frames of one pair, as analyse's Result.frames lays them out."""
    f = results.frames
    rows = f[(f["x"] == pair[0]) & (f["y"] == pair[1])]
    return rows.drop(columns=["x", "y"]).set_index("frame")


# ---------------------------------------------------------------------------
# Locally


def test_every_pair_once_in_column_order_each_as_analyse_gives_it(panel, local):
    pairs = list(itertools.combinations("abcd", 2))
    assert local.pairs == pairs
    result = vok.analyse(panel["a"], panel["b"], stamps=panel.index, **SETTINGS)
    assert list(local.frames.columns) == ["x", "y", "frame", *result.frames.columns]
    assert list(local.thresholds.columns) == ["x", "y", *vok.TESTS]
    # The long table: every pair's frames one after another, in pair order.
    frames = len(result.frames)
    assert len(local.frames) == frames * len(pairs)
    assert list(local.frames["x"]) == [x for x, _ in pairs for _ in range(frames)]
    for k, (x, y) in enumerate(pairs):
        want = vok.analyse(panel[x], panel[y], stamps=panel.index, **SETTINGS)
        pd.testing.assert_frame_equal(rows_of(local, (x, y)), want.frames, check_names=False)
        assert tuple(local.thresholds.iloc[k][["x", "y"]]) == (x, y)
        np.testing.assert_array_equal(local.thresholds.iloc[k][list(vok.TESTS)].astype(float),
                                      want.thresholds.to_numpy())
    # The panel is built so that a's products drive b.
    assert rows_of(local, ("a", "b"))["significant_Hxxy"].sum() >= 3


def test_pairs_in_another_order_give_the_same_rows_in_that_order(panel, local):
    pairs = [("c", "d"), ("a", "b"), ("b", "d"), ("a", "c")]
    again = vok.analyse_pairs(panel, pairs, progress=False, **SETTINGS)
    assert again.pairs == pairs
    assert list(again.thresholds["x"]) == ["c", "a", "b", "a"]
    for pair in pairs:
        pd.testing.assert_frame_equal(rows_of(again, pair), rows_of(local, pair))
    want = local.thresholds.set_index(["x", "y"]).loc[pairs]
    pd.testing.assert_frame_equal(again.thresholds.set_index(["x", "y"]), want)


def test_a_pair_reversed_swaps_the_roles_of_x_and_y(panel):
    nominal = dict(SETTINGS, resamples=0)
    both = vok.analyse_pairs(panel, [("a", "b"), ("b", "a")], progress=False, **nominal)
    ab, ba = rows_of(both, ("a", "b")), rows_of(both, ("b", "a"))
    for t, swapped in [("Cx", "Cy"), ("Cxy", "Cxy"), ("Hxxx", "Hyyy"), ("Hxxy", "Hyyx")]:
        np.testing.assert_allclose(ba[f"cdf_{swapped}"], ab[f"cdf_{t}"], atol=1e-6, err_msg=t)
        np.testing.assert_allclose(ba[f"cdf_{t}"], ab[f"cdf_{swapped}"], atol=1e-6, err_msg=t)


def test_a_2d_array_names_its_columns_by_position(panel, local):
    pairs = [(3, 1), (0, 2)]
    by_position = vok.analyse_pairs(panel.to_numpy(), pairs, progress=False, **SETTINGS)
    assert by_position.pairs == pairs
    assert "start" not in by_position.frames.columns  # no stamps without a DatetimeIndex
    for (i, j), names in zip(pairs, [("d", "b"), ("a", "c")]):
        want = vok.analyse_pairs(panel, [names], progress=False, **SETTINGS)
        pd.testing.assert_frame_equal(
            rows_of(by_position, (i, j)), rows_of(want, names).drop(columns=["start", "end"]))
    # Positions also name the columns of a DataFrame.
    mixed = vok.analyse_pairs(panel, [(0, "b")], progress=False, **SETTINGS)
    assert mixed.pairs == [("a", "b")]
    pd.testing.assert_frame_equal(mixed.frames, local.frames[local.frames["y"].eq("b") &
                                                             local.frames["x"].eq("a")])


def test_the_same_for_one_thread_and_two(panel, local):
    for threads in (1, 2):
        assert_same(vok.analyse_pairs(panel, progress=False, threads=threads, **SETTINGS), local)
    # Fewer pairs than threads: the frames of a pair share the threads.
    one = vok.analyse_pairs(panel, [("a", "b")], progress=False, threads=2, **SETTINGS)
    pd.testing.assert_frame_equal(rows_of(one, ("a", "b")), rows_of(local, ("a", "b")))


def test_a_failing_pair_is_named(panel):
    broken = panel.copy()
    broken.iloc[123, 2] = np.nan  # column c
    with pytest.raises(vok.PairError) as caught:
        vok.analyse_pairs(broken, progress=False, **SETTINGS)
    # The first failing pair in pair order: (a, c).
    assert caught.value.pair == ("a", "c")
    assert str(caught.value).startswith("pair (x='a', y='c'): ")
    assert "[123]" in str(caught.value)
    assert isinstance(caught.value, ValueError)


@pytest.mark.parametrize("data, pairs, settings, error, message", [
    (np.zeros(50), None, SETTINGS, ValueError, "2-D array"),
    ("panel", [("a", "z")], SETTINGS, ValueError, "no column 'z'"),
    ("panel", [(0, 4)], SETTINGS, ValueError, "no column 4"),
    ("panel", ["ab"], SETTINGS, ValueError, "a pair is (x, y)"),
    ("panel", None, dict(SETTINGS, frame_lenght=100), TypeError, "frame_lenght"),
    ("panel", None, {}, TypeError, "frame_length"),
    ("panel", None, dict(SETTINGS, threads=0), ValueError, "threads = 0"),
    (pd.DataFrame({"a": ["x"] * 200, "b": 1.0}), None, SETTINGS, ValueError, "must hold numbers"),
])
def test_refused_input(panel, data, pairs, settings, error, message):
    data = panel if isinstance(data, str) else data
    with pytest.raises(error, match=message.replace("(", r"\(").replace(")", r"\)")):
        vok.analyse_pairs(data, pairs, progress=False, **settings)


def test_progress_bar_only_when_asked(panel, capsys):
    vok.analyse_pairs(panel, [("a", "b"), ("c", "d")], progress=True, **SETTINGS)
    assert "2/2" in capsys.readouterr().err
    vok.analyse_pairs(panel, [("a", "b"), ("c", "d")], progress=False, **SETTINGS)
    assert capsys.readouterr().err == ""


def test_repr_counts_significant_frames(local):
    text = repr(local)
    assert text.startswith(f"vok.PairResults: 6 pairs, {len(local.frames)} frames")
    significant = int(local.frames["significant_Hxxy"].sum())
    assert any(line.split()[:2] == ["Hxxy", str(significant)] for line in text.splitlines())


def test_the_example_script_writes_the_two_tables(panel, tmp_path):
    path = tmp_path / "panel.csv"
    panel.to_csv(path)
    script = os.path.join(os.path.dirname(__file__), "..", "..", "examples", "cluster", "pairs.py")
    done = subprocess.run([sys.executable, script, str(path), "--frame-length", "100",
                           "--var-lag", "1", "--resamples", "20"],
                          capture_output=True, text=True, check=True)
    assert done.stdout.startswith("vok.PairResults: 6 pairs")
    want = vok.analyse_pairs(pd.read_csv(path, index_col=0, parse_dates=[0]), progress=False,
                             **SETTINGS)
    assert (tmp_path / "panel-pairs.csv").read_text() == want.frames.to_csv(index=False)
    assert (tmp_path / "panel-thresholds.csv").read_text() == want.thresholds.to_csv(index=False)


# ---------------------------------------------------------------------------
# On a Dask cluster


@pytest.fixture(scope="module", params=[1, 2], ids=["1-worker", "2-workers"])
def client(request):
    distributed = pytest.importorskip("distributed")
    # No dashboard; the scheduler's remaining HTTP routes (health checks) on a
    # free loopback port rather than 8787, which another cluster may hold.
    cluster = distributed.LocalCluster(n_workers=request.param, threads_per_worker=1,
                                       processes=True, host="127.0.0.1", dashboard_address=None,
                                       scheduler_kwargs={"dashboard_address": "127.0.0.1:0"})
    client = distributed.Client(cluster)
    yield client
    client.close()
    cluster.close()


def test_cluster_gives_what_the_local_run_gives(panel, local, client):
    assert_same(vok.analyse_pairs(panel, client=client, progress=False, **SETTINGS), local)


def test_cluster_keeps_the_order_of_the_pairs(panel, local, client):
    pairs = [("c", "d"), ("b", "a"), ("a", "b"), (0, 3)]
    on_cluster = vok.analyse_pairs(panel, pairs, client=client, progress=False, **SETTINGS)
    assert_same(on_cluster, vok.analyse_pairs(panel, pairs, progress=False, **SETTINGS))
    pd.testing.assert_frame_equal(rows_of(on_cluster, ("a", "b")), rows_of(local, ("a", "b")))


def test_cluster_serves_calls_on_the_same_panel_one_after_another(panel, local, client):
    # Each call's series reach the cluster under keys of its own: the data of
    # a call that has ended are released, and must not take those of the next.
    for _ in range(5):
        assert_same(vok.analyse_pairs(panel, client=client, progress=False, **SETTINGS), local)


def test_cluster_names_a_failing_pair(panel, client):
    broken = panel.copy()
    broken.iloc[321, 3] = np.inf  # column d
    with pytest.raises(vok.PairError) as caught:
        vok.analyse_pairs(broken, [("a", "b"), ("c", "d"), ("a", "d")], client=client,
                          progress=False, **SETTINGS)
    assert caught.value.pair == ("c", "d")
    assert str(caught.value).startswith("pair (x='c', y='d'): ")
    # The cluster goes on serving.
    ok = vok.analyse_pairs(panel, [("a", "b")], client=client, progress=False, **SETTINGS)
    assert len(ok) == 1


BENCH = dict(frame_length=1000, exponent=0.5, var_lag=2, resamples=200)


@pytest.mark.parametrize("threads", [1, 2, 8, 64])
@pytest.mark.parametrize("pairs", [1, 3, 6, 40, 1225, 2016])
@pytest.mark.parametrize("rows, settings", [
    (600, SETTINGS),                                   # short pairs
    (200_000, BENCH),                                  # about 0.1 s a pair
    (1_000_000, dict(BENCH, resamples=1000)),          # long pairs
    (600, dict(SETTINGS, frame_length=0)),             # refused by each pair
    (600, dict(SETTINGS, exponent="x")),
])
def test_tasks_keep_every_thread_busy_with_few_tasks_of_enough_work(pairs, threads, rows,
                                                                    settings):
    """How pairs are cut into cluster tasks: never more than ten tasks a
    worker thread (each task costs a round trip); tasks no larger than two a
    thread allow, so that no thread idles while another works through a long
    task; and more tasks than that only where each holds enough statistics
    to outweigh its overhead."""
    from vok import _pairs
    size = _pairs._chunk_size(pairs, threads, rows, settings)
    tasks = math.ceil(pairs / size)
    assert 1 <= size <= pairs
    assert tasks <= max(1, _pairs._CHUNKS_PER_THREAD * threads)
    # No task larger than a share of two a thread (as near as whole pairs
    # allow), unless the cap on tasks asks for more.
    assert size <= max(math.ceil(pairs / (2 * threads)),
                       math.ceil(pairs / (_pairs._CHUNKS_PER_THREAD * threads)))
    try:
        per_pair = _pairs._statistics_per_pair(rows, settings)
    except (TypeError, ValueError, OverflowError):
        per_pair = 0
    if per_pair > 0 and tasks > 2 * threads:
        # More tasks than two a thread only where each holds enough work.
        assert size * per_pair >= _pairs._TASK_STATISTICS


# The frame plans where a formula of Python's own went wrong: frames that step
# by `overlap` end inside the rows (600 rows of 100 by 50 are 10 frames, not
# 11; by 100, 3 not 4), and lags that the library rounds from a 32-bit power
# landing on a half (100 ** e is 3.5 in 32 bits: 4 lags, not round()'s 3).
@pytest.mark.parametrize("rows, frame_length, exponent, overlap, half", [
    (600, 100, 0.4, 50, None),
    (400, 100, 0.4, 100, None),
    (100, 100, 0.4, 7, None),
    (400, 100, 0.27203401923179626, 0, 3.5),
    (400, 200, 0.32175272703170776, 30, 5.5),
])
def test_work_per_pair_counts_the_frames_and_lags_analyse_gives(rows, frame_length, exponent,
                                                                overlap, half):
    from vok import _pairs
    if half is not None:  # the case holds: the 32-bit power is a half exactly
        assert np.float32(frame_length) ** np.float32(exponent) == half
    rng = np.random.default_rng(3)
    x, y = rng.standard_normal((2, rows)).astype(np.float32)
    settings = dict(frame_length=frame_length, exponent=exponent, overlap=overlap)
    result = vok.analyse(x, y, **settings)
    frames, lags = len(result.frames), result.lags
    assert vok._vok.frame_plan(rows, **settings) == (frames, lags)
    want = (frames + 10) * frame_length * lags * lags / (1000 * 32 * 32)
    assert _pairs._statistics_per_pair(rows, dict(settings, resamples=10)) == pytest.approx(want)


def test_frame_plan_of_too_few_rows_and_of_bad_settings():
    assert vok._vok.frame_plan(99, 100, 0.4, 0) == (0, 6)
    assert vok._vok.frame_plan(99, 100, 0.4, 10) == (0, 6)
    with pytest.raises(ValueError, match="frame_length = 11"):
        vok._vok.frame_plan(600, 11, 0.4, 0)
    with pytest.raises(ValueError, match="overlap = -1"):
        vok._vok.frame_plan(600, 100, 0.4, -1)
    with pytest.raises(ValueError, match="rows = -1"):
        vok._vok.frame_plan(-1, 100, 0.4, 0)


# ---------------------------------------------------------------------------
# Faults of the cluster


@pytest.fixture
def fresh_cluster():
    """A cluster of its own for a test that breaks it: two worker processes."""
    distributed = pytest.importorskip("distributed")
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       host="127.0.0.1", dashboard_address=None,
                                       scheduler_kwargs={"dashboard_address": "127.0.0.1:0"})
    client = distributed.Client(cluster)
    yield cluster, client
    client.close()
    cluster.close()


class _AtFirstTask:
    """Stands in for the progress bar: calls `act` once, when the first task
    of analyse_pairs has ended (a fixed point of the call)."""

    def __init__(self, act):
        self.act = act
        self.acted = False

    def update(self, _):
        if not self.acted:
            self.acted = True
            self.act()

    def close(self):
        pass


LONGER = dict(SETTINGS, resamples=200)


def test_a_worker_lost_after_the_first_task_changes_no_table(panel, fresh_cluster, monkeypatch):
    cluster, client = fresh_cluster
    want = vok.analyse_pairs(panel, progress=False, **LONGER)
    pids = client.run(os.getpid)
    victim = sorted(pids)[0]
    hook = _AtFirstTask(lambda: os.kill(pids[victim], 9))
    monkeypatch.setattr(vok._pairs, "_progress_bar", lambda progress, total: hook)
    got = vok.analyse_pairs(panel, client=client, **LONGER)
    assert hook.acted
    assert_same(got, want)


def test_a_closed_client_is_one_clear_error_naming_the_pairs(panel, fresh_cluster, monkeypatch):
    cluster, client = fresh_cluster
    import threading
    # Closed while the call runs, from another thread, after the first task.
    hook = _AtFirstTask(lambda: threading.Thread(target=client.close).start())
    monkeypatch.setattr(vok._pairs, "_progress_bar", lambda progress, total: hook)
    pairs = [("a", "b"), ("c", "d"), ("a", "d"), ("b", "c"), ("a", "c"), ("b", "d")] * 3
    try:
        got = vok.analyse_pairs(panel, pairs, client=client, **LONGER)
    except vok.ClusterError as error:
        assert error.pairs_not_done and set(error.pairs_not_done) <= set(pairs)
        assert "pairs not done" in str(error)
    else:  # every task had ended before the client closed
        assert len(got) == len(pairs)
    # Closed before the call: the same error, every pair not done.
    client.close()
    with pytest.raises(vok.ClusterError, match="closed") as caught:
        vok.analyse_pairs(panel, [("a", "b")], client=client, progress=False, **SETTINGS)
    assert caught.value.pairs_not_done == [("a", "b")]


# ---------------------------------------------------------------------------
# Missing values, failed pairs, the client in use


def test_late_starting_series_are_dropped_pairwise_and_failures_collected(panel):
    late = panel.copy()
    late.iloc[:150, 2] = np.nan  # c starts 150 rows later
    late.iloc[400, 3] = np.inf   # d cannot be analysed
    with pytest.raises(vok.PairError, match="pair \\(x='a', y='c'\\)"):
        vok.analyse_pairs(late, progress=False, **SETTINGS)
    got = vok.analyse_pairs(late, progress=False, missing="drop", errors="collect", **SETTINGS)
    assert got.pairs == [("a", "b"), ("a", "c"), ("b", "c")]
    assert list(got.errors[["x", "y"]].itertuples(index=False, name=None)) == [
        ("a", "d"), ("b", "d"), ("c", "d")]
    assert got.errors["message"].str.contains("not a finite number").all()
    # The pair with c is that of its rows from 150 on, stamps included.
    direct = vok.analyse(late["a"].iloc[150:], late["c"].iloc[150:], **SETTINGS)
    pd.testing.assert_frame_equal(rows_of(got, ("a", "c")).drop(columns=["first_row", "last_row"]),
                                  direct.frames.drop(columns=["first_row", "last_row"]))
    with pytest.raises(ValueError, match="missing = 'skip'"):
        vok.analyse_pairs(panel, missing="skip", **SETTINGS)


def test_tidy_and_summary_of_pairs(local):
    tidy = local.tidy()
    assert len(tidy) == 7 * len(local.frames)
    assert list(tidy.columns[:3]) == ["x", "y", "frame"]
    summary = local.summary()
    assert len(summary) == 7 * len(local.pairs)
    ab = summary[(summary["x"] == "a") & (summary["y"] == "b") & (summary["test"] == "Hxxy")]
    assert int(ab["significant"].iloc[0]) == int(rows_of(local, ("a", "b"))["significant_Hxxy"].sum())


def test_the_client_in_use_is_taken_and_false_means_local(panel, local, client):
    # `client` (the fixture) is the default client while it is open.
    assert vok._pairs._active_client() is client
    assert_same(vok.analyse_pairs(panel, progress=False, **SETTINGS), local)
    assert_same(vok.analyse_pairs(panel, client=False, progress=False, **SETTINGS), local)


# ---------------------------------------------------------------------------
# Cautions


def caution_panel():
    """The panel with e, an AR(1) of coefficient 0.8: its pairs call for the
    autocorrelation caution without a VAR fit."""
    data = make_panel()
    rng = np.random.default_rng(8)
    e = rng.standard_normal(len(data))
    for t in range(1, len(e)):
        e[t] += 0.8 * e[t - 1]
    return data.assign(e=e)


def test_cautions_are_gathered_per_pair_and_each_warning_names_its_pair():
    data = caution_panel()
    pairs = [("e", "c"), ("c", "d"), ("d", "e")]
    with warnings.catch_warnings(record=True) as caught:
        warnings.simplefilter("always")
        results = vok.analyse_pairs(data, pairs, progress=False, frame_length=100)
    table = results.cautions
    assert list(table.columns[:4]) == ["x", "y", "kind", "series"]
    assert list(zip(table["x"], table["y"], table["kind"], table["series"])) == [
        ("e", "c", "autocorrelation", "x"), ("d", "e", "autocorrelation", "y")]
    # Each as analyse gives it for the pair alone.
    alone = vok.analyse(data["d"], data["e"], frame_length=100).cautions
    assert list(table["message"])[1] == alone["message"][0]
    seen = [(w.category, str(w.message)) for w in caught
            if issubclass(w.category, vok.CalibrationWarning)]
    assert seen == [(vok.AutocorrelationWarning, f"pair (x='{x}', y='{y}'): {m}")
                    for x, y, m in zip(table["x"], table["y"], table["message"])]
    # Raised where the caller called.
    assert {w.filename for w in caught} == {__file__}


def test_cluster_gives_the_cautions_of_the_local_run(client):
    data = caution_panel()
    with warnings.catch_warnings(record=True) as local_warnings:
        warnings.simplefilter("always")
        local = vok.analyse_pairs(data, progress=False, client=False, frame_length=100)
    with warnings.catch_warnings(record=True) as cluster_warnings:
        warnings.simplefilter("always")
        on_cluster = vok.analyse_pairs(data, progress=False, client=client, frame_length=100)
    # a (AR(1) 0.4) and e in each of their pairs, both in (a, e).
    assert len(local.cautions) == 8 and set(local.cautions["kind"]) == {"autocorrelation"}
    pd.testing.assert_frame_equal(on_cluster.cautions, local.cautions)
    assert ([str(w.message) for w in cluster_warnings] ==
            [str(w.message) for w in local_warnings])
