#!/usr/bin/python3
"""Size and power of vok's seven tests, beside the tests a researcher would
use instead, by seeded simulation.

Each cell of the tables simulates many independent frames of one data
process (every frame with its own burn-in), joins them end to end into one
long pair of series and analyses it with vok.analyse, which computes the
frames side by side on the library's threads: a frame of the analysis is
one frame of the simulation. The share of frames a test finds significant
is its size (data without the dependence it looks for) or its power. The
frames are analysed in chunks, each chunk a series of its own with its own
bootstrap thresholds, so that a size averages over the thresholds' own
randomness as a researcher's series would meet it.

Beside vok's tests, on the same frames, after the same VAR fit (least
squares without a constant term) and with the same lag count L:
Ljung-Box on x (statsmodels' acorr_ljungbox), McLeod-Li on x (the same on
the squared residuals), BDS on x (statsmodels' bds, dimension 2) and, for
the cross processes, a cross test of squares (Haugh's statistic n sum of
r(k)^2 over k = -L..L of the squared residuals of x and y, chi-square with
2L + 1 degrees of freedom).

    validation/validate.py --build build                  # full: tables and figures
    validation/validate.py --build build --quick --check  # the quick checks (CI)

Full mode writes validation/results/ (CSV tables, tables.md, figures);
the quick mode checks bounds that a fault in the tests, the thresholds or
the bootstrap would break, and exits 1 when one fails. Everything is seeded
(--seed): the same command gives the same numbers on any machine and any
thread count.
"""

import argparse
import hashlib
import math
import multiprocessing
import os
import sys
import time
import warnings
from pathlib import Path

import numpy as np

ALPHA = 0.05
BURN = 300


def tests():
    """vok's seven tests, in the order of its tables' per-test columns (the
    library's own table; vok is importable once main has found the build)."""
    import vok

    return vok.COLUMN_ORDER


def cross_tests():
    """The tests of dependence between x and y (Cxy, Hxxy, Hyyx): those whose
    name, after the letter of its kind, names both series."""
    return tuple(t for t in tests() if set(t[1:]) == {"x", "y"})


# --------------------------------------------------------------------------
# Data processes: (frames, n) arrays of x and y, every frame independent.


def _recursion(shocks, step):
    """Runs x(t) = step(history, e(t)) over the columns, a frame per row."""
    frames, length = shocks.shape
    out = np.zeros_like(shocks)
    for t in range(length):
        out[:, t] = step(out, shocks, t)
    return out


def garch(rng, frames, length):
    """GARCH(1,1): e(t) = sqrt(h(t)) z(t), h(t) = 0.05 + 0.1 e(t-1)^2 + 0.85 h(t-1)."""
    z = rng.standard_normal((frames, length))
    out = np.empty_like(z)
    h = np.ones(frames)
    last = np.zeros(frames)
    for t in range(length):
        h = 0.05 + 0.1 * last * last + 0.85 * h
        last = np.sqrt(h) * z[:, t]
        out[:, t] = last
    return out


def _lag(a, k):
    """a shifted k places to the right (zeros first), frame by frame."""
    out = np.zeros_like(a)
    out[:, k:] = a[:, :-k]
    return out


def simulate(process, rng, frames, n):
    """x and y of `frames` independent frames of n values (after BURN values)."""
    length = n + BURN
    e = rng.standard_normal((frames, length))
    u = rng.standard_normal((frames, length))
    if process == "iid":
        x, y = e, u
    elif process == "t5":
        scale = math.sqrt(5.0 / 3.0)
        x = rng.standard_t(5, (frames, length)) / scale
        y = rng.standard_t(5, (frames, length)) / scale
    elif process == "garch":
        x, y = garch(rng, frames, length), garch(rng, frames, length)
    elif process == "ar1":
        x = _recursion(e, lambda o, s, t: 0.5 * o[:, t - 1] + s[:, t] if t else s[:, t])
        y = _recursion(u, lambda o, s, t: 0.5 * o[:, t - 1] + s[:, t] if t else s[:, t])
    elif process == "linear":  # y = 0.5 x(t-1) + e
        x, y = e, 0.5 * _lag(e, 1) + u
    elif process == "bilinear":  # x = 0.4 x(t-1) - 0.3 x(t-2) + 0.5 x(t-1) e(t-1) + e
        def step(o, s, t):
            if t < 2:
                return s[:, t]
            return (0.4 * o[:, t - 1] - 0.3 * o[:, t - 2] + 0.5 * o[:, t - 1] * s[:, t - 1]
                    + s[:, t])
        x, y = _recursion(e, step), u
    elif process == "nlma":  # x = e - 0.4 e(t-1) + 0.3 e(t-2) + 0.5 e e(t-2)
        x = e - 0.4 * _lag(e, 1) + 0.3 * _lag(e, 2) + 0.5 * e * _lag(e, 2)
        y = u
    elif process == "tar":  # 0.9 x(t-1) + e inside |x(t-1)| <= 1, -0.3 x(t-1) + e outside
        def step(o, s, t):
            if t < 1:
                return s[:, t]
            last = o[:, t - 1]
            return np.where(np.abs(last) <= 1.0, 0.9 * last, -0.3 * last) + s[:, t]
        x, y = _recursion(e, step), u
    elif process == "product":  # y = x(t-1) x(t-2) + e
        x, y = e, _lag(e, 1) * _lag(e, 2) + u
    elif process == "square":  # y = x(t-1)^2 - 1 + e
        x, y = e, _lag(e, 1) ** 2 - 1.0 + u
    elif process.startswith("level"):  # iid with a mean of `level` standard deviations
        level = float(process[len("level"):])
        x, y = e + level, u + level
    elif process.startswith("corr"):  # iid pairs correlated at lag 0 only
        r = float(process[len("corr"):])
        x, y = e, r * e + math.sqrt(1.0 - r * r) * u
    elif process == "stuck":
        # x stuck for the whole frame in two frames of three (at 0, or at its
        # value before the frame, as a series filled forward), iid in the third.
        stuck = np.where(np.arange(frames) % 3 == 0, 0.0, e[:, BURN - 1])[:, None]
        x = np.where((np.arange(frames) % 3 < 2)[:, None], stuck, e)
        y = u
    else:
        raise ValueError(process)
    return x[:, BURN:], y[:, BURN:]


PROCESSES = {
    "iid": "iid Gaussian",
    "t5": "Student-t(5)",
    "garch": "GARCH(1,1), x and y independent",
    "ar1": "AR(1) 0.5, x and y independent",
    "linear": "y = 0.5 x(t-1) + e",
    "bilinear": "bilinear x (Tsay)",
    "nlma": "nonlinear MA x (Tsay)",
    "tar": "symmetric threshold AR x",
    "product": "y = x(t-1) x(t-2) + e",
    "square": "y = x(t-1)^2 - 1 + e",
    "level0.3": "iid, level 0.3 sd",
    "level1": "iid, level 1 sd",
    "level10": "iid, level 10 sd",
    "corr0.5": "iid pairs, r = 0.5 at lag 0",
    "corr0.8": "iid pairs, r = 0.8 at lag 0",
    "stuck": "x stuck for the frame (at 0 or its last value); those frames",
}
LEVELS = ("level0.3", "level1", "level10")
CORRELATED = ("corr0.5", "corr0.8")
CROSS_PROCESSES = ("linear", "product", "square")
# The VAR order of the power cells: the order of the process's linear part
# where it has one the fit can take (Tsay's bilinear process is AR(2) besides
# its bilinear term), else 1.
POWER_VAR = {"bilinear": 2}


# --------------------------------------------------------------------------
# The peers, on each frame's VAR residuals.


def var_residuals(x, y, p, trend="n"):
    """Least-squares VAR(p) residuals, with a constant term for trend "c",
    frame by frame (rows p.. of each frame); the frames themselves for p = 0."""
    if p == 0:
        return x, y
    frames, n = x.shape
    lagged = np.concatenate([np.stack([x[:, p - h:n - h], y[:, p - h:n - h]], axis=2)
                             for h in range(1, p + 1)], axis=2)  # frames, n - p, 2p
    if trend == "c":
        lagged = np.concatenate([np.ones((frames, n - p, 1)), lagged], axis=2)
    gram = np.einsum("ftk,ftl->fkl", lagged, lagged)
    out = []
    for series in (x, y):
        target = series[:, p:]
        coef = np.linalg.solve(gram, np.einsum("ftk,ft->fk", lagged, target)[..., None])[..., 0]
        out.append(target - np.einsum("ftk,fk->ft", lagged, coef))
    return out[0], out[1]


def cross_squares_pvalues(rx, ry, lags):
    """Haugh's test on squared residuals: n sum over k = -L..L of r(k)^2."""
    from scipy.stats import chi2

    a = rx * rx
    b = ry * ry
    a = a - a.mean(axis=1, keepdims=True)
    b = b - b.mean(axis=1, keepdims=True)
    n = a.shape[1]
    scale = np.sqrt((a * a).sum(axis=1) * (b * b).sum(axis=1))
    q = np.zeros(a.shape[0])
    for k in range(-lags, lags + 1):
        if k >= 0:
            c = (a[:, :n - k] * b[:, k:]).sum(axis=1)
        else:
            c = (a[:, -k:] * b[:, :n + k]).sum(axis=1)
        q += (c / scale) ** 2
    return chi2.sf(n * q, 2 * lags + 1)


def peer_pvalues(process, x, y, var_lag, lags, with_bds, trend="n"):
    """p-values of the peers for each frame: a dict name -> array."""
    from statsmodels.stats.diagnostic import acorr_ljungbox
    from statsmodels.tsa.stattools import bds

    rx, ry = var_residuals(x, y, var_lag, trend)
    out = {"Ljung-Box x": [], "McLeod-Li x": []}
    if with_bds:
        out["BDS x"] = []
    for f in range(rx.shape[0]):
        r = rx[f]
        out["Ljung-Box x"].append(acorr_ljungbox(r, lags=[lags])["lb_pvalue"].iloc[0])
        out["McLeod-Li x"].append(acorr_ljungbox(r * r, lags=[lags])["lb_pvalue"].iloc[0])
        if with_bds:
            with warnings.catch_warnings():
                warnings.simplefilter("ignore")
                out["BDS x"].append(float(np.atleast_1d(bds(r, 2)[1])[0]))
    out = {k: np.asarray(v) for k, v in out.items()}
    if process in CROSS_PROCESSES or process in CORRELATED:
        out["squares cross"] = cross_squares_pvalues(rx, ry, lags)
    return out


# --------------------------------------------------------------------------
# One cell: the share of frames each test finds significant.


def cell_seed(master, *key):
    """A seed of its own for each cell, the same on every machine."""
    text = "/".join(str(k) for k in (master,) + key).encode()
    return int.from_bytes(hashlib.sha256(text).digest()[:8], "little")


def binomial_bounds(k, n, level=0.95):
    """Clopper-Pearson interval of a share k / n, in percent."""
    from scipy.stats import beta

    a = (1 - level) / 2
    lo = 0.0 if k == 0 else beta.ppf(a, k, n - k + 1)
    hi = 1.0 if k == n else beta.ppf(1 - a, k + 1, n - k)
    return 100 * lo, 100 * hi


def acceptance_range(n, level=0.95):
    """The central `level` of the share of n draws at ALPHA, in percent: where
    a test of exact size ALPHA lands in that share of runs."""
    from scipy.stats import binom

    a = (1 - level) / 2
    return 100 * binom.ppf(a, n, ALPHA) / n, 100 * binom.ppf(1 - a, n, ALPHA) / n


def run_cell(task):
    """One cell: simulate, analyse in chunks with each threshold kind, and
    the peers. Returns rows of (cell, test or peer, kind, rejections, frames)."""
    import vok

    c = dict(task)
    rng = np.random.default_rng(cell_seed(c["seed"], c["process"], c["n"], c["var_lag"]))
    frames, chunks = c["frames"], c["chunks"]
    per_chunk = frames // chunks
    x, y = simulate(c["process"], rng, frames, c["n"])
    lags = vok._vok.lags(c["n"], 0.4)
    # The frames a cell's shares count: with stuck data only the stuck frames.
    counted = (np.ptp(x, axis=1) == 0) if c["process"] == "stuck" else np.ones(frames, bool)
    frames = int(counted[:per_chunk * chunks].sum())
    counts = {}
    for chunk in range(chunks):
        part = slice(chunk * per_chunk, (chunk + 1) * per_chunk)
        cx = x[part].reshape(-1).astype(np.float32)
        cy = y[part].reshape(-1).astype(np.float32)
        for clip in c["clips"]:
            for kind in c["kinds"]:
                settings = dict(frame_length=c["n"], var_lag=c["var_lag"], threads=c["threads"],
                                transform="clip" if clip else None,
                                trend=c.get("trend", "n"))
                if kind != "nominal":
                    settings.update(resamples=c["resamples"], bootstrap=kind,
                                    seed=cell_seed(c["seed"], c["process"], c["n"], chunk, kind))
                with warnings.catch_warnings():
                    warnings.simplefilter("ignore")
                    result = vok.analyse(cx, cy, **settings)
                for test in tests():
                    key = (clip, kind, test)
                    significant = result.frames[f"significant_{test}"].to_numpy()
                    counts[key] = counts.get(key, 0) + int(significant[counted[part]].sum())
    rows = []
    base = {k: c[k] for k in ("process", "n", "var_lag")}
    base["trend"] = c.get("trend", "n")
    for (clip, kind, test), k in counts.items():
        rows.append(dict(base, clip=clip, kind=kind, test=test, rejected=k, frames=frames))
    if c["peers"]:
        peers = peer_pvalues(c["process"], x[:c["peer_frames"]], y[:c["peer_frames"]],
                             c["var_lag"], lags, c["bds"], base["trend"])
        for name, p in peers.items():
            rows.append(dict(base, clip=False, kind="peer", test=name,
                             rejected=int((p < ALPHA).sum()), frames=len(p)))
    return rows


def threshold_spread(task):
    """The spread of one bootstrap threshold over seeds, at B resamples."""
    import vok

    c = dict(task)
    rng = np.random.default_rng(cell_seed(c["seed"], "spread"))
    x, y = simulate("iid", rng, c["frames"], c["n"])
    x = x.reshape(-1).astype(np.float32)
    y = y.reshape(-1).astype(np.float32)
    rows = []
    for kind in ("data", "frames"):
        values = {t: [] for t in ("Hxxy", "Cx")}
        for s in range(c["seeds"]):
            r = vok.analyse(x, y, frame_length=c["n"], var_lag=1, resamples=c["resamples"],
                            bootstrap=kind, seed=cell_seed(c["seed"], "spread", s),
                            threads=c["threads"])
            for t in values:
                values[t].append(float(r.thresholds[t]))
        for t, v in values.items():
            v = np.asarray(v)
            rows.append(dict(kind=kind, resamples=c["resamples"], test=t, mean=v.mean(),
                             sd=v.std(ddof=1), low=np.quantile(v, 0.025),
                             high=np.quantile(v, 0.975)))
    return rows


# --------------------------------------------------------------------------
# The cautions: how often each fires on pairs of series without its cause
# (at most 1% of pairs) and with it (at least 90% at frame 250).

#: Frames of one pair of series, as a researcher's series would hold them.
CAUTION_FRAMES = 20
#: Pairs without a caution's cause: process, VAR order, extra settings.
CLEAN_PAIRS = [("iid", 0, {}), ("iid", 1, {}), ("t5", 1, {}), ("ar1", 1, {})]
#: The process each caution names: caution kind -> (process, VAR order,
#: extra settings, a frame of x held constant, the cautions that must stay
#: quiet on it: causes it could be taken for). A level left in the residuals
#: also correlates them and may call for other cautions besides its own.
NAMED_PAIRS = {
    "level": ("level1", 1, {"trend": "n"}, False, ()),
    "changing_variance": ("garch", 1, {}, False, ("autocorrelation", "lag0_correlation")),
    "autocorrelation": ("ar1", 0, {}, False, ("changing_variance", "lag0_correlation")),
    "lag0_correlation": ("corr0.5", 1, {}, False, ("changing_variance", "autocorrelation")),
    "constant_frames": ("iid", 0, {}, True, ("changing_variance", "lag0_correlation")),
}


def caution_rates(task):
    """Pairs of CAUTION_FRAMES frames of one process: the share of pairs on
    which each caution fires. Returns rows of (process, n, var_lag,
    caution, fired, pairs)."""
    from vok._analysis import analyse_quietly

    c = dict(task)
    rng = np.random.default_rng(cell_seed(c["seed"], "cautions", c["process"], c["n"],
                                          c["var_lag"], c["stuck"]))
    x, y = simulate(c["process"], rng, c["pairs"] * CAUTION_FRAMES, c["n"])
    if c["stuck"]:  # the third frame of each pair's x stuck at its first value
        x[2::CAUTION_FRAMES] = x[2::CAUTION_FRAMES, :1]
    fired = {}
    for pair in range(c["pairs"]):
        part = slice(pair * CAUTION_FRAMES, (pair + 1) * CAUTION_FRAMES)
        result = analyse_quietly(x[part].reshape(-1).astype(np.float32),
                                 y[part].reshape(-1).astype(np.float32), frame_length=c["n"],
                                 var_lag=c["var_lag"], threads=c["threads"], **c["extra"])
        for kind in set(result.cautions["kind"]):
            fired[kind] = fired.get(kind, 0) + 1
    kinds = sorted(set(fired) | set(NAMED_PAIRS))
    return [dict(process=c["process"], n=c["n"], var_lag=c["var_lag"], stuck=c["stuck"],
                 caution=k, fired=fired.get(k, 0), pairs=c["pairs"]) for k in kinds]


def caution_tasks(seed, pairs, threads):
    """The clean cells (frames 100 and 250) and each caution's own cell (250)."""
    tasks = [dict(process=p, n=n, var_lag=v, extra=e, stuck=False, clean=True)
             for p, v, e in CLEAN_PAIRS for n in (100, 250)]
    tasks += [dict(process=p, n=250, var_lag=v, extra=e, stuck=stuck, clean=False, named=kind,
                   quiet=quiet)
              for kind, (p, v, e, stuck, quiet) in NAMED_PAIRS.items()]
    return [dict(t, seed=seed, pairs=pairs, threads=threads) for t in tasks]


def check_cautions(tasks, results, largest=1.0, smallest=90.0):
    """Prints each cell's rates; returns the number of rates out of bounds:
    a caution that fires on more than `largest` percent of pairs without its
    cause, or on fewer than `smallest` percent of pairs with it."""
    failed = 0
    for task, rows in zip(tasks, results):
        stuck = ", a frame of x stuck" if task["stuck"] else ""
        print(f"cautions on {PROCESSES.get(task['process'], task['process'])}, frame "
              f"{task['n']}, VAR({task['var_lag']}){stuck}")
        for row in rows:
            share = 100.0 * row["fired"] / row["pairs"]
            # A cell with one cause: its caution fires, and none it could be
            # taken for.
            if task["clean"] or row["caution"] in task["quiet"]:
                ok = share <= largest
                bound = f"at most {largest:g}%"
            elif row["caution"] == task["named"]:
                ok = share >= smallest
                bound = f"at least {smallest:g}%"
            else:
                continue
            failed += not ok
            print(f"  {row['caution']:<20} {share:5.1f}% of {row['pairs']} pairs ({bound}) "
                  f"{'ok' if ok else 'FAILED'}")
    return failed


# --------------------------------------------------------------------------
# The plan of a full run, the quick checks.


def full_plan(seed, frames, resamples, threads):
    cells = []
    kinds = ("nominal", "data", "frames")

    def add(process, n, var_lag, clips=(False,), peers=True, bds=True, trend="n"):
        cells.append(dict(process=process, n=n, var_lag=var_lag, frames=frames, chunks=10,
                          kinds=kinds, clips=clips, resamples=resamples, seed=seed,
                          threads=threads, peers=peers, bds=bds, peer_frames=frames,
                          trend=trend))

    for n in (50, 100, 250, 500):
        for p in (0, 1):
            add("iid", n, p)
    for n in (100, 250, 500):
        add("t5", n, 1, clips=(False, True))
        add("garch", n, 1, clips=(False, True))
    add("t5", 250, 0)
    add("garch", 250, 0)
    for n in (100, 250):
        add("ar1", n, 1)
        add("linear", n, 1)
    for n in (100, 250, 500):
        for process in ("bilinear", "nlma", "tar", "product", "square"):
            add(process, n, POWER_VAR.get(process, 1), clips=(False, True))
    cells.extend(robustness_plan(seed, frames, resamples, threads))
    return cells


def robustness_plan(seed, frames, resamples, threads):
    """The cells of data researchers bring: a level under both trends,
    pairs correlated at lag 0, stuck frames."""
    cells = []

    def add(process, n, trend, peers):
        cells.append(dict(process=process, n=n, var_lag=1, frames=frames, chunks=10,
                          kinds=("nominal", "data", "frames"), clips=(False,),
                          resamples=resamples, seed=seed, threads=threads, peers=peers,
                          bds=False, peer_frames=frames, trend=trend))

    for n in (100, 250):
        for process in LEVELS:
            for trend in ("n", "c"):
                add(process, n, trend, True)
        for process in CORRELATED:
            add(process, n, "c", True)
        add("stuck", n, "c", False)
    return cells


# Quick mode: cells checked against bounds (frames, chunks, resamples chosen
# so that each bound holds with the seed and a real fault breaks it).
def quick_cells():
    """The quick checks: name, cell, tests, kind (None: every kind of the cell), clip,
    [low, high] in percent."""
    return [
        ("iid, nominal thresholds, frame 250, no VAR",
         dict(process="iid", n=250, var_lag=0, frames=10000, chunks=1, kinds=("nominal",),
              clips=(False,), resamples=0), tests(), "nominal", False, (2.5, 8.5)),
        ("iid, frames bootstrap, frame 100, VAR(1)",
         dict(process="iid", n=100, var_lag=1, frames=10000, chunks=20, kinds=("frames",),
              clips=(False,), resamples=1000), tests(), "frames", False, (3.0, 7.0)),
        ("AR(1), frames bootstrap, frame 100, VAR(1)",
         dict(process="ar1", n=100, var_lag=1, frames=10000, chunks=20, kinds=("frames",),
              clips=(False,), resamples=1000), tests(), "frames", False, (3.0, 7.0)),
        ("Student-t(5), clip, frames bootstrap, frame 250, VAR(1)",
         dict(process="t5", n=250, var_lag=1, frames=10000, chunks=20, kinds=("frames",),
              clips=(True,), resamples=1000), cross_tests(), "frames", True, (3.0, 7.0)),
        ("y = x(t-1) x(t-2) + e, nominal, frame 250, VAR(1): power of Hxxy",
         dict(process="product", n=250, var_lag=1, frames=400, chunks=1, kinds=("nominal",),
              clips=(False,), resamples=0), ("Hxxy",), "nominal", False, (70.0, 100.0)),
        ("iid pairs r = 0.8 at lag 0, frames bootstrap, frame 100, VAR(1): cross tests",
         dict(process="corr0.8", n=100, var_lag=1, frames=6000, chunks=12, kinds=("frames",),
              clips=(False,), resamples=1000, trend="c"), cross_tests(), "frames", False,
         (3.0, 7.0)),
        ("iid, level 1 sd, trend c, frames bootstrap, frame 100, VAR(1)",
         dict(process="level1", n=100, var_lag=1, frames=6000, chunks=12, kinds=("frames",),
              clips=(False,), resamples=1000, trend="c"), tests(), "frames", False, (3.0, 7.0)),
        ("x stuck for the frame, nominal and frames bootstrap, frame 100, VAR(1): never "
         "significant",
         dict(process="stuck", n=100, var_lag=1, frames=600, chunks=3,
              kinds=("nominal", "frames"), clips=(False,), resamples=100, trend="n"), tests(),
         None, False, (0.0, 0.0)),
    ]


def quick(seed, threads):
    failed = 0
    for name, cell, checked, kind, clip, (low, high) in quick_cells():
        task = dict(cell, seed=seed, threads=threads, peers=False, bds=False)
        rows = run_cell(task)
        print(name)
        for row in rows:
            if row["test"] not in checked or row["clip"] != clip:
                continue
            if kind is not None and row["kind"] != kind:
                continue
            share = 100.0 * row["rejected"] / row["frames"]
            ok = low <= share <= high
            failed += not ok
            print(f"  {row['test']:<5} {row['kind']:<7} {share:5.1f}% of {row['frames']} frames "
                  f"(bounds {low:g}-{high:g}%) {'ok' if ok else 'FAILED'}")
    tasks = caution_tasks(seed, QUICK_CAUTION_PAIRS, threads)
    failed += check_cautions(tasks, [caution_rates(t) for t in tasks])
    return failed


# Pairs of each caution cell in the quick checks: at most 1% is at most one.
QUICK_CAUTION_PAIRS = 100


# --------------------------------------------------------------------------
# Tables and figures.


def percent(k, n):
    return 100.0 * k / n


def write_tables(rows, spread, out, header):
    import csv

    out.mkdir(parents=True, exist_ok=True)
    fields = ["process", "n", "var_lag", "trend", "clip", "kind", "test", "rejected", "frames",
              "percent", "low", "high"]
    for row in rows:
        row["percent"] = percent(row["rejected"], row["frames"])
        row["low"], row["high"] = binomial_bounds(row["rejected"], row["frames"])
    with open(out / "cells.csv", "w", newline="") as f:
        w = csv.DictWriter(f, fieldnames=fields)
        w.writeheader()
        for row in rows:
            w.writerow({k: (f"{row[k]:.2f}" if isinstance(row[k], float) else row[k])
                        for k in fields})
    with open(out / "spread.csv", "w", newline="") as f:
        w = csv.DictWriter(f, fieldnames=list(spread[0]))
        w.writeheader()
        for row in spread:
            w.writerow({k: (f"{v:.4f}" if isinstance(v, float) else v) for k, v in row.items()})

    index = {(r["process"], r["n"], r["var_lag"], r["clip"], r["kind"], r["test"]): r
             for r in rows if r["trend"] == "n"}
    peers_of = sorted({r["test"] for r in rows if r["kind"] == "peer"},
                      key=["Ljung-Box x", "McLeod-Li x", "BDS x", "squares cross"].index)

    def value(process, n, p, clip, kind, test):
        r = index.get((process, n, p, clip, kind, test))
        return "" if r is None else f"{r['percent']:.1f}"

    lines = list(header)

    def table(title, keys, kinds, note=""):
        lines.append(f"### {title}")
        lines.append("")
        if note:
            lines.append(note)
            lines.append("")
        head = ["data", "VAR", "frame", "clip", "thresholds"] + list(tests()) + peers_of
        lines.append("| " + " | ".join(head) + " |")
        lines.append("|" + "---|" * len(head))
        for process, n, p, clip in keys:
            for kind in kinds:
                if (process, n, p, clip, kind, "Hxxy") not in index:
                    continue
                cells = [PROCESSES[process], str(p), str(n), "on" if clip else "",
                         kind] + [value(process, n, p, clip, kind, t) for t in tests()]
                cells += [value(process, n, p, False, "peer", t) if kind == "nominal" else ""
                          for t in peers_of]
                lines.append("| " + " | ".join(cells) + " |")
        lines.append("")

    lines.append("### At a glance: size at frame 250, VAR(1), by thresholds")
    lines.append("")
    lines.append("Percent of frames rejected with the nominal level / the data bootstrap / "
                 "the frames bootstrap.")
    lines.append("")
    lines.append("| data | clip | " + " | ".join(tests()) + " |")
    lines.append("|---|---|" + "---|" * len(tests()))
    for process in ("iid", "t5", "garch", "ar1", "linear"):
        for clip in (False, True):
            if (process, 250, 1, clip, "nominal", "Cx") not in index:
                continue
            cells = [" / ".join(value(process, 250, 1, clip, k, t)
                                for k in ("nominal", "data", "frames")) for t in tests()]
            lines.append(f"| {PROCESSES[process]} | {'on' if clip else ''} | " +
                         " | ".join(cells) + " |")
    lines.append("")

    kinds = ("nominal", "data", "frames")
    frames = rows[0]["frames"]
    lo, hi = acceptance_range(frames)
    note = (f"Percent of {frames} frames rejected at alpha = 0.05. A test of exact size 5% "
            f"shows between {lo:.1f}% and {hi:.1f}% in 95% of such runs (the central 95% of "
            f"the binomial distribution of {frames} draws at 5%: an acceptance range, not "
            "a confidence interval); cells.csv has each cell's own 95% Clopper-Pearson "
            "interval of its share. Peers: nominal 5% of their own p-values, on the same "
            "frames' VAR residuals, with the same L.")
    size_keys = []
    for process in ("iid", "t5", "garch", "ar1", "linear"):
        for n in (50, 100, 250, 500):
            for p in (0, 1):
                for clip in (False, True):
                    size_keys.append((process, n, p, clip))
    table("Size: data without the dependence the tests look for", size_keys, kinds, note)
    power_keys = [(process, n, POWER_VAR.get(process, 1), clip) for process in ("bilinear", "nlma", "tar", "product",
                                                        "square")
                  for n in (100, 250, 500) for clip in (False, True)]
    table("Power: VAR residuals of nonlinear processes", power_keys, kinds,
          "Percent of frames rejected at alpha = 0.05 (the same frames for every row of a "
          "process and frame length).")

    lines.extend(robustness_table(rows))

    lines.append("### The spread of a bootstrap threshold against the resample count")
    lines.append("")
    lines.append("iid Gaussian data, 2000 rows, frame 100, VAR(1); each threshold over "
                 f"{spread_seeds} seeds of the resampling: mean, standard deviation and the "
                 "central 95% range.")
    lines.append("")
    lines.append("| bootstrap | resamples | test | mean | sd | 95% range |")
    lines.append("|---|---|---|---|---|---|")
    for r in spread:
        lines.append(f"| {r['kind']} | {r['resamples']} | {r['test']} | {r['mean']:.4f} | "
                     f"{r['sd']:.4f} | {r['low']:.4f} - {r['high']:.4f} |")
    lines.append("")
    (out / "tables.md").write_text("\n".join(lines))


def write_caution_table(rows, out):
    """cautions.csv and a table at the end of tables.md: the share of pairs
    each caution fired on, by cell."""
    import csv

    fields = ["process", "n", "var_lag", "stuck", "caution", "fired", "pairs"]
    with open(out / "cautions.csv", "w", newline="") as f:
        w = csv.DictWriter(f, fieldnames=fields)
        w.writeheader()
        w.writerows(rows)
    kinds = sorted({r["caution"] for r in rows})
    cells = {}
    for r in rows:
        cells.setdefault((r["process"], r["n"], r["var_lag"], r["stuck"]), {})[r["caution"]] = r
    lines = ["", "### Cautions: percent of pairs they fire on", "",
             f"Pairs of {CAUTION_FRAMES} frames, {rows[0]['pairs']} pairs a cell, nominal "
             "thresholds. Each caution must fire on at most 1% of pairs without its cause and "
             "on at least 90% of pairs of its own process at frame 250.", "",
             "| data | frame | VAR | " + " | ".join(kinds) + " |",
             "|---|---|---|" + "---|" * len(kinds)]
    for (process, n, p, stuck), by_kind in cells.items():
        name = PROCESSES.get(process, process) + (", a frame of x constant" if stuck else "")
        lines.append(f"| {name} | {n} | {p} | " + " | ".join(
            f"{100 * by_kind[k]['fired'] / by_kind[k]['pairs']:.1f}" if k in by_kind else ""
            for k in kinds) + " |")
    with open(out / "tables.md", "a") as f:
        f.write("\n".join(lines) + "\n")


spread_seeds = 40


def robustness_table(rows):
    """The lines of the table of levels, lag-0 correlation and stuck frames."""
    chosen = [r for r in rows if r["process"] in LEVELS + CORRELATED + ("stuck",)]
    if not chosen:
        return []
    index = {(r["process"], r["n"], r["trend"], r["kind"], r["test"]): r for r in chosen}
    peers = [p for p in ("Ljung-Box x", "McLeod-Li x", "squares cross")
             if any(r["test"] == p for r in chosen)]
    lines = ["### Data researchers bring: a level, lag-0 correlation, stuck frames", "",
             "Percent of frames rejected at alpha = 0.05, VAR(1), by the VAR fit's trend "
             "(n: no constant, c: a constant) and the thresholds. Peers: on least-squares "
             "VAR(1) residuals with the same trend. Stuck: only the frames whose x is "
             "stuck are counted (a third of the frames are not stuck).", ""]
    head = ["data", "trend", "frame", "thresholds"] + list(tests()) + peers
    lines.append("| " + " | ".join(head) + " |")
    lines.append("|" + "---|" * len(head))

    def value(key):
        r = index.get(key)
        return "" if r is None else f"{percent(r['rejected'], r['frames']):.1f}"

    for process in LEVELS + CORRELATED + ("stuck",):
        for n in (100, 250):
            for trend in ("n", "c"):
                for kind in ("nominal", "data", "frames"):
                    if (process, n, trend, kind, "Hxxy") not in index:
                        continue
                    cells = [PROCESSES[process], trend, str(n), kind]
                    cells += [value((process, n, trend, kind, t)) for t in tests()]
                    cells += [value((process, n, trend, "peer", t)) if kind == "nominal" else ""
                              for t in peers]
                    lines.append("| " + " | ".join(cells) + " |")
    lines.append("")
    return lines


def write_figures(rows, out):
    import matplotlib

    matplotlib.use("Agg")
    import matplotlib.pyplot as plt

    index = {(r["process"], r["n"], r["var_lag"], r["clip"], r["kind"], r["test"]): r
             for r in rows}
    ns = (50, 100, 250, 500)
    fig, axes = plt.subplots(2, 3, figsize=(13, 7), sharey=True)
    for row_axes, p in zip(axes, (0, 1)):
        for ax, kind in zip(row_axes, ("nominal", "data", "frames")):
            for test in tests():
                pts = [(n, index[("iid", n, p, False, kind, test)]) for n in ns
                       if ("iid", n, p, False, kind, test) in index]
                if not pts:
                    continue
                ax.errorbar([n for n, _ in pts], [r["percent"] for _, r in pts],
                            yerr=[[r["percent"] - r["low"] for _, r in pts],
                                  [r["high"] - r["percent"] for _, r in pts]],
                            marker="o", capsize=2, label=test)
            ax.axhline(5.0, color="grey", linestyle="--", linewidth=1)
            ax.set_xscale("log")
            ax.set_xticks(ns, [str(n) for n in ns])
            ax.set_title(f"iid Gaussian, VAR({p}), {kind} thresholds")
            ax.set_xlabel("frame length")
        row_axes[0].set_ylabel("% of frames rejected (95% bounds)")
    axes[0][0].legend(ncol=2, fontsize=8)
    fig.tight_layout()
    fig.savefig(out / "size_iid.png", dpi=90)
    plt.close(fig)

    fig, axes = plt.subplots(1, 2, figsize=(12, 4.5), sharey=True)
    for ax, process in zip(axes, ("t5", "garch")):
        labels, values = [], []
        for clip in (False, True):
            for kind in ("nominal", "data", "frames"):
                labels.append(f"{'clip ' if clip else ''}{kind}")
                values.append([index.get((process, 250, 1, clip, kind, t), {"percent": np.nan})
                               ["percent"] for t in tests()])
        values = np.array(values)
        width = 0.8 / len(labels)
        for i, label in enumerate(labels):
            ax.bar(np.arange(len(tests())) + i * width, values[i], width, label=label)
        ax.axhline(5.0, color="grey", linestyle="--", linewidth=1)
        ax.set_xticks(np.arange(len(tests())) + 0.4 - width / 2, tests())
        ax.set_title(f"{PROCESSES[process]}, frame 250, VAR(1)")
        ax.set_yscale("log")
    axes[0].set_ylabel("% of frames rejected")
    axes[1].legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(out / "size_tails_and_volatility.png", dpi=90)
    plt.close(fig)

    peers = ("Ljung-Box x", "McLeod-Li x", "BDS x", "squares cross")
    fig, axes = plt.subplots(1, 5, figsize=(17, 4), sharey=True)
    for ax, process in zip(axes, ("bilinear", "nlma", "tar", "product", "square")):
        names = list(tests()) + list(peers)
        for n in (100, 250, 500):
            p = POWER_VAR.get(process, 1)
            vals = [index.get((process, n, p, False, "nominal" if t in tests() else "peer", t),
                              {"percent": np.nan})["percent"] for t in names]
            ax.plot(range(len(names)), vals, marker="o", label=f"frame {n}")
        ax.set_xticks(range(len(names)), [t.replace(" x", "").replace(" cross", " xy")
                                          for t in names], rotation=60, fontsize=8)
        ax.set_title(f"{PROCESSES[process]}, VAR({POWER_VAR.get(process, 1)})", fontsize=9)
        ax.axhline(5.0, color="grey", linestyle="--", linewidth=1)
    axes[0].set_ylabel("% of frames rejected (nominal 5%)")
    axes[0].legend(fontsize=8)
    fig.tight_layout()
    fig.savefig(out / "power.png", dpi=90)
    plt.close(fig)


# --------------------------------------------------------------------------


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", default="build", help="the build directory (its python/)")
    parser.add_argument("--quick", action="store_true", help="the quick checks only")
    parser.add_argument("--check", action="store_true", help="exit 1 when a quick check fails")
    parser.add_argument("--seed", type=int, default=2026)
    parser.add_argument("--frames", type=int, default=2000, help="frames per cell (full mode)")
    parser.add_argument("--resamples", type=int, default=500, help="bootstrap resamples (full)")
    parser.add_argument("--caution-pairs", type=int, default=500,
                        help=f"pairs of {CAUTION_FRAMES} frames per caution cell (full mode)")
    parser.add_argument("--processes", type=int, default=2,
                        help="cells computed side by side (full mode; each on one thread)")
    parser.add_argument("--out", default=str(Path(__file__).resolve().parent / "results"))
    parser.add_argument("--part", choices=("all", "robustness"), default="all",
                        help="robustness: only the cells of levels, lag-0 correlation and "
                             "stuck frames, into robustness.md")
    args = parser.parse_args()
    sys.path.insert(0, str(Path(args.build).resolve() / "python"))
    import vok  # noqa: F401  (fails early when the package is not built)

    started = time.time()
    if args.quick:
        failed = quick(args.seed, threads=None)
        print(f"quick checks: {failed} failed, {time.time() - started:.0f} s")
        return 1 if (failed and args.check) else 0

    if args.part == "robustness":
        cells = robustness_plan(args.seed, args.frames, args.resamples, threads=1)
        with multiprocessing.get_context("fork").Pool(args.processes) as pool:
            rows = [r for part in pool.imap_unordered(run_cell, cells) for r in part]
        out = Path(args.out)
        out.mkdir(parents=True, exist_ok=True)
        command = (f"validation/validate.py --build {args.build} --part robustness --seed "
                   f"{args.seed} --frames {args.frames} --resamples {args.resamples}")
        header = [f"Generated by `{command}` in {time.time() - started:.0f} s.", ""]
        (out / "robustness.md").write_text("\n".join(header + robustness_table(rows)))
        print(f"written to {out / 'robustness.md'} in {time.time() - started:.0f} s")
        return 0
    cells = full_plan(args.seed, args.frames, args.resamples, threads=1)
    spread_tasks = [dict(seed=args.seed, frames=20, n=100, resamples=b, seeds=spread_seeds,
                         threads=1) for b in (100, 200, 500, 1000, 2000)]
    # The costly cells first, so that the two processes finish together.
    order = sorted(range(len(cells)), key=lambda i: -cells[i]["n"] ** 2)
    rows = []
    with multiprocessing.get_context("fork").Pool(args.processes) as pool:
        for done, part in enumerate(pool.imap_unordered(run_cell, [cells[i] for i in order]), 1):
            rows.extend(part)
            print(f"\r{done}/{len(cells)} cells, {time.time() - started:.0f} s", end="",
                  flush=True)
        spread = [r for part in pool.map(threshold_spread, spread_tasks) for r in part]
        caution_cells = caution_tasks(args.seed, args.caution_pairs, threads=1)
        caution_rows = pool.map(caution_rates, caution_cells)
    print()
    cautions_failed = check_cautions(caution_cells, caution_rows)
    rows.sort(key=lambda r: (r["process"], r["n"], r["var_lag"], r["clip"], r["kind"], r["test"]))
    out = Path(args.out)
    command = (f"validation/validate.py --build {args.build} --seed {args.seed} --frames "
               f"{args.frames} --resamples {args.resamples}")
    header = [f"Generated by `{command}` in {time.time() - started:.0f} s "
              f"({os.cpu_count()} cores, {args.processes} processes).", ""]
    write_tables(rows, spread, out, header)
    write_caution_table([r for part in caution_rows for r in part], out)
    write_figures(rows, out)
    print(f"written to {out} in {time.time() - started:.0f} s")
    return 1 if (cautions_failed and args.check) else 0


if __name__ == "__main__":
    sys.exit(main())
