#!/usr/bin/python3
"""vok.analyse against the console program on the same 1,000,000 rows.

    /usr/bin/python3 bench/python_vs_console.py [build-dir]     (default: build)

The data are those of bench/whole_program.sh (bench/whole_program_data.cpp,
built with g++ and run once into $VOK_BENCH_DIR, default /tmp/vok-whole-program): 1,000,000
stamped rows; x and y are columns 1 and 2. The settings: frames of 1000 rows,
exponent 0.5 (32 lags), VAR(2), 1000 resamples at 0.05, no plot files.

Reading is excluded on both sides:
- the console program's analysis time is the wall time of the run less the
  wall time of a run that reads the same rows and then stops: with "log
  data", the first value that is not positive stops the program right after
  the rows are read, before anything is analysed;
- vok.analyse is timed alone, on arrays read beforehand (its time includes
  the descriptive statistics, as the console's does).
Each figure is the best of $VOK_BENCH_REPEATS (default 3) rounds, the three
measurements taken in turn in every round, on 1 thread and on 2, as wall
time and as processor time (user + system, of the console process or of
this process's threads). On a machine busy with other work the wall times
wander; the processor times measure the work done and are the figures to
compare there. The script
also checks that both gave the same table (the console's .csv against
Result.frames, stamps aside) and fails when they differ.
"""
import os
import pathlib
import resource
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
ROWS = int(os.environ.get("VOK_BENCH_ROWS", "1000000"))  # the docs check runs fewer
# trend="n": the console program's VAR fit, without a constant.
SETTINGS = dict(frame_length=1000, exponent=0.5, var_lag=2, resamples=1000, trend="n")


def control_files(directory, frame_length, exponent, var_lag, resamples, switch=""):
    directory.mkdir(parents=True, exist_ok=True)
    data = directory / "whole_program.dat"
    if not data.exists():
        data.symlink_to(WORK / f"whole_program-{ROWS}.dat")
    (directory / "Runvok.cnl").write_text(
        "Number of runs=1  * one run\n"
        f"exponent={exponent}  * lags\n"
        "false alarm=0.05  * alpha\n"
        f"frame length={frame_length}  * rows per frame\n"
        "overlap=0  * end to end\n"
        f"VAR lag={var_lag}  * prewhitening\n"
        f"resamples={resamples} #  * bootstrap\n"
        "bench.cnl *\n")
    (directory / "bench.cnl").write_text(
        "column-x=1  * x\ncolumn-y=2  * y\ngraphing=no  * no plot files\n"
        f"unit=seconds  * unit\n{switch}data file name=whole_program.dat *\n"
        f"start datum=1  * first row\nend datum={ROWS}  * last row\n#\n")


def processor_time():
    """Processor time of this process and its finished children."""
    own = time.process_time()
    children = resource.getrusage(resource.RUSAGE_CHILDREN)
    return own + children.ru_utime + children.ru_stime


def timed(action):
    """Wall time and processor time of an action."""
    start, start_cpu = time.perf_counter(), processor_time()
    action()
    return time.perf_counter() - start, processor_time() - start_cpu


def console(directory, threads, status=0):
    def action():
        done = subprocess.run([str(BUILD / "vok"), "--threads", str(threads)], cwd=directory,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        if done.returncode != status:
            sys.exit(f"vok in {directory}: status {done.returncode}, not {status}")
    return action


def main():
    data = WORK / f"whole_program-{ROWS}.dat"
    WORK.mkdir(parents=True, exist_ok=True)
    if not data.exists() or data.stat().st_size == 0:
        # The generator of bench/whole_program.sh, built as that script builds it.
        generator = WORK / "whole_program_data"
        source = HERE / "whole_program_data.cpp"
        if not generator.exists() or source.stat().st_mtime > generator.stat().st_mtime:
            subprocess.run(["g++", "-O2", "-std=c++20", "-o", str(generator), str(source)],
                           check=True)
        print(f"writing {data} ...")
        subprocess.run([str(generator), str(data), str(ROWS)], check=True)
    full = WORK / "python-bench-console"
    reading = WORK / "python-bench-reading"
    shutil.rmtree(full, ignore_errors=True)
    shutil.rmtree(reading, ignore_errors=True)
    control_files(full, 1000, 0.5, 2, 1000)
    # The rows are read, then the first value that is not positive stops the
    # program (status 1) before any analysis.
    control_files(reading, 1000, 0.5, 2, 1000, switch="log data  * logarithms\n")

    # Rows "1997-03-01 00:00:00" then three values: fields 3 and 4 are x and y.
    table = np.loadtxt(data, skiprows=2, usecols=(2, 3), dtype=np.float32)
    x = np.ascontiguousarray(table[:, 0])
    y = np.ascontiguousarray(table[:, 1])

    print(f"processor: {os.cpu_count()} cores; {ROWS} rows, frames of 1000, 32 lags, VAR(2), "
          f"1000 resamples; best of {REPEATS}")
    print(f"{'threads':>7} {'time':>5} {'console run':>12} {'reading':>8} "
          f"{'console analysis':>17} {'vok.analyse':>12} {'ratio':>6}")
    worst = {"wall": 0.0, "cpu": 0.0}
    for threads in (1, 2):
        result = None

        def python():
            nonlocal result
            result = vok.analyse(x, y, **SETTINGS, threads=threads)
        best = {"wall": [float("inf")] * 3, "cpu": [float("inf")] * 3}
        for _ in range(REPEATS):
            for i, action in enumerate((console(full, threads), console(reading, threads, 1),
                                        python)):
                wall, cpu = timed(action)
                best["wall"][i] = min(best["wall"][i], wall)
                best["cpu"][i] = min(best["cpu"][i], cpu)
        for kind in ("wall", "cpu"):
            run, read, python_time = best[kind]
            analysis = run - read
            ratio = python_time / analysis
            worst[kind] = max(worst[kind], ratio)
            print(f"{threads:>7} {kind:>5} {run:>11.2f}s {read:>7.2f}s {analysis:>16.2f}s "
                  f"{python_time:>11.2f}s {ratio:>6.3f}")
        # round_trip: the q-values' 17 digits read back as the same 64 bits.
        table = pd.read_csv(full / "bench_1-_2.csv", index_col="frame",
                            float_precision="round_trip")
        for column in table.columns:
            if column.startswith(("statistic_", "cdf_")):
                table[column] = table[column].astype(np.float32)
        # The table's columns (stamps aside): the CDF values and judgements to
        # the last bit; its p-values, 1 - cdf in 32 bits, to the 32-bit CDF's
        # own error (some 1e-5 at the 2080 degrees of freedom of 32 lags) of
        # the 64-bit ones of Result.frames.
        exact = [c for c in table.columns if c not in ("start", "end")
                 and not c.startswith("pvalue_")]
        pd.testing.assert_frame_equal(result.frames[exact], table[exact], check_exact=True)
        for column in (c for c in table.columns if c.startswith("pvalue_")):
            np.testing.assert_allclose(result.frames[column], table[column], rtol=0, atol=1e-4)
    print("(vok.analyse and the console program gave the same table)")
    for kind in ("wall", "cpu"):
        print(f"vok.analyse against the console's analysis, {kind} time: "
              f"{100 * (worst[kind] - 1):+.1f}% at worst")


if __name__ == "__main__":
    main()
