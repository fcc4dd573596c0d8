"""Shared helpers of the package's tests: the console program of the build
tree, control files, and the files of a console execution.

The tests run with the build tree's package (PYTHONPATH=<build>/python) and
program (VOK_PROGRAM=<build>/vok), as ctest sets them; run by hand:

    PYTHONPATH=build/python VOK_PROGRAM=build/vok /usr/bin/python3 -m pytest tests/python
"""
import os
import pathlib
import re
import shutil
import subprocess

import matplotlib
import numpy as np
import pandas as pd
import pytest

matplotlib.use("Agg")

ROOT = pathlib.Path(__file__).resolve().parents[2]
EXAMPLES = ROOT / "examples"
FIXTURES = ROOT / "tests" / "e2e" / "fixtures"


def console_program():
    program = pathlib.Path(os.environ.get("VOK_PROGRAM", ROOT / "build" / "vok")).resolve()
    if not program.exists():
        pytest.fail(f"no console program at {program} (set VOK_PROGRAM)")
    return program


def top_file(runs, *, exponent="0.4", alarm="0.05", frame_length=200, overlap=0, var_lag=1,
             resamples=0):
    lines = [
        f"Number of runs={len(runs)}  * runs",
        f"exponent={exponent}  * lags = lw ** exponent",
        f"false alarm={alarm}  * alpha",
        f"frame length={frame_length}  * lw",
        f"overlap={overlap}  * overlap",
        f"VAR lag={var_lag}  * VAR order",
        f"resamples={resamples} #  * resamples",
    ]
    return "\n".join(lines + [f"{name} *" for name in runs]) + "\n"


def run_file(data, *, x=1, y=2, graphing=True, switches="", start=1, end=0):
    lines = [
        f"column-x={x}  * x",
        f"column-y={y}  * y",
        f"graphing={'yes' if graphing else 'no'}  * plot files",
        "unit=seconds  * unit",
    ]
    if switches:
        lines.append(f"{switches}  * switch")
    lines += [f"data file name={data} *", f"start datum={start}  * first row",
              f"end datum={end}  * last row", "#"]
    return "\n".join(lines) + "\n"


def run_console(directory, *options):
    """Runs the console program in `directory`; returns its exit status."""
    done = subprocess.run([str(console_program()), *options], cwd=directory,
                          stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, text=True,
                          timeout=600)
    return done.returncode


def read_columns(path, widths, skip_header=2):
    """The numeric columns of a fixed-column data file as 32-bit floats."""
    table = np.genfromtxt(path, delimiter=widths, skip_header=skip_header, dtype=np.float64)
    return [np.ascontiguousarray(table[:, i], dtype=np.float32) for i in range(table.shape[1])]


def example_series():
    """x and y of examples/example.dat (record format (2f12.5))."""
    return read_columns(EXAMPLES / "example.dat", [12, 12])


def read_graph_file(path):
    """The CDF values of a graph file as printed: frame -> {test: text}."""
    order = ("Hxxy", "Hyyx", "Hxxx", "Hyyy", "Cxy", "Cx", "Cy")
    records = {}
    for line in pathlib.Path(path).read_text().splitlines():
        fields = line.split()
        if len(fields) < 8 or not re.fullmatch(r"[+-]\d+", fields[0]):
            continue
        records[int(fields[0])] = dict(zip(order, fields[1:8]))
    return records


def read_table(path):
    """A console .csv as the package's frames table (32-bit numbers; the
    q-values' 64 bits read back exactly)."""
    table = pd.read_csv(path, index_col="frame", float_precision="round_trip")
    for column in table.columns:
        if column.startswith(("statistic_", "cdf_", "pvalue_")):
            table[column] = table[column].astype(np.float32)
    return table


def assert_console_table(frames, table, columns=None):
    """Result.frames against a console .csv: the columns the table has are
    equal to the last bit (the table's number text reads back as the same
    32-bit value), except pvalue_T, which the table gives as 1 - cdf_T in 32
    bits and Result.frames as the survival function in 64 bits: they agree
    to the CDF's own rounding (and a degenerate frame has no p-value)."""
    columns = list(table.columns if columns is None else columns)
    exact = [c for c in columns if not c.startswith("pvalue_")]
    pd.testing.assert_frame_equal(frames[exact], table[exact], check_exact=True)
    computed = ~frames["degenerate"].to_numpy()
    for c in columns:
        if c.startswith("pvalue_"):
            np.testing.assert_allclose(frames[c].to_numpy()[computed],
                                       table[c].to_numpy(dtype=np.float64)[computed],
                                       rtol=0, atol=2e-6, err_msg=c)
            assert frames[c][~computed].isna().all()


def read_thresholds(report):
    """The thresholds a report shows: test -> value (the nominal level for
    every test when the report has the single false-alarm line)."""
    import vok

    text = pathlib.Path(report).read_text()
    nominal = re.search(r"False alarm threshold = *([0-9.]+)", text)
    if nominal:
        return {t: float(nominal.group(1)) for t in vok.TESTS}
    found = dict(re.findall(r"(\w+) Threshold = *([0-9.E+-]+)", text))
    return {test: float(value) for test, value in found.items()}


@pytest.fixture(scope="session")
def example_run(tmp_path_factory):
    """The example directory run by the console program: its path."""
    directory = tmp_path_factory.mktemp("examples")
    for name in ("Runvok.cnl", "runA.cnl", "runB.cnl", "example.dat"):
        shutil.copy(EXAMPLES / name, directory / name)
    assert run_console(directory) == 0
    return directory


@pytest.fixture(scope="session")
def example_xy():
    return example_series()
