"""vok.run: the console program's execution of a directory, in-process."""

from __future__ import annotations

import os
import sys
from typing import Literal, Optional
import warnings

from . import _vok
from ._analysis import bootstrap_setting, seed_setting, threads_setting
from ._result import Result


class RunError(RuntimeError):
    """The execution stopped (exit status 1 of the console program).

    The message holds the console program's message lines (why it stopped).
    Attributes: status (the console program's exit status), messages (the
    console's lines: every diagnostic, as Vok-error.out holds them when it
    could be written) and results (the runs completed before the stop).
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


def run(directory: "str | os.PathLike[str]" = ".", *, threads: Optional[int] = None,
        seed: Optional[int] = None, bootstrap: Literal["data", "frames"] = "data",
        verbose: bool = False) -> "dict[str, Result]":
    """Runs the control files of a directory as the console program does.

    The directory holds Runvok.cnl and the files it names; every output file
    (reports, plot files, the .csv tables, Vok-error.out) is written there,
    the same as `vok` run in that directory writes them. The console's lines
    are printed (on sys.stdout) only with verbose=True; a failure carries them.
    threads, seed and bootstrap are the console program's --threads, --seed
    and --bootstrap.

    Returns a dict: report name (e.g. "runA_1-_2") -> Result, one per run
    that reached its frames, in run order. A run that ended early gives a
    warning; an execution that stops raises RunError.
    """
    if not os.path.isdir(directory):
        raise ValueError(f"directory = {directory!r}: no such directory")
    seed = seed_setting(seed)
    status, runs, console = _vok.run_directory(os.fspath(directory), threads_setting(threads),
                                               seed, bootstrap_setting(bootstrap))
    console = console.decode("latin-1")
    if verbose:
        sys.stdout.write(console)
    results = {}
    for name, run_settings, arrays in runs:
        run_settings = dict(run_settings)
        run_settings["threads"] = threads
        run_settings["seed"] = seed
        results[name] = Result.from_arrays(arrays, run_settings)
    lines = _message_lines(console)
    if status == 1:
        raise RunError(f"the execution in {os.fspath(directory)} stopped: " +
                       ("; ".join(lines) if lines else "no message (see Vok-error.out)"),
                       status, console, results)
    if status == 2:
        warnings.warn(f"a run in {os.fspath(directory)} ended early: " + "; ".join(lines),
                      RuntimeWarning, stacklevel=2)
    return results
