"""The extension module vok._vok for pip: pybind11's helpers compile the
module and the library's sources (src/) in parallel, with the flags the CMake
build uses (C++20, no contraction of a*b+c into fused multiply-adds)."""
import glob
import importlib.util
import os
import sys
import time

# What building needs and what the package needs to run, each with the
# Debian package that brings it for Debian's /usr/bin/python3.
BUILD_NEEDS = {"setuptools": "python3-setuptools", "pybind11": "python3-pybind11",
               "wheel": "python3-wheel"}
RUN_NEEDS = {"numpy": "python3-numpy", "pandas": "python3-pandas"}


def missing(needs):
    return [name for name in needs if importlib.util.find_spec(name) is None]


def lacking_message(build, run):
    names = build + run
    debian = " ".join(BUILD_NEEDS.get(n) or RUN_NEEDS[n] for n in names)
    what = ([f"{', '.join(build)} (needed to build vok)"] if build else []) + \
        ([f"{', '.join(run)} (needed to run it)"] if run else [])
    lines = [f"vok: the Python interpreter {sys.executable} (Python "
             f"{sys.version.split()[0]}) lacks " + " and ".join(what) + "."]
    lines += [
        "Either use Debian's interpreter, with the Debian packages:",
        f"  apt-get install {debian} python3-venv python3-pip",
        "  /usr/bin/python3 -m venv --system-site-packages V && "
        "V/bin/pip install --no-build-isolation .",
        f"or install {', '.join(names)} for {sys.executable} itself "
        "(with that interpreter's own package manager), then run pip again.",
    ]
    return "\n".join(lines)


_lacking_build, _lacking_run = missing(BUILD_NEEDS), missing(RUN_NEEDS)
if _lacking_build:
    sys.exit(lacking_message(_lacking_build, _lacking_run))
if _lacking_run:
    print("warning: " + lacking_message([], _lacking_run), file=sys.stderr)

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension  # noqa: E402
from pybind11.setup_helpers import build_ext as pybind11_build_ext  # noqa: E402
from setuptools import setup  # noqa: E402

# Every core compiles (NPY_NUM_BUILD_JOBS=N chooses another number).
JOBS = int(os.environ.get("NPY_NUM_BUILD_JOBS") or os.cpu_count() or 1)
ParallelCompile("NPY_NUM_BUILD_JOBS", default=JOBS).install()


class build_ext(pybind11_build_ext):
    """Says how many sources compile on how many cores, and how long it took
    (shown by pip install -v)."""

    def build_extensions(self):
        sources = sum(len(e.sources) for e in self.extensions)
        print(f"vok: compiling {sources} sources, {JOBS} at a time", flush=True)
        start = time.monotonic()
        super().build_extensions()
        print(f"vok: compiled and linked in {time.monotonic() - start:.0f} s", flush=True)


extension = Pybind11Extension(
    "vok._vok",
    sorted(["python/src/module.cpp", *glob.glob("src/*/*.cpp")]),
    include_dirs=["src", "include"],
    cxx_std=20,
    extra_compile_args=["-O2", "-ffp-contract=off"],
    extra_link_args=["-pthread"],
)

# Out of CMake's build folder: pip's objects in a folder of their own.
setup(ext_modules=[extension], cmdclass={"build_ext": build_ext},
      options={"build": {"build_base": "build-pip"}})
