#!/usr/bin/python3
"""vok.analyse against the console program on the same 1,000,000 rows.

    /usr/bin/python3 bench/python_vs_console.py [build-dir]     (default: build)

The data are those of bench/whole_program.sh (bench/make_whole_program_data.py,
written once into $VOK_BENCH_DIR, default /tmp/vok-whole-program): 1,000,000
stamped rows; x and y are columns 1 and 2. The settings: frames of 1000 rows,
exponent 0.5 (32 lags), VAR(2), 1000 resamples at 0.05, no plot files.

Reading is excluded on both sides:
- the console program's analysis time is the wall time of the run less the
  wall time of a run that reads the same rows and analyses next to nothing
  (one frame of all the rows, 1 lag, no VAR fit, no resamples);
- vok.analyse is timed alone, on arrays read beforehand.
Each figure is the best of $VOK_BENCH_REPEATS (default 3), on 1 thread and on
2. The script also checks that both wrote the same table (the console's .csv
against Result.frames) and fails when they differ.
"""
import os
import pathlib
import shutil
import subprocess
import sys
import time

HERE = pathlib.Path(__file__).resolve().parent
BUILD = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else HERE.parent / "build").resolve()
sys.path.insert(0, str(BUILD / "python"))

import numpy as np  # noqa: E402
import pandas as pd  # noqa: E402

import vok  # noqa: E402

WORK = pathlib.Path(os.environ.get("VOK_BENCH_DIR", "/tmp/vok-whole-program"))
REPEATS = int(os.environ.get("VOK_BENCH_REPEATS", "3"))
ROWS = 1_000_000
SETTINGS = dict(frame_length=1000, exponent=0.5, var_lag=2, resamples=1000)


def control_files(directory, lw, exponent, p, resamples):
    directory.mkdir(parents=True, exist_ok=True)
    data = directory / "whole_program.dat"
    if not data.exists():
        data.symlink_to(WORK / "whole_program.dat")
    (directory / "Runvok.cnl").write_text(
        "Number of runs=1  * one run\n"
        f"exponent={exponent}  * lags\n"
        "false alarm=0.05  * alpha\n"
        f"frame length={lw}  * rows per frame\n"
        "overlap=0  * end to end\n"
        f"VAR lag={p}  * prewhitening\n"
        f"resamples={resamples} #  * bootstrap\n"
        "bench.cnl *\n")
    (directory / "bench.cnl").write_text(
        "column-x=1  * x\ncolumn-y=2  * y\ngraphing=no  * no plot files\n"
        "unit=seconds  * unit\ndata file name=whole_program.dat *\n"
        f"start datum=1  * first row\nend datum={ROWS}  * last row\n#\n")


def best_of(action):
    best = float("inf")
    for _ in range(REPEATS):
        start = time.perf_counter()
        action()
        best = min(best, time.perf_counter() - start)
    return best


def console(directory, threads):
    def action():
        done = subprocess.run([str(BUILD / "vok"), "--threads", str(threads)], cwd=directory,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if done.returncode != 0:
            sys.exit(f"vok failed in {directory} (status {done.returncode})")
    return best_of(action)


def main():
    data = WORK / "whole_program.dat"
    WORK.mkdir(parents=True, exist_ok=True)
    if not data.exists():
        print(f"writing {data} ...")
        subprocess.run([sys.executable, str(HERE / "make_whole_program_data.py"), str(data),
                        str(ROWS)], check=True)
    full = WORK / "python-bench-console"
    reading = WORK / "python-bench-reading"
    shutil.rmtree(full, ignore_errors=True)
    shutil.rmtree(reading, ignore_errors=True)
    control_files(full, 1000, 0.5, 2, 1000)
    # One frame of every row with 1 lag (1000000 ** 0.02 = 1.3): the rows are
    # read, the analysis costs next to nothing.
    control_files(reading, ROWS, 0.02, 0, 0)

    # Rows "1997-03-01 00:00:00" then three values: fields 3 and 4 are x and y.
    table = np.loadtxt(data, skiprows=2, usecols=(2, 3), dtype=np.float32)
    x = np.ascontiguousarray(table[:, 0])
    y = np.ascontiguousarray(table[:, 1])

    print(f"processor: {os.cpu_count()} cores; {ROWS} rows, frames of 1000, 32 lags, VAR(2), "
          f"1000 resamples; best of {REPEATS}")
    print(f"{'threads':>7} {'console run':>12} {'reading':>8} {'console analysis':>17} "
          f"{'vok.analyse':>12} {'ratio':>6}")
    worst = 0.0
    for threads in (1, 2):
        run = console(full, threads)
        read = console(reading, threads)
        analysis = run - read
        result = None

        def python():
            nonlocal result
            result = vok.analyse(x, y, **SETTINGS, threads=threads)
        python_time = best_of(python)
        ratio = python_time / analysis
        worst = max(worst, ratio)
        print(f"{threads:>7} {run:>11.2f}s {read:>7.2f}s {analysis:>16.2f}s "
              f"{python_time:>11.2f}s {ratio:>6.3f}")
        table = pd.read_csv(full / "bench_1-_2.csv", index_col="frame")
        for column in table.columns:
            if column.startswith(("cdf_", "pvalue_")):
                table[column] = table[column].astype(np.float32)
        pd.testing.assert_frame_equal(result.frames, table, check_exact=True)
    print("(vok.analyse and the console program gave the same table)")
    print(f"vok.analyse takes at most {100 * (worst - 1):+.1f}% of the console's analysis time")


if __name__ == "__main__":
    main()
