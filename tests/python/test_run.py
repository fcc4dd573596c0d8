"""vok.run: the console program's execution of a directory, in-process: the
same files as the console program, the results returned, the working
directory untouched, and failures as exceptions."""
import os
import pathlib
import re
import shutil
import subprocess

import pandas as pd
import pytest

import vok
from conftest import assert_console_table, read_table, run_file, top_file

STAMP_LINES = re.compile(r"^ (Date & Time|Elapsed time = ).*$", re.MULTILINE)


def masked(path):
    return STAMP_LINES.sub("<stamp>", pathlib.Path(path).read_text())


def copy_example(example_run, directory):
    directory.mkdir()
    for name in ("Runvok.cnl", "runA.cnl", "runB.cnl", "example.dat"):
        shutil.copy(example_run / name, directory / name)
    return directory


def test_writes_the_console_files_and_returns_the_results(tmp_path, example_run):
    directory = copy_example(example_run, tmp_path / "in-process")
    here = os.getcwd()
    results = vok.run(directory)
    assert os.getcwd() == here
    written = sorted(p.name for p in directory.iterdir())
    console = sorted(p.name for p in example_run.iterdir())
    assert written == console
    for name in written:
        assert masked(directory / name) == masked(example_run / name), name

    assert list(results) == ["runA_1-_2", "runB_1-_2"]
    for name, result in results.items():
        assert_console_table(result.frames, read_table(example_run / f"{name}.csv"))
    a = results["runA_1-_2"]
    assert a.settings["frame_length"] == 200 and a.settings["var_lag"] == 1
    assert a.settings["resamples"] == 100 and a.settings["transform"] is None
    assert results["runB_1-_2"].settings["transform"] == "clip"
    # Run B's resamples continue the stream after run A's.
    assert not results["runB_1-_2"].thresholds.equals(a.thresholds)


def test_relative_directory_and_data_in_a_subdirectory(tmp_path, example_run, monkeypatch):
    (tmp_path / "work" / "runs").mkdir(parents=True)
    shutil.copy(example_run / "example.dat", tmp_path / "work" / "example.dat")
    (tmp_path / "work" / "Runvok.cnl").write_text(
        top_file(["runs/one.cnl"], frame_length=300, var_lag=0))
    (tmp_path / "work" / "runs" / "one.cnl").write_text(run_file("example.dat",
                                                                   graphing=False))
    monkeypatch.chdir(tmp_path)
    results = vok.run("work")
    assert list(results) == ["runs/one_1-_2"]
    assert (tmp_path / "work" / "runs" / "one_1-_2.csv").exists()
    assert len(results["runs/one_1-_2"].frames) == 8
    assert pathlib.Path.cwd() == tmp_path


def test_a_stopped_execution_raises_with_the_error_file(tmp_path):
    here = os.getcwd()
    with pytest.raises(vok.RunError) as raised:
        vok.run(tmp_path)  # no Runvok.cnl
    assert raised.value.status == 1
    assert "Runvok.cnl" in raised.value.messages
    assert os.getcwd() == here
    with pytest.raises(ValueError, match="no such directory"):
        vok.run(tmp_path / "missing")


def test_a_run_ended_early_warns_and_the_others_come_back(tmp_path, example_run):
    shutil.copy(example_run / "example.dat", tmp_path / "example.dat")
    (tmp_path / "Runvok.cnl").write_text(
        top_file(["short.cnl", "good.cnl"], frame_length=300, var_lag=0))
    # 100 rows make no frame of 300: the run ends, the next one goes on.
    (tmp_path / "short.cnl").write_text(run_file("example.dat", graphing=False, end=100))
    (tmp_path / "good.cnl").write_text(run_file("example.dat", graphing=False))
    with pytest.warns(RuntimeWarning, match="ended early"):
        results = vok.run(tmp_path)
    assert list(results) == ["good_1-_2"]
    assert not (tmp_path / "short_1-_2.csv").exists()


def test_seed_and_threads_reach_the_execution(tmp_path, example_run):
    default = vok.run(copy_example(example_run, tmp_path / "default"), threads=1)
    seeded = vok.run(copy_example(example_run, tmp_path / "seeded"), threads=2, seed=99)
    a = "runA_1-_2"
    assert not seeded[a].thresholds.equals(default[a].thresholds)
    x, y = (seeded[a].frames, default[a].frames)
    cdf = [c for c in x.columns if c.startswith("cdf_")]
    pd.testing.assert_frame_equal(x[cdf], y[cdf], check_exact=True)


def test_quiet_unless_asked_and_the_console_goes_through_python(tmp_path, example_run, capfd):
    vok.run(copy_example(example_run, tmp_path / "quiet"))
    out, _ = capfd.readouterr()
    assert out == ""  # nothing on file descriptor 1 either
    vok.run(copy_example(example_run, tmp_path / "verbose"), verbose=True)
    out, _ = capfd.readouterr()
    assert out.startswith(" Elapsed time =")  # the closing stamps of the console


def test_the_exception_says_why(tmp_path, example_run):
    directory = copy_example(example_run, tmp_path / "folder")
    (directory / "example.dat").unlink()
    (directory / "example.dat").mkdir()
    with pytest.raises(vok.RunError, match="Error on opening data file +21; "
                       "at example.dat: Is a directory"):
        vok.run(directory)


@pytest.fixture
def small_tmpfs(tmp_path):
    """A tmpfs of four pages (needs root: skipped elsewhere)."""
    if shutil.which("mount") is None:
        pytest.skip("no mount command")
    mount = tmp_path / "full"
    mount.mkdir()
    done = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=16k", "tmpfs", str(mount)],
                          capture_output=True)
    if done.returncode != 0:
        pytest.skip("a tmpfs cannot be mounted here: " + done.stderr.decode().strip())
    yield mount
    subprocess.run(["umount", "-l", str(mount)], check=False)


def test_a_full_disk_is_named_in_the_exception(small_tmpfs, example_run):
    for name in ("Runvok.cnl", "runA.cnl"):
        shutil.copy(example_run / name, small_tmpfs / name)
    (small_tmpfs / "Runvok.cnl").write_text(top_file(["runA.cnl"], frame_length=200, var_lag=1))
    # The data file lies outside: the outputs alone fill the file system.
    (small_tmpfs / "example.dat").symlink_to(example_run / "example.dat")
    (small_tmpfs / "runA.cnl").write_text(run_file("example.dat", graphing=True))
    with pytest.raises(vok.RunError, match="No space left on device") as raised:
        vok.run(small_tmpfs)
    assert "Error writing file" in str(raised.value)
    assert not [p for p in small_tmpfs.iterdir() if p.name.endswith(".tmp")]


@pytest.mark.parametrize("trend", ["n", "c"])
def test_results_equal_analyse_to_the_bit(tmp_path, example_run, trend):
    # The console's default fit (no constant) is analyse's trend="n"; its
    # --trend c is analyse's default.
    from conftest import example_series
    results = vok.run(copy_example(example_run, tmp_path / "run"), trend=trend)
    x, y = example_series()
    settings = dict(frame_length=200, var_lag=1, resamples=100)
    alone = vok.analyse(x, y, **settings, **({"trend": "n"} if trend == "n" else {}))
    assert results["runA_1-_2"].settings["trend"] == alone.settings["trend"] == trend
    pd.testing.assert_frame_equal(results["runA_1-_2"].frames, alone.frames, check_exact=True)
    pd.testing.assert_series_equal(results["runA_1-_2"].thresholds, alone.thresholds,
                                   check_exact=True)
    pd.testing.assert_frame_equal(results["runA_1-_2"].cautions, alone.cautions,
                                  check_exact=True)
    # The results files are read and gone: the folder is the console's.
    assert not list((tmp_path / "run").glob("*.json"))


def fake_program(directory, body):
    """A stand-in for the console program: a shell script of `body`."""
    program = directory / "fake-vok"
    program.write_text("#!/bin/sh\n" + body + "\n")
    program.chmod(0o755)
    return program


@pytest.mark.parametrize("body, message", [
    ('echo \'{"results": ["gone.json"]}\' > Vok-results.json', "no results file gone.json"),
    ("exit 0", "no results file Vok-results.json"),
    ("kill -TERM $$", "ended by SIGTERM"),
    ("echo ' Something failed'; exit 1", "stopped: Something failed"),
])
def test_what_the_program_leaves_wrong_is_an_error(tmp_path, body, message):
    work = tmp_path / "work"
    work.mkdir()
    with pytest.raises(vok.RunError, match=message):
        vok.run(work, program=fake_program(tmp_path, body))


def test_no_program_is_a_clear_error(tmp_path, monkeypatch):
    monkeypatch.setenv("VOK_PROGRAM", str(tmp_path / "none"))
    monkeypatch.setenv("PATH", str(tmp_path))
    import importlib
    installed = importlib.import_module("vok._program")
    monkeypatch.setattr(installed, "PROGRAM", str(tmp_path / "neither"))
    with pytest.raises(FileNotFoundError, match="VOK_PROGRAM"):
        vok.run(tmp_path)
    with pytest.raises(FileNotFoundError, match="program: "):
        vok.run(tmp_path, program=tmp_path / "missing")


def test_ctrl_c_ends_the_child(tmp_path):
    import signal
    import threading
    pid_file = tmp_path / "pid"
    program = fake_program(tmp_path, f"echo $$ > {pid_file}; exec sleep 60")
    # Ctrl-C reaches this process alone (the child does not see it).
    timer = threading.Timer(1.0, os.kill, (os.getpid(), signal.SIGINT))
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        vok.run(tmp_path, program=program)
    pid = int(pid_file.read_text())
    with pytest.raises(ProcessLookupError):
        os.kill(pid, 0)
