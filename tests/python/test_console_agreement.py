"""vok.analyse against the console program on the same data and settings:
the graph file's CDF values to their printed digits, the .csv table exactly,
the thresholds of the report, and the seed."""
import re
import shutil

import numpy as np
import pandas as pd
import pytest

import vok
from conftest import (FIXTURES, assert_console_table, read_columns, read_graph_file, read_table, read_thresholds,
                      run_console, run_file, top_file)

# examples/Runvok.cnl: frames of 200, exponent 0.4, VAR(1), 100 resamples;
# run A plain with plot files, run B with the residuals clipped. The console
# fits its VAR without a constant: trend="n".
EXAMPLE = dict(frame_length=200, exponent=0.4, var_lag=1, resamples=100, trend="n")


@pytest.fixture(scope="module")
def run_a(example_xy):
    return vok.analyse(*example_xy, **EXAMPLE)


def test_cdf_values_are_those_of_the_graph_file(example_run, run_a):
    graph = read_graph_file(example_run / "runA_1-_2.graph")
    assert sorted(graph) == list(run_a.frames.index)
    for frame, printed in graph.items():
        for test, text in printed.items():
            assert f"{run_a.frames.loc[frame, f'cdf_{test}']:+.4f}" == text, (frame, test)


def test_table_is_the_console_csv(example_run, run_a):
    console = read_table(example_run / "runA_1-_2.csv")
    assert_console_table(run_a.frames, console)


def test_order_tables_are_the_orders_of_the_console_files(example_run, run_a):
    # Each order names the seven tests once.
    for order in (vok.COLUMN_ORDER, vok.TEST_ORDER, vok.GRAPH_ORDER):
        assert sorted(order) == sorted(vok.TESTS)
    # The per-test columns of NAME.csv and of Result.frames, the thresholds
    # of NAME.out, and the CDF values of the graph records.
    assert vok.TESTS == vok.COLUMN_ORDER
    per_test = [c[len("cdf_"):] for c in read_table(example_run / "runA_1-_2.csv").columns
                if c.startswith("cdf_")]
    assert per_test == list(vok.COLUMN_ORDER)
    assert [c[len("cdf_"):] for c in run_a.frames.columns
            if c.startswith("cdf_")] == list(vok.COLUMN_ORDER)
    report = (example_run / "runA_1-_2.out").read_text()
    assert re.findall(r"(\w+) Threshold = ", report) == list(vok.TEST_ORDER)
    records = 0
    for line in (example_run / "runA_1-_2.graph").read_text().splitlines():
        fields = line.split()
        if len(fields) < 8 or not re.fullmatch(r"[+-]\d+", fields[0]):
            continue
        frame = run_a.frames.loc[int(fields[0])]
        assert fields[1:8] == [f"{frame[f'cdf_{t}']:+.4f}" for t in vok.GRAPH_ORDER], line
        records += 1
    assert records == len(run_a.frames)


def test_clipped_run_gives_the_console_cdf_values(example_run, example_xy):
    # Run B draws its resamples after run A's in the console's one stream,
    # so only the CDF values and p-values are compared.
    x, y = example_xy
    result = vok.analyse(x, y, **EXAMPLE, transform="clip")
    console = read_table(example_run / "runB_1-_2.csv")
    columns = [c for c in console.columns if not c.startswith("significant_")]
    assert_console_table(result.frames, console, columns)


def test_default_seed_gives_the_console_thresholds(example_run, run_a):
    report = read_thresholds(example_run / "runA_1-_2.out")
    assert run_a.bootstrapped
    assert set(report) == set(vok.TESTS)
    for test, shown in report.items():
        # Cx, Cy, Cxy in F6.4; the bicorrelation tests in G9.4 (4 digits).
        assert float(run_a.thresholds[test]) == pytest.approx(shown, rel=6e-4, abs=6e-5), test


def test_seed_moves_the_thresholds_not_the_statistics(example_xy, run_a):
    x, y = example_xy
    seeded = vok.analyse(x, y, **EXAMPLE, seed=12345)
    assert not seeded.thresholds.equals(run_a.thresholds)
    cdf = [c for c in run_a.frames.columns if c.startswith("cdf_")]
    pd.testing.assert_frame_equal(seeded.frames[cdf], run_a.frames[cdf], check_exact=True)
    again = vok.analyse(x, y, **EXAMPLE, seed=0)
    pd.testing.assert_series_equal(again.thresholds, run_a.thresholds, check_exact=True)
    assert seeded.settings["seed"] == 12345


def test_console_seed_option_gives_the_seeded_thresholds(tmp_path, example_xy, example_run):
    shutil.copy(example_run / "example.dat", tmp_path / "example.dat")
    (tmp_path / "Runvok.cnl").write_text(top_file(["run.cnl"], resamples=100))
    (tmp_path / "run.cnl").write_text(run_file("example.dat", graphing=False))
    assert run_console(tmp_path, "--seed", "12345") == 0
    x, y = example_xy
    seeded = vok.analyse(x, y, **EXAMPLE, seed=12345)
    assert_console_table(seeded.frames, read_table(tmp_path / "run_1-_2.csv"))


def test_stamped_rows_give_the_console_start_and_end(tmp_path):
    # Rows 11 to 250 of a stamped file (stamp, 1X, 2F10.4), graphing off: the
    # table is written all the same.
    shutil.copy(FIXTURES / "stamped.dat", tmp_path / "stamped.dat")
    (tmp_path / "Runvok.cnl").write_text(
        top_file(["stamps.cnl"], exponent="0.25", frame_length=30, var_lag=0))
    (tmp_path / "stamps.cnl").write_text(
        run_file("stamped.dat", graphing=False, switches="clip data", start=11, end=250))
    assert run_console(tmp_path) == 0
    assert not (tmp_path / "stamps_1-_2.graph").exists()
    lines = (tmp_path / "stamped.dat").read_text().splitlines()[2:][10:250]
    stamps = [line[:19] for line in lines]
    x = np.array([float(line[20:30]) for line in lines], dtype=np.float32)
    y = np.array([float(line[30:40]) for line in lines], dtype=np.float32)
    result = vok.analyse(x, y, frame_length=30, exponent=0.25, transform="clip", stamps=stamps)
    console = read_table(tmp_path / "stamps_1-_2.csv")
    assert list(console.columns[:4]) == ["first_row", "last_row", "start", "end"]
    # The console numbers rows from the first row read, as analyse does.
    assert_console_table(result.frames, console)
