"""vok.run: the console program's execution of a directory, run as a process.

The console program (``vok``) runs in the directory with ``--results``: each
run that goes through its frames leaves its results beside its report
(NAME.json, every number exact) and their list (Vok-results.json); the
Results are built from them, and the files removed, so that the directory
holds what the console program alone leaves there.
"""

from __future__ import annotations

import json
import os
import shutil
import signal
import subprocess
import sys
from typing import Literal, Optional
import warnings

import numpy as np

from ._analysis import bootstrap_setting, seed_setting, threads_setting, trend_setting
from ._result import TESTS, Result

RESULTS_INDEX = "Vok-results.json"

# The exit statuses of the console program (and 128 + n after signal n).
_COMPLETED, _STOPPED, _RUN_ENDED = 0, 1, 2
# How long a child told to end (Ctrl-C) may take to remove its temporary files.
_TERMINATE_WAIT = 10.0


class RunError(RuntimeError):
    """The execution stopped (exit status 1 of the console program), was
    ended by a signal, or left a run's results file missing.

    The message holds the console program's message lines (why it stopped).
    Attributes: status (the console program's exit status; minus the signal
    number when a signal ended it), messages (the console's lines: every
    diagnostic, as Vok-error.out holds them when it could be written) and
    results (the runs completed before the stop).
    """

    def __init__(self, message, status, messages, results):
        super().__init__(message)
        self.status = status
        self.messages = messages
        self.results = results


def _message_lines(console):
    """The console's lines without the closing stamps' elapsed times."""
    return [line.strip() for line in console.splitlines()
            if line.strip() and not line.lstrip().startswith("Elapsed time =")]


def find_program(program=None):
    """The console program vok.run starts: `program` when given, else the
    VOK_PROGRAM environment variable, else the program installed with the
    package, else `vok` on PATH. FileNotFoundError names what was tried."""
    tried = []
    if program is not None:
        candidates = [("program", os.fspath(program))]
    else:
        candidates = []
        if os.environ.get("VOK_PROGRAM"):
            candidates.append(("VOK_PROGRAM", os.environ["VOK_PROGRAM"]))
        try:
            from ._program import PROGRAM
        except ImportError:
            PROGRAM = None
        if PROGRAM:
            candidates.append(("installed with the package", PROGRAM))
        candidates.append(("PATH", shutil.which("vok")))
    for origin, path in candidates:
        if path and os.path.isfile(path) and os.access(path, os.X_OK):
            # It runs in the run's directory: a relative path is taken here.
            return os.path.abspath(path)
        tried.append(f"{origin}: {path}" if path else f"{origin}: none")
    raise FileNotFoundError("no vok console program found (" + "; ".join(tried) +
                            "): pass program=, or set VOK_PROGRAM")


def _execute(command, directory):
    """Runs the console program; (status, console text, standard error text).
    An exception meanwhile (KeyboardInterrupt) ends the child first: told to
    end, it removes its temporary files, and is killed if it does not."""
    child = subprocess.Popen(command, cwd=directory, stdin=subprocess.DEVNULL,
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    try:
        out, err = child.communicate()
    except BaseException:
        child.terminate()
        try:
            child.communicate(timeout=_TERMINATE_WAIT)
        except subprocess.TimeoutExpired:
            child.kill()
            child.communicate()
        raise
    return child.returncode, out.decode("latin-1"), err.decode("latin-1")


def _per_test(frames, field, dtype):
    table = np.array([[frame[field][test] for test in TESTS] for frame in frames], dtype=dtype)
    return table.reshape(len(frames), len(TESTS))


def _per_frame(frames, field, dtype):
    return np.array([frame[field] for frame in frames], dtype=dtype)


def result_arrays(doc):
    """A results file's contents as the dict of numpy arrays that
    vok._vok.analyse returns (per-test columns in TESTS order; null is NaN)."""
    frames = doc["frames"]
    lags = int(doc["lags"])
    width = 2 * lags + 1
    xy = np.zeros((len(frames), width), dtype=np.float32)
    for k, frame in enumerate(frames):
        values = np.array(frame["cross_correlations"][:width], dtype=np.float32)
        xy[k, :len(values)] = values
    stats = ("mean", "sd", "skewness", "kurtosis", "c6", "max", "min")

    def variance(check):
        return {"frames": check["frames"], "significant": check["significant"],
                "binomial_p": check["binomial_pvalue"], "strong": check["strong"]}

    return {
        "rows": doc["rows"], "lags": lags, "covered": doc["covered"],
        "bootstrapped": doc["bootstrapped"],
        "x_stats": {s: doc["x_stats"][s] for s in stats},
        "y_stats": {s: doc["y_stats"][s] for s in stats},
        "thresholds": np.array([doc["thresholds"][t] for t in TESTS], dtype=np.float32),
        "counts": np.array([doc["counts"][t] for t in TESTS], dtype=np.int32),
        "number": _per_frame(frames, "number", np.int32),
        "first_row": _per_frame(frames, "first_row", np.int32),
        "last_row": _per_frame(frames, "last_row", np.int32),
        "sd_x": _per_frame(frames, "sd_x", np.float32),
        "sd_y": _per_frame(frames, "sd_y", np.float32),
        "degenerate": _per_frame(frames, "degenerate", bool),
        "first_stamp": [frame["first_stamp"] for frame in frames],
        "last_stamp": [frame["last_stamp"] for frame in frames],
        "statistic": _per_test(frames, "statistic", np.float32),
        "cdf": _per_test(frames, "cdf", np.float32),
        "df": _per_test(frames, "df", np.int32),
        "pvalue": _per_test(frames, "pvalue", np.float64),
        "qvalue": _per_test(frames, "qvalue", np.float64),
        "significant": _per_test(frames, "significant", bool),
        "variance_pvalue_x": _per_frame(frames, "variance_pvalue_x", np.float64),
        "variance_pvalue_y": _per_frame(frames, "variance_pvalue_y", np.float64),
        "x_variance": variance(doc["x_variance"]),
        "y_variance": variance(doc["y_variance"]),
        "cross_correlations": xy,
        "diagnostics": [(m["frame"], m["kind"], m["text"]) for m in doc["messages"]],
        "cautions": [dict(c, binomial_p=c["binomial_pvalue"]) for c in doc.get("cautions", ())],
    }


_SETTINGS = ("frame_length", "exponent", "false_alarm", "overlap", "var_lag", "resamples",
             "transform", "bootstrap", "trend")


def _read_results(directory, threads, seed):
    """The Results of the files Vok-results.json lists, in run order, and the
    names of those missing; the files read are removed (the list last)."""
    index = os.path.join(directory, RESULTS_INDEX)
    try:
        with open(index, encoding="utf-8") as f:
            names = json.load(f)["results"]
    except FileNotFoundError:
        return None, []
    results, missing = {}, []
    for name in names:
        path = os.path.join(directory, name)
        try:
            with open(path, encoding="utf-8") as f:
                doc = json.load(f)
        except FileNotFoundError:
            missing.append(name)
            continue
        settings = {key: doc["settings"][key] for key in _SETTINGS}
        settings["threads"] = threads
        settings["seed"] = seed
        report = doc["report"]
        results[report[:-4] if report.endswith(".out") else report] = Result.from_arrays(
            result_arrays(doc), settings)
        os.remove(path)
    os.remove(index)
    return results, missing


def _signal_name(number):
    try:
        return signal.Signals(number).name
    except ValueError:
        return f"signal {number}"


def run(directory: "str | os.PathLike[str]" = ".", *, threads: Optional[int] = None,
        seed: Optional[int] = None, bootstrap: Literal["data", "frames"] = "data",
        trend: Literal["n", "c"] = "n", verbose: bool = False,
        program: "Optional[str | os.PathLike[str]]" = None) -> "dict[str, Result]":
    """Runs the control files of a directory with the console program.

    The directory holds Runvok.cnl and the files it names; every output file
    (reports, plot files, the .csv tables, Vok-error.out) is written there,
    the same as `vok` run in that directory writes them. The console's lines
    are printed (on sys.stdout) only with verbose=True; a failure carries them.
    threads, seed, bootstrap and trend are the console program's --threads,
    --seed, --bootstrap and --trend (whose default, "n", is the console's). program: the console program to start (default: the
    VOK_PROGRAM environment variable, the program installed with the
    package, or `vok` on PATH; see find_program).

    Returns a dict: report name (e.g. "runA_1-_2") -> Result, one per run
    that reached its frames, in run order. A run that ended early gives a
    warning; an execution that stops, or that a signal ends, raises
    RunError; Ctrl-C (KeyboardInterrupt) ends the console program first.
    """
    if not os.path.isdir(directory):
        raise ValueError(f"directory = {directory!r}: no such directory")
    directory = os.fspath(directory)
    seed = seed_setting(seed)
    thread_count = threads_setting(threads)
    command = [find_program(program), "--results", "--seed", str(seed),
               "--bootstrap", bootstrap_setting(bootstrap), "--trend", trend_setting(trend)]
    if thread_count:
        command += ["--threads", str(thread_count)]
    # A list left by an earlier execution must not pass for this one's.
    try:
        os.remove(os.path.join(directory, RESULTS_INDEX))
    except FileNotFoundError:
        pass
    status, console, errors = _execute(command, directory)
    if verbose:
        sys.stdout.write(console)
    results, missing = _read_results(directory, threads, seed)
    lines = _message_lines(console) or _message_lines(errors)
    where = f"in {directory}"
    if status < 0 or status > 128:
        number = -status if status < 0 else status - 128
        raise RunError(f"the execution {where} was ended by {_signal_name(number)}",
                       status, console, results or {})
    if status not in (_COMPLETED, _RUN_ENDED):
        raise RunError(f"the execution {where} stopped: " +
                       ("; ".join(lines) if lines else "no message (see Vok-error.out)"),
                       status, console, results or {})
    if results is None or missing:
        what = ", ".join(missing) if missing else RESULTS_INDEX
        told = (": " + "; ".join(lines)) if lines else ""
        raise RunError(f"the execution {where} left no results file {what}{told}", status,
                       console, results or {})
    if status == _RUN_ENDED:
        warnings.warn(f"a run {where} ended early: " + "; ".join(lines), RuntimeWarning,
                      stacklevel=2)
    return results
