"""vok.analyse_pairs: every pair of a panel of series, on the local cores or a
Dask cluster, gathered into long pandas tables."""

from __future__ import annotations

import asyncio
import inspect
import itertools
import math
import os
import sys
from collections.abc import Sequence
from concurrent.futures import ThreadPoolExecutor
from typing import Literal, Optional

import numpy as np
import pandas as pd

from . import _vok
from ._analysis import analyse, analyse_quietly, missing_setting, threads_setting, warn_cautions
from ._result import CAUTION_COLUMNS, TESTS

# The settings analyse takes after x and y, as analyse_pairs passes them on.
_SETTINGS = tuple(p for p in inspect.signature(analyse).parameters if p not in ("x", "y"))

# Chunks of pairs per worker thread of a cluster, at most: enough that the
# last tasks leave the workers little idle time and a slow worker gets fewer
# of them.
_CHUNKS_PER_THREAD = 10
# The work a task holds at least, in statistics of frames of 1000 rows and 32
# lags (each frame and each resample is one statistic; about a quarter of a
# millisecond each on a current core): the overhead of a task, some 10 to 30
# ms of the workers' and the scheduler's time, then stays within a few percent.
_TASK_STATISTICS = 2000


class PairError(ValueError):
    """The analysis of one pair failed. `pair` is the (x, y) of the pair, as
    given or as the default pairs name it; the message names the pair, then
    says what the analysis reported."""

    def __init__(self, message, pair):
        super().__init__(message, pair)
        self.pair = pair

    def __str__(self):
        return self.args[0]


class ClusterError(RuntimeError):
    """The cluster could not complete the pairs: the client or the cluster
    was closed, or tasks failed again after being sent anew. `pairs_not_done`
    lists the (x, y) pairs without results; the message names the failure
    (also the exception's __cause__)."""

    def __init__(self, message, pairs_not_done):
        super().__init__(message)
        self.pairs_not_done = list(pairs_not_done)


# Times a chunk whose task failed on the cluster (its worker lost, its data
# gone) is sent anew, with its series, before the call gives up.
_CLUSTER_ATTEMPTS = 3


class PairResults:
    """The results of vok.analyse_pairs, in the order of its pairs.

    Attributes:
        frames: DataFrame, one row per frame of each pair: columns x and y
            (the pair's column names, or positions for an array), frame, then
            the columns of Result.frames (first_row, last_row, [start, end],
            rows_dropped, degenerate, statistic_T, df_T, cdf_T, pvalue_T,
            significant_T for each test T).
        thresholds: DataFrame, one row per pair: x, y, then the p-value
            threshold of each test (columns in vok.TESTS order).
        pairs: the (x, y) pairs, in order.
        settings: the settings every pair was analysed with.
        errors: DataFrame of the pairs that failed (x, y, message), with
            errors="collect" (empty otherwise).
        cautions: DataFrame, one row per caution of each pair: x, y, then
            the columns of Result.cautions (kind, series, frames, count,
            figure, binomial_p, advice, message), the same locally and on a
            cluster; analyse_pairs raises each as its CalibrationWarning,
            naming the pair.
    """

    def __init__(self, pairs, frames, thresholds, settings, cautions=None):
        self.pairs = list(pairs)
        self.frames = frames
        self.thresholds = thresholds
        self.settings = settings
        self.cautions = (cautions if cautions is not None
                         else pd.DataFrame(columns=["x", "y", *CAUTION_COLUMNS]))
        # Failed pairs (with errors="collect"): x, y, message.
        self.errors = pd.DataFrame(columns=["x", "y", "message"])

    @classmethod
    def from_results(cls, pairs, results, settings):
        """From one (frames, thresholds, cautions) per pair: Result.frames,
        Result.thresholds and Result.cautions."""
        tables = []
        rows = []
        cautions = []
        for (x, y), (frames, thresholds, *rest) in zip(pairs, results):
            table = frames.reset_index()
            table.insert(0, "y", [y] * len(table))
            table.insert(0, "x", [x] * len(table))
            tables.append(table)
            rows.append([x, y, *(thresholds[test] for test in TESTS)])
            for caution in (rest[0].itertuples(index=False) if rest else ()):
                cautions.append([x, y, *caution])
        if tables:
            frames = pd.concat(tables, ignore_index=True)
        else:
            frames = pd.DataFrame(columns=["x", "y", "frame"])
        thresholds = pd.DataFrame(rows, columns=["x", "y", *TESTS])
        cautions = pd.DataFrame(cautions, columns=["x", "y", *CAUTION_COLUMNS])
        return cls(pairs, frames, thresholds, settings, cautions)

    def __len__(self):
        return len(self.pairs)

    def tidy(self):
        """One row per pair, frame and test: x, y, frame, [start, end,] test,
        statistic, df, pvalue, threshold, significant."""
        f = self.frames
        if not len(f):
            return pd.DataFrame(columns=["x", "y", "frame", "test", "statistic", "df", "pvalue",
                                         "threshold", "significant"])
        keys = ["x", "y", "frame"] + [c for c in ("start", "end") if c in f.columns]
        thresholds = self.thresholds.set_index(["x", "y"])
        parts = []
        for test in TESTS:
            part = f[keys].copy()
            part["test"] = test
            part["statistic"] = f[f"statistic_{test}"].to_numpy()
            part["df"] = f[f"df_{test}"].to_numpy()
            part["pvalue"] = f[f"pvalue_{test}"].to_numpy()
            part["threshold"] = thresholds[test].reindex(
                pd.MultiIndex.from_frame(f[["x", "y"]])).to_numpy()
            part["significant"] = f[f"significant_{test}"].to_numpy()
            parts.append(part)
        table = pd.concat(parts, ignore_index=True)
        order = {test: k for k, test in enumerate(TESTS)}
        table["_pair"] = table.groupby(["x", "y"], sort=False).ngroup()
        table["_test"] = table["test"].map(order)
        table = table.sort_values(["_pair", "frame", "_test"], kind="stable")
        return table.drop(columns=["_pair", "_test"]).reset_index(drop=True)

    def summary(self):
        """Per pair and test: significant frames, frames, their share and the
        binomial p-value against the false-alarm level (as Result.summary())."""
        alpha = float(np.float32(self.settings.get("false_alarm", 0.05)))
        rows = []
        for (x, y), part in self.frames.groupby(["x", "y"], sort=False):
            counts = [int(part[f"significant_{test}"].sum()) for test in TESTS]
            qvalues = part[[f"qvalue_{test}" for test in TESTS]].to_numpy(dtype=np.float64)
            # The library's per-test summary (vok::summarise), as Result.summary().
            s = _vok.summarise(counts, qvalues, alpha)
            for t, test in enumerate(TESTS):
                rows.append({"x": x, "y": y, "test": test,
                             "significant": int(s["significant"][t]),
                             "frames": int(s["frames"][t]), "share": float(s["share"][t]),
                             "binomial_p": float(s["binomial_p"][t])})
        return pd.DataFrame(rows, columns=["x", "y", "test", "significant", "frames", "share",
                                           "binomial_p"])

    def __repr__(self):
        pairs = len(self.pairs)
        lines = [f"vok.PairResults: {pairs} pair{'s' if pairs != 1 else ''}, "
                 f"{len(self.frames)} frames"]
        if len(self.frames):
            lines.append(f"{'test':<6}{'significant':>13}{'percent':>9}  (all pairs)")
            for test in TESTS:
                significant = int(self.frames[f"significant_{test}"].sum())
                lines.append(f"{test:<6}{significant:>13d}"
                             f"{100.0 * significant / len(self.frames):>8.1f}%")
        return "\n".join(lines)


def _columns(data):
    """The series of `data` as contiguous 32-bit arrays, with their labels and
    the DataFrame's index (None for an array or a DataFrame's default index of
    positions)."""
    if isinstance(data, pd.DataFrame):
        labels = list(data.columns)
        values = [data.iloc[:, i].to_numpy() for i in range(data.shape[1])]
        index = data.index
        if isinstance(index, pd.RangeIndex) and index.start == 0 and index.step == 1:
            index = None
    else:
        array = np.asarray(data)
        if array.ndim != 2:
            raise ValueError(f"data must be a DataFrame or a 2-D array; it has {array.ndim} "
                             f"dimension{'s' if array.ndim != 1 else ''}")
        labels = list(range(array.shape[1]))
        values = [array[:, i] for i in range(array.shape[1])]
        index = None
    series = []
    for label, v in zip(labels, values):
        if v.dtype.kind not in "biuf":
            raise ValueError(f"column {label!r} must hold numbers; its dtype is {v.dtype}")
        # Converted once here, as analyse would convert it for every pair.
        series.append(np.ascontiguousarray(v, dtype=np.float32))
    return labels, series, index


def _resolve_pairs(pairs, labels):
    """The pairs as (x label, y label, x position, y position)."""
    if pairs is None:
        return [(labels[i], labels[j], i, j)
                for i, j in itertools.combinations(range(len(labels)), 2)]
    position = {}
    for i, label in enumerate(labels):
        position.setdefault(label, []).append(i)

    def find(item, where):
        found = position.get(item) if not isinstance(item, (list, dict, set)) else None
        if found is None and isinstance(item, (int, np.integer)) and not isinstance(item, bool):
            if 0 <= item < len(labels):
                return labels[item], int(item)
            raise ValueError(f"{where}: no column {item!r} (positions run from 0 to "
                             f"{len(labels) - 1})")
        if found is None:
            raise ValueError(f"{where}: no column {item!r}")
        if len(found) > 1:
            raise ValueError(f"{where}: the column name {item!r} is not unique")
        return item, found[0]

    resolved = []
    for k, pair in enumerate(pairs):
        if isinstance(pair, str) or not hasattr(pair, "__len__") or len(pair) != 2:
            raise ValueError(f"pairs[{k}] = {pair!r}: a pair is (x, y)")
        x, ix = find(pair[0], f"pairs[{k}] = {tuple(pair)!r}")
        y, iy = find(pair[1], f"pairs[{k}] = {tuple(pair)!r}")
        resolved.append((x, y, ix, iy))
    return resolved


class _Rows:
    """What a panel's rows carry to each pair: the panel's index (None for
    an array or a default index of positions) and the stamps given in its
    place (None: those of a DatetimeIndex or PeriodIndex). Sent to a
    cluster's workers as one object."""

    def __init__(self, index, stamps):
        self.index = index
        self.stamps = stamps


def _analyse_chunk(chunk, settings, rows, policy, *series):
    """Analyses the pairs of a chunk, one after another: (frames, thresholds)
    per pair; a pair whose analysis fails gives its PairError (returned, not
    raised: a cluster then sees a task that completed, and the caller raises
    the first error in pair order, or collects them), which ends the list
    unless policy["errors"] is "collect". policy["missing"] is analyse's
    missing. With a panel's index (`rows`, a _Rows), each series is analysed
    as a Series of it, so that its stamps (a DatetimeIndex) and the labels
    its messages name are those analyse gives the pair alone. chunk holds
    (x, y, i, j): the pair's labels and its series' positions in `series`.
    The same function runs locally and on a cluster's workers."""
    results = []
    for x, y, i, j in chunk:
        a, b = series[i], series[j]
        if rows.index is not None:
            a = pd.Series(a, index=rows.index, copy=False)
            b = pd.Series(b, index=rows.index, copy=False)
        try:
            result = analyse_quietly(a, b, stamps=rows.stamps, missing=policy["missing"],
                                     **settings)
        except ValueError as error:
            failure = PairError(f"pair (x={x!r}, y={y!r}): {error}", (x, y))
            failure.__cause__ = error
            results.append(failure)
            if policy["errors"] != "collect":
                break
            continue
        results.append((result.frames, result.thresholds, result.cautions))
    return results


def _in_order(futures, cancel, collect=False):
    """The results of the chunks' futures in order; at a failed pair, the
    futures still running are cancelled and its PairError raised (with
    collect, the PairError takes the pair's place in the list)."""
    results = []
    try:
        for future in futures:
            for item in future.result():
                if isinstance(item, PairError) and not collect:
                    raise item
                results.append(item)
    except BaseException:
        cancel()
        raise
    return results


def _progress_bar(progress, total):
    """A tqdm bar (or None). None shows it, on a terminal or in a notebook,
    once the work has run for two seconds; True always; False never."""
    if progress is False:
        return None
    try:
        from tqdm.auto import tqdm
    except ImportError:
        if progress:
            raise ImportError("progress=True needs tqdm (Debian package python3-tqdm)") from None
        return None
    if progress is None:
        return tqdm(total=total, unit="pair", disable=None, delay=2.0)
    return tqdm(total=total, unit="pair")


def _local_threads(threads):
    threads = threads_setting(threads)
    if threads:
        return threads
    try:
        return len(os.sched_getaffinity(0))
    except AttributeError:
        return os.cpu_count() or 1


def _run_locally(pairs, settings, rows, series, bar, policy):
    """Up to `threads` pairs at a time, one thread each (the analysis releases
    the GIL). With fewer pairs than threads, each pair gets its share of the
    threads for its frames."""
    threads = _local_threads(settings.get("threads"))
    side_by_side = max(1, min(threads, len(pairs)))
    each = dict(settings, threads=max(1, threads // side_by_side))
    with ThreadPoolExecutor(max_workers=side_by_side) as pool:
        futures = [pool.submit(_analyse_chunk, [pair], each, rows, policy, *series)
                   for pair in pairs]
        if bar is not None:
            for future in futures:
                future.add_done_callback(lambda _: bar.update(1))

        def cancel():
            for future in futures:
                future.cancel()

        return _in_order(futures, cancel, policy["errors"] == "collect")


def _statistics_per_pair(rows, settings):
    """A pair's work in statistics of frames of 1000 rows and 32 lags: its
    frames and resamples, each weighted by the cost of its lag sums (frame
    length times lags squared). The frames and lags are the library's own
    plan of `rows` observations; a setting out of its bounds raises
    ValueError (TypeError for one of the wrong type)."""
    n = settings["frame_length"]
    frames, lags = _vok.frame_plan(rows, frame_length=n,
                                   exponent=settings.get("exponent", 0.4),
                                   overlap=settings.get("overlap", 0))
    weight = n * lags * lags / (1000 * 32 * 32)
    return (frames + (settings.get("resamples") or 0)) * weight


def _chunk_size(pairs, worker_threads, rows, settings):
    """Pairs to a task: at most _CHUNKS_PER_THREAD tasks per worker thread,
    tasks of at least _TASK_STATISTICS where the pairs are short, yet at
    least two tasks per thread while there are pairs enough."""
    fewest = math.ceil(pairs / (_CHUNKS_PER_THREAD * worker_threads))
    try:
        per_pair = _statistics_per_pair(rows, settings)
    except (TypeError, ValueError, OverflowError):
        per_pair = 0  # a bad setting: each pair reports it
    by_work = math.ceil(_TASK_STATISTICS / per_pair) if per_pair > 0 else fewest
    most = max(1, math.ceil(pairs / (2 * worker_threads)))
    return max(1, fewest, min(by_work, most))


def _run_on_cluster(client, pairs, settings, rows, series, bar, policy):
    """Chunks of pairs as tasks of the client's cluster; the results gathered
    in pair order.

    The series are sent to every worker (a worker that is lost takes no
    series with it), and a task that fails for a reason of the cluster's (its
    worker lost, its data gone) is sent anew with its series, up to
    _CLUSTER_ATTEMPTS times; then, or when the client or the cluster is
    closed, ClusterError names the failure and the pairs not done. A pair
    whose analysis fails raises its PairError, as locally.
    """
    # Workers run their threads' tasks side by side: each analysis takes one
    # thread, unless the caller chose a number.
    each = dict(settings)
    if each.get("threads") is None:
        each["threads"] = 1
    done = []  # results in pair order

    def not_done():
        return [(x, y) for x, y, _, _ in pairs[len(done):]]

    try:
        used = sorted({i for pair in pairs for i in pair[2:]})
        worker_threads = sum(client.nthreads().values()) or 1
        size = _chunk_size(len(pairs), worker_threads, len(series[0]) if series else 0, each)
        chunks = [pairs[start:start + size] for start in range(0, len(pairs), size)]

        def send(chunk, scattered, rows_future):
            # A task takes the series of its own pairs only.
            needed = sorted({i for pair in chunk for i in pair[2:]})
            argument = {i: k for k, i in enumerate(needed)}
            local = [(x, y, argument[i], argument[j]) for x, y, i, j in chunk]
            future = client.submit(_analyse_chunk, local, each, rows_future, policy,
                                   *(scattered[i] for i in needed), pure=False)
            if bar is not None:
                future.add_done_callback(lambda f, n=len(chunk): f.status == "finished"
                                         and bar.update(n))
            return future

        def scatter(indices):
            # Keys of this call's own (hash=False): keys named after the data
            # would be those of an earlier call on the same panel, whose
            # futures, released as it ended, could have the cluster forget
            # the data this call sends.
            futures = client.scatter([series[i] for i in indices], hash=False, broadcast=True)
            rows_future = client.scatter(rows, hash=False, broadcast=True)
            return dict(zip(indices, futures)), rows_future

        scattered, rows_future = scatter(used)
        futures = [send(chunk, scattered, rows_future) for chunk in chunks]
        try:
            for k, chunk in enumerate(chunks):
                for attempt in range(1, _CLUSTER_ATTEMPTS + 1):
                    try:
                        items = futures[k].result()
                        break
                    except (Exception, asyncio.CancelledError) as failure:  # the cluster's
                        if attempt == _CLUSTER_ATTEMPTS or _client_closed(client):
                            raise
                        # Sent anew, with its series: the data it needed may
                        # have been lost with its worker.
                        needed = sorted({i for pair in chunk for i in pair[2:]})
                        fresh, fresh_rows = scatter(needed)
                        futures[k] = send(chunk, fresh, fresh_rows)
                        del failure
                for item in items:
                    if isinstance(item, PairError) and policy["errors"] != "collect":
                        raise item
                    done.append(item)
        except BaseException:
            try:
                client.cancel(futures)
            except Exception:
                pass
            raise
    except (PairError, KeyboardInterrupt):
        raise
    except (Exception, asyncio.CancelledError) as failure:
        missing = not_done()
        shown = ", ".join(f"({x!r}, {y!r})" for x, y in missing[:5])
        if len(missing) > 5:
            shown += f" and {len(missing) - 5} more"
        # Once the client is closed, what its futures raise says nothing more.
        reason = ("the client or its cluster was closed" if _client_closed(client)
                  else f"the cluster failed ({type(failure).__name__}: {failure})")
        raise ClusterError(f"{reason}; {len(missing)} of {len(pairs)} pairs not done: {shown}",
                           missing) from failure
    return done


def _client_closed(client):
    """True when the client (or its cluster) can take no more work."""
    return getattr(client, "status", "running") in ("closing", "closed")


def _active_client():
    """The Dask client in use in this process (dask.distributed's default
    client), or None; Dask is not imported for this."""
    if "distributed" not in sys.modules:
        return None
    try:
        from distributed import default_client

        return default_client()
    except (ValueError, ImportError):
        return None


def analyse_pairs(data: "pd.DataFrame | np.ndarray",
                  pairs: "Sequence[tuple[object, object]] | None" = None, *,
                  client: object = None, progress: Optional[bool] = None,
                  missing: Literal["raise", "drop", "split"] = "raise",
                  errors: Literal["raise", "collect"] = "raise",
                  **settings: object) -> PairResults:
    """Tests every pair of a panel of series, as vok.analyse tests one pair.

    data: a pandas DataFrame, one column per series (a DatetimeIndex gives
        the stamps), or a 2-D array whose columns are the series.
    pairs: a list of (x, y), each a column name or position; by default every
        pair i < j of the columns in order (the tests of (y, x) are those of
        (x, y) with the roles of x and y swapped).
    client: a dask.distributed.Client (None, the default: the client in use,
        as Dask collections take it, if there is one; False: the local
        cores): each series is sent to every worker
        once, tasks analyse chunks of pairs, and the results come back in
        pair order, the same as a local run. A task whose worker is lost is
        run again, its series sent anew; a closed client or cluster, or
        tasks that keep failing, raise ClusterError (naming the failure and
        the pairs not done). Without a client the pairs run on the local
        cores, up to `threads` pairs at a time.
    progress: a progress bar (tqdm) on a terminal or in a notebook: None
        shows it when the work lasts more than two seconds, True always,
        False never.
    missing: as for vok.analyse, pair by pair: "raise" (a NaN fails its
        pairs, naming the row and its index label), "drop" (the rows where
        either series of a pair is NaN are left out of that pair, as a panel
        whose series start at different times needs; a frame may span rows
        left out inside the series) or "split" (left out, and no frame spans
        them: frames restart after each gap). frames.rows_dropped counts
        the rows left out inside each frame; first_row and last_row are
        positions in the panel's rows.
    errors: "raise" (the first failed pair raises its PairError) or
        "collect" (failed pairs go to PairResults.errors, a DataFrame of x,
        y and message, and the other pairs are kept).
    settings: as for vok.analyse (frame_length, exponent, false_alarm,
        overlap, var_lag, resamples, bootstrap, trend, transform, stamps,
        threads, seed); trend defaults to "c", as there.
        threads: locally, the threads in all (None: every core); on a
        cluster, the threads of each analysis (None: one, as the workers
        run their tasks side by side).

    Returns a PairResults; each of its cautions is raised as its subclass of
    CalibrationWarning, naming its pair. A pair whose analysis fails raises PairError (a
    ValueError) naming the pair; a bad pair or data raise ValueError; a
    failure of the cluster raises ClusterError.
    """
    unknown = sorted(set(settings) - set(_SETTINGS))
    if unknown:
        raise TypeError(f"analyse_pairs() got an unexpected keyword argument {unknown[0]!r}")
    if "frame_length" not in settings:
        raise TypeError("analyse_pairs() missing required keyword argument 'frame_length'")
    labels, series, index = _columns(data)
    rows = _Rows(index, settings.pop("stamps", None))
    missing_setting(missing)
    if errors not in ("raise", "collect"):
        raise ValueError(f"errors = {errors!r}: must be 'raise' or 'collect'")
    policy = {"missing": missing, "errors": errors}
    resolved = _resolve_pairs(pairs, labels)
    if not resolved:
        return PairResults.from_results([], [], settings)
    if client is None:
        client = _active_client()
    bar = _progress_bar(progress, len(resolved))
    try:
        if client is None or client is False:
            results = _run_locally(resolved, settings, rows, series, bar, policy)
        else:
            results = _run_on_cluster(client, resolved, settings, rows, series, bar, policy)
    finally:
        if bar is not None:
            bar.close()
    done = [((x, y), r) for (x, y, _, _), r in zip(resolved, results)]
    failed = [(pair, r) for pair, r in done if isinstance(r, PairError)]
    kept = [(pair, r) for pair, r in done if not isinstance(r, PairError)]
    outcome = PairResults.from_results([p for p, _ in kept], [r for _, r in kept], settings)
    outcome.errors = pd.DataFrame([(x, y, str(e)) for (x, y), e in failed],
                                  columns=["x", "y", "message"])
    for x, y, kind, message in zip(*(outcome.cautions[c] for c in ("x", "y", "kind", "message"))):
        warn_cautions({"kind": [kind], "message": [message]}, stacklevel=2,
                      prefix=f"pair (x={x!r}, y={y!r}): ")
    return outcome
