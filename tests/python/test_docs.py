"""What the documentation shows runs: every Python code block of README.md and
docs/*.md (the blocks of one file in turn, in one namespace, as a reader
pastes them into a session), and every Python script under examples/ and
bench/ that they cite (the benchmarks on small sizes)."""
import os
import pathlib
import re
import shutil
import subprocess
import sys

import numpy as np
import pandas as pd
import pytest

from conftest import ROOT

DOCS = [ROOT / "README.md", *sorted((ROOT / "docs").glob("*.md"))]
BLOCK = re.compile(r"^```python\n(.*?)^```", re.MULTILINE | re.DOTALL)
CITED = re.compile(r"\b((?:examples|bench)/[\w/.-]+\.py)\b")

# The scripts the docs cite, with the arguments and environment that keep
# them short; examples/cluster/pairs.py runs in test_pairs.py.
SCRIPTS = {
    "examples/python/example.py": ([], {}),
    "bench/python_vs_console.py": (
        [], {"VOK_BENCH_ROWS": "100000", "VOK_BENCH_REPEATS": "1"}),
    "bench/pairs_bench.py": (["--pairs", "3", "--rows", "20000", "--repeat", "1"], {}),
}
TESTED_ELSEWHERE = {"examples/cluster/pairs.py"}


def blocks(path):
    return BLOCK.findall(path.read_text())


def returns_panel(path):
    """returns.csv of docs/cluster.md: four series of 3000 days, as a real
    panel has them: b starts 400 days late, d 150 days, and c misses 120
    days (empty cells)."""
    rng = np.random.default_rng(2)
    index = pd.date_range("2010-01-01", periods=3000, freq="D", name="date")
    panel = pd.DataFrame(rng.standard_normal((3000, 4)), index=index,
                         columns=["a", "b", "c", "d"])
    panel.iloc[:400, 1] = np.nan
    panel.iloc[1500:1620, 2] = np.nan
    panel.iloc[:150, 3] = np.nan
    panel.to_csv(path)


# The pages whose blocks each run by themselves, as a reader copies one.
ALONE = {"cluster.md"}


def run_blocks(doc, codes, tmp_path, monkeypatch):
    """Runs the code blocks in one namespace, in a folder with the examples
    and returns.csv."""
    import matplotlib.pyplot as plt
    shutil.copytree(ROOT / "examples", tmp_path / "examples")
    returns_panel(tmp_path / "returns.csv")
    monkeypatch.chdir(tmp_path)
    namespace = {"__name__": "__docs__"}
    for k, code in codes:
        exec(compile(code, f"{doc.name}, Python block {k}", "exec"), namespace)
    plt.close("all")
    return namespace


@pytest.mark.parametrize("doc", [d for d in DOCS if blocks(d) and d.name not in ALONE],
                         ids=lambda d: d.name)
def test_the_python_blocks_of_the_docs_run(doc, tmp_path, monkeypatch):
    run_blocks(doc, enumerate(blocks(doc), start=1), tmp_path, monkeypatch)


@pytest.mark.parametrize("doc, k", [(d, k) for d in DOCS if d.name in ALONE
                                    for k in range(1, len(blocks(d)) + 1)],
                         ids=lambda v: v.name if isinstance(v, pathlib.Path) else f"block{v}")
def test_each_block_of_a_page_runs_by_itself(doc, k, tmp_path, monkeypatch):
    namespace = run_blocks(doc, [(k, blocks(doc)[k - 1])], tmp_path, monkeypatch)
    # The pairs of the panel with holes: every pair analysed, none spanning a gap.
    pairs = namespace["pairs"]
    assert len(pairs.pairs) == 6 and not len(pairs.errors)
    assert (pairs.frames["rows_dropped"] == 0).all()
    assert set(pairs.frames["x"] + pairs.frames["y"]) == {"ab", "ac", "ad", "bc", "bd", "cd"}


def test_every_cited_script_is_run_here():
    cited = {m for doc in DOCS for m in CITED.findall(doc.read_text())}
    assert cited <= set(SCRIPTS) | TESTED_ELSEWHERE, sorted(cited - set(SCRIPTS))


@pytest.mark.parametrize("script", sorted(SCRIPTS))
def test_the_scripts_the_docs_cite_run(script, tmp_path):
    arguments, settings = SCRIPTS[script]
    env = dict(os.environ, VOK_BENCH_DIR=str(tmp_path), MPLBACKEND="Agg", **settings)
    build = pathlib.Path(os.environ.get("VOK_PROGRAM", ROOT / "build" / "vok")).resolve().parent
    if script == "bench/python_vs_console.py":
        arguments = [str(build), *arguments]
    env["PYTHONPATH"] = str(build / "python")
    done = subprocess.run([sys.executable, str(ROOT / script), *arguments], cwd=tmp_path,
                          env=env, capture_output=True, text=True, timeout=600)
    assert done.returncode == 0, done.stdout[-2000:] + done.stderr[-2000:]
