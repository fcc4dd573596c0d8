"""The extension module vok._vok for pip: pybind11's helpers compile the
module and the library's sources (those src/library_sources.txt lists, as
the CMake build and the R package take them) in parallel, with the flags the
CMake build uses (C++20, no contraction of a*b+c into fused multiply-adds)."""
import glob
import os
import re

from pybind11.setup_helpers import ParallelCompile, Pybind11Extension, build_ext
from setuptools import setup

ParallelCompile("NPY_NUM_BUILD_JOBS", default=os.cpu_count() or 1).install()


def library_sources():
    """The .cpp files of src/library_sources.txt: its folders' and its own."""
    sources = []
    with open("src/library_sources.txt", encoding="utf-8") as listing:
        for line in listing:
            entry = line.strip()
            if not entry or entry.startswith("#"):
                continue
            if os.path.isdir(os.path.join("src", entry)):
                sources += glob.glob(os.path.join("src", entry, "*.cpp"))
            elif entry.endswith(".cpp"):
                sources.append(os.path.join("src", entry))
    return sources


def version():
    """The version of include/vok/version.h, the one place it is written."""
    with open("include/vok/version.h", encoding="utf-8") as header:
        return re.search(r'#define VOK_VERSION "([^"]+)"', header.read()).group(1)


extension = Pybind11Extension(
    "vok._vok",
    sorted(["python/src/module.cpp", *library_sources()]),
    include_dirs=["src", "include"],
    cxx_std=20,
    extra_compile_args=["-O2", "-ffp-contract=off"],
    extra_link_args=["-pthread"],
)

# Out of CMake's build folder: pip's objects in a folder of their own.
setup(version=version(), ext_modules=[extension], cmdclass={"build_ext": build_ext},
      options={"build": {"build_base": "build-pip"}})
