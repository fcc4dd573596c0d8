"""pip installs the package from the source tree offline, with Debian's
setuptools and pybind11 (no build isolation), into a virtual environment that
sees the system's numpy and pandas; `pip wheel` makes a wheel. Skipped where
venv, pip or pybind11's Python helpers are missing (scripts/packages.sh
lists them under `pip`)."""
import importlib.util
import os
import shutil
import subprocess
import sys
import zipfile

import pytest

from conftest import ROOT

NEEDED = ("pyproject.toml", "setup.py", "README.md", "LICENSE", "python", "src", "include")


@pytest.fixture(scope="module")
def source(tmp_path_factory):
    for module in ("venv", "pip", "pybind11", "setuptools", "wheel"):
        if importlib.util.find_spec(module) is None:
            pytest.skip(f"no {module} for {sys.executable}")
    tree = tmp_path_factory.mktemp("source")
    for name in NEEDED:
        path = ROOT / name
        if path.is_dir():
            shutil.copytree(path, tree / name, ignore=shutil.ignore_patterns("__pycache__"))
        else:
            shutil.copy(path, tree / name)
    return tree


def test_pip_installs_it_into_a_virtual_environment(source, tmp_path):
    env = tmp_path / "env"
    subprocess.run([sys.executable, "-m", "venv", "--system-site-packages", str(env)], check=True)
    done = subprocess.run([str(env / "bin" / "pip"), "install", "--no-build-isolation",
                           "--no-index", "-q", str(source)], capture_output=True, text=True)
    assert done.returncode == 0, done.stdout + done.stderr
    check = ("import importlib.metadata, pathlib, numpy as np, vok; "
             "assert importlib.metadata.version('vok') == vok.__version__; "
             "assert (pathlib.Path(vok.__file__).parent / 'py.typed').exists(); "
             "x = np.random.default_rng(1).standard_normal(1000); "
             "print(len(vok.analyse(x, x[::-1].copy(), frame_length=100).frames))")
    # Run from elsewhere and without the build tree's PYTHONPATH, so that the
    # package comes from the environment.
    clean = {k: v for k, v in os.environ.items() if k != "PYTHONPATH"}
    shown = subprocess.run([str(env / "bin" / "python"), "-c", check], capture_output=True,
                           text=True, cwd=tmp_path, env=clean)
    assert shown.returncode == 0, shown.stderr
    assert shown.stdout.strip() == "10"


def test_pip_wheel_makes_a_wheel(source, tmp_path):
    done = subprocess.run([sys.executable, "-m", "pip", "wheel", "--no-build-isolation",
                           "--no-index", "--no-deps", "-q", "-w", str(tmp_path), str(source)],
                          capture_output=True, text=True)
    assert done.returncode == 0, done.stdout + done.stderr
    wheels = list(tmp_path.glob("vok-1.0.0-*.whl"))
    assert len(wheels) == 1
    names = zipfile.ZipFile(wheels[0]).namelist()
    assert "vok/py.typed" in names and any(n.startswith("vok/_vok.") for n in names)


def test_an_interpreter_without_the_build_tools_is_told_what_it_lacks():
    # -S leaves out the site packages: no setuptools, pybind11, numpy, pandas.
    done = subprocess.run([sys.executable, "-S", "setup.py", "build_ext"], cwd=ROOT,
                          capture_output=True, text=True)
    assert done.returncode != 0
    assert "Traceback" not in done.stderr and "ModuleNotFoundError" not in done.stderr
    first = done.stderr.splitlines()[0]
    assert sys.executable in first
    assert "setuptools, pybind11, wheel (needed to build vok)" in first
    assert "numpy, pandas (needed to run it)" in first
    assert "apt-get install python3-setuptools python3-pybind11" in done.stderr
    assert "--no-build-isolation" in done.stderr
