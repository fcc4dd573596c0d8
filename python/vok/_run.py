"""vok.run: the console program's execution of a directory, in-process."""

import os
import warnings

from . import _vok
from ._analysis import seed_setting, threads_setting
from ._result import Result


class RunError(RuntimeError):
    """The execution stopped (exit status 1 of the console program).

    Attributes: status (the console program's exit status), messages (the
    text of Vok-error.out) and results (the runs completed before the stop).
    """

    def __init__(self, message, status, messages, results):
        super().__init__(message)
        self.status = status
        self.messages = messages
        self.results = results


def run(directory=".", *, threads=None, seed=None):
    """Runs the control files of a directory as the console program does.

    The directory holds Runvok.cnl and the files it names; every output file
    (reports, plot files, the .csv tables, Vok-error.out) is written there,
    the same as `vok` run in that directory writes them. The console lines
    go to the process's standard output.

    Returns a dict: report name (e.g. "runA_1-_2") -> Result, one per run
    that reached its frames, in run order. A run that ended early gives a
    warning; an execution that stops raises RunError.
    """
    if not os.path.isdir(directory):
        raise ValueError(f"directory = {directory!r}: no such directory")
    seed = seed_setting(seed)
    status, runs = _vok.run_directory(os.fspath(directory), threads_setting(threads), seed)
    results = {}
    for name, run_settings, arrays in runs:
        run_settings = dict(run_settings)
        run_settings["threads"] = threads
        run_settings["seed"] = seed
        results[name] = Result.from_arrays(arrays, run_settings)
    if status == 1:
        try:
            with open(os.path.join(directory, "Vok-error.out"), encoding="latin-1") as f:
                messages = f.read()
        except OSError:
            messages = ""
        last = [line.strip() for line in messages.splitlines() if line.strip()]
        raise RunError(f"the execution in {directory} stopped: " +
                       (last[-1] if last else "see Vok-error.out"), status, messages, results)
    if status == 2:
        warnings.warn(f"a run in {directory} ended early (see Vok-error.out)", RuntimeWarning,
                      stacklevel=2)
    return results
